// Facts about the running system: session, version, language, clock, identity.
//
// Every function is thread-safe and never blocks, except Sleep. The language
// reads the process environment, which nothing synchronises with threads that
// change it at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace ztn::platform {

// The session of the current process: the login session number, 0 when the
// system cannot tell or the process runs outside a login (service, container).
// Never blocks. Result: the session number, or an error when it cannot be read
// (callers then count it as session 0). Here it is the audit login session
// (inherited by every process of one login); its "unset" value counts as 0.
Result<uint32_t> GetProcessSessionId();

// Version facts in the original platform's terms. This platform reports the
// NT family (platformId 2), version 6.2, so every version test that asks for
// "version 6 or later" holds and object names carry the namespace prefixes.
// There is no build number (0). Never fails.
struct VersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;  // 2 = NT family
};
inline constexpr uint32_t kPlatformNt = 2;
Result<VersionInfo> GetVersionInfo();

// Language ids this system tells apart.
inline constexpr uint16_t kLanguageKorean = 0x0412;
inline constexpr uint16_t kLanguageJapanese = 0x0411;
inline constexpr uint16_t kLanguageEnglishUs = 0x0409;

// The system language as a language id: 0x0412 Korean, 0x0411 Japanese,
// 0x0409 (English, United States) for anything else. Taken from the locale
// environment: the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty.
uint16_t GetSystemDefaultLanguageId();

// Milliseconds since an arbitrary start, wrapping at 2^32 (monotonic).
uint32_t GetTickCount();

// Suspends the calling thread for at least `ms` milliseconds (0 yields).
void Sleep(uint32_t ms);

// The machine's private identity source: the 32 hexadecimal characters of the
// machine id exactly as stored (case kept, line end dropped). Error when it is
// missing, empty or not 32 hexadecimal characters.
Result<std::string> ReadMachineIdText();

// A fresh random UUID (version 4) as 16 bytes in the original platform's GUID
// layout: Data1 (uint32), Data2 (uint16), Data3 (uint16), Data4[8], each in
// host order. Error only when the system has no random source.
struct Uuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};
Result<Uuid> CreateUuid();

// The text rules behind the readers above, shared by every backend.

// Language id of a locale name such as "ko_KR.UTF-8", "ja" or "C".
uint16_t LanguageIdFromLocaleName(std::string_view localeName);

// The session number in the text of a session file: a decimal u32 with an
// optional line end; 4294967295 ("unset") gives 0. Error when malformed.
Result<uint32_t> ParseSessionIdText(std::string_view text);

// The machine id in the text of a machine-id file: exactly 32 hexadecimal
// characters after the trailing line end is dropped. Error otherwise.
Result<std::string> ParseMachineIdText(std::string_view text);

// A UUID from 16 random bytes: the version (4) and variant (RFC 4122) bits set.
Uuid UuidFromRandomBytes(const uint8_t (&bytes)[16]);

}  // namespace ztn::platform
