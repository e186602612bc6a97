// POSIX names allowed: helpers of the peers that measure the OS's own IPC.
// Whole reads and writes that retry interrupted and partial transfers.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace ztn::bench::posix {

// Reads exactly `size` bytes. Returns size, 0 at end of file before the first
// byte, -1 on an error or an end of file in the middle.
inline ssize_t ReadFull(int fd, void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return done == 0 ? 0 : -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

inline bool WriteFull(int fd, const void* buffer, size_t size) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, in + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

inline std::string ErrnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// The last component of a path: peers that need a flat name (queues) take
// it from the endpoint.
inline std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace ztn::bench::posix
