// The cache of closed objects: cheap reopens that never revive the dead.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/object_cache.h"
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

// Child: creates the event (signalled, manual-reset) and the "ready" event's
// partner, reports, then either waits for "done" or kills itself on it.
ZTN_CHILD(CacheHolder) {
  const std::string base = args.at(0);
  auto held = Event::Create(AnsiToWideText(base + "_obj"), true, args.at(1) == "signalled", &kEveryone);
  auto ready = Event::Open(AnsiToWideText(base + "_ready"));
  auto done = Event::Open(AnsiToWideText(base + "_done"));
  if (!held.ok() || !ready.ok() || !done.ok()) return 1;
  (void)ready->Set();
  if (done->Wait(10000) != WaitResult::Signaled) return 2;
  if (args.at(2) == "die") std::raise(SIGKILL);
  return 0;
}

struct Holder {
  std::string base = WideToAnsiText(UniqueName("cache"));
  Event ready = std::move(Event::Create(AnsiToWideText(base + "_ready"), false, false, &kEveryone)).value();
  Event done = std::move(Event::Create(AnsiToWideText(base + "_done"), false, false, &kEveryone)).value();
  std::u16string object = AnsiToWideText(base + "_obj");
  Process child;

  void Start(const char* state, const char* end) {
    child = SpawnChild("CacheHolder", {base, state, end});
    ASSERT_EQ(ready.Wait(10000), WaitResult::Signaled);
  }
  int Finish() {
    (void)done.Set();
    return WaitChild(child);
  }
};

TEST(ObjectCache, ReopenAfterCloseComesFromTheCache) {
  ScopedObjectDir dir;
  ClearObjectCache();
  Holder h;
  h.Start("signalled", "exit");
  {
    auto e = Event::Open(h.object);
    ASSERT_TRUE(e.ok());
  }
  const size_t cached = CachedObjectCount();
  EXPECT_GE(cached, 1u);
  auto again = Event::Open(h.object);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(CachedObjectCount(), cached - 1);  // taken out while in use
  EXPECT_EQ(again->Wait(0), WaitResult::Signaled);
  again->Close();
  EXPECT_EQ(h.Finish(), 0);
  // The holder is gone: our cached reference must not keep or revive it.
  EXPECT_EQ(Event::Open(h.object).code(), ErrorCode::FileNotFound);
}

TEST(ObjectCache, KilledHolderIsNotRevivedByACachedReference) {
  ScopedObjectDir dir;
  Holder h;
  h.Start("signalled", "die");
  ASSERT_TRUE(Event::Open(h.object).ok());  // opened and closed: now cached
  EXPECT_EQ(h.Finish(), 128 + SIGKILL);
  EXPECT_EQ(Event::Open(h.object).code(), ErrorCode::FileNotFound);
  // Nor for anyone else afterwards.
  EXPECT_EQ(Event::Open(h.object).code(), ErrorCode::FileNotFound);
  bool existed = true;
  auto fresh = Event::Create(h.object, true, false, &kEveryone, &existed);
  ASSERT_TRUE(fresh.ok());
  EXPECT_FALSE(existed);
  EXPECT_EQ(fresh->Wait(0), WaitResult::Timeout);  // the new object, not the old signalled one
}

TEST(ObjectCache, ANameRecreatedElsewhereLeadsToTheNewObject) {
  ScopedObjectDir dir;
  Holder first;
  first.Start("signalled", "die");
  ASSERT_TRUE(Event::Open(first.object).ok());  // cached: the first object
  EXPECT_EQ(first.Finish(), 128 + SIGKILL);

  // A second holder makes a new object under the same name, not signalled.
  Holder second;
  second.base = first.base;
  second.object = first.object;
  second.child = SpawnChild("CacheHolder", {second.base, "clear", "exit"});
  ASSERT_EQ(first.ready.Wait(10000), WaitResult::Signaled);
  auto e = Event::Open(first.object);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->Wait(0), WaitResult::Timeout);
  e->Close();
  (void)first.done.Set();
  EXPECT_EQ(WaitChild(second.child), 0);
}

TEST(ObjectCache, CachedSharedMemoryKeepsItsContents) {
  ScopedObjectDir dir;
  auto name = UniqueName("cshm");
  auto owner = SharedMemory::Create(name, 10372, &kEveryone);
  ASSERT_TRUE(owner.ok());
  for (int round = 0; round < 3; ++round) {
    auto peer = SharedMemory::Open(name);
    ASSERT_TRUE(peer.ok());
    auto view = peer->Map(10372);
    ASSERT_TRUE(view.ok());
    auto* bytes = static_cast<uint8_t*>(view->Data());
    EXPECT_EQ(bytes[10371], round);
    bytes[10371] = static_cast<uint8_t>(round + 1);
  }
  owner->Close();
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::FileNotFound);
}

}  // namespace
}  // namespace ztn::platform

namespace ztn::platform {
namespace {

TEST(ObjectExists, AnswersLikeOpenWithoutTakingAShare) {
  ScopedObjectDir dir;
  Holder h;
  h.Start("clear", "die");
  EXPECT_TRUE(Event::Exists(h.object));
  EXPECT_FALSE(SharedMemory::Exists(h.object));  // another kind of object
  ASSERT_TRUE(Event::Open(h.object).ok());      // now also cached
  EXPECT_TRUE(Event::Exists(h.object));
  EXPECT_EQ(h.Finish(), 128 + SIGKILL);
  EXPECT_FALSE(Event::Exists(h.object));        // its only holder died
  EXPECT_EQ(Event::Open(h.object).code(), ErrorCode::FileNotFound);

  // A new object under the same name is seen, whatever the cache held.
  auto fresh = Event::Create(h.object, false, false, &kEveryone);
  ASSERT_TRUE(fresh.ok());
  EXPECT_TRUE(Event::Exists(h.object));
  fresh->Close();
  EXPECT_FALSE(Event::Exists(h.object));
  EXPECT_FALSE(Event::Exists(u""));
  EXPECT_FALSE(Event::Exists(u"bad\\namespace"));
}

TEST(ObjectExists, ProbingNeverKeepsAnObjectAlive) {
  ScopedObjectDir dir;
  auto name = UniqueName("probe");
  auto shm = SharedMemory::Create(name, 64, &kEveryone);
  ASSERT_TRUE(shm.ok());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SharedMemory::Exists(name));
  shm->Close();
  EXPECT_FALSE(SharedMemory::Exists(name));
  EXPECT_EQ(SharedMemory::Open(name).code(), ErrorCode::FileNotFound);
}

}  // namespace
}  // namespace ztn::platform
