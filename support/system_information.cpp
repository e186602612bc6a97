#include "support/system_information.h"

#include "platform/system_info.h"

namespace ztn {
namespace {

// Sizes of the extended and the plain version record of the original query.
constexpr uint32_t kExtendedVersionSize = 284;
constexpr uint32_t kPlainVersionSize = 276;

SystemInformationRecord record;
std::atomic<VersionQuery> versionQuery{nullptr};

platform::Result<platform::VersionInfo> QueryVersion(uint32_t sizeField) {
  const VersionQuery query = versionQuery.load();
  if (query != nullptr) return query(sizeField);
  return platform::GetVersionInfo();
}

void Build() {
  auto version = QueryVersion(kExtendedVersionSize);
  if (!version.ok()) version = QueryVersion(kPlainVersionSize);
  if (!version.ok()) return;

  const platform::VersionInfo& v = version.value();
  const bool nt = v.platformId == platform::kPlatformNt;
  if (nt && (v.majorVersion >= 6 || (v.majorVersion == 5 && v.minorVersion <= 2))) {
    record.isWin2000OrLater.store(1);
  }
  if (nt && v.majorVersion >= 5) record.described.store(1);
}

}  // namespace

void EnsureSystemInformation() {
  if (record.buildDone.load() == 1 && record.described.load() == 1) return;
  if (record.buildBusy.exchange(1) == 0) {
    Build();
    record.buildDone.store(1);
    record.buildBusy.exchange(0);
    return;
  }
  while (record.buildDone.load() != 1) platform::Sleep(1);
}

const SystemInformationRecord& SystemInformation() { return record; }

void SetVersionQueryForTesting(VersionQuery query) { versionQuery.store(query); }

void ResetSystemInformationForTesting() {
  record.buildBusy.store(0);
  record.buildDone.store(0);
  record.described.store(0);
  record.isWin2000OrLater.store(0);
}

}  // namespace ztn
