// Byte layouts and object names that every process using linkmod shares.
//
// These are a wire format between separately built modules: the ID manager
// table, the receive slot and the send queue. All integers are little-endian
// (the only byte order this code runs on). Everything read from these
// memories comes from other processes and is untrusted: read it through the
// bounded helpers here, never past a field or a mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ztn::linkmod {

// Identity field: 56 UTF-16 units, NUL-terminated, at most 55 characters.
inline constexpr size_t kIdentityUnits = 56;
inline constexpr size_t kIdentityMaxChars = kIdentityUnits - 1;

// ID manager table.
inline constexpr uint32_t kIdTableBytes = 1269760;
inline constexpr uint32_t kIdEntryBytes = 124;
inline constexpr uint32_t kIdTableHeaderBytes = 4;
inline constexpr uint32_t kIdTableCapacity = (kIdTableBytes - kIdTableHeaderBytes) / kIdEntryBytes;
static_assert(kIdTableCapacity == 10239);

struct IdManagerEntry {
  uint32_t state;      // 1 = registered, 0 = free
  int32_t moduleType;
  int32_t subType;
  char16_t identity[kIdentityUnits];
};
static_assert(sizeof(IdManagerEntry) == kIdEntryBytes);
static_assert(offsetof(IdManagerEntry, identity) == 12);

// Receive slot: written by the sender admitted by Accept.
inline constexpr uint32_t kRecvSlotBytes = 116;
struct RecvSlot {
  char16_t senderId[kIdentityUnits];
  int32_t queueIndex;
};
static_assert(sizeof(RecvSlot) == kRecvSlotBytes);

// Send queue: header, then the payload.
inline constexpr uint32_t kMessageHeaderBytes = 132;
inline constexpr uint32_t kMaxPayloadBytes = 10240;
inline constexpr uint32_t kSendQueueBytes = kMessageHeaderBytes + kMaxPayloadBytes;
struct MessageHeader {
  uint32_t totalSize;  // payloadSize + 133; 0 = no message
  int32_t senderType;
  int32_t subType;
  char16_t senderId[kIdentityUnits];
  int32_t messageCode;
  int32_t payloadSize;
};
static_assert(sizeof(MessageHeader) == kMessageHeaderBytes);
static_assert(offsetof(MessageHeader, messageCode) == 124);
static_assert(kSendQueueBytes == 10372);

// The identity held in a 56-unit field: up to its NUL, or all 56 units when
// a foreign writer left none.
inline std::u16string ReadIdentityField(const char16_t (&field)[kIdentityUnits]) {
  size_t length = 0;
  while (length < kIdentityUnits && field[length] != u'\0') ++length;
  return std::u16string(field, length);
}

// Fills a 56-unit field: at most 55 units, then zeros.
inline void WriteIdentityField(char16_t (&field)[kIdentityUnits], std::u16string_view identity) {
  std::memset(field, 0, sizeof(field));
  size_t length = identity.size() < kIdentityMaxChars ? identity.size() : kIdentityMaxChars;
  if (length != 0) std::memcpy(field, identity.data(), length * sizeof(char16_t));
}

// Copies an identity into a caller's 56-unit buffer: at most 55 units and
// the NUL.
inline void CopyIdentityOut(char16_t* out, std::u16string_view identity) {
  size_t length = identity.size() < kIdentityMaxChars ? identity.size() : kIdentityMaxChars;
  for (size_t i = 0; i < length; ++i) out[i] = identity[i];
  out[length] = u'\0';
}

// Names of the shared objects.
inline constexpr char16_t kGlobalPrefix[] = u"Global\\";
inline constexpr char16_t kSessionPrefix[] = u"Session\\";
inline constexpr char16_t kIdTableName[] = u"ZtConnMem_IDMGR";
inline constexpr char16_t kIdTableLockName[] = u"ZtConnMem_IDMGR_Lock";
inline constexpr char16_t kMainEventSuffix[] = u"_ZtConnEvent";
inline constexpr char16_t kAcceptWaitSuffix[] = u"_AcceptWait";
inline constexpr char16_t kWaitSendSuffix[] = u"_WaitSend";
inline constexpr char16_t kMemorySuffix[] = u"_ZtConnMem";
inline constexpr char16_t kRecvSuffix[] = u"_Recv";
inline constexpr char16_t kSendSuffix[] = u"_Send";

}  // namespace ztn::linkmod
