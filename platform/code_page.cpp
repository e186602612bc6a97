// UTF-16 <-> UTF-8, written out so that unpaired surrogates and invalid
// bytes have defined results. This platform's ANSI code page is UTF-8, so the
// ANSI conversions are the lossy forms of the exact ones.
#include "platform/code_page.h"

#include <cstdint>

namespace ztn::platform {
namespace {

constexpr char16_t kDefaultChar = u'?';        // what UTF-8 cannot carry
constexpr char16_t kReplacement = u'\uFFFD';  // what was not UTF-8

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, uint32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

// The code point at text[i] and its length in units; length 1 and
// ok = false for an unpaired surrogate.
uint32_t NextUtf16(std::u16string_view text, size_t i, size_t* length, bool* ok) {
  uint32_t c = text[i];
  *length = 1;
  *ok = true;
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
      text[i + 1] <= 0xDFFF) {
    *length = 2;
    return 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  if (c >= 0xD800 && c <= 0xDFFF) *ok = false;
  return c;
}

// The code point of the UTF-8 sequence at text[i] and its length, or length
// 0 when it is not a well-formed, shortest-form encoding of a scalar value.
uint32_t NextUtf8(std::string_view text, size_t i, size_t* length) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  size_t n = 0;
  uint32_t c = 0;
  uint32_t minimum = 0;
  *length = 0;
  if (lead < 0x80) {
    *length = 1;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    n = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *length = n;
  return c;
}

// Both directions in one place each: `exact` refuses what the other encoding
// cannot carry unchanged; otherwise it is replaced.
bool EncodeUtf8(std::u16string_view text, bool exact, std::string& out) {
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    bool ok = true;
    uint32_t c = NextUtf16(text, i, &length, &ok);
    if (!ok && exact) return false;
    AppendUtf8(out, ok ? c : kDefaultChar);
    i += length;
  }
  return true;
}

bool DecodeUtf8(std::string_view text, bool exact, std::u16string& out) {
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    uint32_t c = NextUtf8(text, i, &length);
    if (length == 0) {
      if (exact) return false;
      out.push_back(kReplacement);  // resynchronise on the next byte
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += length;
  }
  return true;
}

}  // namespace

std::optional<std::string> WideToUtf8Exact(std::u16string_view text) {
  std::string out;
  if (!EncodeUtf8(text, true, out)) return std::nullopt;
  return out;
}

std::optional<std::u16string> Utf8ToWideExact(std::string_view text) {
  std::u16string out;
  if (!DecodeUtf8(text, true, out)) return std::nullopt;
  return out;
}

std::string WideToAnsiText(std::u16string_view text) {
  std::string out;
  EncodeUtf8(text, false, out);
  return out;
}

std::u16string AnsiToWideText(std::string_view text) {
  std::u16string out;
  DecodeUtf8(text, false, out);
  return out;
}

}  // namespace ztn::platform
