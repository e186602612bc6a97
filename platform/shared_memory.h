// Named shared memory and views of it.
//
// A new object is zero-filled. Views of one object in several processes see
// each other's writes; the memory carries no synchronisation of its own.
// Lifetime: the object exists while a handle or a view of it is open in any
// process (a view keeps the object alive after its handle is closed) and is
// gone when the last one closes or its last holder dies; a later create makes a
// fresh, zero-filled object.
// Thread and process safety: handles and views may be used from any thread;
// do not Close or Unmap one while another thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/kernel_object.h"
#include "platform/security.h"

namespace ztn::platform {

class MappedView;

class SharedMemory {
 public:
  SharedMemory() = default;  // no object
  SharedMemory(SharedMemory&&) noexcept = default;
  SharedMemory& operator=(SharedMemory&&) noexcept = default;
  ~SharedMemory() = default;

  // Creates an object of `size` bytes (size > 0), or opens it when it already
  // exists: then *existed is set and the object keeps its own size.
  // Errors as for Event::Create; InvalidParameter for size 0.
  static Result<SharedMemory> Create(std::u16string_view name, uint64_t size,
                                     const SecurityAttributes* security = nullptr,
                                     bool* existed = nullptr);

  // Opens an existing object. FileNotFound when there is none.
  static Result<SharedMemory> Open(std::u16string_view name);

  // True when Open would find shared memory of this name now. Takes no share
  // in the object's life and never blocks: the cheap form of open-then-close.
  static bool Exists(std::u16string_view name);

  // Maps `bytes` bytes from the start (0 = the whole object). Asking for more
  // than the object holds fails with AccessDenied.
  Result<MappedView> Map(size_t bytes = 0) const;

  uint64_t Size() const;
  bool IsValid() const { return object_ != nullptr; }
  void Close() { object_.reset(); }

 private:
  explicit SharedMemory(detail::KernelObjectRef object) : object_(std::move(object)) {}
  detail::KernelObjectRef object_;
};

class MappedView {
 public:
  MappedView() = default;
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  ~MappedView() { Unmap(); }
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  void* Data() const { return data_; }
  size_t Size() const { return size_; }
  bool IsValid() const { return data_ != nullptr; }
  void Unmap();

 private:
  friend class SharedMemory;
  MappedView(detail::KernelObjectRef object, void* data, size_t size)
      : object_(std::move(object)), data_(data), size_(size) {}
  detail::KernelObjectRef object_;
  void* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace ztn::platform
