// Debug output: the debugger-output channel and a listener for it.
//
// Writers and listeners meet through four named objects in the caller's
// session namespace, following the original listener protocol: shared memory
// "DBWIN_BUFFER" (4096 bytes: the writer's process id as a 32-bit integer, then
// the text in the ANSI code page, NUL-terminated), auto-reset events
// "DBWIN_BUFFER_READY" (listener -> writer: buffer free) and "DBWIN_DATA_READY"
// (writer -> listener: data present), and the mutex "DBWinMutex" that
// serialises writers.
// Thread and process safety: any number of threads and processes may write at
// once; one listener per namespace.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/event.h"
#include "platform/shared_memory.h"

namespace ztn::platform {

// Hands the text to the listener, if one runs. Without a listener it returns
// at once, at the cost of one failed open. With a listener that does not free
// its buffer it gives up after 10 s. Text beyond 4091 bytes is cut.
void WriteDebugString(std::u16string_view text);

struct DebugLine {
  uint32_t processId = 0;
  std::string text;  // ANSI code page (UTF-8)
};

class DebugListener {
 public:
  DebugListener() = default;
  DebugListener(DebugListener&&) noexcept = default;
  DebugListener& operator=(DebugListener&&) noexcept = default;

  // Creates the buffer and both events. AlreadyExists-like failure
  // (ErrorCode::AccessDenied) when another listener holds them.
  static Result<DebugListener> Start();

  // Waits up to timeoutMs for the next line. WaitTimeout when none came.
  // Writers queue behind the listener: one line is buffered at a time.
  Result<DebugLine> Next(int32_t timeoutMs);

 private:
  SharedMemory buffer_;
  MappedView view_;
  Event bufferReady_;
  Event dataReady_;
};

}  // namespace ztn::platform
