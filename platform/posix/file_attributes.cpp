// POSIX backend: may use POSIX and Linux names.
// File attributes from lstat/stat, in the original platform's bit layout.
#include "platform/file_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path.h"
#include "platform/posix/syscall.h"

namespace ztn::platform {
namespace {

using posix::RetryOnInterrupt;

// Fewer allocated blocks than the size needs suggests holes, but compressed
// or inline-data file systems allocate fewer blocks too; where the file can be
// opened, the first hole (SEEK_HOLE) decides: none before the end, no holes.
bool IsSparse(const std::string& native, const struct stat& st) {
  if (st.st_size <= 0) return false;
  if (static_cast<long long>(st.st_blocks) * 512 >= static_cast<long long>(st.st_size)) return false;
  const int fd = RetryOnInterrupt(
      [&] { return ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
  if (fd == -1) return true;
  bool sparse = true;
  struct stat opened{};
  if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    if (hole != -1) sparse = hole < opened.st_size;
  }
  RetryOnInterrupt([&] { return ::close(fd); });
  return sparse;
}

}  // namespace

uint32_t GetFileAttributes(std::u16string_view path) {
  const std::string native = ToNativePath(path);
  if (native.empty()) return kInvalidFileAttributes;

  struct stat link{};
  if (RetryOnInterrupt([&] { return ::lstat(native.c_str(), &link); }) != 0) {
    return kInvalidFileAttributes;
  }
  uint32_t attributes = 0;
  struct stat target = link;
  if (S_ISLNK(link.st_mode)) {
    if (RetryOnInterrupt([&] { return ::stat(native.c_str(), &target); }) != 0) {
      return kInvalidFileAttributes;  // dangling link
    }
    attributes |= kFileAttributeReparsePoint;
  }

  if (S_ISDIR(target.st_mode)) {
    attributes |= kFileAttributeDirectory;
  } else if (S_ISREG(target.st_mode)) {
    if (IsSparse(native, target)) attributes |= kFileAttributeSparseFile;
  } else {
    attributes |= kFileAttributeVirtual;
  }
  if ((target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kFileAttributeReadOnly;
  if (attributes == 0) attributes = kFileAttributeNormal;
  return attributes;
}

std::u16string GetSystemRootDirectory() { return u"\\"; }

}  // namespace ztn::platform
