#include "support/machine_identity.h"

#include <atomic>
#include <cstdint>

#include "platform/code_page.h"
#include "platform/system_info.h"
#include "support/md5_string.h"
#include "support/string_util.h"

namespace ztn {
namespace {

constexpr char16_t kUnknownIdentity[] = u"Unknown";
constexpr char16_t kIdentitySuffix[] = u"linkmod-machine";

std::atomic<MachineIdReader> machineIdReader{nullptr};

uint32_t HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return c - u'a' + 10;  // GetMD5String writes only 0-9 and A-F
}

}  // namespace

std::u16string MachineIdentityFromMachineId(std::string_view machineIdText) {
  if (machineIdText.empty()) return kUnknownIdentity;
  std::u16string text = platform::AnsiToWideText(machineIdText);
  text += kIdentitySuffix;
  std::u16string digest;
  if (!GetMD5String(text, digest)) return kUnknownIdentity;
  uint32_t value = 0;
  for (size_t i = 0; i < 8; ++i) value = (value << 4) | HexValue(digest[i]);
  std::u16string identity;
  FormatString(identity, u"%X", static_cast<unsigned>(value));
  return identity;
}

bool GetVolumeSerialString(std::u16string& identity) {
  identity.clear();
  const MachineIdReader reader = machineIdReader.load();
  platform::Result<std::string> machineId =
      reader != nullptr ? reader() : platform::ReadMachineIdText();
  identity = machineId.ok() ? MachineIdentityFromMachineId(machineId.value())
                            : std::u16string(kUnknownIdentity);
  return !identity.empty();
}

void SetMachineIdReaderForTesting(MachineIdReader reader) { machineIdReader.store(reader); }

}  // namespace ztn
