// The linkmod cases. The parent holds one sending registration; each case
// starts its receivers in a child process, waits for them to be registered
// (a named signal, and their identities in a scratch file), runs the timed
// loop, then sends every receiver a stop message carrying the number of
// messages sent before it. A receiver exits 0 only when it got exactly that
// many messages, each of the announced size with the expected bytes.
#include "benchmarks/linkmod_cases.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "benchmarks/harness.h"
#include "benchmarks/os_probe.h"
#include "linkmod/linkmod.h"
#include "platform/code_page.h"
#include "platform/event.h"
#include "support/caller_token.h"

namespace ztn::bench {
namespace {

constexpr int32_t kSenderType = 100;
constexpr int32_t kReceiverType = 200;
constexpr int32_t kGroupType = 300;
constexpr int32_t kHolderType = 400;
constexpr int32_t kDataCode = 1;
constexpr int32_t kStopCode = 0x57095709;
constexpr uint8_t kFill = 0x5A;
// Per-phase limit of every send: far above any round trip, short enough that
// a broken receiver fails the case instead of hanging it.
constexpr int32_t kSendLimitMs = 5000;
constexpr int32_t kStartLimitMs = 10000;
constexpr int32_t kEndLimitMs = 10000;

// Receiver exit codes.
constexpr int kRegisterFailed = 20;
constexpr int kParentGone = 21;
constexpr int kCountMismatch = 22;
constexpr int kBadMessage = 23;
constexpr int kIdFileFailed = 25;

std::string Narrow(std::u16string_view text) { return platform::WideToAnsiText(text); }
std::u16string Wide(std::string_view text) { return platform::AnsiToWideText(text); }

std::u16string Register(int32_t moduleType, uint32_t queueCount) {
  static const std::u16string token = MakeCallerToken();
  char16_t buffer[LINKMOD_IDENTITY_UNITS] = {};
  Initialize(token.c_str(), moduleType, 0, queueCount, buffer);
  return buffer;
}

const char* ModeName(ReceiveMode mode) {
  switch (mode) {
    case ReceiveMode::Accept: return "accept";
    case ReceiveMode::ThreadWait0: return "thread0";
    case ReceiveMode::ThreadWait1: return "thread1";
  }
  return "?";
}

std::vector<std::u16string> ReadIds(const std::string& path) {
  std::vector<std::u16string> ids;
  std::istringstream lines(ReadTextFile(path));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) ids.push_back(Wide(line));
  }
  return ids;
}

// One message's check on the receiving side.
bool GoodMessage(const void* data, int32_t size, int32_t expected) {
  if (size != expected) return false;
  if (size == 0) return true;
  const auto* bytes = static_cast<const uint8_t*>(data);
  return data != nullptr && bytes[0] == kFill && bytes[size - 1] == kFill;
}

// ---- receivers (child side) ----

// What one registration received, for the check at stop.
struct Tally {
  int64_t received = 0;
  int64_t bad = 0;
  int64_t expected = -1;  // from the stop message
};

int Verdict(const Tally& tally) {
  if (tally.bad != 0) return kBadMessage;
  if (tally.expected != tally.received) {
    std::fprintf(stderr, "receiver: %lld messages, sender sent %lld\n",
                 static_cast<long long>(tally.received), static_cast<long long>(tally.expected));
    return kCountMismatch;
  }
  return 0;
}

// Accept then Recv until the stop message; ends when the parent dies.
int AcceptLoop(const std::u16string& self, const std::u16string& parent, int32_t payload,
               Tally& tally) {
  std::vector<uint8_t> buffer(LINKMOD_MAX_PAYLOAD);
  for (;;) {
    if (Accept(self.c_str(), LINKMOD_NO_TIMEOUT, parent.c_str()) != 1) {
      if (IsAliveId(self.c_str(), parent.c_str()) != 1) return kParentGone;
      continue;
    }
    int32_t code = 0;
    int32_t size = Recv(self.c_str(), nullptr, nullptr, nullptr, &code, buffer.data());
    if (size < 0) continue;  // the sender went away mid-handover
    if (code == kStopCode) {
      if (size != 8) return kBadMessage;
      std::memcpy(&tally.expected, buffer.data(), 8);
      return Verdict(tally);
    }
    ++tally.received;
    if (code != kDataCode || !GoodMessage(buffer.data(), size, payload)) ++tally.bad;
  }
}

// State of the receive-thread receiver: the callback is a plain function.
struct ThreadReceiver {
  std::mutex lock;
  std::condition_variable stopped;
  bool stop = false;
  Tally tally;
  int32_t payload = 0;
};
ThreadReceiver gThreadReceiver;

void ReceiveCallback(int32_t, int32_t, const char16_t*, int32_t code, const void* data,
                     int32_t size) {
  ThreadReceiver& r = gThreadReceiver;
  std::lock_guard<std::mutex> guard(r.lock);
  if (code == kStopCode) {
    if (size == 8 && data != nullptr) std::memcpy(&r.tally.expected, data, 8);
    r.stop = true;
    r.stopped.notify_all();
    return;
  }
  ++r.tally.received;
  if (code != kDataCode || !GoodMessage(data, size, r.payload)) ++r.tally.bad;
}

int ThreadLoop(const std::u16string& self, const std::u16string& parent, int32_t waitMode,
               int32_t payload) {
  ThreadReceiver& r = gThreadReceiver;
  r.payload = payload;
  SetRecvWaitMode(self.c_str(), waitMode);
  StartRecvThread(self.c_str(), &ReceiveCallback);
  std::unique_lock<std::mutex> guard(r.lock);
  while (!r.stop) {
    if (!r.stopped.wait_for(guard, std::chrono::seconds(1), [&] { return r.stop; })) {
      if (IsAliveId(self.c_str(), parent.c_str()) != 1) return kParentGone;
    }
  }
  return Verdict(r.tally);
}

bool WriteIds(const std::string& path, const std::vector<std::u16string>& ids) {
  std::string text;
  for (const auto& id : ids) text += Narrow(id) + "\n";
  return WriteTextFile(path, text);
}

// args: ready-signal id-file mode count module-type payload parent-id
ZTN_BENCH_ROLE(lm_receivers) {
  long long count = 0, type = 0, payload = 0;
  if (args.size() != 7 || !ParseInt(args[3], count) || !ParseInt(args[4], type) ||
      !ParseInt(args[5], payload) || count < 1) {
    return kBadRoleArguments;
  }
  const std::string& mode = args[2];
  const std::u16string parent = Wide(args[6]);
  std::vector<std::u16string> ids;
  for (long long i = 0; i < count; ++i) {
    ids.push_back(Register(static_cast<int32_t>(type), 1));
    if (ids.back().empty()) return kRegisterFailed;
  }
  if (!WriteIds(args[1], ids)) return kIdFileFailed;
  int result;
  if (mode == "accept") {
    // A signal set before the loops start is fine: a sender waits in
    // IsRecvWaitId until the receiver enters Accept.
    Signal::Set(args[0]);
    std::vector<Tally> tallies(ids.size());
    std::vector<int> results(ids.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < ids.size(); ++i) {
      threads.emplace_back([&, i] {
        results[i] = AcceptLoop(ids[i], parent, static_cast<int32_t>(payload), tallies[i]);
      });
    }
    for (auto& t : threads) t.join();
    result = 0;
    for (int r : results) {
      if (r != 0) result = r;
    }
  } else if (mode == "thread0" || mode == "thread1") {
    if (ids.size() != 1) return kBadRoleArguments;
    Signal::Set(args[0]);
    result = ThreadLoop(ids[0], parent, mode == "thread0" ? 0 : 1, static_cast<int32_t>(payload));
  } else {
    return kBadRoleArguments;
  }
  for (const auto& id : ids) UnInitialize(id.c_str());
  return result;
}

// args: ready-signal stop-signal count
ZTN_BENCH_ROLE(lm_holders) {
  long long count = 0;
  if (args.size() != 3 || !ParseInt(args[2], count) || count < 0) return kBadRoleArguments;
  std::vector<std::u16string> ids;
  for (long long i = 0; i < count; ++i) {
    ids.push_back(Register(kHolderType, 1));
    if (ids.back().empty()) return kRegisterFailed;
  }
  Signal::Set(args[0]);
  // The parent ends the case with the stop signal; ten minutes is far beyond
  // any run.
  const bool stopped = Signal::WaitNamed(args[1], 600000);
  for (const auto& id : ids) UnInitialize(id.c_str());
  return stopped ? 0 : kParentGone;
}

// args: mode seconds result-file ready-signal
ZTN_BENCH_ROLE(lm_idle) {
  long long seconds = 0;
  if (args.size() != 4 || !ParseInt(args[1], seconds) || seconds < 1) return kBadRoleArguments;
  const std::string& mode = args[0];
  std::u16string self = Register(kReceiverType, 1);
  if (self.empty()) return kRegisterFailed;
  auto quiet = platform::Event::Create(u"", true, false);  // never set
  if (!quiet.ok()) return kRegisterFailed;
  if (mode == "thread") {
    StartRecvThread(self.c_str(), &ReceiveCallback);
  } else if (mode != "accept") {
    return kBadRoleArguments;
  }
  Signal::Set(args[3]);
  const double cpuStart = ProcessCpuSeconds();
  const double wallStart = NowUs();
  const int32_t limitMs = static_cast<int32_t>(seconds * 1000);
  if (mode == "accept") {
    if (Accept(self.c_str(), limitMs, u"") != 0) return kBadMessage;  // nobody sends
  } else {
    (void)quiet->Wait(limitMs);
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  const double wall = (NowUs() - wallStart) / 1e6;
  UnInitialize(self.c_str());
  char line[64];
  std::snprintf(line, sizeof(line), "%.6f %.6f\n", cpu, wall);
  return WriteTextFile(args[2], line) ? 0 : kIdFileFailed;
}

// ---- the sending side (parent) ----

// Receivers in a child process, ended by stop messages.
class ReceiverGroup {
 public:
  bool Start(const LinkmodSender& sender, ReceiveMode mode, int count, int32_t type,
             int payload, std::string& error) {
    Signal ready("bench_ready");
    const std::string idFile = ScratchPath("ids");
    child_ = Child::Start("lm_receivers",
                          {ready.Name(), idFile, ModeName(mode), std::to_string(count),
                           std::to_string(type), std::to_string(payload), Narrow(sender.Id())});
    if (!child_.IsValid()) {
      error = "cannot start the receiver process";
      return false;
    }
    if (!ready.Wait(kStartLimitMs)) {
      error = "receivers not ready: exit code " + std::to_string(child_.Wait(0));
      return false;
    }
    ids_ = ReadIds(idFile);
    if (ids_.size() != static_cast<size_t>(count)) {
      error = "receivers wrote " + std::to_string(ids_.size()) + " identities";
      return false;
    }
    return true;
  }

  // Stops every receiver, telling it how many messages it should have had.
  bool Stop(const LinkmodSender& sender, int64_t sentEach, std::string& error) {
    bool ok = true;
    for (const auto& id : ids_) {
      if (SendToId(sender.Id().c_str(), id.c_str(), kStopCode, &sentEach, 8, kSendLimitMs) != 1) {
        ok = false;
      }
    }
    int code = child_.Wait(kEndLimitMs);
    if (!ok || code != 0) {
      if (error.empty()) {
        error = "receiver check failed: " + std::string(ok ? "" : "stop not delivered, ") +
                "exit code " + std::to_string(code);
      }
      return false;
    }
    return true;
  }

  const std::vector<std::u16string>& Ids() const { return ids_; }

 private:
  Child child_;
  std::vector<std::u16string> ids_;
};

}  // namespace

LinkmodSender::~LinkmodSender() { End(); }

bool LinkmodSender::Start(std::string& error) {
  id_ = Register(kSenderType, 1);
  if (id_.empty()) error = "Initialize failed (no machine identity for the caller token?)";
  return !id_.empty();
}

void LinkmodSender::End() {
  if (!id_.empty()) UnInitialize(id_.c_str());
  id_.clear();
}

bool RunLinkmodSend(const LinkmodSender& sender, ReceiveMode mode, int payload, int warmup,
                    int iterations, std::vector<double>& samplesUs, std::string& error) {
  ReceiverGroup group;
  if (!group.Start(sender, mode, 1, kReceiverType, payload, error)) return false;
  const std::u16string target = group.Ids()[0];
  std::vector<uint8_t> data(static_cast<size_t>(payload), kFill);
  const bool ok = Measure(warmup, iterations, [&] {
    return SendToId(sender.Id().c_str(), target.c_str(), kDataCode, data.data(), payload,
                    kSendLimitMs) == 1;
  }, samplesUs);
  if (!ok) error = "SendToId failed";
  const int64_t sent = ok ? warmup + iterations : -1;
  return group.Stop(sender, sent, error) && ok;
}

bool RunLinkmodModuleType(const LinkmodSender& sender, int receivers, int warmup, int calls,
                          std::vector<double>& samplesUs, std::string& error) {
  ReceiverGroup group;
  if (!group.Start(sender, ReceiveMode::Accept, receivers, kGroupType, 8, error)) return false;
  std::vector<uint8_t> data(8, kFill);
  const bool ok = Measure(warmup, calls, [&] {
    return SendToModuleType(sender.Id().c_str(), kGroupType, -1, nullptr, kDataCode, data.data(),
                            8, kSendLimitMs) == 1;
  }, samplesUs);
  if (!ok) error = "SendToModuleType failed";
  const int64_t sent = ok ? warmup + calls : -1;
  return group.Stop(sender, sent, error) && ok;
}

bool RunLinkmodIsAlive(const LinkmodSender& sender, int warmup, int iterations,
                       std::vector<double>& aliveUs, std::vector<double>& deadUs,
                       std::string& error) {
  ReceiverGroup group;
  if (!group.Start(sender, ReceiveMode::Accept, 1, kReceiverType, 8, error)) return false;
  const std::u16string target = group.Ids()[0];
  // Shaped like a real identity, never registered.
  const std::u16string nobody = u"Global\\{00000000-0000-0000-0000-000000000000}";
  const char16_t* self = sender.Id().c_str();
  bool ok = Measure(warmup, iterations, [&] { return IsAliveId(self, target.c_str()) == 1; }, aliveUs);
  ok = ok && Measure(warmup, iterations, [&] { return IsAliveId(self, nobody.c_str()) == 0; }, deadUs);
  if (!ok) error = "IsAliveId gave a wrong answer";
  return group.Stop(sender, 0, error) && ok;
}

struct LinkmodHolders::State {
  Child child;
  Signal stop{"bench_stop"};
};

LinkmodHolders::~LinkmodHolders() {
  std::string ignored;
  Stop(ignored);
}

bool LinkmodHolders::Start(int live, std::string& error) {
  state_ = new State;
  Signal ready("bench_ready");
  state_->child = Child::Start("lm_holders", {ready.Name(), state_->stop.Name(), std::to_string(live)});
  // Registering many takes a while: each registration scans the table.
  if (!state_->child.IsValid() || !ready.Wait(600000)) {
    error = "holders not ready: exit code " + std::to_string(state_->child.Wait(0));
    return false;
  }
  return true;
}

bool LinkmodHolders::Stop(std::string& error) {
  if (state_ == nullptr) return true;
  state_->stop.Set();
  int code = state_->child.Wait(60000);
  delete state_;
  state_ = nullptr;
  if (code != 0) error = "holders ended with exit code " + std::to_string(code);
  return code == 0;
}

bool RunLinkmodRegistration(int warmup, int iterations, int minimum, double budgetSeconds,
                            std::vector<double>& initializeUs, std::vector<double>& uninitializeUs,
                            std::string& error) {
  static const std::u16string token = MakeCallerToken();
  char16_t id[LINKMOD_IDENTITY_UNITS];
  auto once = [&](double* initUs, double* uninitUs) {
    id[0] = 0;
    const double t0 = NowUs();
    Initialize(token.c_str(), kSenderType, 0, 1, id);
    const double t1 = NowUs();
    if (id[0] == 0) return false;
    UnInitialize(id);
    const double t2 = NowUs();
    if (initUs != nullptr) *initUs = t1 - t0;
    if (uninitUs != nullptr) *uninitUs = t2 - t1;
    return true;
  };
  for (int i = 0; i < warmup; ++i) {
    if (!once(nullptr, nullptr)) {
      error = "Initialize failed";
      return false;
    }
  }
  const double start = NowUs();
  for (int i = 0; i < iterations; ++i) {
    if (i >= minimum && NowUs() - start > budgetSeconds * 1e6) break;
    double a = 0, b = 0;
    if (!once(&a, &b)) {
      error = "Initialize failed";
      return false;
    }
    initializeUs.push_back(a);
    uninitializeUs.push_back(b);
  }
  return true;
}

bool RunLinkmodIdle(int seconds, double& acceptFraction, double& threadFraction,
                    std::string& error) {
  struct Idle {
    explicit Idle(const char* m) : mode(m) {}
    const char* mode;
    Signal ready{"bench_ready"};
    std::string result = ScratchPath("idle");
    Child child;
  } idle[2] = {Idle("accept"), Idle("thread")};
  for (auto& one : idle) {
    one.child = Child::Start("lm_idle", {one.mode, std::to_string(seconds), one.result, one.ready.Name()});
    if (!one.child.IsValid() || !one.ready.Wait(kStartLimitMs)) {
      error = std::string("idle receiver (") + one.mode + ") did not start";
      return false;
    }
  }
  double fractions[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    int code = idle[i].child.Wait(seconds * 1000 + kEndLimitMs);
    double cpu = -1, wall = 0;
    std::istringstream(ReadTextFile(idle[i].result)) >> cpu >> wall;
    if (code != 0 || cpu < 0 || wall <= 0) {
      error = std::string("idle receiver (") + idle[i].mode + ") failed: exit code " + std::to_string(code);
      return false;
    }
    fractions[i] = cpu / wall;
  }
  acceptFraction = fractions[0];
  threadFraction = fractions[1];
  return true;
}

}  // namespace ztn::bench
