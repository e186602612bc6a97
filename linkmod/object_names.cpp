#include "linkmod/object_names.h"

#include "linkmod/wire_layout.h"
#include "support/string_util.h"

namespace ztn::linkmod {

std::u16string IdTableName(bool namespaceFlag) {
  std::u16string name = namespaceFlag ? kGlobalPrefix : u"";
  return name + kIdTableName;
}

std::u16string IdTableLockName(bool namespaceFlag) {
  std::u16string name = namespaceFlag ? kGlobalPrefix : u"";
  return name + kIdTableLockName;
}

std::u16string MainEventName(std::u16string_view identity) {
  std::u16string name(identity);
  return name + kMainEventSuffix;
}

std::u16string AcceptWaitEventName(std::u16string_view identity) {
  return MainEventName(identity) + kAcceptWaitSuffix;
}

std::u16string WaitSendEventName(std::u16string_view identity, int32_t queue) {
  std::u16string name = MainEventName(identity);
  AppendFormatString(name, u"_%d", queue);
  return name + kWaitSendSuffix;
}

std::u16string RecvSlotName(std::u16string_view identity) {
  std::u16string name(identity);
  return name + kMemorySuffix + kRecvSuffix;
}

std::u16string SendQueueName(std::u16string_view identity, int32_t queue) {
  std::u16string name(identity);
  name += kSendSuffix;
  name += kMemorySuffix;
  AppendFormatString(name, u"_%d", queue);
  return name;
}

}  // namespace ztn::linkmod
