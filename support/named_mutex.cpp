#include "support/named_mutex.h"

#include "support/security_block.h"

namespace ztn {

bool NamedMutex::Create(std::u16string_view name) {
  if (state_ != State::NotCreated) return IsUsable();
  name_.assign(name);
  SecurityBlock security;  // only needed while the object is created
  auto mutex = platform::Mutex::Create(name, false, LowIntegrityAttributes(security));
  if (!mutex.ok()) {
    state_ = State::Failed;
    return false;
  }
  handle_ = std::move(mutex).value();
  state_ = State::Usable;
  return true;
}

platform::WaitResult NamedMutex::Lock(int32_t timeoutMs) {
  if (!IsUsable()) return platform::WaitResult::Failed;
  return handle_.Wait(timeoutMs);
}

bool NamedMutex::Unlock() { return IsUsable() && handle_.Release().ok(); }

void NamedMutex::Close() {
  if (IsUsable()) handle_.Close();
  state_ = State::NotCreated;
}

}  // namespace ztn
