// CryptTool: the key material and the two ciphers that protect the data
// other product components leave for this program.
//
// - SEED in electronic-codebook mode (see seed.h for the byte order), with a
//   one-byte count convention for plain text whose length is not a multiple
//   of 16. Encrypted layout, by total length T (N = whole 16-byte blocks):
//     T % 16 == 0: N ciphertext blocks; plain length 16 * N.
//     T % 16 == 1: one count byte B (1 to 16), then N ciphertext blocks;
//                  plain length 16 * (N - 1) + B. The filler after the plain
//                  bytes of the last block is ignored.
//     otherwise:   not valid.
// - RC4 over the whole buffer with a 24-byte key; the same call encrypts and
//   decrypts.
//
// The key material is 24 fixed bytes. The working key is built for each
// operation: a copy of the material whose first 16 bytes are transformed by
// position. SEED uses the first 16 working-key bytes, RC4 all 24. Both the
// material and the transformation are a contract with every component that
// produces or reads this data: never change them.
//
// A CryptTool never changes after construction, so one object may serve
// several threads at once. Operations keep no state between calls and wipe
// their working keys before returning.
#pragma once

#include "hostrun/crypt/byte_array.h"

namespace ztn {

class CryptTool {
 public:
  CryptTool();
  virtual ~CryptTool();
  CryptTool(const CryptTool&) = default;
  CryptTool& operator=(const CryptTool&) = default;

  // Decrypts the layout above into `output`. Fails (false, output untouched)
  // for empty input, fewer than 16 bytes, a length whose remainder modulo 16
  // is neither 0 nor 1, and a count byte of 0 or above 16. On success the
  // output holds exactly the plain bytes. Input and output may be the same
  // array.
  bool SeedDecrypt(const ByteArray& input, ByteArray& output) const;

  // The encrypting side of SeedDecrypt, for the components that produce the
  // data: plain text whose length is a multiple of 16 becomes bare blocks;
  // any other length gets the leading count byte and a last block filled up
  // with zero bytes. Fails (false, output untouched) for empty input, which
  // no layout can carry. SeedDecrypt(SeedEncrypt(x)) == x for every
  // non-empty x. Input and output may be the same array.
  bool SeedEncrypt(const ByteArray& input, ByteArray& output) const;

  // RC4 of `input` into `output` (replaced, same length as the input).
  // Fails (false, output untouched) only for empty input. Applying it twice
  // gives the input back. Input and output may be the same array.
  bool Rc4Crypt(const ByteArray& input, ByteArray& output) const;

 private:
  friend struct CryptToolTestAccess;  // lets tests compare with the raw ciphers

  // Replaces `workingKey` with the 24 prepared bytes.
  void PrepareKey(ByteArray& workingKey) const;

  ByteArray keyMaterial_;
};

}  // namespace ztn
