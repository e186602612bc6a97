// POSIX backend: may use POSIX and Linux names.
// Events on a futex word in the object's shared header. Set makes a system
// call only when a waiter sleeps; an auto-reset wait consumes the signal with
// a compare-and-swap, so exactly one waiter takes each Set.
#include "platform/event.h"

#include <climits>

#include "platform/posix/futex.h"
#include "platform/posix/kernel_object.h"

namespace ztn::platform {
namespace {

using detail::KernelObject;
using detail::ObjectHeader;

struct EventInit {
  bool manualReset;
  bool initialState;
};

void InitializeEvent(ObjectHeader* header, const void* context) {
  const auto* init = static_cast<const EventInit*>(context);
  header->manualReset = init->manualReset ? 1 : 0;
  header->signaled.store(init->initialState ? 1 : 0, std::memory_order_relaxed);
  header->waiters.store(0, std::memory_order_relaxed);
}

}  // namespace

Result<Event> Event::Create(std::u16string_view name, bool manualReset, bool initialState,
                            const SecurityAttributes* security, bool* existed) {
  EventInit init{manualReset, initialState};
  auto object = name.empty()
                    ? KernelObject::CreateUnnamed(ObjectKind::Event, &InitializeEvent, &init)
                    : KernelObject::Acquire(name, ObjectKind::Event, true, 0, security,
                                            &InitializeEvent, &init, existed);
  if (!object.ok()) return object.error();
  if (name.empty() && existed != nullptr) *existed = false;
  return Event(std::move(object).value());
}

Result<Event> Event::Open(std::u16string_view name) {
  if (name.empty()) return Error{ErrorCode::InvalidParameter, 0};
  auto object = KernelObject::Acquire(name, ObjectKind::Event, false, 0, nullptr, nullptr, nullptr, nullptr);
  if (!object.ok()) return object.error();
  return Event(std::move(object).value());
}

bool Event::Exists(std::u16string_view name) {
  return !name.empty() && KernelObject::Exists(name, ObjectKind::Event);
}

Result<void> Event::Set() {
  if (!object_) return Error{ErrorCode::InvalidHandle, 0};
  ObjectHeader* h = object_->Header();
  h->signaled.store(1, std::memory_order_seq_cst);
  if (h->waiters.load(std::memory_order_seq_cst) != 0) {
    posix::FutexWake(&h->signaled, h->manualReset ? INT_MAX : 1);
  }
  return {};
}

Result<void> Event::Reset() {
  if (!object_) return Error{ErrorCode::InvalidHandle, 0};
  object_->Header()->signaled.store(0, std::memory_order_seq_cst);
  return {};
}

WaitResult Event::Wait(int32_t timeoutMs) {
  if (!object_) return WaitResult::Failed;
  ObjectHeader* h = object_->Header();
  const bool manual = h->manualReset != 0;
  auto take = [&] {
    if (manual) return h->signaled.load(std::memory_order_acquire) == 1;
    uint32_t expected = 1;
    return h->signaled.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
  };
  if (take()) return WaitResult::Signaled;
  if (timeoutMs == 0) return WaitResult::Timeout;
  const auto deadline = posix::Deadline::After(timeoutMs);
  for (;;) {
    h->waiters.fetch_add(1, std::memory_order_seq_cst);
    int err = posix::FutexWait(&h->signaled, 0, deadline);
    h->waiters.fetch_sub(1, std::memory_order_seq_cst);
    if (take()) return WaitResult::Signaled;
    if (err == ETIMEDOUT || deadline.Passed()) return WaitResult::Timeout;
  }
}

}  // namespace ztn::platform
