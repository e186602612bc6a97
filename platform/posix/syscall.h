// POSIX backend: may use POSIX and Linux names.
// One helper for every system call: retries EINTR and keeps errno.
#pragma once

#include <cerrno>

namespace ztn::platform::posix {

template <class Fn>
auto RetryOnInterrupt(Fn&& call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace ztn::platform::posix
