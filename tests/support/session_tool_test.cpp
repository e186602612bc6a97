#include "support/session_tool.h"

#include <gtest/gtest.h>

#include "platform/system_info.h"
#include "tests/common/multiprocess.h"

namespace ztn {
namespace {

uint32_t ExpectedSession() {
  auto session = platform::GetProcessSessionId();
  return session.ok() ? session.value() : 0;
}

TEST(SessionToolEx, SessionLibrariesAreAbsentButTheSessionIsAnswered) {
  SessionToolEx tool;
  EXPECT_FALSE(tool.HasKernelModule());
  EXPECT_FALSE(tool.HasSessionModule());
  EXPECT_EQ(tool.ConsoleSessionEntry(), nullptr);
  EXPECT_EQ(tool.QueryEntry(), nullptr);
  EXPECT_EQ(tool.EnumerateEntry(), nullptr);
  EXPECT_EQ(tool.FreeEntry(), nullptr);
  EXPECT_EQ(tool.GetCurrentSessionId(), ExpectedSession());
}

// A child of this process runs in the same login session.
ZTN_CHILD(ReportSameSession) {
  SessionToolEx tool;
  return tool.GetCurrentSessionId() == static_cast<uint32_t>(std::stoul(args.at(0))) ? 0 : 1;
}

TEST(SessionToolEx, ChildProcessSharesTheSession) {
  auto child = test::SpawnChild("ReportSameSession", {std::to_string(ExpectedSession())});
  EXPECT_EQ(test::WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn
