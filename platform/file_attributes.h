// File attributes in the original platform's bit layout.
//
// Mapping on POSIX: a directory gives kFileAttributeDirectory; a symbolic link
// to a directory is the equivalent of a junction, directory plus reparse
// point; a symbolic link to a file gives the file's attributes plus reparse
// point; a dangling link names nothing (kInvalidFileAttributes). A file with
// holes (fewer blocks allocated than its size needs, confirmed by asking for
// the first hole where the file can be opened) is sparse. A file or folder
// without write permission for anyone is read-only. A device, pipe or socket
// is no file a program can read as one: it is reported as virtual, which the
// file tests refuse. Offline never occurs here.
//
// Thread-safe; reads file metadata only (and, for a possibly sparse file,
// opens it briefly), so it does not block beyond the file system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ztn::platform {

inline constexpr uint32_t kFileAttributeReadOnly = 0x1;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeNormal = 0x80;
inline constexpr uint32_t kFileAttributeSparseFile = 0x200;
inline constexpr uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr uint32_t kFileAttributeOffline = 0x1000;
inline constexpr uint32_t kFileAttributeVirtual = 0x10000;
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Attributes of the path (system form, either separator), or
// kInvalidFileAttributes when it is empty, does not exist or cannot be read.
uint32_t GetFileAttributes(std::u16string_view path);

// The Windows-directory equivalent, with backslashes. Callers use it only to
// find "the drive that holds the system"; here there are no drives, so it is
// the root folder "\" (the text before its first backslash, the drive, is
// empty). Never fails.
std::u16string GetSystemRootDirectory();

}  // namespace ztn::platform
