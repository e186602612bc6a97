// The process-wide system information record and its one-time build.
//
// isWin2000OrLater is the namespace flag: when set, kernel object names of the
// messaging library carry the "Global\" and "Session\" prefixes. This
// platform reports version 6.2 of the NT family, so the flag is 1 here and
// every process agrees on it.
//
// EnsureSystemInformation may be called from any thread any number of times;
// one thread builds (admitted by an atomic exchange on buildBusy), the others
// wait in 1 ms sleeps until buildDone. A build that does not recognise the
// system (described stays 0, e.g. when the version query fails) is repeated
// by the next call. Read the record only after EnsureSystemInformation has
// returned once.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/error.h"
#include "platform/system_info.h"

namespace ztn {

struct SystemInformationRecord {
  std::atomic<int32_t> buildBusy{0};
  std::atomic<int32_t> buildDone{0};
  std::atomic<int32_t> described{0};
  std::atomic<int32_t> isWin2000OrLater{0};
};

// Builds the record unless a build has already recognised the system. When it
// returns, a build has completed (by this thread or another). Blocks while
// another thread builds.
void EnsureSystemInformation();

// The process-wide record.
const SystemInformationRecord& SystemInformation();

// The namespace flag (1 or 0).
inline int32_t isWin2000OrLater() { return SystemInformation().isWin2000OrLater.load(); }

// For tests: the version query (called with the record size the original
// platform's query takes: 284, then 276 when that fails); nullptr restores
// platform::GetVersionInfo.
using VersionQuery = platform::Result<platform::VersionInfo> (*)(uint32_t sizeField);
void SetVersionQueryForTesting(VersionQuery query);
// For tests: returns the record to its state at load.
void ResetSystemInformationForTesting();

}  // namespace ztn
