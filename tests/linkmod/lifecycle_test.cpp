// The receive thread and its wait modes, and UnInitialize while other threads
// send, accept, receive or run a callback.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

// A callback that records each call and can be held until released.
struct CallbackProbe {
  std::mutex lock;
  std::condition_variable changed;
  int calls = 0;
  bool hold = false;
  bool returned = false;
  std::vector<std::vector<uint8_t>> payloads;
  std::vector<bool> nullData;

  void Call(const void* data, int32_t size) {
    std::unique_lock<std::mutex> guard(lock);
    ++calls;
    nullData.push_back(data == nullptr);
    payloads.emplace_back(static_cast<const uint8_t*>(data),
                          static_cast<const uint8_t*>(data) + (data ? size : 0));
    changed.notify_all();
    changed.wait_for(guard, std::chrono::seconds(10), [&] { return !hold; });
    returned = true;
  }
  void Release() {
    std::lock_guard<std::mutex> guard(lock);
    hold = false;
    changed.notify_all();
  }
  bool WaitCalls(int n) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return calls >= n; });
  }
};
CallbackProbe* gProbe = nullptr;
void ProbeCallback(int32_t, int32_t, const char16_t*, int32_t, const void* data, int32_t size) {
  gProbe->Call(data, size);
}

class LinkmodLifecycle : public ::testing::Test {
 protected:
  void SetUp() override { gProbe = &probe; }
  void TearDown() override { gProbe = nullptr; }
  ScopedObjectDir dir;
  CallbackProbe probe;
};

// Wait mode 0 releases the sender before the callback runs; any other mode
// after it returned. An empty payload reaches the callback as null and 0.
TEST_F(LinkmodLifecycle, WaitModes) {
  auto listener = platform::DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  Registration receiver(80, 0);
  Registration sender(81, 0);
  ASSERT_TRUE(receiver.ok() && sender.ok());
  StartRecvThread(receiver.id(), &ProbeCallback);

  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    SetRecvWaitMode(receiver.id(), mode);
    const int before = probe.calls;
    {
      std::lock_guard<std::mutex> guard(probe.lock);
      probe.hold = true;
    }
    // Mode 0: the send succeeds while the callback is held. Mode 1: the send
    // gives up in WaitSend although the callback got the message.
    const int32_t result = SendToId(sender.id(), receiver.id(), 1, "data", 4, 300);
    EXPECT_EQ(result, mode == 0 ? 1 : 0);
    ASSERT_TRUE(probe.WaitCalls(before + 1));
    probe.Release();
    if (mode != 0) {
      EXPECT_TRUE(WaitForDebugLine(*listener, "WaitSend Time Out!!"));
    }
    EXPECT_EQ(probe.payloads.back(), std::vector<uint8_t>({'d', 'a', 't', 'a'}));

    // Empty payload: null data and size 0.
    EXPECT_EQ(SendToId(sender.id(), receiver.id(), 2, nullptr, 0, 5000), 1);
    ASSERT_TRUE(probe.WaitCalls(before + 2));
    EXPECT_TRUE(probe.nullData.back());
    EXPECT_TRUE(probe.payloads.back().empty());
  }
}

TEST_F(LinkmodLifecycle, NullCallbackDropsAndStopRecvThreadChangesNothing) {
  Registration receiver(82, 0);
  Registration sender(83, 0);
  ASSERT_TRUE(receiver.ok() && sender.ok());
  StartRecvThread(receiver.id(), &ProbeCallback);
  SetRecvCallback(receiver.id(), nullptr);
  EXPECT_EQ(SendToId(sender.id(), receiver.id(), 1, "x", 1, 5000), 1);
  SetRecvWaitMode(receiver.id(), 1);
  EXPECT_EQ(SendToId(sender.id(), receiver.id(), 1, "x", 1, 5000), 1);
  StopRecvThread();
  SetRecvCallback(receiver.id(), &ProbeCallback);
  // A second start only replaces the callback.
  EXPECT_EQ(StartRecvThread(receiver.id(), &ProbeCallback), 1);
  EXPECT_EQ(SendToId(sender.id(), receiver.id(), 3, "y", 1, 5000), 1);
  ASSERT_TRUE(probe.WaitCalls(1));
  receiver.End();
  EXPECT_EQ(probe.calls, 1);
}

// UnInitialize wakes a send that waits for the target, a send that waits for
// a queue, and an Accept; each ends and UnInitialize returns after them.
TEST_F(LinkmodLifecycle, UnInitializeWakesSendsAndAccepts) {
  Registration target(84, 0);  // alive, never accepts
  ASSERT_TRUE(target.ok());
  for (int round = 0; round < 2; ++round) {
    Registration self(85, 0, 1);
    ASSERT_TRUE(self.ok());
    auto accept = std::async(std::launch::async, [&] { return Accept(self.id(), -1, u""); });
    // Round 0: the send waits for the target's Accept; round 1: a second send
    // waits for the only queue.
    auto send = std::async(std::launch::async, [&] {
      return SendToId(self.id(), target.id(), 1, "x", 1, -1);
    });
    std::future<int32_t> second;
    ASSERT_TRUE(WaitUntil([&] { return QueuedTotalSize(self.str(), 0) != 0; }));
    if (round == 1) {
      second = std::async(std::launch::async, [&] {
        return SendToModuleType(self.id(), 84, -1, nullptr, 1, "x", 1, -1);
      });
    }
    EXPECT_EQ(UnInitialize(self.id()), 1);
    EXPECT_EQ(send.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(send.get(), 0);
    EXPECT_EQ(accept.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(accept.get(), 0);
    if (round == 1) {
      EXPECT_EQ(second.wait_for(std::chrono::seconds(0)), std::future_status::ready);
      EXPECT_EQ(second.get(), 0);
    }
    EXPECT_EQ(IsAliveId(target.id(), self.id()), 0);
  }
}

// UnInitialize while a callback runs returns only after the callback
// returned, in both wait modes.
TEST_F(LinkmodLifecycle, UnInitializeWaitsForARunningCallback) {
  Registration sender(86, 0);
  ASSERT_TRUE(sender.ok());
  for (int32_t mode : {0, 1}) {
    SCOPED_TRACE(mode);
    Registration receiver(87, 0);
    ASSERT_TRUE(receiver.ok());
    SetRecvWaitMode(receiver.id(), mode);
    StartRecvThread(receiver.id(), &ProbeCallback);
    {
      std::lock_guard<std::mutex> guard(probe.lock);
      probe.hold = true;
      probe.returned = false;
    }
    const int before = probe.calls;
    auto send = std::async(std::launch::async, [&] {
      return SendToId(sender.id(), receiver.id(), 1, "z", 1, -1);
    });
    ASSERT_TRUE(probe.WaitCalls(before + 1));
    std::atomic<bool> callbackReturnedFirst{false};
    auto end = std::async(std::launch::async, [&] {
      receiver.End();
      std::lock_guard<std::mutex> guard(probe.lock);
      callbackReturnedFirst = probe.returned;
    });
    EXPECT_EQ(end.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    probe.Release();
    ASSERT_EQ(end.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(callbackReturnedFirst);
    // Mode 0 released the sender before the callback; mode 1 after it.
    EXPECT_EQ(send.get(), 1);
  }
}

}  // namespace
}  // namespace ztn::test
