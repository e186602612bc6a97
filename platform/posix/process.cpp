// POSIX backend: may use POSIX and Linux names.
// Child processes through posix_spawn; the current process's facts.
#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/path.h"
#include "platform/posix/futex.h"
#include "platform/posix/syscall.h"

extern char** environ;

namespace ztn::platform {

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

uint32_t GetParentProcessId() { return static_cast<uint32_t>(::getppid()); }

uint32_t GetEffectiveUserId() { return static_cast<uint32_t>(::geteuid()); }

namespace {

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// ":N" or ":N.S" is a local display with the socket /tmp/.X11-unix/XN; any
// other form (host:N) is reached over the network and cannot be checked here.
bool XDisplayPresent(const std::string& display) {
  if (display.empty()) return false;
  if (display[0] != ':') return true;
  std::string number = display.substr(1, display.find('.') == std::string::npos
                                             ? std::string::npos
                                             : display.find('.') - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  return PathExists("/tmp/.X11-unix/X" + number);
}

bool WaylandDisplayPresent(const std::string& display) {
  if (display.empty()) return false;
  if (display[0] == '/') return PathExists(display);
  const char* runtime = ::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' && PathExists(std::string(runtime) + "/" + display);
}

}  // namespace

bool IsDesktopSessionPresent() {
  const char* x = ::getenv("DISPLAY");
  const char* wayland = ::getenv("WAYLAND_DISPLAY");
  return XDisplayPresent(x != nullptr ? x : "") || WaylandDisplayPresent(wayland != nullptr ? wayland : "");
}

bool IsTerminalInteractive() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

bool WaitForEnterOnTerminal(const std::string& text) {
  if (!IsTerminalInteractive()) return false;
  std::string line = text + "\n";
  size_t written = 0;
  while (written < line.size()) {
    ssize_t n = posix::RetryOnInterrupt(
        [&] { return ::write(STDERR_FILENO, line.data() + written, line.size() - written); });
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  for (;;) {
    char c = 0;
    ssize_t n = posix::RetryOnInterrupt([&] { return ::read(STDIN_FILENO, &c, 1); });
    if (n <= 0) return false;  // end of input or an error: nobody answered
    if (c == '\n') return true;
  }
}

std::u16string GetProgramPath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return FromNativePath(std::string_view(buffer, static_cast<size_t>(n)));
}

std::optional<std::string> GetEnvVar(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnvVar(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnvVar(const std::string& name) { ::unsetenv(name.c_str()); }

Process::Process(Process&& other) noexcept : pid_(other.pid_), reaped_(other.reaped_) {
  other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    this->~Process();
    pid_ = other.pid_;
    reaped_ = other.reaped_;
    other.pid_ = 0;
  }
  return *this;
}

Process::~Process() {
  if (pid_ > 0 && !reaped_) {
    ::kill(static_cast<pid_t>(pid_), SIGKILL);
    int status = 0;
    posix::RetryOnInterrupt([&] { return ::waitpid(static_cast<pid_t>(pid_), &status, 0); });
  }
  pid_ = 0;
}

Result<Process> Process::Spawn(const std::string& program, const std::vector<std::string>& args,
                               const SpawnOptions& options) {
  // The child's environment: ours, minus the removed names, with the given ones set.
  std::vector<std::string> env;
  auto overridden = [&](std::string_view entry) {
    std::string_view name = entry.substr(0, entry.find('='));
    for (const auto& [key, value] : options.environment)
      if (key == name) return true;
    for (const auto& key : options.unsetEnvironment)
      if (key == name) return true;
    return false;
  };
  for (char** e = environ; e != nullptr && *e != nullptr; ++e)
    if (!overridden(*e)) env.emplace_back(*e);
  for (const auto& [key, value] : options.environment) env.push_back(key + "=" + value);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.stdoutPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  pid_t pid = 0;
  int rc = program.find('/') == std::string::npos
               ? ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data())
               : ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return MakeNativeError(rc);
  Process process;
  process.pid_ = pid;
  return process;
}

Result<ExitStatus> Process::WaitForExit(int32_t timeoutMs) {
  if (pid_ <= 0) return Error{ErrorCode::InvalidHandle, 0};
  if (reaped_) return Error{ErrorCode::InvalidHandle, 0};
  // Sleep on a process descriptor, which becomes readable when the child
  // ends; where the kernel has none, fall back to short naps.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid_), 0));
  const auto deadline = posix::Deadline::After(timeoutMs);
  long napUs = 200;
  for (;;) {
    int status = 0;
    pid_t r = posix::RetryOnInterrupt(
        [&] { return ::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG); });
    if (r == static_cast<pid_t>(pid_)) {
      if (pidfd >= 0) ::close(pidfd);
      reaped_ = true;
      ExitStatus exit;
      if (WIFSIGNALED(status)) {
        exit.killedBySignal = true;
        exit.signal = WTERMSIG(status);
      } else {
        exit.code = WEXITSTATUS(status);
      }
      return exit;
    }
    if (r < 0 || deadline.Passed()) {
      const int err = r < 0 ? errno : ETIMEDOUT;
      if (pidfd >= 0) ::close(pidfd);
      return r < 0 ? MakeNativeError(err) : Error{ErrorCode::WaitTimeout, ETIMEDOUT};
    }
    if (pidfd >= 0) {
      pollfd ready{pidfd, POLLIN, 0};
      ::poll(&ready, 1, static_cast<int>(std::min<long long>(deadline.RemainingMs(), 1000)));
    } else {
      ::usleep(static_cast<useconds_t>(napUs));
      if (napUs < 5000) napUs *= 2;
    }
  }
}

void Process::Kill() {
  if (pid_ > 0 && !reaped_) ::kill(static_cast<pid_t>(pid_), SIGKILL);
}

}  // namespace ztn::platform
