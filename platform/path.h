// Paths at the OS boundary.
//
// Above the platform layer paths are written the original platform's way,
// with backslashes (the program folder is the text before the last backslash).
// These functions convert at the boundary: both separators are accepted, paths
// handed back use backslashes, and trailing blanks and dots of the last
// component are ignored as the original platform ignores them ("a.dll. " names
// "a.dll"; "." and ".." components are kept).
#pragma once

#include <string>
#include <string_view>

namespace ztn::platform {

// UTF-16 system path -> native UTF-8 path with '/'.
std::string ToNativePath(std::u16string_view path);

// Native UTF-8 path -> UTF-16 system path with '\'.
std::u16string FromNativePath(std::string_view nativePath);

}  // namespace ztn::platform
