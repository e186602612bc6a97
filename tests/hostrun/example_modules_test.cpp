// The example path table module and string module, called directly through
// their exports.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "hostrun/environment/path_table_exports.h"
#include "hostrun/environment/skin_format.h"
#include "hostrun/environment/skin_strings.h"
#include "hostrun/environment/string_module_exports.h"
#include "platform/module.h"
#include "platform/path.h"
#include "support/caller_token.h"
#include "support/string_util.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/hostrun/hostrun_test_util.h"

namespace ztn::test {
namespace {

namespace fs = std::filesystem;

using FolderFn = int32_t (*)(const char16_t*, char16_t*, int32_t);
using FolderNewFn = int32_t (*)(const char16_t*, char16_t*, int32_t, int32_t);
using Folder2Fn = int32_t (*)(const char16_t*, const char16_t*, char16_t*, int32_t);
using FileNew2Fn = int32_t (*)(const char16_t*, const char16_t*, const char16_t*, char16_t*,
                               int32_t, int32_t);
using ListFn = int32_t (*)(char16_t**);
using FreeListFn = int32_t (*)(char16_t*);

// A copy of the example path table module in a folder of its own, with the
// data file `data`.
class PathTableFixture {
 public:
  explicit PathTableFixture(const std::string& data) {
    CopyFile(ZTN_TEST_EXAMPLE_PTL, dir_.Path() / "ptl.ztm");
    WriteFile(dir_.Path() / "ptl.dat", data);
    auto module = platform::Module::Load(SystemPath(dir_.Path() / "ptl.ztm"));
    EXPECT_TRUE(module.ok());
    if (module.ok()) module_ = std::move(module).value();
  }
  int32_t Initialize(const std::u16string& token) {
    auto init = module_.GetFunction<PathTableInitializeFn>("Initialize");
    return init ? init(u"ptl.dat", Base().c_str(), token.c_str(), 0) : -1;
  }
  std::u16string Base() const { return dir_.SystemPath(); }
  const platform::Module& Module() const { return module_; }

  // (folder, file, flags) through GetFilePathNew; "<none>" for no answer.
  std::u16string File(const char16_t* folder, const char16_t* file, int32_t flags = 1,
                      int32_t capacity = kPathBufferCapacity) {
    auto get = module_.GetFunction<PathTableGetFilePathNewFn>("GetFilePathNew");
    std::vector<char16_t> buffer(static_cast<size_t>(capacity) + 1, u'#');
    if (get(folder, file, buffer.data(), capacity, flags) == 0) {
      return buffer[0] == 0 ? u"<none>" : u"<dirty>";
    }
    return buffer.data();
  }

 private:
  TempDir dir_;
  platform::Module module_;
};

const char* const kData =
    "# example\n"
    "set TOOLS = %BASE%\\tools\n"
    "folder UTIL_FOLDER = %BASE%\\util\n"
    "folder CONFIG_FOLDER = %TOOLS%/config\n"
    "file UTIL_FOLDER STRING_MODULE = strings.ztm\n"
    "file CONFIG_FOLDER SKIN_FILE_EN = skin_en.dat\n"
    "file CONFIG_FOLDER ABSOLUTE = \\opt\\elsewhere\\x.bin\n"
    "   file   UTIL_FOLDER   SPACED   =   a b.txt   \r\n";

TEST(ExamplePathTable, AnswersFromItsDataFile) {
  PathTableFixture table(kData);
  ASSERT_EQ(table.Initialize(MakeCallerToken()), 1);
  const std::u16string base = table.Base();
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE"), base + u"\\util\\strings.ztm");
  EXPECT_EQ(table.File(u"CONFIG_FOLDER", u"SKIN_FILE_EN"), base + u"\\tools\\config\\skin_en.dat");
  EXPECT_EQ(table.File(u"CONFIG_FOLDER", u"ABSOLUTE"), u"\\opt\\elsewhere\\x.bin");
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"SPACED"), base + u"\\util\\a b.txt");
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE", 0), u"strings.ztm");
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"MISSING"), u"<none>");
  EXPECT_EQ(table.File(u"NO_FOLDER", u"STRING_MODULE"), u"<none>");

  // The answer and its NUL must fit the capacity.
  const std::u16string full = base + u"\\util\\strings.ztm";
  const auto exact = static_cast<int32_t>(full.size() + 1);
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE", 1, exact), full);
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE", 1, exact - 1), u"<none>");

  std::array<char16_t, 512> out{};
  auto getFile = table.Module().GetFunction<PathTableGetFilePathFn>("GetFilePath");
  ASSERT_EQ(getFile(u"UTIL_FOLDER", u"STRING_MODULE", out.data(), 512), 1);
  EXPECT_EQ(std::u16string(out.data()), full);
  auto getName = table.Module().GetFunction<PathTableGetFilePathFn>("GetFileName");
  ASSERT_EQ(getName(u"CONFIG_FOLDER", u"SKIN_FILE_EN", out.data(), 512), 1);
  EXPECT_EQ(std::u16string(out.data()), u"skin_en.dat");
  auto folder = table.Module().GetFunction<FolderFn>("GetFolderPath");
  ASSERT_EQ(folder(u"CONFIG_FOLDER", out.data(), 512), 1);
  EXPECT_EQ(std::u16string(out.data()), base + u"\\tools\\config");
  auto folderNew = table.Module().GetFunction<FolderNewFn>("GetFolderPathNew");
  ASSERT_EQ(folderNew(u"CONFIG_FOLDER", out.data(), 512, 0), 1);
  EXPECT_EQ(std::u16string(out.data()), u"%TOOLS%\\config");
  auto variable = table.Module().GetFunction<FolderFn>("GetPathVariable");
  ASSERT_EQ(variable(u"BASE", out.data(), 512), 1);
  EXPECT_EQ(std::u16string(out.data()), base);

  // Per-user forms: the machine table for no SID, nothing for another.
  auto folder2 = table.Module().GetFunction<Folder2Fn>("GetFolderPath2");
  EXPECT_EQ(folder2(nullptr, u"UTIL_FOLDER", out.data(), 512), 1);
  EXPECT_EQ(folder2(u"S-1-5-21-1", u"UTIL_FOLDER", out.data(), 512), 0);
  auto file2 = table.Module().GetFunction<FileNew2Fn>("GetFilePathNew2");
  EXPECT_EQ(file2(u"", u"UTIL_FOLDER", u"STRING_MODULE", out.data(), 512, 1), 1);
  EXPECT_EQ(std::u16string(out.data()), full);

  auto list = table.Module().GetFunction<ListFn>("GetPathVariableList");
  auto sids = table.Module().GetFunction<ListFn>("GetSIDList");
  auto freeList = table.Module().GetFunction<FreeListFn>("FreeList");
  char16_t* names = nullptr;
  ASSERT_EQ(list(&names), 2);
  EXPECT_EQ(std::u16string(names), u"BASE=" + base);
  EXPECT_EQ(std::u16string(names + base.size() + 6), u"TOOLS=" + base + u"\\tools");
  EXPECT_EQ(freeList(names), 1);
  char16_t* sidList = nullptr;
  ASSERT_EQ(sids(&sidList), 0);
  EXPECT_EQ(sidList[0], 0);
  EXPECT_EQ(freeList(sidList), 1);

  auto uninit = table.Module().GetFunction<int32_t (*)()>("UnInitialize");
  EXPECT_EQ(uninit(), 1);
  EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE"), u"<none>");
}

TEST(ExamplePathTable, ExportsAllFifteenNames) {
  PathTableFixture table("");
  for (const char* name :
       {"Initialize", "UnInitialize", "GetPathVariable", "GetPathVariableList", "GetSIDList",
        "FreeList", "GetFolderPath", "GetFolderPath2", "GetFilePath", "GetFilePath2",
        "GetFolderPathNew", "GetFolderPathNew2", "GetFilePathNew", "GetFilePathNew2", "GetFileName"}) {
    EXPECT_NE(table.Module().GetExport(name), nullptr) << name;
  }
}

TEST(ExamplePathTable, RefusesBadTokensAndBadDataFiles) {
  {
    PathTableFixture table(kData);
    std::u16string token = MakeCallerToken();
    ASSERT_EQ(token.size(), 36u);
    token[35] = token[35] == u'0' ? u'1' : u'0';
    EXPECT_EQ(table.Initialize(u""), 0);
    EXPECT_EQ(table.Initialize(token), 0);
    EXPECT_EQ(table.File(u"UTIL_FOLDER", u"STRING_MODULE"), u"<none>");
  }
  const std::vector<const char*> badFiles = {
      "folder A = x\nfolder A = y\n",           // folder twice
      "file A B = x\n",                         // folder not declared
      "folder A = %NOPE%\\x\n",                 // unknown variable
      "folder A = %BASE\n",                     // unclosed variable
      "set BASE = x\n",                         // BASE is fixed
      "folder A = x\nfile A B = y\nfile A B = z\n",  // file twice
      "folder A\n",                             // no value
      "folder A =\n",                           // empty value
      "folder A-B = x\n",                       // bad key
      "directory A = x\n",                      // unknown entry
      "folder A B = x\n",                       // too many words
  };
  for (const char* data : badFiles) {
    SCOPED_TRACE(data);
    PathTableFixture table(data);
    EXPECT_EQ(table.Initialize(MakeCallerToken()), 0);
  }
  PathTableFixture missing(kData);
  std::error_code ec;
  fs::remove(fs::path(platform::ToNativePath(missing.Base())) / "ptl.dat", ec);
  EXPECT_EQ(missing.Initialize(MakeCallerToken()), 0);
}

// --- the example string module ----------------------------------------------

class StringModuleFixture {
 public:
  StringModuleFixture() {
    auto module = platform::Module::Load(platform::FromNativePath(ZTN_TEST_EXAMPLE_STRINGS));
    EXPECT_TRUE(module.ok());
    if (!module.ok()) return;
    module_ = std::move(module).value();
    initialize = module_.GetFunction<StringModuleInitializeV2Fn>("Initialize_V2");
    getName = module_.GetFunction<StringModuleGetSkinBufferNameFn>("GetSkinBufferName");
    lock = module_.GetFunction<StringModuleLockFn>("Lock");
    unlock = module_.GetFunction<StringModuleUnlockFn>("Unlock");
  }
  std::u16string Name() {
    std::array<char16_t, kSkinBufferNameCapacity> name{};
    return getName(name.data()) != 0 ? std::u16string(name.data()) : u"";
  }
  platform::Module& Module() { return module_; }

  StringModuleInitializeV2Fn initialize = nullptr;
  StringModuleGetSkinBufferNameFn getName = nullptr;
  StringModuleLockFn lock = nullptr;
  StringModuleUnlockFn unlock = nullptr;

 private:
  platform::Module module_;
};

std::u16string DemoSkin(const std::string& lang) {
  return SystemPath(fs::path(ZTN_TEST_DEMO_DIR) / "config" / ("skin_" + lang + ".skn"));
}

TEST(ExampleStringModule, PublishesTheSkinFileForTheTable) {
  ScopedObjectDir objects;
  StringModuleFixture strings;
  ASSERT_NE(strings.initialize, nullptr);
  EXPECT_EQ(strings.Name(), u"") << "a name before anything is published";
  ASSERT_EQ(strings.initialize(MakeCallerToken().c_str(), DemoSkin("ja").c_str()), 1);
  const std::u16string first = strings.Name();
  ASSERT_FALSE(first.empty());

  SkinStringTable japanese;
  ASSERT_TRUE(MapSkinBuffer(japanese, first));
  std::vector<SkinText> source;
  std::string error;
  ASSERT_TRUE(ParseSkinSource(ReadFile(fs::path(ZTN_TEST_SKIN_SOURCE_DIR) / "skin_ja.txt"), source,
                              error));
  for (const SkinText& text : source) {
    std::u16string found;
    EXPECT_TRUE(FindSkinString(japanese, HashString(text.key), found)) << Utf8(text.key);
    EXPECT_EQ(found, text.text);
  }

  // A second publication gets a fresh buffer; the first stays readable
  // through its mapping, also after the module is unloaded.
  ASSERT_EQ(strings.initialize(MakeCallerToken().c_str(), DemoSkin("en").c_str()), 1);
  EXPECT_NE(strings.Name(), first);
  strings.Module().Free();
  std::u16string found;
  EXPECT_TRUE(GetSkinString(u"IDS_PRODUCT_NAME", japanese, found));
  EXPECT_EQ(found, source[0].key == u"IDS_PRODUCT_NAME" ? source[0].text : source[1].text);
}

TEST(ExampleStringModule, RefusesBadTokensAndBadSkinFiles) {
  ScopedObjectDir objects;
  StringModuleFixture strings;
  ASSERT_NE(strings.initialize, nullptr);
  TempDir dir;
  WriteFile(dir.Path() / "garbage.skn", "ZSKN but nothing valid");
  WriteFile(dir.Path() / "source.skn", "IDS_A=a skin source, not a skin file\n");
  std::u16string token = MakeCallerToken();
  EXPECT_EQ(strings.initialize(u"", DemoSkin("en").c_str()), 0);
  EXPECT_EQ(strings.initialize(nullptr, DemoSkin("en").c_str()), 0);
  EXPECT_EQ(strings.initialize((token + u"0").c_str(), DemoSkin("en").c_str()), 0);
  for (const std::u16string& path :
       {std::u16string(), SystemPath(dir.Path() / "missing.skn"), SystemPath(dir.Path() / "garbage.skn"),
        SystemPath(dir.Path() / "source.skn"), dir.SystemPath()}) {
    SCOPED_TRACE(Utf8(path));
    EXPECT_EQ(strings.initialize(token.c_str(), path.c_str()), 0);
  }
  EXPECT_EQ(strings.initialize(token.c_str(), nullptr), 0);
  EXPECT_EQ(strings.Name(), u"");
}

TEST(ExampleStringModule, LockAndUnlockPairUpPerThread) {
  StringModuleFixture strings;
  ASSERT_NE(strings.lock, nullptr);
  EXPECT_EQ(strings.unlock(), 0) << "unlock without lock";
  EXPECT_EQ(strings.lock(), 1);
  EXPECT_EQ(strings.lock(), 1);  // recursive
  EXPECT_EQ(strings.unlock(), 1);
  EXPECT_EQ(strings.unlock(), 1);
  EXPECT_EQ(strings.unlock(), 0);
}

}  // namespace
}  // namespace ztn::test
