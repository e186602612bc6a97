// Text conversion between UTF-16 and the ANSI code page.
//
// The ANSI code page of this platform is UTF-8. Unpaired surrogates, which
// UTF-8 cannot carry, become the default character '?'; invalid UTF-8 input
// becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace ztn::platform {

std::string WideToAnsiText(std::u16string_view text);
std::u16string AnsiToWideText(std::string_view text);
// UTF-8 is the ANSI code page here; kept separate because callers name it.
inline std::u16string Utf8ToWideText(std::string_view text) { return AnsiToWideText(text); }

}  // namespace ztn::platform
