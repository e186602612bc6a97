// The MD5 text of a wide string: the 16 digest bytes of the string's ANSI
// code-page bytes (no terminator), each written as two upper-case hex digits.
// Reentrant; never blocks.
#pragma once

#include <string>
#include <string_view>

namespace ztn {

// Clears `output`, then writes the 32-character MD5 text of `input`.
// Returns false, leaving `output` empty, when `input` is empty.
bool GetMD5String(std::u16string_view input, std::u16string& output);

}  // namespace ztn
