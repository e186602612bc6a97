// Security attributes of named objects.
//
// On the original platform an object may carry a NULL DACL (every user gets
// full access) and a low-integrity mandatory label (processes of any integrity
// level may write it). The POSIX backend models the first as mode 0666 whatever
// the umask, in a root folder with the sticky bit; without it an object is
// readable and writable by its creating user only (0600). The label has no
// POSIX equivalent and is accepted but ignored: every process of a user that can
// open the file can write it.
#pragma once

namespace ztn::platform {

struct SecurityAttributes {
  bool everyoneFullAccess = false;  // NULL DACL
  bool lowIntegrityLabel = false;   // "S:(ML;;NW;;;LW)"; no effect on POSIX
};

}  // namespace ztn::platform
