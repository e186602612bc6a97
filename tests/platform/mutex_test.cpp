// Mutexes: recursion, ownership, exclusion across processes, abandonment.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn::platform {
namespace {

using test::ScopedObjectDir;
using test::SpawnChild;
using test::UniqueName;
using test::WaitChild;

const SecurityAttributes kEveryone{true, true};

TEST(Mutex, RecursiveForItsOwnerAndReleasedOncePerWait) {
  ScopedObjectDir dir;
  auto m = Mutex::Create(UniqueName("mx"), false, &kEveryone);
  ASSERT_TRUE(m.ok());
  EXPECT_EQ(m->Wait(0), WaitResult::Signaled);
  EXPECT_EQ(m->Wait(0), WaitResult::Signaled);
  std::thread([&] { EXPECT_EQ(m->Wait(0), WaitResult::Timeout); }).join();
  EXPECT_TRUE(m->Release().ok());
  std::thread([&] { EXPECT_EQ(m->Wait(0), WaitResult::Timeout); }).join();
  EXPECT_TRUE(m->Release().ok());
  EXPECT_EQ(m->Release().code(), ErrorCode::NotOwner);
  std::thread([&] {
    EXPECT_EQ(m->Wait(0), WaitResult::Signaled);
    EXPECT_TRUE(m->Release().ok());
  }).join();
}

TEST(Mutex, ReleaseByANonOwnerFails) {
  ScopedObjectDir dir;
  auto m = Mutex::Create(UniqueName("mx"), true, &kEveryone);  // owned by this thread
  ASSERT_TRUE(m.ok());
  std::thread([&] {
    EXPECT_EQ(m->Release().code(), ErrorCode::NotOwner);
    EXPECT_EQ(m->Wait(20), WaitResult::Timeout);
  }).join();
  EXPECT_TRUE(m->Release().ok());
}

TEST(Mutex, CreateOfExistingMutexDoesNotTakeOwnership) {
  ScopedObjectDir dir;
  auto name = UniqueName("mx");
  auto first = Mutex::Create(name, false, &kEveryone);
  ASSERT_TRUE(first.ok());
  std::thread([&] {
    bool existed = false;
    auto second = Mutex::Create(name, true, &kEveryone, &existed);
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(existed);
    EXPECT_EQ(second->Release().code(), ErrorCode::NotOwner);
  }).join();
  EXPECT_EQ(first->Wait(0), WaitResult::Signaled);
  EXPECT_TRUE(first->Release().ok());
  EXPECT_EQ(Mutex::Open(UniqueName("missing")).code(), ErrorCode::FileNotFound);
}

TEST(Mutex, ThreadEndingWhileOwningAbandonsIt) {
  ScopedObjectDir dir;
  auto m = Mutex::Create(UniqueName("mx"), false, &kEveryone);
  ASSERT_TRUE(m.ok());
  std::thread([&] { EXPECT_EQ(m->Wait(0), WaitResult::Signaled); }).join();
  EXPECT_EQ(m->Wait(10000), WaitResult::Abandoned);
  EXPECT_TRUE(m->Release().ok());
  EXPECT_EQ(m->Wait(0), WaitResult::Signaled);
  EXPECT_TRUE(m->Release().ok());
}

// Child: takes the mutex, reports "held", then either waits for "done" and
// releases it (args[1] == "release") or kills itself while holding it.
ZTN_CHILD(MutexHolder) {
  const std::string base = args.at(0);
  auto m = Mutex::Open(AnsiToWideText(base + "_mx"));
  auto held = Event::Open(AnsiToWideText(base + "_held"));
  auto done = Event::Open(AnsiToWideText(base + "_done"));
  if (!m.ok() || !held.ok() || !done.ok()) return 1;
  if (m->Wait(10000) != WaitResult::Signaled) return 2;
  (void)held->Set();
  if (args.at(1) == "die") std::raise(SIGKILL);
  if (done->Wait(10000) != WaitResult::Signaled) return 3;
  return m->Release().ok() ? 0 : 4;
}

struct MutexFixture {
  std::string base = WideToAnsiText(UniqueName("mxp"));
  Mutex mutex = std::move(Mutex::Create(AnsiToWideText(base + "_mx"), false, &kEveryone)).value();
  Event held = std::move(Event::Create(AnsiToWideText(base + "_held"), false, false, &kEveryone)).value();
  Event done = std::move(Event::Create(AnsiToWideText(base + "_done"), false, false, &kEveryone)).value();
};

TEST(Mutex, ExcludesOtherProcesses) {
  ScopedObjectDir dir;
  MutexFixture f;
  auto child = SpawnChild("MutexHolder", {f.base, "release"});
  ASSERT_EQ(f.held.Wait(10000), WaitResult::Signaled);
  EXPECT_EQ(f.mutex.Wait(0), WaitResult::Timeout);
  ASSERT_TRUE(f.done.Set().ok());
  EXPECT_EQ(f.mutex.Wait(10000), WaitResult::Signaled);
  EXPECT_TRUE(f.mutex.Release().ok());
  EXPECT_EQ(WaitChild(child), 0);
}

TEST(Mutex, ProcessKilledWhileOwningAbandonsIt) {
  ScopedObjectDir dir;
  MutexFixture f;
  auto child = SpawnChild("MutexHolder", {f.base, "die"});
  ASSERT_EQ(f.held.Wait(10000), WaitResult::Signaled);
  EXPECT_EQ(f.mutex.Wait(10000), WaitResult::Abandoned);
  EXPECT_EQ(WaitChild(child), 128 + SIGKILL);
  EXPECT_TRUE(f.mutex.Release().ok());
  EXPECT_EQ(f.mutex.Wait(0), WaitResult::Signaled);  // normal again
  EXPECT_TRUE(f.mutex.Release().ok());
}

}  // namespace
}  // namespace ztn::platform
