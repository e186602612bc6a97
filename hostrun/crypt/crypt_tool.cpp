// CryptTool: key preparation, SEED-ECB with the count-byte layout, RC4.
//
// The binary holds only the untransformed key material; each operation
// builds the working key, uses it and wipes it (and the SEED round keys)
// before returning, on success and on failure alike.
#include "hostrun/crypt/crypt_tool.h"

#include <cstring>

#include "hostrun/crypt/rc4.h"
#include "hostrun/crypt/seed.h"

namespace ztn {
namespace {

constexpr size_t kKeyMaterialSize = 24;
constexpr size_t kTransformedPrefix = 16;

constexpr uint8_t kKeyMaterial[kKeyMaterialSize] = {
    0x6B, 0x1F, 0xC4, 0x93, 0x2E, 0x58, 0xA7, 0x0D, 0xF1, 0x3C, 0x86, 0x49,
    0xD2, 0x75, 0xBE, 0x0A, 0x97, 0x64, 0x21, 0xE8, 0x5B, 0xCF, 0x38, 0x12};

inline uint8_t RotateLeft(uint8_t value, unsigned count) {
  count &= 7u;
  if (count == 0) return value;
  return static_cast<uint8_t>((value << count) | (value >> (8u - count)));
}

// Round keys that wipe themselves when the operation ends.
struct SeedRoundKeys {
  uint32_t words[kSeedRoundKeyCount] = {};
  ~SeedRoundKeys() { WipeBytes(words, sizeof(words)); }
};

// A byte array that is wiped before it is freed.
struct WipedArray {
  ByteArray bytes;
  ~WipedArray() { WipeBytes(bytes.data(), bytes.size()); }
};

}  // namespace

CryptTool::CryptTool() { AssignBytes(keyMaterial_, kKeyMaterial, sizeof(kKeyMaterial)); }

CryptTool::~CryptTool() { WipeBytes(keyMaterial_.data(), keyMaterial_.size()); }

void CryptTool::PrepareKey(ByteArray& workingKey) const {
  AssignBytes(workingKey, keyMaterial_.data(), keyMaterial_.size());
  // Each of the first 16 bytes is rotated by an amount and mixed with a
  // value that both depend on its position.
  for (size_t i = 0; i < kTransformedPrefix && i < workingKey.size(); ++i) {
    uint8_t mixed = RotateLeft(workingKey[i], static_cast<unsigned>(i % 7 + 1));
    workingKey[i] = static_cast<uint8_t>(mixed ^ (0x5C + 0x33 * i));
  }
}

bool CryptTool::SeedDecrypt(const ByteArray& input, ByteArray& output) const {
  if (input.empty()) return false;
  const size_t blocks = input.size() / kSeedBlockSize;
  const size_t rest = input.size() % kSeedBlockSize;
  if (blocks == 0 || rest > 1) return false;

  size_t plainLength = input.size();
  size_t offset = 0;
  if (rest == 1) {
    // A count above 16 would announce more bytes than the last block holds.
    const size_t count = input[0];
    if (count > kSeedBlockSize) return false;
    plainLength = kSeedBlockSize * (blocks - 1) + count;
    offset = 1;
  }
  if (plainLength == 0) return false;

  WipedArray key;
  PrepareKey(key.bytes);
  SeedRoundKeys roundKeys;
  SeedKeySchedule(key.bytes.data(), roundKeys.words);

  WipedArray work;
  AssignBytes(work.bytes, input.data(), input.size());
  for (size_t b = 0; b < blocks; ++b) {
    SeedDecryptBlock(roundKeys.words, work.bytes.data() + offset + b * kSeedBlockSize);
  }
  // plainLength <= 16 * blocks, so the copy stays inside the decrypted blocks.
  ResizeZeroed(output, plainLength);
  std::memcpy(output.data(), work.bytes.data() + offset, plainLength);
  return true;
}

bool CryptTool::SeedEncrypt(const ByteArray& input, ByteArray& output) const {
  if (input.empty()) return false;
  const size_t plainLength = input.size();
  const size_t blocks = (plainLength + kSeedBlockSize - 1) / kSeedBlockSize;
  const size_t count = plainLength % kSeedBlockSize;
  const size_t offset = count == 0 ? 0 : 1;

  WipedArray key;
  PrepareKey(key.bytes);
  SeedRoundKeys roundKeys;
  SeedKeySchedule(key.bytes.data(), roundKeys.words);

  ByteArray result(offset + blocks * kSeedBlockSize, uint8_t{0});
  if (offset == 1) result[0] = static_cast<uint8_t>(count);
  std::memcpy(result.data() + offset, input.data(), plainLength);
  for (size_t b = 0; b < blocks; ++b) {
    SeedEncryptBlock(roundKeys.words, result.data() + offset + b * kSeedBlockSize);
  }
  output.swap(result);
  return true;
}

bool CryptTool::Rc4Crypt(const ByteArray& input, ByteArray& output) const {
  if (input.empty()) return false;
  AssignBytes(output, input.data(), input.size());
  WipedArray key;
  PrepareKey(key.bytes);
  Rc4Transform(key.bytes.data(), key.bytes.size(), output.data(), output.size());
  return true;
}

}  // namespace ztn
