// The global shared space: opened at start-up, base folder read under the
// mutex, the cache rules, a mutex held elsewhere, a text without its NUL.
// The space is opened once per process, so every case runs in a child of
// its own with a private object folder.
#include "hostrun/environment/global_space.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space_text.h"
#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/shared_memory.h"
#include "support/memory_buffer.h"
#include "support/named_mutex.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/hostrun/hostrun_test_util.h"

namespace ztn::test {
namespace {

std::u16string Wide(const std::string& text) { return platform::AnsiToWideText(text); }

std::u16string Encrypted(std::u16string_view text) {
  std::u16string out;
  EXPECT_TRUE(StringCryptToolW().EncryptString(text, out));
  return out;
}

platform::Event MakeEvent(const std::u16string& name) {
  auto event = platform::Event::Create(name, true, false);
  return event.ok() ? std::move(event).value() : platform::Event();
}

// Reports the space as found at start-up, before any GlobalData exists;
// then, once told, reads the base folder, which must be empty.
ZTN_CHILD(StartupSpace) {
  ZTN_CHILD_CHECK(IsGlobalSpaceOpen(), 2);
  platform::Event ready = MakeEvent(Wide(args.at(0)));
  platform::Event done = MakeEvent(Wide(args.at(1)));
  ZTN_CHILD_CHECK(ready.Set().ok(), 3);
  ZTN_CHILD_CHECK(done.Wait(10000) == platform::WaitResult::Signaled, 4);
  GlobalData data;
  std::u16string folder = u"untouched";
  ZTN_CHILD_CHECK(data.GetBaseFolder(folder) == kGlobalSpaceOk, 5);
  ZTN_CHILD_CHECK(folder.empty(), 6);
  return 0;
}

TEST(GlobalSpace, StartupCreatesZeroedSpaceThatOtherProcessesOpen) {
  ScopedObjectDir objects;
  const std::u16string ready = UniqueName("ready");
  const std::u16string done = UniqueName("done");
  platform::Event readyEvent = MakeEvent(ready);
  platform::Event doneEvent = MakeEvent(done);
  auto child = SpawnChild("StartupSpace", {Utf8(ready), Utf8(done)});
  ASSERT_EQ(readyEvent.Wait(10000), platform::WaitResult::Signaled);

  auto space = platform::SharedMemory::Open(kGlobalSpaceName);
  ASSERT_TRUE(space.ok()) << "the space is not there while the program runs";
  EXPECT_EQ(space->Size(), kGlobalSpaceSize);
  auto view = space->Map(kGlobalSpaceSize);
  ASSERT_TRUE(view.ok());
  const auto* bytes = static_cast<const uint8_t*>(view->Data());
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + kGlobalSpaceSize),
            std::vector<uint8_t>(kGlobalSpaceSize, 0));
  ASSERT_TRUE(doneEvent.Set().ok());
  EXPECT_EQ(WaitChild(child), 0);
}

// Reads the base folder through a fresh GlobalData and compares it with the
// expected UTF-8 text.
ZTN_CHILD(ReadBaseFolder) {
  GlobalData data;
  std::u16string folder;
  ZTN_CHILD_CHECK(data.GetBaseFolder(folder) == kGlobalSpaceOk, 2);
  ZTN_CHILD_CHECK(Utf8(folder) == args.at(0), 3);
  return 0;
}

TEST(GlobalSpace, ExistingSpaceKeepsItsContentsAndGivesTheFolder) {
  ScopedObjectDir objects;
  MemoryBufferExW space;
  ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
  auto* bytes = static_cast<uint8_t*>(space.Data());
  const uint8_t header[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::memcpy(bytes, header, sizeof header);
  const std::u16string folder = u"C:\\Program Files\\제품 ZTN";
  ASSERT_TRUE(WriteBaseFolderText(bytes, Encrypted(folder)));
  bytes[kGlobalSpaceSize - 1] = 0x77;

  auto child = SpawnChild("ReadBaseFolder", {Utf8(folder)});
  EXPECT_EQ(WaitChild(child), 0);
  EXPECT_EQ(std::memcmp(bytes, header, sizeof header), 0) << "opening zeroed an existing space";
  EXPECT_EQ(bytes[kGlobalSpaceSize - 1], 0x77);
}

// Runs the table of stored texts and the cache rules inside one process,
// writing the space through a second mapping of its own.
ZTN_CHILD(BaseFolderTexts) {
  MemoryBufferExW writer;
  ZTN_CHILD_CHECK(writer.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, false) == 1, 2);
  auto* space = static_cast<uint8_t*>(writer.Data());
  const std::u16string folder = u"D:\\ztn\\base";
  std::u16string encrypted;
  ZTN_CHILD_CHECK(StringCryptToolW().EncryptString(folder, encrypted), 3);
  std::u16string lower = encrypted;
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
  }

  struct Case {
    std::u16string stored;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {encrypted, folder},
      {lower, folder},                                // digits in either case
      {encrypted + u"7", folder},                     // a final odd digit is ignored
      {u"", u""},                                     // nothing stored
      {encrypted.substr(0, 30), u""},                 // too short
      {encrypted.substr(0, encrypted.size() - 4), u""},  // a bad length
      {std::u16string(encrypted.size(), u'Z'), u""},  // not hexadecimal
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    std::memset(space + kBaseFolderOffset, 0, kGlobalSpaceSize - kBaseFolderOffset);
    ZTN_CHILD_CHECK(WriteBaseFolderText(space, cases[i].stored), 10 + static_cast<int>(i));
    GlobalData data;  // a new object reads the space again
    std::u16string result = u"untouched";
    ZTN_CHILD_CHECK(data.GetBaseFolder(result) == kGlobalSpaceOk, 20 + static_cast<int>(i));
    ZTN_CHILD_CHECK(result == cases[i].expected, 30 + static_cast<int>(i));
  }

  // A non-empty result is served from the object's cache.
  ZTN_CHILD_CHECK(WriteBaseFolderText(space, encrypted), 40);
  GlobalData cached;
  std::u16string result;
  ZTN_CHILD_CHECK(cached.GetBaseFolder(result) == kGlobalSpaceOk && result == folder, 41);
  std::u16string other;
  ZTN_CHILD_CHECK(StringCryptToolW().EncryptString(u"E:\\other", other), 42);
  ZTN_CHILD_CHECK(WriteBaseFolderText(space, other), 43);
  ZTN_CHILD_CHECK(cached.GetBaseFolder(result) == kGlobalSpaceOk && result == folder, 44);
  GlobalData fresh;
  ZTN_CHILD_CHECK(fresh.GetBaseFolder(result) == kGlobalSpaceOk && result == u"E:\\other", 45);

  // An empty result is not cached: the same object reads again.
  ZTN_CHILD_CHECK(WriteBaseFolderText(space, u""), 50);
  GlobalData retry;
  ZTN_CHILD_CHECK(retry.GetBaseFolder(result) == kGlobalSpaceOk && result.empty(), 51);
  ZTN_CHILD_CHECK(WriteBaseFolderText(space, encrypted), 52);
  ZTN_CHILD_CHECK(retry.GetBaseFolder(result) == kGlobalSpaceOk && result == folder, 53);
  return 0;
}

TEST(GlobalSpace, StoredTextsAndCacheRules) {
  ScopedObjectDir objects;
  auto child = SpawnChild("BaseFolderTexts");
  EXPECT_EQ(WaitChild(child), 0);
}

// Holds "GlobalSpaceMutex" until told to let go.
ZTN_CHILD(HoldSpaceMutex) {
  NamedMutex mutex;
  ZTN_CHILD_CHECK(mutex.Create(kGlobalSpaceMutexName), 2);
  ZTN_CHILD_CHECK(mutex.Lock(10000) == platform::WaitResult::Signaled, 3);
  platform::Event held = MakeEvent(Wide(args.at(0)));
  platform::Event release = MakeEvent(Wide(args.at(1)));
  ZTN_CHILD_CHECK(held.Set().ok(), 4);
  ZTN_CHILD_CHECK(release.Wait(10000) == platform::WaitResult::Signaled, 5);
  ZTN_CHILD_CHECK(mutex.Unlock(), 6);
  return 0;
}

// Reads the base folder while the mutex is held elsewhere: the read goes on
// after the 3000 ms time limit.
ZTN_CHILD(ReadPastHeldMutex) {
  GlobalData data;
  std::u16string folder;
  const auto start = std::chrono::steady_clock::now();
  ZTN_CHILD_CHECK(data.GetBaseFolder(folder) == kGlobalSpaceOk, 2);
  const auto waited = std::chrono::steady_clock::now() - start;
  ZTN_CHILD_CHECK(Utf8(folder) == args.at(0), 3);
  ZTN_CHILD_CHECK(waited >= std::chrono::milliseconds(2900), 4);
  return 0;
}

TEST(GlobalSpace, MutexHeldElsewhereDelaysTheReadByTheTimeLimitOnly) {
  ScopedObjectDir objects;
  MemoryBufferExW space;
  ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
  ASSERT_TRUE(WriteBaseFolderText(static_cast<uint8_t*>(space.Data()), Encrypted(u"F:\\held")));

  const std::u16string held = UniqueName("held");
  const std::u16string release = UniqueName("release");
  platform::Event heldEvent = MakeEvent(held);
  platform::Event releaseEvent = MakeEvent(release);
  auto holder = SpawnChild("HoldSpaceMutex", {Utf8(held), Utf8(release)});
  ASSERT_EQ(heldEvent.Wait(10000), platform::WaitResult::Signaled);
  auto reader = SpawnChild("ReadPastHeldMutex", {"F:\\held"});
  EXPECT_EQ(WaitChild(reader), 0);
  ASSERT_TRUE(releaseEvent.Set().ok());
  EXPECT_EQ(WaitChild(holder), 0);
}

TEST(GlobalSpace, TextWithoutNulEndsAtTheEndOfTheSpace) {
  // Another component made the object larger than the space; a text that
  // runs past byte 7828 must not be read beyond it, even though the memory
  // behind it is there and would complete a valid encrypted string.
  ScopedObjectDir objects;
  const uint32_t objectSize = 16384;
  MemoryBufferExW space;
  ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, objectSize, true), 1);
  const std::u16string folder(1960, u'x');
  const std::u16string encrypted = Encrypted(folder);
  ASSERT_EQ(encrypted.size(), 3938u);
  ASSERT_GT(kBaseFolderOffset + 2 * encrypted.size(), kGlobalSpaceSize);
  auto* bytes = static_cast<uint8_t*>(space.Data());
  for (size_t i = 0; i < encrypted.size(); ++i) {
    bytes[kBaseFolderOffset + 2 * i] = static_cast<uint8_t>(encrypted[i]);
    bytes[kBaseFolderOffset + 2 * i + 1] = 0;
  }
  auto child = SpawnChild("ReadBaseFolder", {""});
  EXPECT_EQ(WaitChild(child), 0);
}

// The space cannot be opened: GetBaseFolder fails and leaves the output.
ZTN_CHILD(SpaceUnavailable) {
  ZTN_CHILD_CHECK(!IsGlobalSpaceOpen(), 2);
  GlobalData data;  // tries again, and fails again
  ZTN_CHILD_CHECK(!IsGlobalSpaceOpen(), 3);
  std::u16string folder = u"untouched";
  ZTN_CHILD_CHECK(data.GetBaseFolder(folder) == kGlobalSpaceFail, 4);
  ZTN_CHILD_CHECK(folder == u"untouched", 5);
  ZTN_CHILD_CHECK(OpenGlobalSpace() == kGlobalSpaceFail, 6);
  return 0;
}

TEST(GlobalSpace, NameHeldByAnotherKindOfObjectFailsTheSpace) {
  ScopedObjectDir objects;
  auto squatter = platform::Mutex::Create(kGlobalSpaceName, false);
  ASSERT_TRUE(squatter.ok());
  auto child = SpawnChild("SpaceUnavailable");
  EXPECT_EQ(WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn::test
