// Skin data in its three forms.
//
// - Skin source: UTF-8 text, one "KEY=text" per line, which people edit.
// - Skin file (".skn"): the binary form the string module reads.
// - Skin buffer: what the string module publishes in named shared memory and
//   the skin client reads; texts there are RC4-encrypted UTF-16LE.
//
// Skin buffer layout (little-endian):
//   0   4        body size: bytes after this field (whole buffer = body + 4)
//   4   12       header: magic "ZSKB", format version, size of the data area
//   16  4        entry count (signed)
//   20  12 x n   entries: kind, key hash (HashString of the key), record
//                offset from the start of the data area
//   ..           data area: records of key hash, length n, n encrypted bytes
// Only entries of kind 0 are texts. The buffer lives in memory other
// processes can write, so SkinBufferView checks every offset against the
// mapped size before it reads.
//
// Skin file layout (little-endian):
//   0   4        magic "ZSKN"
//   4   4        format version (1)
//   8   4        entry count
//   12  ...      entries: kind u32, key length u32, key (UTF-8), text length
//                u32, text (UTF-8). Nothing may follow the last entry.
//
// All functions are pure over their arguments and safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kSkinHeaderSize = 20;
inline constexpr uint32_t kSkinEntrySize = 12;
inline constexpr uint32_t kSkinRecordHeaderSize = 8;
inline constexpr uint32_t kSkinTextKind = 0;
inline constexpr uint32_t kSkinBufferVersion = 1;
inline constexpr uint32_t kSkinFileVersion = 1;
// A skin file larger than this is refused rather than read into memory.
inline constexpr size_t kMaxSkinFileSize = 16u * 1024u * 1024u;

// One text of a skin: key and text as UTF-16.
struct SkinText {
  uint32_t kind = kSkinTextKind;
  std::u16string key;
  std::u16string text;
};

// Parses skin source text. Lines that are empty or start with '#' are
// skipped; a UTF-8 byte order mark and CR before LF are tolerated. Every
// other line is KEY=text: the key (spaces around it dropped) is made of
// letters, digits, '_', '.' and '-'; the text is everything after the first
// '=' as written (a backslash followed by n or r stays two characters; the
// skin client turns them into line breaks). Returns false with a message
// naming the line on invalid UTF-8, a line without '=', a bad or duplicate
// key.
bool ParseSkinSource(std::string_view source, std::vector<SkinText>& texts,
                     std::string& error);

// Skin file bytes for the texts. Fails (false, message) only when a key or
// text cannot be written as UTF-8 (an unpaired surrogate).
bool SerializeSkinFile(const std::vector<SkinText>& texts, std::vector<uint8_t>& file,
                       std::string& error);

// Reads skin file bytes. False with a message on a wrong magic or version, a
// length that runs past the end, bytes after the last entry, invalid UTF-8 or
// a duplicate key of the same kind.
bool ParseSkinFile(const uint8_t* data, size_t size, std::vector<SkinText>& texts,
                   std::string& error);

// Builds a complete skin buffer (body size field included) for the texts,
// each text stored as UTF-16LE with a terminating NUL unit and encrypted with
// the product's RC4 key. Entries keep the order of `texts`.
std::vector<uint8_t> BuildSkinBuffer(const std::vector<SkinText>& texts);

// One entry of the entry table.
struct SkinEntry {
  uint32_t kind = 0;
  uint32_t hash = 0;
  uint32_t recordOffset = 0;
};

// A bounds-checked reader over a mapped skin buffer of `size` bytes.
class SkinBufferView {
 public:
  SkinBufferView() = default;
  SkinBufferView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // The body size field; 0 when the buffer is shorter than 4 bytes.
  uint32_t BodySize() const;
  // The entry count as stored (may be negative or huge); 0 when the buffer
  // is too short to hold it.
  int32_t DeclaredCount() const;
  // How many entries, from the first, lie wholly inside the buffer and are
  // covered by the declared count.
  size_t UsableEntries() const;
  // Entry `index`; false when it is not usable.
  bool Entry(size_t index, SkinEntry& entry) const;
  // The encrypted bytes of the record at `recordOffset` of the data area.
  // False when the record header or its bytes reach past the buffer.
  bool Record(uint32_t recordOffset, const uint8_t*& bytes, uint32_t& length) const;
  // Start of the data area from the buffer start (20 + 12 x count, count < 0
  // taken as 0); may lie past the buffer.
  uint64_t DataAreaOffset() const;

 private:
  bool ReadU32(uint64_t offset, uint32_t& value) const;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Decrypts record bytes and reads them as UTF-16LE up to the first NUL unit
// or their end (a final odd byte is ignored).
std::u16string DecryptSkinRecord(const uint8_t* bytes, uint32_t length);

// Finds the first kind-0 entry with `hash` in the buffer and decrypts its
// text into `text` (emptied first). Entries and records that reach past the
// buffer are skipped as if they were not there. False for no match or a
// record of length 0; true otherwise, also for an empty text.
bool FindSkinText(const SkinBufferView& view, uint32_t hash, std::u16string& text);
