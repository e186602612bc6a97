// POSIX backend: may use POSIX and Linux names.
// System facts from /proc, /etc/machine-id, the monotonic clock and getrandom.
#include "platform/system_info.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/syscall.h"

namespace ztn::platform {
namespace {

using posix::RetryOnInterrupt;

// Reads a small text file whole (at most `limit` bytes; more is malformed).
Result<std::string> ReadSmallFile(const char* path, size_t limit) {
  const int fd = RetryOnInterrupt([&] { return ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY); });
  if (fd == -1) return MakeNativeError(errno);
  std::string text;
  char buffer[128];
  Result<std::string> result = Error{ErrorCode::Unknown, 0};
  for (;;) {
    const ssize_t count = RetryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); });
    if (count < 0) {
      result = MakeNativeError(errno);
      break;
    }
    if (count == 0) {
      result = std::move(text);
      break;
    }
    text.append(buffer, static_cast<size_t>(count));
    if (text.size() > limit) break;  // not the small file expected
  }
  RetryOnInterrupt([&] { return ::close(fd); });
  return result;
}

}  // namespace

Result<uint32_t> GetProcessSessionId() {
  auto text = ReadSmallFile("/proc/self/sessionid", 64);
  if (!text.ok()) return text.error();
  return ParseSessionIdText(text.value());
}

Result<VersionInfo> GetVersionInfo() {
  // 6.2: every "version 6 or later" test holds, so object names carry the
  // namespace prefixes, as on the newest systems the product knows.
  VersionInfo info;
  info.majorVersion = 6;
  info.minorVersion = 2;
  info.buildNumber = 0;
  info.platformId = kPlatformNt;
  return info;
}

uint32_t GetTickCount() {
  struct timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                      static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t ms) {
  if (ms == 0) {
    ::sched_yield();
    return;
  }
  struct timespec remaining{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

Result<std::string> ReadMachineIdText() {
  auto text = ReadSmallFile("/etc/machine-id", 64);
  if (!text.ok()) return text.error();
  return ParseMachineIdText(text.value());
}

Result<Uuid> CreateUuid() {
  uint8_t bytes[16];
  size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t count =
        RetryOnInterrupt([&] { return ::getrandom(bytes + filled, sizeof bytes - filled, 0); });
    if (count < 0) return MakeNativeError(errno);
    filled += static_cast<size_t>(count);
  }
  return UuidFromRandomBytes(bytes);
}

}  // namespace ztn::platform
