#include "benchmarks/harness.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>

#include "platform/code_page.h"
#include "platform/path.h"

namespace ztn::bench {
namespace {

std::map<std::string, RoleFunction>& Roles() {
  static std::map<std::string, RoleFunction> roles;
  return roles;
}

std::u16string EventName(const std::string& name) { return platform::AnsiToWideText(name); }

}  // namespace

RoleRegistrar::RoleRegistrar(const char* name, RoleFunction function) { Roles()[name] = function; }

bool RunRoleIfRequested(int argc, char** argv, int* exitCode) {
  constexpr std::string_view kFlag = "--role=";
  if (argc < 2 || std::string_view(argv[1]).substr(0, kFlag.size()) != kFlag) return false;
  std::string name(std::string_view(argv[1]).substr(kFlag.size()));
  auto it = Roles().find(name);
  if (it == Roles().end()) {
    std::fprintf(stderr, "unknown role '%s'\n", name.c_str());
    *exitCode = kBadRoleArguments;
    return true;
  }
  *exitCode = it->second(RoleArgs(argv + 2, argv + argc));
  return true;
}

Child Child::Start(const std::string& role, const RoleArgs& args) {
  std::vector<std::string> all{"--role=" + role};
  all.insert(all.end(), args.begin(), args.end());
  Child child;
  auto process = platform::Process::Spawn(platform::ToNativePath(platform::GetProgramPath()), all);
  if (process.ok()) child.process_ = std::move(process).value();
  return child;
}

int Child::Wait(int32_t timeoutMs) {
  if (!process_.IsValid()) return -2;
  auto status = process_.WaitForExit(timeoutMs);
  if (!status.ok()) {
    process_.Kill();
    (void)process_.WaitForExit(10000);
    return -1;
  }
  return status->killedBySignal ? 128 + status->signal : status->code;
}

Signal::Signal(const std::string& stem) : name_(UniqueToken(stem)) {
  auto event = platform::Event::Create(EventName(name_), true, false);
  if (event.ok()) event_ = std::move(event).value();
}

bool Signal::Wait(int32_t timeoutMs) {
  return event_.IsValid() && event_.Wait(timeoutMs) == platform::WaitResult::Signaled;
}

bool Signal::Set() { return event_.IsValid() && event_.Set().ok(); }

bool Signal::Set(const std::string& name) {
  auto event = platform::Event::Open(EventName(name));
  return event.ok() && event->Set().ok();
}

bool Signal::WaitNamed(const std::string& name, int32_t timeoutMs) {
  auto event = platform::Event::Open(EventName(name));
  return event.ok() && event->Wait(timeoutMs) == platform::WaitResult::Signaled;
}

std::string UniqueToken(const std::string& stem) {
  static std::atomic<uint32_t> counter{0};
  return stem + "_" + std::to_string(platform::GetCurrentProcessId()) + "_" +
         std::to_string(counter.fetch_add(1));
}

double NowUs() {
  using namespace std::chrono;
  return duration<double, std::micro>(steady_clock::now().time_since_epoch()).count();
}

bool Measure(int warmup, int iterations, const std::function<bool()>& roundTrip,
             std::vector<double>& samplesUs) {
  using Clock = std::chrono::steady_clock;
  for (int i = 0; i < warmup; ++i) {
    if (!roundTrip()) return false;
  }
  samplesUs.reserve(samplesUs.size() + static_cast<size_t>(iterations));
  for (int i = 0; i < iterations; ++i) {
    const auto start = Clock::now();
    const bool ok = roundTrip();
    const auto end = Clock::now();
    if (!ok) return false;
    samplesUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  return true;
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

bool ParseInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    value = std::stoll(text, &used);
  } catch (...) {
    return false;
  }
  return used == text.size();
}

}  // namespace ztn::bench

namespace ztn::bench {
namespace {
std::string& ScratchDirStorage() {
  static std::string dir;
  return dir;
}
}  // namespace

void SetScratchDir(const std::string& path) { ScratchDirStorage() = path; }

std::string ScratchPath(const std::string& stem) {
  return ScratchDirStorage() + "/" + UniqueToken(stem);
}

}  // namespace ztn::bench
