// The benchmark's frame: child roles (this program re-executed), named
// signals between the parent and its children, and the timing loop.
//
// Every measured figure is a round trip between two processes, timed by the
// parent on the monotonic clock. Children report failures by exit code and a
// line on stderr; the parent turns a non-zero code into a failed case.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/process.h"

namespace ztn::bench {

using RoleArgs = std::vector<std::string>;
using RoleFunction = int (*)(const RoleArgs& args);

struct RoleRegistrar {
  RoleRegistrar(const char* name, RoleFunction function);
};

// Defines a child role: ZTN_BENCH_ROLE(Name) { ... return 0; }
#define ZTN_BENCH_ROLE(name)                                                        \
  static int ZtnBenchRole_##name(const ::ztn::bench::RoleArgs& args);               \
  static ::ztn::bench::RoleRegistrar ztnBenchRoleRegistrar_##name(#name,            \
                                                                  &ZtnBenchRole_##name); \
  static int ZtnBenchRole_##name([[maybe_unused]] const ::ztn::bench::RoleArgs& args)

// Runs the role named by --role=NAME in argv[1], if any: returns true and sets
// *exitCode.
bool RunRoleIfRequested(int argc, char** argv, int* exitCode);

// Exit code of a role that was given the wrong arguments.
inline constexpr int kBadRoleArguments = 90;

// This program running `role` in a child process. Destroying it kills the
// child if it still runs.
class Child {
 public:
  Child() = default;
  static Child Start(const std::string& role, const RoleArgs& args);
  bool IsValid() const { return process_.IsValid(); }
  // Exit code; 128 + signal when killed; -1 when it did not end within
  // timeoutMs (it is then killed).
  int Wait(int32_t timeoutMs);

 private:
  platform::Process process_;
};

// A manual-reset named event under a name no other run uses. The parent
// creates it and hands Name() to a child, which sets it with Set(name).
class Signal {
 public:
  explicit Signal(const std::string& stem);
  const std::string& Name() const { return name_; }
  bool Wait(int32_t timeoutMs);
  bool Set();
  static bool Set(const std::string& name);
  // Waits on a signal that someone else created.
  static bool WaitNamed(const std::string& name, int32_t timeoutMs);

 private:
  std::string name_;
  platform::Event event_;
};

// A token no other object of this run uses: stem, process id, counter.
std::string UniqueToken(const std::string& stem);

// Calls roundTrip `warmup` times untimed, then `iterations` times, each timed
// on the monotonic clock and appended to samplesUs in microseconds. Stops and
// returns false at the first call that returns false.
bool Measure(int warmup, int iterations, const std::function<bool()>& roundTrip,
             std::vector<double>& samplesUs);

// Microseconds on the monotonic clock since an arbitrary start.
double NowUs();

// Reads a whole text file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& text);

// Integer argument parsing for roles: false when `text` is not a whole number.
bool ParseInt(const std::string& text, long long& value);

}  // namespace ztn::bench

namespace ztn::bench {

// The run's scratch folder (sockets, FIFOs, identity files). Set once by main.
void SetScratchDir(const std::string& path);
// A fresh path in the scratch folder: folder / UniqueToken(stem).
std::string ScratchPath(const std::string& stem);

}  // namespace ztn::bench
