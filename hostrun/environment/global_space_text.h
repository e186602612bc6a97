// The base folder text of the global shared space, read and written within
// the space's bounds.
//
// The text starts at byte 8 of the 7828-byte space and is a NUL-terminated
// UTF-16LE encrypted string. The space is memory any local process can
// write, so a reader stops at the end of the space when no NUL comes first.
// Pure functions over the caller's view; the caller holds the mutex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest text the space can hold, without its NUL unit.
inline constexpr size_t kMaxBaseFolderTextUnits = (7828 - 8) / 2 - 1;

// The text at offset 8 of a view of at least 7828 bytes, up to its NUL unit
// or the end of the space.
std::u16string ReadBaseFolderText(const uint8_t* space);

// Writes `text` and a NUL unit at offset 8. False, nothing written, when the
// text does not fit or holds a NUL unit.
bool WriteBaseFolderText(uint8_t* space, std::u16string_view text);
