#include "support/memory_buffer.h"

#include <cstring>
#include <string_view>

namespace ztn {

MemoryBufferExW::~MemoryBufferExW() { Release(); }

int32_t MemoryBufferExW::CreateNamed(const char16_t* name, uint32_t size, bool zeroFill) {
  if (kind_ != kKindNamed) Release();
  kind_ = kKindNamed;
  if (name == nullptr) return data_ != nullptr ? 1 : 0;
  if (data_ != nullptr) return 1;

  // Open first: only the first process creates the object, the rest share it.
  const std::u16string_view objectName(name);
  auto opened = platform::SharedMemory::Open(objectName);
  if (opened.ok()) {
    mapping_ = std::move(opened).value();
  } else {
    auto created = platform::SharedMemory::Create(objectName, size, LowIntegrityAttributes(security_));
    if (!created.ok()) return 0;
    mapping_ = std::move(created).value();
  }

  // Size 0 maps the whole object, as a view of "0 bytes" does on the original platform.
  auto view = mapping_.Map(size);
  if (!view.ok()) {
    mapping_.Close();
    return 0;
  }
  view_ = std::move(view).value();
  data_ = view_.Data();
  size_ = size;
  if (zeroFill) std::memset(data_, 0, size_);
  return 1;
}

void MemoryBufferExW::Release() {
  view_.Unmap();
  mapping_.Close();
  data_ = nullptr;
  size_ = 0;
  kind_ = kKindEmpty;
}

int32_t MemoryBufferExW::WriteAt(const void* source, uint32_t count, uint32_t offset) {
  if (source == nullptr || data_ == nullptr) return 0;
  // 64-bit sum: offset + count must not wrap past the bounds test.
  if (static_cast<uint64_t>(offset) + count > size_) return 0;
  std::memcpy(static_cast<uint8_t*>(data_) + offset, source, count);
  return 1;
}

}  // namespace ztn
