// Events: reset modes, waits with limits, and wakes across processes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/shared_memory.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn::platform {
namespace {

using test::ScopedObjectDir;
using test::SpawnChild;
using test::UniqueName;
using test::WaitChild;

const SecurityAttributes kEveryone{true, true};

TEST(Event, AutoResetSetWithoutWaiterIsConsumedByExactlyOneWait) {
  ScopedObjectDir dir;
  auto e = Event::Create(UniqueName("ev"), false, false, &kEveryone);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->Wait(0), WaitResult::Timeout);
  ASSERT_TRUE(e->Set().ok());
  ASSERT_TRUE(e->Set().ok());  // signals are not counted
  EXPECT_EQ(e->Wait(0), WaitResult::Signaled);
  EXPECT_EQ(e->Wait(0), WaitResult::Timeout);
  EXPECT_EQ(e->Wait(20), WaitResult::Timeout);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  ScopedObjectDir dir;
  auto e = Event::Create(UniqueName("ev"), true, true, &kEveryone);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->Wait(0), WaitResult::Signaled);
  EXPECT_EQ(e->Wait(-1), WaitResult::Signaled);
  ASSERT_TRUE(e->Reset().ok());
  EXPECT_EQ(e->Wait(0), WaitResult::Timeout);
}

TEST(Event, CreateOfExistingEventKeepsItsModeAndState) {
  ScopedObjectDir dir;
  auto name = UniqueName("ev");
  auto first = Event::Create(name, true, true, &kEveryone);
  ASSERT_TRUE(first.ok());
  bool existed = false;
  auto second = Event::Create(name, false, false, &kEveryone, &existed);
  ASSERT_TRUE(second.ok());
  EXPECT_TRUE(existed);
  // Still manual-reset and signalled.
  EXPECT_EQ(second->Wait(0), WaitResult::Signaled);
  EXPECT_EQ(second->Wait(0), WaitResult::Signaled);
  EXPECT_EQ(Event::Open(UniqueName("missing")).code(), ErrorCode::FileNotFound);
  Event empty;
  EXPECT_EQ(empty.Wait(0), WaitResult::Failed);
  EXPECT_EQ(empty.Set().code(), ErrorCode::InvalidHandle);
}

TEST(Event, ManualResetReleasesEveryWaitingThread) {
  auto e = Event::Create(u"", true, false);  // unnamed: this process only
  ASSERT_TRUE(e.ok());
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (e->Wait(10000) == WaitResult::Signaled) released.fetch_add(1);
    });
  }
  ASSERT_TRUE(e->Set().ok());
  for (auto& t : threads) t.join();
  EXPECT_EQ(released.load(), 4);
}

// Child: waits on the auto-reset event, counts its release in shared memory
// and reports it through the "woke" event.
ZTN_CHILD(EventWaiter) {
  const std::string base = args.at(0);
  auto e = Event::Open(AnsiToWideText(base + "_e"));
  auto woke = Event::Open(AnsiToWideText(base + "_woke"));
  auto shm = SharedMemory::Open(AnsiToWideText(base + "_count"));
  if (!e.ok() || !woke.ok() || !shm.ok()) return 1;
  auto view = shm->Map();
  if (!view.ok()) return 2;
  if (e->Wait(10000) != WaitResult::Signaled) return 3;
  static_cast<std::atomic<uint32_t>*>(view->Data())->fetch_add(1);
  (void)woke->Set();
  return 0;
}

TEST(Event, AutoResetReleasesExactlyOneOfSeveralProcesses) {
  ScopedObjectDir dir;
  const std::string base = WideToAnsiText(UniqueName("one"));
  auto e = Event::Create(AnsiToWideText(base + "_e"), false, false, &kEveryone);
  auto woke = Event::Create(AnsiToWideText(base + "_woke"), false, false, &kEveryone);
  auto shm = SharedMemory::Create(AnsiToWideText(base + "_count"), sizeof(uint32_t), &kEveryone);
  ASSERT_TRUE(e.ok() && woke.ok() && shm.ok());
  auto view = shm->Map();
  ASSERT_TRUE(view.ok());
  auto* count = static_cast<std::atomic<uint32_t>*>(view->Data());

  constexpr uint32_t kWaiters = 3;
  std::vector<Process> children;
  for (uint32_t i = 0; i < kWaiters; ++i) children.push_back(SpawnChild("EventWaiter", {base}));
  for (uint32_t i = 1; i <= kWaiters; ++i) {
    ASSERT_TRUE(e->Set().ok());
    ASSERT_EQ(woke->Wait(10000), WaitResult::Signaled);
    EXPECT_GE(count->load(), i);
  }
  for (auto& c : children) EXPECT_EQ(WaitChild(c), 0);
  EXPECT_EQ(count->load(), kWaiters);
  // Had any Set released two waiters, one Set would be left over here.
  EXPECT_EQ(e->Wait(0), WaitResult::Timeout);
}

// Child: opens the event and sets it.
ZTN_CHILD(EventSetter) {
  auto e = Event::Open(AnsiToWideText(args.at(0)));
  if (!e.ok()) return 1;
  return e->Set().ok() ? 0 : 2;
}

TEST(Event, SetInAnotherProcessWakesAWaiter) {
  ScopedObjectDir dir;
  auto name = UniqueName("wake");
  auto e = Event::Create(name, false, false, &kEveryone);
  ASSERT_TRUE(e.ok());
  auto child = SpawnChild("EventSetter", {WideToAnsiText(name)});
  EXPECT_EQ(e->Wait(10000), WaitResult::Signaled);
  EXPECT_EQ(WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn::platform
