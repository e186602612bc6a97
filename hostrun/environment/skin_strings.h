// String and skin module client: user-visible texts by key.
//
// The string module (an outside library found through the path table under
// ("UTIL_FOLDER", "STRING_MODULE")) reads the skin file chosen for the system
// language and publishes it as a skin buffer in named shared memory. A
// SkinStringTable maps that buffer and looks texts up by the djb2 hash of
// their key, decrypting them with CryptTool::Rc4Crypt.
//
// Lifetime: a table is created empty, loaded by its first lookup of an
// "IDS_" key (and again by later lookups while loading fails), and closes its
// mapping when destroyed. The string module is loaded only while a table
// loads. Every failure ends in the key standing in for its text; nothing is
// shown or logged.
// Threads: a table's lock serialises its loads; lookups take no lock. Meant
// for the host's main thread. Loading blocks while the module loads and runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostrun/environment/skin_format.h"
#include "support/memory_buffer.h"
#include "support/sync_object.h"

inline constexpr char16_t kSkinKeyMarker[] = u"IDS_";

class SkinStringTable {
 public:
  SkinStringTable() = default;
  virtual ~SkinStringTable() = default;
  SkinStringTable(const SkinStringTable&) = delete;
  SkinStringTable& operator=(const SkinStringTable&) = delete;

  // True once a skin buffer is mapped.
  bool IsLoaded() const { return firstEntry != nullptr; }
  // A bounds-checked reader over the mapped buffer (empty when not loaded).
  SkinBufferView View() const;

  ztn::SyncObjectEx lock;
  ztn::MemoryBufferExW buffer;
  int32_t entryCount = 0;               // as stored; may exceed what the mapping holds
  const uint8_t* firstEntry = nullptr;  // null: not loaded
  uint64_t dataAreaOffset = 0;          // from the buffer start; may lie past the mapping
};

// The text of `key`: true and the text (backslash + n / r turned into line
// feed / carriage return), or false and the key itself. Keys without "IDS_"
// are returned unchanged without loading anything.
bool GetSkinString(std::u16string_view key, SkinStringTable& table, std::u16string& text);

// Loads the string module, has it publish the skin buffer for the chosen
// skin file, maps the buffer into the table and unloads the module. Returns
// true when the buffer was mapped.
bool LoadSkinStrings(SkinStringTable& table);

// Maps the skin buffer named `name` into the table: first its 4-byte size
// field, then the whole buffer. An existing buffer is opened, a missing one
// created. Returns false, the table unloaded, when either mapping fails or
// the buffer is too short for its header.
bool MapSkinBuffer(SkinStringTable& table, std::u16string_view name);

// Finds the first kind-0 entry with `hash` and decrypts its text. Entries and
// records that reach past the mapping are ignored. Returns false for no
// match or a record of length 0; true otherwise (also for an empty text).
bool FindSkinString(const SkinStringTable& table, uint32_t hash, std::u16string& text);

// The skin file for the system language, tried in this order until one names
// an existing plain file (".dat" in a path read as ".skn"): Korean systems
// SKIN_FILE, Japanese systems SKIN_FILE_JP, then for every system
// SKIN_FILE_EN, SKIN_FILE, and SKIN_FILE_JP taken without a test. May be
// empty.
void ChooseSkinFile(std::u16string& path);
