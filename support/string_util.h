// String utilities: code-page conversion, trimming, printf-style formatting
// into wide strings, replacement, lower-casing, hashing and case-insensitive
// comparison.
//
// Every operation writes into a string the caller owns and keeps nothing
// between calls, so all of them are reentrant; a target string must not be
// used by another thread during the call. None blocks.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace ztn {

// Replaces `target` with `source` in the ANSI code page. The source ends at
// its first NUL, as a zero-terminated text would. Characters the code page
// cannot carry become the default character.
void WideToAnsi(std::string& target, std::u16string_view source);

// Replaces `target` with the UTF-8 `source` decoded to UTF-16. The source ends
// at its first NUL. An empty source gives an empty target.
void Utf8ToWide(std::u16string& target, std::string_view source);

// Removes leading and trailing white space in place. Carriage return and line
// feed never count as white space, so they stop the scan.
void TrimString(std::u16string& text);

// printf-style formatting on UTF-16 formats, following the original wide
// printf conventions:
//   flags - + space # 0; width and precision as digits or '*';
//   length modifiers h, l, ll (l is 32 bits wide, as on the original
//   platform: pass int32_t / uint32_t for %ld, %lX; ll takes 64 bits);
//   conversions d i u x X c s %.
//   %s, %ls and %ws take const char16_t* (NULL prints "(null)");
//   %hs takes a narrow const char* in the ANSI code page;
//   %c takes a UTF-16 code unit (promoted to int), %hc a narrow char.
// The text is built in a buffer of 256 characters whose capacity doubles
// until the whole text and its terminator fit; each attempt formats the whole
// argument list afresh.
// A null format leaves the target untouched. So does a malformed format (an
// unknown conversion, %n, a lone '%' at the end, a width or precision beyond
// 32 bits): formatting stops instead of guessing.
// FormatString replaces the target; AppendFormatString appends to it.
void FormatString(std::u16string& target, const char16_t* format, ...);
void AppendFormatString(std::u16string& target, const char16_t* format, ...);
void FormatStringV(std::u16string& target, const char16_t* format, va_list args);
void AppendFormatStringV(std::u16string& target, const char16_t* format, va_list args);

// Replaces every occurrence of `search`, left to right; the inserted text is
// never searched again. An empty `search` changes nothing.
void ReplaceAll(std::u16string& text, std::u16string_view search,
                std::u16string_view replacement);

// Turns the letters A to Z into a to z in place; every other code unit stays.
void ToLowerString(std::u16string& text);

// The djb2 hash over the UTF-16 code units (hash * 33 + unit, from 5381),
// except that the empty string hashes to 0.
uint32_t HashString(std::u16string_view text);

// 0 when both strings have the same length and differ at most in the case of
// the letters A to Z; otherwise the difference of the first differing
// (folded) code units, or of the lengths.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

namespace detail {
// How many buffer sizes the last FormatString / AppendFormatString call on
// this thread tried (1 for a text of up to 255 characters, 2 for up to 511,
// ...); 0 when it did not format. For tests and benchmarks.
int LastFormatAttemptCount();
}  // namespace detail

}  // namespace ztn
