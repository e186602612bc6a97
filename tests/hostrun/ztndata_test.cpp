// The data tool, run as a separate program: its commands, what the host's
// clients make of its output, and its exits on bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space.h"
#include "hostrun/environment/global_space_text.h"
#include "hostrun/environment/skin_format.h"
#include "platform/code_page.h"
#include "platform/shared_memory.h"
#include "support/memory_buffer.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/hostrun/hostrun_test_util.h"

namespace ztn::test {
namespace {

namespace fs = std::filesystem;

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

TEST(Ztndata, EncryptedStringsRoundTripWithTheDecryptingSide) {
  for (const std::string text : {"C:\\Program Files\\ZTN", "/opt/ztn 제품/ホスト", "x",
                                 "exactly sixteen!"}) {
    SCOPED_TRACE(text);
    const ToolResult encrypted = RunZtndata({"encrypt", text});
    ASSERT_EQ(encrypted.exitCode, 0);
    const std::string hex = Trimmed(encrypted.output);
    std::u16string decrypted;
    ASSERT_TRUE(StringCryptToolW().DecryptString(platform::AnsiToWideText(hex), decrypted));
    EXPECT_EQ(Utf8(decrypted), text);
    const ToolResult back = RunZtndata({"decrypt", hex});
    EXPECT_EQ(back.exitCode, 0);
    EXPECT_EQ(Trimmed(back.output), text);
  }
}

TEST(Ztndata, BadInputExitsWithAMessageAndNonZero) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {{}, 2},
      {{"frobnicate"}, 2},
      {{"encrypt"}, 2},
      {{"encrypt", "a", "b"}, 2},
      {{"encrypt", ""}, 1},
      {{"encrypt", "\xC3\x28"}, 2},  // not UTF-8
      {{"decrypt", "1234"}, 1},
      {{"decrypt", std::string(32, 'G')}, 1},
      {{"decrypt", std::string(34, '0')}, 1},  // count byte 0
      {{"base-folder"}, 2},
      {{"base-folder", "put", "x"}, 2},
      {{"base-folder", "set"}, 2},
      {{"base-folder", "set", "x", "--bogus"}, 2},
      {{"base-folder", "set", std::string(2000, 'x')}, 1},  // too long for the space
      {{"base-folder", "get", "extra"}, 2},
      {{"skin"}, 2},
      {{"skin", "build", "in.txt"}, 2},
      {{"skin", "build", "-o"}, 2},
      {{"skin", "build", "/nonexistent/in.txt", "-o", "/nonexistent/out.skn"}, 1},
      {{"skin", "show", "/nonexistent/file.skn"}, 1},
      {{"skin", "dump"}, 2},
      {{"skin", "dump", "NoSuchSkinBuffer"}, 1},
      {{"hash"}, 2},
  };
  ScopedObjectDir objects;
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg.substr(0, 40) + " ";
    SCOPED_TRACE(line);
    EXPECT_EQ(RunZtndata(c.args).exitCode, c.exitCode);
  }
}

TEST(Ztndata, HelpDescribesEveryCommand) {
  const ToolResult help = RunZtndata({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"encrypt", "decrypt", "base-folder set", "base-folder get",
                              "skin build", "skin show", "skin dump", "hash"}) {
    EXPECT_NE(help.output.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(RunZtndata({"skin", "build", "--help"}).exitCode, 0);
}

// Reads the base folder the way the host does.
ZTN_CHILD(HostReadsBaseFolder) {
  GlobalData data;
  std::u16string folder;
  ZTN_CHILD_CHECK(data.GetBaseFolder(folder) == kGlobalSpaceOk, 2);
  ZTN_CHILD_CHECK(Utf8(folder) == args.at(0), 3);
  return 0;
}

TEST(Ztndata, BaseFolderSetIsWhatTheHostReads) {
  ScopedObjectDir objects;
  EXPECT_EQ(RunZtndata({"base-folder", "get"}).exitCode, 1) << "no space yet";

  // The space lives while a process holds it: this test holds it.
  MemoryBufferExW space;
  ASSERT_EQ(space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
  auto* bytes = static_cast<uint8_t*>(space.Data());
  bytes[0] = 0x11;  // owned by other components: left alone
  EXPECT_EQ(RunZtndata({"base-folder", "get"}).exitCode, 1) << "nothing stored yet";

  const std::string folder = "D:\\제품\\ZTN Host";
  ASSERT_EQ(RunZtndata({"base-folder", "set", folder}).exitCode, 0);
  EXPECT_EQ(bytes[0], 0x11);
  const ToolResult got = RunZtndata({"base-folder", "get"});
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_EQ(Trimmed(got.output), folder);
  auto child = SpawnChild("HostReadsBaseFolder", {folder});
  EXPECT_EQ(WaitChild(child), 0);

  // A shorter folder replaces the longer one completely.
  ASSERT_EQ(RunZtndata({"base-folder", "set", "E:\\x"}).exitCode, 0);
  auto second = SpawnChild("HostReadsBaseFolder", {"E:\\x"});
  EXPECT_EQ(WaitChild(second), 0);
}

TEST(Ztndata, SkinBuildShowAndDump) {
  ScopedObjectDir objects;
  TempDir dir;
  const std::string source =
      "# test skin\nIDS_PRODUCT_NAME=ZTN 호스트\nIDS_MSG_UAC_CHECK=line one\\nline two\n";
  WriteFile(dir.Path() / "skin.txt", source);
  const fs::path skin = dir.Path() / "skin.skn";
  ASSERT_EQ(RunZtndata({"skin", "build", (dir.Path() / "skin.txt").string(), "-o", skin.string()})
                .exitCode,
            0);
  const ToolResult shown = RunZtndata({"skin", "show", skin.string()});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.output,
            "IDS_PRODUCT_NAME=ZTN 호스트\nIDS_MSG_UAC_CHECK=line one\\nline two\n");

  // Publish the file's buffer and dump it.
  const std::string bytes = ReadFile(skin);
  std::vector<SkinText> texts;
  std::string error;
  ASSERT_TRUE(ParseSkinFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), texts, error));
  const std::vector<uint8_t> buffer = BuildSkinBuffer(texts);
  const std::u16string name = UniqueName("skin");
  auto memory = platform::SharedMemory::Create(name, buffer.size());
  ASSERT_TRUE(memory.ok());
  auto view = memory->Map();
  ASSERT_TRUE(view.ok());
  std::copy(buffer.begin(), buffer.end(), static_cast<uint8_t*>(view->Data()));

  const ToolResult one = RunZtndata({"skin", "dump", Utf8(name), "IDS_PRODUCT_NAME"});
  EXPECT_EQ(one.exitCode, 0);
  EXPECT_EQ(one.output, "IDS_PRODUCT_NAME=ZTN 호스트\n");
  EXPECT_EQ(RunZtndata({"skin", "dump", Utf8(name), "IDS_PRODUCT_NAME", "IDS_NONE"}).exitCode, 1);
  const ToolResult all = RunZtndata({"skin", "dump", Utf8(name)});
  EXPECT_EQ(all.exitCode, 0);
  EXPECT_NE(all.output.find("entries 2 declared, 2 inside the buffer"), std::string::npos)
      << all.output;
  EXPECT_NE(all.output.find("line one\\nline two"), std::string::npos) << all.output;
}

TEST(Ztndata, SkinBuildRefusesBadSourcesAndLeavesNoFile) {
  TempDir dir;
  const fs::path out = dir.Path() / "out.skn";
  for (const std::string source : {"IDS_A=x\nIDS_A=y\n", "no separator\n", "IDS_A=\xFF\n"}) {
    SCOPED_TRACE(source);
    WriteFile(dir.Path() / "bad.txt", source);
    EXPECT_EQ(RunZtndata({"skin", "build", (dir.Path() / "bad.txt").string(), "-o", out.string()})
                  .exitCode,
              1);
    EXPECT_FALSE(fs::exists(out));
  }
  WriteFile(dir.Path() / "not-a-skin.skn", "IDS_A=x\n");
  EXPECT_EQ(RunZtndata({"skin", "show", (dir.Path() / "not-a-skin.skn").string()}).exitCode, 1);
}

}  // namespace
}  // namespace ztn::test
