#include "support/security_block.h"

namespace ztn {

platform::SecurityAttributes* LowIntegrityAttributes(
    SecurityBlock& block, const platform::Result<platform::VersionInfo>& version) {
  if (!version.ok()) return nullptr;
  const platform::VersionInfo& info = version.value();
  if (info.platformId != platform::kPlatformNt) return nullptr;
  block.attributes.everyoneFullAccess = true;
  // Only version 6 gets the label; 5 and anything above 6 keep the NULL DACL alone.
  block.attributes.lowIntegrityLabel = info.majorVersion == 6;
  return &block.attributes;
}

platform::SecurityAttributes* LowIntegrityAttributes(SecurityBlock& block) {
  return LowIntegrityAttributes(block, platform::GetVersionInfo());
}

}  // namespace ztn
