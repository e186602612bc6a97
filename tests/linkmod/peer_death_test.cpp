// Senders and receivers killed (SIGKILL) in each phase of a handover: the
// other side stops waiting at once, the identity is dead, and its ID manager
// table entry goes to the next registration.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

constexpr int32_t kSenderType = 90;
constexpr int32_t kReceiverType = 91;
constexpr int kKilled = 128 + 9;

// Waits (bounded) for the parent to kill this process.
int AwaitKill() {
  auto never = platform::Event::Create(UniqueName("never"), true, false);
  if (never.ok()) (void)never->Wait(10000);
  return 50;
}

// args: phase, target identity, ready signal.
ZTN_CHILD(LinkmodDoomedSender) {
  const std::string phase = args.at(0);
  const std::u16string target = Wide(args.at(1));
  Registration self(kSenderType, 0, phase == "findqueue" ? 0 : 1);
  if (!self.ok()) return 1;
  if (!SetSignal(Wide(args.at(2)))) return 2;
  // Sends without a time limit: only death ends the phases.
  SendToId(self.id(), target.c_str(), 1, "doomed", 6, -1);
  return 3;
}

// args: phase, ready signal.
void BlockForever(int32_t, int32_t, const char16_t*, int32_t, const void*, int32_t);
std::u16string gReadySignal;
void BlockForever(int32_t, int32_t, const char16_t*, int32_t, const void*, int32_t) {
  SetSignal(gReadySignal);
  AwaitKill();
}

ZTN_CHILD(LinkmodDoomedReceiver) {
  const std::string phase = args.at(0);
  gReadySignal = Wide(args.at(1));
  Registration self(kReceiverType, 0);
  if (!self.ok()) return 1;
  // Registered with all channels: senders may come.
  if (!SetSignal(gReadySignal + u"_registered")) return 3;
  if (phase == "idle") {
    SetSignal(gReadySignal);
  } else if (phase == "accepted") {
    if (Accept(self.id(), 10000, u"") != 1) return 2;
    SetSignal(gReadySignal);
  } else if (phase == "callback") {
    SetRecvWaitMode(self.id(), 1);
    StartRecvThread(self.id(), &BlockForever);
  }
  return AwaitKill();
}

// The identity of the single live registration of `type` in the table.
std::u16string FindLive(const char16_t* self, int32_t type, int64_t* index) {
  IdTableView table;
  if (!table.ok()) return {};
  for (uint32_t i = 0; i < table.count(); ++i) {
    auto entry = table.entry(i);
    std::u16string id = linkmod::ReadIdentityField(entry.identity);
    if (entry.state == 1 && entry.moduleType == type && IsAliveId(self, id.c_str())) {
      *index = i;
      return id;
    }
  }
  return {};
}

// The dead registration's entry goes to the next registration.
void ExpectEntryReused(const char16_t* self, const std::u16string& dead, int64_t index) {
  EXPECT_EQ(IsAliveId(self, dead.c_str()), 0);
  const uint32_t countBefore = IdTableView().count();
  Registration next(99, 0);
  ASSERT_TRUE(next.ok());
  IdTableView table;
  EXPECT_EQ(table.find(next.str()), index);
  EXPECT_EQ(table.count(), countBefore);
}

TEST(LinkmodPeerDeath, SenderKilledInEachPhase) {
  for (const std::string phase : {"findqueue", "recvwait", "waitsend", "handedover"}) {
    SCOPED_TRACE(phase);
    ScopedObjectDir dir;
    Registration receiver(kReceiverType, 0);
    Registration witness(98, 0);
    ASSERT_TRUE(receiver.ok() && witness.ok());
    gReadySignal = UniqueName("in_callback");
    auto inCallback = MakeSignal(gReadySignal);
    if (phase == "waitsend") {
      SetRecvWaitMode(receiver.id(), 1);
      StartRecvThread(receiver.id(), [](int32_t, int32_t, const char16_t*, int32_t code,
                                        const void*, int32_t) {
        if (code != 1) return;  // only the doomed sender's message is held
        SetSignal(gReadySignal);
        auto release = platform::Event::Open(gReadySignal + u"_release");
        if (release.ok()) (void)release->Wait(10000);
      });
    }
    auto release = MakeSignal(gReadySignal + u"_release");
    const std::u16string readyName = UniqueName("sender_ready");
    auto ready = MakeSignal(readyName);
    auto child = SpawnChild("LinkmodDoomedSender", {phase, Narrow(receiver.str()), Narrow(readyName)});
    ASSERT_EQ(ready.Wait(10000), platform::WaitResult::Signaled);
    int64_t index = -1;
    const std::u16string sender = FindLive(receiver.id(), kSenderType, &index);
    ASSERT_FALSE(sender.empty());

    if (phase == "recvwait") {
      // Its message is in its queue: it now waits for an Accept.
      ASSERT_TRUE(WaitUntil([&] { return QueuedTotalSize(sender, 0) != 0; }));
    } else if (phase == "waitsend") {
      ASSERT_EQ(inCallback.Wait(10000), platform::WaitResult::Signaled);
    } else if (phase == "handedover") {
      ASSERT_EQ(Accept(receiver.id(), 10000, u""), 1);
    }
    child.Kill();
    EXPECT_EQ(WaitChild(child), kKilled);

    if (phase == "waitsend") {
      (void)release.Set();  // the receive step then finds no sender to release
    } else if (phase == "handedover") {
      // The sender's queue went with it.
      EXPECT_EQ(Recv(receiver.id(), nullptr, nullptr, nullptr, nullptr, nullptr), -1);
    }
    ExpectEntryReused(receiver.id(), sender, index);
    // The receiver still works.
    if (phase != "waitsend") StartRecvThread(receiver.id(), nullptr);
    EXPECT_EQ(SendToId(witness.id(), receiver.id(), 2, "ok", 2, 5000), 1);
  }
}

TEST(LinkmodPeerDeath, ReceiverKilledInEachPhase) {
  for (const std::string phase : {"idle", "accepted", "callback"}) {
    SCOPED_TRACE(phase);
    ScopedObjectDir dir;
    Registration sender(kSenderType, 0, 1);
    ASSERT_TRUE(sender.ok());
    const std::u16string readyName = UniqueName("receiver_ready");
    auto ready = MakeSignal(readyName);
    auto registered = MakeSignal(readyName + u"_registered");
    auto child = SpawnChild("LinkmodDoomedReceiver", {phase, Narrow(readyName)});
    ASSERT_EQ(registered.Wait(10000), platform::WaitResult::Signaled);
    int64_t index = -1;
    const std::u16string receiver = FindLive(sender.id(), kReceiverType, &index);
    ASSERT_FALSE(receiver.empty());
    // No time limit: only the receiver's death can end the send.
    auto send = std::async(std::launch::async, [&] {
      return SendToId(sender.id(), receiver.c_str(), 1, "lost", 4, -1);
    });
    if (phase == "idle") {
      ASSERT_EQ(ready.Wait(10000), platform::WaitResult::Signaled);
      ASSERT_TRUE(WaitUntil([&] { return QueuedTotalSize(sender.str(), 0) != 0; }));
    } else {
      ASSERT_EQ(ready.Wait(10000), platform::WaitResult::Signaled);
    }
    child.Kill();
    EXPECT_EQ(WaitChild(child), kKilled);
    ASSERT_EQ(send.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(send.get(), 0);
    ExpectEntryReused(sender.id(), receiver, index);
  }
}

}  // namespace
}  // namespace ztn::test
