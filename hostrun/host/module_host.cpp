#include "hostrun/host/module_host.h"

#include "hostrun/environment/path_table.h"
#include "hostrun/host/command_line.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/system_info.h"
#include "support/caller_token.h"
#include "support/file_information.h"

namespace ztn::host {

bool IsModuleFileUsable(std::u16string_view path) {
  FileInformationExW fileInformation;
  bool isDirectory = false;
  return fileInformation.PathExists(path, &isDirectory) && !isDirectory;
}

void RunModulePump(HostedIsCheckModuleRunningFn isCheckModuleRunning) {
  platform::Message message;
  do {
    while (platform::PeekMessage(message, true)) {
      platform::TranslateMessage(message);
      platform::DispatchMessage(message);
    }
    platform::Sleep(kModulePumpIntervalMs);
  } while (isCheckModuleRunning() != 0);
}

void HostUtilityModule(const std::u16string& prepared, int32_t& exitCode) {
  // The command line outlives the module: it must stay valid until the unload.
  const std::u16string commandLine = prepared;
  std::u16string modulePath;
  (void)PathTableFilePath(kUtilFolderKey, kHostUtilModuleKey, modulePath);
  if (!IsModuleFileUsable(modulePath)) return;
  auto loaded = platform::Module::Load(modulePath);
  if (!loaded.ok()) return;
  platform::Module module = std::move(loaded).value();

  auto initialize = module.GetFunction<HostedInitializeFn>(kHostedInitialize);
  auto isRunning = module.GetFunction<HostedIsCheckModuleRunningFn>(kHostedIsCheckModuleRunning);
  auto callFunc = module.GetFunction<HostedCallFuncFn>(kHostedCallFunc);
  auto getResult = module.GetFunction<HostedGetResultFn>(kHostedGetResult);
  if (initialize != nullptr && isRunning != nullptr) {
    // The module may post to this thread from the start.
    platform::EnsureMessageQueue();
    bool initialized;
    {
      const std::u16string token = MakeCallerToken();
      initialized = initialize(token.c_str()) != 0;
    }
    if (initialized) {
      if (callFunc != nullptr && !commandLine.empty()) (void)callFunc(commandLine.c_str());
      if (isRunning() != 0) RunModulePump(isRunning);
    }
    if (getResult != nullptr) exitCode = getResult();
  }
  module.Free();
}

void HostRemoteModule(const std::u16string& prepared) {
  const RemoteCommandLine split = SplitRemoteCommandLine(prepared);
  if (!IsModuleFileUsable(split.modulePath)) return;
  auto loaded = platform::Module::Load(split.modulePath);
  if (!loaded.ok()) return;
  platform::Module module = std::move(loaded).value();

  auto remoteInitialize = module.GetFunction<HostedRemoteInitializeFn>(kHostedRemoteInitialize);
  auto isRunning = module.GetFunction<HostedIsCheckModuleRunningFn>(kHostedIsCheckModuleRunning);
  auto setCmdLine = module.GetFunction<HostedSetCmdLineFn>(kHostedSetCmdLine);
  if (remoteInitialize != nullptr && isRunning != nullptr) {
    platform::EnsureMessageQueue();
    if (setCmdLine != nullptr && !split.moduleCommandLine.empty())
      (void)setCmdLine(split.moduleCommandLine.c_str());
    if (remoteInitialize() != 0 && isRunning() != 0) RunModulePump(isRunning);
  }
  module.Free();
}

}  // namespace ztn::host
