#include "hostrun/crypt/rc4.h"

#include <utility>

#include "hostrun/crypt/byte_array.h"

namespace ztn {

void Rc4Transform(const uint8_t* key, size_t keyLength, uint8_t* data, size_t size) {
  if (key == nullptr || keyLength == 0) return;
  uint8_t s[256];
  for (unsigned i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (unsigned i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % keyLength]);
    std::swap(s[i], s[j]);
  }
  uint8_t i = 0;
  j = 0;
  for (size_t n = 0; n < size; ++n) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + s[i]);
    std::swap(s[i], s[j]);
    data[n] ^= s[static_cast<uint8_t>(s[i] + s[j])];
  }
  WipeBytes(s, sizeof(s));  // the state reveals the key
}

}  // namespace ztn
