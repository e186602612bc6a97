// Errors of the platform layer.
//
// Every fallible platform call returns a Result<T>: either a value or an
// Error that carries a portable code (numbered like the original platform's
// error codes, so that a Win32 backend passes GetLastError() straight through)
// and the native error number of the backend that produced it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <variant>

namespace ztn::platform {

enum class ErrorCode : uint32_t {
  Success = 0,
  FileNotFound = 2,        // no object, file or module of that name
  PathNotFound = 3,        // unknown namespace prefix, missing folder
  AccessDenied = 5,        // permission, or a view larger than the object
  InvalidHandle = 6,       // name held by an object of another type; closed handle
  NotEnoughMemory = 8,
  InvalidParameter = 87,
  AlreadyExists = 183,     // the object is held by someone else (e.g. a second listener)
  NameTooLong = 206,
  WaitTimeout = 258,
  NotOwner = 288,          // mutex released by a thread that does not own it
  ProcNotFound = 127,      // export missing from a module
  BadFormat = 193,         // not a loadable module
  Cancelled = 1223,
  Unknown = 0xFFFFFFFFu,
};

struct Error {
  ErrorCode code = ErrorCode::Unknown;
  int native = 0;  // the backend's own error number (errno), 0 when none
};

// Maps a native error number to its portable code (one table, in the backend).
ErrorCode MapNativeError(int native);
inline Error MakeNativeError(int native) { return Error{MapNativeError(native), native}; }

// A value or an Error. Minimal by design: GCC 12 has no std::expected.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::move(value)) {}
  Result(Error error) : data_(error) {}

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { Check(); return std::get<0>(data_); }
  T&& value() && { Check(); return std::get<0>(std::move(data_)); }
  const T& value() const& { Check(); return std::get<0>(data_); }
  T* operator->() { return &value(); }
  T& operator*() & { return value(); }

  Error error() const { return ok() ? Error{ErrorCode::Success, 0} : std::get<1>(data_); }
  ErrorCode code() const { return error().code; }

 private:
  void Check() const {
    if (!ok()) std::abort();  // reading the value of a failed result is a bug
  }
  std::variant<T, Error> data_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(error), ok_(false) {}
  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  Error error() const { return error_; }
  ErrorCode code() const { return error_.code; }

 private:
  Error error_{ErrorCode::Success, 0};
  bool ok_ = true;
};

}  // namespace ztn::platform
