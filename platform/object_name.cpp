// Namespace resolution of kernel object names (portable half).
#include "platform/object_name.h"

#include "platform/system_info.h"

namespace ztn::platform {
namespace {

constexpr size_t kMaxNameLength = 260;

uint32_t CallerSession() {
  // A process never changes its login session, so one query serves its life.
  static const uint32_t session = [] {
    auto id = GetProcessSessionId();
    return id.ok() ? *id : 0u;
  }();
  return session;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

Result<ResolvedObjectName> ResolveObjectName(std::u16string_view name) {
  if (name.size() > kMaxNameLength) return Error{ErrorCode::NameTooLong, 0};
  ResolvedObjectName resolved;
  std::u16string_view leaf = name;
  if (StartsWith(name, u"Global\\")) {
    resolved.session = 0;
    leaf = name.substr(7);
  } else if (StartsWith(name, u"Local\\")) {
    resolved.session = CallerSession();
    leaf = name.substr(6);
  } else if (StartsWith(name, u"Session\\")) {
    std::u16string_view rest = name.substr(8);
    size_t slash = rest.find(u'\\');
    if (slash == 0 || slash == std::u16string_view::npos || slash > 10)
      return Error{ErrorCode::PathNotFound, 0};
    uint64_t number = 0;
    for (char16_t c : rest.substr(0, slash)) {
      if (c < u'0' || c > u'9') return Error{ErrorCode::PathNotFound, 0};
      number = number * 10 + (c - u'0');
    }
    if (number > 0xFFFFFFFFu) return Error{ErrorCode::PathNotFound, 0};
    resolved.session = static_cast<uint32_t>(number);
    leaf = rest.substr(slash + 1);
  } else {
    resolved.session = CallerSession();
  }
  // Any other backslash names a namespace that does not exist.
  if (leaf.find(u'\\') != std::u16string_view::npos) return Error{ErrorCode::PathNotFound, 0};
  if (leaf.empty()) return Error{ErrorCode::InvalidParameter, 0};
  resolved.leaf = std::u16string(leaf);
  return resolved;
}

}  // namespace ztn::platform
