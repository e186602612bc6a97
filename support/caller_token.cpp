#include "support/caller_token.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "support/machine_identity.h"
#include "support/md5_string.h"
#include "support/string_util.h"

namespace ztn {

std::u16string MakeCallerToken() {
  std::u16string token;
  std::srand(static_cast<unsigned>(static_cast<uint32_t>(std::time(nullptr))));

  std::u16string identity;
  if (!GetVolumeSerialString(identity)) return token;

  // The salt's first byte comes from the second draw.
  const int first = std::rand();
  const int second = std::rand();
  std::u16string salt;
  FormatString(salt, u"%02X%02X", second % 255, first % 255);

  std::u16string digest;
  GetMD5String(identity + salt, digest);
  token = salt + digest;
  return token;
}

bool VerifyCallerToken(std::u16string_view token) {
  if (token.empty()) return false;
  const std::u16string_view salt = token.substr(0, 4);
  const std::u16string_view claimed = token.substr(salt.size());

  std::u16string identity;
  if (!GetVolumeSerialString(identity)) return false;
  std::u16string computed;
  GetMD5String(identity.append(salt), computed);
  return CompareNoCase(computed, claimed) == 0;
}

bool VerifyCallerToken(const char16_t* token) {
  return token != nullptr && VerifyCallerToken(std::u16string_view(token));
}

}  // namespace ztn
