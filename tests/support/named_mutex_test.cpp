#include "support/named_mutex.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/code_page.h"
#include "platform/event.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn {
namespace {

using platform::WaitResult;

// Tries the mutex without waiting; exit 0 when it was held by someone else.
ZTN_CHILD(ExpectMutexHeld) {
  NamedMutex mutex;
  if (!mutex.Create(platform::AnsiToWideText(args.at(0)))) return 1;
  return mutex.Lock(0) == WaitResult::Timeout ? 0 : 2;
}

// Takes the mutex without waiting; exit 0 when it was free.
ZTN_CHILD(ExpectMutexFree) {
  NamedMutex mutex;
  if (!mutex.Create(platform::AnsiToWideText(args.at(0)))) return 1;
  if (mutex.Lock(0) != WaitResult::Signaled) return 2;
  return mutex.Unlock() ? 0 : 3;
}

// Takes the mutex and ends without releasing it.
ZTN_CHILD(DieHoldingMutex) {
  NamedMutex mutex;
  if (!mutex.Create(platform::AnsiToWideText(args.at(0)))) return 1;
  if (mutex.Lock(0) != WaitResult::Signaled) return 2;
  std::_Exit(0);
}

TEST(NamedMutex, UnusableUntilCreated) {
  NamedMutex mutex;
  EXPECT_FALSE(mutex.IsUsable());
  EXPECT_EQ(mutex.Lock(0), WaitResult::Failed);
  EXPECT_FALSE(mutex.Unlock());
  mutex.Close();
  EXPECT_FALSE(mutex.IsUsable());
}

TEST(NamedMutex, LockAndUnlock) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("mutex");
  NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(name));
  EXPECT_EQ(mutex.Name(), name);
  EXPECT_FALSE(mutex.Unlock());  // not owned yet
  EXPECT_EQ(mutex.Lock(platform::kInfinite), WaitResult::Signaled);
  EXPECT_EQ(mutex.Lock(0), WaitResult::Signaled);  // recursive for its owner
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_FALSE(mutex.Unlock());
}

TEST(NamedMutex, ExcludesOtherProcesses) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("shared_mutex");
  const std::string arg = platform::WideToAnsiText(name);
  NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(name));
  ASSERT_EQ(mutex.Lock(1000), WaitResult::Signaled);

  auto blocked = test::SpawnChild("ExpectMutexHeld", {arg});
  EXPECT_EQ(test::WaitChild(blocked), 0);

  ASSERT_TRUE(mutex.Unlock());
  auto free = test::SpawnChild("ExpectMutexFree", {arg});
  EXPECT_EQ(test::WaitChild(free), 0);
}

TEST(NamedMutex, OwnerDeathAbandonsTheMutex) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("abandoned");
  NamedMutex mutex;
  ASSERT_TRUE(mutex.Create(name));
  auto child = test::SpawnChild("DieHoldingMutex", {platform::WideToAnsiText(name)});
  ASSERT_EQ(test::WaitChild(child), 0);
  EXPECT_EQ(mutex.Lock(10000), WaitResult::Abandoned);
  EXPECT_TRUE(mutex.Unlock());
  EXPECT_EQ(mutex.Lock(0), WaitResult::Signaled);
  EXPECT_TRUE(mutex.Unlock());
}

TEST(NamedMutex, FailedCreationStaysUnusableUntilClosed) {
  test::ScopedObjectDir objects;
  NamedMutex mutex;
  EXPECT_FALSE(mutex.Create(u"NoSuchPrefix\\mutex"));
  EXPECT_TRUE(mutex.CreationFailed());
  EXPECT_EQ(mutex.Lock(0), WaitResult::Failed);
  // Only a closed (never created) mutex creates again.
  EXPECT_FALSE(mutex.Create(test::UniqueName("later")));
  mutex.Close();
  EXPECT_FALSE(mutex.CreationFailed());
  EXPECT_TRUE(mutex.Create(test::UniqueName("later")));
  EXPECT_EQ(mutex.Lock(0), WaitResult::Signaled);
  EXPECT_TRUE(mutex.Unlock());
}

TEST(NamedMutex, NameHeldByAnotherKindOfObjectFails) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("taken");
  auto event = platform::Event::Create(name, true, false);
  ASSERT_TRUE(event.ok());
  NamedMutex mutex;
  EXPECT_FALSE(mutex.Create(name));
  EXPECT_EQ(mutex.Lock(0), WaitResult::Failed);
}

}  // namespace
}  // namespace ztn
