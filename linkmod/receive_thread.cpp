// The receive thread: accepts and reads one message after another and hands
// each to the caller's callback, until the teardown.
//
// Wait mode 0: the thread copies the payload, which releases the sender, and
// then calls the callback. Any other mode: the receive step calls the callback
// itself and releases the sender only after it returned.
#include <vector>

#include "linkmod/linkmod_control.h"
#include "linkmod/sync_guard.h"

namespace ztn::linkmod {

int32_t LinkmodControl::StartRecvThread(RecvCallback callback) {
  stopThread = 0;
  recvCallback = callback;
  SyncGuard guard(recvLock);
  // One thread per registration; none once the teardown has begun.
  if (closing || recvThread.joinable()) return 1;
  try {
    recvThread = std::thread([this] { RecvThreadProc(); });
  } catch (...) {
    // No thread: nothing is received, and the teardown has nothing to join.
  }
  return 1;
}

void LinkmodControl::RecvThreadProc() {
  std::vector<uint8_t> payload;  // kept from message to message
  char16_t senderId[kIdentityUnits] = {};
  try {
    while (!closing && !stopThread) {
      if (!Accept(platform::kInfinite, u"")) continue;
      const int32_t size = ReceiveMessage(nullptr);
      if (size < 0) continue;
      int32_t senderType = 0;
      int32_t subType = 0;
      int32_t messageCode = 0;
      ReceiveOutputs outputs;
      outputs.senderType = &senderType;
      outputs.subType = &subType;
      outputs.senderId = senderId;
      outputs.messageCode = &messageCode;
      if (waitMode != 0) {
        (void)ReceiveMessage(&outputs);
        continue;
      }
      // The full read gets room for the largest payload whatever the size
      // query said: the sender's memory may have changed in between.
      payload.resize(kMaxPayloadBytes);
      outputs.data = payload.data();
      const int32_t read = ReceiveMessage(&outputs);
      if (read == -1) continue;
      const bool hasPayload = read >= 1 && read <= static_cast<int32_t>(kMaxPayloadBytes);
      if (RecvCallback callback = recvCallback.load()) {
        callback(senderType, subType, senderId, messageCode, hasPayload ? payload.data() : nullptr,
                 hasPayload ? read : 0);
      }
    }
  } catch (...) {
    // Out of memory: the thread ends; the teardown still joins it.
  }
}

}  // namespace ztn::linkmod
