// Sending: one message from this registration to another.
//
// The sender claims one of its own send queues, writes the message into the
// queue's shared memory, waits until the target sits in Accept (it consumes
// the target's auto-reset accept-wait event, so one sender passes per
// Accept), writes its identity and the queue number into the target's receive
// slot, sets the target's main event and waits for the queue's wait-send
// event, which the target's receive step sets. Every wait polls in short
// slices and ends when the target dies or this registration closes.
//
// Each claim has a number. A queue whose target died may be taken over by
// another send while its first holder still runs; the holder's release then
// finds another claim and changes nothing, and an acknowledgement it consumes
// by mistake is passed on.
#include <cstring>

#include "linkmod/linkmod_control.h"
#include "linkmod/object_names.h"
#include "linkmod/sync_guard.h"
#include "platform/debug_output.h"
#include "platform/shared_memory.h"
#include "support/string_util.h"

namespace ztn::linkmod {
namespace {

// Counts a running send for the teardown.
class SendScope {
 public:
  explicit SendScope(std::atomic<int32_t>& counter) : counter_(counter) { ++counter_; }
  ~SendScope() { --counter_; }
  SendScope(const SendScope&) = delete;
  SendScope& operator=(const SendScope&) = delete;

 private:
  std::atomic<int32_t>& counter_;
};

}  // namespace

bool LinkmodControl::DeadlinePassed(uint32_t start, int32_t limitMs) const {
  if (limitMs == platform::kInfinite) return false;
  const uint32_t elapsed = platform::GetTickCount() - start;
  return static_cast<int64_t>(elapsed) >= static_cast<int64_t>(limitMs);
}

void LinkmodControl::WriteTimeoutLine(const char16_t* text) {
  std::u16string line;
  {
    std::lock_guard<std::mutex> lock(debugLineLock);
    FormatString(debugLine, u"[%s] %d %s", identity.c_str(), lastMessageCode.load(), text);
    line = debugLine;
  }
  platform::WriteDebugString(line);
}

int32_t LinkmodControl::SendToId(std::u16string_view targetId, int32_t messageCode,
                                 const void* data, int32_t size, int32_t limitMs) {
  SendScope scope(sendsRunning);
  timeoutMs = limitMs;
  return SendToTarget(targetId, messageCode, -1, data, size, limitMs) ? 1 : 0;
}

int32_t LinkmodControl::SendToModuleType(int32_t type, int32_t subType, char16_t* firstTargetOut,
                                         int32_t messageCode, const void* data, int32_t size,
                                         int32_t limitMs) {
  SendScope scope(sendsRunning);
  timeoutMs = limitMs;
  lastTargetType = type;
  if (closing) return 0;
  std::vector<IdManagerEntry> entries;
  if (!EnumerateLiveEntries(entries)) return 0;
  int32_t result = 0;
  for (const IdManagerEntry& entry : entries) {
    if (closing) break;
    if (entry.moduleType != type) continue;
    if (subType != -1 && entry.subType != subType) continue;
    std::u16string target = ReadIdentityField(entry.identity);
    if (!SendToTarget(target, messageCode, subType, data, size, limitMs)) continue;
    if (result == 0 && firstTargetOut != nullptr) CopyIdentityOut(firstTargetOut, target);
    result = 1;
  }
  return result;
}

bool LinkmodControl::SendToTarget(std::u16string_view target, int32_t messageCode,
                                  int32_t subType, const void* data, int32_t size,
                                  int32_t limitMs) {
  lastMessageCode = messageCode;
  if (closing) return false;
  if (!IsIdentityAlive(target)) return false;
  QueueClaim claim;
  if (!FindQueue(target, limitMs, &claim)) return false;

  bool delivered = false;
  // The queue's memory stays until the teardown, which waits for this send.
  MemoryBufferExW* memory = sendQueues[claim.index].memory.get();
  if (IsIdentityAlive(target) && memory->Data() != nullptr &&
      memory->Size() >= kSendQueueBytes) {
    std::memset(memory->Data(), 0, kSendQueueBytes);
    MessageHeader header{};
    header.totalSize = static_cast<uint32_t>(size) + kMessageHeaderBytes + 1;
    header.senderType = moduleType;
    header.subType = subType;
    WriteIdentityField(header.senderId, identity);
    header.messageCode = messageCode;
    header.payloadSize = size;
    memory->WriteAt(&header, sizeof(header), 0);
    // Otherwise the header alone goes out; the receiver sees the size.
    if (data != nullptr && size >= 0 && static_cast<uint32_t>(size) <= kMaxPayloadBytes) {
      memory->WriteAt(data, static_cast<uint32_t>(size), kMessageHeaderBytes);
    }
    delivered = DeliverMessage(target, claim, limitMs);
  }
  ReleaseQueue(claim);
  return delivered;
}

bool LinkmodControl::FindQueue(std::u16string_view target, int32_t limitMs, QueueClaim* claim) {
  const uint32_t start = platform::GetTickCount();
  for (;;) {
    if (closing) return false;
    uint32_t index;
    {
      SyncGuard guard(queueLock);
      if (queueCursor >= queueCount) queueCursor = 0;
      index = queueCursor;
    }
    for (; index < queueCount; ++index) {
      bool claimed = false;
      {
        SyncGuard guard(queueLock);
        if (closing || index >= sendQueues.size()) return false;
        SendQueue& queue = sendQueues[index];
        if (queue.busy == 0) {
          // A stale acknowledgement of an earlier message must not count.
          (void)waitSendEvents[index].Reset();
          queue.target.assign(target);
          queue.busy = 1;
          queue.claim = ++lastClaim;
          queueFree[index] = 0;
          claim->index = index;
          claim->claim = queue.claim;
          claimed = true;
        } else if (!IsIdentityAlive(queue.target)) {
          // Its target died; a later probe may take it over.
          queue.busy = 0;
        }
        ++queueCursor;
      }
      if (claimed) return true;
      platform::Sleep(1);
    }
    if (DeadlinePassed(start, limitMs)) {
      WriteTimeoutLine(u"FindQueue Time Out!!");
      return false;
    }
    platform::Sleep(1);
  }
}

void LinkmodControl::ReleaseQueue(const QueueClaim& claim) {
  SyncGuard guard(queueLock);
  if (claim.index >= sendQueues.size()) return;
  SendQueue& queue = sendQueues[claim.index];
  if (queue.claim != claim.claim) return;  // taken over by another send
  queue.target.clear();
  queue.busy = 0;
  queueFree[claim.index] = 1;
}

bool LinkmodControl::ClaimHolds(const QueueClaim& claim) {
  SyncGuard guard(queueLock);
  return claim.index < sendQueues.size() && sendQueues[claim.index].claim == claim.claim;
}

bool LinkmodControl::DeliverMessage(std::u16string_view target, const QueueClaim& claim,
                                    int32_t limitMs) {
  if (!IsRecvWaitId(target, limitMs)) return false;
  const std::u16string slotName = RecvSlotName(target);
  if (!platform::SharedMemory::Exists(slotName)) return false;
  MemoryBufferExW slot;
  if (!slot.CreateNamed(slotName, kRecvSlotBytes, false)) return false;
  RecvSlot record{};
  WriteIdentityField(record.senderId, identity);
  record.queueIndex = static_cast<int32_t>(claim.index);
  slot.WriteAt(&record, sizeof(record), 0);
  {
    auto main = platform::Event::Open(MainEventName(target));
    if (!main.ok()) return false;
    (void)main->Set();
  }
  return WaitSend(target, claim, limitMs);  // the slot is unmapped on return
}

bool LinkmodControl::IsRecvWaitId(std::u16string_view target, int32_t limitMs) {
  const uint32_t start = platform::GetTickCount();
  int32_t polls = 0;
  auto acceptWait = platform::Event::Open(AcceptWaitEventName(target));
  if (!acceptWait.ok()) return false;
  for (;;) {
    if (closing) return false;
    if (!IsIdentityAlive(target)) return false;
    if (acceptWait->Wait(1) == platform::WaitResult::Signaled) return true;
    if (polls >= 1000) {
      polls = 0;
      std::u16string line;
      FormatString(line, u"IsRecvWaitId - %d, %s\n", lastTargetType.load(),
                   std::u16string(target).c_str());
      platform::WriteDebugString(line);
    }
    ++polls;
    if (DeadlinePassed(start, limitMs)) {
      WriteTimeoutLine(u"IsRecvWaitId Time Out!!");
      return false;
    }
  }
}

bool LinkmodControl::WaitSend(std::u16string_view target, const QueueClaim& claim,
                              int32_t limitMs) {
  const uint32_t start = platform::GetTickCount();
  platform::Event* event;
  {
    SyncGuard guard(queueLock);
    if (claim.index >= waitSendEvents.size() || !waitSendEvents[claim.index].IsValid()) {
      return false;
    }
    // Stays in place until the teardown, which waits for this send.
    event = &waitSendEvents[claim.index];
  }
  for (;;) {
    const platform::WaitResult waited = event->Wait(100);
    if (waited == platform::WaitResult::Signaled) {
      if (closing) return false;
      if (ClaimHolds(claim)) return true;
      // The queue was taken over: the acknowledgement is the new holder's.
      (void)event->Set();
      return false;
    }
    if (waited != platform::WaitResult::Timeout || closing) return false;
    if (!IsIdentityAlive(target)) return false;
    if (DeadlinePassed(start, limitMs)) {
      WriteTimeoutLine(u"WaitSend Time Out!!");
      return false;
    }
  }
}

}  // namespace ztn::linkmod
