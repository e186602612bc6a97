#include "support/system_information.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ztn {
namespace {

// The version the fake query reports, how often it was asked and how many
// calls fail first.
std::atomic<int> queries{0};
std::atomic<int> failuresLeft{0};
std::atomic<uint32_t> fakePlatform{2}, fakeMajor{6}, fakeMinor{2};

platform::Result<platform::VersionInfo> FakeQuery(uint32_t) {
  ++queries;
  if (failuresLeft > 0) {
    --failuresLeft;
    return platform::Error{platform::ErrorCode::InvalidParameter, 0};
  }
  platform::VersionInfo info;
  info.platformId = fakePlatform;
  info.majorVersion = fakeMajor;
  info.minorVersion = fakeMinor;
  return info;
}

// Each test starts from a record as at load, with the fake query.
class SystemInformationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSystemInformationForTesting();
    queries = 0;
    failuresLeft = 0;
    fakePlatform = 2;
    fakeMajor = 6;
    fakeMinor = 2;
    SetVersionQueryForTesting(&FakeQuery);
  }
  void TearDown() override {
    SetVersionQueryForTesting(nullptr);
    ResetSystemInformationForTesting();
  }
};

TEST_F(SystemInformationTest, NamespaceFlagByVersion) {
  struct Case {
    uint32_t platformId, major, minor;
    int32_t flag, described;
  };
  const Case cases[] = {
      {2, 5, 0, 1, 1}, {2, 5, 1, 1, 1}, {2, 5, 2, 1, 1}, {2, 5, 3, 0, 1}, {2, 6, 0, 1, 1},
      {2, 6, 1, 1, 1}, {2, 6, 2, 1, 1}, {2, 10, 0, 1, 1}, {2, 4, 0, 0, 0}, {1, 6, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ResetSystemInformationForTesting();
    fakePlatform = c.platformId;
    fakeMajor = c.major;
    fakeMinor = c.minor;
    EnsureSystemInformation();
    EXPECT_EQ(isWin2000OrLater(), c.flag) << c.platformId << " " << c.major << "." << c.minor;
    EXPECT_EQ(SystemInformation().described.load(), c.described);
    EXPECT_EQ(SystemInformation().buildDone.load(), 1);
    EXPECT_EQ(SystemInformation().buildBusy.load(), 0);
  }
}

TEST_F(SystemInformationTest, BuiltOnceAfterSuccess) {
  EnsureSystemInformation();
  EXPECT_EQ(queries, 1);
  EnsureSystemInformation();
  EnsureSystemInformation();
  EXPECT_EQ(queries, 1);
  EXPECT_EQ(isWin2000OrLater(), 1);
}

TEST_F(SystemInformationTest, FailedQueryIsRepeatedUntilItSucceeds) {
  failuresLeft = 4;
  EnsureSystemInformation();  // the extended query and the plain one both fail
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(SystemInformation().buildDone.load(), 1);
  EXPECT_EQ(SystemInformation().described.load(), 0);
  EXPECT_EQ(isWin2000OrLater(), 0);

  EnsureSystemInformation();
  EXPECT_EQ(queries, 4);
  EXPECT_EQ(isWin2000OrLater(), 0);

  EnsureSystemInformation();  // succeeds now
  EXPECT_EQ(queries, 5);
  EXPECT_EQ(isWin2000OrLater(), 1);
  EnsureSystemInformation();
  EXPECT_EQ(queries, 5);
}

TEST_F(SystemInformationTest, PlainQueryAfterExtendedOneFails) {
  failuresLeft = 1;
  EnsureSystemInformation();
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(SystemInformation().described.load(), 1);
  EXPECT_EQ(isWin2000OrLater(), 1);
}

// A query that holds the building thread until the test lets it go.
std::mutex gateMutex;
std::condition_variable gateChanged;
bool buildEntered = false;
bool buildReleased = false;
std::atomic<bool> buildFinished{false};

platform::Result<platform::VersionInfo> GatedQuery(uint32_t size) {
  std::unique_lock<std::mutex> lock(gateMutex);
  buildEntered = true;
  gateChanged.notify_all();
  gateChanged.wait_for(lock, std::chrono::seconds(10), [] { return buildReleased; });
  auto result = FakeQuery(size);
  buildFinished = true;
  return result;
}

TEST_F(SystemInformationTest, ConcurrentCallersBuildOnceAndWaitForTheBuild) {
  buildEntered = buildReleased = false;
  buildFinished = false;
  SetVersionQueryForTesting(&GatedQuery);

  std::thread builder([] { EnsureSystemInformation(); });
  {
    std::unique_lock<std::mutex> lock(gateMutex);
    ASSERT_TRUE(gateChanged.wait_for(lock, std::chrono::seconds(10), [] { return buildEntered; }));
  }
  EXPECT_EQ(SystemInformation().buildBusy.load(), 1);

  std::atomic<bool> waiterSawFinishedBuild{false};
  std::thread waiter([&] {
    EnsureSystemInformation();
    waiterSawFinishedBuild = buildFinished.load() && isWin2000OrLater() == 1;
  });
  {
    std::lock_guard<std::mutex> lock(gateMutex);
    buildReleased = true;
  }
  gateChanged.notify_all();
  builder.join();
  waiter.join();

  EXPECT_TRUE(waiterSawFinishedBuild);
  EXPECT_EQ(queries, 1);
}

TEST(SystemInformation, ThisSystemSetsTheNamespaceFlag) {
  ResetSystemInformationForTesting();
  EnsureSystemInformation();
  EXPECT_EQ(SystemInformation().described.load(), 1);
  EXPECT_EQ(isWin2000OrLater(), 1);
}

}  // namespace
}  // namespace ztn
