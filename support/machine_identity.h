// The machine identity: a short text that is the same for every process of
// this machine and differs between machines. It stands where the original
// platform used the serial number of the system volume, and keeps that form:
// a 32-bit number written "%X" (1 to 8 upper-case hex digits, no leading
// zeros), or "Unknown" when the machine's identity source cannot be read.
//
// Derivation: the machine id text (32 hex characters, as stored) followed by
// "linkmod-machine", hashed with GetMD5String; the first 8 characters of that
// text read as a hexadecimal number give the 32-bit value.
//
// Reads the identity source on every call; thread-safe; never blocks beyond a
// small file read.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace ztn {

// Clears `identity`, then writes the machine identity. True when the result
// is non-empty (always, on this platform: "Unknown" stands for an unreadable
// source).
bool GetVolumeSerialString(std::u16string& identity);

// The identity for a given machine id text; "Unknown" for an empty text.
std::u16string MachineIdentityFromMachineId(std::string_view machineIdText);

// Replaces the machine id source (platform::ReadMachineIdText) for tests;
// nullptr restores it.
using MachineIdReader = platform::Result<std::string> (*)();
void SetMachineIdReaderForTesting(MachineIdReader reader);

}  // namespace ztn
