#include "support/security_block.h"

#include <gtest/gtest.h>

namespace ztn {
namespace {

TEST(LowIntegrityAttributes, LabelOnlyOnVersionSix) {
  struct Case {
    uint32_t platformId, major, minor;
    bool label;
  };
  const Case cases[] = {
      {2, 5, 0, false}, {2, 5, 1, false}, {2, 6, 0, true}, {2, 6, 1, true},
      {2, 6, 2, true},  {2, 10, 0, false},
  };
  for (const Case& c : cases) {
    SecurityBlock block;
    platform::VersionInfo version;
    version.platformId = c.platformId;
    version.majorVersion = c.major;
    version.minorVersion = c.minor;
    platform::SecurityAttributes* attributes = LowIntegrityAttributes(block, version);
    ASSERT_EQ(attributes, &block.attributes);
    EXPECT_TRUE(attributes->everyoneFullAccess);
    EXPECT_EQ(attributes->lowIntegrityLabel, c.label) << c.major << "." << c.minor;
  }
}

TEST(LowIntegrityAttributes, NoneOutsideTheNtFamilyOrWithoutVersion) {
  SecurityBlock block;
  platform::VersionInfo version;
  version.platformId = 1;
  version.majorVersion = 4;
  EXPECT_EQ(LowIntegrityAttributes(block, version), nullptr);
  EXPECT_EQ(LowIntegrityAttributes(block, platform::Error{platform::ErrorCode::Unknown, 0}), nullptr);
}

TEST(LowIntegrityAttributes, ThisSystemGetsTheLabel) {
  SecurityBlock block;
  platform::SecurityAttributes* attributes = LowIntegrityAttributes(block);
  ASSERT_EQ(attributes, &block.attributes);
  EXPECT_TRUE(attributes->everyoneFullAccess);
  EXPECT_TRUE(attributes->lowIntegrityLabel);  // version 6.2
}

}  // namespace
}  // namespace ztn
