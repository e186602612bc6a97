// POSIX backend: may use POSIX and Linux names (none needed: built on the
// layer's own objects).
// The debugger-output protocol: writers serialise on "DBWinMutex", wait for
// "DBWIN_BUFFER_READY", fill "DBWIN_BUFFER" and set "DBWIN_DATA_READY".
#include "platform/debug_output.h"

#include <cstring>

#include "platform/code_page.h"
#include "platform/mutex.h"
#include "platform/process.h"

namespace ztn::platform {
namespace {

constexpr size_t kBufferSize = 4096;
constexpr size_t kMaxText = kBufferSize - sizeof(uint32_t) - 1;
constexpr int32_t kWriterWaitMs = 10000;
const SecurityAttributes kEveryone{true, true};

}  // namespace

void WriteDebugString(std::u16string_view text) {
  // Cheapest test first: without a listener there is no buffer.
  auto buffer = SharedMemory::Open(u"DBWIN_BUFFER");
  if (!buffer.ok()) return;
  auto mutex = Mutex::Create(u"DBWinMutex", false, &kEveryone);
  if (!mutex.ok()) return;
  WaitResult locked = mutex->Wait(kWriterWaitMs);
  if (locked != WaitResult::Signaled && locked != WaitResult::Abandoned) return;
  auto view = buffer->Map(kBufferSize);
  auto bufferReady = Event::Open(u"DBWIN_BUFFER_READY");
  auto dataReady = Event::Open(u"DBWIN_DATA_READY");
  if (view.ok() && bufferReady.ok() && dataReady.ok() &&
      bufferReady->Wait(kWriterWaitMs) == WaitResult::Signaled) {
    std::string ansi = WideToAnsiText(text);
    if (ansi.size() > kMaxText) ansi.resize(kMaxText);
    auto* bytes = static_cast<uint8_t*>(view->Data());
    uint32_t pid = GetCurrentProcessId();
    std::memcpy(bytes, &pid, sizeof pid);
    std::memcpy(bytes + sizeof pid, ansi.data(), ansi.size());
    bytes[sizeof pid + ansi.size()] = 0;
    (void)dataReady->Set();
  }
  (void)mutex->Release();
}

Result<DebugListener> DebugListener::Start() {
  DebugListener listener;
  bool existed = false;
  auto buffer = SharedMemory::Create(u"DBWIN_BUFFER", kBufferSize, &kEveryone, &existed);
  if (!buffer.ok()) return buffer.error();
  if (existed) return Error{ErrorCode::AlreadyExists, 0};
  auto view = buffer->Map(kBufferSize);
  if (!view.ok()) return view.error();
  auto bufferReady = Event::Create(u"DBWIN_BUFFER_READY", false, false, &kEveryone);
  if (!bufferReady.ok()) return bufferReady.error();
  auto dataReady = Event::Create(u"DBWIN_DATA_READY", false, false, &kEveryone);
  if (!dataReady.ok()) return dataReady.error();
  listener.buffer_ = std::move(buffer).value();
  listener.view_ = std::move(view).value();
  listener.bufferReady_ = std::move(bufferReady).value();
  listener.dataReady_ = std::move(dataReady).value();
  (void)listener.bufferReady_.Set();  // ready for the first writer
  return listener;
}

Result<DebugLine> DebugListener::Next(int32_t timeoutMs) {
  if (!view_.IsValid()) return Error{ErrorCode::InvalidHandle, 0};
  WaitResult r = dataReady_.Wait(timeoutMs);
  if (r != WaitResult::Signaled) return Error{ErrorCode::WaitTimeout, 0};
  const auto* bytes = static_cast<const uint8_t*>(view_.Data());
  DebugLine line;
  std::memcpy(&line.processId, bytes, sizeof line.processId);
  const char* text = reinterpret_cast<const char*>(bytes + sizeof(uint32_t));
  line.text.assign(text, strnlen(text, kBufferSize - sizeof(uint32_t)));
  // The line is copied: offer the buffer to the next writer.
  (void)bufferReady_.Set();
  return line;
}

}  // namespace ztn::platform
