// The host's command line: how the tail is formed, prepared and split.
//
// The tail is the program's arguments joined with single blanks, the form in
// which the original platform hands a program its command line. Preparing it
// trims white space at both ends (carriage return and line feed excepted)
// and removes every "/runAsUser", written in exactly that case, wherever it
// stands, without trimming again. The prepared text then picks the mode:
//
//   prepared text             mode     module file                 module command line
//   empty                     remote   none (nothing is loaded)    -
//   starts with "/"           utility  path table lookup           the whole text (CallFunc)
//   no "/" at all             remote   the whole text              - (SetCmdLine not called)
//   a "/" after the start     remote   the text before that "/"    from that "/" on (SetCmdLine)
//
// Pure text functions: thread-safe, never block.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ztn::host {

inline constexpr char16_t kRunAsUserSwitch[] = u"/runAsUser";

// The arguments (UTF-8, argv[1..]) joined with single blanks.
std::u16string JoinArguments(const std::vector<std::string>& arguments);

struct PreparedCommandLine {
  std::u16string text;     // what the relaunch passes on and hosting receives
  bool runAsUser = false;  // the switch was present: the rights test is skipped
};

// Trims the tail and removes the run-as-user switch.
PreparedCommandLine PrepareCommandLine(std::u16string tail);

enum class HostingMode { Utility, Remote };

HostingMode ChooseHostingMode(std::u16string_view prepared);

// Remote mode: the module path is the text before the first "/" (untrimmed),
// the module command line the text from it to the end (empty without one).
struct RemoteCommandLine {
  std::u16string modulePath;
  std::u16string moduleCommandLine;
};
RemoteCommandLine SplitRemoteCommandLine(std::u16string_view prepared);

}  // namespace ztn::host
