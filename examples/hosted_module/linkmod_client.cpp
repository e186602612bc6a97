#include "examples/hosted_module/linkmod_client.h"

#include <vector>

#include "linkmod/linkmod.h"
#include "platform/process.h"

namespace example {
namespace {

// The library's file name on this system, from the build.
std::u16string LinkmodFileName() {
  std::u16string name;
  for (const char* c = ZTN_LINKMOD_FILE_NAME; *c != '\0'; ++c) name += static_cast<char16_t>(*c);
  return name;
}

using PathTableGetFilePath = int32_t (*)(const char16_t*, const char16_t*, char16_t*, int32_t);
using PathTableGetFolderPath = int32_t (*)(const char16_t*, char16_t*, int32_t);

ztn::platform::ModuleHandle LoadedPathTable() {
  ztn::platform::ModuleHandle pathTable = ztn::platform::FindLoadedModule(u"ptl.ztm");
  return pathTable != nullptr ? pathTable : ztn::platform::FindLoadedModule(u"ptl.kqm");
}

std::vector<std::u16string> LinkmodCandidates() {
  std::vector<std::u16string> candidates;
  const std::u16string fileName = LinkmodFileName();
  const std::u16string listed = PathTableFile(u"UTIL_FOLDER", u"LINKMOD_MODULE");
  if (!listed.empty()) candidates.push_back(listed);
  if (ztn::platform::ModuleHandle pathTable = LoadedPathTable(); pathTable != nullptr) {
    char16_t folder[512] = {};
    auto getFolderPath = reinterpret_cast<PathTableGetFolderPath>(
        ztn::platform::GetModuleExport(pathTable, "GetFolderPath"));
    if (getFolderPath != nullptr && getFolderPath(u"UTIL_FOLDER", folder, 512) != 0)
      candidates.push_back(std::u16string(folder) + u"\\" + fileName);
  }
  const std::u16string program = ztn::platform::GetProgramPath();
  const size_t slash = program.rfind(u'\\');
  if (slash != std::u16string::npos) candidates.push_back(program.substr(0, slash + 1) + fileName);
  return candidates;
}

template <class Fn>
Fn As(void* entry) {
  return reinterpret_cast<Fn>(entry);
}

}  // namespace

std::u16string PathTableFile(const char16_t* folderKey, const char16_t* fileKey) {
  ztn::platform::ModuleHandle pathTable = LoadedPathTable();
  if (pathTable == nullptr) return {};
  auto getFilePath = reinterpret_cast<PathTableGetFilePath>(
      ztn::platform::GetModuleExport(pathTable, "GetFilePath"));
  char16_t buffer[512] = {};
  if (getFilePath == nullptr || getFilePath(folderKey, fileKey, buffer, 512) == 0) return {};
  return buffer;
}

bool LinkmodClient::Load(std::u16string& where) {
  for (const std::u16string& candidate : LinkmodCandidates()) {
    auto loaded = ztn::platform::Module::Load(candidate);
    if (!loaded.ok()) continue;
    library_ = std::move(loaded).value();
    where = candidate;
    initialize_ = library_.GetExport("Initialize");
    unInitialize_ = library_.GetExport("UnInitialize");
    startRecvThread_ = library_.GetExport("StartRecvThread");
    sendToId_ = library_.GetExport("SendToId");
    sendToModuleType_ = library_.GetExport("SendToModuleType");
    isAliveId_ = library_.GetExport("IsAliveId");
    return initialize_ != nullptr && unInitialize_ != nullptr && startRecvThread_ != nullptr &&
           sendToId_ != nullptr && sendToModuleType_ != nullptr && isAliveId_ != nullptr;
  }
  return false;
}

bool LinkmodClient::Register(const std::u16string& callerToken, int32_t moduleType,
                             int32_t subType, uint32_t queueCount) {
  if (initialize_ == nullptr || !identity_.empty()) return false;
  char16_t identity[LINKMOD_IDENTITY_UNITS] = {};
  As<decltype(&::Initialize)>(initialize_)(callerToken.c_str(), moduleType, subType, queueCount,
                                           identity);
  identity_ = identity;
  return !identity_.empty();
}

void LinkmodClient::Unregister() {
  if (identity_.empty() || unInitialize_ == nullptr) return;
  As<decltype(&::UnInitialize)>(unInitialize_)(identity_.c_str());
  identity_.clear();
}

bool LinkmodClient::StartReceiving(ReceiveCallback callback) {
  if (identity_.empty()) return false;
  return As<decltype(&::StartRecvThread)>(startRecvThread_)(identity_.c_str(), callback) == 1;
}

bool LinkmodClient::SendToType(int32_t moduleType, int32_t code, const std::string& payload,
                               int32_t timeoutMs, std::u16string& firstTaker) {
  if (identity_.empty()) return false;
  char16_t first[LINKMOD_IDENTITY_UNITS] = {};
  const int32_t taken = As<decltype(&::SendToModuleType)>(sendToModuleType_)(
      identity_.c_str(), moduleType, -1, first, code, payload.data(),
      static_cast<int32_t>(payload.size()), timeoutMs);
  firstTaker = first;
  return taken == 1;
}

bool LinkmodClient::SendTo(const std::u16string& target, int32_t code, const std::string& payload,
                           int32_t timeoutMs) {
  if (identity_.empty()) return false;
  return As<decltype(&::SendToId)>(sendToId_)(identity_.c_str(), target.c_str(), code,
                                              payload.data(),
                                              static_cast<int32_t>(payload.size()),
                                              timeoutMs) == 1;
}

bool LinkmodClient::IsAlive(const std::u16string& other) {
  if (identity_.empty()) return false;
  return As<decltype(&::IsAliveId)>(isAliveId_)(identity_.c_str(), other.c_str()) == 1;
}

}  // namespace example
