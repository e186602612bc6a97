// Mutexes: named or unnamed, owned by a thread, recursive for their owner.
//
// A thread that owns the mutex may wait on it again without blocking and must
// Release once per satisfied wait. Release by a thread that does not own it
// fails with NotOwner. When the owning thread or process ends while holding
// it, the mutex is abandoned: the next waiter gets ownership with the result
// Abandoned, after which it behaves normally.
// Lifetime: as for events; a named mutex exists while a handle to it is open
// in any process, and is gone when the last one closes or its holder dies.
// Thread and process safety: any thread of any process holding a handle may
// Wait and Release at the same time; do not Close a handle another thread uses.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/kernel_object.h"
#include "platform/security.h"
#include "platform/wait.h"

namespace ztn::platform {

class Mutex {
 public:
  Mutex() = default;  // no object
  Mutex(Mutex&&) noexcept = default;
  Mutex& operator=(Mutex&& other) noexcept {
    if (this != &other) {
      Close();
      object_ = std::move(other.object_);
    }
    return *this;
  }
  ~Mutex();

  // Creates the mutex, or opens it when it already exists: then *existed is
  // set and initialOwner is ignored (the caller does not become the owner).
  // Errors as for Event::Create.
  static Result<Mutex> Create(std::u16string_view name, bool initialOwner,
                              const SecurityAttributes* security = nullptr,
                              bool* existed = nullptr);

  // Opens an existing mutex. FileNotFound when there is none.
  static Result<Mutex> Open(std::u16string_view name);

  // Blocks until the calling thread owns the mutex or timeoutMs passes.
  // Returns Signaled, Abandoned, Timeout or Failed.
  WaitResult Wait(int32_t timeoutMs);

  // Never blocks. NotOwner when the calling thread does not own the mutex.
  Result<void> Release();

  bool IsValid() const { return object_ != nullptr; }
  void Close();

 private:
  explicit Mutex(detail::KernelObjectRef object) : object_(std::move(object)) {}
  detail::KernelObjectRef object_;
};

}  // namespace ztn::platform
