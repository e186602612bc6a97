// The export contract of a hosted module: the plain C functions, under these
// undecorated names, that the host binds by name and calls on its main
// thread. Strings are NUL-terminated UTF-16.
//
// Utility mode (the command line starts with "/"):
//   Initialize(callerToken)   required; nonzero: go on. The token text is
//                             valid only during the call.
//   CallFunc(commandLine)     optional; starts the work for the whole command
//                             line (leading "/" included). Result not used.
//   IsCheckModuleRunning()    required; nonzero while the work goes on.
//   GetResult()               optional; becomes the host's exit code, asked
//                             also when Initialize returned 0.
// Remote mode (a module path, optionally followed by options from a "/"):
//   SetCmdLine(options)       optional; called before RemoteInitialize, only
//                             when there are options. Result not used.
//   RemoteInitialize()        required; nonzero: go on.
//   IsCheckModuleRunning()    required, as above.
// Command-line texts stay valid and unchanged until the module is unloaded.
// The host never tells a module to stop: it stops asking once
// IsCheckModuleRunning has returned 0, then unloads it.
#pragma once

#include <cstdint>

namespace ztn::host {

using HostedInitializeFn = int32_t (*)(const char16_t* callerToken);
using HostedIsCheckModuleRunningFn = int32_t (*)();
using HostedCallFuncFn = int32_t (*)(const char16_t* commandLine);
using HostedGetResultFn = int32_t (*)();
using HostedRemoteInitializeFn = int32_t (*)();
using HostedSetCmdLineFn = int32_t (*)(const char16_t* commandLine);

inline constexpr char kHostedInitialize[] = "Initialize";
inline constexpr char kHostedIsCheckModuleRunning[] = "IsCheckModuleRunning";
inline constexpr char kHostedCallFunc[] = "CallFunc";
inline constexpr char kHostedGetResult[] = "GetResult";
inline constexpr char kHostedRemoteInitialize[] = "RemoteInitialize";
inline constexpr char kHostedSetCmdLine[] = "SetCmdLine";

}  // namespace ztn::host
