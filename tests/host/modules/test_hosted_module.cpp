// A hosted module for the host's tests: records every call, one line each,
// in the file named by $ZTN_HOST_TEST_LOG, and behaves as the environment
// says:
//   ZTN_HOST_TEST_INIT      Initialize's and RemoteInitialize's result (default 1)
//   ZTN_HOST_TEST_RUNNING   how many IsCheckModuleRunning calls return 1
//                           before one returns 0 (default 0)
//   ZTN_HOST_TEST_RESULT    GetResult's value (default 0)
//   ZTN_HOST_TEST_POST      when "1", CallFunc / RemoteInitialize post a quit
//                           message and then a private one to the calling
//                           thread; the handlers log their dispatch
// Built in variants: HOST_TEST_NO_RUNNING leaves out IsCheckModuleRunning,
// HOST_TEST_NO_RESULT leaves out GetResult.
// The unload is logged with whether the path table module was still loaded,
// which tells an unload by the host (before it stops the path table) from
// the clean-up at process exit.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/code_page.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "support/caller_token.h"

#define TEST_API extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kPrivateMessage = ztn::platform::kMessageUser + 7;

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

void Log(const std::string& line) {
  const char* path = std::getenv("ZTN_HOST_TEST_LOG");
  if (path == nullptr) return;
  std::ofstream(path, std::ios::app) << line << "\n";
}

std::string Text(const char16_t* text) {
  return text == nullptr ? "(null)" : "[" + ztn::platform::WideToAnsiText(text) + "]";
}

int runningLeft = EnvInt("ZTN_HOST_TEST_RUNNING", 0);

int64_t OnMessage(void*, const ztn::platform::Message& message) {
  Log("dispatch " + std::to_string(message.message) + " " + std::to_string(message.wParam));
  return 0;
}

void PostTestMessages() {
  if (EnvInt("ZTN_HOST_TEST_POST", 0) != 1) return;
  const auto self = ztn::platform::GetCurrentThreadId();
  ztn::platform::SetThreadMessageHandler(ztn::platform::kMessageQuit, &OnMessage, nullptr);
  ztn::platform::SetThreadMessageHandler(kPrivateMessage, &OnMessage, nullptr);
  const bool posted = ztn::platform::PostThreadMessage(self, ztn::platform::kMessageQuit, 1, 0) &&
                      ztn::platform::PostThreadMessage(self, kPrivateMessage, 2, 0);
  Log(posted ? "posted" : "post failed");
}

struct UnloadLogger {
  ~UnloadLogger() {
    const bool pathTable = ztn::platform::FindLoadedModule(u"ptl.ztm") != nullptr;
    Log(std::string("unload ptl=") + (pathTable ? "1" : "0"));
  }
} unloadLogger;

}  // namespace

TEST_API int32_t Initialize(const char16_t* callerToken) {
  Log("Initialize token=" + std::string(ztn::VerifyCallerToken(callerToken) ? "valid" : "invalid"));
  return EnvInt("ZTN_HOST_TEST_INIT", 1);
}

TEST_API int32_t CallFunc(const char16_t* commandLine) {
  Log("CallFunc " + Text(commandLine));
  PostTestMessages();
  return 1;
}

#ifndef HOST_TEST_NO_RUNNING
TEST_API int32_t IsCheckModuleRunning() {
  Log("IsCheckModuleRunning");
  if (runningLeft > 0) {
    --runningLeft;
    return 1;
  }
  return 0;
}
#endif

#ifndef HOST_TEST_NO_RESULT
TEST_API int32_t GetResult() {
  Log("GetResult");
  return EnvInt("ZTN_HOST_TEST_RESULT", 0);
}
#endif

TEST_API int32_t SetCmdLine(const char16_t* commandLine) {
  Log("SetCmdLine " + Text(commandLine));
  return 1;
}

TEST_API int32_t RemoteInitialize() {
  Log("RemoteInitialize");
  PostTestMessages();
  return EnvInt("ZTN_HOST_TEST_INIT", 1);
}
