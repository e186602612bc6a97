#include "hostrun/crypt/string_crypt_tool.h"

#include <gtest/gtest.h>

#include "hostrun/crypt/crypt_tool.h"

namespace ztn {
namespace {

std::u16string ToHex(const ByteArray& bytes, bool upper = true) {
  const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string text;
  for (uint8_t b : bytes) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text;
}

// Encrypted string whose plain bytes are exactly `plain`.
std::u16string EncryptedOf(const ByteArray& plain) {
  ByteArray cipher;
  EXPECT_TRUE(CryptTool().SeedEncrypt(plain, cipher));
  return ToHex(cipher);
}

ByteArray Utf8(const char* text) {
  return ByteArray(reinterpret_cast<const uint8_t*>(text),
                   reinterpret_cast<const uint8_t*>(text) + std::char_traits<char>::length(text));
}

TEST(StringCryptTool, RoundTripsTexts) {
  const std::u16string texts[] = {
      u"a",
      u"C:\\Program Files\\Ztn",            // 20 bytes: count byte
      u"0123456789abcdef",                  // exactly one block
      u"0123456789abcdef0123456789abcdef",  // two blocks
      u"\uD55C\uAE00 \u30C6\u30B9\u30C8",  // Korean and Japanese
      u"emoji \U0001F600 end",              // a surrogate pair
      std::u16string(1000, u'x'),
  };
  StringCryptToolW tool;
  for (const auto& text : texts) {
    std::u16string encrypted, decrypted;
    ASSERT_TRUE(tool.EncryptString(text, encrypted));
    EXPECT_TRUE(encrypted.size() % 32 == 0 || encrypted.size() % 32 == 2);
    for (char16_t c : encrypted) {
      EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    }
    ASSERT_TRUE(tool.DecryptString(encrypted, decrypted));
    EXPECT_EQ(decrypted, text);
  }
}

// Data produced by other components must keep decrypting: this text was
// encrypted independently (another SEED implementation, the documented key
// preparation) and pins the key material and the layout.
TEST(StringCryptTool, DecryptsAnIndependentlyMadeString) {
  const std::u16string encrypted =
      u"0BCBC76B8A07B12C1219922ABDD13C8B2779D2EA0ADB7B32D1FBC2489B7E2E45EE";
  const std::u16string text = u"C:\\Program Files\\Ztn\\\uD55C\uAE00";
  std::u16string out;
  ASSERT_TRUE(StringCryptToolW().DecryptString(encrypted, out));
  EXPECT_EQ(out, text);
  std::u16string again;
  ASSERT_TRUE(StringCryptToolW().EncryptString(text, again));
  EXPECT_EQ(again, encrypted);
}

TEST(StringCryptTool, DigitCaseAndOddTail) {
  ByteArray cipher;
  ASSERT_TRUE(StringCryptToolW().EncryptBytes(u"Folder\\Sub", cipher));
  const std::u16string upper = ToHex(cipher, true), lower = ToHex(cipher, false);
  ASSERT_NE(upper, lower);
  std::u16string a, b, c;
  ASSERT_TRUE(StringCryptToolW().DecryptString(upper, a));
  ASSERT_TRUE(StringCryptToolW().DecryptString(lower, b));
  ASSERT_TRUE(StringCryptToolW().DecryptString(upper + u"7", c));  // odd tail ignored
  EXPECT_EQ(a, u"Folder\\Sub");
  EXPECT_EQ(b, a);
  EXPECT_EQ(c, a);
  // 33 characters act like their first 32.
  const std::u16string bare = EncryptedOf(Utf8("sixteen bytes!!!"));
  ASSERT_EQ(bare.size(), 32u);
  std::u16string d;
  ASSERT_TRUE(StringCryptToolW().DecryptString(bare + u"Z", d));
  EXPECT_EQ(d, u"sixteen bytes!!!");
}

TEST(StringCryptTool, PlainTextEndsAtTheFirstZeroByte) {
  ByteArray plain = Utf8("abc");
  plain.push_back(0);
  plain.push_back('x');
  plain.push_back('y');
  std::u16string out = u"old";
  ASSERT_TRUE(StringCryptToolW().DecryptString(EncryptedOf(plain), out));
  EXPECT_EQ(out, u"abc");

  // An empty plain text succeeds and keeps the previous output.
  out = u"previous";
  ASSERT_TRUE(StringCryptToolW().DecryptString(EncryptedOf(ByteArray{0, 'q', 'r'}), out));
  EXPECT_EQ(out, u"previous");
}

TEST(StringCryptTool, Utf8BecomesWideText) {
  std::u16string out;
  ASSERT_TRUE(StringCryptToolW().DecryptString(EncryptedOf(Utf8("\xED\x95\x9C \xF0\x9F\x98\x80")), out));
  EXPECT_EQ(out, u"\uD55C \U0001F600");
}

TEST(StringCryptTool, MalformedTextFailsAndLeavesOutput) {
  const std::u16string bare = EncryptedOf(Utf8("0123456789abcdef0123456789abcdef"));  // 64 chars
  const std::u16string counted = EncryptedOf(Utf8("0123456789abcdef0123"));        // 66 chars
  ASSERT_EQ(bare.size(), 64u);
  ASSERT_EQ(counted.size(), 66u);
  std::u16string badPair = bare;
  badPair[10] = u'G';
  std::u16string signedPair = bare;
  signedPair[0] = u'+';
  std::u16string spacePair = bare;
  spacePair[0] = u' ';
  std::u16string nonAscii = bare;
  nonAscii[5] = u'\uFF11';  // fullwidth digit one

  struct Case {
    const char* what;
    std::u16string text;
  };
  const Case cases[] = {
      {"empty", u""},
      {"one character", u"A"},
      {"30 digits", bare.substr(0, 30)},
      {"31 digits", bare.substr(0, 31)},
      {"36 digits (18 bytes)", bare.substr(0, 36)},
      {"62 digits (31 bytes)", bare.substr(0, 62)},
      {"count byte, truncated by 2 bytes", counted.substr(0, 62)},
      {"count byte 0, one block", u"00" + bare.substr(0, 32)},
      {"count byte 17, one block", u"11" + bare.substr(0, 32)},
      {"count byte FF, two blocks", u"FF" + bare},
      {"letter G in a pair", badPair},
      {"sign in a pair", signedPair},
      {"blank in a pair", spacePair},
      {"non-ASCII digit", nonAscii},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string out = u"unchanged";
    EXPECT_FALSE(StringCryptToolW().DecryptString(c.text, out));
    EXPECT_EQ(out, u"unchanged");
  }
}

TEST(StringCryptTool, DecryptBytesFailsLikeSeedDecrypt) {
  std::u16string out = u"unchanged";
  EXPECT_FALSE(StringCryptToolW().DecryptBytes(ByteArray{}, out));
  EXPECT_FALSE(StringCryptToolW().DecryptBytes(ByteArray(17, 0), out));  // count byte 0
  EXPECT_EQ(out, u"unchanged");
}

TEST(StringCryptTool, EncryptRefusesTextsThatCannotComeBack) {
  struct Case {
    const char* what;
    std::u16string text;
  };
  const Case cases[] = {
      {"empty", u""},
      {"NUL inside", std::u16string(u"ab\0cd", 5)},
      {"lone high surrogate at the end", u"ab\xD83D"},
      {"lone high surrogate before a letter", u"\xD83Dx"},
      {"lone low surrogate", u"x\xDE00y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string out = u"unchanged";
    EXPECT_FALSE(StringCryptToolW().EncryptString(c.text, out));
    EXPECT_EQ(out, u"unchanged");
    ByteArray bytes{7};
    EXPECT_FALSE(StringCryptToolW().EncryptBytes(c.text, bytes));
    EXPECT_EQ(bytes, ByteArray{7});
  }
}

}  // namespace
}  // namespace ztn
