#include "hostrun/crypt/rc4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/crypt/openssl_peer.h"

namespace ztn {
namespace {

using test::OpenSslPeer;

// RFC 6229, key length 192 bits (the length CryptTool uses): keystream bytes
// at the given offsets for key 0x0102...18.
TEST(Rc4, Rfc6229With24ByteKey) {
  struct Row {
    size_t offset;
    uint8_t bytes[16];
  };
  const Row rows[] = {
      {0, {0x05, 0x95, 0xe5, 0x7f, 0xe5, 0xf0, 0xbb, 0x3c, 0x70, 0x6e, 0xda, 0xc8, 0xa4, 0xb2,
           0xdb, 0x11}},
      {16, {0xdf, 0xde, 0x31, 0x34, 0x4a, 0x1a, 0xf7, 0x69, 0xc7, 0x4f, 0x07, 0x0a, 0xee, 0x9e,
            0x23, 0x26}},
      {240, {0xb0, 0x6b, 0x9b, 0x1e, 0x19, 0x5d, 0x13, 0xd8, 0xf4, 0xa7, 0x99, 0x5c, 0x45, 0x53,
             0xac, 0x05}},
      {256, {0x6b, 0xd2, 0x37, 0x8e, 0xc3, 0x41, 0xc9, 0xa4, 0x2f, 0x37, 0xba, 0x79, 0xf8, 0x8a,
             0x32, 0xff}},
  };
  uint8_t key[24];
  for (int i = 0; i < 24; ++i) key[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> stream(272, 0);
  Rc4Transform(key, sizeof(key), stream.data(), stream.size());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.offset);
    EXPECT_EQ(0, std::memcmp(stream.data() + row.offset, row.bytes, 16));
  }
}

TEST(Rc4, MatchesOpenSslWith16ByteKeys) {
  OpenSslPeer peer;
  if (!peer.Available()) GTEST_SKIP() << "openssl is not installed";
  std::mt19937 random(6229);
  for (size_t size : {size_t{1}, size_t{255}, size_t{4097}}) {
    SCOPED_TRACE(size);
    uint8_t key[16];
    for (auto& b : key) b = static_cast<uint8_t>(random());
    ByteArray data(size);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    auto theirs = peer.Enc({"-rc4", "-K", OpenSslPeer::Hex(key, 16)}, data);
    if (!theirs) GTEST_SKIP() << "openssl has no rc4 (legacy provider missing)";
    ByteArray mine = data;
    Rc4Transform(key, sizeof(key), mine.data(), mine.size());
    EXPECT_EQ(mine, *theirs);
  }
}

TEST(Rc4, NoKeyLeavesDataAlone) {
  uint8_t data[4] = {1, 2, 3, 4};
  uint8_t key[1] = {9};
  Rc4Transform(nullptr, 5, data, sizeof(data));
  Rc4Transform(key, 0, data, sizeof(data));
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[3], 4);
}

}  // namespace
}  // namespace ztn
