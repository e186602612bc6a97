// Example hosted module "host.ztm": what a product module run by hostrun
// looks like. It talks to the product's other processes through linkmod.
//
// Utility mode (hostrun "/COMMAND ..."):
//   /send TYPE TEXT   registers with linkmod (module type 7000), sends TEXT
//                     (code 100) to every live registration of module type
//                     TYPE, then collects the answers (code 101) until none
//                     has come for 1 s (10 s at most) and reports how many
//                     registrations answered.
//   /ping IDENTITY    asks one registration whether it is there (code 206)
//                     and waits up to 5 s for its "pong" (code 207).
//   Initialize checks the caller token. The work runs on a thread of its
//   own; IsCheckModuleRunning reports 1 until it is over. The thread posts
//   its end to the host's main thread, whose pump dispatches it to a handler
//   here that ends the registration. GetResult: 0 success, 1 nothing run,
//   2 bad command, 3 caller token rejected, 4 linkmod missing, 5 registration
//   refused, 6 not delivered, 7 no answer (example_protocol.h).
// Remote mode (hostrun "PATH\host.ztm [/type N] [/sub S]"):
//   RemoteInitialize registers as module type N (default 7001), sub type S
//   (default 0), and answers requests (example_protocol.h: text, echo,
//   uptime, ping) until a stop request (code 204) arrives; the stop is
//   posted to the host's main thread, which ends the registration, and
//   IsCheckModuleRunning then reports 0.
// Progress goes to standard output, one line per step, prefixed "host.ztm:".
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "examples/hosted_module/example_protocol.h"
#include "examples/hosted_module/linkmod_client.h"
#include "platform/code_page.h"
#include "platform/message_queue.h"
#include "support/caller_token.h"
#include "support/string_util.h"

#include "hosted_module_export.h"

#define HOSTED_API extern "C" HOSTED_MODULE_EXPORT

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kAnswerQuiet = std::chrono::milliseconds(1000);
constexpr auto kAnswerLimit = std::chrono::seconds(10);
constexpr auto kPingLimit = std::chrono::seconds(5);
constexpr int32_t kSendTimeoutMs = 5000;
constexpr int32_t kAnswerTimeoutMs = 2000;
constexpr int32_t kMaxPayload = 10240;

// Posted to the host's main thread when the work (utility) or the service
// (remote) is over.
constexpr uint32_t kMessageWorkOver = ztn::platform::kMessageApp + 0x41;

struct ModuleState {
  std::mutex lock;
  std::condition_variable changed;

  example::LinkmodClient linkmod;
  std::u16string callerToken;
  ztn::platform::ThreadId hostThread = 0;

  int32_t result = example::kResultNotRun;
  bool active = false;        // work started and not yet wound up
  bool postedOver = false;    // the end was posted to the host's thread
  std::atomic<bool> over{false};
  std::thread worker;

  // Utility mode: who answered.
  std::u16string awaitedFrom;  // /ping: the identity whose pong counts
  int32_t awaitedCode = 0;
  std::set<std::u16string> answered;
  Clock::time_point lastAnswer;

  // Remote mode.
  std::u16string options;
  Clock::time_point started = Clock::now();

  ~ModuleState() {
    if (worker.joinable()) worker.join();
  }
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

std::string Utf8(std::u16string_view text) { return ztn::platform::WideToAnsiText(text); }

void Say(const std::string& line) {
  std::printf("host.ztm: %s\n", line.c_str());
  std::fflush(stdout);
}

// Ends the registration and joins the worker; on the host's main thread.
void WindUp() {
  ModuleState& s = State();
  if (!s.active) return;
  if (s.worker.joinable()) s.worker.join();
  s.linkmod.Unregister();
  ztn::platform::SetThreadMessageHandler(kMessageWorkOver, nullptr, nullptr);
  s.active = false;
}

int64_t OnWorkOver(void*, const ztn::platform::Message&) {
  WindUp();
  return 0;
}

// From the worker or the receive thread: the work is over. The host's pump
// dispatches the notice to OnWorkOver on its main thread.
void AnnounceOver() {
  ModuleState& s = State();
  s.postedOver = ztn::platform::PostThreadMessage(s.hostThread, kMessageWorkOver, 0, 0);
  s.over = true;
}

std::string PayloadText(const void* data, int32_t size) {
  if (data == nullptr || size <= 0) return {};
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

// ---- utility mode ----------------------------------------------------------

void OnAnswer(int32_t, int32_t, const char16_t* sender, int32_t code, const void* data,
              int32_t size) {
  ModuleState& s = State();
  std::lock_guard guard(s.lock);
  if (code != s.awaitedCode) return;
  if (!s.awaitedFrom.empty() && s.awaitedFrom != sender) return;
  Say("answer from " + Utf8(sender) + ": \"" + PayloadText(data, size) + "\"");
  s.answered.insert(sender);
  s.lastAnswer = Clock::now();
  s.changed.notify_all();
}

bool Connect(int32_t moduleType, int32_t subType) {
  ModuleState& s = State();
  std::u16string where;
  if (!s.linkmod.Load(where)) {
    Say("linkmod not found in the product folder");
    s.result = example::kResultNoLinkmod;
    return false;
  }
  Say("loaded linkmod from " + Utf8(where));
  if (!s.linkmod.Register(s.callerToken, moduleType, subType, 2)) {
    Say("linkmod refused the registration");
    s.result = example::kResultNotRegistered;
    return false;
  }
  Say("registered as " + Utf8(s.linkmod.Identity()) + " (module type " +
      std::to_string(moduleType) + ")");
  return true;
}

void RunSend(int32_t targetType, std::string text) {
  ModuleState& s = State();
  if (!Connect(example::kSenderModuleType, 0)) return;
  {
    std::lock_guard guard(s.lock);
    s.awaitedCode = example::AnswerCode(example::kCodeText);
  }
  s.linkmod.StartReceiving(&OnAnswer);
  std::u16string first;
  Say("sending \"" + text + "\" to every registration of module type " +
      std::to_string(targetType));
  const Clock::time_point sent = Clock::now();
  if (!s.linkmod.SendToType(targetType, example::kCodeText, text, kSendTimeoutMs, first)) {
    Say("no live registration of module type " + std::to_string(targetType) + " took it");
    s.result = example::kResultNotDelivered;
    return;
  }
  Say("delivered; first taker " + Utf8(first));
  std::unique_lock guard(s.lock);
  s.lastAnswer = sent;
  // Answers come after their senders took the message: wait until a quiet
  // second has passed, or the overall limit.
  const Clock::time_point limit = Clock::now() + kAnswerLimit;
  for (;;) {
    const Clock::time_point quietEnd = std::max(s.lastAnswer, Clock::now() - kAnswerQuiet) + kAnswerQuiet;
    const Clock::time_point until = std::min(quietEnd, limit);
    if (Clock::now() >= until) break;
    s.changed.wait_until(guard, until);
  }
  const size_t count = s.answered.size();
  Say(std::to_string(count) + (count == 1 ? " registration answered" : " registrations answered"));
  s.result = count > 0 ? example::kResultSuccess : example::kResultNoAnswer;
}

void RunPing(std::u16string target) {
  ModuleState& s = State();
  if (!Connect(example::kSenderModuleType, 0)) return;
  {
    std::lock_guard guard(s.lock);
    s.awaitedCode = example::AnswerCode(example::kCodePing);
    s.awaitedFrom = target;
  }
  s.linkmod.StartReceiving(&OnAnswer);
  if (!s.linkmod.IsAlive(target)) {
    Say(Utf8(target) + " is not alive");
    s.result = example::kResultNotDelivered;
    return;
  }
  if (!s.linkmod.SendTo(target, example::kCodePing, {}, kSendTimeoutMs)) {
    Say(Utf8(target) + " did not take the ping");
    s.result = example::kResultNotDelivered;
    return;
  }
  std::unique_lock guard(s.lock);
  const bool answered =
      s.changed.wait_for(guard, kPingLimit, [&] { return s.answered.count(target) != 0; });
  if (!answered) Say("no pong from " + Utf8(target));
  s.result = answered ? example::kResultSuccess : example::kResultNoAnswer;
}

// Splits "/cmd a b c" into words; `rest` receives the text after `skip` words.
std::vector<std::u16string> Words(std::u16string_view text) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::u16string TextAfterWords(std::u16string_view text, size_t skip) {
  size_t i = 0;
  for (size_t n = 0; n < skip; ++n) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    while (i < text.size() && text[i] != u' ' && text[i] != u'\t') ++i;
  }
  std::u16string rest(text.substr(i));
  ztn::TrimString(rest);
  return rest;
}

bool ParseInt(const std::u16string& word, int32_t& value) {
  const std::string text = Utf8(word);
  if (text.empty()) return false;
  size_t used = 0;
  try {
    long long parsed = std::stoll(text, &used, 10);
    if (used != text.size() || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
  } catch (...) {
    return false;
  }
}

// ---- remote mode -----------------------------------------------------------

void OnRequest(int32_t, int32_t, const char16_t* sender, int32_t code, const void* data,
               int32_t size) {
  ModuleState& s = State();
  const std::string payload = PayloadText(data, size);
  Say("request " + std::to_string(code) + " from " + Utf8(sender) +
      (payload.empty() ? "" : ": \"" + payload + "\""));
  std::string answer;
  switch (code) {
    case example::kCodeText: answer = "received: " + payload; break;
    case example::kCodeEcho: answer = payload; break;
    case example::kCodeUptime: {
      auto up = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - s.started);
      answer = "up " + std::to_string(up.count()) + " ms";
      break;
    }
    case example::kCodeStop: answer = "stopping"; break;
    case example::kCodePing: answer = "pong"; break;
    default:
      Say("unknown request, not answered");
      return;
  }
  const bool taken = s.linkmod.SendTo(sender, example::AnswerCode(code), answer, kAnswerTimeoutMs);
  Say(taken ? "answered \"" + answer + "\"" : "the answer was not taken (the sender does not listen)");
  if (code == example::kCodeStop && !s.over.exchange(true)) {
    s.postedOver = ztn::platform::PostThreadMessage(s.hostThread, kMessageWorkOver, 0, 0);
  }
}

}  // namespace

// ---- exports ---------------------------------------------------------------

HOSTED_API int32_t Initialize(const char16_t* callerToken) {
  ModuleState& s = State();
  if (callerToken == nullptr || !ztn::VerifyCallerToken(callerToken)) {
    Say("the caller token was rejected");
    s.result = example::kResultTokenRejected;
    return 0;
  }
  s.callerToken = callerToken;  // the text is valid only during this call
  s.hostThread = ztn::platform::GetCurrentThreadId();
  const std::u16string self = example::PathTableFile(u"UTIL_FOLDER", u"HOST_UTIL_MODULE");
  if (!self.empty()) Say("hosted from " + Utf8(self) + " (path table: UTIL_FOLDER, HOST_UTIL_MODULE)");
  Say("caller token accepted");
  return 1;
}

HOSTED_API int32_t CallFunc(const char16_t* commandLine) {
  ModuleState& s = State();
  if (commandLine == nullptr || s.active) return 0;
  const std::u16string line = commandLine;
  const std::vector<std::u16string> words = Words(line);
  s.result = example::kResultBadCommand;
  if (words.size() >= 3 && words[0] == u"/send") {
    int32_t type = 0;
    const std::string text = Utf8(TextAfterWords(line, 2));
    if (!ParseInt(words[1], type) || text.empty() || text.size() > kMaxPayload) {
      Say("usage: /send TYPE TEXT (TEXT of 1 to 10240 bytes)");
      return 0;
    }
    s.active = true;
    ztn::platform::SetThreadMessageHandler(kMessageWorkOver, &OnWorkOver, nullptr);
    s.worker = std::thread([type, text] { RunSend(type, text); AnnounceOver(); });
    return 1;
  }
  if (words.size() == 2 && words[0] == u"/ping") {
    s.active = true;
    ztn::platform::SetThreadMessageHandler(kMessageWorkOver, &OnWorkOver, nullptr);
    s.worker = std::thread([target = words[1]] { RunPing(target); AnnounceOver(); });
    return 1;
  }
  Say("unknown command; use /send TYPE TEXT or /ping IDENTITY");
  return 0;
}

HOSTED_API int32_t IsCheckModuleRunning() {
  ModuleState& s = State();
  // Without a host pump that reached OnWorkOver, wind up here, on the same
  // (main) thread.
  if (s.active && s.over && !s.postedOver) WindUp();
  return s.active ? 1 : 0;
}

HOSTED_API int32_t GetResult() { return State().result; }

HOSTED_API int32_t SetCmdLine(const char16_t* commandLine) {
  if (commandLine != nullptr) State().options = commandLine;
  return 1;
}

HOSTED_API int32_t RemoteInitialize() {
  ModuleState& s = State();
  int32_t type = example::kDefaultServerModuleType;
  int32_t subType = 0;
  const std::vector<std::u16string> words = Words(s.options);
  for (size_t i = 0; i < words.size(); ++i) {
    const bool hasValue = i + 1 < words.size();
    if (words[i] == u"/type" && hasValue && ParseInt(words[i + 1], type)) {
      ++i;
    } else if (words[i] == u"/sub" && hasValue && ParseInt(words[i + 1], subType)) {
      ++i;
    } else {
      Say("bad option \"" + Utf8(words[i]) + "\"; use /type N and /sub S");
      return 0;
    }
  }
  s.callerToken = ztn::MakeCallerToken();
  s.hostThread = ztn::platform::GetCurrentThreadId();
  s.started = Clock::now();
  if (!Connect(type, subType)) return 0;
  s.active = true;
  ztn::platform::SetThreadMessageHandler(kMessageWorkOver, &OnWorkOver, nullptr);
  if (!s.linkmod.StartReceiving(&OnRequest)) {
    WindUp();
    return 0;
  }
  Say("serving: text 100, echo 200, uptime 202, stop 204, ping 206");
  return 1;
}
