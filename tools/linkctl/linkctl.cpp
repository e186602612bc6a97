// linkctl: look at and talk to linkmod registrations from a shell.
//
//   linkctl list | listen | send | alive | token | debugview   (--help each)
//
// Messaging goes through liblinkmod's public interface only; `list` reads the
// ID manager table and `debugview` the debug output channel through the
// platform layer. Exit codes: 0 success, 1 the operation failed (not
// delivered, not alive, nothing to list), 2 bad arguments.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "linkmod/linkmod.h"
#include "linkmod/wire_layout.h"
#include "platform/code_page.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/shared_memory.h"
#include "support/caller_token.h"
#include "support/system_information.h"
#include "tools/linkctl/options.h"

namespace linkctl {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int32_t kReplyTimeoutMs = 5000;  // per wait, for each answer

std::atomic<bool> gInterrupted{false};
void OnInterrupt(int) { gInterrupted = true; }

std::string Narrow(std::u16string_view text) { return ztn::platform::WideToAnsiText(text); }
std::u16string Wide(std::string_view text) { return ztn::platform::AnsiToWideText(text); }

int Usage(const std::string& message, const char* help) {
  std::fprintf(stderr, "linkctl: %s\n\n%s", message.c_str(), help);
  return kUsage;
}

// The payload as text when it is printable, else as hexadecimal bytes.
std::string DescribePayload(const uint8_t* data, int32_t size) {
  if (data == nullptr || size <= 0) return "empty";
  int32_t length = size;
  if (data[length - 1] == 0) --length;  // a C string's terminator
  bool printable = true;
  for (int32_t i = 0; i < length && printable; ++i) {
    printable = (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\t' || data[i] == '\n' ||
                data[i] == '\r';
  }
  if (printable) return "text \"" + std::string(reinterpret_cast<const char*>(data), length) + "\"";
  static const char kHex[] = "0123456789abcdef";
  std::string hex = "hex ";
  for (int32_t i = 0; i < size; ++i) {
    hex.push_back(kHex[data[i] >> 4]);
    hex.push_back(kHex[data[i] & 15]);
  }
  return hex;
}

// A registration of linkctl itself, ended when it goes out of scope.
class Session {
 public:
  Session(int32_t type, int32_t subType, uint32_t queues) {
    std::u16string token = ztn::MakeCallerToken();
    char16_t buffer[LINKMOD_IDENTITY_UNITS] = {};
    Initialize(token.c_str(), type, subType, queues, buffer);
    id_ = buffer;
    if (id_.empty()) std::fprintf(stderr, "linkctl: the registration failed\n");
  }
  ~Session() {
    if (!id_.empty()) UnInitialize(id_.c_str());
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  bool ok() const { return !id_.empty(); }
  const char16_t* id() const { return id_.c_str(); }

 private:
  std::u16string id_;
};

// ---- list ------------------------------------------------------------------

const char kListHelp[] =
    "usage: linkctl list\n"
    "Prints the ID manager table, one line per entry: index, state (registered\n"
    "or free), module type, sub type, identity, and whether it is alive.\n";

int List(Options& options) {
  if (options.Has("help")) return std::printf("%s", kListHelp), kOk;
  if (!options.Positional().empty()) return Usage("list takes no arguments", kListHelp);
  ztn::EnsureSystemInformation();
  std::u16string name = ztn::isWin2000OrLater() ? ztn::linkmod::kGlobalPrefix : u"";
  name += ztn::linkmod::kIdTableName;
  auto memory = ztn::platform::SharedMemory::Open(name);
  if (!memory.ok()) {
    std::printf("no ID manager table: no registration is running\n");
    return kFailed;
  }
  auto view = memory->Map(ztn::linkmod::kIdTableBytes);
  if (!view.ok()) {
    std::fprintf(stderr, "linkctl: the ID manager table cannot be mapped\n");
    return kFailed;
  }
  const auto* bytes = static_cast<const uint8_t*>(view->Data());
  uint32_t count;
  std::memcpy(&count, bytes, sizeof count);
  if (count > ztn::linkmod::kIdTableCapacity) {
    std::printf("entry count %u exceeds the table; showing %u\n", count,
                ztn::linkmod::kIdTableCapacity);
    count = ztn::linkmod::kIdTableCapacity;
  }
  std::printf("%-6s %-10s %-11s %-11s %-55s %s\n", "index", "state", "type", "sub", "identity",
              "status");
  for (uint32_t i = 0; i < count; ++i) {
    ztn::linkmod::IdManagerEntry entry;
    std::memcpy(&entry, bytes + ztn::linkmod::kIdTableHeaderBytes + i * ztn::linkmod::kIdEntryBytes,
                sizeof entry);
    const std::u16string identity = ztn::linkmod::ReadIdentityField(entry.identity);
    const bool alive = !identity.empty() &&
        ztn::platform::Event::Exists(identity + ztn::linkmod::kMainEventSuffix);
    const char* state = entry.state == 1 ? "registered" : entry.state == 0 ? "free" : "invalid";
    std::printf("%-6u %-10s %-11d %-11d %-55s %s\n", i, state, entry.moduleType, entry.subType,
                Narrow(identity).c_str(), alive ? "alive" : "dead");
  }
  return kOk;
}

// ---- listen ----------------------------------------------------------------

const char kListenHelp[] =
    "usage: linkctl listen --type T [--sub S] [--mode 0|1] [--count N] [--queues Q]\n"
    "                      [--reply TEXT [--reply-code C]]\n"
    "Registers under module type T (sub type S, default 0), prints its identity,\n"
    "then prints every message received: sender, type, sub type, code, size and\n"
    "the payload as text when printable, else in hexadecimal. Runs until\n"
    "interrupted, or until N messages arrived. --mode 1 releases each sender\n"
    "only after the message was printed. --reply answers every message with\n"
    "TEXT, sent back to its sender under code C (default: the message's code + 1).\n";

std::mutex gListenLock;
std::condition_variable gListenChanged;
uint32_t gListenCount = 0;
// Answers wait here for the main thread: the callback must not send while
// its sender may still be waiting for this very receive step.
std::deque<std::pair<std::u16string, int32_t>> gPendingReplies;
bool gReplying = false;

void PrintMessage(int32_t senderType, int32_t subType, const char16_t* sender, int32_t code,
                  const void* data, int32_t size) {
  std::lock_guard<std::mutex> guard(gListenLock);
  std::printf("from %s type %d sub %d code %d size %d %s\n", Narrow(sender).c_str(), senderType,
              subType, code, size, DescribePayload(static_cast<const uint8_t*>(data), size).c_str());
  std::fflush(stdout);
  ++gListenCount;
  if (gReplying && sender != nullptr) gPendingReplies.emplace_back(sender, code);
  gListenChanged.notify_all();
}

int Listen(Options& options) {
  if (options.Has("help")) return std::printf("%s", kListenHelp), kOk;
  if (!options.Has("type")) return Usage("listen needs --type", kListenHelp);
  auto type = options.Int("type", 0);
  auto sub = options.Int("sub", 0);
  auto mode = options.Int("mode", 0);
  auto count = options.Count("count", 0);
  auto queues = options.Count("queues", 1);
  auto replyCode = options.Int("reply-code", 0);
  if (!type || !sub || !mode || !count || !queues || !replyCode) {
    return Usage(options.Error(), kListenHelp);
  }
  if (*mode != 0 && *mode != 1) return Usage("--mode is 0 or 1", kListenHelp);
  if (options.Has("reply-code") && !options.Has("reply")) {
    return Usage("--reply-code goes with --reply", kListenHelp);
  }
  const std::string reply = options.Has("reply") ? options.Text("reply") : std::string();
  if (reply.size() > static_cast<size_t>(ztn::linkmod::kMaxPayloadBytes)) {
    return Usage("--reply is longer than 10240 bytes", kListenHelp);
  }
  gReplying = options.Has("reply");
  if (gReplying && *queues == 0) return Usage("--reply needs a send queue (--queues 1 or more)", kListenHelp);
  if (!options.Positional().empty()) return Usage("unexpected argument", kListenHelp);

  Session session(*type, *sub, *queues);
  if (!session.ok()) return kFailed;
  std::printf("listening as %s\n", Narrow(session.id()).c_str());
  std::fflush(stdout);
  SetRecvWaitMode(session.id(), *mode);
  StartRecvThread(session.id(), &PrintMessage);
  std::unique_lock<std::mutex> guard(gListenLock);
  for (;;) {
    while (!gPendingReplies.empty()) {
      auto [to, code] = gPendingReplies.front();
      gPendingReplies.pop_front();
      guard.unlock();
      const int32_t answerCode = options.Has("reply-code") ? *replyCode : code + 1;
      const bool taken = SendToId(session.id(), to.c_str(), answerCode, reply.data(),
                                  static_cast<int32_t>(reply.size()), kReplyTimeoutMs) == 1;
      guard.lock();
      std::printf("replied to %s code %d: %s\n", Narrow(to).c_str(), answerCode,
                  taken ? "taken" : "not taken");
      std::fflush(stdout);
    }
    if (gInterrupted || (*count != 0 && gListenCount >= *count)) break;
    gListenChanged.wait_for(guard, std::chrono::milliseconds(200));
  }
  return kOk;  // the session ends the registration and its thread
}

// ---- send ------------------------------------------------------------------

const char kSendHelp[] =
    "usage: linkctl send (--to IDENTITY | --type T [--sub S]) --code C\n"
    "                    [--data TEXT | --file F | --stdin] [--timeout MS]\n"
    "                    [--from-type T] [--from-sub S] [--wait-reply MS]\n"
    "Sends one message (at most 10240 bytes) to one identity, or to every live\n"
    "registration of module type T (sub type S, default any), and waits until\n"
    "it was taken. --timeout limits each wait (default 5000, -1 = none).\n"
    "--wait-reply then waits up to MS milliseconds (whole seconds, at least one)\n"
    "for one message back and prints it.\n"
    "Exit code 0 when delivered (and, with --wait-reply, answered), 1 when not.\n";

int Send(Options& options) {
  if (options.Has("help")) return std::printf("%s", kSendHelp), kOk;
  if (options.Has("to") == options.Has("type")) {
    return Usage("send needs either --to or --type", kSendHelp);
  }
  if (!options.Has("code")) return Usage("send needs --code", kSendHelp);
  const int sources = options.Has("data") + options.Has("file") + options.Has("stdin");
  if (sources > 1) return Usage("give at most one of --data, --file, --stdin", kSendHelp);
  if (options.Has("sub") && !options.Has("type")) return Usage("--sub goes with --type", kSendHelp);
  auto type = options.Int("type", 0);
  auto sub = options.Int("sub", -1);
  auto code = options.Int("code", 0);
  auto timeout = options.Int("timeout", 5000);
  auto fromType = options.Int("from-type", 0);
  auto fromSub = options.Int("from-sub", 0);
  auto waitReply = options.Int("wait-reply", 0);
  if (!type || !sub || !code || !timeout || !fromType || !fromSub || !waitReply) {
    return Usage(options.Error(), kSendHelp);
  }
  if (*waitReply < 0) return Usage("--wait-reply takes milliseconds (0 or more)", kSendHelp);
  if (!options.Positional().empty()) return Usage("unexpected argument", kSendHelp);

  std::string payload;
  if (options.Has("data")) {
    payload = options.Text("data");
  } else if (options.Has("file")) {
    std::ifstream file(options.Text("file"), std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "linkctl: cannot read %s\n", options.Text("file").c_str());
      return kUsage;
    }
    payload.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } else if (options.Has("stdin")) {
    payload.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  if (payload.size() > LINKMOD_MAX_PAYLOAD) {
    std::fprintf(stderr, "linkctl: the payload has %zu bytes; at most %d fit\n", payload.size(),
                 LINKMOD_MAX_PAYLOAD);
    return kUsage;
  }

  Session session(*fromType, *fromSub, 1);
  if (!session.ok()) return kFailed;
  const auto size = static_cast<int32_t>(payload.size());
  const void* data = payload.empty() ? nullptr : payload.data();
  std::u16string taker;
  if (options.Has("to")) {
    taker = Wide(options.Text("to"));
    if (SendToId(session.id(), taker.c_str(), *code, data, size, *timeout) != 1) {
      std::fprintf(stderr, "linkctl: not delivered\n");
      return kFailed;
    }
    std::printf("delivered to %s\n", options.Text("to").c_str());
  } else {
    char16_t first[LINKMOD_IDENTITY_UNITS] = {};
    if (SendToModuleType(session.id(), *type, *sub, first, *code, data, size, *timeout) != 1) {
      std::fprintf(stderr, "linkctl: no registration of type %d took the message\n", *type);
      return kFailed;
    }
    taker = first;
    std::printf("delivered; first taker %s\n", Narrow(first).c_str());
  }
  if (!options.Has("wait-reply")) return kOk;
  std::fflush(stdout);
  // One message back; the wait also ends when a single addressee dies.
  const char16_t* peer = options.Has("to") ? taker.c_str() : u"";
  if (Accept(session.id(), *waitReply, peer) != 1) {
    std::fprintf(stderr, "linkctl: no reply\n");
    return kFailed;
  }
  std::vector<uint8_t> reply(LINKMOD_MAX_PAYLOAD);
  int32_t replyCode = 0;
  char16_t from[LINKMOD_IDENTITY_UNITS] = {};
  const int32_t replySize = Recv(session.id(), nullptr, nullptr, from, &replyCode, reply.data());
  if (replySize < 0) {
    std::fprintf(stderr, "linkctl: the reply could not be read\n");
    return kFailed;
  }
  std::printf("reply from %s code %d size %d %s\n", Narrow(from).c_str(), replyCode, replySize,
              DescribePayload(reply.data(), std::min<int32_t>(replySize, LINKMOD_MAX_PAYLOAD)).c_str());
  return kOk;
}

// ---- alive, token ----------------------------------------------------------

const char kAliveHelp[] =
    "usage: linkctl alive IDENTITY\n"
    "Prints whether IDENTITY is a live registration. Exit code 0 alive, 1 dead.\n";

int Alive(Options& options) {
  if (options.Has("help")) return std::printf("%s", kAliveHelp), kOk;
  if (options.Positional().size() != 1) return Usage("alive takes one identity", kAliveHelp);
  Session session(0, 0, 0);
  if (!session.ok()) return kFailed;
  const std::u16string other = Wide(options.Positional()[0]);
  const bool alive = IsAliveId(session.id(), other.c_str()) == 1;
  std::printf("%s\n", alive ? "alive" : "dead");
  return alive ? kOk : kFailed;
}

const char kTokenHelp[] =
    "usage: linkctl token\n"
    "Prints a fresh caller token of this machine, as a host hands it to modules.\n";

int Token(Options& options) {
  if (options.Has("help")) return std::printf("%s", kTokenHelp), kOk;
  if (!options.Positional().empty()) return Usage("token takes no arguments", kTokenHelp);
  const std::u16string token = ztn::MakeCallerToken();
  if (token.empty()) {
    std::fprintf(stderr, "linkctl: this machine has no identity to make a token from\n");
    return kFailed;
  }
  std::printf("%s\n", Narrow(token).c_str());
  return kOk;
}

// ---- debugview -------------------------------------------------------------

const char kDebugViewHelp[] =
    "usage: linkctl debugview [--count N]\n"
    "Prints the debug output of every process of this session as it comes, one\n"
    "line each: process id and text. Runs until interrupted or N lines.\n";

int DebugView(Options& options) {
  if (options.Has("help")) return std::printf("%s", kDebugViewHelp), kOk;
  auto count = options.Count("count", 0);
  if (!count) return Usage(options.Error(), kDebugViewHelp);
  if (!options.Positional().empty()) return Usage("unexpected argument", kDebugViewHelp);
  auto listener = ztn::platform::DebugListener::Start();
  if (!listener.ok()) {
    std::fprintf(stderr, "linkctl: cannot listen (is another debug listener running?)\n");
    return kFailed;
  }
  std::printf("listening for debug output\n");
  std::fflush(stdout);
  uint32_t lines = 0;
  while (!gInterrupted && (*count == 0 || lines < *count)) {
    auto line = listener->Next(200);
    if (!line.ok()) continue;
    std::string text = line->text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::printf("%u %s\n", line->processId, text.c_str());
    std::fflush(stdout);
    ++lines;
  }
  return kOk;
}

const char kHelp[] =
    "usage: linkctl COMMAND [options]\n"
    "  list        the ID manager table, with each entry's liveness\n"
    "  listen      register and print the messages that arrive\n"
    "  send        send one message to an identity or a module type\n"
    "  alive       whether an identity is a live registration\n"
    "  token       a fresh caller token\n"
    "  debugview   the debug output of every process\n"
    "linkctl COMMAND --help describes a command.\n";

struct Command {
  const char* name;
  int (*run)(Options&);
  std::set<std::string> valued;
  std::set<std::string> flags;
  const char* help;
};

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command given", kHelp);
  if (args[0] == "--help" || args[0] == "help") return std::printf("%s", kHelp), kOk;
  const Command commands[] = {
      {"list", &List, {}, {"help"}, kListHelp},
      {"listen", &Listen, {"type", "sub", "mode", "count", "queues", "reply", "reply-code"},
       {"help"}, kListenHelp},
      {"send", &Send,
       {"to", "type", "sub", "code", "data", "file", "timeout", "from-type", "from-sub", "wait-reply"},
       {"stdin", "help"}, kSendHelp},
      {"alive", &Alive, {}, {"help"}, kAliveHelp},
      {"token", &Token, {}, {"help"}, kTokenHelp},
      {"debugview", &DebugView, {"count"}, {"help"}, kDebugViewHelp},
  };
  for (const Command& command : commands) {
    if (args[0] != command.name) continue;
    Options options;
    if (!options.Parse(std::vector<std::string>(args.begin() + 1, args.end()), command.valued,
                       command.flags)) {
      return Usage(options.Error(), command.help);
    }
    return command.run(options);
  }
  return Usage("unknown command '" + args[0] + "'", kHelp);
}

}  // namespace
}  // namespace linkctl

int main(int argc, char** argv) {
  std::signal(SIGINT, &linkctl::OnInterrupt);
  std::signal(SIGTERM, &linkctl::OnInterrupt);
  try {
    return linkctl::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "linkctl: %s\n", error.what());
    return 1;
  }
}
