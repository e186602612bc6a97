#include "hostrun/host/command_line.h"

#include "support/string_util.h"

namespace ztn::host {

std::u16string JoinArguments(const std::vector<std::string>& arguments) {
  std::u16string tail;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i != 0) tail += u' ';
    std::u16string wide;
    Utf8ToWide(wide, arguments[i]);
    tail += wide;
  }
  return tail;
}

PreparedCommandLine PrepareCommandLine(std::u16string tail) {
  PreparedCommandLine prepared;
  TrimString(tail);
  if (tail.find(kRunAsUserSwitch) != std::u16string::npos) {
    ReplaceAll(tail, kRunAsUserSwitch, u"");
    prepared.runAsUser = true;
  }
  prepared.text = std::move(tail);
  return prepared;
}

HostingMode ChooseHostingMode(std::u16string_view prepared) {
  return !prepared.empty() && prepared.front() == u'/' ? HostingMode::Utility
                                                       : HostingMode::Remote;
}

RemoteCommandLine SplitRemoteCommandLine(std::u16string_view prepared) {
  RemoteCommandLine split;
  size_t slash = prepared.find(u'/');
  if (slash == std::u16string_view::npos) {
    split.modulePath = std::u16string(prepared);
  } else {
    split.modulePath = std::u16string(prepared.substr(0, slash));
    split.moduleCommandLine = std::u16string(prepared.substr(slash));
  }
  return split;
}

}  // namespace ztn::host
