// POSIX backend: may use POSIX and Linux names.
// Mutexes as robust, recursive, process-shared pthread mutexes in the object's
// shared header. The kernel's robust-futex list marks a mutex whose owning
// thread ended (or whose process died) so that the next locker gets
// EOWNERDEAD: that is the abandoned result, after which the mutex is made
// consistent again and behaves normally.
#include "platform/mutex.h"

#include <pthread.h>
#include <linux/futex.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/futex.h"
#include "platform/posix/kernel_object.h"

namespace ztn::platform {
namespace {

using detail::KernelObject;
using detail::ObjectHeader;

void InitializeMutex(ObjectHeader* header, const void*) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&header->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

WaitResult Lock(ObjectHeader* h, int32_t timeoutMs) {
  int rc;
  if (timeoutMs == 0) {
    rc = pthread_mutex_trylock(&h->mutex);
  } else if (timeoutMs < 0) {
    rc = pthread_mutex_lock(&h->mutex);
  } else {
    const auto deadline = posix::Deadline::After(timeoutMs);
    rc = pthread_mutex_clocklock(&h->mutex, CLOCK_MONOTONIC, &deadline.at);
  }
  switch (rc) {
    case 0: return WaitResult::Signaled;
    case EOWNERDEAD:
      pthread_mutex_consistent(&h->mutex);
      return WaitResult::Abandoned;
    case EBUSY:
    case ETIMEDOUT: return WaitResult::Timeout;
    default: return WaitResult::Failed;  // ENOTRECOVERABLE, EAGAIN (recursion limit)
  }
}

bool OwnedByCallingThread(ObjectHeader* h) {
  // The lock word of a robust mutex holds its owner's thread id.
  auto word = __atomic_load_n(&h->mutex.__data.__lock, __ATOMIC_ACQUIRE);
  return (static_cast<unsigned>(word) & FUTEX_TID_MASK) == static_cast<unsigned>(::gettid());
}

// A mutex closed by its owning thread stays owned until that thread ends,
// as on the original platform: keep its page mapped for the robust list.
struct MutexCloseGuard {
  static void Prepare(const detail::KernelObjectRef& object) {
    if (object && object.use_count() == 1 && OwnedByCallingThread(object->Header())) {
      object->LeakHeaderOnClose();
    }
  }
};

}  // namespace

Result<Mutex> Mutex::Create(std::u16string_view name, bool initialOwner,
                            const SecurityAttributes* security, bool* existed) {
  bool found = false;
  auto object = name.empty()
                    ? KernelObject::CreateUnnamed(ObjectKind::Mutex, &InitializeMutex, nullptr)
                    : KernelObject::Acquire(name, ObjectKind::Mutex, true, 0, security,
                                            &InitializeMutex, nullptr, &found);
  if (!object.ok()) return object.error();
  if (existed != nullptr) *existed = found;
  Mutex mutex(std::move(object).value());
  if (initialOwner && !found) Lock(mutex.object_->Header(), -1);
  return mutex;
}

Result<Mutex> Mutex::Open(std::u16string_view name) {
  if (name.empty()) return Error{ErrorCode::InvalidParameter, 0};
  auto object = KernelObject::Acquire(name, ObjectKind::Mutex, false, 0, nullptr, nullptr, nullptr, nullptr);
  if (!object.ok()) return object.error();
  return Mutex(std::move(object).value());
}

WaitResult Mutex::Wait(int32_t timeoutMs) {
  if (!object_) return WaitResult::Failed;
  return Lock(object_->Header(), timeoutMs);
}

Result<void> Mutex::Release() {
  if (!object_) return Error{ErrorCode::InvalidHandle, 0};
  int rc = pthread_mutex_unlock(&object_->Header()->mutex);
  if (rc == EPERM) return Error{ErrorCode::NotOwner, rc};
  if (rc != 0) return MakeNativeError(rc);
  return {};
}

void Mutex::Close() {
  MutexCloseGuard::Prepare(object_);
  object_.reset();
}

Mutex::~Mutex() { Close(); }

}  // namespace ztn::platform
