// Example string module: reads a skin file (".skn", built by ztndata from a
// KEY=text list) and publishes its texts as a skin buffer in named shared
// memory, each text RC4-encrypted as the skin client expects.
//
// Exports (plain C; UTF-16 strings; results nonzero for success):
//   Initialize_V2(callerToken, skinFilePath)
//       checks the caller token, reads and checks the skin file, and
//       publishes a fresh skin buffer under a name of its own ("ZtnSkin_"
//       with the process id and a random part), replacing this module's
//       earlier publication. 0 on a rejected token, a missing, unreadable or
//       malformed skin file, or a buffer that cannot be created.
//   GetSkinBufferName(output)   copies the name (at most 259 units and the
//       NUL) into the caller's 260-unit buffer; 0 when nothing is published.
//   Lock() / Unlock()           bracket initialisation, publication and the
//       caller's mapping: while one thread holds the lock no other thread of
//       the process republishes. Lock waits at most 10 s; Unlock fails for a
//       thread that does not hold it. Both are recursive per thread.
// The buffer lives while this module is loaded or any process maps it; the
// module drops its own handle when it is unloaded.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "hostrun/environment/skin_format.h"
#include "hostrun/environment/string_module_exports.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "platform/system_info.h"
#include "string_module_export.h"
#include "support/caller_token.h"
#include "support/security_block.h"
#include "support/string_util.h"

#define STRING_MODULE_API extern "C" STRING_MODULE_EXPORT

namespace {

constexpr auto kLockWait = std::chrono::seconds(10);

struct Publication {
  ztn::platform::SharedMemory memory;
  ztn::platform::MappedView view;
  std::u16string name;
};

std::recursive_timed_mutex gLock;
thread_local int gLockDepth = 0;  // how often this thread holds gLock through Lock()
Publication gPublication;

bool ReadSkinFile(const char16_t* path, std::vector<SkinText>& texts) {
  if (path == nullptr || path[0] == 0) return false;
  std::ifstream file(ztn::platform::ToNativePath(path), std::ios::binary);
  if (!file) return false;
  std::vector<uint8_t> bytes;
  char chunk[4096];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + file.gcount());
    if (bytes.size() > kMaxSkinFileSize) return false;
  }
  std::string error;
  return ParseSkinFile(bytes.data(), bytes.size(), texts, error);
}

// Creates a fresh named object for the buffer: a name that is taken already
// (by an earlier publication still mapped elsewhere) is never reused.
bool Publish(const std::vector<uint8_t>& buffer, Publication& publication) {
  ztn::SecurityBlock security;
  const ztn::platform::SecurityAttributes* attributes = ztn::LowIntegrityAttributes(security);
  for (int attempt = 0; attempt < 8; ++attempt) {
    auto uuid = ztn::platform::CreateUuid();
    if (!uuid.ok()) return false;
    std::u16string name;
    ztn::FormatString(name, u"ZtnSkin_%u_%08X%04X", ztn::platform::GetCurrentProcessId(),
                      uuid->data1, static_cast<unsigned>(uuid->data2));
    bool existed = false;
    auto memory = ztn::platform::SharedMemory::Create(name, buffer.size(), attributes, &existed);
    if (!memory.ok()) return false;
    if (existed) continue;
    auto view = memory->Map(buffer.size());
    if (!view.ok()) return false;
    std::memcpy(view->Data(), buffer.data(), buffer.size());
    publication.memory = std::move(memory).value();
    publication.view = std::move(view).value();
    publication.name = name;
    return true;
  }
  return false;
}

}  // namespace

STRING_MODULE_API int32_t Initialize_V2(const char16_t* callerToken, const char16_t* skinFilePath) {
  if (!ztn::VerifyCallerToken(callerToken)) return 0;
  std::vector<SkinText> texts;
  if (!ReadSkinFile(skinFilePath, texts)) return 0;
  const std::vector<uint8_t> buffer = BuildSkinBuffer(texts);

  std::lock_guard<std::recursive_timed_mutex> guard(gLock);
  Publication fresh;
  if (!Publish(buffer, fresh)) return 0;
  gPublication = std::move(fresh);
  return 1;
}

STRING_MODULE_API int32_t GetSkinBufferName(char16_t* output) {
  if (output == nullptr) return 0;
  std::lock_guard<std::recursive_timed_mutex> guard(gLock);
  const std::u16string& name = gPublication.name;
  if (name.empty() || name.size() >= static_cast<size_t>(kSkinBufferNameCapacity)) return 0;
  std::memcpy(output, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return 1;
}

STRING_MODULE_API int32_t Lock() {
  if (!gLock.try_lock_for(kLockWait)) return 0;
  ++gLockDepth;
  return 1;
}

STRING_MODULE_API int32_t Unlock() {
  if (gLockDepth == 0) return 0;
  --gLockDepth;
  gLock.unlock();
  return 1;
}
