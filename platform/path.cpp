// Path conversion between the system's backslash form (UTF-16) and native
// paths (UTF-8, '/').
//
// The conversion is strict in the direction that opens files: a path with an
// unpaired surrogate or an embedded NUL has no faithful native form, so it
// converts to the empty path, which names no file, rather than to a lossy
// text that could name a different one.
#include "platform/path.h"

#include <cstdint>

namespace ztn::platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when it is
// not a well-formed, shortest-form encoding of a scalar value.
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t* cp) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  size_t length = 0;
  uint32_t value = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return length;
}

}  // namespace

std::string ToNativePath(std::u16string_view path) {
  // The last component loses its trailing blanks and dots unless it is "." or
  // ".."; a component made only of them vanishes, leaving the folder path.
  size_t end = path.size();
  size_t lastStart = end;
  while (lastStart > 0 && !IsSeparator(path[lastStart - 1])) --lastStart;
  const std::u16string_view last = path.substr(lastStart);
  if (last != u"." && last != u"..") {
    while (end > lastStart && (path[end - 1] == u' ' || path[end - 1] == u'.')) --end;
  }

  std::string native;
  native.reserve(end);
  for (size_t i = 0; i < end; ++i) {
    const char16_t c = path[i];
    if (c == 0) return {};
    if (IsSeparator(c)) {
      native.push_back('/');
    } else if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= end || path[i + 1] < 0xDC00 || path[i + 1] > 0xDFFF) return {};
      AppendUtf8(native, 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) +
                             (static_cast<uint32_t>(path[i + 1]) - 0xDC00));
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return {};
    } else {
      AppendUtf8(native, c);
    }
  }
  return native;
}

std::u16string FromNativePath(std::string_view nativePath) {
  std::u16string path;
  path.reserve(nativePath.size());
  for (size_t i = 0; i < nativePath.size();) {
    uint32_t cp = 0;
    const size_t length = DecodeUtf8(nativePath, i, &cp);
    if (length == 0) {
      path.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp == '/') cp = '\\';
    AppendUtf16(path, cp);
    i += length;
  }
  return path;
}

}  // namespace ztn::platform
