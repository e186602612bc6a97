#include "hostrun/crypt/crypt_tool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>

#include "hostrun/crypt/rc4.h"
#include "hostrun/crypt/seed.h"
#include "tests/crypt/openssl_peer.h"

namespace ztn {

struct CryptToolTestAccess {
  static ByteArray WorkingKey(const CryptTool& tool) {
    ByteArray key;
    tool.PrepareKey(key);
    return key;
  }
  static const ByteArray& Material(const CryptTool& tool) { return tool.keyMaterial_; }
};

namespace {

using test::OpenSslPeer;

ByteArray Counting(size_t size, uint8_t first = 1) {
  ByteArray bytes(size);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// ---- byte-array helpers ----------------------------------------------------

TEST(ByteArrayHelpers, AssignBytes) {
  const uint8_t source[5] = {1, 2, 3, 4, 5};
  ByteArray array{9, 9};
  EXPECT_FALSE(AssignBytes(array, nullptr, 3));
  EXPECT_FALSE(AssignBytes(array, source, 0));
  EXPECT_EQ(array, (ByteArray{9, 9}));

  EXPECT_TRUE(AssignBytes(array, source, 5));  // other size: refilled
  EXPECT_EQ(array, (ByteArray{1, 2, 3, 4, 5}));

  const uint8_t* storage = array.data();
  const uint8_t other[5] = {5, 4, 3, 2, 1};
  EXPECT_TRUE(AssignBytes(array, other, 5));  // same size: in place
  EXPECT_EQ(array.data(), storage);
  EXPECT_EQ(array, (ByteArray{5, 4, 3, 2, 1}));

  EXPECT_TRUE(AssignBytes(array, array.data() + 1, 3));  // source inside the array
  EXPECT_EQ(array, (ByteArray{4, 3, 2}));
  EXPECT_TRUE(AssignBytes(array, array.data(), array.size()));  // itself
  EXPECT_EQ(array, (ByteArray{4, 3, 2}));
}

TEST(ByteArrayHelpers, ResizeZeroed) {
  ByteArray array{7, 7, 7};
  EXPECT_FALSE(ResizeZeroed(array, 0));
  EXPECT_EQ(array, (ByteArray{7, 7, 7}));
  const uint8_t* storage = array.data();
  EXPECT_TRUE(ResizeZeroed(array, 3));
  EXPECT_EQ(array.data(), storage);
  EXPECT_EQ(array, ByteArray(3, 0));
  array = {7};
  EXPECT_TRUE(ResizeZeroed(array, 40));
  EXPECT_EQ(array, ByteArray(40, 0));
}

TEST(ByteArrayHelpers, BytesToString) {
  struct Case {
    ByteArray bytes;
    std::string text;
  };
  const Case cases[] = {
      {{}, ""},
      {{'a', 'b', 'c'}, "abc"},
      {{'a', 'b', 'c', 0, 'x', 'y'}, "abc"},
      {{0, 'x'}, ""},
      {{0xEC, 0x95, 0x88}, "\xEC\x95\x88"},
  };
  for (const auto& c : cases) EXPECT_EQ(BytesToString(c.bytes), c.text);
}

// ---- SEED layout ------------------------------------------------------------

// Ciphertext of `plain` (a multiple of 16 bytes) as bare blocks.
ByteArray BareBlocks(const ByteArray& plain) {
  ByteArray cipher;
  EXPECT_TRUE(CryptTool().SeedEncrypt(plain, cipher));
  EXPECT_EQ(cipher.size(), plain.size());
  return cipher;
}

TEST(CryptToolSeed, WholeBlocksDecryptToTheirLength) {
  for (size_t size : {size_t{16}, size_t{32}, size_t{160}}) {
    ByteArray plain = Counting(size);
    ByteArray out{1, 2, 3};
    ASSERT_TRUE(CryptTool().SeedDecrypt(BareBlocks(plain), out));
    EXPECT_EQ(out, plain);
  }
}

TEST(CryptToolSeed, CountByteSelectsBytesOfTheLastBlock) {
  const ByteArray plain = Counting(32);
  const ByteArray blocks = BareBlocks(plain);
  struct Case {
    uint8_t count;
    size_t expected;
  };
  for (Case c : {Case{5, 21}, Case{1, 17}, Case{16, 32}}) {
    SCOPED_TRACE(int{c.count});
    ByteArray input{c.count};
    input.insert(input.end(), blocks.begin(), blocks.end());  // 33 bytes
    ByteArray out;
    ASSERT_TRUE(CryptTool().SeedDecrypt(input, out));
    EXPECT_EQ(out, ByteArray(plain.begin(), plain.begin() + static_cast<long>(c.expected)));
  }
  // A single block with count 16 is the whole block.
  ByteArray one{16};
  one.insert(one.end(), blocks.begin(), blocks.begin() + 16);
  ByteArray out;
  ASSERT_TRUE(CryptTool().SeedDecrypt(one, out));
  EXPECT_EQ(out, ByteArray(plain.begin(), plain.begin() + 16));
}

TEST(CryptToolSeed, MalformedInputFailsAndLeavesOutput) {
  const ByteArray blocks = BareBlocks(Counting(32));
  auto withCount = [&](uint8_t count, size_t blockBytes) {
    ByteArray input{count};
    input.insert(input.end(), blocks.begin(), blocks.begin() + static_cast<long>(blockBytes));
    return input;
  };
  struct Case {
    const char* what;
    ByteArray input;
  };
  const Case cases[] = {
      {"empty", {}},
      {"1 byte", ByteArray(1, 5)},
      {"15 bytes", ByteArray(blocks.begin(), blocks.begin() + 15)},
      {"18 bytes", ByteArray(blocks.begin(), blocks.begin() + 18)},
      {"31 bytes", ByteArray(blocks.begin(), blocks.begin() + 31)},
      {"34 bytes", ByteArray(34, 1)},
      {"count 0, one block", withCount(0, 16)},
      {"count 17, one block", withCount(17, 16)},
      {"count 17, two blocks", withCount(17, 32)},
      {"count 255, two blocks", withCount(255, 32)},
      {"count byte, truncated block", withCount(4, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ByteArray out{0xAB, 0xCD};
    EXPECT_FALSE(CryptTool().SeedDecrypt(c.input, out));
    EXPECT_EQ(out, (ByteArray{0xAB, 0xCD}));
  }
}

TEST(CryptToolSeed, EncryptLayoutAndRoundTrip) {
  struct Case {
    size_t plain;
    size_t cipher;  // expected encrypted length
  };
  const Case cases[] = {{1, 17}, {15, 17}, {16, 16}, {17, 33}, {31, 33}, {32, 32}, {33, 49}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    ByteArray plain = Counting(c.plain, 0x40);
    ByteArray cipher, back;
    ASSERT_TRUE(CryptTool().SeedEncrypt(plain, cipher));
    ASSERT_EQ(cipher.size(), c.cipher);
    if (c.plain % 16 != 0) {
      EXPECT_EQ(cipher[0], c.plain % 16);
    }
    ASSERT_TRUE(CryptTool().SeedDecrypt(cipher, back));
    EXPECT_EQ(back, plain);
  }
  ByteArray untouched{3};
  EXPECT_FALSE(CryptTool().SeedEncrypt(ByteArray{}, untouched));
  EXPECT_EQ(untouched, ByteArray{3});
}

TEST(CryptToolSeed, InputAndOutputMayBeTheSameArray) {
  const ByteArray plain = Counting(21);
  ByteArray data = plain;
  ASSERT_TRUE(CryptTool().SeedEncrypt(data, data));
  ASSERT_TRUE(CryptTool().SeedDecrypt(data, data));
  EXPECT_EQ(data, plain);
}

// ---- key material -----------------------------------------------------------

TEST(CryptToolKey, WorkingKeyTransformsOnlyTheFirst16Bytes) {
  CryptTool tool;
  const ByteArray& material = CryptToolTestAccess::Material(tool);
  const ByteArray key = CryptToolTestAccess::WorkingKey(tool);
  ASSERT_EQ(material.size(), 24u);
  ASSERT_EQ(key.size(), 24u);
  EXPECT_TRUE(std::equal(key.begin() + 16, key.end(), material.begin() + 16));
  size_t changed = 0;
  for (size_t i = 0; i < 16; ++i) changed += key[i] != material[i];
  EXPECT_GE(changed, 12u) << "the transformation barely changes the key";
  // Preparing again gives the same key and leaves the material as it was.
  EXPECT_EQ(CryptToolTestAccess::WorkingKey(tool), key);
  EXPECT_EQ(CryptToolTestAccess::Material(tool), material);
}

// The whole pipeline against an independent SEED: the first 16 working-key
// bytes as the key, ECB, the count byte and zero filler.
TEST(CryptToolKey, SeedEncryptMatchesOpenSslWithTheWorkingKey) {
  OpenSslPeer peer;
  if (!peer.Available()) GTEST_SKIP() << "openssl is not installed";
  CryptTool tool;
  ByteArray key = CryptToolTestAccess::WorkingKey(tool);
  test::SwapWordBytes(key.data(), 16);

  const ByteArray plain = Counting(37, 0x21);
  ByteArray padded = plain;
  padded.resize(48, 0);
  test::SwapWordBytes(padded.data(), padded.size());
  auto theirs = peer.Enc({"-seed-ecb", "-nopad", "-K", OpenSslPeer::Hex(key.data(), 16)}, padded);
  if (!theirs) GTEST_SKIP() << "openssl has no seed-ecb (legacy provider missing)";
  test::SwapWordBytes(theirs->data(), theirs->size());
  theirs->insert(theirs->begin(), uint8_t{37 % 16});

  ByteArray mine;
  ASSERT_TRUE(tool.SeedEncrypt(plain, mine));
  EXPECT_EQ(mine, *theirs);
}

// ---- RC4 --------------------------------------------------------------------

TEST(CryptToolRc4, UsesAll24WorkingKeyBytes) {
  CryptTool tool;
  const ByteArray key = CryptToolTestAccess::WorkingKey(tool);
  ByteArray data = Counting(300);
  ByteArray expected = data;
  Rc4Transform(key.data(), key.size(), expected.data(), expected.size());
  ByteArray out;
  ASSERT_TRUE(tool.Rc4Crypt(data, out));
  EXPECT_EQ(out, expected);
  // Only 16 key bytes would give another stream.
  ByteArray shortKey = data;
  Rc4Transform(key.data(), 16, shortKey.data(), shortKey.size());
  EXPECT_NE(out, shortKey);
}

TEST(CryptToolRc4, TwiceGivesTheInputAndReplacesTheOutput) {
  CryptTool tool;
  const ByteArray data = Counting(50);
  ByteArray once(200, 0xEE), twice(3, 0xEE);
  ASSERT_TRUE(tool.Rc4Crypt(data, once));
  EXPECT_EQ(once.size(), data.size());
  EXPECT_NE(once, data);
  ASSERT_TRUE(tool.Rc4Crypt(once, twice));
  EXPECT_EQ(twice, data);

  ByteArray same = data;
  ASSERT_TRUE(tool.Rc4Crypt(same, same));
  EXPECT_EQ(same, once);

  ByteArray untouched{1, 2};
  EXPECT_FALSE(tool.Rc4Crypt(ByteArray{}, untouched));
  EXPECT_EQ(untouched, (ByteArray{1, 2}));
}

TEST(CryptToolThreads, OneToolServesSeveralThreads) {
  const CryptTool tool;
  const ByteArray plain = Counting(1000);
  ByteArray expected;
  ASSERT_TRUE(tool.SeedEncrypt(plain, expected));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        ByteArray cipher, back;
        if (!tool.SeedEncrypt(plain, cipher) || cipher != expected ||
            !tool.SeedDecrypt(cipher, back) || back != plain) {
          ++mismatches;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace ztn
