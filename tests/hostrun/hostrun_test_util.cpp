#include "tests/hostrun/hostrun_test_util.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/code_page.h"
#include "platform/path.h"
#include "platform/process.h"

namespace ztn::test {

TempDir::TempDir() {
  static std::atomic<uint32_t> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("ztn-hostrun-" + std::to_string(platform::GetCurrentProcessId()) + "-" +
           std::to_string(counter.fetch_add(1)));
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::u16string TempDir::SystemPath() const { return test::SystemPath(path_); }

std::u16string SystemPath(const std::filesystem::path& path) {
  return platform::FromNativePath(path.string());
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

ToolResult RunZtndata(const std::vector<std::string>& args) {
  TempDir scratch;
  platform::SpawnOptions options;
  options.stdoutPath = (scratch.Path() / "stdout.txt").string();
  ToolResult result;
  auto child = platform::Process::Spawn(ZTN_TEST_ZTNDATA, args, options);
  if (!child.ok()) return result;
  auto status = child->WaitForExit(10000);
  if (!status.ok()) {
    child->Kill();
    (void)child->WaitForExit(10000);
    return result;
  }
  result.exitCode = status->killedBySignal ? 128 + status->signal : status->code;
  result.output = ReadFile(options.stdoutPath);
  return result;
}

std::string Utf8(const std::u16string& text) { return platform::WideToAnsiText(text); }

}  // namespace ztn::test
