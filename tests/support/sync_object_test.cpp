#include "support/sync_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <new>
#include <thread>
#include <vector>

namespace ztn {
namespace {

TEST(SyncObjectEx, ConstructionInZeroedStorageSetsTheMarker) {
  alignas(SyncObjectEx) unsigned char storage[sizeof(SyncObjectEx)] = {};
  auto* lock = new (storage) SyncObjectEx();
  EXPECT_EQ(lock->Marker(), 0x01010101u);
  lock->Enter();
  lock->Enter();  // recursive for its owner
  lock->Leave();
  lock->Leave();
  lock->~SyncObjectEx();
}

TEST(SyncObjectEx, ExcludesOtherThreads) {
  SyncObjectEx lock;
  long counter = 0;  // deliberately unsynchronised except by the lock
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100000; ++i) {
        lock.Enter();
        lock.Enter();
        counter = counter + 1;
        lock.Leave();
        lock.Leave();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 400000);
}

TEST(SyncObjectEx, WithoutTheMarkerEnterAndLeaveDoNothing) {
  SyncObjectEx lock;
  lock.SetMarkerForTesting(0);  // as on storage whose constructor has not run
  lock.Enter();
  lock.Enter();
  lock.Leave();  // must not release a lock it does not hold
  lock.Leave();
  lock.Leave();
  lock.Enter();  // left "held" by this thread if Enter had locked
  lock.SetMarkerForTesting(SyncObjectEx::kConstructedMarker);

  auto other = std::async(std::launch::async, [&] {
    lock.Enter();
    lock.Leave();
  });
  const bool finished = other.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!finished) lock.Leave();  // free the other thread so the test can end
  EXPECT_TRUE(finished) << "Enter without the marker took the lock";
}

}  // namespace
}  // namespace ztn
