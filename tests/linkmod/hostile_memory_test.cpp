// A receive slot and a send queue written by a hostile process: sizes and
// identities are bounded, and nothing is read or written outside a mapping or
// a caller's buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

const std::u16string kFakeSender = u"Global\\{fake-sender}";

// Writes the receiver's slot to point at the fake sender's queue `queue`.
void PointSlotAt(const std::u16string& receiver, int32_t queue) {
  auto memory = platform::SharedMemory::Open(receiver + u"_ZtConnMem_Recv");
  ASSERT_TRUE(memory.ok());
  auto view = memory->Map(linkmod::kRecvSlotBytes);
  ASSERT_TRUE(view.ok());
  linkmod::RecvSlot slot{};
  linkmod::WriteIdentityField(slot.senderId, kFakeSender);
  slot.queueIndex = queue;
  std::memcpy(view->Data(), &slot, sizeof slot);
}

// A fake send queue whose header announces `payloadSize` and carries a
// sender identity without a NUL.
platform::SharedMemory MakeFakeQueue(int32_t queue, uint64_t bytes, int32_t payloadSize) {
  auto memory = platform::SharedMemory::Create(
      kFakeSender + u"_Send_ZtConnMem_" + Wide(std::to_string(queue)), bytes);
  if (!memory.ok()) return {};
  auto view = memory->Map(static_cast<size_t>(bytes));
  if (!view.ok()) return {};
  if (bytes >= linkmod::kSendQueueBytes) {
    linkmod::MessageHeader header{};
    header.totalSize = 1;
    header.senderType = 5;
    header.subType = 6;
    std::fill(std::begin(header.senderId), std::end(header.senderId), u'B');
    header.messageCode = 7;
    header.payloadSize = payloadSize;
    std::memcpy(view->Data(), &header, sizeof header);
    std::memset(static_cast<uint8_t*>(view->Data()) + sizeof header, 0x5A,
                linkmod::kMaxPayloadBytes);
  }
  return std::move(memory).value();
}

int gCallbackCalls = 0;
bool gCallbackSawNul = false;
bool gCallbackNullData = false;
void CheckCallback(int32_t, int32_t, const char16_t* sender, int32_t, const void* data,
                   int32_t size) {
  ++gCallbackCalls;
  gCallbackSawNul = std::u16string(sender).size() == 55;  // 55 units, then the NUL
  gCallbackNullData = data == nullptr && size == 0;
}

TEST(LinkmodHostileMemory, ReceiveStepBoundsEverything) {
  ScopedObjectDir dir;
  gCallbackCalls = 0;
  Registration receiver(1, 0);
  ASSERT_TRUE(receiver.ok());

  // Oversized payload, identity without a NUL.
  auto queue = MakeFakeQueue(3, linkmod::kSendQueueBytes, 50000);
  ASSERT_TRUE(queue.IsValid());
  PointSlotAt(receiver.str(), 3);
  std::vector<uint8_t> data(LINKMOD_MAX_PAYLOAD + 64, 0xEE);
  char16_t sender[LINKMOD_IDENTITY_UNITS + 8];
  std::fill(std::begin(sender), std::end(sender), u'#');
  int32_t type = 0, code = 0;
  EXPECT_EQ(Recv(receiver.id(), &type, nullptr, sender, &code, data.data()), 50000);
  EXPECT_EQ(type, 5);
  EXPECT_EQ(code, 7);
  EXPECT_EQ(std::u16string(sender), std::u16string(55, u'B'));
  EXPECT_EQ(sender[LINKMOD_IDENTITY_UNITS], u'#');
  for (uint8_t byte : data) ASSERT_EQ(byte, 0xEE);

  // The callback of wait mode 1 gets a terminated identity and no data.
  SetRecvWaitMode(receiver.id(), 1);
  SetRecvCallback(receiver.id(), &CheckCallback);
  EXPECT_EQ(Recv(receiver.id(), nullptr, nullptr, nullptr, nullptr, nullptr), 50000);
  EXPECT_EQ(gCallbackCalls, 1);
  EXPECT_TRUE(gCallbackSawNul);
  EXPECT_TRUE(gCallbackNullData);
  SetRecvWaitMode(receiver.id(), 0);

  // A negative queue number, and a queue smaller than a send queue.
  PointSlotAt(receiver.str(), -5);
  EXPECT_EQ(Recv(receiver.id(), nullptr, nullptr, nullptr, nullptr, data.data()), -1);
  auto small = MakeFakeQueue(4, 100, 0);
  ASSERT_TRUE(small.IsValid());
  PointSlotAt(receiver.str(), 4);
  EXPECT_EQ(Recv(receiver.id(), nullptr, nullptr, nullptr, nullptr, data.data()), -1);
  for (uint8_t byte : data) ASSERT_EQ(byte, 0xEE);
}

}  // namespace
}  // namespace ztn::test
