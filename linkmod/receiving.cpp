// Receiving: Accept and the receive step.
//
// Accept admits one sender through the auto-reset accept-wait event and waits
// for the main event in one-second slices, between which it notices a dead
// peer, its own time limit and the teardown. The receive step reads the
// receive slot (sender identity and queue number), maps that sender's send
// queue, copies the message out and sets the sender's wait-send event.
// The slot and the queue are written by other processes: the step works on a
// private copy of each and bounds every size before it copies.
#include <cstring>
#include <vector>

#include "linkmod/linkmod_control.h"
#include "linkmod/object_names.h"
#include "linkmod/sync_guard.h"
#include "platform/debug_output.h"
#include "platform/shared_memory.h"

namespace ztn::linkmod {
namespace {

class RunningScope {
 public:
  explicit RunningScope(std::atomic<int32_t>& counter) : counter_(counter) { ++counter_; }
  ~RunningScope() { --counter_; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  std::atomic<int32_t>& counter_;
};

constexpr char16_t kMaxRecvSizeOver[] = u"Max Recv size over!!";

void SignalWaitSend(std::u16string_view sender, int32_t queue) {
  auto event = platform::Event::Open(WaitSendEventName(sender, queue));
  if (event.ok()) (void)event->Set();
}

}  // namespace

int32_t LinkmodControl::Accept(int32_t limitMs, std::u16string_view peerId) {
  if (closing) return 0;
  RunningScope running(acceptsRunning);
  std::shared_ptr<platform::Event> main = MainEvent();
  if (closing || !main) {
    platform::Sleep(10);
    return 0;
  }
  if (auto acceptWait = AcceptWaitEvent()) (void)acceptWait->Set();
  if (closing) return 0;

  int32_t result = 0;
  platform::WaitResult waited = main->Wait(1000);
  if (waited == platform::WaitResult::Signaled) {
    result = 1;
  } else if (waited == platform::WaitResult::Timeout) {
    int64_t counted = 0;
    for (;;) {
      if (!peerId.empty() && !IsIdentityAlive(peerId)) break;
      if (limitMs != platform::kInfinite) {
        counted += 1000;
        if (counted >= limitMs) break;
      }
      if (closing) break;
      waited = main->Wait(1000);
      if (waited == platform::WaitResult::Signaled) {
        result = 1;
        break;
      }
      if (waited != platform::WaitResult::Timeout) break;
    }
  }
  if (closing) result = 0;
  return result;
}

int32_t LinkmodControl::ReceiveMessage(const ReceiveOutputs* outputs) {
  if (closing) return -1;
  SyncGuard guard(recvLock);
  RunningScope running(recvsRunning);
  int32_t result = -1;
  if (recvSlot.Data() == nullptr || recvSlot.Size() < kRecvSlotBytes) return -1;

  RecvSlot slot;
  std::memcpy(&slot, recvSlot.Data(), sizeof(slot));
  const std::u16string sender = ReadIdentityField(slot.senderId);
  const int32_t queue = slot.queueIndex;

  MemoryBufferExW queueMemory;
  const std::u16string queueName = SendQueueName(sender, queue);
  bool released = false;
  if (!sender.empty() && platform::SharedMemory::Exists(queueName) &&
      queueMemory.CreateNamed(queueName, kSendQueueBytes, false) &&
      queueMemory.Size() >= kSendQueueBytes) {
    const auto* bytes = static_cast<const uint8_t*>(queueMemory.Data());
    MessageHeader header;
    std::memcpy(&header, bytes, sizeof(header));
    if (header.totalSize != 0) {
      result = header.payloadSize;
      if (outputs != nullptr) {
        const uint32_t payloadSize = static_cast<uint32_t>(header.payloadSize);
        const bool oversized = payloadSize > kMaxPayloadBytes;
        if (payloadSize != 0 && outputs->data != nullptr) {
          if (oversized) {
            platform::WriteDebugString(kMaxRecvSizeOver);
          } else {
            std::memcpy(outputs->data, bytes + kMessageHeaderBytes, payloadSize);
          }
        }
        // The header's identity may lack its NUL: hand on a bounded copy.
        char16_t headerSender[kIdentityUnits];
        CopyIdentityOut(headerSender, ReadIdentityField(header.senderId));
        if (outputs->senderType != nullptr) *outputs->senderType = header.senderType;
        if (outputs->senderId != nullptr) CopyIdentityOut(outputs->senderId, headerSender);
        if (outputs->messageCode != nullptr) *outputs->messageCode = header.messageCode;
        if (outputs->subType != nullptr) *outputs->subType = header.subType;

        RecvCallback callback = recvCallback.load();
        if (waitMode != 0 && callback != nullptr) {
          std::vector<uint8_t> copy;
          if (oversized) {
            platform::WriteDebugString(kMaxRecvSizeOver);
          } else {
            copy.assign(bytes + kMessageHeaderBytes, bytes + kMessageHeaderBytes + payloadSize);
          }
          callback(header.senderType, header.subType, headerSender, header.messageCode,
                   copy.empty() ? nullptr : copy.data(), static_cast<int32_t>(copy.size()));
        }
        SignalWaitSend(sender, queue);
        released = true;
      }
    }
  }
  // Do not leave a sender waiting on a registration that is going away.
  if (closing && !sender.empty() && !released) SignalWaitSend(sender, queue);
  return result;
}

int32_t LinkmodControl::Recv(int32_t* senderTypeOut, int32_t* subTypeOut, char16_t* senderIdOut,
                             int32_t* messageCodeOut, void* data) {
  int32_t senderType = 0;
  int32_t subType = 0;
  int32_t messageCode = 0;
  ReceiveOutputs outputs;
  outputs.senderType = &senderType;
  outputs.subType = &subType;
  outputs.senderId = senderIdOut;
  outputs.messageCode = &messageCode;
  outputs.data = data;
  const int32_t result = ReceiveMessage(&outputs);
  if (senderTypeOut != nullptr) *senderTypeOut = senderType;
  if (subTypeOut != nullptr) *subTypeOut = subType;
  if (messageCodeOut != nullptr) *messageCodeOut = messageCode;
  return result;
}

}  // namespace ztn::linkmod
