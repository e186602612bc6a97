// FileInformationExW: whether a path names something usable, that is an
// existing plain file, or an existing directory that is not a junction.
//
// Refused: missing or unreadable paths, sparse, offline and virtual files,
// and directories that are reparse points (a symbolic link to a directory
// here). The one exemption, junctions below "Documents and Settings" on
// Windows XP with a real ProgramData folder on the Windows drive, depends on a
// process-wide flag that the first constructor settles; on this platform the
// version is 6.2, so the flag stays false.
// The path operations keep no state. The flags are settled once per process;
// construct the first object before other threads use the class. Never blocks
// beyond a file-attribute read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/system_info.h"

namespace ztn {

class FileInformationExW {
 public:
  // Attribute bits that refuse a path outright: sparse, offline, virtual.
  static constexpr uint32_t kRefusedAttributes = 0x11200;

  // On Windows XP, the first construction checks for "<drive>\ProgramData".
  FileInformationExW();
  virtual ~FileInformationExW() = default;

  // True for an existing plain file (*isDirectory false) or an accepted
  // directory (*isDirectory true); false otherwise, with *isDirectory false.
  bool PathExists(std::u16string_view path, bool* isDirectory = nullptr) const;

  // True when PathExists accepts the path as a directory.
  bool DirectoryExists(std::u16string_view path) const;

  // True for a directory that is a reparse point and is not exempted.
  // `attributes`: the attributes already read, or nothing to read them here.
  bool IsRejectedJunction(std::u16string_view path,
                          std::optional<uint32_t> attributes = std::nullopt) const;

  // The process-wide flags.
  static bool XpProgramDataFlag();
  static bool XpDetectionDone();
};

// For tests: replace the version query and the Windows-directory source the
// constructor uses; nullptr restores the platform's.
using FileInfoVersionSource = platform::Result<platform::VersionInfo> (*)();
using WindowsDirectorySource = std::u16string (*)();
void SetFileInformationSourcesForTesting(FileInfoVersionSource version,
                                         WindowsDirectorySource windowsDirectory);

}  // namespace ztn
