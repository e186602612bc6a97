// File attributes in the original bit layout, from real files, folders and
// links made in a private temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/file_attributes.h"
#include "platform/path.h"
#include "tests/common/multiprocess.h"

namespace ztn::platform {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ToNativePath(test::UniqueName("ztn_attr"));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
      if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// The system form of a native path, with backslashes.
std::u16string System(const fs::path& path) { return FromNativePath(path.string()); }

void WriteFile(const fs::path& path, size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  const std::string data(bytes, 'x');
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

TEST(FileAttributesTest, KindsOfPath) {
  TempDir dir;
  const fs::path base = dir.Path();
  fs::create_directory(base / "folder");
  WriteFile(base / "plain", 100);
  WriteFile(base / "dense", 256 * 1024);
  WriteFile(base / "empty", 0);
  WriteFile(base / "readonly", 10);
  fs::permissions(base / "readonly", fs::perms::owner_write | fs::perms::group_write |
                                         fs::perms::others_write,
                  fs::perm_options::remove);
  WriteFile(base / "holes", 0);
  fs::resize_file(base / "holes", 1 << 20);  // never written: one hole
  WriteFile(base / "tail_hole", 1);
  fs::resize_file(base / "tail_hole", 1 << 20);
  fs::create_directory_symlink(base / "folder", base / "junction");
  fs::create_symlink(base / "plain", base / "file_link");
  fs::create_symlink(base / "readonly", base / "readonly_link");
  fs::create_symlink(base / "holes", base / "holes_link");
  fs::create_symlink(base / "gone", base / "dangling");
  fs::create_symlink(base / "junction", base / "link_to_junction");

  const struct {
    const char* name;
    uint32_t expected;
  } cases[] = {
      {"folder", kFileAttributeDirectory},
      {"plain", kFileAttributeNormal},
      {"dense", kFileAttributeNormal},
      {"empty", kFileAttributeNormal},
      {"readonly", kFileAttributeReadOnly},
      {"holes", kFileAttributeSparseFile},
      {"tail_hole", kFileAttributeSparseFile},
      {"junction", kFileAttributeDirectory | kFileAttributeReparsePoint},
      {"link_to_junction", kFileAttributeDirectory | kFileAttributeReparsePoint},
      {"file_link", kFileAttributeReparsePoint},
      {"readonly_link", kFileAttributeReadOnly | kFileAttributeReparsePoint},
      {"holes_link", kFileAttributeSparseFile | kFileAttributeReparsePoint},
      {"dangling", kInvalidFileAttributes},
      {"missing", kInvalidFileAttributes},
      {"missing\\below", kInvalidFileAttributes},
      {"plain\\below", kInvalidFileAttributes},  // a file is no folder
  };
  for (const auto& c : cases) {
    const std::u16string path = System(base) + u"\\" + FromNativePath(c.name);
    EXPECT_EQ(GetFileAttributes(path), c.expected) << c.name;
  }
}

TEST(FileAttributesTest, SeparatorsAndTrailingBlanksAndDots) {
  TempDir dir;
  fs::create_directory(dir.Path() / "folder");
  WriteFile(dir.Path() / "module.ztm", 10);
  const std::u16string base = System(dir.Path());
  std::u16string forward = base;
  for (auto& c : forward) c = c == u'\\' ? u'/' : c;

  const struct {
    std::u16string path;
    uint32_t expected;
  } cases[] = {
      {base + u"\\folder", kFileAttributeDirectory},
      {forward + u"/folder", kFileAttributeDirectory},
      {base + u"\\folder. ", kFileAttributeDirectory},
      {base + u"\\folder\\", kFileAttributeDirectory},
      {base + u"\\folder\\.", kFileAttributeDirectory},
      {base + u"\\folder\\..\\module.ztm", kFileAttributeNormal},
      {base + u"\\module.ztm", kFileAttributeNormal},
      {base + u"\\module.ztm.", kFileAttributeNormal},
      {base + u"\\module.ztm . .", kFileAttributeNormal},
      {base + u"\\module.ztm\\", kInvalidFileAttributes},
      {base + u"\\module.", kInvalidFileAttributes},
      {u"", kInvalidFileAttributes},
      {u"   ", kInvalidFileAttributes},
      {base + u"\\module.ztm" + std::u16string(1, u'\0') + u"x", kInvalidFileAttributes},
      {base + u"\\module\xD800.ztm", kInvalidFileAttributes},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetFileAttributes(c.path), c.expected) << "case " << (&c - cases);
  }
}

TEST(FileAttributesTest, DeviceIsNoPlainFile) {
  std::error_code error;
  if (!fs::is_character_file("/dev/null", error)) GTEST_SKIP() << "no /dev/null";
  const uint32_t attributes = GetFileAttributes(u"\\dev\\null");
  EXPECT_NE(attributes, kInvalidFileAttributes);
  EXPECT_NE(attributes & kFileAttributeVirtual, 0u);
  EXPECT_EQ(attributes & kFileAttributeDirectory, 0u);
}

TEST(FileAttributesTest, UnreachablePathIsInvalid) {
  TempDir dir;
  const fs::path locked = dir.Path() / "locked";
  fs::create_directory(locked);
  WriteFile(locked / "inside", 10);
  fs::permissions(locked, fs::perms::none, fs::perm_options::replace);
  std::error_code error;
  (void)fs::symlink_status(locked / "inside", error);
  if (!error) GTEST_SKIP() << "running with rights that pass folder permissions";
  EXPECT_EQ(GetFileAttributes(System(locked / "inside")), kInvalidFileAttributes);
  // The locked folder itself is still visible, and read-only for everyone.
  EXPECT_EQ(GetFileAttributes(System(locked)), kFileAttributeDirectory | kFileAttributeReadOnly);
}

TEST(FileAttributesTest, SystemRootIsTheRootFolder) {
  const std::u16string root = GetSystemRootDirectory();
  EXPECT_EQ(root, u"\\");
  // Callers take the text before the first backslash as the system's drive.
  EXPECT_EQ(root.substr(0, root.find(u'\\')), u"");
  EXPECT_NE(GetFileAttributes(root) & kFileAttributeDirectory, 0u);
  EXPECT_NE(GetFileAttributes(root), kInvalidFileAttributes);
}

}  // namespace
}  // namespace ztn::platform
