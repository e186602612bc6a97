#include "support/file_information.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_attributes.h"
#include "platform/path.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn {
namespace {

namespace fs = std::filesystem;

std::u16string SystemPath(const fs::path& path) { return platform::FromNativePath(path.string()); }

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A scratch folder (the test's private object folder doubles as one).
class FileInformationTest : public ::testing::Test {
 protected:
  test::ScopedObjectDir scratch_;
  fs::path root_{scratch_.Path()};
  FileInformationExW info_;
};

TEST_F(FileInformationTest, EmptyAndMissingPaths) {
  bool isDirectory = true;
  EXPECT_FALSE(info_.PathExists(u"", &isDirectory));
  EXPECT_FALSE(isDirectory);
  isDirectory = true;
  EXPECT_FALSE(info_.PathExists(SystemPath(root_ / "missing"), &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(info_.DirectoryExists(u""));
}

TEST_F(FileInformationTest, PlainFileAndDirectory) {
  WriteFile(root_ / "module.dll", "data");
  fs::create_directory(root_ / "folder");

  bool isDirectory = true;
  EXPECT_TRUE(info_.PathExists(SystemPath(root_ / "module.dll"), &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(info_.DirectoryExists(SystemPath(root_ / "module.dll")));
  EXPECT_TRUE(info_.PathExists(SystemPath(root_ / "module.dll")));  // flag is optional

  EXPECT_TRUE(info_.PathExists(SystemPath(root_ / "folder"), &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(info_.DirectoryExists(SystemPath(root_ / "folder")));
  EXPECT_FALSE(info_.IsRejectedJunction(SystemPath(root_ / "folder")));
}

TEST_F(FileInformationTest, LinkToDirectoryIsARejectedJunction) {
  fs::create_directory(root_ / "target");
  fs::create_directory_symlink(root_ / "target", root_ / "Documents and Settings");
  const std::u16string link = SystemPath(root_ / "Documents and Settings");

  bool isDirectory = true;
  EXPECT_FALSE(info_.PathExists(link, &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(info_.DirectoryExists(link));
  EXPECT_TRUE(info_.IsRejectedJunction(link));
}

TEST_F(FileInformationTest, LinkToFileCountsAsPlainFile) {
  WriteFile(root_ / "real.dll", "data");
  fs::create_symlink(root_ / "real.dll", root_ / "link.dll");
  const std::u16string link = SystemPath(root_ / "link.dll");
  ASSERT_NE(platform::GetFileAttributes(link) & platform::kFileAttributeReparsePoint, 0u);

  bool isDirectory = true;
  EXPECT_TRUE(info_.PathExists(link, &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(info_.IsRejectedJunction(link));
}

TEST_F(FileInformationTest, SparseFileIsRefused) {
  const fs::path sparse = root_ / "sparse.bin";
  WriteFile(sparse, "x");
  fs::resize_file(sparse, 8 * 1024 * 1024);  // a hole after the first byte
  const uint32_t attributes = platform::GetFileAttributes(SystemPath(sparse));
  if ((attributes & platform::kFileAttributeSparseFile) == 0) {
    GTEST_SKIP() << "this file system does not keep holes";
  }
  bool isDirectory = true;
  EXPECT_FALSE(info_.PathExists(SystemPath(sparse), &isDirectory));
  EXPECT_FALSE(isDirectory);
}

TEST_F(FileInformationTest, GivenAttributesDecideTheJunctionTest) {
  const std::u16string anyPath = u"C:\\Documents and Settings\\x";
  const uint32_t junction = platform::kFileAttributeDirectory | platform::kFileAttributeReparsePoint;
  EXPECT_TRUE(info_.IsRejectedJunction(anyPath, junction));
  EXPECT_FALSE(info_.IsRejectedJunction(anyPath, platform::kFileAttributeDirectory));
  EXPECT_FALSE(info_.IsRejectedJunction(anyPath, platform::kFileAttributeReparsePoint));
}

TEST_F(FileInformationTest, NoXpDetectionOnThisSystem) {
  FileInformationExW second;
  EXPECT_FALSE(FileInformationExW::XpDetectionDone());
  EXPECT_FALSE(FileInformationExW::XpProgramDataFlag());
}

// ---- Windows XP rule, in child processes (the flags are settled once per process) ----

platform::Result<platform::VersionInfo> WindowsXp() {
  platform::VersionInfo info;
  info.platformId = platform::kPlatformNt;
  info.majorVersion = 5;
  info.minorVersion = 1;
  return info;
}

// The Windows directory on drive "Q:", a folder relative to the child's
// working folder.
std::u16string WindowsOnDriveQ() { return u"Q:\\WINDOWS"; }

// args: scratch folder, "with" or "without" ProgramData.
// Exit codes: 0 pass; 1.. a failed check.
ZTN_CHILD(XpJunctionRule) {
  const fs::path root = args.at(0);
  const bool withProgramData = args.at(1) == "with";
  fs::current_path(root);
  fs::create_directories("Q:/target");
  // File names are case-sensitive here, so each spelling is a folder of its own.
  fs::create_directories("Q:/Documents and Settings");
  fs::create_directories("Q:/dOCUMENTS AND sETTINGS");
  fs::create_directory_symlink(root / "Q:/target", "Q:/Documents and Settings/All Users");
  fs::create_directory_symlink(root / "Q:/target", "Q:/dOCUMENTS AND sETTINGS/All Users");
  fs::create_directory_symlink(root / "Q:/target", "Q:/elsewhere");
  if (withProgramData) fs::create_directory("Q:/ProgramData");

  SetFileInformationSourcesForTesting(&WindowsXp, &WindowsOnDriveQ);
  FileInformationExW info;
  if (!FileInformationExW::XpDetectionDone()) return 1;
  if (FileInformationExW::XpProgramDataFlag() != withProgramData) return 2;

  // Below "documents and settings" in any letter case: accepted only with the flag.
  if (info.DirectoryExists(u"Q:\\dOCUMENTS AND sETTINGS\\All Users") != withProgramData) return 3;
  if (info.DirectoryExists(u"Q:\\Documents and Settings\\All Users") != withProgramData) return 4;
  // Any other junction stays refused.
  if (info.DirectoryExists(u"Q:\\elsewhere")) return 5;

  // A second construction does not detect again.
  if (withProgramData) {
    fs::remove("Q:/ProgramData");
  } else {
    fs::create_directory("Q:/ProgramData");
  }
  FileInformationExW second;
  if (FileInformationExW::XpProgramDataFlag() != withProgramData) return 6;
  return 0;
}

TEST(FileInformationXp, JunctionBelowDocumentsAndSettingsWithProgramData) {
  test::ScopedObjectDir scratch;
  auto child = test::SpawnChild("XpJunctionRule", {scratch.Path(), "with"});
  EXPECT_EQ(test::WaitChild(child), 0);
}

TEST(FileInformationXp, EveryJunctionRefusedWithoutProgramData) {
  test::ScopedObjectDir scratch;
  auto child = test::SpawnChild("XpJunctionRule", {scratch.Path(), "without"});
  EXPECT_EQ(test::WaitChild(child), 0);
}

}  // namespace
}  // namespace ztn
