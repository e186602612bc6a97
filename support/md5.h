// MD5 message digest (RFC 1321): init on construction, Update any number of
// times, Final once. Final resets the object, so it can hash the next message.
// Not synchronised: one object per thread. Never blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztn {

class Md5 {
 public:
  Md5() { Reset(); }

  // Adds `size` bytes to the message. `data` may be null when size is 0.
  void Update(const void* data, size_t size);

  // Writes the 16 digest bytes in RFC 1321 order, then starts a new message.
  void Final(uint8_t digest[16]);

 private:
  void Reset();
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t byteCount_;
  uint8_t buffer_[64];
};

}  // namespace ztn
