#include "tests/common/multiprocess.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <string_view>

#include "platform/code_page.h"
#include "platform/path.h"
#include "platform/process.h"

namespace ztn::test {
namespace {

std::map<std::string, ChildFunction>& Registry() {
  static std::map<std::string, ChildFunction> registry;
  return registry;
}

}  // namespace

ChildRegistrar::ChildRegistrar(const char* name, ChildFunction function) {
  Registry()[name] = function;
}

bool RunChildIfRequested(int argc, char** argv, int* exitCode) {
  constexpr std::string_view kFlag = "--child=";
  if (argc < 2 || std::string_view(argv[1]).substr(0, kFlag.size()) != kFlag) return false;
  std::string name(std::string_view(argv[1]).substr(kFlag.size()));
  auto it = Registry().find(name);
  if (it == Registry().end()) {
    std::fprintf(stderr, "unknown child role '%s'\n", name.c_str());
    *exitCode = 99;
    return true;
  }
  ChildArgs args(argv + 2, argv + argc);
  *exitCode = it->second(args);
  return true;
}

platform::Process SpawnChild(const std::string& name, const ChildArgs& args) {
  std::vector<std::string> all{"--child=" + name};
  all.insert(all.end(), args.begin(), args.end());
  std::string self = platform::ToNativePath(platform::GetProgramPath());
  auto child = platform::Process::Spawn(self, all);
  if (!child.ok()) {
    std::fprintf(stderr, "cannot spawn child '%s'\n", name.c_str());
    return platform::Process();
  }
  return std::move(child).value();
}

int WaitChild(platform::Process& child, int32_t timeoutMs) {
  if (!child.IsValid()) return -2;
  auto status = child.WaitForExit(timeoutMs);
  if (!status.ok()) {
    child.Kill();
    (void)child.WaitForExit(10000);
    return -1;
  }
  return status->killedBySignal ? 128 + status->signal : status->code;
}

std::u16string UniqueName(const std::string& stem) {
  static std::atomic<uint32_t> counter{0};
  std::string text = stem + "_" + std::to_string(platform::GetCurrentProcessId()) + "_" +
                     std::to_string(counter.fetch_add(1));
  return platform::AnsiToWideText(text);
}

}  // namespace ztn::test
