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
//
// A stale file (no holder left) is never brought back to life in place: it is
// removed and a new file is made. So an inode that once had no holder never
// gets one again, and whoever finds holders on an inode under its gate knows
// the name still leads to it.
//
// Closing needs no gate: the closer tries to turn its shared reference into an
// exclusive one. That fails while anyone else holds a reference; when it
// succeeds the closer is provably the last holder, and nobody can take a new
// reference while it removes the name.
//
// Reopening is the hot path of messaging (every message opens the peer's
// events and memory). Closed objects therefore stay in a small process-wide
// cache as weak references: descriptor and mappings kept, reference given up.
// A reopen from the cache first checks that someone else holds a reference
// (so the object was alive), then takes its own, then checks that the name
// was not removed in between: three calls, and no path walk, mapping or page
// fault. An object whose holders have all gone is dropped, never revived:
// nobody takes a reference without first seeing a live holder, except under
// the gate, where a dead object is replaced.
#include "platform/posix/kernel_object.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <list>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>

#include "platform/code_page.h"
#include "platform/object_cache.h"
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

// What other descriptors hold on the reference byte: F_UNLCK (nobody: the
// object is dead), F_RDLCK (live holders) or F_WRLCK (a last holder is
// removing it).
short OtherReferences(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kReferenceByte;
  probe.l_len = 1;
  probe.l_pid = 0;
  if (RetryOnInterrupt([&] { return ::fcntl(fd, F_OFD_GETLK, &probe); }) != 0) return F_WRLCK;
  return probe.l_type;
}

bool Unlinked(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) != 0 || st.st_nlink == 0;
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

Result<std::string> ObjectPath(std::u16string_view name) {
  auto resolved = ResolveObjectName(name);
  if (!resolved.ok()) return resolved.error();
  std::string leaf = EncodeLeaf(resolved->leaf);
  if (leaf.size() > 255) return Error{ErrorCode::NameTooLong, ENAMETOOLONG};
  std::string root = ObjectRootDirectory();
  std::string dir = root + (resolved->session == 0 ? std::string("/global")
                                                   : "/session-" + std::to_string(resolved->session));
  return dir + "/" + leaf;
}

// Makes the object root and the namespace folder of `path` when missing.
bool EnsureDirectories(const std::string& path) {
  const std::string dir = path.substr(0, path.rfind('/'));
  const std::string root = dir.substr(0, dir.rfind('/'));
  return EnsureSharedDirectory(root) && EnsureSharedDirectory(dir);
}

ObjectHeader* MapHeader(int fd) {
  void* p = ::mmap(nullptr, sizeof(ObjectHeader), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<ObjectHeader*>(p);
}

}  // namespace

size_t ObjectHeaderSize() { return PageSize(); }

// The process-wide cache of weak references, most recently closed last.
class ObjectCache {
 public:
  struct Entry {
    std::string path;
    int fd = -1;
    ObjectKind kind = ObjectKind::Event;
    ObjectHeader* header = nullptr;
    void* data = nullptr;
    size_t dataLength = 0;
  };

  static ObjectCache& Instance() {
    static ObjectCache* cache = new ObjectCache();  // never destroyed: used until exit
    return *cache;
  }

  std::optional<Entry> Take(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = index_.find(path);
    if (found == index_.end()) return std::nullopt;
    auto position = found->second;
    index_.erase(found);
    Entry entry = std::move(*position);
    lru_.erase(position);
    return entry;
  }

  void Put(Entry entry) {
    std::optional<Entry> evicted;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lru_.push_back(std::move(entry));
      index_.emplace(lru_.back().path, std::prev(lru_.end()));
      if (lru_.size() > kCapacity) {
        auto oldest = lru_.begin();
        auto [first, last] = index_.equal_range(oldest->path);
        for (auto it = first; it != last; ++it) {
          if (it->second == oldest) {
            index_.erase(it);
            break;
          }
        }
        evicted = std::move(*oldest);
        lru_.erase(oldest);
      }
    }
    if (evicted) Drop(*evicted);
  }

  static void Drop(Entry& entry) {
    if (entry.data != nullptr) ::munmap(entry.data, entry.dataLength);
    if (entry.header != nullptr) ::munmap(entry.header, sizeof(ObjectHeader));
    if (entry.fd >= 0) ::close(entry.fd);  // holds no lock: nothing else changes
    entry = Entry{};
  }

  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lru_.size();
  }

  void Clear() {
    std::list<Entry> all;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      all.swap(lru_);
      index_.clear();
    }
    for (auto& e : all) Drop(e);
  }

 private:
  static constexpr size_t kCapacity = 128;
  std::mutex mutex_;
  std::list<Entry> lru_;  // least recently closed first
  std::unordered_multimap<std::string, std::list<Entry>::iterator> index_;
};


namespace {

// Maps the header (and the data of shared memory) of an entry that a probe
// cached without mapping it.
bool MapCachedEntry(ObjectCache::Entry& entry) {
  ObjectHeader* header = MapHeader(entry.fd);
  if (header == nullptr) return false;
  if (header->magic.load(std::memory_order_acquire) != kObjectMagic) {
    ::munmap(header, sizeof(ObjectHeader));
    return false;
  }
  const size_t dataLength = static_cast<size_t>(header->dataSize);
  void* data = nullptr;
  if (entry.kind == ObjectKind::SharedMemory && dataLength > 0) {
    struct stat st {};
    if (::fstat(entry.fd, &st) != 0 ||
        static_cast<uint64_t>(st.st_size) < ObjectHeaderSize() + dataLength) {
      ::munmap(header, sizeof(ObjectHeader));
      return false;
    }
    data = ::mmap(nullptr, dataLength, PROT_READ | PROT_WRITE, MAP_SHARED, entry.fd,
                  static_cast<off_t>(ObjectHeaderSize()));
    if (data == MAP_FAILED) {
      ::munmap(header, sizeof(ObjectHeader));
      return false;
    }
  }
  entry.header = header;
  entry.data = data;
  entry.dataLength = dataLength;
  return true;
}

}  // namespace

Result<KernelObjectRef> KernelObject::Acquire(std::u16string_view name, ObjectKind kind,
                                              bool create, uint64_t dataSize,
                                              const SecurityAttributes* security,
                                              Initializer initialize, const void* context,
                                              bool* existed) {
  static_assert(sizeof(ObjectHeader) <= 4096);
  auto pathResult = ObjectPath(name);
  if (!pathResult.ok()) return pathResult.error();
  const std::string path = std::move(pathResult).value();
  const mode_t mode = (security != nullptr && security->everyoneFullAccess) ? 0666 : 0600;

  auto adopt = [&](int fd, ObjectHeader* header, void* data, size_t dataLength,
                   bool found) -> Result<KernelObjectRef> {
    KernelObjectRef object(new (std::nothrow) KernelObject());
    if (!object) {
      ObjectCache::Entry entry{path, fd, kind, header, data, dataLength};
      ObjectCache::Drop(entry);
      return Error{ErrorCode::NotEnoughMemory, ENOMEM};
    }
    object->fd_ = fd;
    object->path_ = path;
    object->kind_ = kind;
    object->header_ = header;
    object->data_ = data;
    object->dataLength_ = dataLength;
    if (existed != nullptr) *existed = found;
    return object;
  };

  // Fast path: a weak reference this process kept from an earlier handle.
  if (auto cached = ObjectCache::Instance().Take(path)) {
    const int fd = cached->fd;
    if (OtherReferences(fd) == F_RDLCK && LockByte(fd, kReferenceByte, F_RDLCK, false) == 0) {
      if (!Unlinked(fd)) {
        if (cached->kind != kind) {
          LockByte(fd, kReferenceByte, F_UNLCK, false);
          ObjectCache::Instance().Put(std::move(*cached));
          return Error{ErrorCode::InvalidHandle, 0};  // a name held by another kind
        }
        if (cached->header == nullptr && !MapCachedEntry(*cached)) {
          LockByte(fd, kReferenceByte, F_UNLCK, false);
          ObjectCache::Drop(*cached);
          return Error{ErrorCode::InvalidHandle, 0};
        }
        return adopt(fd, cached->header, cached->data, cached->dataLength, true);
      }
    }
    // Gone, or going: forget it. A stale name is left to the gate below.
    ObjectCache::Drop(*cached);
  }

  bool directoriesEnsured = false;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    int fd = -1;
    bool createdFile = false;
    if (create) {
      fd = RetryOnInterrupt(
          [&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode); });
      if (fd >= 0) {
        createdFile = true;
        ::fchmod(fd, mode);  // the umask must not narrow who may open it
      } else if (errno == ENOENT && !directoriesEnsured) {
        directoriesEnsured = true;
        if (!EnsureDirectories(path)) return MakeNativeError(errno);
        continue;
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

    // Look before taking a reference: whoever takes one must have seen a
    // live holder (or made the object), so a dead object stays dead.
    if (!createdFile) {
      const short others = OtherReferences(fd);
      if (others == F_WRLCK) {  // its last holder is removing it: start over
        ::close(fd);
        continue;
      }
      if (others == F_UNLCK && LockByte(fd, kReferenceByte, F_WRLCK, false) == 0) {
        // Nobody holds it: its last holder died without closing, and the
        // object is gone. Remove the file; a create then makes a new one.
        ::unlink(path.c_str());
        ::close(fd);
        if (create) continue;
        return Error{ErrorCode::FileNotFound, ENOENT};
      }
    }
    if (LockByte(fd, kReferenceByte, F_RDLCK, false) != 0) {
      int err = errno;
      if (createdFile) ::unlink(path.c_str());
      ::close(fd);
      if (err == EAGAIN || err == EACCES) continue;  // a last holder is removing it
      return MakeNativeError(err);
    }

    auto fail = [&](Error error) -> Result<KernelObjectRef> {
      if (createdFile) ::unlink(path.c_str());
      ::close(fd);  // drops the reference and the gate
      return error;
    };

    ObjectHeader* header = nullptr;
    const uint64_t size = createdFile ? (kind == ObjectKind::SharedMemory ? dataSize : 0) : 0;
    if (createdFile) {
      const off_t total = static_cast<off_t>(ObjectHeaderSize() + size);
      if (RetryOnInterrupt([&] { return ::ftruncate(fd, total); }) != 0) {
        return fail(MakeNativeError(errno));
      }
      header = MapHeader(fd);
      if (header == nullptr) return fail(MakeNativeError(errno));
      header->kind = static_cast<uint32_t>(kind);
      header->dataSize = size;
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
    void* data = nullptr;
    const size_t dataLength = static_cast<size_t>(header->dataSize);
    if (kind == ObjectKind::SharedMemory && dataLength > 0) {
      data = ::mmap(nullptr, dataLength, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                    static_cast<off_t>(ObjectHeaderSize()));
      if (data == MAP_FAILED) {
        int err = errno;
        ::munmap(header, sizeof(ObjectHeader));
        return fail(MakeNativeError(err));
      }
    }
    LockByte(fd, kGateByte, F_UNLCK, false);
    return adopt(fd, header, data, dataLength, !createdFile);
  }
  return Error{ErrorCode::Unknown, EAGAIN};
}

bool KernelObject::Exists(std::u16string_view name, ObjectKind kind) {
  auto pathResult = ObjectPath(name);
  if (!pathResult.ok()) return false;
  const std::string& path = *pathResult;
  // A live holder on a cached descriptor proves the name still leads to it.
  if (auto cached = ObjectCache::Instance().Take(path)) {
    const bool alive = OtherReferences(cached->fd) == F_RDLCK;
    const bool sameKind = cached->kind == kind;
    ObjectCache::Instance().Put(std::move(*cached));
    if (alive) return sameKind;
  }
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW); });
  if (fd < 0) return false;
  bool alive = OtherReferences(fd) == F_RDLCK;
  if (alive) {
    uint32_t storedKind = 0;
    alive = ::pread(fd, &storedKind, sizeof storedKind, offsetof(ObjectHeader, kind)) ==
                static_cast<ssize_t>(sizeof storedKind) &&
            storedKind == static_cast<uint32_t>(kind);
  }
  if (!alive) {
    ::close(fd);
    return false;
  }
  // Keep the descriptor for the next probe or open; it is mapped when adopted.
  ObjectCache::Instance().Put(ObjectCache::Entry{path, fd, kind, nullptr, nullptr, 0});
  return true;
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

KernelObject::~KernelObject() { Destroy(); }

void KernelObject::Destroy() {
  if (fd_ < 0) {  // unnamed: this process alone
    if (header_ != nullptr && !leakHeader_) ::munmap(header_, sizeof(ObjectHeader));
    return;
  }
  // Try to become the exclusive holder: that fails while anyone else holds
  // a reference, and succeeds only for the last one.
  if (LockByte(fd_, kReferenceByte, F_WRLCK, false) != 0) {
    if (!leakHeader_ && LockByte(fd_, kReferenceByte, F_UNLCK, false) == 0) {
      ObjectCache::Instance().Put(ObjectCache::Entry{path_, fd_, kind_, header_, data_, dataLength_});
      return;
    }
  } else if (SameInode(fd_, path_)) {
    ::unlink(path_.c_str());  // last holder: the name goes with us
  }
  if (data_ != nullptr) ::munmap(data_, dataLength_);
  if (header_ != nullptr && !leakHeader_) ::munmap(header_, sizeof(ObjectHeader));
  ::close(fd_);  // drops our reference and the gate
}

Result<void*> KernelObject::MapData(size_t bytes) const {
  if (data_ == nullptr || kind_ != ObjectKind::SharedMemory) return Error{ErrorCode::InvalidHandle, 0};
  if (bytes == 0 || bytes > dataLength_) return Error{ErrorCode::AccessDenied, 0};
  return data_;
}

}  // namespace detail

size_t CachedObjectCount() { return detail::ObjectCache::Instance().Size(); }
void ClearObjectCache() { detail::ObjectCache::Instance().Clear(); }

}  // namespace ztn::platform
