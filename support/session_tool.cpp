#include "support/session_tool.h"

#include "platform/system_info.h"

namespace ztn {
namespace {

platform::Module LoadByName(const char16_t* name) {
  auto module = platform::Module::Load(name);
  return module.ok() ? std::move(module).value() : platform::Module();
}

void* Bind(const platform::Module& module, const char* name) {
  return module.IsLoaded() ? module.GetExport(name) : nullptr;
}

}  // namespace

SessionToolEx::SessionToolEx()
    : kernelModule_(LoadByName(u"Kernel32.dll")), sessionModule_(LoadByName(u"WtsApi32.dll")) {
  consoleSessionEntry_ = Bind(kernelModule_, "WTSGetActiveConsoleSessionId");
  queryEntry_ = Bind(sessionModule_, "WTSQuerySessionInformationW");
  enumerateEntry_ = Bind(sessionModule_, "WTSEnumerateSessionsW");
  freeEntry_ = Bind(sessionModule_, "WTSFreeMemory");
}

SessionToolEx::~SessionToolEx() {
  // Session module first, then the kernel module.
  sessionModule_.Free();
  kernelModule_.Free();
}

uint32_t SessionToolEx::GetCurrentSessionId() const {
  auto session = platform::GetProcessSessionId();
  return session.ok() ? session.value() : 0;
}

}  // namespace ztn
