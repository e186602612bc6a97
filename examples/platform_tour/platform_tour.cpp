// A short tour of the platform layer and the support library: the machine
// identity and caller token, a message handed to a second process through
// named shared memory and events, an object that disappears with the process
// that held it, and a debug line caught by a listener.
//
// Usage: platform_tour            (the tour)
//        platform_tour --peer ... (the second process; started by the tour)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/object_name.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/system_info.h"
#include "support/caller_token.h"
#include "support/machine_identity.h"
#include "support/security_block.h"

namespace {

using namespace ztn;
using platform::AnsiToWideText;
using platform::WideToAnsiText;

constexpr size_t kMessageBytes = 256;

std::u16string Name(const std::string& base, const char* suffix) {
  return AnsiToWideText(base + suffix);
}

// The second process: reads the greeting, answers in the same memory, wakes
// the tour, writes a debug line, and (when asked) leaves an object behind by
// ending without closing anything.
int RunPeer(const std::string& base, const std::string& mode) {
  if (mode == "abandon") {
    SecurityBlock block;
    auto orphan = platform::SharedMemory::Create(Name(base, "_orphan"), 4096, LowIntegrityAttributes(block));
    if (!orphan.ok()) return 1;
    std::_Exit(0);  // no destructors run: the system has to notice on its own
  }
  auto memory = platform::SharedMemory::Open(Name(base, "_mem"));
  auto ready = platform::Event::Open(Name(base, "_answered"));
  if (!memory.ok() || !ready.ok()) return 2;
  auto view = memory->Map();
  if (!view.ok()) return 3;
  char* text = static_cast<char*>(view->Data());
  std::string greeting(text, strnlen(text, kMessageBytes));
  std::string answer = "peer " + std::to_string(platform::GetCurrentProcessId()) + " read \"" + greeting + "\"";
  std::snprintf(text, kMessageBytes, "%s", answer.c_str());
  platform::WriteDebugString(u"hello from the peer's debug output");
  return ready->Set().ok() ? 0 : 4;
}

bool Step(bool ok, const char* what) {
  std::printf("  [%s] %s\n", ok ? "ok" : "FAILED", what);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--peer") == 0) return RunPeer(argv[2], argv[3]);

  const std::string program = platform::ToNativePath(platform::GetProgramPath());
  const std::string base = "tour_" + std::to_string(platform::GetCurrentProcessId());
  bool ok = true;

  std::printf("Objects live under %s\n", platform::ObjectRootDirectory().c_str());
  auto session = platform::GetProcessSessionId();
  std::printf("Session %u\n", session.ok() ? *session : 0u);

  std::printf("\n1. Machine identity and caller token\n");
  std::u16string identity;
  GetVolumeSerialString(identity);
  std::printf("  machine identity: %s\n", WideToAnsiText(identity).c_str());
  std::u16string token = MakeCallerToken();
  std::printf("  caller token:     %s\n", WideToAnsiText(token).c_str());
  ok &= Step(VerifyCallerToken(token), "the token verifies on this machine");
  std::u16string forged = token;
  if (!forged.empty()) forged.back() = forged.back() == u'0' ? u'1' : u'0';
  ok &= Step(!VerifyCallerToken(forged), "a token with one digit changed does not");

  std::printf("\n2. A message through named shared memory and an event\n");
  auto listener = platform::DebugListener::Start();
  SecurityBlock block;
  auto memory = platform::SharedMemory::Create(Name(base, "_mem"), kMessageBytes, LowIntegrityAttributes(block));
  auto answered = platform::Event::Create(Name(base, "_answered"), false, false, LowIntegrityAttributes(block));
  if (!Step(memory.ok() && answered.ok(), "created shared memory and an auto-reset event")) return 1;
  auto view = memory->Map();
  if (!view.ok()) return 1;
  std::snprintf(static_cast<char*>(view->Data()), kMessageBytes, "greetings from %u", platform::GetCurrentProcessId());
  auto peer = platform::Process::Spawn(program, {"--peer", base, "talk"});
  ok &= Step(peer.ok(), "started the peer process");
  bool woke = peer.ok() && answered->Wait(10000) == platform::WaitResult::Signaled;
  ok &= Step(woke, "the peer's answer woke us");
  if (woke) std::printf("  answer: %s\n", static_cast<const char*>(view->Data()));
  if (listener.ok()) {
    auto line = listener->Next(10000);
    ok &= Step(line.ok(), "its debug line reached our listener");
    if (line.ok()) std::printf("  debug line from process %u: %s\n", line->processId, line->text.c_str());
  }
  if (peer.ok()) (void)peer->WaitForExit(10000);

  std::printf("\n3. An object dies with the last process that held it\n");
  auto abandoner = platform::Process::Spawn(program, {"--peer", base, "abandon"});
  auto status = abandoner.ok() ? abandoner->WaitForExit(10000) : platform::Result<platform::ExitStatus>(abandoner.error());
  ok &= Step(status.ok() && status->code == 0, "a peer created an object and ended without closing it");
  auto orphan = platform::SharedMemory::Open(Name(base, "_orphan"));
  ok &= Step(orphan.code() == platform::ErrorCode::FileNotFound, "the object is gone: opening it fails");

  std::printf("\n%s\n", ok ? "Tour complete." : "Tour finished with failures.");
  return ok ? 0 : 1;
}
