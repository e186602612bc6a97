// POSIX backend: may use POSIX and Linux names.
// The shared state of a kernel object and the file that carries it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/kernel_object.h"
#include "platform/object_name.h"
#include "platform/security.h"

namespace ztn::platform::detail {

inline constexpr uint32_t kObjectMagic = 0x4F4E545Au;  // "ZTNO"

// The first page of every object file. Shared memory data follows at the
// next page boundary.
struct ObjectHeader {
  std::atomic<uint32_t> magic;
  uint32_t kind;
  uint64_t dataSize;  // shared memory: usable bytes
  // Events: the futex word (1 = signalled) and the number of sleepers, so
  // that Set makes a system call only when someone sleeps.
  std::atomic<uint32_t> signaled;
  std::atomic<uint32_t> waiters;
  uint32_t manualReset;
  uint32_t reserved;
  // Mutexes: a robust, process-shared mutex; recursion is counted per thread
  // in the process that owns it.
  pthread_mutex_t mutex;
};

class KernelObject {
 public:
  // Creates (create = true) or opens the named object of `kind`. `initialize`
  // fills the header of a fresh object while the object's gate is held, so
  // nobody sees it half-built.
  using Initializer = void (*)(ObjectHeader* header, const void* context);
  static Result<KernelObjectRef> Acquire(std::u16string_view name, ObjectKind kind, bool create,
                                         uint64_t dataSize, const SecurityAttributes* security,
                                         Initializer initialize, const void* context,
                                         bool* existed);

  // True when an object of `kind` is alive under `name` (someone holds it).
  static bool Exists(std::u16string_view name, ObjectKind kind);

  // An object private to this process (unnamed event or mutex).
  static Result<KernelObjectRef> CreateUnnamed(ObjectKind kind, Initializer initialize,
                                               const void* context);

  ~KernelObject();
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;

  ObjectHeader* Header() const { return header_; }
  ObjectKind Kind() const { return kind_; }
  uint64_t DataSize() const { return header_->dataSize; }
  // The object's data (shared memory only), mapped once for the life of the
  // handle; `bytes` must not exceed its size (AccessDenied).
  Result<void*> MapData(size_t bytes) const;

  // Keeps the header mapped past the object's close: a mutex closed by its
  // owning thread stays owned (and is abandoned at that thread's end), and
  // the kernel's robust list may still point into this page.
  void LeakHeaderOnClose() { leakHeader_ = true; }

 private:
  KernelObject() = default;
  friend class ObjectCache;
  void Destroy();

  int fd_ = -1;
  std::string path_;
  ObjectKind kind_ = ObjectKind::Event;
  ObjectHeader* header_ = nullptr;
  void* data_ = nullptr;
  size_t dataLength_ = 0;
  bool leakHeader_ = false;
};


size_t ObjectHeaderSize();

}  // namespace ztn::platform::detail
