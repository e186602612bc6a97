// The host's entry: from the command-line tail to the exit code.
//
// Starts the path table (base folder from the global shared space, else the
// program's folder), prepares the command line, makes sure of administrator
// rights (relaunching elevated when they are missing and "/runAsUser" was not
// given), hosts the module in the mode the prepared text picks, stops the
// path table and returns the exit code: GetResult's value in utility mode,
// 0 otherwise and on every failure.
#pragma once

#include <cstdint>
#include <string>

namespace ztn::host {

int32_t HostEntry(const std::u16string& tail);

}  // namespace ztn::host
