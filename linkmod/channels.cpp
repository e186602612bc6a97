// A registration's channels: creating them and tearing the registration down.
//
// Teardown protocol: set `closing`, then set (and close our handles to) the
// accept-wait and main events, which wakes an Accept at once and makes the
// identity dead for other processes; set every wait-send event, which wakes a
// send waiting for its acknowledgement; join the receive thread without
// holding recvLock (its current receive step needs that lock to finish); then
// wait until no Accept, receive step or send runs, and only then free the
// queues and their events. A send that has not claimed a queue yet is covered
// too: the claim tests `closing` under queueLock, and the wait counts sends
// from their start.
#include "linkmod/linkmod_control.h"
#include "linkmod/object_names.h"
#include "linkmod/sync_guard.h"

namespace ztn::linkmod {

void LinkmodControl::CreateChannels() {
  const platform::SecurityAttributes* security = LowIntegrityAttributes(securityBlock);
  {
    SyncGuard guard(queueLock);
    waitSendEvents.clear();
    queueFree.assign(queueCount, 1);
    for (uint32_t i = 0; i < queueCount; ++i) {
      auto event = platform::Event::Create(WaitSendEventName(identity, static_cast<int32_t>(i)),
                                           false, false, security);
      waitSendEvents.push_back(event.ok() ? std::move(event).value() : platform::Event());
    }
    for (uint32_t i = 0; i < queueCount; ++i) {
      SendQueue queue;
      queue.memory = std::make_unique<MemoryBufferExW>();
      queue.memory->CreateNamed(SendQueueName(identity, static_cast<int32_t>(i)),
                                kSendQueueBytes, true);
      sendQueues.push_back(std::move(queue));
    }
  }
  recvSlot.CreateNamed(RecvSlotName(identity), kRecvSlotBytes, true);
  auto acceptWait = platform::Event::Create(AcceptWaitEventName(identity), false, false, security);
  if (acceptWait.ok()) {
    std::lock_guard<std::mutex> lock(eventLock);
    acceptWaitEvent = std::make_shared<platform::Event>(std::move(acceptWait).value());
  }
}

void LinkmodControl::TeardownControl() {
  SyncGuard guard(recvLock);
  if (closing.exchange(1) == 1) return;
  // A claim running now either ends before this point, and the queue wait
  // below sees it, or sees `closing` and claims nothing.
  { SyncGuard barrier(queueLock); }
  idTableLock.Close();

  std::shared_ptr<platform::Event> acceptWait;
  std::shared_ptr<platform::Event> main;
  {
    std::lock_guard<std::mutex> lock(eventLock);
    acceptWait = std::move(acceptWaitEvent);
    main = std::move(mainEvent);
  }
  if (acceptWait) (void)acceptWait->Set();
  acceptWait.reset();
  // A waiting Accept holds its own reference and closes the event when it
  // wakes; from then on the identity is dead for other processes.
  if (main) (void)main->Set();
  main.reset();

  {
    SyncGuard queues(queueLock);
    for (auto& event : waitSendEvents) (void)event.Set();
  }
  stopThread = 1;

  if (recvThread.joinable()) {
    recvLock.Leave();
    recvThread.join();
    recvLock.Enter();
  }

  for (;;) {
    bool idle = acceptsRunning == 0 && recvsRunning == 0 && sendsRunning == 0;
    if (idle) {
      SyncGuard queues(queueLock);
      for (int32_t free : queueFree) idle = idle && free == 1;
    }
    if (idle) break;
    platform::Sleep(1);
  }

  SyncGuard queues(queueLock);
  waitSendEvents.clear();
  queueFree.clear();
  sendQueues.clear();  // each memory unmaps and closes its queue
}

}  // namespace ztn::linkmod
