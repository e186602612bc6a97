// Debug output: a line written in one process reaches a listener in another.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/code_page.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn::platform {
namespace {

using test::ScopedObjectDir;
using test::SpawnChild;
using test::WaitChild;

ZTN_CHILD(DebugWriter) {
  for (const auto& text : args) WriteDebugString(AnsiToWideText(text));
  return 0;
}

TEST(DebugOutput, ListenerReceivesLinesFromAnotherProcess) {
  ScopedObjectDir dir;
  auto listener = DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  EXPECT_EQ(DebugListener::Start().code(), ErrorCode::AlreadyExists);
  auto child = SpawnChild("DebugWriter", {"first line", "Max Recv size over!!", "\xed\x95\x9c"});
  const char* expected[] = {"first line", "Max Recv size over!!", "\xed\x95\x9c"};
  for (const char* text : expected) {
    auto line = listener->Next(10000);
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line->processId, child.Id());
    EXPECT_EQ(line->text, text);
  }
  EXPECT_EQ(WaitChild(child), 0);
  EXPECT_EQ(listener->Next(0).code(), ErrorCode::WaitTimeout);
}

TEST(DebugOutput, LongTextIsCutToTheBuffer) {
  ScopedObjectDir dir;
  auto listener = DebugListener::Start();
  ASSERT_TRUE(listener.ok());
  auto child = SpawnChild("DebugWriter", {std::string(5000, 'x')});
  auto line = listener->Next(10000);
  ASSERT_TRUE(line.ok());
  EXPECT_EQ(line->text, std::string(4091, 'x'));
  EXPECT_EQ(WaitChild(child), 0);
}

TEST(DebugOutput, WritingWithoutListenerReturnsAtOnce) {
  ScopedObjectDir dir;
  WriteDebugString(u"nobody hears this");  // must neither block nor leave objects behind
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()) ||
              std::filesystem::is_empty(std::filesystem::path(dir.Path()) / "global"));
}

}  // namespace
}  // namespace ztn::platform
