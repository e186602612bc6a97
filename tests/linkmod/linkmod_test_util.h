// Helpers of the linkmod tests: registrations through the public interface,
// text conversion for child arguments, the ID manager table, debug lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "linkmod/linkmod.h"
#include "linkmod/wire_layout.h"
#include "platform/code_page.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/shared_memory.h"
#include "platform/system_info.h"
#include "support/caller_token.h"

namespace ztn::test {

inline std::string Narrow(std::u16string_view text) { return platform::WideToAnsiText(text); }
inline std::u16string Wide(std::string_view text) { return platform::AnsiToWideText(text); }

// One registration made through Initialize, ended by UnInitialize.
class Registration {
 public:
  Registration(int32_t moduleType, int32_t subType, uint32_t queueCount = 2) {
    std::u16string token = MakeCallerToken();
    char16_t buffer[LINKMOD_IDENTITY_UNITS] = {};
    Initialize(token.c_str(), moduleType, subType, queueCount, buffer);
    id_ = buffer;
  }
  ~Registration() { End(); }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  void End() {
    if (!id_.empty() && !ended_) UnInitialize(id_.c_str());
    ended_ = true;
  }
  bool ok() const { return !id_.empty(); }
  const char16_t* id() const { return id_.c_str(); }
  const std::u16string& str() const { return id_; }

 private:
  std::u16string id_;
  bool ended_ = false;
};

// The initialised flag, read without side effects: a rejected token.
inline int32_t InitialisedFlag() {
  char16_t buffer[LINKMOD_IDENTITY_UNITS] = {};
  return Initialize(u"", 0, 0, 0, buffer);
}

// A named event for test coordination (manual-reset, so a late waiter still
// sees it).
inline platform::Event MakeSignal(const std::u16string& name) {
  auto event = platform::Event::Create(name, true, false);
  return event.ok() ? std::move(event).value() : platform::Event();
}
inline bool SetSignal(const std::u16string& name) {
  auto event = platform::Event::Open(name);
  return event.ok() && event->Set().ok();
}

// The ID manager table as this process sees it.
class IdTableView {
 public:
  IdTableView() {
    auto memory = platform::SharedMemory::Open(u"Global\\ZtConnMem_IDMGR");
    if (!memory.ok()) return;
    memory_ = std::move(memory).value();
    auto view = memory_.Map(linkmod::kIdTableBytes);
    if (view.ok()) view_ = std::move(view).value();
  }
  bool ok() const { return view_.IsValid(); }
  uint8_t* bytes() const { return static_cast<uint8_t*>(view_.Data()); }
  uint32_t count() const {
    uint32_t value;
    std::memcpy(&value, bytes(), 4);
    return value;
  }
  void set_count(uint32_t value) { std::memcpy(bytes(), &value, 4); }
  linkmod::IdManagerEntry entry(uint32_t index) const {
    linkmod::IdManagerEntry entry;
    std::memcpy(&entry, bytes() + 4 + index * linkmod::kIdEntryBytes, sizeof(entry));
    return entry;
  }
  void set_entry(uint32_t index, const linkmod::IdManagerEntry& entry) {
    std::memcpy(bytes() + 4 + index * linkmod::kIdEntryBytes, &entry, sizeof(entry));
  }
  // Index of the entry holding `identity`, or -1.
  int64_t find(std::u16string_view identity) const {
    for (uint32_t i = 0; i < count() && i < linkmod::kIdTableCapacity; ++i) {
      auto e = entry(i);
      if (linkmod::ReadIdentityField(e.identity) == identity) return i;
    }
    return -1;
  }

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
};

inline linkmod::IdManagerEntry MakeEntry(uint32_t state, int32_t type, int32_t sub,
                                         std::u16string_view identity) {
  linkmod::IdManagerEntry entry{};
  entry.state = state;
  entry.moduleType = type;
  entry.subType = sub;
  linkmod::WriteIdentityField(entry.identity, identity);
  return entry;
}

// Collects debug output lines of every process until one contains `text`,
// at most timeoutMs.
inline bool WaitForDebugLine(platform::DebugListener& listener, const std::string& text,
                             int32_t timeoutMs = 10000) {
  const uint32_t start = platform::GetTickCount();
  while (static_cast<int32_t>(platform::GetTickCount() - start) < timeoutMs) {
    auto line = listener.Next(100);
    if (line.ok() && line->text.find(text) != std::string::npos) return true;
  }
  return false;
}

// Polls `condition` every millisecond for at most timeoutMs.
inline bool WaitUntil(const std::function<bool()>& condition, int32_t timeoutMs = 10000) {
  const uint32_t start = platform::GetTickCount();
  while (!condition()) {
    if (static_cast<int32_t>(platform::GetTickCount() - start) >= timeoutMs) return false;
    platform::Sleep(1);
  }
  return true;
}

// The totalSize field of a registration's send queue: non-zero once a send
// has written its message there.
inline uint32_t QueuedTotalSize(std::u16string_view identity, int32_t queue) {
  std::u16string name(identity);
  name += u"_Send_ZtConnMem_" + Wide(std::to_string(queue));
  auto memory = platform::SharedMemory::Open(name);
  if (!memory.ok()) return 0;
  auto view = memory->Map(4);
  if (!view.ok()) return 0;
  uint32_t value;
  std::memcpy(&value, view->Data(), 4);
  return value;
}

}  // namespace ztn::test
