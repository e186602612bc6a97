// StringCryptToolW: hexadecimal text <-> SEED ciphertext <-> UTF-8 text.
#include "hostrun/crypt/string_crypt_tool.h"

#include <optional>

#include "hostrun/crypt/crypt_tool.h"
#include "platform/code_page.h"
#include "support/string_util.h"

namespace ztn {
namespace {

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// UTF-16 to UTF-8 that refuses what would not come back unchanged: unpaired
// surrogates (UTF-8 cannot carry them) and U+0000 (it ends the plain text).
std::optional<std::string> EncodeUtf8Exactly(std::u16string_view text) {
  if (text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return platform::WideToUtf8Exact(text);
}

}  // namespace

bool StringCryptToolW::DecryptString(std::u16string_view text, std::u16string& output) const {
  const size_t count = text.size() / 2;  // a final odd character is ignored
  ByteArray cipher;
  ResizeZeroed(cipher, count);  // stays empty for count 0
  for (size_t i = 0; i < count; ++i) {
    int high = HexDigitValue(text[2 * i]);
    int low = HexDigitValue(text[2 * i + 1]);
    // A character that is no digit means a damaged text: refuse it rather
    // than decrypt made-up bytes into a text that looks valid.
    if (high < 0 || low < 0) return false;
    cipher[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return DecryptBytes(cipher, output);
}

bool StringCryptToolW::DecryptBytes(const ByteArray& cipher, std::u16string& output) const {
  ByteArray plain;
  if (!CryptTool().SeedDecrypt(cipher, plain)) return false;
  std::string narrow = BytesToString(plain);
  if (!narrow.empty()) Utf8ToWide(output, narrow);
  return true;
}

bool StringCryptToolW::EncryptBytes(std::u16string_view text, ByteArray& cipher) const {
  std::optional<std::string> utf8 = EncodeUtf8Exactly(text);
  if (!utf8 || utf8->empty()) return false;
  ByteArray plain;
  AssignBytes(plain, utf8->data(), utf8->size());
  return CryptTool().SeedEncrypt(plain, cipher);
}

bool StringCryptToolW::EncryptString(std::u16string_view text, std::u16string& output) const {
  ByteArray cipher;
  if (!EncryptBytes(text, cipher)) return false;
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  hex.reserve(cipher.size() * 2);
  for (uint8_t b : cipher) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  output.swap(hex);
  return true;
}

}  // namespace ztn
