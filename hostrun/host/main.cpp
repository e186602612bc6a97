// hostrun: runs one module of the product in a process of its own.
// The command line is the arguments joined with single blanks; the exit code
// is the module's result in utility mode and 0 otherwise (the process keeps
// its low 8 bits).
#include <string>
#include <vector>

#include "hostrun/host/command_line.h"
#include "hostrun/host/entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return ztn::host::HostEntry(ztn::host::JoinArguments(arguments));
}
