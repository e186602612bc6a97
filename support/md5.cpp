// MD5 as RFC 1321 defines it: 64-byte blocks, four rounds of sixteen steps
// over a little-endian message schedule, padding with 0x80, zeros and the
// message length in bits (little-endian 64-bit).
#include "support/md5.h"

#include <cstring>

namespace ztn {
namespace {

// floor(|sin(i + 1)| * 2^32), RFC 1321 section 3.4.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLittle(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLittle(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

void Md5::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  byteCount_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void Md5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittle(block + 4 * i);

  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    uint32_t f = 0;
    int index = 0;
    switch (round) {
      case 0: f = (b & c) | (~b & d); index = i; break;
      case 1: f = (b & d) | (c & ~d); index = (1 + 5 * i) % 16; break;
      case 2: f = b ^ c ^ d; index = (5 + 3 * i) % 16; break;
      default: f = c ^ (b | ~d); index = (7 * i) % 16; break;
    }
    const uint32_t next = b + RotateLeft(a + f + kSine[i] + x[index], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const void* data, size_t size) {
  if (size == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>(byteCount_ % 64);
  byteCount_ += size;
  if (used != 0) {
    const size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(buffer_ + used, bytes, take);
    used += take;
    bytes += take;
    size -= take;
    if (used < 64) return;
    Transform(buffer_);
  }
  for (; size >= 64; size -= 64, bytes += 64) Transform(bytes);
  if (size != 0) std::memcpy(buffer_, bytes, size);
}

void Md5::Final(uint8_t digest[16]) {
  const uint64_t bitCount = byteCount_ * 8;
  uint8_t padding[72] = {0x80};
  const size_t used = static_cast<size_t>(byteCount_ % 64);
  const size_t padLength = used < 56 ? 56 - used : 120 - used;
  Update(padding, padLength);
  uint8_t length[8];
  StoreLittle(length, static_cast<uint32_t>(bitCount));
  StoreLittle(length + 4, static_cast<uint32_t>(bitCount >> 32));
  Update(length, 8);
  for (int i = 0; i < 4; ++i) StoreLittle(digest + 4 * i, state_[i]);
  Reset();
}

}  // namespace ztn
