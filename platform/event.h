// Events: named or unnamed, auto-reset or manual-reset.
//
// An auto-reset event stays signalled until exactly one wait consumes it; one
// Set releases at most one waiter, and setting a set event changes nothing.
// A manual-reset event stays signalled, releasing every waiter, until Reset.
// Lifetime: a named event exists while a handle to it is open in any process
// and is gone when the last one closes or its last holder dies. An unnamed
// event (empty name) belongs to this process alone.
// Thread and process safety: any thread of any process holding a handle may
// Set, Reset and Wait at the same time. A handle object itself is not
// synchronised: do not Close it while another thread uses it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/kernel_object.h"
#include "platform/security.h"
#include "platform/wait.h"

namespace ztn::platform {

class Event {
 public:
  Event() = default;  // no object
  Event(Event&&) noexcept = default;
  Event& operator=(Event&&) noexcept = default;
  ~Event() = default;

  // Creates the event, or opens it when it already exists: then *existed is
  // set, and manualReset and initialState are ignored. Errors: InvalidHandle
  // when the name belongs to another kind of object; PathNotFound, NameTooLong
  // for bad names. Does not block beyond short internal locks.
  static Result<Event> Create(std::u16string_view name, bool manualReset, bool initialState,
                              const SecurityAttributes* security = nullptr,
                              bool* existed = nullptr);

  // Opens an existing event. FileNotFound when there is none.
  static Result<Event> Open(std::u16string_view name);

  // True when Open would find an event of this name now. Takes no share in
  // the event's life and never blocks: the cheap form of open-then-close.
  static bool Exists(std::u16string_view name);

  // Never block. Fail with InvalidHandle on an empty handle.
  Result<void> Set();
  Result<void> Reset();

  // Blocks until signalled or timeoutMs passes. Returns Signaled, Timeout or
  // Failed (empty handle).
  WaitResult Wait(int32_t timeoutMs);

  bool IsValid() const { return object_ != nullptr; }
  void Close() { object_.reset(); }

 private:
  explicit Event(detail::KernelObjectRef object) : object_(std::move(object)) {}
  detail::KernelObjectRef object_;
};

}  // namespace ztn::platform
