// SessionToolEx: the session number of the current process.
//
// Construction loads "Kernel32.dll" and "WtsApi32.dll" by name and binds the
// session functions the original platform offers there; a module or export
// that is missing leaves its field null (on this platform all of them are).
// None of the bound entries is called; GetCurrentSessionId asks the platform.
// The object owns one load reference on each module it loaded and releases
// them when destroyed. Not synchronised; never blocks.
#pragma once

#include <cstdint>

#include "platform/module.h"

namespace ztn {

class SessionToolEx {
 public:
  SessionToolEx();
  virtual ~SessionToolEx();
  SessionToolEx(const SessionToolEx&) = delete;
  SessionToolEx& operator=(const SessionToolEx&) = delete;

  // The session number of this process; 0 when the system cannot tell.
  uint32_t GetCurrentSessionId() const;

  bool HasKernelModule() const { return kernelModule_.IsLoaded(); }
  bool HasSessionModule() const { return sessionModule_.IsLoaded(); }
  void* ConsoleSessionEntry() const { return consoleSessionEntry_; }
  void* QueryEntry() const { return queryEntry_; }
  void* EnumerateEntry() const { return enumerateEntry_; }
  void* FreeEntry() const { return freeEntry_; }

 private:
  platform::Module kernelModule_;
  platform::Module sessionModule_;
  void* consoleSessionEntry_ = nullptr;
  void* queryEntry_ = nullptr;
  void* enumerateEntry_ = nullptr;
  void* freeEntry_ = nullptr;
};

}  // namespace ztn
