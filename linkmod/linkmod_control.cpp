// Construction, destruction and initialisation of a registration.
#include "linkmod/linkmod_control.h"

#include "linkmod/object_names.h"
#include "linkmod/sync_guard.h"
#include "support/system_information.h"

namespace ztn::linkmod {

LinkmodControl::LinkmodControl() {
  // The namespace flag must be valid before any name is formed.
  EnsureSystemInformation();
}

LinkmodControl::~LinkmodControl() {
  // Normally joined by the teardown; a thread started while the teardown ran
  // sees `closing` and ends at once.
  closing = 1;
  if (recvThread.joinable()) recvThread.join();
}

std::u16string LinkmodControl::InitializeControl(int32_t type, int32_t subType,
                                                 uint32_t queues) {
  SyncGuard guard(recvLock);
  closing = 0;
  idTableLockName = IdTableLockName(isWin2000OrLater() != 0);
  idTableLock.Create(idTableLockName);
  moduleType = type;
  if (queues > kMaxQueueCount) return {};
  if (!RegisterIdentity(type, subType)) return {};
  queueCount = queues;
  CreateChannels();
  return identity;
}

std::shared_ptr<platform::Event> LinkmodControl::MainEvent() {
  std::lock_guard<std::mutex> lock(eventLock);
  return mainEvent;
}

std::shared_ptr<platform::Event> LinkmodControl::AcceptWaitEvent() {
  std::lock_guard<std::mutex> lock(eventLock);
  return acceptWaitEvent;
}

}  // namespace ztn::linkmod
