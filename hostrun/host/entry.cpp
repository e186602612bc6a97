#include "hostrun/host/entry.h"

#include "hostrun/environment/path_table.h"
#include "hostrun/host/command_line.h"
#include "hostrun/host/elevation.h"
#include "hostrun/host/module_host.h"
#include "support/file_information.h"

namespace ztn::host {

int32_t HostEntry(const std::u16string& tail) {
  int32_t edition = kPathTableEditionZtm;
  PathTableAttach(edition);
  (void)PathTableStart(u"", edition);
  if (tail.empty()) {
    PathTableStop(edition);
    return 0;
  }

  const PreparedCommandLine prepared = PrepareCommandLine(tail);
  if (!prepared.runAsUser) {
    if (!IsAdministrator()) {
      RelaunchElevated(prepared.text);
      return 0;
    }
    AnnounceElevatedStart();
  }

  int32_t exitCode = 0;
  {
    // Settles, once per process, the fact the module file test depends on.
    FileInformationExW fileInformation;
    if (ChooseHostingMode(prepared.text) == HostingMode::Utility)
      HostUtilityModule(prepared.text, exitCode);
    else
      HostRemoteModule(prepared.text);
  }
  PathTableStop(edition);
  return exitCode;
}

}  // namespace ztn::host
