// Module hosting: find the module file, load it, drive its exports in a
// fixed order, pump the main thread's messages while it runs, unload it.
//
// Every failure is silent: nothing is loaded or called, and the exit code
// stays as it was. A successfully loaded module is unloaded exactly once,
// after the last call into it. All of this runs on the calling (main) thread,
// whose message queue the pump drains; there is no time limit: the module
// ends the run by making IsCheckModuleRunning return 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostrun/host/hosted_module_exports.h"

namespace ztn::host {

// The path table keys of the utility-mode module.
inline constexpr char16_t kUtilFolderKey[] = u"UTIL_FOLDER";
inline constexpr char16_t kHostUtilModuleKey[] = u"HOST_UTIL_MODULE";

// The pump's pause between two drains of the queue, in milliseconds.
inline constexpr uint32_t kModulePumpIntervalMs = 10;

// True when `path` names an existing plain file (no directory; no sparse,
// offline or virtual file).
bool IsModuleFileUsable(std::u16string_view path);

// Entered after a first IsCheckModuleRunning returned nonzero: drains the
// calling thread's queue (translate, dispatch; no message is special), sleeps
// 10 ms and asks again, until it returns 0.
void RunModulePump(HostedIsCheckModuleRunningFn isCheckModuleRunning);

// Utility mode: the module the path table names under ("UTIL_FOLDER",
// "HOST_UTIL_MODULE"), handed the whole prepared command line. Sets
// `exitCode` to GetResult's value when the module has one.
void HostUtilityModule(const std::u16string& prepared, int32_t& exitCode);

// Remote mode: the module path and options split from the prepared command
// line. Never changes the exit code.
void HostRemoteModule(const std::u16string& prepared);

}  // namespace ztn::host
