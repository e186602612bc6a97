// The example module's use of linkmod: found in the product folder, loaded
// at run time and bound export by export, as the product loads every outside
// library (and because this module's own Initialize export shares its name
// with linkmod's).
#pragma once

#include <cstdint>
#include <string>

#include "platform/module.h"

namespace example {

// The path the host's path table module gives (folderKey, fileKey), or empty
// when no path table is loaded or it has no such entry.
std::u16string PathTableFile(const char16_t* folderKey, const char16_t* fileKey);

using ReceiveCallback = void (*)(int32_t senderType, int32_t subType, const char16_t* senderId,
                                 int32_t messageCode, const void* data, int32_t dataSize);

class LinkmodClient {
 public:
  LinkmodClient() = default;
  ~LinkmodClient() { Unregister(); }
  LinkmodClient(const LinkmodClient&) = delete;
  LinkmodClient& operator=(const LinkmodClient&) = delete;

  // Loads linkmod: the path table's ("UTIL_FOLDER", "LINKMOD_MODULE") when the
  // host has a path table loaded, else the library in the path table's
  // "UTIL_FOLDER", else the one beside the running program. True when all
  // the exports used here are bound. Sets `where` to the path it loaded.
  bool Load(std::u16string& where);

  // Registers; true when linkmod handed out an identity.
  bool Register(const std::u16string& callerToken, int32_t moduleType, int32_t subType,
                uint32_t queueCount);
  // Ends the registration (waits for a running callback); no-op when none.
  void Unregister();
  bool StartReceiving(ReceiveCallback callback);

  // 1 when at least one live registration of `moduleType` took the message.
  bool SendToType(int32_t moduleType, int32_t code, const std::string& payload, int32_t timeoutMs,
                  std::u16string& firstTaker);
  bool SendTo(const std::u16string& target, int32_t code, const std::string& payload,
              int32_t timeoutMs);
  bool IsAlive(const std::u16string& other);

  const std::u16string& Identity() const { return identity_; }

 private:
  ztn::platform::Module library_;
  std::u16string identity_;
  void* initialize_ = nullptr;
  void* unInitialize_ = nullptr;
  void* startRecvThread_ = nullptr;
  void* sendToId_ = nullptr;
  void* sendToModuleType_ = nullptr;
  void* isAliveId_ = nullptr;
};

}  // namespace example
