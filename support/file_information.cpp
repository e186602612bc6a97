#include "support/file_information.h"

#include <atomic>

#include "platform/file_attributes.h"
#include "support/string_util.h"

namespace ztn {
namespace {

std::atomic<bool> xpProgramData{false};
std::atomic<bool> xpDetectionDone{false};
std::atomic<FileInfoVersionSource> versionSource{nullptr};
std::atomic<WindowsDirectorySource> windowsDirectorySource{nullptr};

constexpr size_t kWindowsDirectoryCapacity = 260;

platform::Result<platform::VersionInfo> ReadVersion() {
  const FileInfoVersionSource source = versionSource.load();
  return source != nullptr ? source() : platform::GetVersionInfo();
}

std::u16string ReadWindowsDirectory() {
  const WindowsDirectorySource source = windowsDirectorySource.load();
  std::u16string directory = source != nullptr ? source() : platform::GetSystemRootDirectory();
  // The original buffer holds 260 units including the terminator; longer
  // texts do not fit and give nothing.
  if (directory.size() >= kWindowsDirectoryCapacity) directory.clear();
  return directory;
}

}  // namespace

FileInformationExW::FileInformationExW() {
  auto version = ReadVersion();
  if (!version.ok() || version->platformId != platform::kPlatformNt) return;
  if (version->majorVersion != 5 || version->minorVersion != 1) return;
  if (xpDetectionDone.exchange(true)) return;

  // The drive part of the Windows directory: everything before the first backslash.
  std::u16string path = ReadWindowsDirectory();
  const size_t backslash = path.find(u'\\');
  if (backslash != std::u16string::npos) path.resize(backslash);
  path += u"\\ProgramData";
  if (DirectoryExists(path)) xpProgramData.store(true);
}

bool FileInformationExW::PathExists(std::u16string_view path, bool* isDirectory) const {
  const uint32_t attributes = platform::GetFileAttributes(path);
  if (isDirectory != nullptr) *isDirectory = false;
  if (attributes == platform::kInvalidFileAttributes) return false;
  if ((attributes & kRefusedAttributes) != 0) return false;
  if ((attributes & platform::kFileAttributeDirectory) == 0) return true;
  if (IsRejectedJunction(path, attributes)) return false;
  if (isDirectory != nullptr) *isDirectory = true;
  return true;
}

bool FileInformationExW::DirectoryExists(std::u16string_view path) const {
  bool isDirectory = false;
  return PathExists(path, &isDirectory) && isDirectory;
}

bool FileInformationExW::IsRejectedJunction(std::u16string_view path,
                                            std::optional<uint32_t> attributes) const {
  const uint32_t value = attributes ? *attributes : platform::GetFileAttributes(path);
  if ((value & platform::kFileAttributeDirectory) == 0) return false;
  if ((value & platform::kFileAttributeReparsePoint) == 0) return false;
  std::u16string lowered(path);
  ToLowerString(lowered);
  if (xpProgramData.load() && lowered.find(u":\\documents and settings") != std::u16string::npos) {
    return false;
  }
  return true;
}

bool FileInformationExW::XpProgramDataFlag() { return xpProgramData.load(); }
bool FileInformationExW::XpDetectionDone() { return xpDetectionDone.load(); }

void SetFileInformationSourcesForTesting(FileInfoVersionSource version,
                                         WindowsDirectorySource windowsDirectory) {
  versionSource.store(version);
  windowsDirectorySource.store(windowsDirectory);
}

}  // namespace ztn
