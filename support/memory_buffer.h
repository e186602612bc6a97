// MemoryBufferExW: a view of a named shared memory object.
//
// CreateNamed opens the named object, or creates it (with the attributes of
// LowIntegrityAttributes) when it is missing, and maps `size` bytes of it. The
// object lives while any process holds a handle or view of it; a buffer holds
// both until Release or destruction.
// Not synchronised: the owner serialises calls. The memory itself is shared
// with other processes without any lock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_memory.h"
#include "support/security_block.h"

namespace ztn {

class MemoryBufferExW {
 public:
  static constexpr int32_t kKindEmpty = 1;
  static constexpr int32_t kKindNamed = 3;

  MemoryBufferExW() = default;
  virtual ~MemoryBufferExW();
  MemoryBufferExW(const MemoryBufferExW&) = delete;
  MemoryBufferExW& operator=(const MemoryBufferExW&) = delete;

  // Opens or creates the named object and maps its first `size` bytes.
  // Returns 1 on success, 0 on failure (including an existing object smaller
  // than `size`). With a null name: 1 when the buffer already holds a view.
  // When the buffer already holds a view it keeps it and returns 1; name and
  // size are not compared. With zeroFill all `size` bytes are cleared, also
  // for the other processes that map an existing object. Never blocks beyond
  // short internal locks.
  int32_t CreateNamed(const char16_t* name, uint32_t size, bool zeroFill);
  int32_t CreateNamed(const std::u16string& name, uint32_t size, bool zeroFill) {
    return CreateNamed(name.c_str(), size, zeroFill);
  }

  // Unmaps and closes what the buffer holds; the buffer is empty afterwards.
  void Release();

  // Copies `count` bytes to data + offset. Returns 1 when copied, 0 (copying
  // nothing) when source or the view is missing or offset + count > size.
  int32_t WriteAt(const void* source, uint32_t count, uint32_t offset);

  void* Data() const { return data_; }
  uint32_t Size() const { return size_; }
  int32_t Kind() const { return kind_; }

 private:
  platform::SharedMemory mapping_;
  platform::MappedView view_;
  void* data_ = nullptr;
  uint32_t size_ = 0;
  int32_t kind_ = kKindEmpty;
  SecurityBlock security_;
};

}  // namespace ztn
