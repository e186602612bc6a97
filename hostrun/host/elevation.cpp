#include "hostrun/host/elevation.h"

#include <string>
#include <vector>

#include "hostrun/environment/skin_strings.h"
#include "platform/event.h"
#include "platform/path.h"
#include "platform/process.h"
#include "support/security_block.h"
#include "support/string_util.h"

namespace ztn::host {
namespace {

enum class HelperOutcome { Launched, Declined, Failed };

// The event an elevated instance sets for the process `pid` that started it.
std::u16string RelaunchEventName(uint32_t pid) {
  std::u16string name = u"Global\\HostrunElevated_";
  for (char c : std::to_string(pid)) name += static_cast<char16_t>(c);
  return name;
}

std::string ToUtf8(const std::u16string& text) {
  std::string utf8;
  WideToAnsi(utf8, text);
  return utf8;
}

std::string ProgramFromEnvironment(const char* variable, const char* fallback) {
  auto value = platform::GetEnvVar(variable);
  return value && !value->empty() ? *value : std::string(fallback);
}

HelperOutcome RunElevationHelper(const std::u16string& prepared) {
  const std::string program = platform::ToNativePath(platform::GetProgramPath());
  if (program.empty()) return HelperOutcome::Failed;

  SecurityBlock security;
  auto announced = platform::Event::Create(RelaunchEventName(platform::GetCurrentProcessId()),
                                           /*manualReset=*/true, /*initialState=*/false,
                                           LowIntegrityAttributes(security));
  // A set event left by an earlier attempt would read as a launch.
  if (announced.ok()) (void)announced->Reset();

  std::vector<std::string> arguments{program};
  if (!prepared.empty()) arguments.push_back(ToUtf8(prepared));
  auto helper = platform::Process::Spawn(
      ProgramFromEnvironment(kElevationHelperVariable, kDefaultElevationHelper), arguments);
  if (!helper.ok()) return HelperOutcome::Failed;
  auto status = helper->WaitForExit(platform::kInfinite);
  if (!status.ok()) return HelperOutcome::Failed;

  if (announced.ok() && announced->Wait(0) == platform::WaitResult::Signaled)
    return HelperOutcome::Launched;
  if (status->killedBySignal) return HelperOutcome::Failed;
  if (status->code == kHelperNotAuthorized || status->code == kHelperDismissed)
    return HelperOutcome::Declined;
  return HelperOutcome::Launched;
}

}  // namespace

bool IsAdministrator() {
  auto assumed = platform::GetEnvVar(kAssumeAdministratorVariable);
  if (assumed && *assumed == "1") return true;
  if (assumed && *assumed == "0") return false;
  return platform::GetEffectiveUserId() == 0;
}

void AnnounceElevatedStart() {
  auto event = platform::Event::Open(RelaunchEventName(platform::GetParentProcessId()));
  if (event.ok()) (void)event->Set();
}

int ShowMessageBoxOk(const std::u16string& text, const std::u16string& caption) {
  if (platform::IsDesktopSessionPresent()) {
    auto dialog = platform::Process::Spawn(
        ProgramFromEnvironment(kDialogProgramVariable, kDefaultDialogProgram),
        {"--info", "--no-markup", "--title=" + ToUtf8(caption), "--text=" + ToUtf8(text)});
    if (dialog.ok()) {
      auto status = dialog->WaitForExit(platform::kInfinite);
      // OK gives 0; Escape and closing the window give 1, which is OK here too,
      // as the box has no other button.
      if (status.ok() && !status->killedBySignal && (status->code == 0 || status->code == 1))
        return kBoxOk;
      return kBoxFailed;
    }
    // No dialog program: the terminal, if there is one, is the next best.
  }
  if (platform::WaitForEnterOnTerminal(ToUtf8(caption) + "\n" + ToUtf8(text) + "\n[ OK ]"))
    return kBoxOk;
  return kBoxFailed;
}

int ShowRefusalBox() {
  SkinStringTable table;
  std::u16string text;
  std::u16string caption;
  (void)GetSkinString(kRefusalTextKey, table, text);
  (void)GetSkinString(kRefusalCaptionKey, table, caption);
  return ShowMessageBoxOk(text, caption);
}

void RelaunchElevated(const std::u16string& prepared) {
  for (;;) {
    if (RunElevationHelper(prepared) != HelperOutcome::Declined) return;
    if (ShowRefusalBox() != kBoxOk) return;
  }
}

}  // namespace ztn::host
