// Base folder text of the global shared space.
#include "hostrun/environment/global_space_text.h"

#include "hostrun/environment/global_space.h"

static_assert(kMaxBaseFolderTextUnits == (kGlobalSpaceSize - kBaseFolderOffset) / 2 - 1);

std::u16string ReadBaseFolderText(const uint8_t* space) {
  constexpr size_t kMaxUnits = (kGlobalSpaceSize - kBaseFolderOffset) / 2;
  std::u16string text;
  if (space == nullptr) return text;
  for (size_t i = 0; i < kMaxUnits; ++i) {
    const uint8_t* unit = space + kBaseFolderOffset + 2 * i;
    const auto value = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (value == 0) break;
    text.push_back(value);
  }
  return text;
}

bool WriteBaseFolderText(uint8_t* space, std::u16string_view text) {
  if (space == nullptr || text.size() > kMaxBaseFolderTextUnits ||
      text.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  uint8_t* at = space + kBaseFolderOffset;
  for (char16_t unit : text) {
    *at++ = static_cast<uint8_t>(unit & 0xFF);
    *at++ = static_cast<uint8_t>(unit >> 8);
  }
  at[0] = 0;
  at[1] = 0;
  return true;
}
