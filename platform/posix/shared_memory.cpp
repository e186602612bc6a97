// POSIX backend: may use POSIX and Linux names.
// Shared memory: the object file's data area, after its header page. A view
// holds its own reference to the object, so the object outlives a closed
// handle while any view of it is mapped.
#include "platform/shared_memory.h"

#include "platform/posix/kernel_object.h"

namespace ztn::platform {

using detail::KernelObject;

Result<SharedMemory> SharedMemory::Create(std::u16string_view name, uint64_t size,
                                          const SecurityAttributes* security, bool* existed) {
  if (size == 0) return Error{ErrorCode::InvalidParameter, 0};
  if (name.empty()) return Error{ErrorCode::InvalidParameter, 0};
  auto object = KernelObject::Acquire(name, ObjectKind::SharedMemory, true, size, security,
                                      nullptr, nullptr, existed);
  if (!object.ok()) return object.error();
  return SharedMemory(std::move(object).value());
}

Result<SharedMemory> SharedMemory::Open(std::u16string_view name) {
  if (name.empty()) return Error{ErrorCode::InvalidParameter, 0};
  auto object = KernelObject::Acquire(name, ObjectKind::SharedMemory, false, 0, nullptr, nullptr,
                                      nullptr, nullptr);
  if (!object.ok()) return object.error();
  return SharedMemory(std::move(object).value());
}

bool SharedMemory::Exists(std::u16string_view name) {
  return !name.empty() && KernelObject::Exists(name, ObjectKind::SharedMemory);
}

Result<MappedView> SharedMemory::Map(size_t bytes) const {
  if (!object_) return Error{ErrorCode::InvalidHandle, 0};
  size_t length = bytes == 0 ? static_cast<size_t>(object_->DataSize()) : bytes;
  auto data = object_->MapData(length);
  if (!data.ok()) return data.error();
  return MappedView(object_, *data, length);
}

uint64_t SharedMemory::Size() const { return object_ ? object_->DataSize() : 0; }

MappedView::MappedView(MappedView&& other) noexcept
    : object_(std::move(other.object_)), data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Unmap();
    object_ = std::move(other.object_);
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void MappedView::Unmap() {
  // The mapping belongs to the object; a view only holds a reference to it.
  data_ = nullptr;
  size_ = 0;
  object_.reset();
}

}  // namespace ztn::platform
