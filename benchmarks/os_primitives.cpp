// POSIX and Linux names allowed: these measure the OS's own operations, the
// parts that a linkmod round trip and its peers are built from.
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "benchmarks/harness.h"
#include "benchmarks/posix_io.h"
#include "benchmarks/primitives.h"

namespace ztn::bench {
namespace {

constexpr size_t kMessageBytes = 10240;

// A scratch file that lives as long as the operation that uses it.
std::shared_ptr<posix::Fd> ScratchFile(size_t size, std::string& error, std::string* pathOut = nullptr) {
  const std::string path = ScratchPath("prim");
  auto fd = std::make_shared<posix::Fd>(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd->ok() || (size > 0 && ::ftruncate(fd->get(), static_cast<off_t>(size)) != 0)) {
    error = posix::ErrnoText("scratch file");
    return nullptr;
  }
  if (pathOut != nullptr) *pathOut = path;
  return fd;
}

bool OfdLock(int fd, short type, int command) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  return ::fcntl(fd, command, &lock) == 0;
}

}  // namespace

std::vector<Primitive> OsPrimitives() {
  return {
      {"syscall", "a bare system call (getppid)",
       [](std::string&) -> std::function<bool()> {
         return [] { return ::syscall(SYS_getppid) > 0; };
       }},
      {"ofd_test", "lock test (F_OFD_GETLK)",
       [](std::string& error) -> std::function<bool()> {
         auto fd = ScratchFile(0, error);
         if (!fd) return {};
         return [fd] { return OfdLock(fd->get(), F_WRLCK, F_OFD_GETLK); };
       }},
      {"ofd_lock_unlock", "shared lock taken and given back (2 x F_OFD_SETLK)",
       [](std::string& error) -> std::function<bool()> {
         auto fd = ScratchFile(0, error);
         if (!fd) return {};
         return [fd] {
           return OfdLock(fd->get(), F_RDLCK, F_OFD_SETLK) && OfdLock(fd->get(), F_UNLCK, F_OFD_SETLK);
         };
       }},
      {"futex_wake", "futex wake with nobody waiting",
       [](std::string&) -> std::function<bool()> {
         auto word = std::make_shared<std::atomic<uint32_t>>(0);
         return [word] {
           return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word.get()), FUTEX_WAKE, 1,
                            nullptr, nullptr, 0) >= 0;
         };
       }},
      {"shm_cycle", "open, map, touch 10 KB, unmap, close a shm file",
       [](std::string& error) -> std::function<bool()> {
         std::string path;
         auto keep = ScratchFile(kMessageBytes, error, &path);
         if (!keep) return {};
         return [keep, path] {
           posix::Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
           if (!fd.ok()) return false;
           void* p = ::mmap(nullptr, kMessageBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
           if (p == MAP_FAILED) return false;
           std::memset(p, 0x5A, kMessageBytes);
           return ::munmap(p, kMessageBytes) == 0;
         };
       }},
  };
}

}  // namespace ztn::bench
