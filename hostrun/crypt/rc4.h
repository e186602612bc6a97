// The RC4 stream cipher over a caller's buffer. The same call encrypts and
// decrypts. No keystream bytes are discarded.
//
// Pure function over caller-owned buffers; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztn {

// XORs `size` bytes at `data` with the keystream of `key` (key byte
// i mod keyLength feeds step i of the key scheduling, so bytes past the
// 256th are unused). Does nothing when key is null or keyLength is 0.
void Rc4Transform(const uint8_t* key, size_t keyLength, uint8_t* data, size_t size);

}  // namespace ztn
