// NamedMutex: a cross-process mutex kept together with its name.
//
// States: not created (the initial state, and again after Close), failed
// (Create could not make or open it), usable. Only the not-created state
// creates; a failed mutex stays unusable until Close. With an unusable mutex
// Lock and Unlock do nothing and the caller goes on unlocked.
// The kernel object lives while any process holds a handle to it; the mutex
// is owned by a thread and recursive for it (platform::Mutex).
// Not synchronised: the owner serialises Create and Close; Lock and Unlock
// may run on any thread once the mutex is created.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/wait.h"

namespace ztn {

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex() { Close(); }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // In the not-created state: creates the mutex (not owned) with the
  // attributes of LowIntegrityAttributes, or opens it when another process
  // created it first, and keeps `name`. Returns whether the mutex is usable
  // afterwards. Never blocks beyond short internal locks.
  bool Create(std::u16string_view name);

  // Waits up to timeoutMs (platform::kInfinite: no limit) for ownership.
  // Returns Signaled, Abandoned (owned; the previous owner died holding it),
  // Timeout, or Failed when the mutex is unusable (nothing was waited for).
  platform::WaitResult Lock(int32_t timeoutMs);

  // Releases one ownership. False when unusable or not owned by this thread.
  bool Unlock();

  // Closes the handle and returns to the not-created state.
  void Close();

  bool IsUsable() const { return state_ == State::Usable; }
  bool CreationFailed() const { return state_ == State::Failed; }
  const std::u16string& Name() const { return name_; }

 private:
  enum class State { NotCreated, Failed, Usable };
  platform::Mutex handle_;
  std::u16string name_;
  State state_ = State::NotCreated;
};

}  // namespace ztn
