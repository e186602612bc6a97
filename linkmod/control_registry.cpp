#include "linkmod/control_registry.h"

namespace ztn::linkmod {

ControlLease::ControlLease(std::shared_ptr<LinkmodControl> control)
    : control_(std::move(control)) {}

ControlLease::~ControlLease() {
  if (!control_) return;
  if (--control_->activeCalls == 0) control_->activeCalls.notify_all();
}

ControlRegistry& ControlRegistry::Instance() {
  // Never destroyed: a receive thread may still run at process end.
  static ControlRegistry* registry = new ControlRegistry;
  return *registry;
}

bool ControlRegistry::Insert(const std::u16string& identity,
                             std::shared_ptr<LinkmodControl> control) {
  std::lock_guard<std::mutex> guard(lock_);
  const bool inserted = controls_.emplace(identity, std::move(control)).second;
  initialised_ = 1;
  return inserted;
}

ControlLease ControlRegistry::Find(const char16_t* identity) {
  if (identity == nullptr || initialised_ == 0) return ControlLease();
  std::u16string key(identity);
  std::lock_guard<std::mutex> guard(lock_);
  auto it = controls_.find(key);
  if (it == controls_.end()) return ControlLease();
  ++it->second->activeCalls;
  return ControlLease(it->second);
}

std::shared_ptr<LinkmodControl> ControlRegistry::Remove(const char16_t* identity) {
  std::shared_ptr<LinkmodControl> control;
  std::lock_guard<std::mutex> guard(lock_);
  if (identity != nullptr) {
    auto it = controls_.find(std::u16string(identity));
    if (it != controls_.end()) {
      control = std::move(it->second);
      controls_.erase(it);
    }
  }
  if (controls_.empty()) initialised_ = 0;
  return control;
}

size_t ControlRegistry::Count() {
  std::lock_guard<std::mutex> guard(lock_);
  return controls_.size();
}

void WaitForLeases(LinkmodControl& control) {
  for (int32_t calls = control.activeCalls.load(); calls != 0; calls = control.activeCalls.load()) {
    control.activeCalls.wait(calls);
  }
}

}  // namespace ztn::linkmod
