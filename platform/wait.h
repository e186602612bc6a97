// Results and time limits shared by every waitable object of the platform layer.
#pragma once

#include <cstdint>

namespace ztn::platform {

// Time limits are signed 32-bit milliseconds: 0 tests without blocking,
// kInfinite (-1) never times out. Any other negative value counts as kInfinite.
inline constexpr int32_t kInfinite = -1;

enum class WaitResult {
  Signaled,   // the object was signalled (an auto-reset event was consumed, a mutex is now owned)
  Abandoned,  // mutexes only: now owned, but the previous owner died holding it
  Timeout,    // the time limit passed first
  Failed,     // no usable object
};

}  // namespace ztn::platform
