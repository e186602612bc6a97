// StringCryptToolW: text values protected with CryptTool's SEED layout and
// written out as hexadecimal text.
//
// Encrypted-string format: a wide string of hexadecimal digits, two per
// byte, first byte first, no separators, prefix or terminator; "0"-"9",
// "A"-"F" and "a"-"f" alike. The bytes are CryptTool's SEED layout (so a
// well-formed string has 32 * N or 32 * N + 2 characters), and the plain
// bytes are UTF-8 text that ends at the first zero byte or at their end.
//
// The object has no state; create it as a local. Safe from any thread.
#pragma once

#include <string>
#include <string_view>

#include "hostrun/crypt/byte_array.h"

namespace ztn {

class StringCryptToolW {
 public:
  StringCryptToolW() = default;
  virtual ~StringCryptToolW() = default;

  // Decrypts an encrypted string into `output`. A final odd character is
  // ignored. Returns false, output untouched, when a character of the used
  // digit pairs is not a hexadecimal digit or when the bytes fail
  // CryptTool::SeedDecrypt (empty text, fewer than 32 digits, a bad length,
  // a bad count byte). Otherwise as DecryptBytes.
  bool DecryptString(std::u16string_view text, std::u16string& output) const;

  // Decrypts ciphertext bytes and reads the plain bytes up to the first zero
  // byte as UTF-8. Returns false, output untouched, when SeedDecrypt fails.
  // Returns true otherwise; the output is then replaced with the text, except
  // that an empty text (plain bytes beginning with a zero byte) leaves the
  // output as it was: clear it first when an empty result must show.
  bool DecryptBytes(const ByteArray& cipher, std::u16string& output) const;

  // The encrypting side, for the components that produce such strings:
  // encodes `text` as UTF-8, encrypts it with CryptTool::SeedEncrypt and
  // writes the bytes as upper-case hexadecimal digits into `output`.
  // DecryptString(EncryptString(t)) gives t back exactly. Returns false,
  // output untouched, for a text that cannot come back exactly: empty, or
  // holding U+0000 or an unpaired surrogate. (Store an empty string to mean
  // "no text": it never decrypts.)
  bool EncryptString(std::u16string_view text, std::u16string& output) const;

  // As EncryptString, but gives the ciphertext bytes.
  bool EncryptBytes(std::u16string_view text, ByteArray& cipher) const;
};

}  // namespace ztn
