#include "hostrun/crypt/byte_array.h"

#include <algorithm>
#include <cstring>

namespace ztn {

bool AssignBytes(ByteArray& array, const void* data, size_t count) {
  if (data == nullptr || count == 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (array.size() == count) {
    // memmove: the source may be the array itself or overlap it.
    std::memmove(array.data(), bytes, count);
    return true;
  }
  // Build the new content before releasing the old one, so that a source
  // inside the array stays valid while it is read.
  ByteArray fresh(bytes, bytes + count);
  array.swap(fresh);
  return true;
}

bool ResizeZeroed(ByteArray& array, size_t count) {
  if (count == 0) return false;
  if (array.size() == count) {
    std::fill(array.begin(), array.end(), uint8_t{0});
  } else {
    ByteArray fresh(count, uint8_t{0});
    array.swap(fresh);
  }
  return true;
}

std::string BytesToString(const ByteArray& array) {
  auto end = std::find(array.begin(), array.end(), uint8_t{0});
  return std::string(array.begin(), end);
}

void WipeBytes(void* data, size_t size) {
  volatile auto* bytes = static_cast<volatile uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace ztn
