// Scoped Enter/Leave of a SyncObjectEx.
#pragma once

#include "support/sync_object.h"

namespace ztn::linkmod {

class SyncGuard {
 public:
  explicit SyncGuard(SyncObjectEx& lock) : lock_(lock) { lock_.Enter(); }
  ~SyncGuard() { lock_.Leave(); }
  SyncGuard(const SyncGuard&) = delete;
  SyncGuard& operator=(const SyncGuard&) = delete;

 private:
  SyncObjectEx& lock_;
};

}  // namespace ztn::linkmod
