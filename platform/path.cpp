// Path conversion between the system's backslash form (UTF-16) and native
// paths (UTF-8, '/').
//
// The conversion is strict in the direction that opens files: a path with an
// unpaired surrogate or an embedded NUL has no faithful native form, so it
// converts to the empty path, which names no file, rather than to a lossy
// text that could name a different one.
#include "platform/path.h"

#include <cstdint>
#include <optional>

#include "platform/code_page.h"

namespace ztn::platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

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

  const std::u16string_view kept = path.substr(0, end);
  if (kept.find(u'\0') != std::u16string_view::npos) return {};
  std::optional<std::string> native = WideToUtf8Exact(kept);
  if (!native) return {};
  for (char& c : *native)
    if (c == '\\') c = '/';
  return *native;
}

std::u16string FromNativePath(std::string_view nativePath) {
  std::u16string path = AnsiToWideText(nativePath);  // malformed bytes become U+FFFD
  for (char16_t& c : path)
    if (c == u'/') c = u'\\';
  return path;
}

}  // namespace ztn::platform
