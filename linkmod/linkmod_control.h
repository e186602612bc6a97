// LinkmodControl: the in-process record of one registration.
//
// One control per successful Initialize. It owns the registration's handles,
// locks and views of shared memory, its send-queue bookkeeping and the flags
// through which its activities (sends, Accept, receive steps, the receive
// thread) and its teardown coordinate. The control registry owns it from
// Initialize to UnInitialize.
//
// Threads: every operation may run on any thread at the same time as the
// others. recvLock guards initialisation, teardown and each receive step;
// queueLock guards the send-queue records. The teardown wakes every activity,
// waits until none runs, and only then frees what they use; the registry
// destroys the control only after every export call on it has returned.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "linkmod/linkmod.h"
#include "linkmod/wire_layout.h"
#include "platform/error.h"
#include "platform/event.h"
#include "platform/system_info.h"
#include "support/memory_buffer.h"
#include "support/named_mutex.h"
#include "support/security_block.h"
#include "support/system_information.h"
#include "support/sync_object.h"

namespace ztn::linkmod {

// Largest queueCount a registration accepts: every queue costs a shared
// memory of 10,372 bytes and an event.
inline constexpr uint32_t kMaxQueueCount = 256;

// One send queue of this registration.
struct SendQueue {
  int32_t busy = 0;        // a send of this process holds the queue
  std::u16string target;   // identity the held message is for
  uint64_t claim = 0;      // number of the claim that holds it; 0 = none yet
  std::unique_ptr<MemoryBufferExW> memory;
};

// The outputs of a full read; every pointer may be null.
struct ReceiveOutputs {
  int32_t* senderType = nullptr;
  int32_t* subType = nullptr;
  char16_t* senderId = nullptr;  // 56 units
  int32_t* messageCode = nullptr;
  void* data = nullptr;          // 10240 bytes
};

// A claimed send queue: its index and the claim that holds it.
struct QueueClaim {
  uint32_t index = 0;
  uint64_t claim = 0;
};

class LinkmodControl {
 public:
  LinkmodControl();
  virtual ~LinkmodControl();
  LinkmodControl(const LinkmodControl&) = delete;
  LinkmodControl& operator=(const LinkmodControl&) = delete;

  // Registration and channels. InitializeControl returns the identity, empty
  // when the registration failed.
  std::u16string InitializeControl(int32_t moduleType, int32_t subType, uint32_t queueCount);
  int RegisterIdentity(int32_t moduleType, int32_t subType);
  void CreateChannels();
  void TeardownControl();

  // Live entries of the ID manager table other than our own, in table order.
  int EnumerateLiveEntries(std::vector<IdManagerEntry>& list);

  // Sending.
  int32_t SendToId(std::u16string_view targetId, int32_t messageCode, const void* data,
                   int32_t size, int32_t timeoutMs);
  int32_t SendToModuleType(int32_t moduleType, int32_t subType, char16_t* firstTargetOut,
                           int32_t messageCode, const void* data, int32_t size,
                           int32_t timeoutMs);
  bool SendToTarget(std::u16string_view target, int32_t messageCode, int32_t subType,
                    const void* data, int32_t size, int32_t timeoutMs);
  bool FindQueue(std::u16string_view target, int32_t timeoutMs, QueueClaim* claim);
  void ReleaseQueue(const QueueClaim& claim);
  bool DeliverMessage(std::u16string_view target, const QueueClaim& claim, int32_t timeoutMs);
  bool IsRecvWaitId(std::u16string_view target, int32_t timeoutMs);
  bool WaitSend(std::u16string_view target, const QueueClaim& claim, int32_t timeoutMs);

  // Receiving.
  int32_t Accept(int32_t timeoutMs, std::u16string_view peerId);
  int32_t Recv(int32_t* senderTypeOut, int32_t* subTypeOut, char16_t* senderIdOut,
               int32_t* messageCodeOut, void* data);
  // Full read when outputs is non-null, else the size query.
  int32_t ReceiveMessage(const ReceiveOutputs* outputs);

  // Receive thread.
  int32_t StartRecvThread(RecvCallback callback);
  void SetRecvCallback(RecvCallback callback) { recvCallback = callback; }
  void SetRecvWaitMode(int32_t mode) { waitMode = mode; }

  const std::u16string& Identity() const { return identity; }

  // Export calls that hold this control (counted by the registry).
  std::atomic<int32_t> activeCalls{0};

  // Source of the identity's UUID; replaceable so that a failing source can
  // be exercised.
  platform::Result<platform::Uuid> (*uuidSource)() = &platform::CreateUuid;

 private:
  void RecvThreadProc();
  void WriteTimeoutLine(const char16_t* text);
  bool DeadlinePassed(uint32_t start, int32_t timeoutMs) const;
  std::shared_ptr<platform::Event> MainEvent();
  std::shared_ptr<platform::Event> AcceptWaitEvent();
  bool ClaimHolds(const QueueClaim& claim);

  std::atomic<int32_t> waitMode{0};
  std::atomic<int32_t> timeoutMs{-1};
  SecurityBlock securityBlock;
  std::atomic<int32_t> closing{0};
  // Running Accept waits and receive steps; "idle" when 0.
  std::atomic<int32_t> acceptsRunning{0};
  std::atomic<int32_t> recvsRunning{0};
  // Sends running on this control, from their start to their end.
  std::atomic<int32_t> sendsRunning{0};
  std::vector<int32_t> queueFree;  // guarded by queueLock
  std::atomic<int32_t> stopThread{0};
  // The two events an Accept uses are shared so that a waiting Accept keeps
  // its event open while the teardown closes the control's handle.
  std::mutex eventLock;
  std::shared_ptr<platform::Event> mainEvent;
  std::shared_ptr<platform::Event> acceptWaitEvent;
  std::vector<platform::Event> waitSendEvents;
  std::thread recvThread;  // joined by the teardown
  std::atomic<RecvCallback> recvCallback{nullptr};
  std::atomic<int32_t> lastMessageCode{0};
  std::atomic<int32_t> lastTargetType{0};
  SyncObjectEx recvLock;
  SyncObjectEx queueLock;
  NamedMutex idTableLock;
  std::u16string idTableLockName;
  std::u16string identity;
  int32_t moduleType = 0;
  MemoryBufferExW idTable;
  MemoryBufferExW recvSlot;
  std::vector<SendQueue> sendQueues;  // guarded by queueLock
  uint32_t queueCount = 0;
  std::mutex debugLineLock;
  std::u16string debugLine;
  uint32_t queueCursor = 0;  // guarded by queueLock
  uint64_t lastClaim = 0;    // guarded by queueLock
};

// True when the identity's main event can be opened.
bool IsIdentityAlive(std::u16string_view identity);

}  // namespace ztn::linkmod
