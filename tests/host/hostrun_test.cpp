// hostrun as a program: the modes and the grammar end to end, broken and
// example modules, the pump, the relaunch loop with a fake elevation helper,
// the refusal box's texts, and the box as a real window under Xvfb.
//
// Every run gets a private object folder and a product folder of its own
// (path table module, its data, optionally the string module and a skin),
// whose path the test stores in the global shared space and holds there.
// Test modules write what the host called into a log file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space.h"
#include "hostrun/environment/global_space_text.h"
#include "platform/code_page.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "support/caller_token.h"
#include "support/memory_buffer.h"
#include "tests/common/multiprocess.h"
#include "tests/common/scoped_object_dir.h"

namespace ztn::host {
namespace {

namespace fs = std::filesystem;
using Env = std::vector<std::pair<std::string, std::string>>;

constexpr int32_t kRunLimitMs = 10000;

std::u16string SystemPath(const fs::path& path) { return platform::FromNativePath(path.string()); }
std::string SystemPathUtf8(const fs::path& path) { return platform::WideToAnsiText(SystemPath(path)); }

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadText(path));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

void WriteText(const fs::path& path, const std::string& text, bool executable = false) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable)
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            platform::WideToAnsiText(test::UniqueName("ztn-host-test"));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// A product folder whose path table maps the hosted module (and, when asked,
// the string module and the English skin), stored as the base folder in the
// global shared space for as long as the object lives.
class Product {
 public:
  explicit Product(const fs::path& root, const std::string& hostModule, bool withStrings = false,
                   const Env& extraFiles = {})
      : root_(root) {
    fs::create_directories(root / "util");
    fs::create_directories(root / "config");
    fs::copy_file(ZTN_PATH_TABLE_MODULE, root / "ptl.ztm");
    std::string data = "folder UTIL_FOLDER = " + SystemPathUtf8(root / "util") + "\n" +
                       "folder CONFIG_FOLDER = " + SystemPathUtf8(root / "config") + "\n";
    if (!hostModule.empty())
      data += "file UTIL_FOLDER HOST_UTIL_MODULE = " + SystemPathUtf8(hostModule) + "\n";
    if (withStrings) {
      data += "file UTIL_FOLDER STRING_MODULE = " + SystemPathUtf8(ZTN_STRING_MODULE) + "\n";
      data += "file CONFIG_FOLDER SKIN_FILE_EN = skin_en.dat\n";
      fs::copy_file(fs::path(ZTN_DEMO_CONFIG_DIR) / "skin_en.skn", root / "config" / "skin_en.skn");
    }
    for (const auto& [key, path] : extraFiles)
      data += "file UTIL_FOLDER " + key + " = " + SystemPathUtf8(path) + "\n";
    WriteText(root / "ptl.dat", data);

    std::u16string encrypted;
    EXPECT_TRUE(StringCryptToolW().EncryptString(SystemPath(root), encrypted));
    EXPECT_EQ(space_.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, true), 1);
    EXPECT_TRUE(WriteBaseFolderText(static_cast<uint8_t*>(space_.Data()), encrypted));
  }

 private:
  fs::path root_;
  MemoryBufferExW space_;  // holds the global shared space while the test runs
};

// Starts hostrun with the arguments and a test environment: the module log,
// the rights test answered "administrator" unless overridden, the C locale,
// no desktop session and no real elevation helper.
platform::Process StartHostrun(const std::vector<std::string>& args, const fs::path& log,
                               const Env& env = {}) {
  platform::SpawnOptions options;
  options.environment = {{"ZTN_HOST_TEST_LOG", log.string()},
                         {"ZTN_HOSTRUN_ASSUME_ADMIN", "1"},
                         {"ZTN_ELEVATION_HELPER", "/nonexistent/helper"},
                         {"LC_ALL", "C"}};
  for (const auto& [key, value] : env) {
    bool replaced = false;
    for (auto& existing : options.environment)
      if (existing.first == key) existing.second = value, replaced = true;
    if (!replaced) options.environment.emplace_back(key, value);
  }
  options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY", "LANG", "LC_MESSAGES"};
  for (const auto& [key, value] : env)
    std::erase(options.unsetEnvironment, key);
  auto process = platform::Process::Spawn(ZTN_HOSTRUN_PATH, args, options);
  EXPECT_TRUE(process.ok());
  return process.ok() ? std::move(process).value() : platform::Process();
}

int RunHostrun(const std::vector<std::string>& args, const fs::path& log, const Env& env = {}) {
  platform::Process process = StartHostrun(args, log, env);
  return test::WaitChild(process, kRunLimitMs);
}

using Log = std::vector<std::string>;

// ---- modes and grammar -------------------------------------------------------

TEST(Hostrun, UtilityModeCallsTheExportsInOrder) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const fs::path log = temp.Path() / "module.log";
  EXPECT_EQ(RunHostrun({"/run", "a", " b"}, log,
                       {{"ZTN_HOST_TEST_RUNNING", "2"}, {"ZTN_HOST_TEST_RESULT", "5"}}),
            5);
  EXPECT_EQ(ReadLines(log), (Log{"Initialize token=valid", "CallFunc [/run a  b]",
                                 "IsCheckModuleRunning", "IsCheckModuleRunning",
                                 "IsCheckModuleRunning", "GetResult", "unload ptl=1"}));
}

TEST(Hostrun, CommandLineTable) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const std::string module = SystemPathUtf8(HOST_TEST_MODULE_FULL);
  const std::string folder = SystemPathUtf8(temp.Path());
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    Log log;
  };
  // The module's GetResult says 9: only utility mode passes it on.
  const Case cases[] = {
      {"empty tail", {}, 0, {}},
      {"blanks only: remote mode, nothing to load", {"   "}, 0, {}},
      {"remote: path and options", {module, "/type", "x"}, 0,
       {"SetCmdLine [/type x]", "RemoteInitialize", "IsCheckModuleRunning", "unload ptl=1"}},
      {"remote: path alone, no SetCmdLine", {module}, 0,
       {"RemoteInitialize", "IsCheckModuleRunning", "unload ptl=1"}},
      {"remote: the path keeps its trailing blanks", {module + " ", "/o"}, 0,
       {"SetCmdLine [/o]", "RemoteInitialize", "IsCheckModuleRunning", "unload ptl=1"}},
      {"remote: a directory is not loaded", {folder}, 0, {}},
      {"remote: a directory with options is not loaded", {folder, "/o"}, 0, {}},
      {"a leading carriage return is kept: remote mode", {"\r/run"}, 0, {}},
      {"switch first leaves a leading blank: remote mode", {"/runAsUser", "/run"}, 0, {}},
      {"switch last: utility mode keeps the trailing blank", {"/run", "/runAsUser"}, 9,
       {"Initialize token=valid", "CallFunc [/run ]", "IsCheckModuleRunning", "GetResult",
        "unload ptl=1"}},
      {"switch inside a word", {"/ru/runAsUsern"}, 9,
       {"Initialize token=valid", "CallFunc [/run]", "IsCheckModuleRunning", "GetResult",
        "unload ptl=1"}},
      {"trimmed at both ends", {" \t/run\t "}, 9,
       {"Initialize token=valid", "CallFunc [/run]", "IsCheckModuleRunning", "GetResult",
        "unload ptl=1"}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path log = temp.Path() / ("case" + std::to_string(index++) + ".log");
    EXPECT_EQ(RunHostrun(c.args, log, {{"ZTN_HOST_TEST_RESULT", "9"}}), c.exitCode);
    EXPECT_EQ(ReadLines(log), c.log);
  }
}

TEST(Hostrun, BrokenModules) {
  test::ScopedObjectDir objects;
  TempDir temp;
  struct Case {
    const char* name;
    std::string module;
    Env env;
    int exitCode;
    Log log;
  };
  const Case cases[] = {
      {"Initialize 0: no CallFunc, no pump, GetResult still asked", HOST_TEST_MODULE_FULL,
       {{"ZTN_HOST_TEST_INIT", "0"}, {"ZTN_HOST_TEST_RESULT", "7"}}, 7,
       {"Initialize token=valid", "GetResult", "unload ptl=1"}},
      {"no IsCheckModuleRunning: loaded and unloaded, nothing called",
       HOST_TEST_MODULE_NO_RUNNING, {{"ZTN_HOST_TEST_RESULT", "7"}}, 0, {"unload ptl=1"}},
      {"no GetResult: exit code 0 after a run", HOST_TEST_MODULE_NO_RESULT,
       {{"ZTN_HOST_TEST_RUNNING", "1"}}, 0,
       {"Initialize token=valid", "CallFunc [/run]", "IsCheckModuleRunning",
        "IsCheckModuleRunning", "unload ptl=1"}},
      {"no module in the path table", "", {{"ZTN_HOST_TEST_RESULT", "7"}}, 0, {}},
      {"the path table names a missing file", (temp.Path() / "missing.so").string(),
       {{"ZTN_HOST_TEST_RESULT", "7"}}, 0, {}},
      {"the path table names a folder", temp.Path().string(), {{"ZTN_HOST_TEST_RESULT", "7"}}, 0,
       {}},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Product product(temp.Path() / ("product" + std::to_string(index)), c.module);
    const fs::path log = temp.Path() / ("case" + std::to_string(index++) + ".log");
    EXPECT_EQ(RunHostrun({"/run"}, log, c.env), c.exitCode);
    EXPECT_EQ(ReadLines(log), c.log);
  }
}

TEST(Hostrun, RemoteInitializeZeroMeansNoPump) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", "");
  const fs::path log = temp.Path() / "module.log";
  EXPECT_EQ(RunHostrun({SystemPathUtf8(HOST_TEST_MODULE_FULL), "/o"}, log,
                       {{"ZTN_HOST_TEST_INIT", "0"}, {"ZTN_HOST_TEST_RUNNING", "3"}}),
            0);
  EXPECT_EQ(ReadLines(log), (Log{"SetCmdLine [/o]", "RemoteInitialize", "unload ptl=1"}));
}

// ---- the pump ----------------------------------------------------------------

TEST(Hostrun, PumpDispatchesQuitLikeAnyOtherMessage) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const std::string quit = "dispatch 18 1";
  const std::string own = "dispatch " + std::to_string(0x400 + 7) + " 2";
  {
    const fs::path log = temp.Path() / "utility.log";
    EXPECT_EQ(RunHostrun({"/run"}, log, {{"ZTN_HOST_TEST_POST", "1"}, {"ZTN_HOST_TEST_RUNNING", "3"}}), 0);
    EXPECT_EQ(ReadLines(log),
              (Log{"Initialize token=valid", "CallFunc [/run]", "posted", "IsCheckModuleRunning",
                   quit, own, "IsCheckModuleRunning", "IsCheckModuleRunning",
                   "IsCheckModuleRunning", "GetResult", "unload ptl=1"}));
  }
  {
    const fs::path log = temp.Path() / "remote.log";
    EXPECT_EQ(RunHostrun({SystemPathUtf8(HOST_TEST_MODULE_FULL)}, log,
                         {{"ZTN_HOST_TEST_POST", "1"}, {"ZTN_HOST_TEST_RUNNING", "1"}}),
              0);
    EXPECT_EQ(ReadLines(log), (Log{"RemoteInitialize", "posted", "IsCheckModuleRunning", quit, own,
                                   "IsCheckModuleRunning", "unload ptl=1"}));
  }
  {
    // The first IsCheckModuleRunning says 0: no message is pumped at all.
    const fs::path log = temp.Path() / "nopump.log";
    EXPECT_EQ(RunHostrun({"/run"}, log, {{"ZTN_HOST_TEST_POST", "1"}}), 0);
    EXPECT_EQ(ReadLines(log), (Log{"Initialize token=valid", "CallFunc [/run]", "posted",
                                   "IsCheckModuleRunning", "GetResult", "unload ptl=1"}));
  }
}

// ---- relaunch and refusal box ------------------------------------------------

// A fake elevation helper: logs each call and its arguments, then follows
// `plan`, one step per call: "decline" (not authorised, 127), "dismiss"
// (126), "accept" (runs the program as an administrator) or "fail" (1).
fs::path WriteFakeHelper(const fs::path& dir, const std::vector<std::string>& plan) {
  std::string script =
      "#!/bin/sh\n"
      "dir='" + dir.string() + "'\n"
      "n=$(cat \"$dir/helper.count\" 2>/dev/null || echo 0); n=$((n+1)); echo $n > \"$dir/helper.count\"\n"
      "{ echo \"call $# args\"; for a in \"$@\"; do echo \"arg [$a]\"; done; } >> \"$dir/helper.log\"\n"
      "case $n in\n";
  for (size_t i = 0; i < plan.size(); ++i) {
    std::string step = plan[i] == "decline"   ? "exit 127"
                       : plan[i] == "dismiss" ? "exit 126"
                       : plan[i] == "accept"  ? "ZTN_HOSTRUN_ASSUME_ADMIN=1 exec \"$@\""
                                              : "exit 1";
    script += "  " + std::to_string(i + 1) + ") " + step + " ;;\n";
  }
  script += "  *) exit 1 ;;\nesac\n";
  const fs::path path = dir / "fake-helper.sh";
  WriteText(path, script, true);
  return path;
}

// A fake dialog program: logs each box with its arguments, exits `code`.
fs::path WriteFakeDialog(const fs::path& dir, int code) {
  const std::string script =
      "#!/bin/sh\n"
      "{ echo box; for a in \"$@\"; do echo \"arg [$a]\"; done; } >> '" + (dir / "dialog.log").string() +
      "'\nexit " + std::to_string(code) + "\n";
  const fs::path path = dir / "fake-dialog.sh";
  WriteText(path, script, true);
  return path;
}

std::string HelperCall(const std::vector<std::string>& parameters) {
  std::string call = "call " + std::to_string(1 + parameters.size()) + " args\narg [" +
                     std::string(ZTN_HOSTRUN_PATH) + "]\n";
  for (const auto& p : parameters) call += "arg [" + p + "]\n";
  return call;
}

std::string DialogCall(const std::string& caption, const std::string& text) {
  return "box\narg [--info]\narg [--no-markup]\narg [--title=" + caption + "]\narg [--text=" + text +
         "]\n";
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// The environment of a user who is no administrator, with a desktop session
// (a file standing for the display socket) and the fakes.
Env UserEnv(const fs::path& dir, const fs::path& helper, const fs::path& dialog) {
  WriteText(dir / "wayland-socket", "");
  return {{"ZTN_HOSTRUN_ASSUME_ADMIN", "0"},
          {"ZTN_ELEVATION_HELPER", helper.string()},
          {"ZTN_DIALOG_PROGRAM", dialog.string()},
          {"WAYLAND_DISPLAY", (dir / "wayland-socket").string()}};
}

TEST(Relaunch, DeclinedTwiceThenAccepted) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const fs::path helper = WriteFakeHelper(temp.Path(), {"decline", "dismiss", "accept"});
  const fs::path dialog = WriteFakeDialog(temp.Path(), 0);
  const fs::path log = temp.Path() / "module.log";
  // The elevated run ends with 126, the helper's own "dismissed" status: the
  // elevated instance's announcement keeps it from reading as a refusal.
  Env env = UserEnv(temp.Path(), helper, dialog);
  env.emplace_back("ZTN_HOST_TEST_RESULT", "126");
  EXPECT_EQ(RunHostrun({" /run", "x "}, log, env), 0);
  EXPECT_EQ(ReadText(temp.Path() / "helper.log"), Repeat(HelperCall({"/run x"}), 3));
  EXPECT_EQ(ReadText(temp.Path() / "dialog.log"),
            Repeat(DialogCall("IDS_PRODUCT_NAME", "IDS_MSG_UAC_CHECK"), 2));
  EXPECT_EQ(ReadLines(log), (Log{"Initialize token=valid", "CallFunc [/run x]",
                                 "IsCheckModuleRunning", "GetResult", "unload ptl=1"}));
}

// The texts the example English skin gives a key, with "\n" read as a line feed.
std::string SkinText(const std::string& key) {
  std::istringstream source(ReadText(ZTN_SKIN_EN_SOURCE));
  for (std::string line; std::getline(source, line);) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string text = line.substr(key.size() + 1);
    for (size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
    return text;
  }
  ADD_FAILURE() << "no " << key << " in the example skin";
  return {};
}

TEST(Relaunch, BoxTextsComeFromTheSkin) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL, /*withStrings=*/true);
  const fs::path helper = WriteFakeHelper(temp.Path(), {"decline", "fail"});
  const fs::path dialog = WriteFakeDialog(temp.Path(), 1);  // closed: OK as well
  EXPECT_EQ(RunHostrun({"/run"}, temp.Path() / "module.log", UserEnv(temp.Path(), helper, dialog)), 0);
  EXPECT_EQ(ReadText(temp.Path() / "helper.log"), Repeat(HelperCall({"/run"}), 2));
  EXPECT_EQ(ReadText(temp.Path() / "dialog.log"),
            DialogCall(SkinText("IDS_PRODUCT_NAME"), SkinText("IDS_MSG_UAC_CHECK")));
  EXPECT_FALSE(fs::exists(temp.Path() / "module.log"));
}

TEST(Relaunch, OutcomesTable) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> plan;
    int dialogExit;
    std::string helperLog;  // expected
    int boxes;
  };
  const Case cases[] = {
      {"a failed box ends the loop", {"/run"}, {"decline", "accept"}, 255,
       HelperCall({"/run"}), 1},
      {"any other helper status is silent", {"/run"}, {"fail", "accept"}, 0, HelperCall({"/run"}), 0},
      {"blanks only: relaunched with no parameters", {"   "}, {"fail"}, 0, HelperCall({}), 0},
      {"the switch in capitals is no switch", {"/RUNASUSER"}, {"fail"}, 0,
       HelperCall({"/RUNASUSER"}), 0},
      {"the switch skips the rights test", {"/run", "/runAsUser"}, {"fail"}, 0, "", 0},
      {"an empty tail has no rights test", {}, {"fail"}, 0, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScopedObjectDir objects;
    TempDir temp;
    Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
    const fs::path helper = WriteFakeHelper(temp.Path(), c.plan);
    const fs::path dialog = WriteFakeDialog(temp.Path(), c.dialogExit);
    EXPECT_EQ(RunHostrun(c.args, temp.Path() / "module.log", UserEnv(temp.Path(), helper, dialog)), 0);
    EXPECT_EQ(ReadText(temp.Path() / "helper.log"), c.helperLog);
    EXPECT_EQ(ReadText(temp.Path() / "dialog.log"),
              Repeat(DialogCall("IDS_PRODUCT_NAME", "IDS_MSG_UAC_CHECK"), c.boxes));
  }
}

TEST(Relaunch, WithoutDesktopOrTerminalTheBoxFails) {
  if (platform::IsTerminalInteractive())
    GTEST_SKIP() << "run from a terminal: the box would wait there for Enter";
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const fs::path helper = WriteFakeHelper(temp.Path(), {"decline", "accept"});
  const fs::path dialog = WriteFakeDialog(temp.Path(), 0);
  Env env = UserEnv(temp.Path(), helper, dialog);
  std::erase_if(env, [](const auto& entry) { return entry.first == "WAYLAND_DISPLAY"; });
  EXPECT_EQ(RunHostrun({"/run"}, temp.Path() / "module.log", env), 0);
  EXPECT_EQ(ReadText(temp.Path() / "helper.log"), HelperCall({"/run"}));
  EXPECT_FALSE(fs::exists(temp.Path() / "dialog.log"));
}

TEST(Relaunch, MissingHelperIsSilent) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);
  const fs::path dialog = WriteFakeDialog(temp.Path(), 0);
  Env env = UserEnv(temp.Path(), temp.Path() / "no-such-helper", dialog);
  EXPECT_EQ(RunHostrun({"/run"}, temp.Path() / "module.log", env), 0);
  EXPECT_FALSE(fs::exists(temp.Path() / "dialog.log"));
  EXPECT_FALSE(fs::exists(temp.Path() / "module.log"));
}

// ---- the refusal box as a real window ---------------------------------------

fs::path FindProgram(const std::string& name) {
  const auto path = platform::GetEnvVar("PATH").value_or("/usr/bin:/bin");
  std::istringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && fs::exists(fs::path(dir) / name)) return fs::path(dir) / name;
  }
  return {};
}

// Polls `done` every 50 ms for at most 10 s; true once it held.
template <class Fn>
bool WaitFor(Fn done) {
  const uint32_t start = platform::GetTickCount();
  while (platform::GetTickCount() - start < 10000) {
    if (done()) return true;
    platform::Sleep(50);
  }
  return false;
}

int RunTool(const std::string& program, const std::vector<std::string>& args, const Env& env,
            const fs::path& output) {
  platform::SpawnOptions options;
  options.environment = env;
  options.stdoutPath = output.string();
  auto process = platform::Process::Spawn(program, args, options);
  if (!process.ok()) return -2;
  return test::WaitChild(process.value(), kRunLimitMs);
}

TEST(RefusalBox, AppearsAsAWindowUnderXvfb) {
  const fs::path xvfb = FindProgram("Xvfb");
  const fs::path zenity = FindProgram("zenity");
  const fs::path xdotool = FindProgram("xdotool");
  if (xvfb.empty() || zenity.empty() || xdotool.empty())
    GTEST_SKIP() << "needs Xvfb, zenity and xdotool (scripts/install-deps.sh installs them)";
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", HOST_TEST_MODULE_FULL);

  // The server writes its display number to standard output once it is ready.
  platform::SpawnOptions serverOptions;
  serverOptions.stdoutPath = (temp.Path() / "display").string();
  auto server = platform::Process::Spawn(
      xvfb.string(), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"},
      serverOptions);
  ASSERT_TRUE(server.ok());
  std::string display;
  ASSERT_TRUE(WaitFor([&] {
    display = ReadText(temp.Path() / "display");
    return !display.empty() && display.back() == '\n';
  })) << "Xvfb did not start";
  display = ":" + display.substr(0, display.size() - 1);
  const Env x{{"DISPLAY", display}};

  const fs::path helper = WriteFakeHelper(temp.Path(), {"decline", "fail"});
  Env env = {{"ZTN_HOSTRUN_ASSUME_ADMIN", "0"},
             {"ZTN_ELEVATION_HELPER", helper.string()},
             {"ZTN_DIALOG_PROGRAM", zenity.string()},
             {"DISPLAY", display}};
  platform::Process host = StartHostrun({"/run"}, temp.Path() / "module.log", env);

  // The box is a window whose title is its caption (the key: no string module).
  std::string window;
  ASSERT_TRUE(WaitFor([&] {
    if (RunTool(xdotool.string(), {"search", "--name", "^IDS_PRODUCT_NAME$"}, x,
                temp.Path() / "window") != 0)
      return false;
    window = ReadText(temp.Path() / "window");
    window = window.substr(0, window.find('\n'));
    return !window.empty();
  })) << "no refusal box appeared";
  EXPECT_EQ(ReadText(temp.Path() / "helper.log"), HelperCall({"/run"}));

  // OK closes it, and the prompt is offered again (the fake then fails).
  EXPECT_EQ(RunTool(xdotool.string(), {"windowfocus", "--sync", window, "key", "Return"}, x,
                    temp.Path() / "key"),
            0);
  EXPECT_EQ(test::WaitChild(host, kRunLimitMs), 0);
  EXPECT_EQ(ReadText(temp.Path() / "helper.log"), Repeat(HelperCall({"/run"}), 2));
}

// ---- the example hosted module ----------------------------------------------

TEST(ExampleModule, SendsToAServingHostAndCountsItsAnswer) {
  test::ScopedObjectDir objects;
  TempDir temp;
  Product product(temp.Path() / "product", ZTN_HOSTED_EXAMPLE, false,
                  {{"LINKMOD_MODULE", ZTN_LINKMOD_PATH}});
  const fs::path log = temp.Path() / "unused.log";

  platform::Process server =
      StartHostrun({SystemPathUtf8(ZTN_HOSTED_EXAMPLE), "/type", "7002"}, log);
  // The server has registered once a send to its type is answered.
  int sent = -1;
  EXPECT_TRUE(WaitFor([&] { return (sent = RunHostrun({"/send", "7002", "hello", "there"}, log)) == 0; }))
      << "last exit code " << sent;

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
  };
  const Case cases[] = {
      {"nobody of that type", {"/send", "7003", "hello"}, 6},
      {"not a number", {"/send", "x", "hello"}, 2},
      {"no text", {"/send", "7002"}, 2},
      {"unknown command", {"/bogus"}, 2},
      {"ping a dead identity", {"/ping", "Global\\{00000000-0000-4000-8000-000000000000}"}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunHostrun(c.args, log), c.exitCode);
  }

  // The stop request ends the serving host through its pump.
  EXPECT_EQ(RunTool(ZTN_LINKCTL_PATH, {"send", "--type", "7002", "--code", "204"}, {},
                    temp.Path() / "linkctl.out"),
            0);
  EXPECT_EQ(test::WaitChild(server, kRunLimitMs), 0);
}

TEST(ExampleModule, ChecksTheCallerToken) {
  auto module = platform::Module::Load(platform::FromNativePath(ZTN_HOSTED_EXAMPLE));
  ASSERT_TRUE(module.ok());
  auto initialize = module->GetFunction<int32_t (*)(const char16_t*)>("Initialize");
  auto callFunc = module->GetFunction<int32_t (*)(const char16_t*)>("CallFunc");
  auto isRunning = module->GetFunction<int32_t (*)()>("IsCheckModuleRunning");
  auto getResult = module->GetFunction<int32_t (*)()>("GetResult");
  ASSERT_TRUE(initialize && callFunc && isRunning && getResult);
  EXPECT_EQ(getResult(), 1);  // nothing run yet
  std::u16string forged = MakeCallerToken();
  ASSERT_FALSE(forged.empty());
  forged[0] = forged[0] == u'0' ? u'1' : u'0';
  EXPECT_EQ(initialize(forged.c_str()), 0);
  EXPECT_EQ(getResult(), 3);
  EXPECT_EQ(initialize(MakeCallerToken().c_str()), 1);
  EXPECT_EQ(callFunc(u"/send 7002"), 0);
  EXPECT_EQ(isRunning(), 0);
  EXPECT_EQ(getResult(), 2);
}

}  // namespace
}  // namespace ztn::host
