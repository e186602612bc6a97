// Growable byte arrays: the container of every cipher operation, and the
// helpers the ciphers use to fill and read them.
//
// Plain value types; no shared state. Safe to use from any thread on
// distinct arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ztn {

using ByteArray = std::vector<uint8_t>;

// Makes `array` hold exactly the `count` bytes at `data`. Returns false and
// leaves the array unchanged when data is null or count is 0. `data` may
// point into `array` itself.
bool AssignBytes(ByteArray& array, const void* data, size_t count);

// Makes `array` exactly `count` zero bytes (zeroed in place when the size
// already matches). Returns false and leaves the array unchanged when count
// is 0.
bool ResizeZeroed(ByteArray& array, size_t count);

// The bytes before the first zero byte, or all bytes when there is none, as
// a narrow string. Empty for an empty array.
std::string BytesToString(const ByteArray& array);

// Overwrites `size` bytes at `data` with zeros in a way the compiler keeps,
// for key material that must not linger in freed memory.
void WipeBytes(void* data, size_t size);

}  // namespace ztn
