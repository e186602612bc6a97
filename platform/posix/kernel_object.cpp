// POSIX backend: may use POSIX and Linux names.
//
// Named kernel objects as files under the object root, with the original
// platform's lifetime: an object lives while any process holds a handle or
// view to it, and is gone when the last one closes or its holder dies.
//
// The kernel keeps the books through open-file-description (OFD) locks, which
// are dropped when the holder's last descriptor closes, at exit or SIGKILL:
//   byte 0  "reference": every handle holds a shared lock on it through its
//           own descriptor for as long as it is open;
//   byte 1  "gate": create, open and close run under an exclusive lock on it.
// Under the gate, a test for a conflicting lock on byte 0 tells whether anyone
// else still holds the object. Create finding nobody reinitialises the file
// (zero-filled, fresh header); open finding nobody removes the stale file and
// fails; close finding nobody removes the file. After taking the gate every
// path re-checks that the name still leads to the same inode, since another
// process may have removed it in between. No polling, no daemon: a dead
// holder's locks vanish with it, so its object can never look alive.
#include "platform/posix/kernel_object.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/code_page.h"
#include "platform/process.h"
#include "platform/posix/syscall.h"

namespace ztn::platform {

std::string ObjectRootDirectory() {
  auto dir = GetEnvVar("ZTN_OBJECT_DIR");
  if (dir && !dir->empty()) return *dir;
  return "/dev/shm/ztn-objects";
}

namespace detail {
namespace {

using posix::RetryOnInterrupt;

constexpr off_t kReferenceByte = 0;
constexpr off_t kGateByte = 1;
constexpr int kMaxAttempts = 1000;  // only lost races with removals repeat

size_t PageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

int LockByte(int fd, off_t byte, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  lock.l_pid = 0;
  return RetryOnInterrupt([&] { return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock); });
}

// True when a descriptor other than ours holds a reference (byte 0).
bool OthersHoldReference(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kReferenceByte;
  probe.l_len = 1;
  probe.l_pid = 0;
  if (RetryOnInterrupt([&] { return ::fcntl(fd, F_OFD_GETLK, &probe); }) != 0) return true;
  return probe.l_type != F_UNLCK;
}

bool SameInode(int fd, const std::string& path) {
  struct stat byFd {}, byPath {};
  if (::fstat(fd, &byFd) != 0 || ::lstat(path.c_str(), &byPath) != 0) return false;
  return byFd.st_dev == byPath.st_dev && byFd.st_ino == byPath.st_ino;
}

// Makes a folder every local user can use (sticky, like /tmp).
bool EnsureSharedDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 01777) == 0) {
    ::chmod(dir.c_str(), 01777);  // mkdir's mode is masked by the umask
    return true;
  }
  return errno == EEXIST;
}

std::string EncodeLeaf(std::u16string_view leaf) {
  std::string utf8 = WideToAnsiText(leaf);
  std::string out;
  out.reserve(utf8.size());
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    bool escape = c < 0x20 || c == '/' || c == '%' || c == 0x7F || (i == 0 && c == '.');
    if (escape) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

Result<std::string> ObjectPath(std::u16string_view name, bool ensureDirectories) {
  auto resolved = ResolveObjectName(name);
  if (!resolved.ok()) return resolved.error();
  std::string leaf = EncodeLeaf(resolved->leaf);
  if (leaf.size() > 255) return Error{ErrorCode::NameTooLong, ENAMETOOLONG};
  std::string root = ObjectRootDirectory();
  std::string dir = root + (resolved->session == 0 ? std::string("/global")
                                                   : "/session-" + std::to_string(resolved->session));
  if (ensureDirectories) {
    if (!EnsureSharedDirectory(root) || !EnsureSharedDirectory(dir)) return MakeNativeError(errno);
  }
  return dir + "/" + leaf;
}

ObjectHeader* MapHeader(int fd) {
  void* p = ::mmap(nullptr, sizeof(ObjectHeader), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<ObjectHeader*>(p);
}

}  // namespace

size_t ObjectHeaderSize() { return PageSize(); }

Result<KernelObjectRef> KernelObject::Acquire(std::u16string_view name, ObjectKind kind,
                                              bool create, uint64_t dataSize,
                                              const SecurityAttributes* security,
                                              Initializer initialize, const void* context,
                                              bool* existed) {
  static_assert(sizeof(ObjectHeader) <= 4096);
  auto pathResult = ObjectPath(name, create);
  if (!pathResult.ok()) return pathResult.error();
  const std::string path = std::move(pathResult).value();
  const mode_t mode = (security != nullptr && security->everyoneFullAccess) ? 0666 : 0600;

  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    int fd = -1;
    if (create) {
      fd = RetryOnInterrupt(
          [&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode); });
      if (fd >= 0) {
        ::fchmod(fd, mode);  // the umask must not narrow who may open it
      } else if (errno != EEXIST) {
        return MakeNativeError(errno);
      }
    }
    if (fd < 0) {
      fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW); });
      if (fd < 0) {
        if (errno == ENOENT && create) continue;  // removed since our O_EXCL try
        if (errno == ENOENT || errno == ENOTDIR) return Error{ErrorCode::FileNotFound, errno};
        return MakeNativeError(errno);
      }
    }

    if (LockByte(fd, kGateByte, F_WRLCK, true) != 0) {
      int err = errno;
      ::close(fd);
      return MakeNativeError(err);
    }
    if (!SameInode(fd, path)) {  // removed (and maybe recreated) before we got the gate
      ::close(fd);
      continue;
    }

    const bool fresh = !OthersHoldReference(fd);
    if (fresh && !create) {
      // The last holder died without closing: the object is gone.
      ::unlink(path.c_str());
      ::close(fd);
      return Error{ErrorCode::FileNotFound, ENOENT};
    }
    if (LockByte(fd, kReferenceByte, F_RDLCK, false) != 0) {
      int err = errno;
      ::close(fd);
      return MakeNativeError(err);
    }

    auto fail = [&](Error error) -> Result<KernelObjectRef> {
      if (fresh) ::unlink(path.c_str());
      ::close(fd);  // drops the reference and the gate
      return error;
    };

    ObjectHeader* header = nullptr;
    if (fresh) {
      // Nobody else holds it: start from zero, whatever a dead holder left.
      const off_t total = static_cast<off_t>(ObjectHeaderSize() + (kind == ObjectKind::SharedMemory ? dataSize : 0));
      if (RetryOnInterrupt([&] { return ::ftruncate(fd, 0); }) != 0 ||
          RetryOnInterrupt([&] { return ::ftruncate(fd, total); }) != 0) {
        return fail(MakeNativeError(errno));
      }
      header = MapHeader(fd);
      if (header == nullptr) return fail(MakeNativeError(errno));
      header->kind = static_cast<uint32_t>(kind);
      header->dataSize = kind == ObjectKind::SharedMemory ? dataSize : 0;
      if (initialize != nullptr) initialize(header, context);
      header->magic.store(kObjectMagic, std::memory_order_release);
    } else {
      struct stat st {};
      if (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < ObjectHeaderSize()) {
        return fail(Error{ErrorCode::InvalidHandle, 0});
      }
      header = MapHeader(fd);
      if (header == nullptr) return fail(MakeNativeError(errno));
      if (header->magic.load(std::memory_order_acquire) != kObjectMagic ||
          header->kind != static_cast<uint32_t>(kind) ||
          static_cast<uint64_t>(st.st_size) < ObjectHeaderSize() + header->dataSize) {
        ::munmap(header, sizeof(ObjectHeader));
        return fail(Error{ErrorCode::InvalidHandle, 0});  // a name held by another kind of object
      }
    }
    LockByte(fd, kGateByte, F_UNLCK, false);

    KernelObjectRef object(new (std::nothrow) KernelObject());
    if (!object) {
      ::munmap(header, sizeof(ObjectHeader));
      ::close(fd);
      return Error{ErrorCode::NotEnoughMemory, ENOMEM};
    }
    object->fd_ = fd;
    object->path_ = path;
    object->kind_ = kind;
    object->header_ = header;
    if (existed != nullptr) *existed = !fresh;
    return object;
  }
  return Error{ErrorCode::Unknown, EAGAIN};
}

Result<KernelObjectRef> KernelObject::CreateUnnamed(ObjectKind kind, Initializer initialize,
                                                    const void* context) {
  void* p = ::mmap(nullptr, sizeof(ObjectHeader), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return MakeNativeError(errno);
  auto* header = static_cast<ObjectHeader*>(p);
  header->kind = static_cast<uint32_t>(kind);
  if (initialize != nullptr) initialize(header, context);
  header->magic.store(kObjectMagic, std::memory_order_release);
  KernelObjectRef object(new (std::nothrow) KernelObject());
  if (!object) {
    ::munmap(p, sizeof(ObjectHeader));
    return Error{ErrorCode::NotEnoughMemory, ENOMEM};
  }
  object->kind_ = kind;
  object->header_ = header;
  return object;
}

KernelObject::~KernelObject() {
  if (header_ != nullptr && !leakHeader_) ::munmap(header_, sizeof(ObjectHeader));
  if (fd_ < 0) return;
  // Last holder anywhere? Then the name goes with us.
  if (LockByte(fd_, kGateByte, F_WRLCK, true) == 0) {
    if (!OthersHoldReference(fd_) && SameInode(fd_, path_)) ::unlink(path_.c_str());
  }
  ::close(fd_);  // drops our reference and the gate
}

Result<void*> KernelObject::MapData(size_t bytes) const {
  if (fd_ < 0 || kind_ != ObjectKind::SharedMemory) return Error{ErrorCode::InvalidHandle, 0};
  uint64_t size = header_->dataSize;
  if (bytes == 0) bytes = static_cast<size_t>(size);
  if (bytes > size || bytes == 0) return Error{ErrorCode::AccessDenied, 0};
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                   static_cast<off_t>(ObjectHeaderSize()));
  if (p == MAP_FAILED) return MakeNativeError(errno);
  return p;
}

void KernelObject::UnmapData(void* data, size_t bytes) {
  if (data != nullptr) ::munmap(data, bytes);
}

}  // namespace detail
}  // namespace ztn::platform
