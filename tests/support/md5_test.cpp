#include "support/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "support/md5_string.h"

namespace ztn {
namespace {

std::string Hex(const uint8_t digest[16]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::string Digest(const std::string& message, size_t chunk) {
  Md5 md5;
  for (size_t i = 0; i < message.size(); i += chunk) {
    md5.Update(message.data() + i, std::min(chunk, message.size() - i));
  }
  uint8_t digest[16];
  md5.Final(digest);
  return Hex(digest);
}

TEST(Md5, Rfc1321TestSuite) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, expected] : suite) {
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}}) {
      EXPECT_EQ(Digest(message, chunk), expected) << '"' << message << "\" in chunks of " << chunk;
    }
  }
}

TEST(Md5, PaddingBoundariesAndLongMessages) {
  const std::pair<size_t, std::string> cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"}, {1000000, "7707d6ae4e027c70eea2a935c2296f21"},
  };
  for (const auto& [length, expected] : cases) {
    EXPECT_EQ(Digest(std::string(length, 'a'), 13), expected) << length;
  }
}

TEST(Md5, FinalStartsANewMessage) {
  Md5 md5;
  uint8_t digest[16];
  md5.Update("junk", 4);
  md5.Final(digest);
  md5.Update("abc", 3);
  md5.Final(digest);
  EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(GetMD5String, UpperCaseHexOfAnsiBytes) {
  std::u16string output = u"previous";
  EXPECT_FALSE(GetMD5String(u"", output));
  EXPECT_EQ(output, u"");

  EXPECT_TRUE(GetMD5String(u"abc", output));
  EXPECT_EQ(output, u"900150983CD24FB0D6963F7D28E17F72");
  // Non-ASCII text is hashed as its ANSI code-page (UTF-8) bytes.
  EXPECT_TRUE(GetMD5String(u"\u00E9", output));
  EXPECT_EQ(output, u"66DDCD97CFDEABB2F6FB8A999B4BC76F");
}

}  // namespace
}  // namespace ztn
