// Path conversion at the OS boundary: separators, trailing blanks and dots of
// the last component, and text that has no faithful native form.
#include <gtest/gtest.h>

#include <string>

#include "platform/path.h"

namespace ztn::platform {
namespace {

struct ToNativeCase {
  std::u16string input;
  std::string expected;
};

TEST(PathTest, ToNativePathCases) {
  const ToNativeCase cases[] = {
      {u"a\\b\\c.dll", "a/b/c.dll"},
      {u"a/b\\c.dll", "a/b/c.dll"},
      {u"\\opt\\product\\ptl.ztm", "/opt/product/ptl.ztm"},
      {u"a\\b.dll. ", "a/b.dll"},
      {u"a\\b.dll...", "a/b.dll"},
      {u"a\\b.dll . . ", "a/b.dll"},
      {u"a.dll.", "a.dll"},
      {u"a.b\\c.d", "a.b/c.d"},           // inner dots stay
      {u"dir. \\file", "dir. /file"},      // only the last component is trimmed
      {u"a\\", "a/"},
      {u"a\\.", "a/."},
      {u"a\\..", "a/.."},
      {u".", "."},
      {u"..", ".."},
      {u"..\\x", "../x"},
      {u"a\\...", "a/"},                   // nothing but dots: the folder
      {u"a\\ . ", "a/"},
      {u"", ""},
      {u"\uD55C\uAE00\\\U0001F600.txt. ", "\xED\x95\x9C\xEA\xB8\x80/\xF0\x9F\x98\x80.txt"},
      // No faithful native form: names no file.
      {std::u16string(u"a\0b", 3), ""},
      {u"a\xD800" u"b", ""},                // high surrogate without its pair
      {u"a\xDC00", ""},                     // low surrogate alone
      {u"a\xD800", ""},                     // high surrogate at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToNativePath(c.input), c.expected) << "case " << (&c - cases);
  }
}

TEST(PathTest, FromNativePathCases) {
  const struct {
    std::string input;
    std::u16string expected;
  } cases[] = {
      {"/usr/lib/x.so", u"\\usr\\lib\\x.so"},
      {"rel/a b. ", u"rel\\a b. "},  // native names are taken as they stand
      {"", u""},
      {"\xED\x95\x9C/\xF0\x9F\x98\x80", u"\uD55C\\\U0001F600"},
      {"a\xFF" "b", u"a\uFFFDb"},             // not UTF-8
      {"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
      {"x\xE2\x82", u"x\uFFFD\uFFFD"},         // cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromNativePath(c.input), c.expected) << "case " << (&c - cases);
  }
}

TEST(PathTest, RoundTripKeepsEveryScalarValue) {
  const std::u16string path = u"\\x\\\u00E9\u4E2D\U00010348\\\uFFFF\uE000name.ztm";
  EXPECT_EQ(FromNativePath(ToNativePath(path)), path);
}

}  // namespace
}  // namespace ztn::platform
