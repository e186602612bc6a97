#include "support/md5_string.h"

#include <cstdint>

#include "support/md5.h"
#include "support/string_util.h"

namespace ztn {

bool GetMD5String(std::u16string_view input, std::u16string& output) {
  output.clear();
  if (input.empty()) return false;

  std::string message;
  WideToAnsi(message, input);
  Md5 md5;
  md5.Update(message.data(), message.size());
  uint8_t digest[16];
  md5.Final(digest);

  for (uint8_t byte : digest) AppendFormatString(output, u"%02X", static_cast<unsigned>(byte));
  return true;
}

}  // namespace ztn
