// ztn_bench: linkmod against the IPC a user would pick instead, side by side
// in one run.
//
// Every figure is measured between two processes of this machine in the same
// run, so that ratios stay meaningful on a shared, noisy machine. The round
// trip cases are interleaved: repetition r runs every transport once (in an
// order rotated by r) before repetition r + 1 starts, so a load change on
// the machine hits every transport alike.
//
//   ztn_bench [--quick] [--repetitions N] [--iterations N] [--warmup N]
//             [--idle-seconds N] [--cases LIST] [--payloads LIST]
//             [--live LIST] [--json PATH] [--chart-data PATH]
//
// Exit code 0 when every selected case ran (missed targets are figures, not
// failures), 1 when a case failed, 2 for a bad command line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "benchmarks/harness.h"
#include "benchmarks/linkmod_cases.h"
#include "benchmarks/os_probe.h"
#include "benchmarks/peers.h"
#include "benchmarks/primitives.h"
#include "benchmarks/results.h"
#include "linkmod/linkmod.h"
#include "platform/process.h"

namespace ztn::bench {
namespace {

constexpr const char* kUsage =
    "usage: ztn_bench [options]\n"
    "  --quick              few iterations: checks that every case runs, figures mean little\n"
    "  --repetitions N      repetitions of every case (default 3)\n"
    "  --iterations N       timed round trips per repetition (default 20000)\n"
    "  --warmup N           untimed round trips before each repetition (default 1000)\n"
    "  --idle-seconds N     how long the idle receivers are watched (default 10)\n"
    "  --cases LIST         comma-separated groups or transports to run (default all):\n"
    "                       roundtrip, module_type, is_alive, registration, idle, primitives,\n"
    "                       linkmod, linkmod_thread0, linkmod_thread1, or a peer:\n"
    "                       uds_seqpacket, uds_stream, pipe, posix_mq, boost_mq, zeromq, futex\n"
    "  --payloads LIST      round-trip payload sizes in bytes (default 8,1024,10240)\n"
    "  --live LIST          live registrations for the registration case\n"
    "                       (default 0,100,1000; quick mode 0,100)\n"
    "  --json PATH          where to write every figure (default bench-results.json)\n"
    "  --chart-data PATH    where to write round-trip medians by payload for gnuplot\n";

struct Options {
  RunConfig config;
  std::set<std::string> cases;  // empty = all
  std::string jsonPath = "bench-results.json";
  std::string chartPath;
};

bool ParseList(const std::string& text, std::vector<int>& out, int minimum, int maximum) {
  out.clear();
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    long long value = 0;
    if (!ParseInt(item, value) || value < minimum || value > maximum) return false;
    out.push_back(static_cast<int>(value));
  }
  return !out.empty();
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  RunConfig& c = o.config;
  c.repetitions = 3;
  c.iterations = 20000;
  c.warmup = 1000;
  c.idleSeconds = 10;
  c.payloads = {8, 1024, 10240};
  c.groupSizes = {1, 4, 16};
  c.liveCounts = {0, 100, 1000};
  bool repsGiven = false, itersGiven = false, warmGiven = false, idleGiven = false;
  bool liveGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int& out, int minimum, bool& given) {
      std::string text;
      long long v = 0;
      if (!value(text)) return false;
      if (!ParseInt(text, v) || v < minimum || v > 100000000) {
        error = arg + ": not a number of at least " + std::to_string(minimum) + ": " + text;
        return false;
      }
      out = static_cast<int>(v);
      given = true;
      return true;
    };
    std::string text;
    if (arg == "--quick") {
      c.quick = true;
    } else if (arg == "--repetitions") {
      if (!number(c.repetitions, 1, repsGiven)) return false;
    } else if (arg == "--iterations") {
      if (!number(c.iterations, 1, itersGiven)) return false;
    } else if (arg == "--warmup") {
      if (!number(c.warmup, 0, warmGiven)) return false;
    } else if (arg == "--idle-seconds") {
      if (!number(c.idleSeconds, 1, idleGiven)) return false;
    } else if (arg == "--cases") {
      if (!value(text)) return false;
      std::istringstream items(text);
      for (std::string item; std::getline(items, item, ',');) {
        if (!item.empty()) o.cases.insert(item);
      }
    } else if (arg == "--payloads") {
      if (!value(text) || !ParseList(text, c.payloads, 1, LINKMOD_MAX_PAYLOAD)) {
        error = "--payloads: sizes from 1 to 10240, comma-separated";
        return false;
      }
    } else if (arg == "--live") {
      if (!value(text) || !ParseList(text, c.liveCounts, 0, 5000)) {
        error = "--live: counts from 0 to 5000, comma-separated";
        return false;
      }
      liveGiven = true;
    } else if (arg == "--json") {
      if (!value(o.jsonPath)) return false;
    } else if (arg == "--chart-data") {
      if (!value(o.chartPath)) return false;
    } else if (arg == "--help" || arg == "-h") {
      error = "";
      return false;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (c.quick) {
    if (!itersGiven) c.iterations = 100;
    if (!warmGiven) c.warmup = 10;
    if (!idleGiven) c.idleSeconds = 1;
    // Holding 1,000 registrations takes most of a minute to set up.
    if (!liveGiven) c.liveCounts = {0, 100};
  }
  return true;
}

struct Transport {
  std::string key;
  std::string label;
  ReceiveMode mode = ReceiveMode::Accept;
  const PeerTransport* peer = nullptr;  // null for linkmod
};

std::vector<Transport> Transports() {
  std::vector<Transport> list = {
      {"linkmod", "linkmod SendToId, Accept/Recv", ReceiveMode::Accept, nullptr},
      {"linkmod_thread0", "linkmod SendToId, receive thread mode 0", ReceiveMode::ThreadWait0, nullptr},
      {"linkmod_thread1", "linkmod SendToId, receive thread mode 1", ReceiveMode::ThreadWait1, nullptr},
  };
  for (const auto& peer : PeerTransports()) list.push_back({peer.key, peer.label, ReceiveMode::Accept, &peer});
  return list;
}

Series MakeSeries(const std::string& group, const std::string& key, const std::string& label,
                  int payload = -1, int param = -1) {
  Series s;
  s.group = group;
  s.key = key;
  s.label = label;
  s.payload = payload;
  s.param = param;
  return s;
}

IdleFigure MakeIdle(const std::string& key, const std::string& label, int seconds) {
  IdleFigure f;
  f.key = key;
  f.label = label;
  f.seconds = seconds;
  return f;
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  char buf[32] = {};
  if (const std::tm* parts = std::gmtime(&now)) std::strftime(buf, sizeof(buf), "%Y-%m-%dT%H:%M:%SZ", parts);
  return buf;
}

// A private object root and scratch folder for the run, removed at the end.
class RunFolders {
 public:
  RunFolders() {
    namespace fs = std::filesystem;
    fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    root_ = (base / ("ztn-bench-" + std::to_string(platform::GetCurrentProcessId()))).string();
    std::error_code ec;
    fs::remove_all(root_, ec);
    fs::create_directories(root_ + "/scratch", ec);
    previous_ = platform::GetEnvVar("ZTN_OBJECT_DIR");
    UseObjects("objects");
    SetScratchDir(root_ + "/scratch");
  }
  ~RunFolders() {
    if (previous_) {
      platform::SetEnvVar("ZTN_OBJECT_DIR", *previous_);
    } else {
      platform::UnsetEnvVar("ZTN_OBJECT_DIR");
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  // Every object made from now on (here and in children started later) lives
  // under root/name: a fresh, empty identity table.
  void UseObjects(const std::string& name) {
    std::error_code ec;
    std::filesystem::create_directories(root_ + "/" + name, ec);
    platform::SetEnvVar("ZTN_OBJECT_DIR", root_ + "/" + name);
  }

 private:
  std::string root_;
  std::optional<std::string> previous_;
};

class Runner {
 public:
  Runner(const Options& options, Results& results) : o_(options), r_(results) {}

  bool Selected(const std::string& group, const std::string& key = "") const {
    if (o_.cases.empty()) return true;
    if (o_.cases.count(group) != 0) return true;
    return !key.empty() && o_.cases.count(key) != 0;
  }

  void Progress(const std::string& text) {
    std::fprintf(stderr, "[%s] %s\n", UtcNow().c_str() + 11, text.c_str());
  }

  // Round trips of every transport and payload, interleaved by repetition.
  void RoundTrips(const LinkmodSender& sender) {
    const RunConfig& c = o_.config;
    struct Case {
      Transport transport;
      int payload;
      Series* series;
    };
    std::vector<Case> cases;
    for (const auto& t : Transports()) {
      if (!Selected("roundtrip", t.key)) continue;
      for (int payload : c.payloads) {
        Series s = MakeSeries("roundtrip", t.key, t.label, payload);
        if (t.peer != nullptr) s.skipped = t.peer->unsupported(payload);
        r_.series.push_back(s);
        cases.push_back({t, payload, nullptr});
      }
    }
    // Pointers only once the vector stops growing.
    for (auto& k : cases) k.series = r_.Find("roundtrip", k.transport.key, k.payload, -1);
    for (int rep = 0; rep < c.repetitions; ++rep) {
      for (size_t n = 0; n < cases.size(); ++n) {
        Case& k = cases[(n + static_cast<size_t>(rep) * 3) % cases.size()];
        Series& s = *k.series;
        if (!s.skipped.empty() || !s.error.empty()) continue;
        Progress("repetition " + std::to_string(rep + 1) + ": " + s.label + ", " +
                 std::to_string(k.payload) + " B");
        std::vector<double> samples;
        std::string error;
        bool ok = k.transport.peer != nullptr
                      ? RunPeer(*k.transport.peer, k.payload, c.warmup, c.iterations, samples, error)
                      : RunLinkmodSend(sender, k.transport.mode, k.payload, c.warmup, c.iterations,
                                       samples, error);
        if (!ok) {
          s.error = error.empty() ? "failed" : error;
          Progress("  FAILED: " + s.error);
          continue;
        }
        s.reps.push_back(std::move(samples));
      }
    }
  }

  void ModuleType(const LinkmodSender& sender) {
    if (!Selected("module_type")) return;
    const RunConfig& c = o_.config;
    for (int receivers : c.groupSizes) {
      Series s = MakeSeries("module_type", "linkmod_type", "linkmod SendToModuleType, receivers", 8,
                            receivers);
      // As many messages per repetition as a round-trip case sends.
      const int calls = std::max(1, c.iterations / receivers);
      for (int rep = 0; rep < c.repetitions && s.error.empty(); ++rep) {
        Progress("repetition " + std::to_string(rep + 1) + ": SendToModuleType to " +
                 std::to_string(receivers));
        std::vector<double> samples;
        if (!RunLinkmodModuleType(sender, receivers, std::max(1, c.warmup / receivers), calls,
                                  samples, s.error)) {
          if (s.error.empty()) s.error = "failed";
          break;
        }
        s.reps.push_back(std::move(samples));
      }
      r_.series.push_back(std::move(s));
    }
  }

  void IsAlive(const LinkmodSender& sender) {
    if (!Selected("is_alive")) return;
    const RunConfig& c = o_.config;
    Series alive = MakeSeries("is_alive", "is_alive_live", "IsAliveId of a live registration");
    Series dead = MakeSeries("is_alive", "is_alive_dead", "IsAliveId of an unknown identity");
    for (int rep = 0; rep < c.repetitions; ++rep) {
      Progress("repetition " + std::to_string(rep + 1) + ": IsAliveId");
      std::vector<double> a, d;
      std::string error;
      if (!RunLinkmodIsAlive(sender, c.warmup, c.iterations, a, d, error)) {
        alive.error = dead.error = error.empty() ? "failed" : error;
        break;
      }
      alive.reps.push_back(std::move(a));
      dead.reps.push_back(std::move(d));
    }
    r_.series.push_back(std::move(alive));
    r_.series.push_back(std::move(dead));
  }

  void Registration(RunFolders& folders) {
    if (!Selected("registration")) return;
    const RunConfig& c = o_.config;
    // Registration is far slower than a round trip: each repetition stops
    // after a few seconds' worth.
    const int iterations = std::min(c.iterations, 2000);
    const int minimum = std::min(iterations, c.quick ? 10 : 200);
    const double budget = c.quick ? 0.5 : 5.0;
    for (int live : c.liveCounts) {
      // A fresh identity table holding exactly `live` registrations.
      folders.UseObjects("objects-live" + std::to_string(live));
      Series init = MakeSeries("registration", "initialize", "Initialize, live entries", -1, live);
      Series uninit = MakeSeries("registration", "uninitialize", "UnInitialize, live entries", -1, live);
      Progress("registration: starting " + std::to_string(live) + " live registrations");
      LinkmodHolders holders;
      std::string error;
      if (!holders.Start(live, error)) {
        init.error = uninit.error = error;
      } else {
        for (int rep = 0; rep < c.repetitions; ++rep) {
          Progress("repetition " + std::to_string(rep + 1) + ": Initialize + UnInitialize with " +
                   std::to_string(live) + " live");
          std::vector<double> a, b;
          if (!RunLinkmodRegistration(std::min(c.warmup, 20), iterations, minimum, budget, a, b, error)) {
            init.error = uninit.error = error;
            break;
          }
          init.reps.push_back(std::move(a));
          uninit.reps.push_back(std::move(b));
        }
        if (!holders.Stop(error) && init.error.empty()) init.error = uninit.error = error;
      }
      r_.series.push_back(std::move(init));
      r_.series.push_back(std::move(uninit));
    }
    folders.UseObjects("objects");
  }

  // The building blocks, each timed in this process.
  void Primitives() {
    if (!Selected("primitives")) return;
    const RunConfig& c = o_.config;
    std::vector<Primitive> all = OsPrimitives();
    for (auto& p : PlatformPrimitives()) all.push_back(std::move(p));
    for (const auto& p : all) {
      Series s = MakeSeries("primitives", p.key, p.label);
      Progress("primitive: " + p.label);
      for (int rep = 0; rep < c.repetitions && s.error.empty(); ++rep) {
        std::string error;
        std::function<bool()> operation = p.prepare(error);
        std::vector<double> samples;
        if (!operation || !Measure(c.warmup, c.iterations, operation, samples)) {
          s.error = error.empty() ? "operation failed" : error;
          break;
        }
        s.reps.push_back(std::move(samples));
      }
      r_.series.push_back(std::move(s));
    }
  }

  void Idle() {
    if (!Selected("idle")) return;
    const int seconds = o_.config.idleSeconds;
    Progress("idle receivers: " + std::to_string(seconds) + " s");
    IdleFigure accept = MakeIdle("idle_accept", "receiver waiting in Accept", seconds);
    IdleFigure thread = MakeIdle("idle_thread", "receiver with a receive thread", seconds);
    std::string error;
    if (!RunLinkmodIdle(seconds, accept.cpuFraction, thread.cpuFraction, error)) {
      accept.error = thread.error = error;
      accept.cpuFraction = thread.cpuFraction = -1;
    }
    r_.idle.push_back(accept);
    r_.idle.push_back(thread);
  }

 private:
  const Options& o_;
  Results& r_;
};

int Main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    if (!error.empty()) std::fprintf(stderr, "ztn_bench: %s\n", error.c_str());
    std::fputs(kUsage, error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  Results results;
  results.machine = ReadMachineFacts();
  results.startedUtc = UtcNow();
  results.config = options.config;
  // Raised for the run, put back by the destructor.
  MqueueSizeRaise mqueueRaise(LINKMOD_MAX_PAYLOAD);
  results.config.mqueueLimitBefore = mqueueRaise.Before();
  results.config.mqueueRaised = mqueueRaise.Raised();

  RunFolders folders;
  Runner runner(options, results);
  {
    LinkmodSender sender;
    if (!sender.Start(error)) {
      std::fprintf(stderr, "ztn_bench: %s\n", error.c_str());
      return 1;
    }
    runner.RoundTrips(sender);
    runner.ModuleType(sender);
    runner.IsAlive(sender);
  }
  runner.Primitives();
  runner.Registration(folders);
  runner.Idle();

  results.Finish();
  PrintTable(results, stdout);
  bool written = WriteJson(results, options.jsonPath);
  if (!written) std::fprintf(stderr, "ztn_bench: cannot write %s\n", options.jsonPath.c_str());
  if (!options.chartPath.empty() && !WriteChartData(results, options.chartPath)) {
    std::fprintf(stderr, "ztn_bench: cannot write %s\n", options.chartPath.c_str());
    written = false;
  }
  return results.AnyFailed() || !written ? 1 : 0;
}

}  // namespace
}  // namespace ztn::bench

int main(int argc, char** argv) {
  int exitCode = 0;
  if (ztn::bench::RunRoleIfRequested(argc, argv, &exitCode)) return exitCode;
  return ztn::bench::Main(argc, argv);
}
