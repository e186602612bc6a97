// POSIX backend: may use POSIX and Linux names.
// The one table that maps errno values to portable error codes.
#include <cerrno>

#include "platform/error.h"

namespace ztn::platform {

ErrorCode MapNativeError(int native) {
  switch (native) {
    case 0: return ErrorCode::Success;
    case ENOENT: return ErrorCode::FileNotFound;
    case ENOTDIR: return ErrorCode::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return ErrorCode::AccessDenied;
    case EBADF: return ErrorCode::InvalidHandle;
    case ENOMEM:
    case ENOSPC: return ErrorCode::NotEnoughMemory;
    case EINVAL: return ErrorCode::InvalidParameter;
    case ENAMETOOLONG: return ErrorCode::NameTooLong;
    case ETIMEDOUT: return ErrorCode::WaitTimeout;
    case ENOEXEC: return ErrorCode::BadFormat;
    default: return ErrorCode::Unknown;
  }
}

}  // namespace ztn::platform
