// Text conversion between UTF-16 and the ANSI code page.
//
// The ANSI code page of this platform is UTF-8. Unpaired surrogates, which
// UTF-8 cannot carry, become the default character '?'; invalid UTF-8 input
// becomes U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ztn::platform {

std::string WideToAnsiText(std::u16string_view text);

// Exact UTF-8 conversions for data that must come back unchanged: nullopt
// when the text holds an unpaired surrogate (UTF-16 -> UTF-8) or a byte
// sequence that is not well-formed, shortest-form UTF-8 (UTF-8 -> UTF-16).
std::optional<std::string> WideToUtf8Exact(std::u16string_view text);
std::optional<std::u16string> Utf8ToWideExact(std::string_view text);
std::u16string AnsiToWideText(std::string_view text);
// UTF-8 is the ANSI code page here; kept separate because callers name it.
inline std::u16string Utf8ToWideText(std::string_view text) { return AnsiToWideText(text); }

}  // namespace ztn::platform
