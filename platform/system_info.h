// Facts about the running system: session, version, language, clock, identity.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace ztn::platform {

// The session of the current process: the login session number, 0 when the
// system cannot tell or the process runs outside a login (service, container).
// Never blocks. Result: the session number, or an error when it cannot be read
// (callers then count it as session 0).
Result<uint32_t> GetProcessSessionId();

// Version facts in the original platform's terms. This platform reports the
// NT family (platformId 2), version 6.2, so every version test that asks for
// "version 6 or later" holds and object names carry the namespace prefixes.
struct VersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;  // 2 = NT family
};
inline constexpr uint32_t kPlatformNt = 2;
Result<VersionInfo> GetVersionInfo();

// The system language as a language id: 0x0412 Korean, 0x0411 Japanese,
// 0x0409 (English, United States) for anything else. Taken from the locale
// environment (LC_ALL, then LC_MESSAGES, then LANG).
uint16_t GetSystemDefaultLanguageId();

// Milliseconds since an arbitrary start, wrapping at 2^32 (monotonic).
uint32_t GetTickCount();

// Suspends the calling thread for at least `ms` milliseconds (0 yields).
void Sleep(uint32_t ms);

// The machine's private identity source: the 32 hexadecimal characters of the
// machine id exactly as stored. Error when it cannot be read.
Result<std::string> ReadMachineIdText();

// A fresh random UUID as 16 bytes in the original platform's GUID layout:
// Data1 (uint32), Data2 (uint16), Data3 (uint16), Data4[8], each in host order.
struct Uuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};
Result<Uuid> CreateUuid();

}  // namespace ztn::platform
