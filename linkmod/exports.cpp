// The eleven exported functions. Each looks its registration up (a lease that
// keeps the control alive until the call returns) and forwards to it. No
// exception leaves the library: a failed allocation ends the call with its
// failure result.
#include <memory>
#include <string_view>

#include "linkmod/control_registry.h"
#include "linkmod/linkmod.h"
#include "linkmod/wire_layout.h"
#include "support/caller_token.h"

using ztn::linkmod::ControlLease;
using ztn::linkmod::ControlRegistry;
using ztn::linkmod::LinkmodControl;

namespace {

std::u16string_view TextOrEmpty(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace

#pragma GCC visibility push(default)
extern "C" {

int32_t Initialize(const char16_t* callerToken, int32_t moduleType, int32_t subType,
                   uint32_t queueCount, char16_t* identityOut) {
  ControlRegistry& registry = ControlRegistry::Instance();
  try {
    if (identityOut == nullptr || !ztn::VerifyCallerToken(callerToken)) {
      return registry.Initialised();
    }
    auto control = std::make_shared<LinkmodControl>();
    std::u16string identity = control->InitializeControl(moduleType, subType, queueCount);
    if (!identity.empty()) {
      registry.Insert(identity, control);
      ztn::linkmod::CopyIdentityOut(identityOut, identity);
    }
    // A failed control is destroyed here; it never reached the registry.
  } catch (...) {
  }
  return registry.Initialised();
}

int32_t UnInitialize(const char16_t* identity) {
  try {
    std::shared_ptr<LinkmodControl> control = ControlRegistry::Instance().Remove(identity);
    if (control) {
      control->TeardownControl();
      ztn::linkmod::WaitForLeases(*control);
    }
  } catch (...) {
  }
  return 1;
}

int32_t Accept(const char16_t* identity, int32_t timeoutMs, const char16_t* peerId) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control) return 0;
    return control->Accept(timeoutMs, TextOrEmpty(peerId));
  } catch (...) {
    return 0;
  }
}

int32_t Recv(const char16_t* identity, int32_t* senderTypeOut, int32_t* subTypeOut,
             char16_t* senderIdOut, int32_t* messageCodeOut, void* data) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control) return 0;
    return control->Recv(senderTypeOut, subTypeOut, senderIdOut, messageCodeOut, data);
  } catch (...) {
    return -1;
  }
}

int32_t SendToId(const char16_t* identity, const char16_t* targetId, int32_t messageCode,
                 const void* data, int32_t size, int32_t timeoutMs) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control || targetId == nullptr) return 0;
    return control->SendToId(targetId, messageCode, data, size, timeoutMs);
  } catch (...) {
    return 0;
  }
}

int32_t SendToModuleType(const char16_t* identity, int32_t moduleType, int32_t subType,
                         char16_t* firstTargetOut, int32_t messageCode, const void* data,
                         int32_t size, int32_t timeoutMs) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control) return 0;
    return control->SendToModuleType(moduleType, subType, firstTargetOut, messageCode, data,
                                     size, timeoutMs);
  } catch (...) {
    return 0;
  }
}

int32_t StartRecvThread(const char16_t* identity, RecvCallback callback) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control) return 0;
    return control->StartRecvThread(callback);
  } catch (...) {
    return 1;
  }
}

void StopRecvThread(void) {}

void SetRecvCallback(const char16_t* identity, RecvCallback callback) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (control) control->SetRecvCallback(callback);
  } catch (...) {
  }
}

void SetRecvWaitMode(const char16_t* identity, int32_t mode) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (control) control->SetRecvWaitMode(mode);
  } catch (...) {
  }
}

int32_t IsAliveId(const char16_t* identity, const char16_t* otherId) {
  try {
    ControlLease control = ControlRegistry::Instance().Find(identity);
    if (!control) return 0;
    return ztn::linkmod::IsIdentityAlive(TextOrEmpty(otherId)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
#pragma GCC visibility pop
