// String and skin module client.
//
// Loading brackets the module's work with its Lock and Unlock exports: the
// module initialises and publishes, the table maps the buffer, then the
// module is unloaded. The mapping outlives the module; the texts are read
// from it later. The buffer is memory another process wrote, so every read
// goes through SkinBufferView's bounds checks.
#include "hostrun/environment/skin_strings.h"

#include <array>

#include "hostrun/environment/path_table.h"
#include "hostrun/environment/string_module_exports.h"
#include "platform/module.h"
#include "platform/system_info.h"
#include "support/caller_token.h"
#include "support/file_information.h"
#include "support/string_util.h"

namespace {

constexpr uint16_t kLanguageKorean = 0x0412;
constexpr uint16_t kLanguageJapanese = 0x0411;

// The path of a skin file key with ".dat" read as ".skn"; empty when the
// path table has none.
std::u16string SkinCandidate(const char16_t* fileKey) {
  std::u16string path;
  if (!PathTableFilePath(u"CONFIG_FOLDER", fileKey, path)) path.clear();
  ztn::ReplaceAll(path, u".dat", u".skn");
  return path;
}

bool IsPlainFile(const std::u16string& path) {
  if (path.empty()) return false;
  ztn::FileInformationExW fileInformation;
  bool isDirectory = false;
  return fileInformation.PathExists(path, &isDirectory) && !isDirectory;
}

}  // namespace

SkinBufferView SkinStringTable::View() const {
  if (firstEntry == nullptr) return SkinBufferView();
  return SkinBufferView(static_cast<const uint8_t*>(buffer.Data()), buffer.Size());
}

bool GetSkinString(std::u16string_view key, SkinStringTable& table, std::u16string& text) {
  if (key.find(kSkinKeyMarker) == std::u16string_view::npos) {
    text.assign(key);
    return false;
  }
  if (table.firstEntry == nullptr) (void)LoadSkinStrings(table);
  if (!FindSkinString(table, ztn::HashString(key), text)) {
    text.assign(key);
    return false;
  }
  ztn::ReplaceAll(text, u"\\n", u"\n");
  ztn::ReplaceAll(text, u"\\r", u"\r");
  return true;
}

bool MapSkinBuffer(SkinStringTable& table, std::u16string_view name) {
  const std::u16string bufferName(name);
  table.buffer.Release();
  table.firstEntry = nullptr;
  table.entryCount = 0;
  table.dataAreaOffset = 0;

  if (table.buffer.CreateNamed(bufferName, 4, false) == 0) {
    table.buffer.Release();
    return false;
  }
  const uint32_t bodySize =
      SkinBufferView(static_cast<const uint8_t*>(table.buffer.Data()), table.buffer.Size())
          .BodySize();
  table.buffer.Release();
  // The whole buffer must hold at least the header, and its size must fit
  // the 32-bit size of a mapping.
  if (bodySize < kSkinHeaderSize - 4 || bodySize > UINT32_MAX - 4) return false;
  if (table.buffer.CreateNamed(bufferName, bodySize + 4, false) == 0) {
    table.buffer.Release();
    return false;
  }
  const auto* start = static_cast<const uint8_t*>(table.buffer.Data());
  const SkinBufferView view(start, table.buffer.Size());
  table.entryCount = view.DeclaredCount();
  table.dataAreaOffset = view.DataAreaOffset();
  table.firstEntry = start + kSkinHeaderSize;
  return true;
}

bool LoadSkinStrings(SkinStringTable& table) {
  table.lock.Enter();
  bool loaded = false;

  int32_t edition = kPathTableEditionZtm;
  PathTableAttach(edition);
  std::u16string modulePath;
  (void)PathTableFilePath(u"UTIL_FOLDER", u"STRING_MODULE", modulePath);

  auto module = ztn::platform::Module::Load(modulePath);
  if (!module.ok()) {
    table.lock.Leave();
    return false;
  }
  const auto initialize = module->GetFunction<StringModuleInitializeV2Fn>("Initialize_V2");
  const auto getName = module->GetFunction<StringModuleGetSkinBufferNameFn>("GetSkinBufferName");
  const auto lock = module->GetFunction<StringModuleLockFn>("Lock");
  const auto unlock = module->GetFunction<StringModuleUnlockFn>("Unlock");

  std::u16string skinFile;
  ChooseSkinFile(skinFile);
  if (lock != nullptr) (void)lock();

  bool ready = false;
  if (initialize != nullptr && getName != nullptr) {
    const std::u16string token = ztn::MakeCallerToken();
    ready = initialize(token.c_str(), skinFile.c_str()) != 0;
  }
  if (ready) {
    // One unit more than the module may fill, always NUL, so a name without
    // a terminator ends at the buffer's end.
    std::array<char16_t, kSkinBufferNameCapacity + 1> name{};
    if (getName(name.data()) != 0 && name[0] != 0) {
      name[kSkinBufferNameCapacity] = 0;
      loaded = MapSkinBuffer(table, name.data());
    }
  }

  if (unlock != nullptr) (void)unlock();
  module->Free();
  table.lock.Leave();
  return loaded;
}

bool FindSkinString(const SkinStringTable& table, uint32_t hash, std::u16string& text) {
  return FindSkinText(table.View(), hash, text);
}

void ChooseSkinFile(std::u16string& path) {
  int32_t edition = kPathTableEditionZtm;
  PathTableAttach(edition);
  path.clear();

  const uint16_t language = ztn::platform::GetSystemDefaultLanguageId();
  if (language == kLanguageKorean) {
    path = SkinCandidate(u"SKIN_FILE");
  } else if (language == kLanguageJapanese) {
    path = SkinCandidate(u"SKIN_FILE_JP");
  }
  if (IsPlainFile(path)) return;
  path = SkinCandidate(u"SKIN_FILE_EN");
  if (IsPlainFile(path)) return;
  path = SkinCandidate(u"SKIN_FILE");
  if (IsPlainFile(path)) return;
  path = SkinCandidate(u"SKIN_FILE_JP");
}
