// Object names: namespaces, prefixes and the names that are refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/object_name.h"
#include "platform/system_info.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn::platform {
namespace {

using test::ScopedObjectDir;
using test::UniqueName;

uint32_t MySession() {
  auto id = GetProcessSessionId();
  return id.ok() ? *id : 0;
}

TEST(ObjectName, PrefixesSelectNamespaces) {
  const uint32_t session = MySession();
  const std::u16string sessionPrefix = u"Session\\" + AnsiToWideText(std::to_string(session)) + u"\\";
  struct Case {
    std::u16string name;
    uint32_t session;
    std::u16string leaf;
  } cases[] = {
      {u"Global\\x", 0, u"x"},
      {u"Local\\x", session, u"x"},
      {u"x", session, u"x"},
      {u"Session\\7\\x", 7, u"x"},
      {sessionPrefix + u"x", session, u"x"},
      {u"global\\x", 0, u""},  // prefixes are case-sensitive: a bad namespace
  };
  for (const auto& c : cases) {
    auto r = ResolveObjectName(c.name);
    if (c.leaf.empty()) {
      EXPECT_EQ(r.code(), ErrorCode::PathNotFound) << WideToAnsiText(c.name);
      continue;
    }
    ASSERT_TRUE(r.ok()) << WideToAnsiText(c.name);
    EXPECT_EQ(r->session, c.session) << WideToAnsiText(c.name);
    EXPECT_EQ(r->leaf, c.leaf);
  }
}

TEST(ObjectName, RefusedNames) {
  struct Case {
    std::u16string name;
    ErrorCode code;
  } cases[] = {
      {u"willy\\wonka", ErrorCode::PathNotFound},
      {u"Global\\a\\b", ErrorCode::PathNotFound},
      {u"Session\\\\x", ErrorCode::PathNotFound},
      {u"Session\\1x\\y", ErrorCode::PathNotFound},
      {u"Session\\99999999999\\y", ErrorCode::PathNotFound},
      {u"Global\\", ErrorCode::InvalidParameter},
      {std::u16string(261, u'a'), ErrorCode::NameTooLong},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveObjectName(c.name).code(), c.code) << WideToAnsiText(c.name);
    EXPECT_EQ(Event::Create(c.name, false, false).code(), c.code) << WideToAnsiText(c.name);
  }
  EXPECT_TRUE(ResolveObjectName(std::u16string(260, u'a')).ok());
}

TEST(ObjectName, GlobalAndSessionNamesMeetOnlyInTheirNamespace) {
  ScopedObjectDir dir;
  auto leaf = UniqueName("ns");
  auto global = Event::Create(u"Global\\" + leaf, true, true);
  ASSERT_TRUE(global.ok());
  EXPECT_TRUE(Event::Open(u"Session\\0\\" + leaf).ok());
  EXPECT_EQ(Event::Open(u"Session\\12345\\" + leaf).code(), ErrorCode::FileNotFound);
  auto local = Event::Create(u"Local\\" + leaf, true, false);
  ASSERT_TRUE(local.ok());
  // In session 0 "Local\" is the global namespace, elsewhere its own.
  EXPECT_EQ(local->Wait(0) == WaitResult::Signaled, MySession() == 0);
}

TEST(ObjectName, NamesStayInsideTheObjectRoot) {
  ScopedObjectDir dir;
  const std::u16string names[] = {u"../escape", u"..", u".", u"a/b", u"100%", u"\u00e9\u4e2d"};
  for (const auto& name : names) {
    auto e = Event::Create(u"Global\\" + name, true, true);
    ASSERT_TRUE(e.ok()) << WideToAnsiText(name);
    EXPECT_TRUE(Event::Open(u"Global\\" + name).ok());
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().string().rfind(dir.Path(), 0), 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.Path()).parent_path() / "escape"));
}

}  // namespace
}  // namespace ztn::platform
