// Thread message queues: posting across threads, order, peeking, targets,
// handlers, the translator, and a queue's end with its thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/message_queue.h"

namespace ztn::platform {
namespace {

constexpr uint32_t kFirst = kMessageUser + 1;
constexpr uint32_t kSecond = kMessageUser + 2;

std::vector<Message> Drain() {
  std::vector<Message> taken;
  Message message;
  while (PeekMessage(message, true)) taken.push_back(message);
  return taken;
}

// A thread that makes its queue, reports its id and waits to be released.
class QueueThread {
 public:
  QueueThread()
      : thread_([this] {
          EnsureMessageQueue();
          {
            std::lock_guard guard(lock_);
            id_ = GetCurrentThreadId();
          }
          changed_.notify_all();
          std::unique_lock guard(lock_);
          changed_.wait(guard, [this] { return release_; });
        }) {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return id_ != 0; });
  }
  ~QueueThread() { Join(); }
  void Join() {
    {
      std::lock_guard guard(lock_);
      release_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  ThreadId Id() {
    std::lock_guard guard(lock_);
    return id_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  ThreadId id_ = 0;
  bool release_ = false;
  std::thread thread_;
};

TEST(MessageQueue, MessagesFromOtherThreadsArriveInOrder) {
  EnsureMessageQueue();
  Drain();
  const ThreadId self = GetCurrentThreadId();
  std::thread poster([self] {
    for (uint64_t i = 0; i < 100; ++i) ASSERT_TRUE(PostThreadMessage(self, kFirst, i, -static_cast<int64_t>(i)));
  });
  poster.join();
  const auto taken = Drain();
  ASSERT_EQ(taken.size(), 100u);
  for (uint64_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(taken[i].target, 0u);
    EXPECT_EQ(taken[i].message, kFirst);
    EXPECT_EQ(taken[i].wParam, i);
    EXPECT_EQ(taken[i].lParam, -static_cast<int64_t>(i));
  }
}

TEST(MessageQueue, PeekWithoutRemoveLeavesTheMessage) {
  EnsureMessageQueue();
  Drain();
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kFirst, 1, 0));
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kSecond, 2, 0));
  Message message;
  ASSERT_TRUE(PeekMessage(message, false));
  EXPECT_EQ(message.message, kFirst);
  ASSERT_TRUE(PeekMessage(message, true));
  EXPECT_EQ(message.message, kFirst);
  ASSERT_TRUE(PeekMessage(message, true));
  EXPECT_EQ(message.message, kSecond);
  message.message = 77;
  EXPECT_FALSE(PeekMessage(message, true));
  EXPECT_EQ(message.message, 77u);  // untouched when empty
}

TEST(MessageQueue, PostingNeedsALiveThreadWithAQueue) {
  std::atomic<ThreadId> id{0};
  std::thread noQueue([&] { id = GetCurrentThreadId(); });
  noQueue.join();
  EXPECT_FALSE(PostThreadMessage(id, kFirst, 0, 0));

  QueueThread withQueue;
  const ThreadId queued = withQueue.Id();
  EXPECT_TRUE(PostThreadMessage(queued, kFirst, 0, 0));
  withQueue.Join();
  // The queue ended with its thread.
  EXPECT_FALSE(PostThreadMessage(queued, kFirst, 0, 0));
}

struct Recorder {
  std::vector<std::pair<uint32_t, uint64_t>> seen;
  static int64_t Handle(void* context, const Message& message) {
    static_cast<Recorder*>(context)->seen.emplace_back(message.message, message.wParam);
    return 40 + static_cast<int64_t>(message.wParam);
  }
};

TEST(MessageQueue, DispatchReachesTargetsAndThreadHandlers) {
  EnsureMessageQueue();
  Drain();
  Recorder targetRecorder;
  Recorder threadRecorder;
  const MessageTarget target = CreateMessageTarget(&Recorder::Handle, &targetRecorder);
  ASSERT_NE(target, 0u);
  SetThreadMessageHandler(kMessageQuit, &Recorder::Handle, &threadRecorder);

  std::thread poster([&] {
    EXPECT_TRUE(PostMessage(target, kFirst, 1, 0));
  });
  poster.join();
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kMessageQuit, 2, 0));
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kSecond, 3, 0));  // no handler

  std::vector<int64_t> results;
  for (const Message& message : Drain()) results.push_back(DispatchMessage(message));
  EXPECT_EQ(results, (std::vector<int64_t>{41, 42, 0}));
  EXPECT_EQ(targetRecorder.seen, (std::vector<std::pair<uint32_t, uint64_t>>{{kFirst, 1}}));
  EXPECT_EQ(threadRecorder.seen, (std::vector<std::pair<uint32_t, uint64_t>>{{kMessageQuit, 2}}));

  // A destroyed target takes no new messages and dispatches queued ones to nobody.
  ASSERT_TRUE(PostMessage(target, kFirst, 4, 0));
  ASSERT_TRUE(DestroyMessageTarget(target));
  EXPECT_FALSE(DestroyMessageTarget(target));
  EXPECT_FALSE(PostMessage(target, kFirst, 5, 0));
  for (const Message& message : Drain()) EXPECT_EQ(DispatchMessage(message), 0);
  EXPECT_EQ(targetRecorder.seen.size(), 1u);
  SetThreadMessageHandler(kMessageQuit, nullptr, nullptr);
}

TEST(MessageQueue, TargetsOfAnotherThreadAreNotDispatchedHere) {
  EnsureMessageQueue();
  Drain();
  Recorder recorder;
  std::atomic<MessageTarget> target{0};
  std::thread owner([&] { target = CreateMessageTarget(&Recorder::Handle, &recorder); });
  owner.join();
  // The owner has ended: its target went with it.
  EXPECT_FALSE(PostMessage(target, kFirst, 0, 0));
  Message forged{target, kFirst, 0, 0, 0};
  EXPECT_EQ(DispatchMessage(forged), 0);
  EXPECT_TRUE(recorder.seen.empty());
}

TEST(MessageQueue, TranslatorMayPostDerivedMessages) {
  EnsureMessageQueue();
  Drain();
  Recorder recorder;
  SetThreadMessageHandler(kSecond, &Recorder::Handle, &recorder);
  SetMessageTranslator(
      [](void*, const Message& message) {
        if (message.message != kFirst) return false;
        return PostThreadMessage(GetCurrentThreadId(), kSecond, message.wParam * 10, 0);
      },
      nullptr);
  ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), kFirst, 7, 0));
  Message message;
  int rounds = 0;
  while (PeekMessage(message, true) && rounds++ < 10) {
    const bool translated = TranslateMessage(message);
    EXPECT_EQ(translated, message.message == kFirst);
    DispatchMessage(message);
  }
  EXPECT_EQ(recorder.seen, (std::vector<std::pair<uint32_t, uint64_t>>{{kSecond, 70}}));
  SetMessageTranslator(nullptr, nullptr);
  SetThreadMessageHandler(kSecond, nullptr, nullptr);
  EXPECT_FALSE(TranslateMessage(message));
}

}  // namespace
}  // namespace ztn::platform
