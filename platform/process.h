// Processes: the current one, and child processes started by path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace ztn::platform {

uint32_t GetCurrentProcessId();

// The id of the process that started this one (the process it now reports
// to, once that one has ended). Never fails.
uint32_t GetParentProcessId();

// The effective user id of this process; 0 is the administrator (root).
uint32_t GetEffectiveUserId();

// True when a graphical desktop session is reachable: $DISPLAY names an X
// display whose local socket exists (a display on another host counts as
// present), or $WAYLAND_DISPLAY names an existing socket (absolute, or in
// $XDG_RUNTIME_DIR). Reads the environment and the file system only.
bool IsDesktopSessionPresent();

// True when this process has a terminal for a person to read from and type
// into: standard input and standard error are both terminals.
bool IsTerminalInteractive();

// Writes `text` (UTF-8) and a line end to the terminal (standard error), then
// blocks without a time limit until a line (Enter) is read from standard
// input. False when there is no interactive terminal or input ends first.
bool WaitForEnterOnTerminal(const std::string& text);

// Full path of the running program's file, with backslashes.
std::u16string GetProgramPath();

// Environment variables of this process (UTF-8). Not synchronised with other
// threads that read or change the environment.
std::optional<std::string> GetEnvVar(const std::string& name);
void SetEnvVar(const std::string& name, const std::string& value);
void UnsetEnvVar(const std::string& name);

struct SpawnOptions {
  // Variables set (or, with an empty value and unset = true, removed) in the
  // child's environment on top of this process's environment.
  std::vector<std::pair<std::string, std::string>> environment;
  std::vector<std::string> unsetEnvironment;
  // When set, the child's standard output goes to this file (UTF-8 path).
  std::string stdoutPath;
};

struct ExitStatus {
  int code = 0;          // exit code, valid when !killedBySignal
  bool killedBySignal = false;
  int signal = 0;        // the signal number when killedBySignal
};

// A child process. Destroying the object kills the child if it still runs
// and reaps it.
class Process {
 public:
  Process() = default;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `program` (UTF-8 native path, or a name searched in PATH) with the
  // arguments (argv[1..]). Does not block.
  static Result<Process> Spawn(const std::string& program, const std::vector<std::string>& args,
                               const SpawnOptions& options = {});

  // Blocks until the child ends or timeoutMs passes (WaitTimeout).
  Result<ExitStatus> WaitForExit(int32_t timeoutMs);

  // Ends the child at once (SIGKILL) if it still runs; does not reap it.
  void Kill();

  uint32_t Id() const { return static_cast<uint32_t>(pid_); }
  bool IsValid() const { return pid_ > 0; }

 private:
  intptr_t pid_ = 0;  // process id here; a process handle on other backends
  bool reaped_ = false;
};

}  // namespace ztn::platform
