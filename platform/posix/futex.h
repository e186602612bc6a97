// POSIX backend: may use POSIX and Linux names.
// Futex waits and wakes on words in shared memory (never the private flavour:
// the waiters live in other processes).
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace ztn::platform::posix {

// A deadline on CLOCK_MONOTONIC; timeoutMs < 0 means none.
struct Deadline {
  bool infinite = true;
  timespec at{};

  static Deadline After(int32_t timeoutMs) {
    Deadline d;
    if (timeoutMs < 0) return d;
    d.infinite = false;
    ::clock_gettime(CLOCK_MONOTONIC, &d.at);
    d.at.tv_sec += timeoutMs / 1000;
    d.at.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (d.at.tv_nsec >= 1000000000L) {
      d.at.tv_sec += 1;
      d.at.tv_nsec -= 1000000000L;
    }
    return d;
  }

  // Milliseconds left, rounded up; 0 once passed; INT32_MAX when infinite.
  long long RemainingMs() const {
    if (infinite) return 0x7FFFFFFF;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    long long ns = (at.tv_sec - now.tv_sec) * 1000000000LL + (at.tv_nsec - now.tv_nsec);
    return ns <= 0 ? 0 : (ns + 999999) / 1000000;
  }

  bool Passed() const {
    if (infinite) return false;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > at.tv_sec || (now.tv_sec == at.tv_sec && now.tv_nsec >= at.tv_nsec);
  }
};

// Sleeps while *word == expected, until woken or the deadline passes.
// Returns 0 when woken (possibly spuriously), or the errno (EAGAIN, ETIMEDOUT, EINTR).
inline int FutexWait(std::atomic<uint32_t>* word, uint32_t expected, const Deadline& deadline) {
  long r = ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_BITSET, expected,
                     deadline.infinite ? nullptr : &deadline.at, nullptr, FUTEX_BITSET_MATCH_ANY);
  return r == 0 ? 0 : errno;
}

inline void FutexWake(std::atomic<uint32_t>* word, int count) {
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, count, nullptr, nullptr, 0);
}

}  // namespace ztn::platform::posix
