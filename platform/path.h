// Paths at the OS boundary.
//
// Above the platform layer paths are written the original platform's way,
// with backslashes (the program folder is the text before the last backslash).
// These functions convert at the boundary: both separators are accepted, paths
// handed back use backslashes, and trailing blanks and dots of the last
// component are ignored as the original platform ignores them ("a.dll. " names
// "a.dll"; "." and ".." components are kept; a last component made only of
// blanks and dots vanishes, so "a\..." names the folder "a/").
//
// Pure text functions: thread-safe, never block, touch no file.
#pragma once

#include <string>
#include <string_view>

namespace ztn::platform {

// UTF-16 system path -> native UTF-8 path with '/'. A path that has no
// faithful native form (an unpaired surrogate, an embedded NUL) gives the empty
// path, which names no file.
std::string ToNativePath(std::u16string_view path);

// Native UTF-8 path -> UTF-16 system path with '\'. Bytes that are not UTF-8
// become U+FFFD.
std::u16string FromNativePath(std::string_view nativePath);

}  // namespace ztn::platform
