// The string module's export contract, shared by the client and the modules
// that implement it.
//
// The string module reads a skin file and publishes its texts as a skin
// buffer (see skin_format.h) in named shared memory. It exports plain C
// functions; strings are NUL-terminated UTF-16, results 32-bit integers,
// nonzero for success.
#pragma once

#include <cstdint>

// Units in the buffer handed to GetSkinBufferName (no capacity is passed).
inline constexpr int32_t kSkinBufferNameCapacity = 260;

extern "C" {
// (caller token, skin file path): nonzero when the skin buffer is published.
using StringModuleInitializeV2Fn = int32_t (*)(const char16_t* callerToken,
                                               const char16_t* skinFilePath);
// (output of 260 units): nonzero when it holds the skin buffer's name.
using StringModuleGetSkinBufferNameFn = int32_t (*)(char16_t* name);
// Bracket the module's initialisation, the publication and the caller's
// mapping of the skin buffer.
using StringModuleLockFn = int32_t (*)();
using StringModuleUnlockFn = int32_t (*)();
}
