// Global shared space: opened once per process at static start-up.
//
// The text at offset 8 comes from memory any local process can write, so it
// is read only within the mapped space: a text without a NUL unit ends at
// the end of the space.
#include "hostrun/environment/global_space.h"

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space_text.h"
#include "platform/shared_memory.h"
#include "platform/wait.h"
#include "support/memory_buffer.h"
#include "support/named_mutex.h"

namespace {

struct GlobalSpaceState {
  ztn::MemoryBufferExW buffer;
  const uint8_t* view = nullptr;
  bool open = false;
  ztn::NamedMutex mutex;
};

// Built on first use, which is the static start-up below, and released at
// process end: the view is unmapped and the mutex handle closed.
GlobalSpaceState& State() {
  static GlobalSpaceState state;
  return state;
}

// Static start-up: the space exists for other processes from the moment the
// program starts. A failure here is retried by the first GlobalData.
const int32_t gStartupResult = OpenGlobalSpace();

}  // namespace

int32_t OpenGlobalSpace() {
  GlobalSpaceState& state = State();
  if (state.open) return kGlobalSpaceOk;

  const bool existed = ztn::platform::SharedMemory::Open(kGlobalSpaceName).ok();
  if (state.buffer.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, !existed) == 0) {
    return kGlobalSpaceFail;
  }
  if (!CreateGlobalSpaceMutex()) return kGlobalSpaceFail;
  state.view = static_cast<const uint8_t*>(state.buffer.Data());
  state.open = true;
  return kGlobalSpaceOk;
}

bool CreateGlobalSpaceMutex() {
  ztn::NamedMutex& mutex = State().mutex;
  if (!mutex.IsUsable() && !mutex.CreationFailed()) (void)mutex.Create(kGlobalSpaceMutexName);
  return mutex.IsUsable() || mutex.CreationFailed();
}

bool IsGlobalSpaceOpen() { return State().open; }

GlobalData::GlobalData() {
  if (!State().open) (void)OpenGlobalSpace();
}

int32_t GlobalData::GetBaseFolder(std::u16string& folder) {
  GlobalSpaceState& state = State();
  if (!state.open) return kGlobalSpaceFail;

  if (baseFolderCache_.empty()) {
    // The outcome of the wait only tells whether there is an ownership to
    // give back; after a time-out the text is read without the mutex.
    const ztn::platform::WaitResult wait = state.mutex.Lock(kGlobalSpaceMutexWaitMs);
    const std::u16string text = ReadBaseFolderText(state.view);
    (void)ztn::StringCryptToolW().DecryptString(text, baseFolderCache_);
    if (wait == ztn::platform::WaitResult::Signaled ||
        wait == ztn::platform::WaitResult::Abandoned) {
      (void)state.mutex.Unlock();
    }
  }
  folder = baseFolderCache_;
  return kGlobalSpaceOk;
}
