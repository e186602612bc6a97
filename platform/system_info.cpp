// System facts: the text rules every backend shares (locale names, session
// and machine-id file contents, UUID bits) and the language from the locale
// environment.
#include "platform/system_info.h"

#include <cstdlib>

namespace ztn::platform {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

Error MalformedText() { return Error{ErrorCode::Unknown, 0}; }

}  // namespace

uint16_t LanguageIdFromLocaleName(std::string_view localeName) {
  // language[_territory][.codeset][@modifier]
  const size_t end = localeName.find_first_of("_.@");
  const std::string_view language = localeName.substr(0, end);
  if (language.size() != 2) return kLanguageEnglishUs;
  const char first = LowerAscii(language[0]);
  const char second = LowerAscii(language[1]);
  if (first == 'k' && second == 'o') return kLanguageKorean;
  if (first == 'j' && second == 'a') return kLanguageJapanese;
  return kLanguageEnglishUs;
}

uint16_t GetSystemDefaultLanguageId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return LanguageIdFromLocaleName(value);
  }
  return kLanguageEnglishUs;
}

Result<uint32_t> ParseSessionIdText(std::string_view text) {
  text = TrimLineEnd(text);
  if (text.empty() || text.size() > 10) return MalformedText();
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return MalformedText();
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return MalformedText();
  if (value == 0xFFFFFFFFu) return uint32_t{0};  // no login session
  return static_cast<uint32_t>(value);
}

Result<std::string> ParseMachineIdText(std::string_view text) {
  text = TrimLineEnd(text);
  if (text.size() != 32) return MalformedText();
  for (char c : text) {
    if (!IsHexDigit(c)) return MalformedText();
  }
  return std::string(text);
}

Uuid UuidFromRandomBytes(const uint8_t (&bytes)[16]) {
  Uuid uuid;
  uuid.data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
               static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  uuid.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  uuid.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  uuid.data3 = static_cast<uint16_t>((uuid.data3 & 0x0FFF) | 0x4000);  // version 4
  for (int i = 0; i < 8; ++i) uuid.data4[i] = bytes[8 + i];
  uuid.data4[0] = static_cast<uint8_t>((uuid.data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return uuid;
}

}  // namespace ztn::platform
