// SyncObjectEx: an in-process lock, recursive for its owning thread.
//
// The constructor sets a marker (0x01010101) after the lock exists; Enter and
// Leave act only while the marker is set. Storage whose constructor has not
// run yet reads as zero when it has static storage duration, so a static
// SyncObjectEx used during start-up before its own constructor ran is a
// harmless no-op instead of a lock on uninitialised memory.
// Safe for any number of threads of one process. Enter blocks without limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ztn {

class SyncObjectEx {
 public:
  static constexpr uint32_t kConstructedMarker = 0x01010101;

  SyncObjectEx();
  // Leaves the marker as it is.
  virtual ~SyncObjectEx() = default;
  SyncObjectEx(const SyncObjectEx&) = delete;
  SyncObjectEx& operator=(const SyncObjectEx&) = delete;

  void Enter();
  void Leave();

  uint32_t Marker() const { return marker_.load(std::memory_order_acquire); }

  // Sets the marker to `value`, as if the storage had (not) been constructed.
  // For tests of the marker rule only.
  void SetMarkerForTesting(uint32_t value) { marker_.store(value, std::memory_order_release); }

 private:
  std::recursive_mutex section_;
  std::atomic<uint32_t> marker_;
};

}  // namespace ztn
