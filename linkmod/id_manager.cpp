// The ID manager table: identities, entries and liveness.
//
// Every registration on the machine has an entry in one named shared memory
// table. A registration claims the first entry that is free or whose owner is
// dead, under the machine-wide mutex, or appends one. No entry is ever removed:
// an entry is live while its identity's main event exists, so a registration
// that ends, or whose process dies, frees its entry without writing the table.
// The table is writable by every local user, so its contents are untrusted:
// the entry count is bounded by the table's capacity and every identity is
// read within its field.
#include <cstring>

#include "linkmod/linkmod_control.h"
#include "linkmod/object_names.h"
#include "platform/shared_memory.h"
#include "support/session_tool.h"
#include "support/string_util.h"
#include "support/system_information.h"

namespace ztn::linkmod {
namespace {

// The identity's namespace prefix: "Global\" in session 0, else
// "Session\<n>\".
std::u16string IdentityPrefix() {
  SessionToolEx sessionTool;
  uint32_t session = sessionTool.GetCurrentSessionId();
  if (session == 0) return kGlobalPrefix;
  std::u16string prefix = kSessionPrefix;
  AppendFormatString(prefix, u"%d\\", static_cast<int32_t>(session));
  return prefix;
}

bool TableExists(const std::u16string& name) {
  return platform::SharedMemory::Exists(name);  // open-and-close, without the share
}

IdManagerEntry ReadEntry(const uint8_t* table, uint32_t index) {
  IdManagerEntry entry;
  std::memcpy(&entry, table + kIdTableHeaderBytes + static_cast<size_t>(index) * kIdEntryBytes,
              sizeof(entry));
  return entry;
}

void WriteEntry(uint8_t* table, uint32_t index, int32_t moduleType, int32_t subType,
                std::u16string_view identity) {
  IdManagerEntry entry{};
  entry.state = 1;
  entry.moduleType = moduleType;
  entry.subType = subType;
  WriteIdentityField(entry.identity, identity);
  std::memcpy(table + kIdTableHeaderBytes + static_cast<size_t>(index) * kIdEntryBytes, &entry,
              sizeof(entry));
}

uint32_t ReadEntryCount(const uint8_t* table) {
  uint32_t count;
  std::memcpy(&count, table, sizeof(count));
  return count < kIdTableCapacity ? count : kIdTableCapacity;
}

}  // namespace

bool IsIdentityAlive(std::u16string_view identity) {
  if (identity.empty()) return false;
  // Alive exactly while the main event can be opened.
  return platform::Event::Exists(MainEventName(identity));
}

int LinkmodControl::RegisterIdentity(int32_t type, int32_t subType) {
  const bool namespaceFlag = isWin2000OrLater() != 0;

  // A failed UUID would leave a prefix-only identity that collides with every
  // other such registration: the registration fails instead.
  auto uuid = uuidSource();
  if (!uuid.ok()) return 0;
  std::u16string core;
  FormatString(core, u"{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}", uuid->data1,
               uuid->data2, uuid->data3, uuid->data4[0], uuid->data4[1], uuid->data4[2],
               uuid->data4[3], uuid->data4[4], uuid->data4[5], uuid->data4[6], uuid->data4[7]);
  identity = namespaceFlag ? IdentityPrefix() + core : core;
  // Longer identities cannot be handed back whole (a very large session
  // number); they could not be addressed.
  if (core.empty() || identity.size() > kIdentityMaxChars) {
    identity.clear();
    return 0;
  }
  const std::u16string tableName = IdTableName(namespaceFlag);

  idTableLock.Lock(platform::kInfinite);
  int result = 0;
  const bool existed = TableExists(tableName);
  if (idTable.CreateNamed(tableName, kIdTableBytes, false) &&
      idTable.Size() >= kIdTableBytes) {
    auto* table = static_cast<uint8_t*>(idTable.Data());
    if (existed) {
      const uint32_t count = ReadEntryCount(table);
      bool claimed = false;
      for (uint32_t i = 0; i < count && !claimed; ++i) {
        IdManagerEntry entry = ReadEntry(table, i);
        std::u16string owner = ReadIdentityField(entry.identity);
        if (owner.empty()) continue;
        if (entry.state == 1 && !IsIdentityAlive(owner)) entry.state = 0;
        if (entry.state == 0) {
          WriteEntry(table, i, type, subType, identity);
          claimed = true;
        }
      }
      if (claimed) {
        result = 1;
      } else if (count < kIdTableCapacity) {
        // Every entry is live: append one.
        const uint32_t newCount = count + 1;
        std::memcpy(table, &newCount, sizeof(newCount));
        WriteEntry(table, count, type, subType, identity);
        result = 1;
      }
      // else: the table is full of live entries; the registration fails.
    } else {
      const uint32_t newCount = 1;
      std::memcpy(table, &newCount, sizeof(newCount));
      WriteEntry(table, 0, type, subType, identity);
      result = 1;
    }
  }

  // The main event exists before the lock is released, so that no other
  // registration takes the new entry for dead.
  if (result) {
    auto event = platform::Event::Create(MainEventName(identity), false, false,
                                         LowIntegrityAttributes(securityBlock));
    if (event.ok()) {
      std::lock_guard<std::mutex> lock(eventLock);
      mainEvent = std::make_shared<platform::Event>(std::move(event).value());
    }
  }
  idTableLock.Unlock();
  if (!result) identity.clear();
  return result;
}

int LinkmodControl::EnumerateLiveEntries(std::vector<IdManagerEntry>& list) {
  const bool namespaceFlag = isWin2000OrLater() != 0;
  if (!TableExists(IdTableName(namespaceFlag))) return 0;
  const auto* table = static_cast<const uint8_t*>(idTable.Data());
  if (table == nullptr || idTable.Size() < kIdTableBytes) return 0;
  const size_t before = list.size();
  // The count is read again before every step: other processes append.
  for (uint32_t i = 0; i < ReadEntryCount(table); ++i) {
    IdManagerEntry entry = ReadEntry(table, i);
    if (entry.state != 1) continue;
    std::u16string owner = ReadIdentityField(entry.identity);
    if (owner.empty() || owner == identity || !IsIdentityAlive(owner)) continue;
    // The copy handed on always carries a NUL-terminated identity.
    WriteIdentityField(entry.identity, owner);
    list.push_back(entry);
  }
  return list.size() > before ? 1 : 0;
}

}  // namespace ztn::linkmod
