// Skin source, skin file and skin buffer: writers and bounded readers.
#include "hostrun/environment/skin_format.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "hostrun/crypt/crypt_tool.h"
#include "platform/code_page.h"
#include "support/string_util.h"

namespace {

constexpr uint8_t kSkinFileMagic[4] = {'Z', 'S', 'K', 'N'};
constexpr uint8_t kSkinBufferMagic[4] = {'Z', 'S', 'K', 'B'};

bool DecodeUtf8(std::string_view text, std::u16string& out) {
  auto wide = ztn::platform::Utf8ToWideExact(text);
  if (!wide) return false;
  out = std::move(*wide);
  return true;
}

bool EncodeUtf8(std::u16string_view text, std::string& out) {
  auto utf8 = ztn::platform::WideToUtf8Exact(text);
  if (!utf8) return false;
  out = std::move(*utf8);
  return true;
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void SetU32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool IsKeyCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '-';
}

std::string LineMessage(size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

bool ParseSkinSource(std::string_view source, std::vector<SkinText>& texts, std::string& error) {
  std::vector<SkinText> parsed;
  std::set<std::u16string> keys;
  if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
  size_t lineNumber = 0;
  while (!source.empty()) {
    ++lineNumber;
    const size_t end = source.find('\n');
    std::string_view line = source.substr(0, end);
    source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = LineMessage(lineNumber, "expected KEY=text");
      return false;
    }
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (key.empty()) {
      error = LineMessage(lineNumber, "empty key");
      return false;
    }
    for (char c : key) {
      if (!IsKeyCharacter(c)) {
        error = LineMessage(lineNumber, "key may hold only letters, digits, '_', '.' and '-'");
        return false;
      }
    }
    SkinText entry;
    entry.key.assign(key.begin(), key.end());
    if (!DecodeUtf8(line.substr(equals + 1), entry.text)) {
      error = LineMessage(lineNumber, "text is not valid UTF-8");
      return false;
    }
    if (!keys.insert(entry.key).second) {
      error = LineMessage(lineNumber, "duplicate key " + std::string(key));
      return false;
    }
    parsed.push_back(std::move(entry));
  }
  texts = std::move(parsed);
  return true;
}

bool SerializeSkinFile(const std::vector<SkinText>& texts, std::vector<uint8_t>& file,
                       std::string& error) {
  std::vector<uint8_t> out(kSkinFileMagic, kSkinFileMagic + 4);
  PutU32(out, kSkinFileVersion);
  PutU32(out, static_cast<uint32_t>(texts.size()));
  std::string key;
  std::string text;
  for (const SkinText& entry : texts) {
    if (!EncodeUtf8(entry.key, key) || !EncodeUtf8(entry.text, text)) {
      error = "text holds an unpaired surrogate";
      return false;
    }
    PutU32(out, entry.kind);
    PutU32(out, static_cast<uint32_t>(key.size()));
    out.insert(out.end(), key.begin(), key.end());
    PutU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
  }
  file = std::move(out);
  return true;
}

bool ParseSkinFile(const uint8_t* data, size_t size, std::vector<SkinText>& texts,
                   std::string& error) {
  if (data == nullptr || size < 12 || std::memcmp(data, kSkinFileMagic, 4) != 0) {
    error = "not a skin file";
    return false;
  }
  if (GetU32(data + 4) != kSkinFileVersion) {
    error = "unsupported skin file version " + std::to_string(GetU32(data + 4));
    return false;
  }
  const uint32_t count = GetU32(data + 8);
  size_t offset = 12;
  auto takeString = [&](std::u16string& value) {
    if (size - offset < 4) return false;
    const uint32_t length = GetU32(data + offset);
    offset += 4;
    if (size - offset < length) return false;
    std::string_view bytes(reinterpret_cast<const char*>(data + offset), length);
    offset += length;
    return DecodeUtf8(bytes, value);
  };
  std::vector<SkinText> parsed;
  std::set<std::pair<uint32_t, std::u16string>> seen;
  for (uint32_t i = 0; i < count; ++i) {
    SkinText entry;
    if (size - offset < 4) {
      error = "skin file is truncated";
      return false;
    }
    entry.kind = GetU32(data + offset);
    offset += 4;
    if (!takeString(entry.key) || !takeString(entry.text)) {
      error = "entry " + std::to_string(i) + " is truncated or not valid UTF-8";
      return false;
    }
    if (!seen.emplace(entry.kind, entry.key).second) {
      error = "duplicate key in entry " + std::to_string(i);
      return false;
    }
    parsed.push_back(std::move(entry));
  }
  if (offset != size) {
    error = "bytes after the last entry";
    return false;
  }
  texts = std::move(parsed);
  return true;
}

std::vector<uint8_t> BuildSkinBuffer(const std::vector<SkinText>& texts) {
  std::vector<uint8_t> data;
  std::vector<SkinEntry> entries;
  ztn::CryptTool crypt;
  for (const SkinText& entry : texts) {
    ztn::ByteArray plain;
    for (char16_t unit : entry.text) {
      plain.push_back(static_cast<uint8_t>(unit & 0xFF));
      plain.push_back(static_cast<uint8_t>(unit >> 8));
    }
    plain.push_back(0);
    plain.push_back(0);
    ztn::ByteArray cipher;
    crypt.Rc4Crypt(plain, cipher);  // cannot fail: the input holds at least the NUL
    const uint32_t hash = ztn::HashString(entry.key);
    entries.push_back(SkinEntry{entry.kind, hash, static_cast<uint32_t>(data.size())});
    PutU32(data, hash);
    PutU32(data, static_cast<uint32_t>(cipher.size()));
    data.insert(data.end(), cipher.begin(), cipher.end());
  }

  std::vector<uint8_t> buffer;
  PutU32(buffer, 0);  // body size, set below
  buffer.insert(buffer.end(), kSkinBufferMagic, kSkinBufferMagic + 4);
  PutU32(buffer, kSkinBufferVersion);
  PutU32(buffer, static_cast<uint32_t>(data.size()));
  PutU32(buffer, static_cast<uint32_t>(entries.size()));
  for (const SkinEntry& entry : entries) {
    PutU32(buffer, entry.kind);
    PutU32(buffer, entry.hash);
    PutU32(buffer, entry.recordOffset);
  }
  buffer.insert(buffer.end(), data.begin(), data.end());
  SetU32(buffer, 0, static_cast<uint32_t>(buffer.size() - 4));
  return buffer;
}

bool SkinBufferView::ReadU32(uint64_t offset, uint32_t& value) const {
  if (data_ == nullptr || offset > size_ || size_ - offset < 4) return false;
  value = GetU32(data_ + offset);
  return true;
}

uint32_t SkinBufferView::BodySize() const {
  uint32_t value = 0;
  return ReadU32(0, value) ? value : 0;
}

int32_t SkinBufferView::DeclaredCount() const {
  uint32_t value = 0;
  return ReadU32(16, value) ? static_cast<int32_t>(value) : 0;
}

size_t SkinBufferView::UsableEntries() const {
  const int32_t count = DeclaredCount();
  if (count <= 0 || size_ < kSkinHeaderSize) return 0;
  const size_t inside = (size_ - kSkinHeaderSize) / kSkinEntrySize;
  return std::min(static_cast<size_t>(count), inside);
}

bool SkinBufferView::Entry(size_t index, SkinEntry& entry) const {
  if (index >= UsableEntries()) return false;
  const uint8_t* at = data_ + kSkinHeaderSize + kSkinEntrySize * index;
  entry.kind = GetU32(at);
  entry.hash = GetU32(at + 4);
  entry.recordOffset = GetU32(at + 8);
  return true;
}

uint64_t SkinBufferView::DataAreaOffset() const {
  const int32_t count = DeclaredCount();
  return kSkinHeaderSize + static_cast<uint64_t>(count > 0 ? count : 0) * kSkinEntrySize;
}

bool SkinBufferView::Record(uint32_t recordOffset, const uint8_t*& bytes,
                            uint32_t& length) const {
  const uint64_t start = DataAreaOffset() + recordOffset;
  uint32_t n = 0;
  if (!ReadU32(start + 4, n)) return false;
  const uint64_t textStart = start + kSkinRecordHeaderSize;
  if (textStart > size_ || size_ - textStart < n) return false;
  bytes = data_ + textStart;
  length = n;
  return true;
}

std::u16string DecryptSkinRecord(const uint8_t* bytes, uint32_t length) {
  std::u16string text;
  if (bytes == nullptr || length == 0) return text;
  ztn::ByteArray cipher(bytes, bytes + length);
  ztn::ByteArray plain;
  if (!ztn::CryptTool().Rc4Crypt(cipher, plain)) return text;
  for (size_t i = 0; i + 1 < plain.size(); i += 2) {
    const auto unit = static_cast<char16_t>(plain[i] | (plain[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

bool FindSkinText(const SkinBufferView& view, uint32_t hash, std::u16string& text) {
  text.clear();
  const size_t usable = view.UsableEntries();
  for (size_t i = 0; i < usable; ++i) {
    SkinEntry entry;
    if (!view.Entry(i, entry)) break;
    if (entry.kind != kSkinTextKind || entry.hash != hash) continue;
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (!view.Record(entry.recordOffset, bytes, length)) continue;
    if (length == 0) return false;
    text = DecryptSkinRecord(bytes, length);
    return true;
  }
  return false;
}
