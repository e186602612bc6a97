// String and skin module client: lookups in malformed skin buffers, the
// string module's exports as called, the skin file choice by language, and
// the example modules with the example skins end to end.
#include "hostrun/environment/skin_strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hostrun/crypt/crypt_tool.h"
#include "hostrun/environment/path_table.h"
#include "platform/code_page.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "support/string_util.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/hostrun/hostrun_test_util.h"

namespace ztn::test {
namespace {

namespace fs = std::filesystem;

std::u16string Wide(const std::string& text) { return platform::AnsiToWideText(text); }

// --- hand-made skin buffers ----------------------------------------------

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> EncryptedText(const std::u16string& text, bool withNul = true) {
  ByteArray plain;
  for (char16_t unit : text) {
    plain.push_back(static_cast<uint8_t>(unit));
    plain.push_back(static_cast<uint8_t>(unit >> 8));
  }
  if (withNul) plain.insert(plain.end(), {0, 0});
  ByteArray cipher;
  CryptTool().Rc4Crypt(plain, cipher);
  return cipher;
}

struct RawBuffer {
  std::optional<uint32_t> bodySize;  // default: the real size
  std::optional<int32_t> count;      // default: the number of entries
  std::vector<SkinEntry> entries;
  std::vector<uint8_t> data;

  // Appends a record and returns its offset in the data area.
  uint32_t Record(uint32_t length, const std::vector<uint8_t>& bytes) {
    const auto offset = static_cast<uint32_t>(data.size());
    PutU32(data, 0);
    PutU32(data, length);
    data.insert(data.end(), bytes.begin(), bytes.end());
    return offset;
  }
  uint32_t Text(const std::u16string& text) {
    const auto bytes = EncryptedText(text);
    return Record(static_cast<uint32_t>(bytes.size()), bytes);
  }
  void Entry(uint32_t kind, const char16_t* key, uint32_t offset) {
    entries.push_back(SkinEntry{kind, HashString(key), offset});
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out;
    PutU32(out, 0);
    out.insert(out.end(), 12, 0xEE);
    PutU32(out, static_cast<uint32_t>(count.value_or(static_cast<int32_t>(entries.size()))));
    for (const SkinEntry& e : entries) {
      PutU32(out, e.kind);
      PutU32(out, e.hash);
      PutU32(out, e.recordOffset);
    }
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t body = bodySize.value_or(static_cast<uint32_t>(out.size() - 4));
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(body >> (8 * i));
    return out;
  }
};

// A named skin buffer held for the life of the object.
class PublishedBuffer {
 public:
  PublishedBuffer(const std::u16string& name, const std::vector<uint8_t>& bytes,
                  size_t objectSize = 0) {
    auto memory = platform::SharedMemory::Create(name, objectSize ? objectSize : bytes.size());
    EXPECT_TRUE(memory.ok());
    if (!memory.ok()) return;
    memory_ = std::move(memory).value();
    auto view = memory_.Map(bytes.size());
    EXPECT_TRUE(view.ok());
    if (!view.ok()) return;
    std::memcpy(view->Data(), bytes.data(), bytes.size());
  }

 private:
  platform::SharedMemory memory_;
};

struct LookupCase {
  const char* title;
  RawBuffer buffer;
  const char16_t* key;
  bool found;
  std::u16string text;
};

std::vector<LookupCase> MalformedCases() {
  std::vector<LookupCase> cases;
  {
    LookupCase c{"escapes", {}, u"IDS_A", true, u"a\nb\rc\\td\\"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"a\\nb\\rc\\td\\"));
    cases.push_back(c);
  }
  {
    LookupCase c{"same hash twice: the first", {}, u"IDS_A", true, u"first"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"first"));
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"second"));
    cases.push_back(c);
  }
  {
    LookupCase c{"nonzero kind never matches", {}, u"IDS_A", false, u"IDS_A"};
    c.buffer.Entry(2, u"IDS_A", c.buffer.Text(u"kind two"));
    cases.push_back(c);
  }
  {
    LookupCase c{"nonzero kind skipped for a later kind 0", {}, u"IDS_A", true, u"zero"};
    c.buffer.Entry(1, u"IDS_A", c.buffer.Text(u"kind one"));
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"zero"));
    cases.push_back(c);
  }
  for (int32_t count : {0, -1, INT32_MIN}) {
    LookupCase c{"count of 0 or less", {}, u"IDS_A", false, u"IDS_A"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"text"));
    c.buffer.count = count;
    cases.push_back(c);
  }
  {
    LookupCase c{"count past the buffer: the data area is out of reach", {}, u"IDS_A", false,
                 u"IDS_A"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"text"));
    c.buffer.count = 0x7FFFFFFF;
    cases.push_back(c);
  }
  {
    LookupCase c{"record offset past the end is skipped", {}, u"IDS_A", true, u"later"};
    c.buffer.Entry(0, u"IDS_A", 0xFFFFFFF0u);
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"later"));
    cases.push_back(c);
  }
  {
    LookupCase c{"record length past the end is skipped", {}, u"IDS_A", false, u"IDS_A"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Record(0xFFFFFFFFu, EncryptedText(u"short")));
    cases.push_back(c);
  }
  {
    LookupCase c{"record length 0", {}, u"IDS_A", false, u"IDS_A"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Record(0, {}));
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"never reached"));
    cases.push_back(c);
  }
  {
    LookupCase c{"one byte: an empty text", {}, u"IDS_A", true, u""};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Record(1, {0x42}));
    cases.push_back(c);
  }
  {
    LookupCase c{"no NUL: the text ends with its bytes", {}, u"IDS_A", true, u"abc"};
    const auto bytes = EncryptedText(u"abc", false);
    c.buffer.Entry(0, u"IDS_A", c.buffer.Record(static_cast<uint32_t>(bytes.size()), bytes));
    cases.push_back(c);
  }
  {
    LookupCase c{"no entry for the hash", {}, u"IDS_OTHER", false, u"IDS_OTHER"};
    c.buffer.Entry(0, u"IDS_A", c.buffer.Text(u"text"));
    cases.push_back(c);
  }
  {
    LookupCase c{"body size smaller than the object: entries past it are not read", {},
                 u"IDS_B", false, u"IDS_B"};
    c.buffer.Entry(0, u"IDS_A", 0);
    c.buffer.Entry(0, u"IDS_B", 0);
    c.buffer.Text(u"text");
    c.buffer.bodySize = 16 + 12;  // header and the first entry only
    cases.push_back(c);
  }
  return cases;
}

TEST(SkinStrings, LookupsInHandMadeBuffers) {
  ScopedObjectDir objects;
  for (const LookupCase& c : MalformedCases()) {
    SCOPED_TRACE(c.title);
    const std::u16string name = UniqueName("skin");
    PublishedBuffer published(name, c.buffer.Bytes());
    SkinStringTable table;
    ASSERT_TRUE(MapSkinBuffer(table, name));
    ASSERT_TRUE(table.IsLoaded());
    std::u16string text = u"stale";
    EXPECT_EQ(GetSkinString(c.key, table, text), c.found);
    EXPECT_EQ(text, c.text);
  }
}

TEST(SkinStrings, BuffersThatCannotBeMapped) {
  ScopedObjectDir objects;
  {
    SCOPED_TRACE("body size larger than the object");
    RawBuffer raw;
    raw.Entry(0, u"IDS_A", raw.Text(u"text"));
    raw.bodySize = 1 << 20;
    const std::u16string name = UniqueName("skin");
    PublishedBuffer published(name, raw.Bytes());
    SkinStringTable table;
    EXPECT_FALSE(MapSkinBuffer(table, name));
    EXPECT_FALSE(table.IsLoaded());
  }
  for (uint32_t body : {0u, 4u, 15u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("body size " + std::to_string(body));
    RawBuffer raw;
    raw.bodySize = body;
    const std::u16string name = UniqueName("skin");
    PublishedBuffer published(name, raw.Bytes(), 64);
    SkinStringTable table;
    EXPECT_FALSE(MapSkinBuffer(table, name));
    EXPECT_FALSE(table.IsLoaded());
  }
  {
    SCOPED_TRACE("no such buffer");
    SkinStringTable table;
    EXPECT_FALSE(MapSkinBuffer(table, UniqueName("missing")));
    EXPECT_FALSE(table.IsLoaded());
  }
}

TEST(SkinStrings, KeyWithoutMarkerComesBackWithoutLoading) {
  SkinStringTable table;
  for (const char16_t* key : {u"", u"PRODUCT_NAME", u"ids_lower", u"ID_S"}) {
    std::u16string text = u"stale";
    EXPECT_FALSE(GetSkinString(key, table, text));
    EXPECT_EQ(text, key);
    EXPECT_FALSE(table.IsLoaded());
  }
}

// --- through the path table and a string module ---------------------------

struct Installation {
  TempDir dir;
  fs::path Util() const { return dir.Path() / "util"; }
  fs::path Config() const { return dir.Path() / "config"; }
};

// Lays out ptl.ztm (the example module), ptl.dat, the string module
// `stringModule` as util/strings.ztm (none when empty) and the skin files
// named in `skins` ("en", "ko", "ja") from the example build.
void Install(Installation& install, const fs::path& stringModule,
             const std::vector<std::string>& skins) {
  CopyFile(ZTN_TEST_EXAMPLE_PTL, install.dir.Path() / "ptl.ztm");
  WriteFile(install.dir.Path() / "ptl.dat",
            "folder UTIL_FOLDER = %BASE%\\util\n"
            "folder CONFIG_FOLDER = %BASE%\\config\n"
            "file UTIL_FOLDER STRING_MODULE = strings.ztm\n"
            "file CONFIG_FOLDER SKIN_FILE = skin_ko.dat\n"
            "file CONFIG_FOLDER SKIN_FILE_JP = skin_ja.dat\n"
            "file CONFIG_FOLDER SKIN_FILE_EN = skin_en.dat\n");
  fs::create_directories(install.Util());
  fs::create_directories(install.Config());
  if (!stringModule.empty()) CopyFile(stringModule, install.Util() / "strings.ztm");
  for (const std::string& lang : skins) {
    const std::string file = "skin_" + lang + ".skn";
    CopyFile(fs::path(ZTN_TEST_DEMO_DIR) / "config" / file, install.Config() / file);
  }
}

// Sets an environment variable for the life of the object (children
// started meanwhile inherit it).
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value)
      : name_(name), previous_(platform::GetEnvVar(name)) {
    platform::SetEnvVar(name, value);
  }
  ~ScopedEnv() {
    if (previous_) {
      platform::SetEnvVar(name_, *previous_);
    } else {
      platform::UnsetEnvVar(name_);
    }
  }

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Arguments: installation folder, locale, then pairs of key and expected
// text (the text after escapes are turned into line breaks); a pair whose
// text is "=key" expects the lookup to fail. Each key is looked up twice in
// one table.
ZTN_CHILD(SkinLookups) {
  platform::SetEnvVar("LC_ALL", args.at(1));
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(Wide(args.at(0)), edition) == 1, 2);
  SkinStringTable table;
  for (size_t i = 2; i + 1 < args.size(); i += 2) {
    const std::u16string key = Wide(args[i]);
    const bool expectFound = args[i + 1] != "=key";
    const std::u16string expected = expectFound ? Wide(args[i + 1]) : key;
    for (int round = 0; round < 2; ++round) {
      std::u16string text;
      const int code = 10 + static_cast<int>(i) * 2 + round;
      ZTN_CHILD_CHECK(GetSkinString(key, table, text) == expectFound, code);
      ZTN_CHILD_CHECK(text == expected, code + 50);
    }
  }
  PathTableStop(edition);
  return 0;
}

// The texts of an example skin source, escapes turned into line breaks.
std::vector<std::string> ExampleTexts(const std::string& lang) {
  std::vector<SkinText> texts;
  std::string error;
  EXPECT_TRUE(ParseSkinSource(
      ReadFile(fs::path(ZTN_TEST_SKIN_SOURCE_DIR) / ("skin_" + lang + ".txt")), texts, error))
      << error;
  std::vector<std::string> pairs;
  for (const std::string key : {"IDS_PRODUCT_NAME", "IDS_MSG_UAC_CHECK"}) {
    for (SkinText& text : texts) {
      if (text.key != Wide(key)) continue;
      ReplaceAll(text.text, u"\\n", u"\n");
      ReplaceAll(text.text, u"\\r", u"\r");
      pairs.push_back(key);
      pairs.push_back(Utf8(text.text));
    }
  }
  EXPECT_EQ(pairs.size(), 4u) << lang << " skin lacks a key";
  return pairs;
}

TEST(SkinStrings, ExampleModulesServeTheSkinOfTheSystemLanguage) {
  struct Case {
    const char* locale;
    std::vector<std::string> installed;
    const char* expectedSkin;
  };
  const std::vector<Case> cases = {
      {"en_US.UTF-8", {"en", "ko", "ja"}, "en"},
      {"ko_KR.UTF-8", {"en", "ko", "ja"}, "ko"},
      {"ja_JP.UTF-8", {"en", "ko", "ja"}, "ja"},
      {"ko_KR.UTF-8", {"en", "ja"}, "en"},  // the first skin missing: English
      {"ja_JP.UTF-8", {"en", "ko"}, "en"},
      {"C", {"ko", "ja"}, "ko"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " -> " + c.expectedSkin);
    ScopedObjectDir objects;
    Installation install;
    Install(install, ZTN_TEST_EXAMPLE_STRINGS, c.installed);
    std::vector<std::string> args = {Utf8(install.dir.SystemPath()), c.locale};
    for (const std::string& arg : ExampleTexts(c.expectedSkin)) args.push_back(arg);
    args.insert(args.end(), {"IDS_NOT_THERE", "=key", "NO_MARKER", "=key"});
    auto child = SpawnChild("SkinLookups", args);
    EXPECT_EQ(WaitChild(child), 0);
  }
}

TEST(SkinStrings, NoStringModuleGivesKeysAndTheNextLookupTriesAgain) {
  ScopedObjectDir objects;
  Installation install;
  Install(install, "", {"en"});
  auto child = SpawnChild("SkinLookups", {Utf8(install.dir.SystemPath()), "C", "IDS_MSG_UAC_CHECK",
                                          "=key", "IDS_PRODUCT_NAME", "=key"});
  EXPECT_EQ(WaitChild(child), 0);
}

// A lookup fails while the module is missing; once it is installed the same
// table loads at its next lookup.
ZTN_CHILD(RetryAfterInstall) {
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(Wide(args.at(0)), edition) == 1, 2);
  SkinStringTable table;
  std::u16string text;
  ZTN_CHILD_CHECK(!GetSkinString(u"IDS_PRODUCT_NAME", table, text), 3);
  ZTN_CHILD_CHECK(!table.IsLoaded(), 4);
  CopyFile(ZTN_TEST_EXAMPLE_STRINGS, fs::path(args.at(1)));
  ZTN_CHILD_CHECK(GetSkinString(u"IDS_PRODUCT_NAME", table, text), 5);
  ZTN_CHILD_CHECK(Utf8(text) == args.at(2), 6);
  // The module is gone again; the mapping stays and keeps answering.
  ZTN_CHILD_CHECK(platform::FindLoadedModule(u"strings.ztm") == nullptr, 7);
  ZTN_CHILD_CHECK(GetSkinString(u"IDS_PRODUCT_NAME", table, text), 8);
  return 0;
}

TEST(SkinStrings, FailedLoadIsRetriedByTheSameTable) {
  ScopedObjectDir objects;
  Installation install;
  Install(install, "", {"en"});
  const auto texts = ExampleTexts("en");
  auto child = SpawnChild("RetryAfterInstall", {Utf8(install.dir.SystemPath()),
                                                (install.Util() / "strings.ztm").string(), texts[1]});
  EXPECT_EQ(WaitChild(child), 0);
}

// Arguments: installation folder, key, expected text ("=key" for a miss).
// Looks the key up twice in one table; the parent checks the module's log.
ZTN_CHILD(FakeModuleLookup) {
  platform::SetEnvVar("LC_ALL", "C");
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(Wide(args.at(0)), edition) == 1, 2);
  SkinStringTable table;
  const std::u16string key = Wide(args.at(1));
  const bool expectFound = args.at(2) != "=key";
  for (int round = 0; round < 2; ++round) {
    std::u16string text;
    ZTN_CHILD_CHECK(GetSkinString(key, table, text) == expectFound, 3 + round);
    ZTN_CHILD_CHECK(text == (expectFound ? Wide(args.at(2)) : key), 5 + round);
  }
  ZTN_CHILD_CHECK(platform::FindLoadedModule(u"strings.ztm") == nullptr, 7);
  return 0;
}

TEST(SkinStrings, StringModuleExportsAreCalledInOrder) {
  struct Case {
    const char* variant;
    const char* key;
    bool found;
    std::vector<std::string> log;  // "Initialize_V2" lines without their arguments
  };
  const std::vector<std::string> fullLoad = {"Lock", "Initialize_V2", "GetSkinBufferName", "Unlock"};
  const std::vector<Case> cases = {
      {"basic", "IDS_PRODUCT_NAME", true, fullLoad},
      {"no_lock", "IDS_PRODUCT_NAME", true, {"Initialize_V2", "GetSkinBufferName"}},
      {"no_init", "IDS_PRODUCT_NAME", false, {"Lock", "Unlock", "Lock", "Unlock"}},
      {"no_name", "IDS_PRODUCT_NAME", false, {"Lock", "Unlock", "Lock", "Unlock"}},
      {"init_zero", "IDS_PRODUCT_NAME", false,
       {"Lock", "Initialize_V2", "Unlock", "Lock", "Initialize_V2", "Unlock"}},
      {"name_zero", "IDS_PRODUCT_NAME", false,
       {"Lock", "Initialize_V2", "GetSkinBufferName", "Unlock", "Lock", "Initialize_V2",
        "GetSkinBufferName", "Unlock"}},
      {"empty_name", "IDS_PRODUCT_NAME", false,
       {"Lock", "Initialize_V2", "GetSkinBufferName", "Unlock", "Lock", "Initialize_V2",
        "GetSkinBufferName", "Unlock"}},
      {"basic", "PRODUCT_NAME", false, {}},  // no marker: nothing loads
      {"basic", "IDS_UNKNOWN", false, fullLoad},  // loaded once, then looked up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + c.key);
    ScopedObjectDir objects;
    Installation install;
    Install(install, fs::path(ZTN_TEST_MODULE_DIR) / ("fake_str_" + std::string(c.variant) + ".ztm"),
            {"en"});
    const std::u16string bufferName = UniqueName("skin");
    PublishedBuffer published(bufferName,
                              BuildSkinBuffer({SkinText{0, u"IDS_PRODUCT_NAME", u"Fake \\nName"}}));
    const fs::path log = install.dir.Path() / "module.log";
    ScopedEnv logEnv("ZTN_TEST_MODULE_LOG", log.string());
    ScopedEnv nameEnv("ZTN_TEST_SKIN_BUFFER", Utf8(bufferName));
    auto child = SpawnChild("FakeModuleLookup", {Utf8(install.dir.SystemPath()), c.key,
                                                 c.found ? "Fake \nName" : "=key"});
    EXPECT_EQ(WaitChild(child), 0);

    const std::string skinFile = Utf8(SystemPath(install.Config() / "skin_en.skn"));
    std::vector<std::string> lines;
    std::string all = ReadFile(log);
    for (size_t start = 0; start < all.size();) {
      const size_t end = all.find('\n', start);
      std::string line = all.substr(start, end - start);
      if (line.rfind("Initialize_V2", 0) == 0) {
        EXPECT_EQ(line, "Initialize_V2 valid " + skinFile) << "token or skin file";
        line = "Initialize_V2";
      }
      lines.push_back(line);
      start = end == std::string::npos ? all.size() : end + 1;
    }
    EXPECT_EQ(lines, c.log);
  }
}

TEST(SkinStrings, OverlongBufferNameIsCutAtTheBuffer) {
  ScopedObjectDir objects;
  Installation install;
  Install(install, fs::path(ZTN_TEST_MODULE_DIR) / "fake_str_basic.ztm", {"en"});
  ScopedEnv nameEnv("ZTN_TEST_SKIN_BUFFER", std::string(300, 'N'));
  auto child = SpawnChild("FakeModuleLookup",
                          {Utf8(install.dir.SystemPath()), "IDS_PRODUCT_NAME", "=key"});
  EXPECT_EQ(WaitChild(child), 0);
}

// Runs the language and file table of the skin file choice. The path table
// names the skin files ".dat" in a folder "conf.dat"; the files on disk are
// ".skn" in "conf.skn".
ZTN_CHILD(ChooseSkinTable) {
  const std::u16string base = Wide(args.at(0));
  const fs::path folder = platform::ToNativePath(base + u"\\conf.skn");
  int32_t edition = 0;
  ZTN_CHILD_CHECK(PathTableStart(base, edition) == 1, 2);
  struct Case {
    const char* locale;
    std::vector<std::string> files;
    std::vector<std::string> directories;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"ko_KR.UTF-8", {"ko", "en", "ja"}, {}, "ko"},
      {"ko_KR.UTF-8", {"en", "ja"}, {}, "en"},
      {"ko_KR.UTF-8", {}, {}, "ja"},  // the last candidate is taken untested
      {"ja_JP.UTF-8", {"ja", "en", "ko"}, {}, "ja"},
      {"ja_JP.UTF-8", {"ko"}, {}, "ko"},
      {"en_US.UTF-8", {"ko", "ja"}, {}, "ko"},
      {"en_US.UTF-8", {"en", "ko"}, {}, "en"},
      {"C", {"ja"}, {}, "ja"},
      {"ko_KR.UTF-8", {"en"}, {"ko"}, "en"},  // a folder is no skin file
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    for (const std::string& lang : cases[i].files) WriteFile(folder / ("skin_" + lang + ".skn"), "x");
    for (const std::string& lang : cases[i].directories) {
      fs::create_directories(folder / ("skin_" + lang + ".skn"));
    }
    platform::SetEnvVar("LC_ALL", cases[i].locale);
    std::u16string path = u"stale";
    ChooseSkinFile(path);
    const std::u16string expected =
        base + u"\\conf.skn\\skin_" + Wide(cases[i].expected) + u".skn";
    if (path != expected) {
      std::fprintf(stderr, "case %zu: %s\n", i, Utf8(path).c_str());
      return 10 + static_cast<int>(i);
    }
  }
  return 0;
}

TEST(SkinStrings, SkinFileChoiceFollowsTheLanguageOrder) {
  ScopedObjectDir objects;
  TempDir dir;
  CopyFile(ZTN_TEST_EXAMPLE_PTL, dir.Path() / "ptl.ztm");
  WriteFile(dir.Path() / "ptl.dat",
            "folder CONFIG_FOLDER = %BASE%\\conf.dat\n"
            "file CONFIG_FOLDER SKIN_FILE = skin_ko.dat\n"
            "file CONFIG_FOLDER SKIN_FILE_JP = skin_ja.dat\n"
            "file CONFIG_FOLDER SKIN_FILE_EN = skin_en.dat\n");
  auto child = SpawnChild("ChooseSkinTable", {Utf8(dir.SystemPath())});
  EXPECT_EQ(WaitChild(child), 0);
}

// Without a path table every candidate is empty.
ZTN_CHILD(ChooseWithoutPathTable) {
  std::u16string path = u"stale";
  ChooseSkinFile(path);
  ZTN_CHILD_CHECK(path.empty(), 2);
  return 0;
}

TEST(SkinStrings, SkinFileChoiceWithoutPathTableIsEmpty) {
  auto child = SpawnChild("ChooseWithoutPathTable");
  EXPECT_EQ(WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn::test
