// The caller token: proof that the caller computed it on this machine.
//
// 36 UTF-16 characters: a 4-character salt ("%02X%02X" of two random bytes,
// each 0 to 254) followed by the MD5 text of (machine identity + salt). The
// empty string means "no token" (the producer had no machine identity).
// Nothing is kept between calls; the machine identity is read every time.
#pragma once

#include <string>
#include <string_view>

namespace ztn {

// A fresh token, or the empty string when the machine identity is not
// available. Reseeds the C runtime's generator (srand) with the current time
// in seconds on every call, so tokens made within one second are equal.
std::u16string MakeCallerToken();

// True when `token` is a valid caller token of this machine. The digest part
// is compared ignoring letter case; the salt is hashed exactly as written.
// A null pointer is rejected.
bool VerifyCallerToken(std::u16string_view token);
bool VerifyCallerToken(const char16_t* token);

}  // namespace ztn
