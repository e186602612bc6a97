// Security attributes that let every process open an object: full access for
// every user (NULL DACL) and, on version 6 systems, the low-integrity label.
//
// A SecurityBlock is embedded in the object that creates kernel objects with
// it. The pointer LowIntegrityAttributes returns points into the block, so the
// block must stay at its address (it cannot be copied or moved) while the
// attributes are in use. Not synchronised: one owner at a time.
#pragma once

#include "platform/error.h"
#include "platform/security.h"
#include "platform/system_info.h"

namespace ztn {

struct SecurityBlock {
  SecurityBlock() = default;
  SecurityBlock(const SecurityBlock&) = delete;
  SecurityBlock& operator=(const SecurityBlock&) = delete;

  platform::SecurityAttributes attributes;
};

// Fills the block and returns its attributes, or nullptr (create the object
// with default security) when the system version cannot be read or the system
// is not of the NT family. The label is set only when the major version is 6.
// Never blocks.
platform::SecurityAttributes* LowIntegrityAttributes(SecurityBlock& block);

// The same, from a version query result already made.
platform::SecurityAttributes* LowIntegrityAttributes(
    SecurityBlock& block, const platform::Result<platform::VersionInfo>& version);

}  // namespace ztn
