// The control registry: every registration of this process, by identity.
//
// Lookups hand out a lease that keeps the control alive and counted until
// the export call returns. UnInitialize first removes the control, so that no
// new lease is given out, then tears it down and waits until every lease has
// ended before it destroys the control. So export calls on other threads may
// race with Initialize and UnInitialize without ever touching a destroyed
// control. The registry is never destroyed (controls still registered at
// process end are neither torn down nor destroyed).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "linkmod/linkmod_control.h"

namespace ztn::linkmod {

class ControlLease {
 public:
  ControlLease() = default;
  explicit ControlLease(std::shared_ptr<LinkmodControl> control);
  ~ControlLease();
  ControlLease(ControlLease&& other) noexcept = default;
  ControlLease& operator=(ControlLease&&) = delete;
  ControlLease(const ControlLease&) = delete;
  ControlLease& operator=(const ControlLease&) = delete;

  LinkmodControl* operator->() const { return control_.get(); }
  explicit operator bool() const { return control_ != nullptr; }

 private:
  std::shared_ptr<LinkmodControl> control_;
};

class ControlRegistry {
 public:
  static ControlRegistry& Instance();

  // The initialised flag: 1 from a successful Initialize until an
  // UnInitialize leaves the registry empty.
  int32_t Initialised() const { return initialised_.load(); }

  // Files a control under its identity and sets the flag. An identity that is
  // already registered keeps its control (false).
  bool Insert(const std::u16string& identity, std::shared_ptr<LinkmodControl> control);

  // The registered control for an exact identity while the flag is set;
  // empty otherwise.
  ControlLease Find(const char16_t* identity);

  // Removes the control; clears the flag when none is left. The control is
  // returned for teardown (null when the identity was not registered).
  std::shared_ptr<LinkmodControl> Remove(const char16_t* identity);

  size_t Count();

 private:
  ControlRegistry() = default;
  std::mutex lock_;
  std::map<std::u16string, std::shared_ptr<LinkmodControl>> controls_;
  std::atomic<int32_t> initialised_{0};
};

// Waits until no lease on the control is left.
void WaitForLeases(LinkmodControl& control);

}  // namespace ztn::linkmod
