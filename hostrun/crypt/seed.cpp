// SEED (RFC 4269).
//
// The two 8-bit S-boxes are generated at compile time from their algebraic
// definition: S1(x) = A1 * x^247 + 0xA9 and S2(x) = A2 * x^251 + 0x38 over
// GF(2^8) with the reduction polynomial x^8 + x^6 + x^5 + x + 1, where A1 and
// A2 are the standard's affine matrices, written here as the images of the
// eight unit vectors (bit j of the power selects column j). From them come
// the four 256-entry tables of the function G, each holding one S-box output
// spread over the four bytes of a word through the masks 0xFC, 0xF3, 0xCF,
// 0x3F.
//
// Words are little-endian in memory (see seed.h); inside the rounds the
// arithmetic is exactly RFC 4269's.
#include "hostrun/crypt/seed.h"

#include <array>
#include <cstddef>

namespace ztn {
namespace {

constexpr uint8_t GfMultiply(uint8_t a, uint8_t b) {
  unsigned product = 0;
  unsigned x = a;
  while (b != 0) {
    if (b & 1u) product ^= x;
    b = static_cast<uint8_t>(b >> 1);
    x <<= 1;
    if (x & 0x100u) x ^= 0x163u;
  }
  return static_cast<uint8_t>(product);
}

constexpr uint8_t GfPower(uint8_t x, int exponent) {
  uint8_t result = 1;
  uint8_t base = x;
  while (exponent > 0) {
    if (exponent & 1) result = GfMultiply(result, base);
    base = GfMultiply(base, base);
    exponent >>= 1;
  }
  return result;
}

using Columns = std::array<uint8_t, 8>;

constexpr Columns kAffine1 = {0x2C, 0xD0, 0x69, 0xC2, 0x41, 0x44, 0x58, 0xE2};
constexpr Columns kAffine2 = {0xD0, 0x2A, 0xE1, 0x2C, 0x21, 0x30, 0xA2, 0x6C};

constexpr uint8_t Affine(const Columns& columns, uint8_t value, uint8_t constant) {
  uint8_t result = constant;
  for (int j = 0; j < 8; ++j) {
    if ((value >> j) & 1) result ^= columns[static_cast<size_t>(j)];
  }
  return result;
}

constexpr uint8_t SBox1(uint8_t x) { return Affine(kAffine1, GfPower(x, 247), 0xA9); }
constexpr uint8_t SBox2(uint8_t x) { return Affine(kAffine2, GfPower(x, 251), 0x38); }

constexpr uint32_t kMask0 = 0xFC, kMask1 = 0xF3, kMask2 = 0xCF, kMask3 = 0x3F;

constexpr uint32_t Spread(uint32_t s, uint32_t m0, uint32_t m1, uint32_t m2, uint32_t m3) {
  // Byte k of the result is s & mk.
  return (s & m0) | ((s & m1) << 8) | ((s & m2) << 16) | ((s & m3) << 24);
}

struct GTables {
  std::array<uint32_t, 256> ss0{}, ss1{}, ss2{}, ss3{};
};

constexpr GTables MakeGTables() {
  GTables t;
  for (unsigned x = 0; x < 256; ++x) {
    uint32_t s1 = SBox1(static_cast<uint8_t>(x));
    uint32_t s2 = SBox2(static_cast<uint8_t>(x));
    // Input byte k feeds output byte i through mask (i + k) mod 4.
    t.ss0[x] = Spread(s1, kMask0, kMask1, kMask2, kMask3);
    t.ss1[x] = Spread(s2, kMask1, kMask2, kMask3, kMask0);
    t.ss2[x] = Spread(s1, kMask2, kMask3, kMask0, kMask1);
    t.ss3[x] = Spread(s2, kMask3, kMask0, kMask1, kMask2);
  }
  return t;
}

constexpr GTables kG = MakeGTables();

// Sanity of the generated boxes against the standard's first entries.
static_assert(SBox1(0) == 0xA9 && SBox1(1) == 0x85 && SBox1(255) != SBox1(254));
static_assert(SBox2(0) == 0x38 && SBox2(1) == 0xE8);
static_assert(kG.ss0[0] == 0x2989A1A8u);

// Round constants: KC0 is the golden-ratio word; each next one is the
// previous rotated left by one bit.
constexpr std::array<uint32_t, 16> MakeRoundConstants() {
  std::array<uint32_t, 16> kc{};
  uint32_t value = 0x9E3779B9u;
  for (auto& c : kc) {
    c = value;
    value = (value << 1) | (value >> 31);
  }
  return kc;
}
constexpr std::array<uint32_t, 16> kRoundConstants = MakeRoundConstants();
static_assert(kRoundConstants[1] == 0x3C6EF373u && kRoundConstants[15] == 0xBCDCCF1Bu);

inline uint32_t G(uint32_t y) {
  return kG.ss0[y & 0xFF] ^ kG.ss1[(y >> 8) & 0xFF] ^ kG.ss2[(y >> 16) & 0xFF] ^
         kG.ss3[(y >> 24) & 0xFF];
}

inline uint32_t LoadWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreWord(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

// The Feistel network: round keys in order to encrypt, last pair first to
// decrypt.
void Crypt(const uint32_t roundKeys[32], uint8_t block[16], bool decrypt) {
  uint32_t l0 = LoadWord(block), l1 = LoadWord(block + 4);
  uint32_t r0 = LoadWord(block + 8), r1 = LoadWord(block + 12);
  for (int round = 0; round < 16; ++round) {
    int k = decrypt ? 15 - round : round;
    uint32_t c = r0 ^ roundKeys[2 * k];
    uint32_t d = r1 ^ roundKeys[2 * k + 1];
    d ^= c;
    d = G(d);
    c += d;
    c = G(c);
    d += c;
    d = G(d);
    c += d;
    uint32_t nextR0 = l0 ^ c;
    uint32_t nextR1 = l1 ^ d;
    l0 = r0;
    l1 = r1;
    r0 = nextR0;
    r1 = nextR1;
  }
  // The last round does not swap the halves.
  StoreWord(block, r0);
  StoreWord(block + 4, r1);
  StoreWord(block + 8, l0);
  StoreWord(block + 12, l1);
}

}  // namespace

void SeedKeySchedule(const uint8_t key[16], uint32_t roundKeys[32]) {
  uint32_t k0 = LoadWord(key), k1 = LoadWord(key + 4);
  uint32_t k2 = LoadWord(key + 8), k3 = LoadWord(key + 12);
  for (int i = 0; i < 16; ++i) {
    roundKeys[2 * i] = G(k0 + k2 - kRoundConstants[static_cast<size_t>(i)]);
    roundKeys[2 * i + 1] = G(k1 - k3 + kRoundConstants[static_cast<size_t>(i)]);
    if (i % 2 == 0) {
      // (k0 || k1) rotated right by 8 bits.
      uint32_t t = k0;
      k0 = (k0 >> 8) | (k1 << 24);
      k1 = (k1 >> 8) | (t << 24);
    } else {
      // (k2 || k3) rotated left by 8 bits.
      uint32_t t = k2;
      k2 = (k2 << 8) | (k3 >> 24);
      k3 = (k3 << 8) | (t >> 24);
    }
  }
}

void SeedEncryptBlock(const uint32_t roundKeys[32], uint8_t block[16]) {
  Crypt(roundKeys, block, false);
}

void SeedDecryptBlock(const uint32_t roundKeys[32], uint8_t block[16]) {
  Crypt(roundKeys, block, true);
}

}  // namespace ztn
