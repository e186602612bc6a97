// The exported interface in one process: caller tokens, the initialised flag,
// identities and the registry.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>
#include <vector>

#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

TEST(LinkmodApi, RejectedTokenCreatesNothingAndReturnsTheFlag) {
  ScopedObjectDir dir;
  std::u16string good = MakeCallerToken();
  ASSERT_EQ(good.size(), 36u);
  std::u16string lowerSalt = good;
  for (size_t i = 0; i < 4; ++i) {
    if (lowerSalt[i] >= u'A' && lowerSalt[i] <= u'F') lowerSalt[i] += u'a' - u'A';
  }
  std::u16string wrongDigest = good;
  wrongDigest[20] = wrongDigest[20] == u'0' ? u'1' : u'0';
  const std::vector<std::u16string> bad = {u"", good.substr(0, 35), good + u"0", wrongDigest};

  auto tryAll = [&](int32_t expectedFlag) {
    for (const auto& token : bad) {
      char16_t out[LINKMOD_IDENTITY_UNITS];
      std::fill(std::begin(out), std::end(out), u'#');
      EXPECT_EQ(Initialize(token.c_str(), 1, 1, 1, out), expectedFlag) << Narrow(token);
      EXPECT_EQ(out[0], u'#');
    }
    if (lowerSalt != good) {
      char16_t out[LINKMOD_IDENTITY_UNITS] = {u'#'};
      EXPECT_EQ(Initialize(lowerSalt.c_str(), 1, 1, 1, out), expectedFlag);
      EXPECT_EQ(out[0], u'#');
    }
    char16_t out[LINKMOD_IDENTITY_UNITS] = {u'#'};
    EXPECT_EQ(Initialize(nullptr, 1, 1, 1, out), expectedFlag);
    EXPECT_EQ(out[0], u'#');
  };
  tryAll(0);
  // Nothing was registered: no table exists.
  EXPECT_FALSE(IdTableView().ok());

  Registration first(1, 1);
  ASSERT_TRUE(first.ok());
  tryAll(1);
  IdTableView table;
  ASSERT_TRUE(table.ok());
  EXPECT_EQ(table.count(), 1u);
}

TEST(LinkmodApi, IdentityFormat) {
  ScopedObjectDir dir;
  Registration reg(3, 4);
  ASSERT_TRUE(reg.ok());
  const std::string id = Narrow(reg.str());
  EXPECT_LE(reg.str().size(), 55u);
  const std::regex format(
      R"(^(Global\\|Session\\[1-9][0-9]*\\)\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$)");
  EXPECT_TRUE(std::regex_match(id, format)) << id;
  auto session = platform::GetProcessSessionId();
  const uint32_t expected = session.ok() ? *session : 0;
  if (expected == 0) {
    EXPECT_EQ(id.rfind("Global\\", 0), 0u) << id;
  } else {
    EXPECT_EQ(id.rfind("Session\\" + std::to_string(expected) + "\\", 0), 0u) << id;
  }
}

TEST(LinkmodApi, TwoRegistrationsAndTheInitialisedFlag) {
  ScopedObjectDir dir;
  EXPECT_EQ(InitialisedFlag(), 0);
  auto first = std::make_unique<Registration>(10, 0);
  auto second = std::make_unique<Registration>(10, 1);
  ASSERT_TRUE(first->ok());
  ASSERT_TRUE(second->ok());
  EXPECT_NE(first->str(), second->str());
  EXPECT_EQ(IsAliveId(first->id(), second->id()), 1);
  EXPECT_EQ(IsAliveId(second->id(), first->id()), 1);
  EXPECT_EQ(IsAliveId(first->id(), first->id()), 1);

  // Lookup is by exact match.
  std::u16string lower = first->str();
  for (auto& c : lower) {
    if (c >= u'A' && c <= u'Z') c += u'a' - u'A';
  }
  ASSERT_NE(lower, first->str());
  EXPECT_EQ(IsAliveId(lower.c_str(), first->id()), 0);

  // UnInitialize of an unknown identity returns 1 and changes nothing.
  EXPECT_EQ(UnInitialize(u"Global\\{not-registered}"), 1);
  EXPECT_EQ(InitialisedFlag(), 1);

  const std::u16string firstId = first->str();
  first.reset();
  EXPECT_EQ(InitialisedFlag(), 1);
  EXPECT_EQ(IsAliveId(second->id(), firstId.c_str()), 0);
  EXPECT_EQ(IsAliveId(firstId.c_str(), second->id()), 0);
  EXPECT_EQ(IsAliveId(second->id(), second->id()), 1);

  const std::u16string secondId = second->str();
  second.reset();
  EXPECT_EQ(InitialisedFlag(), 0);
  const char16_t* id = secondId.c_str();
  int32_t type = 7;
  EXPECT_EQ(IsAliveId(id, id), 0);
  EXPECT_EQ(Recv(id, &type, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(type, 7);  // untouched
  EXPECT_EQ(SendToId(id, firstId.c_str(), 1, nullptr, 0, 100), 0);
  EXPECT_EQ(SendToModuleType(id, 10, -1, nullptr, 1, nullptr, 0, 100), 0);
  EXPECT_EQ(StartRecvThread(id, nullptr), 0);
  EXPECT_EQ(Accept(id, 0, u""), 0);
  SetRecvWaitMode(id, 1);
  SetRecvCallback(id, nullptr);
  StopRecvThread();
  // An UnInitialize that finds nothing still leaves the flag at 0.
  EXPECT_EQ(UnInitialize(id), 1);
  EXPECT_EQ(InitialisedFlag(), 0);
}

TEST(LinkmodApi, NullArgumentsAreRefused) {
  ScopedObjectDir dir;
  std::u16string token = MakeCallerToken();
  EXPECT_EQ(Initialize(token.c_str(), 1, 1, 1, nullptr), 0);
  EXPECT_FALSE(IdTableView().ok());
  Registration reg(1, 1);
  ASSERT_TRUE(reg.ok());
  EXPECT_EQ(IsAliveId(nullptr, reg.id()), 0);
  EXPECT_EQ(IsAliveId(reg.id(), nullptr), 0);
  EXPECT_EQ(IsAliveId(reg.id(), u""), 0);
  EXPECT_EQ(IsAliveId(reg.id(), u"Global\\{never-registered}"), 0);
  EXPECT_EQ(SendToId(reg.id(), nullptr, 1, nullptr, 0, 100), 0);
  EXPECT_EQ(UnInitialize(nullptr), 1);
}

TEST(LinkmodApi, QueueCountAboveTheBoundFails) {
  ScopedObjectDir dir;
  std::u16string token = MakeCallerToken();
  char16_t out[LINKMOD_IDENTITY_UNITS] = {u'#'};
  EXPECT_EQ(Initialize(token.c_str(), 1, 1, 257, out), 0);
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(Initialize(token.c_str(), 1, 1, 0xFFFFFFFFu, out), 0);
  EXPECT_EQ(out[0], u'#');
  Registration most(1, 1, 256);
  EXPECT_TRUE(most.ok());
}

// Export calls on other threads while registrations come and go never touch a
// destroyed registration.
TEST(LinkmodApi, ExportCallsRaceWithInitializeAndUnInitialize) {
  ScopedObjectDir dir;
  Registration anchor(1, 0);
  ASSERT_TRUE(anchor.ok());
  std::mutex lock;
  std::u16string current;
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      while (!stop) {
        std::u16string id;
        {
          std::lock_guard<std::mutex> guard(lock);
          id = current;
        }
        if (id.empty()) continue;
        switch (t) {
          case 0:
            (void)IsAliveId(id.c_str(), anchor.id());
            SetRecvWaitMode(id.c_str(), 1);
            break;
          case 1:
            (void)Recv(id.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
            break;
          default:
            (void)SendToModuleType(id.c_str(), 999, -1, nullptr, 1, nullptr, 0, 0);
            (void)SendToId(id.c_str(), u"Global\\{gone}", 1, nullptr, 0, 0);
            break;
        }
      }
    });
  }
  std::u16string token = MakeCallerToken();
  for (int i = 0; i < 100; ++i) {
    char16_t out[LINKMOD_IDENTITY_UNITS] = {};
    ASSERT_EQ(Initialize(token.c_str(), 2, 0, 1, out), 1);
    {
      std::lock_guard<std::mutex> guard(lock);
      current = out;
    }
    if (i % 2 == 0) StartRecvThread(out, nullptr);
    EXPECT_EQ(UnInitialize(out), 1);
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(InitialisedFlag(), 1);
}

}  // namespace
}  // namespace ztn::test
