// The SEED block cipher (128-bit block, 128-bit key, 16 rounds) as defined
// by RFC 4269, in this product's byte order: every 32-bit word of the key
// and of a block is read from and written to four consecutive bytes with the
// first byte as the LEAST significant one (RFC 4269 takes it as the most
// significant one). Equivalently: reverse the bytes inside each 4-byte group
// of key and block, apply RFC 4269 SEED, and reverse each group of the result
// again.
//
// Pure functions over caller-owned buffers; safe from any thread.
#pragma once

#include <cstdint>

namespace ztn {

inline constexpr int kSeedBlockSize = 16;
inline constexpr int kSeedKeySize = 16;
inline constexpr int kSeedRoundKeyCount = 32;

// Expands a 16-byte key into the 32 round-key words.
void SeedKeySchedule(const uint8_t key[16], uint32_t roundKeys[32]);

// Encrypts / decrypts one 16-byte block in place.
void SeedEncryptBlock(const uint32_t roundKeys[32], uint8_t block[16]);
void SeedDecryptBlock(const uint32_t roundKeys[32], uint8_t block[16]);

}  // namespace ztn
