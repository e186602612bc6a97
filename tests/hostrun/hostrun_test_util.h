// Helpers of the host environment tests: scratch folders, files, the data
// tool as a child process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace ztn::test {

// A fresh folder under the temporary folder, removed with its content when
// the object is destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The folder in system form (backslashes), as the host's clients take it.
  std::u16string SystemPath() const;

 private:
  std::filesystem::path path_;
};

std::u16string SystemPath(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);
void CopyFile(const std::filesystem::path& from, const std::filesystem::path& to);

struct ToolResult {
  int exitCode = -1;
  std::string output;  // standard output
};

// Runs ztndata with `args` and waits for it (10 s at most).
ToolResult RunZtndata(const std::vector<std::string>& args);

// The UTF-16 text as UTF-8, for test messages.
std::string Utf8(const std::u16string& text);

}  // namespace ztn::test

// In a child: returns `code` from the child function when `condition` fails,
// naming the condition on standard error.
#define ZTN_CHILD_CHECK(condition, code)                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      std::fprintf(stderr, "child check failed (%d): %s\n", (code), #condition); \
      return (code);                                                          \
    }                                                                         \
  } while (false)
