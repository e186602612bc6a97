// Messages between registrations: both directions between processes, payload
// sizes, SendToModuleType addressing, Accept's slices and admissions, and a
// registration without send queues.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

constexpr int32_t kLimit = 5000;

// Sends one message to the parent, then receives its reply.
ZTN_CHILD(LinkmodEchoPeer) {
  const std::u16string parent = Wide(args.at(0));
  Registration self(20, 3);
  if (!self.ok()) return 1;
  const char hello[] = "hello from child";
  if (SendToId(self.id(), parent.c_str(), 1, hello, sizeof hello, kLimit) != 1) return 2;
  if (Accept(self.id(), kLimit, parent.c_str()) != 1) return 3;
  int32_t type = 0, sub = 0, code = 0;
  char16_t sender[LINKMOD_IDENTITY_UNITS] = {};
  char data[LINKMOD_MAX_PAYLOAD] = {};
  if (Recv(self.id(), &type, &sub, sender, &code, data) != 6) return 4;
  if (type != 10 || sub != -1 || code != 2 || std::u16string(sender) != parent) return 5;
  if (std::strcmp(data, "reply") != 0) return 6;
  return 0;
}

TEST(LinkmodMessaging, BothDirectionsBetweenProcesses) {
  ScopedObjectDir dir;
  Registration self(10, 0);
  ASSERT_TRUE(self.ok());
  auto child = SpawnChild("LinkmodEchoPeer", {Narrow(self.str())});
  ASSERT_EQ(Accept(self.id(), kLimit, u""), 1);
  int32_t type = 0, sub = 0, code = 0;
  char16_t sender[LINKMOD_IDENTITY_UNITS] = {};
  char data[LINKMOD_MAX_PAYLOAD] = {};
  ASSERT_EQ(Recv(self.id(), &type, &sub, sender, &code, data), 17);
  EXPECT_EQ(type, 20);
  EXPECT_EQ(sub, -1);
  EXPECT_EQ(code, 1);
  EXPECT_STREQ(data, "hello from child");
  EXPECT_EQ(IsAliveId(self.id(), sender), 1);
  EXPECT_EQ(SendToId(self.id(), sender, 2, "reply", 6, kLimit), 1);
  EXPECT_EQ(WaitChild(child), 0);
}

struct SizeCase {
  int32_t size;
  bool nullData;      // the sender passes no data
  bool recvNullData;  // the receiver passes no buffer
};
const SizeCase kSizeCases[] = {
    {0, true, false}, {10, false, false}, {10240, false, false},
    {10241, false, false}, {10, false, true},
};

// Sends every size case to the parent, in order.
ZTN_CHILD(LinkmodSizeSender) {
  const std::u16string parent = Wide(args.at(0));
  Registration self(21, 0);
  if (!self.ok()) return 1;
  std::vector<uint8_t> payload(10241);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7 + 1);
  int code = 10;
  for (const SizeCase& c : kSizeCases) {
    const void* data = c.nullData ? nullptr : payload.data();
    if (SendToId(self.id(), parent.c_str(), code++, data, c.size, kLimit) != 1) return code;
  }
  return 0;
}

TEST(LinkmodMessaging, PayloadSizes) {
  ScopedObjectDir dir;
  auto listener = platform::DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  Registration self(11, 0);
  ASSERT_TRUE(self.ok());
  auto child = SpawnChild("LinkmodSizeSender", {Narrow(self.str())});
  int32_t expectedCode = 10;
  for (const SizeCase& c : kSizeCases) {
    SCOPED_TRACE(c.size);
    ASSERT_EQ(Accept(self.id(), kLimit, u""), 1);
    std::vector<uint8_t> buffer(LINKMOD_MAX_PAYLOAD + 16, 0xEE);
    int32_t code = 0;
    const int32_t got = Recv(self.id(), nullptr, nullptr, nullptr, &code,
                             c.recvNullData ? nullptr : buffer.data());
    EXPECT_EQ(got, c.size);
    EXPECT_EQ(code, expectedCode++);
    const size_t copied = c.recvNullData || c.size > LINKMOD_MAX_PAYLOAD ? 0 : c.size;
    for (size_t i = 0; i < copied; ++i) {
      ASSERT_EQ(buffer[i], static_cast<uint8_t>(i * 7 + 1)) << i;
    }
    // Nothing beyond the payload is written.
    EXPECT_EQ(buffer[copied], 0xEE);
    EXPECT_EQ(buffer[LINKMOD_MAX_PAYLOAD], 0xEE);
    if (c.size > LINKMOD_MAX_PAYLOAD) {
      EXPECT_TRUE(WaitForDebugLine(*listener, "Max Recv size over!!"));
    }
  }
  EXPECT_EQ(WaitChild(child), 0);
}

// Receivers for the addressing tests: one callback per receiver.
struct Received {
  std::u16string sender;
  int32_t subType;
  int32_t code;
};
std::mutex gReceivedLock;
std::map<int, std::vector<Received>> gReceived;

template <int N>
void Collect(int32_t, int32_t subType, const char16_t* sender, int32_t code, const void*,
             int32_t) {
  std::lock_guard<std::mutex> guard(gReceivedLock);
  gReceived[N].push_back({sender, subType, code});
}

size_t ReceivedCount(int n) {
  std::lock_guard<std::mutex> guard(gReceivedLock);
  return gReceived[n].size();
}

TEST(LinkmodMessaging, SendToModuleTypeAddressing) {
  ScopedObjectDir dir;
  auto listener = platform::DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  {
    std::lock_guard<std::mutex> guard(gReceivedLock);
    gReceived.clear();
  }
  Registration sender(50, 1);  // same type: never addressed by its own sends
  Registration first(50, 1);
  Registration second(50, 2);
  Registration other(51, 1);
  Registration silent(60, 0);  // never accepts
  Registration late(60, 0);
  for (auto* r : {&sender, &first, &second, &other, &silent, &late}) ASSERT_TRUE(r->ok());
  StartRecvThread(sender.id(), &Collect<0>);
  StartRecvThread(first.id(), &Collect<1>);
  StartRecvThread(second.id(), &Collect<2>);
  StartRecvThread(other.id(), &Collect<3>);
  StartRecvThread(late.id(), &Collect<5>);

  char16_t out[LINKMOD_IDENTITY_UNITS];
  EXPECT_EQ(SendToModuleType(sender.id(), 50, -1, out, 100, nullptr, 0, kLimit), 1);
  EXPECT_EQ(std::u16string(out), first.str());
  ASSERT_TRUE(WaitUntil([] { return ReceivedCount(1) == 1 && ReceivedCount(2) == 1; }));

  EXPECT_EQ(SendToModuleType(sender.id(), 50, 2, out, 101, nullptr, 0, kLimit), 1);
  EXPECT_EQ(std::u16string(out), second.str());
  ASSERT_TRUE(WaitUntil([] { return ReceivedCount(2) == 2; }));

  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(SendToModuleType(sender.id(), 77, -1, out, 102, nullptr, 0, kLimit), 0);
  EXPECT_EQ(out[0], u'#');

  // The first target never accepts: the second takes the message.
  EXPECT_EQ(SendToModuleType(sender.id(), 60, -1, out, 103, nullptr, 0, 300), 1);
  EXPECT_EQ(std::u16string(out), late.str());
  EXPECT_TRUE(WaitForDebugLine(*listener, "IsRecvWaitId Time Out!!"));
  ASSERT_TRUE(WaitUntil([] { return ReceivedCount(5) == 1; }));

  first.End();
  second.End();
  other.End();
  late.End();
  sender.End();
  std::lock_guard<std::mutex> guard(gReceivedLock);
  EXPECT_TRUE(gReceived[0].empty());
  EXPECT_TRUE(gReceived[3].empty());
  ASSERT_EQ(gReceived[1].size(), 1u);
  EXPECT_EQ(gReceived[1][0].subType, -1);
  EXPECT_EQ(gReceived[1][0].code, 100);
  EXPECT_EQ(gReceived[1][0].sender, sender.str());
  ASSERT_EQ(gReceived[2].size(), 2u);
  EXPECT_EQ(gReceived[2][0].subType, -1);
  EXPECT_EQ(gReceived[2][1].subType, 2);
  EXPECT_EQ(gReceived[2][1].code, 101);
  ASSERT_EQ(gReceived[5].size(), 1u);
  EXPECT_EQ(gReceived[5][0].code, 103);
}

TEST(LinkmodMessaging, NoSendQueuesCanReceiveButNotSend) {
  ScopedObjectDir dir;
  auto listener = platform::DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  Registration noQueues(30, 0, 0);
  Registration peer(31, 0);
  ASSERT_TRUE(noQueues.ok());
  ASSERT_TRUE(peer.ok());
  StartRecvThread(noQueues.id(), &Collect<7>);
  StartRecvThread(peer.id(), &Collect<8>);
  const size_t before = ReceivedCount(7);
  EXPECT_EQ(SendToId(peer.id(), noQueues.id(), 1, "x", 1, kLimit), 1);
  ASSERT_TRUE(WaitUntil([&] { return ReceivedCount(7) == before + 1; }));
  EXPECT_EQ(SendToId(noQueues.id(), peer.id(), 1, "x", 1, 100), 0);
  EXPECT_TRUE(WaitForDebugLine(*listener, "FindQueue Time Out!!"));
}

// Accept waits whole one-second slices; an admission and a wake-up that no
// Accept used stay pending for the next sender and the next Accept.
TEST(LinkmodMessaging, AcceptSlicesAndPendingAdmission) {
  ScopedObjectDir dir;
  Registration receiver(40, 0);
  Registration sender(41, 0);
  ASSERT_TRUE(receiver.ok());
  ASSERT_TRUE(sender.ok());

  uint32_t start = platform::GetTickCount();
  EXPECT_EQ(Accept(receiver.id(), 0, u""), 0);
  EXPECT_GE(platform::GetTickCount() - start, 990u);

  // A peer that is not registered ends the wait after the first slice.
  start = platform::GetTickCount();
  EXPECT_EQ(Accept(receiver.id(), 5000, u"Global\\{not-registered}"), 0);
  const uint32_t elapsed = platform::GetTickCount() - start;
  EXPECT_GE(elapsed, 990u);
  EXPECT_LT(elapsed, 2500u);

  // No Accept runs now: the sender passes on the pending admission and
  // writes the receive slot.
  auto send = std::async(std::launch::async, [&] {
    return SendToId(sender.id(), receiver.id(), 5, "abc", 3, kLimit);
  });
  auto slotMemory = platform::SharedMemory::Open(receiver.str() + u"_ZtConnMem_Recv");
  ASSERT_TRUE(slotMemory.ok());
  auto slot = slotMemory->Map(linkmod::kRecvSlotBytes);
  ASSERT_TRUE(slot.ok());
  EXPECT_TRUE(WaitUntil([&] {
    linkmod::RecvSlot record;
    std::memcpy(&record, slot->Data(), sizeof record);
    return linkmod::ReadIdentityField(record.senderId) == sender.str();
  }));
  // The main event is already set: Accept returns at once.
  EXPECT_EQ(Accept(receiver.id(), 0, u""), 1);
  char data[LINKMOD_MAX_PAYLOAD];
  EXPECT_EQ(Recv(receiver.id(), nullptr, nullptr, nullptr, nullptr, data), 3);
  EXPECT_EQ(send.get(), 1);
}

// Many senders in several processes, several threads each, to one receiver:
// every message arrives exactly once.
constexpr int kSenderThreads = 3;
constexpr int kMessagesPerThread = 20;

ZTN_CHILD(LinkmodManySenders) {
  const std::u16string target = Wide(args.at(0));
  Registration self(70, 0, 2);
  if (!self.ok()) return 1;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kSenderThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int m = 0; m < kMessagesPerThread; ++m) {
        std::string text = args.at(1) + ":" + std::to_string(t) + ":" + std::to_string(m);
        if (SendToId(self.id(), target.c_str(), 7, text.data(), static_cast<int32_t>(text.size()),
                     kLimit) != 1) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  return failures == 0 ? 0 : 2;
}

std::mutex gManyLock;
std::map<std::string, int> gMany;

void CollectMany(int32_t, int32_t, const char16_t*, int32_t, const void* data, int32_t size) {
  std::lock_guard<std::mutex> guard(gManyLock);
  ++gMany[std::string(static_cast<const char*>(data), size)];
}

TEST(LinkmodMessaging, ManySendersEveryMessageExactlyOnce) {
  ScopedObjectDir dir;
  {
    std::lock_guard<std::mutex> guard(gManyLock);
    gMany.clear();
  }
  Registration receiver(71, 0);
  ASSERT_TRUE(receiver.ok());
  StartRecvThread(receiver.id(), &CollectMany);
  constexpr int kProcesses = 3;
  std::vector<platform::Process> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(SpawnChild("LinkmodManySenders", {Narrow(receiver.str()), std::to_string(p)}));
  }
  for (auto& child : children) EXPECT_EQ(WaitChild(child), 0);
  receiver.End();
  std::lock_guard<std::mutex> guard(gManyLock);
  EXPECT_EQ(gMany.size(), static_cast<size_t>(kProcesses * kSenderThreads * kMessagesPerThread));
  for (const auto& [text, count] : gMany) EXPECT_EQ(count, 1) << text;
}

}  // namespace
}  // namespace ztn::test
