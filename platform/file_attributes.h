// File attributes in the original platform's bit layout.
//
// Mapping on POSIX: a directory gives kFileAttributeDirectory; a symbolic link
// to a directory is the equivalent of a junction, directory plus reparse
// point; a symbolic link to a file gives the file's attributes plus reparse
// point; a file with holes (fewer blocks allocated than its size needs) is
// sparse. Offline and virtual never occur here. A file without write
// permission for anyone is read-only.
#pragma once

#include <cstdint>
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
// kInvalidFileAttributes when it does not exist or cannot be read.
uint32_t GetFileAttributes(std::u16string_view path);

// The Windows-directory equivalent, with backslashes; empty on failure.
std::u16string GetSystemRootDirectory();

}  // namespace ztn::platform
