#include "support/memory_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn {
namespace {

constexpr uint32_t kSize = 4096;

uint8_t* Bytes(const MemoryBufferExW& buffer) { return static_cast<uint8_t*>(buffer.Data()); }

// Maps the named memory, checks byte 100 holds 0x5A and writes 0xA5 at 200.
ZTN_CHILD(ReadAndWriteShared) {
  MemoryBufferExW buffer;
  if (buffer.CreateNamed(platform::AnsiToWideText(args.at(0)), kSize, false) != 1) return 1;
  if (Bytes(buffer)[100] != 0x5A) return 2;
  const uint8_t reply = 0xA5;
  if (buffer.WriteAt(&reply, 1, 200) != 1) return 3;
  return 0;
}

// Maps the named memory with zero-fill and checks that it reads all zeros.
ZTN_CHILD(ZeroFillShared) {
  MemoryBufferExW buffer;
  if (buffer.CreateNamed(platform::AnsiToWideText(args.at(0)), kSize, true) != 1) return 1;
  for (uint32_t i = 0; i < kSize; ++i) {
    if (Bytes(buffer)[i] != 0) return 2;
  }
  return 0;
}

TEST(MemoryBufferExW, TwoProcessesShareTheNamedMemory) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("shared");
  MemoryBufferExW buffer;
  ASSERT_EQ(buffer.CreateNamed(name, kSize, true), 1);
  EXPECT_EQ(buffer.Kind(), MemoryBufferExW::kKindNamed);
  EXPECT_EQ(buffer.Size(), kSize);
  const uint8_t mark = 0x5A;
  ASSERT_EQ(buffer.WriteAt(&mark, 1, 100), 1);

  auto child = test::SpawnChild("ReadAndWriteShared", {platform::WideToAnsiText(name)});
  ASSERT_EQ(test::WaitChild(child), 0);
  EXPECT_EQ(Bytes(buffer)[200], 0xA5);
}

TEST(MemoryBufferExW, ZeroFillClearsTheMemoryForEveryProcess) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("zero");
  MemoryBufferExW buffer;
  ASSERT_EQ(buffer.CreateNamed(name, kSize, false), 1);
  std::memset(buffer.Data(), 0x77, kSize);

  auto child = test::SpawnChild("ZeroFillShared", {platform::WideToAnsiText(name)});
  ASSERT_EQ(test::WaitChild(child), 0);
  const std::vector<uint8_t> zeros(kSize, 0);
  EXPECT_EQ(std::memcmp(buffer.Data(), zeros.data(), kSize), 0);
}

TEST(MemoryBufferExW, SecondCreateNamedKeepsTheView) {
  test::ScopedObjectDir objects;
  MemoryBufferExW buffer;
  ASSERT_EQ(buffer.CreateNamed(test::UniqueName("first"), 64, false), 1);
  void* const data = buffer.Data();
  Bytes(buffer)[5] = 9;

  // Another name, another size and zero-fill: nothing changes.
  EXPECT_EQ(buffer.CreateNamed(test::UniqueName("second"), 128, true), 1);
  EXPECT_EQ(buffer.Data(), data);
  EXPECT_EQ(buffer.Size(), 64u);
  EXPECT_EQ(Bytes(buffer)[5], 9);
  // A null name reports whether a view is held.
  EXPECT_EQ(buffer.CreateNamed(nullptr, 64, true), 1);
  EXPECT_EQ(Bytes(buffer)[5], 9);
}

TEST(MemoryBufferExW, NullNameOnEmptyBufferFails) {
  MemoryBufferExW buffer;
  EXPECT_EQ(buffer.Kind(), MemoryBufferExW::kKindEmpty);
  EXPECT_EQ(buffer.CreateNamed(nullptr, 64, false), 0);
  EXPECT_EQ(buffer.Kind(), MemoryBufferExW::kKindNamed);
  EXPECT_EQ(buffer.Data(), nullptr);
  buffer.Release();
  EXPECT_EQ(buffer.Kind(), MemoryBufferExW::kKindEmpty);
}

TEST(MemoryBufferExW, ExistingSmallerObjectFails) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("small");
  MemoryBufferExW owner;
  ASSERT_EQ(owner.CreateNamed(name, 100, false), 1);

  MemoryBufferExW larger;
  EXPECT_EQ(larger.CreateNamed(name, 200, false), 0);
  EXPECT_EQ(larger.Data(), nullptr);
  EXPECT_EQ(larger.Size(), 0u);
  EXPECT_EQ(larger.Kind(), MemoryBufferExW::kKindNamed);
  // The same or a smaller size maps the existing object.
  MemoryBufferExW smaller;
  Bytes(owner)[10] = 42;
  ASSERT_EQ(smaller.CreateNamed(name, 50, false), 1);
  EXPECT_EQ(Bytes(smaller)[10], 42);
}

TEST(MemoryBufferExW, InvalidNameFails) {
  test::ScopedObjectDir objects;
  MemoryBufferExW buffer;
  EXPECT_EQ(buffer.CreateNamed(u"NoSuchPrefix\\x", 64, false), 0);
  EXPECT_EQ(buffer.Data(), nullptr);
}

TEST(MemoryBufferExW, ReleaseEndsTheObjectWithItsLastHolder) {
  test::ScopedObjectDir objects;
  const std::u16string name = test::UniqueName("release");
  MemoryBufferExW buffer;
  ASSERT_EQ(buffer.CreateNamed(name, 64, false), 1);
  Bytes(buffer)[0] = 1;
  buffer.Release();
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.Kind(), MemoryBufferExW::kKindEmpty);
  ASSERT_EQ(buffer.CreateNamed(name, 64, false), 1);
  EXPECT_EQ(Bytes(buffer)[0], 0);  // a fresh object
}

TEST(MemoryBufferExW, WriteAtBounds) {
  test::ScopedObjectDir objects;
  MemoryBufferExW buffer;
  ASSERT_EQ(buffer.CreateNamed(test::UniqueName("bounds"), 16, false), 1);
  const uint8_t source[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  struct Case {
    const void* source;
    uint32_t count;
    uint32_t offset;
    int32_t expected;
  };
  const Case cases[] = {
      {source, 1, 15, 1},            // ends exactly at size
      {source, 1, 16, 0},            // one byte past size
      {source, 16, 0, 1},
      {source, 17, 0, 0},
      {source, 2, 15, 0},
      {source, 2, 0xFFFFFFFFu, 0},   // offset + count wraps in 32 bits
      {source, 0xFFFFFFFFu, 2, 0},
      {source, 0, 16, 1},            // nothing to copy, within bounds
      {nullptr, 1, 0, 0},
  };
  for (const Case& c : cases) {
    std::memset(buffer.Data(), 0xEE, 16);
    EXPECT_EQ(buffer.WriteAt(c.source, c.count, c.offset), c.expected)
        << "count " << c.count << " offset " << c.offset;
    for (uint32_t i = 0; i < 16; ++i) {
      const bool written = c.expected == 1 && i >= c.offset && i - c.offset < c.count;
      EXPECT_EQ(Bytes(buffer)[i], written ? source[i - c.offset] : 0xEE) << i;
    }
  }
  MemoryBufferExW empty;
  EXPECT_EQ(empty.WriteAt(source, 1, 0), 0);
}

}  // namespace
}  // namespace ztn
