// Path table client: finding and loading the module, the edition flag, how
// lookups are asked, readiness, attach and stop. The bindings are
// process-wide, so every case runs in a child process of its own.
#include "hostrun/environment/path_table.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space.h"
#include "hostrun/environment/global_space_text.h"
#include "platform/code_page.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/process.h"
#include "support/memory_buffer.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/hostrun/hostrun_test_util.h"

namespace ztn::test {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const std::string& text) { return platform::AnsiToWideText(text); }

fs::path FakeModule(const std::string& variant) {
  return fs::path(ZTN_TEST_MODULE_DIR) / ("fake_ptl_" + variant + ".ztm");
}

// What the module's Initialize received, or empty when it was not called.
std::u16string InitArgs(const char16_t* moduleName) {
  const auto get = reinterpret_cast<int32_t (*)(char16_t*, int32_t)>(
      platform::GetModuleExport(platform::FindLoadedModule(moduleName), "FakePtlInitArgs"));
  if (get == nullptr) return u"";
  std::array<char16_t, 1024> buffer{};
  return get(buffer.data(), static_cast<int32_t>(buffer.size())) != 0 ? buffer.data() : u"";
}

bool AllRowsNull() {
  for (int row = 0; row < kPathTableRowCount; ++row) {
    if (PathTableBinding(row) != nullptr) return false;
  }
  return true;
}

std::u16string Lookup(const char16_t* folderKey, const char16_t* fileKey) {
  std::u16string path = u"stale";
  if (!PathTableFilePath(folderKey, fileKey, path)) return path.empty() ? u"<none>" : u"<dirty>";
  return path;
}

// Arguments: folder, module name expected loaded ("ptl.ztm"/"ptl.kqm"),
// expected Start result, expected edition, expected answer for
// (UTIL_FOLDER, HOST_UTIL_MODULE) ("<none>" for no answer).
ZTN_CHILD(StartAndLookUp) {
  const std::u16string folder = Wide(args.at(0));
  const std::u16string name = Wide(args.at(1));
  const int expectedResult = std::stoi(args.at(2));
  const int expectedEdition = std::stoi(args.at(3));
  const std::u16string expectedAnswer = Wide(args.at(4));

  int32_t edition = 5;
  PathTableAttach(edition);
  ZTN_CHILD_CHECK(edition == kPathTableEditionZtm, 2);
  ZTN_CHILD_CHECK(AllRowsNull(), 3);
  ZTN_CHILD_CHECK(PathTableStart(folder, edition) == expectedResult, 4);
  ZTN_CHILD_CHECK(edition == expectedEdition, 5);
  ZTN_CHILD_CHECK(platform::FindLoadedModule(name) != nullptr, 6);
  ZTN_CHILD_CHECK(Lookup(u"UTIL_FOLDER", u"HOST_UTIL_MODULE") == expectedAnswer, 7);

  PathTableStop(edition);
  ZTN_CHILD_CHECK(platform::FindLoadedModule(name) == nullptr, 8);
  ZTN_CHILD_CHECK(AllRowsNull(), 9);
  ZTN_CHILD_CHECK(Lookup(u"UTIL_FOLDER", u"HOST_UTIL_MODULE") == u"<none>", 10);
  return 0;
}

struct StartCase {
  const char* title;
  const char* variant;
  const char* fileName;
  const char* expectedResult;
  const char* expectedEdition;
  const char* expectedAnswer;
};

TEST(PathTable, StartLoadsTheModuleAndLookupsAskAsTheModuleAllows) {
  const std::vector<StartCase> cases = {
      {"both lookups: only the new one, with 512 and 1", "basic", "ptl.ztm", "7", "0",
       "basic|new|UTIL_FOLDER|HOST_UTIL_MODULE|512|1"},
      {"only ptl.kqm: edition 1", "basic", "ptl.kqm", "7", "1",
       "basic|new|UTIL_FOLDER|HOST_UTIL_MODULE|512|1"},
      {"only GetFilePath: four arguments", "old_only", "ptl.ztm", "7", "0",
       "old|old|UTIL_FOLDER|HOST_UTIL_MODULE|512"},
      {"Initialize returns 0: still ready", "init_zero", "ptl.ztm", "0", "0",
       "zero|new|UTIL_FOLDER|HOST_UTIL_MODULE|512|1"},
      {"lookups return 0: no answer", "lookup_zero", "ptl.ztm", "7", "0", "<none>"},
      {"no Initialize: never ready", "no_init", "ptl.ztm", "0", "0", "<none>"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.title);
    ScopedObjectDir objects;
    TempDir dir;
    CopyFile(FakeModule(c.variant), dir.Path() / c.fileName);
    auto child = SpawnChild("StartAndLookUp", {Utf8(dir.SystemPath()), c.fileName, c.expectedResult,
                                               c.expectedEdition, c.expectedAnswer});
    EXPECT_EQ(WaitChild(child), 0);
  }
}

// Start in `folder` and check what Initialize received: "ptl.dat", the
// folder, a valid caller token and 0.
ZTN_CHILD(InitializeArguments) {
  const std::u16string folder = Wide(args.at(0));
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(folder, edition) == 7, 2);
  ZTN_CHILD_CHECK(InitArgs(u"ptl.ztm") == u"ptl.dat|" + folder + u"|valid|0", 3);
  return 0;
}

TEST(PathTable, InitializeGetsDataFileFolderTokenAndZero) {
  ScopedObjectDir objects;
  TempDir dir;
  CopyFile(FakeModule("basic"), dir.Path() / "ptl.ztm");
  auto child = SpawnChild("InitializeArguments", {Utf8(dir.SystemPath())});
  EXPECT_EQ(WaitChild(child), 0);
}

// Start with no folder; argument 0: expected base folder ("" = none loaded),
// argument 1: expected tag of the answering module.
ZTN_CHILD(StartWithoutFolder) {
  const std::u16string expectedFolder = Wide(args.at(0));
  int32_t edition = 0;
  const int32_t result = PathTableStart(u"", edition);
  if (expectedFolder.empty()) {
    ZTN_CHILD_CHECK(result == 0, 2);
    ZTN_CHILD_CHECK(platform::FindLoadedModule(u"ptl.ztm") == nullptr, 3);
    ZTN_CHILD_CHECK(!PathTableReady(), 4);
    return 0;
  }
  ZTN_CHILD_CHECK(result == 7, 5);
  ZTN_CHILD_CHECK(InitArgs(u"ptl.ztm") == u"ptl.dat|" + expectedFolder + u"|valid|0", 6);
  const std::u16string answer = Lookup(u"CONFIG_FOLDER", u"SKIN_FILE");
  ZTN_CHILD_CHECK(answer.substr(0, args.at(1).size()) == Wide(args.at(1)), 7);
  return 0;
}

std::u16string ProgramFolder() {
  std::u16string path = platform::GetProgramPath();
  return path.substr(0, path.rfind(u'\\'));
}

TEST(PathTable, BaseFolderComesFromTheGlobalSpaceElseTheProgramFolder) {
  // The program's own folder holds a "ptl.ztm" that answers "program".
  ASSERT_TRUE(fs::exists(fs::path(platform::ToNativePath(ProgramFolder())) / "ptl.ztm"));
  {
    SCOPED_TRACE("nothing stored: the program's folder");
    ScopedObjectDir objects;
    auto child = SpawnChild("StartWithoutFolder", {Utf8(ProgramFolder()), "program|"});
    EXPECT_EQ(WaitChild(child), 0);
  }
  TempDir dir;
  std::u16string encrypted;
  ASSERT_TRUE(StringCryptToolW().EncryptString(dir.SystemPath(), encrypted));
  {
    SCOPED_TRACE("stored folder without a module: the program's folder is not tried");
    ScopedObjectDir objects;
    MemoryBufferExW space;
    ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
    ASSERT_TRUE(WriteBaseFolderText(static_cast<uint8_t*>(space.Data()), encrypted));
    auto child = SpawnChild("StartWithoutFolder", {"", ""});
    EXPECT_EQ(WaitChild(child), 0);
  }
  {
    SCOPED_TRACE("stored folder with a module: that one");
    CopyFile(FakeModule("basic"), dir.Path() / "ptl.ztm");
    ScopedObjectDir objects;
    MemoryBufferExW space;
    ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
    ASSERT_TRUE(WriteBaseFolderText(static_cast<uint8_t*>(space.Data()), encrypted));
    auto child = SpawnChild("StartWithoutFolder", {Utf8(dir.SystemPath()), "basic|"});
    EXPECT_EQ(WaitChild(child), 0);
  }
}

// A module loaded by someone else is bound by attach, without a start.
ZTN_CHILD(AttachToLoadedModule) {
  const std::u16string folder = Wide(args.at(0));
  auto held = platform::Module::Load(folder + u"\\ptl.kqm");
  ZTN_CHILD_CHECK(held.ok(), 2);
  int32_t edition = 0;
  PathTableAttach(edition);
  ZTN_CHILD_CHECK(edition == kPathTableEditionKqm, 3);
  ZTN_CHILD_CHECK(PathTableReady(), 4);
  ZTN_CHILD_CHECK(Lookup(u"A", u"B") == u"basic|new|A|B|512|1", 5);
  ZTN_CHILD_CHECK(InitArgs(u"ptl.kqm").empty(), 6);  // attach starts nothing

  // Stop releases only references the client took: the module stays, and
  // with it the bindings.
  PathTableStop(edition);
  ZTN_CHILD_CHECK(platform::FindLoadedModule(u"ptl.kqm") != nullptr, 7);
  ZTN_CHILD_CHECK(Lookup(u"A", u"B") == u"basic|new|A|B|512|1", 8);
  held->Free();
  ZTN_CHILD_CHECK(platform::FindLoadedModule(u"ptl.kqm") == nullptr, 9);
  PathTableStop(edition);
  ZTN_CHILD_CHECK(AllRowsNull(), 10);
  return 0;
}

TEST(PathTable, AttachBindsAModuleLoadedElsewhere) {
  ScopedObjectDir objects;
  TempDir dir;
  CopyFile(FakeModule("basic"), dir.Path() / "ptl.kqm");
  auto child = SpawnChild("AttachToLoadedModule", {Utf8(dir.SystemPath())});
  EXPECT_EQ(WaitChild(child), 0);
}

// Ready through "ptl.kqm" (without GetFilePathNew) while a full "ptl.ztm"
// is loaded too: attach changes no binding, so lookups keep the old form.
ZTN_CHILD(AttachWhenReadyChangesNothing) {
  const std::u16string kqmFolder = Wide(args.at(0));
  const std::u16string ztmFolder = Wide(args.at(1));
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(kqmFolder, edition) == 7 && edition == 1, 2);
  auto other = platform::Module::Load(ztmFolder + u"\\ptl.ztm");
  ZTN_CHILD_CHECK(other.ok(), 3);
  std::array<void*, kPathTableRowCount> before{};
  for (int row = 0; row < kPathTableRowCount; ++row) before[row] = PathTableBinding(row);
  PathTableAttach(edition);
  ZTN_CHILD_CHECK(edition == kPathTableEditionZtm, 4);  // attach looks for "ptl.ztm" first
  for (int row = 0; row < kPathTableRowCount; ++row) {
    ZTN_CHILD_CHECK(PathTableBinding(row) == before[row], 10 + row);
  }
  ZTN_CHILD_CHECK(Lookup(u"A", u"B") == u"old|old|A|B|512", 5);
  return 0;
}

TEST(PathTable, AttachWhenReadyChangesNoBinding) {
  ScopedObjectDir objects;
  TempDir kqm;
  TempDir ztm;
  CopyFile(FakeModule("old_only"), kqm.Path() / "ptl.kqm");
  CopyFile(FakeModule("basic"), ztm.Path() / "ptl.ztm");
  auto child =
      SpawnChild("AttachWhenReadyChangesNothing", {Utf8(kqm.SystemPath()), Utf8(ztm.SystemPath())});
  EXPECT_EQ(WaitChild(child), 0);
}

// Neither module file: nothing is called, lookups fail, a stop is harmless.
ZTN_CHILD(NoModule) {
  int32_t edition = 0;
  ZTN_CHILD_CHECK(!PathTableLoad(Wide(args.at(0)), edition), 2);
  ZTN_CHILD_CHECK(PathTableStart(Wide(args.at(0)), edition) == 0, 3);
  ZTN_CHILD_CHECK(edition == 0, 4);
  ZTN_CHILD_CHECK(Lookup(u"UTIL_FOLDER", u"STRING_MODULE") == u"<none>", 5);
  PathTableStop(edition);
  PathTableStop(kPathTableEditionKqm);
  ZTN_CHILD_CHECK(AllRowsNull(), 6);
  return 0;
}

TEST(PathTable, MissingModuleLeavesEverythingUnbound) {
  ScopedObjectDir objects;
  TempDir dir;
  WriteFile(dir.Path() / "ptl.dat", "folder A = x\n");
  // A file under the module's name that is no module at all.
  WriteFile(dir.Path() / "ptl.kqm", "not a module");
  auto child = SpawnChild("NoModule", {Utf8(dir.SystemPath())});
  EXPECT_EQ(WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn::test
