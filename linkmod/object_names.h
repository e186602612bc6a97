// Names of a registration's kernel objects, formed from its identity.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ztn::linkmod {

// "ZtConnMem_IDMGR" and its lock, with "Global\" when the namespace flag is set.
std::u16string IdTableName(bool namespaceFlag);
std::u16string IdTableLockName(bool namespaceFlag);

std::u16string MainEventName(std::u16string_view identity);        // id_ZtConnEvent
std::u16string AcceptWaitEventName(std::u16string_view identity);  // id_ZtConnEvent_AcceptWait
std::u16string WaitSendEventName(std::u16string_view identity, int32_t queue);  // id_ZtConnEvent_<i>_WaitSend
std::u16string RecvSlotName(std::u16string_view identity);         // id_ZtConnMem_Recv
std::u16string SendQueueName(std::u16string_view identity, int32_t queue);      // id_Send_ZtConnMem_<i>

}  // namespace ztn::linkmod
