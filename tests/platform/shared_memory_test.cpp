// Shared memory: sharing between processes, lifetime and crash semantics.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
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

std::u16string Wide(const std::string& s) { return AnsiToWideText(s); }
std::string Narrow(const std::u16string& s) { return WideToAnsiText(s); }

bool AllZero(const MappedView& view) {
  const auto* p = static_cast<const uint8_t*>(view.Data());
  for (size_t i = 0; i < view.Size(); ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST(SharedMemory, CreateIsZeroFilledAndOpenFindsIt) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::FileNotFound);
  bool existed = true;
  auto created = SharedMemory::Create(name, 10372, &kEveryone, &existed);
  ASSERT_TRUE(created.ok());
  EXPECT_FALSE(existed);
  EXPECT_EQ(created->Size(), 10372u);
  auto view = created->Map();
  ASSERT_TRUE(view.ok());
  EXPECT_TRUE(AllZero(*view));
  static_cast<uint8_t*>(view->Data())[10371] = 0x5A;

  auto opened = SharedMemory::Open(name);
  ASSERT_TRUE(opened.ok());
  auto view2 = opened->Map(10372);
  ASSERT_TRUE(view2.ok());
  EXPECT_EQ(static_cast<uint8_t*>(view2->Data())[10371], 0x5A);
}

TEST(SharedMemory, ExistingObjectKeepsItsSizeAndRefusesLargerViews) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  auto first = SharedMemory::Create(name, 116, &kEveryone);
  ASSERT_TRUE(first.ok());
  bool existed = false;
  auto second = SharedMemory::Create(name, 4096, &kEveryone, &existed);
  ASSERT_TRUE(second.ok());
  EXPECT_TRUE(existed);
  EXPECT_EQ(second->Size(), 116u);
  EXPECT_EQ(second->Map(4096).code(), ErrorCode::AccessDenied);
  EXPECT_EQ(second->Map(117).code(), ErrorCode::AccessDenied);
  EXPECT_TRUE(second->Map(116).ok());
  EXPECT_EQ(SharedMemory::Create(name, 0).code(), ErrorCode::InvalidParameter);
}

TEST(SharedMemory, LastCloseDestroysAndViewsKeepAlive) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  {
    auto handle = SharedMemory::Create(name, 64, &kEveryone);
    ASSERT_TRUE(handle.ok());
    auto view = handle->Map();
    ASSERT_TRUE(view.ok());
    static_cast<uint8_t*>(view->Data())[0] = 7;
    handle->Close();
    // The view alone keeps the object and its contents.
    auto again = SharedMemory::Open(name);
    ASSERT_TRUE(again.ok());
    auto view2 = again->Map();
    ASSERT_TRUE(view2.ok());
    EXPECT_EQ(static_cast<uint8_t*>(view2->Data())[0], 7);
  }
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::FileNotFound);
  bool existed = true;
  auto fresh = SharedMemory::Create(name, 64, &kEveryone, &existed);
  ASSERT_TRUE(fresh.ok());
  EXPECT_FALSE(existed);
  auto view = fresh->Map();
  ASSERT_TRUE(view.ok());
  EXPECT_TRUE(AllZero(*view));
}

TEST(SharedMemory, NameHeldByAnotherKindFails) {
  ScopedObjectDir dir;
  auto name = UniqueName("clash");
  auto event = Event::Create(name, false, false);
  ASSERT_TRUE(event.ok());
  EXPECT_EQ(SharedMemory::Create(name, 16).code(), ErrorCode::InvalidHandle);
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::InvalidHandle);
}

// Child: opens the named memory, checks byte 0 == 0x11, writes 0x22 at byte 1.
ZTN_CHILD(ShmPeer) {
  auto shm = SharedMemory::Open(Wide(args.at(0)));
  if (!shm.ok()) return 1;
  auto view = shm->Map();
  if (!view.ok()) return 2;
  auto* p = static_cast<volatile uint8_t*>(view->Data());
  if (p[0] != 0x11) return 3;
  p[1] = 0x22;
  return 0;
}

TEST(SharedMemory, ProcessesSeeEachOthersWrites) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  auto shm = SharedMemory::Create(name, 4096, &kEveryone);
  ASSERT_TRUE(shm.ok());
  auto view = shm->Map();
  ASSERT_TRUE(view.ok());
  static_cast<volatile uint8_t*>(view->Data())[0] = 0x11;
  auto child = SpawnChild("ShmPeer", {Narrow(name)});
  ASSERT_EQ(WaitChild(child), 0);
  EXPECT_EQ(static_cast<volatile uint8_t*>(view->Data())[1], 0x22);
}

// Child: creates the named memory, writes a marker, optionally signals an
// event, then kills itself while holding the handle and view.
ZTN_CHILD(ShmCreateAndDie) {
  auto shm = SharedMemory::Create(Wide(args.at(0)), 4096, &kEveryone);
  if (!shm.ok()) return 1;
  auto view = shm->Map();
  if (!view.ok()) return 2;
  static_cast<volatile uint8_t*>(view->Data())[0] = 0x77;
  std::raise(SIGKILL);
  return 3;
}

TEST(SharedMemory, ObjectDiesWithItsOnlyHolder) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  auto child = SpawnChild("ShmCreateAndDie", {Narrow(name)});
  ASSERT_EQ(WaitChild(child), 128 + SIGKILL);
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::FileNotFound);
  bool existed = true;
  auto fresh = SharedMemory::Create(name, 4096, &kEveryone, &existed);
  ASSERT_TRUE(fresh.ok());
  EXPECT_FALSE(existed);
  auto view = fresh->Map();
  ASSERT_TRUE(view.ok());
  EXPECT_TRUE(AllZero(*view));
}

TEST(SharedMemory, ObjectOutlivesAKilledHolderWhileOthersHoldIt) {
  ScopedObjectDir dir;
  auto name = UniqueName("shm");
  // The child creates it and dies; a stale object must be recreated fresh
  // by our Create, after which it lives with our handle.
  auto child = SpawnChild("ShmCreateAndDie", {Narrow(name)});
  ASSERT_EQ(WaitChild(child), 128 + SIGKILL);
  auto ours = SharedMemory::Create(name, 4096, &kEveryone);
  ASSERT_TRUE(ours.ok());
  // Now a second child opens the same object and dies holding it: ours stays.
  auto view = ours->Map();
  ASSERT_TRUE(view.ok());
  static_cast<volatile uint8_t*>(view->Data())[0] = 0x11;
  auto peer = SpawnChild("ShmPeer", {Narrow(name)});
  ASSERT_EQ(WaitChild(peer), 0);
  auto again = SharedMemory::Open(name);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(static_cast<volatile uint8_t*>(view->Data())[1], 0x22);
}

struct RaceCounters {
  std::atomic<uint32_t> joined;
  std::atomic<uint32_t> creators;
};

// Child: waits for "go", creates-or-opens the memory, counts itself (and
// whether it created it), reports "arrived", holds on until "release".
ZTN_CHILD(ShmRacer) {
  const std::string base = args.at(0);
  auto go = Event::Open(Wide(base + "_go"));
  auto release = Event::Open(Wide(base + "_release"));
  auto arrived = Event::Open(Wide(base + "_arrived_" + args.at(1)));
  if (!go.ok() || !release.ok() || !arrived.ok()) return 1;
  if (go->Wait(10000) != WaitResult::Signaled) return 2;
  bool existed = false;
  auto shm = SharedMemory::Create(Wide(base + "_shm"), sizeof(RaceCounters), &kEveryone, &existed);
  if (!shm.ok()) return 3;
  auto view = shm->Map();
  if (!view.ok()) return 4;
  auto* counters = static_cast<RaceCounters*>(view->Data());
  counters->joined.fetch_add(1);
  if (!existed) counters->creators.fetch_add(1);
  (void)arrived->Set();
  if (release->Wait(10000) != WaitResult::Signaled) return 5;
  return 0;
}

TEST(SharedMemory, ManyProcessesRacingToCreateShareOneObject) {
  ScopedObjectDir dir;
  const std::string base = Narrow(UniqueName("race"));
  constexpr int kChildren = 8;
  auto go = Event::Create(Wide(base + "_go"), true, false, &kEveryone);
  auto release = Event::Create(Wide(base + "_release"), true, false, &kEveryone);
  ASSERT_TRUE(go.ok() && release.ok());
  std::vector<Event> arrived;
  std::vector<Process> children;
  for (int i = 0; i < kChildren; ++i) {
    auto e = Event::Create(Wide(base + "_arrived_" + std::to_string(i)), false, false, &kEveryone);
    ASSERT_TRUE(e.ok());
    arrived.push_back(std::move(e).value());
    children.push_back(SpawnChild("ShmRacer", {base, std::to_string(i)}));
  }
  ASSERT_TRUE(go->Set().ok());
  for (auto& e : arrived) ASSERT_EQ(e.Wait(10000), WaitResult::Signaled);
  {
    auto shm = SharedMemory::Open(Wide(base + "_shm"));
    ASSERT_TRUE(shm.ok());
    auto view = shm->Map();
    ASSERT_TRUE(view.ok());
    auto* counters = static_cast<RaceCounters*>(view->Data());
    EXPECT_EQ(counters->joined.load(), static_cast<uint32_t>(kChildren));
    EXPECT_EQ(counters->creators.load(), 1u);
  }
  ASSERT_TRUE(release->Set().ok());
  for (auto& c : children) EXPECT_EQ(WaitChild(c), 0);
  EXPECT_EQ(SharedMemory::Open(Wide(base + "_shm")).code(), ErrorCode::FileNotFound);
}

}  // namespace
}  // namespace ztn::platform
