// Names of kernel objects and the namespaces they live in.
//
// Events, mutexes and shared memory share one namespace per session plus a
// global one, as on the original platform:
//   "Global\X"        X in the global namespace
//   "Local\X", "X"    X in the caller's session namespace (session 0's is the global one)
//   "Session\<n>\X"   X in session n's namespace
// The prefixes are case-sensitive. After the prefix a name may not contain a
// backslash (PathNotFound), and the whole name is at most 260 UTF-16 units
// (NameTooLong). The root folder of all objects is $ZTN_OBJECT_DIR when set,
// otherwise a fixed machine-wide folder (see ObjectRootDirectory()).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace ztn::platform {

enum class ObjectKind : uint32_t { SharedMemory = 1, Event = 2, Mutex = 3 };

struct ResolvedObjectName {
  uint32_t session = 0;    // namespace: 0 = global, n = session n
  std::u16string leaf;     // the name within its namespace
};

// Splits a name into namespace and leaf, using the caller's session for
// unprefixed and "Local\" names.
Result<ResolvedObjectName> ResolveObjectName(std::u16string_view name);

// The folder that holds every named object of this machine (UTF-8, native form).
std::string ObjectRootDirectory();

}  // namespace ztn::platform
