// The ID manager table: appending, reusing dead entries, a table full of live
// entries, and contents written by a hostile process. Also a control driven
// directly: a failing UUID source and claims of a send queue taken over.
#include <gtest/gtest.h>

#include <future>

#include "linkmod/linkmod_control.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

namespace ztn::test {
namespace {

TEST(LinkmodIdTable, AppendReuseAndEmptyEntries) {
  ScopedObjectDir dir;
  auto first = std::make_unique<Registration>(5, 6);
  ASSERT_TRUE(first->ok());
  {
    IdTableView table;
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table.count(), 1u);
    auto entry = table.entry(0);
    EXPECT_EQ(entry.state, 1u);
    EXPECT_EQ(entry.moduleType, 5);
    EXPECT_EQ(entry.subType, 6);
    EXPECT_EQ(linkmod::ReadIdentityField(entry.identity), first->str());
    // Zero after the terminator.
    for (size_t i = first->str().size(); i < linkmod::kIdentityUnits; ++i) {
      EXPECT_EQ(entry.identity[i], u'\0');
    }
  }
  Registration second(7, 8);
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(IdTableView().count(), 2u);
  EXPECT_EQ(IdTableView().find(second.str()), 1);

  first.reset();
  Registration third(9, 0);
  ASSERT_TRUE(third.ok());
  EXPECT_EQ(IdTableView().find(third.str()), 0);
  EXPECT_EQ(IdTableView().count(), 2u);

  // An entry with an empty identity is never claimed.
  {
    IdTableView table;
    table.set_entry(2, MakeEntry(0, 0, 0, u""));
    table.set_count(3);
  }
  Registration fourth(9, 1);
  ASSERT_TRUE(fourth.ok());
  EXPECT_EQ(IdTableView().find(fourth.str()), 3);
  EXPECT_EQ(IdTableView().count(), 4u);
}

// A full table of live entries refuses the registration instead of writing
// past its end, whatever entryCount claims; an identity without a NUL is read
// within its field only.
TEST(LinkmodIdTable, FullAndHostileTable) {
  ScopedObjectDir dir;
  Registration anchor(1, 0);
  ASSERT_TRUE(anchor.ok());
  {
    IdTableView table;
    ASSERT_TRUE(table.ok());
    for (uint32_t i = 1; i < linkmod::kIdTableCapacity; ++i) {
      table.set_entry(i, MakeEntry(1, 0, 0, anchor.str()));  // live: the anchor's identity
    }
    table.set_count(0xFFFFFFFFu);
  }
  std::u16string token = MakeCallerToken();
  char16_t out[LINKMOD_IDENTITY_UNITS] = {u'#'};
  EXPECT_EQ(Initialize(token.c_str(), 2, 0, 1, out), 1);  // the anchor's flag
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(IdTableView().count(), 0xFFFFFFFFu);
  // Listing the table stays within it, and skips the caller's own identity.
  EXPECT_EQ(SendToModuleType(anchor.id(), 0, -1, nullptr, 1, nullptr, 0, 100), 0);

  // An identity of 56 units without a NUL names no live registration.
  {
    IdTableView table;
    auto entry = MakeEntry(1, 0, 0, u"");
    std::fill(std::begin(entry.identity), std::end(entry.identity), u'A');
    table.set_entry(5000, entry);
  }
  Registration claimed(3, 0);
  ASSERT_TRUE(claimed.ok());
  EXPECT_EQ(IdTableView().find(claimed.str()), 5000);
}

platform::Result<platform::Uuid> FailingUuid() {
  return platform::Error{platform::ErrorCode::Unknown, 0};
}

TEST(LinkmodControl, UuidFailureFailsTheRegistration) {
  ScopedObjectDir dir;
  linkmod::LinkmodControl control;
  control.uuidSource = &FailingUuid;
  EXPECT_TRUE(control.InitializeControl(1, 1, 1).empty());
  EXPECT_TRUE(control.Identity().empty());
  EXPECT_FALSE(IdTableView().ok());
}

// A queue whose target died is taken over by another send; the first
// holder's release must not free the new claim.
TEST(LinkmodControl, ReleaseIsTiedToItsClaim) {
  ScopedObjectDir dir;
  Registration liveTarget(1, 0);
  ASSERT_TRUE(liveTarget.ok());
  linkmod::LinkmodControl control;
  ASSERT_FALSE(control.InitializeControl(2, 0, 1).empty());

  linkmod::QueueClaim dead, live, probe;
  ASSERT_TRUE(control.FindQueue(u"Global\\{dead-target}", 1000, &dead));
  ASSERT_TRUE(control.FindQueue(liveTarget.str(), 1000, &live));
  EXPECT_EQ(live.index, dead.index);
  EXPECT_NE(live.claim, dead.claim);

  control.ReleaseQueue(dead);  // the stale holder ends: the queue stays held
  EXPECT_FALSE(control.FindQueue(liveTarget.str(), 50, &probe));
  control.ReleaseQueue(live);
  ASSERT_TRUE(control.FindQueue(liveTarget.str(), 1000, &probe));
  control.ReleaseQueue(probe);

  auto teardown = std::async(std::launch::async, [&] { control.TeardownControl(); });
  EXPECT_EQ(teardown.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace ztn::test
