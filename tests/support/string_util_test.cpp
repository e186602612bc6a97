#include "support/string_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

namespace ztn {
namespace {

TEST(TrimString, Cases) {
  struct Case {
    std::u16string input;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"", u""},
      {u" \t \t", u""},
      {u"\tx \n", u"x \n"},      // the line feed ends the scan from the end
      {u"\r\nx", u"\r\nx"},      // carriage return and line feed are not white space
      {u"  a b  ", u"a b"},
      {u"\v\fx\t", u"x"},
      {u"\u3000x\u00A0", u"x"},  // wide white space
      {u"x", u"x"},
  };
  for (const Case& c : cases) {
    std::u16string text = c.input;
    TrimString(text);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(FormatString, Conversions) {
  using Formatter = std::function<void(std::u16string&)>;
  struct Case {
    std::u16string expected;
    Formatter format;
  };
  const Case cases[] = {
      {u"-5", [](auto& t) { FormatString(t, u"%d", -5); }},
      {u"   42", [](auto& t) { FormatString(t, u"%5d", 42); }},
      {u"42   |", [](auto& t) { FormatString(t, u"%-5d|", 42); }},
      {u"-0042", [](auto& t) { FormatString(t, u"%05d", -42); }},
      {u"+5 5", [](auto& t) { FormatString(t, u"%+d% d", 5, 5); }},
      {u"007", [](auto& t) { FormatString(t, u"%.3d", 7); }},
      {u"[]", [](auto& t) { FormatString(t, u"[%.0d]", 0); }},
      {u"-2147483648", [](auto& t) { FormatString(t, u"%i", INT_MIN); }},
      {u"4294967295", [](auto& t) { FormatString(t, u"%u", 4294967295u); }},
      {u"ff FF 0xff 0X1F", [](auto& t) { FormatString(t, u"%x %X %#x %#X", 255, 255, 255, 31); }},
      {u"0A", [](auto& t) { FormatString(t, u"%02X", 10); }},
      {u"001F", [](auto& t) { FormatString(t, u"%04X", 0x1F); }},
      {u"4464 4464", [](auto& t) { FormatString(t, u"%hd %hu", 70000, 70000u); }},
      {u"DEADBEEF -1", [](auto& t) { FormatString(t, u"%08lX %ld", uint32_t{0xDEADBEEF}, int32_t{-1}); }},
      {u"-9223372036854775808 18446744073709551615",
       [](auto& t) { FormatString(t, u"%lld %llu", LLONG_MIN, ULLONG_MAX); }},
      {u"Z\u00E9", [](auto& t) { FormatString(t, u"%c%c", u'Z', u'\u00E9'); }},
      {u"abc|ab|  abc|abc  |", [](auto& t) { FormatString(t, u"%s|%.2s|%5s|%-5s|", u"abc", u"abc", u"abc", u"abc"); }},
      {u"(null)", [](auto& t) { FormatString(t, u"%s", static_cast<const char16_t*>(nullptr)); }},
      {u"narrow \u00E9", [](auto& t) { FormatString(t, u"%hs", "narrow \xC3\xA9"); }},
      {u"wide", [](auto& t) { FormatString(t, u"%ls", u"wide"); }},
      {u"100%", [](auto& t) { FormatString(t, u"%d%%", 100); }},
      {u"   7|7   |", [](auto& t) { FormatString(t, u"%*d|%*d|", 4, 7, -4, 7); }},
      {u"ab", [](auto& t) { FormatString(t, u"%.*s", 2, u"abcdef"); }},
      {u"5\\", [](auto& t) { FormatString(t, u"%d\\", 5); }},
      {u"_3", [](auto& t) { FormatString(t, u"_%d", 3); }},
      {u"[Global\\A] 7 WaitSend Time Out!!",
       [](auto& t) { FormatString(t, u"[%s] %d %s", u"Global\\A", 7, u"WaitSend Time Out!!"); }},
      {u"IsRecvWaitId - 2, Session\\1\\B\n",
       [](auto& t) { FormatString(t, u"IsRecvWaitId - %d, %s\n", 2, u"Session\\1\\B"); }},
      {u"{0000ABCD-00EF-0a1b-0102-030405060708}",
       [](auto& t) {
         FormatString(t, u"{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}", uint32_t{0xABCD}, 0xEF,
                      0xA1B, 1, 2, 3, 4, 5, 6, 7, 8);
       }},
      {u"ab", [](auto& t) { FormatString(t, u"ab%cxy", 0); }},  // text ends at the first NUL
  };
  for (const Case& c : cases) {
    std::u16string target = u"old";
    c.format(target);
    EXPECT_EQ(target, c.expected);
  }
}

TEST(FormatString, NullAndMalformedFormatsLeaveTargetUntouched) {
  const char16_t* const malformed[] = {u"%q", u"abc%", u"%n", u"%99999999999d", u"%.99999999999d"};
  for (const char16_t* format : malformed) {
    std::u16string target = u"keep";
    FormatString(target, format, 1);
    EXPECT_EQ(target, u"keep");
    AppendFormatString(target, format, 1);
    EXPECT_EQ(target, u"keep");
  }
  std::u16string target = u"keep";
  FormatString(target, nullptr);
  AppendFormatString(target, nullptr);
  EXPECT_EQ(target, u"keep");
  EXPECT_EQ(detail::LastFormatAttemptCount(), 0);
}

TEST(FormatString, CapacityDoublesUntilTextAndTerminatorFit) {
  struct Case {
    size_t length;
    int attempts;
  };
  const Case cases[] = {{0, 1}, {255, 1}, {256, 2}, {511, 2}, {512, 3}, {4095, 5}, {4096, 6}};
  for (const Case& c : cases) {
    const std::u16string text(c.length, u'x');
    std::u16string target;
    FormatString(target, u"%s", text.c_str());
    EXPECT_EQ(target, text);
    EXPECT_EQ(detail::LastFormatAttemptCount(), c.attempts) << "length " << c.length;
  }
  // Padding counts as text too, and the argument list is read afresh each time.
  std::u16string target;
  FormatString(target, u"%600d|%s", 1, u"end");
  EXPECT_EQ(target.size(), 604u);
  EXPECT_EQ(target.substr(598), u" 1|end");
  EXPECT_EQ(detail::LastFormatAttemptCount(), 3);
}

TEST(AppendFormatString, AppendsAndMayReadItsOwnTarget) {
  std::u16string target = u"ID";
  AppendFormatString(target, u"%02X", 10);
  EXPECT_EQ(target, u"ID0A");
  AppendFormatString(target, u"-%s", target.c_str());
  EXPECT_EQ(target, u"ID0A-ID0A");
}

TEST(ReplaceAll, Cases) {
  struct Case {
    std::u16string text, search, replacement, expected;
  };
  const Case cases[] = {
      {u"aaa", u"aa", u"b", u"ba"},
      {u"aaa", u"a", u"aa", u"aaaaaa"},  // inserted text is not searched again
      {u"x /runAsUser y/runAsUser", u"/runAsUser", u"", u"x  y"},
      {u"a\\nb\\rc", u"\\n", u"\n", u"a\nb\\rc"},
      {u"skin.dat", u".dat", u".skn", u"skin.skn"},
      {u"", u"a", u"b", u""},
      {u"abc", u"", u"x", u"abc"},  // empty search changes nothing
  };
  for (const Case& c : cases) {
    std::u16string text = c.text;
    ReplaceAll(text, c.search, c.replacement);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(ToLowerString, OnlyAsciiLetters) {
  std::u16string text = u"ABC xyz @[`{ \u00C4\u03A9\uFF21";
  ToLowerString(text);
  EXPECT_EQ(text, u"abc xyz @[`{ \u00C4\u03A9\uFF21");
}

TEST(HashString, KnownValues) {
  EXPECT_EQ(HashString(u""), 0u);
  EXPECT_EQ(HashString(u"a"), 177670u);
  EXPECT_EQ(HashString(u"abc"), 193485963u);
  EXPECT_EQ(HashString(u"hello world"), 894552257u);  // wraps modulo 2^32
  EXPECT_EQ(HashString(u"The quick brown fox jumps over the lazy dog"), 885799134u);
}

TEST(CompareNoCase, Cases) {
  EXPECT_EQ(CompareNoCase(u"abc", u"ABC"), 0);
  EXPECT_EQ(CompareNoCase(u"", u""), 0);
  EXPECT_NE(CompareNoCase(u"abc", u"abcd"), 0);
  EXPECT_NE(CompareNoCase(u"abcd", u"abc"), 0);
  EXPECT_LT(CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_NE(CompareNoCase(u"[", u"{"), 0);  // only letters fold
  EXPECT_NE(CompareNoCase(u"\u00C4", u"\u00E4"), 0);
  EXPECT_NE(CompareNoCase(std::u16string_view(u"ab\0c", 4), u"ab"), 0);  // whole strings
}

TEST(CodePage, WideToAnsi) {
  std::string target = "old";
  WideToAnsi(target, u"");
  EXPECT_EQ(target, "");
  WideToAnsi(target, u"h\u00E9llo");
  EXPECT_EQ(target, "h\xC3\xA9llo");
  WideToAnsi(target, std::u16string_view(u"ab\0cd", 5));
  EXPECT_EQ(target, "ab");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  WideToAnsi(target, lone);
  EXPECT_EQ(target, "a?b");
}

TEST(CodePage, Utf8ToWide) {
  std::u16string target = u"old";
  Utf8ToWide(target, "");
  EXPECT_EQ(target, u"");
  Utf8ToWide(target, "h\xC3\xA9llo");
  EXPECT_EQ(target, u"h\u00E9llo");
  Utf8ToWide(target, "a\xFF");
  EXPECT_EQ(target, u"a\uFFFD");
  Utf8ToWide(target, std::string_view("ab\0cd", 5));
  EXPECT_EQ(target, u"ab");
}

}  // namespace
}  // namespace ztn
