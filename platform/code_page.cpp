// POSIX backend: may use POSIX and Linux names (none needed: the ANSI code page is UTF-8).
// UTF-16 <-> UTF-8 conversion, written out so that unpaired surrogates and
// invalid bytes have defined results.
#include "platform/code_page.h"

#include <cstdint>

namespace ztn::platform {

std::string WideToAnsiText(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back('?');  // an unpaired surrogate has no UTF-8 form
      continue;
    }
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
  return out;
}

std::u16string AnsiToWideText(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  while (i < n) {
    uint8_t b0 = byte(i);
    uint32_t c = 0;
    size_t len = 0;
    uint32_t min = 0;
    if (b0 < 0x80) {
      c = b0, len = 1;
    } else if ((b0 & 0xE0) == 0xC0) {
      c = b0 & 0x1F, len = 2, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      c = b0 & 0x0F, len = 3, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      c = b0 & 0x07, len = 4, min = 0x10000;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool valid = i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) {
        valid = false;
      } else {
        c = (c << 6) | (byte(i + k) & 0x3F);
      }
    }
    if (!valid || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;  // resynchronise on the next byte
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
}

}  // namespace ztn::platform
