// linkctl as its users run it: a listener and a sender in two processes, its
// token, and its answers to bad arguments.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/common/scoped_object_dir.h"
#include "tests/linkmod/linkmod_test_util.h"

#ifdef ZTN_LINKCTL_PATH
namespace ztn::test {
namespace {

int RunLinkctl(const std::vector<std::string>& args, const std::string& stdoutPath = "/dev/null") {
  platform::SpawnOptions options;
  options.stdoutPath = stdoutPath;
  auto process = platform::Process::Spawn(ZTN_LINKCTL_PATH, args, options);
  if (!process.ok()) return -2;
  auto status = process->WaitForExit(10000);
  if (!status.ok()) return -1;
  return status->killedBySignal ? 128 + status->signal : status->code;
}

TEST(Linkctl, ListenAndSend) {
  ScopedObjectDir dir;
  platform::SpawnOptions options;
  options.stdoutPath = dir.Path() + "/listen.out";
  auto listener = platform::Process::Spawn(
      ZTN_LINKCTL_PATH, {"listen", "--type", "4100", "--sub", "2", "--count", "2"}, options);
  ASSERT_TRUE(listener.ok());
  // Until the listener has registered, nobody of its type takes the message.
  ASSERT_TRUE(WaitUntil([] {
    return RunLinkctl({"send", "--type", "4100", "--code", "7", "--data", "hi", "--timeout",
                       "1000"}) == 0;
  }));
  EXPECT_EQ(RunLinkctl({"list"}), 0);
  EXPECT_EQ(RunLinkctl({"send", "--type", "4100", "--sub", "2", "--code", "0x8", "--data",
                        "again"}),
            0);
  auto status = listener->WaitForExit(10000);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status->code, 0);
  // Nobody of that type is left.
  EXPECT_EQ(RunLinkctl({"send", "--type", "4100", "--code", "7", "--timeout", "100"}), 1);
  // With no registration left the table is gone.
  EXPECT_EQ(RunLinkctl({"list"}), 1);
}

TEST(Linkctl, ListenRepliesToEachSender) {
  ScopedObjectDir dir;
  platform::SpawnOptions options;
  options.stdoutPath = dir.Path() + "/listen.out";
  auto listener = platform::Process::Spawn(
      ZTN_LINKCTL_PATH, {"listen", "--type", "4101", "--count", "1", "--reply", "pong"}, options);
  ASSERT_TRUE(listener.ok());
  Registration self(4102, 0, 1);
  ASSERT_TRUE(self.ok());
  char16_t to[56] = {};
  ASSERT_TRUE(WaitUntil([&] {
    return SendToModuleType(self.id(), 4101, -1, to, 41, "ping", 4, 1000) == 1;
  }));
  ASSERT_EQ(Accept(self.id(), 10000, u""), 1);
  char data[10240] = {};
  int32_t code = 0;
  char16_t from[56] = {};
  ASSERT_EQ(Recv(self.id(), nullptr, nullptr, from, &code, data), 4);
  EXPECT_EQ(code, 42);  // the request's code + 1
  EXPECT_EQ(std::string(data, 4), "pong");
  EXPECT_EQ(std::u16string(from), std::u16string(to));
  auto status = listener->WaitForExit(10000);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status->code, 0);
}

TEST(Linkctl, SendWaitsForTheListenersReply) {
  ScopedObjectDir dir;
  platform::SpawnOptions options;
  options.stdoutPath = dir.Path() + "/listen.out";
  auto listener = platform::Process::Spawn(
      ZTN_LINKCTL_PATH, {"listen", "--type", "4103", "--count", "1", "--reply", "back"}, options);
  ASSERT_TRUE(listener.ok());
  const std::string out = dir.Path() + "/send.out";
  ASSERT_TRUE(WaitUntil([&] {
    return RunLinkctl({"send", "--type", "4103", "--code", "9", "--data", "there", "--timeout",
                       "1000", "--wait-reply", "5000"},
                      out) == 0;
  }));
  std::ifstream file(out);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("code 10 size 4 text \"back\""), std::string::npos) << text;
  ASSERT_TRUE(listener->WaitForExit(10000).ok());
}

TEST(Linkctl, TokenIsAcceptedByInitialize) {
  ScopedObjectDir dir;
  const std::string path = dir.Path() + "/token.out";
  ASSERT_EQ(RunLinkctl({"token"}, path), 0);
  std::ifstream file(path);
  std::string token;
  std::getline(file, token);
  ASSERT_EQ(token.size(), 36u);
  char16_t out[LINKMOD_IDENTITY_UNITS] = {};
  const std::u16string wide = Wide(token);
  EXPECT_EQ(Initialize(wide.c_str(), 1, 1, 0, out), 1);
  ASSERT_NE(out[0], u'\0');
  EXPECT_EQ(RunLinkctl({"alive", Narrow(out)}), 0);
  UnInitialize(out);
  EXPECT_EQ(RunLinkctl({"alive", Narrow(out)}), 1);
}

TEST(Linkctl, BadArgumentsExitWithTwo) {
  ScopedObjectDir dir;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list", "extra"},
      {"listen"},
      {"listen", "--type", "x"},
      {"listen", "--type", "1", "--mode", "2"},
      {"listen", "--type", "1", "--count", "-1"},
      {"listen", "--type", "1", "--reply-code", "3"},
      {"send", "--type", "1", "--code", "1", "--wait-reply", "-5"},
      {"listen", "--type", "1", "--reply", "x", "--queues", "0"},
      {"send", "--code", "1"},
      {"send", "--to", "a", "--type", "1", "--code", "1"},
      {"send", "--type", "1"},
      {"send", "--type", "1", "--code", "1", "--data", "a", "--stdin"},
      {"send", "--type", "1", "--code", "99999999999"},
      {"send", "--type", "1", "--code", "1", "--file", dir.Path() + "/missing"},
      {"send", "--type", "1", "--code", "1", "--timeout"},
      {"alive"},
      {"token", "--bogus"},
      {"debugview", "--count", "many"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(RunLinkctl(args), 2) << joined;
  }
  for (const char* command : {"list", "listen", "send", "alive", "token", "debugview"}) {
    EXPECT_EQ(RunLinkctl({command, "--help"}), 0) << command;
  }
}

TEST(Linkctl, DebugViewPrintsLinesOfOtherProcesses) {
  ScopedObjectDir dir;
  platform::SpawnOptions options;
  options.stdoutPath = dir.Path() + "/debugview.out";
  auto view = platform::Process::Spawn(ZTN_LINKCTL_PATH, {"debugview", "--count", "1"}, options);
  ASSERT_TRUE(view.ok());
  // Lines written before the viewer listens are lost: write until it quits.
  ASSERT_TRUE(WaitUntil([&] {
    platform::WriteDebugString(u"probe line");
    return view->WaitForExit(0).ok();
  }));
  std::ifstream file(options.stdoutPath);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find(std::to_string(platform::GetCurrentProcessId()) + " probe line"),
            std::string::npos)
      << text;
}

#if defined(ZTN_EXAMPLE_SEND_PATH) && defined(ZTN_EXAMPLE_RECEIVE_PATH)
TEST(LinkmodExamples, SendToReceive) {
  ScopedObjectDir dir;
  const std::string token = Narrow(MakeCallerToken());
  platform::SpawnOptions options;
  options.stdoutPath = dir.Path() + "/receive.out";
  auto receiver = platform::Process::Spawn(ZTN_EXAMPLE_RECEIVE_PATH, {token, "2"}, options);
  ASSERT_TRUE(receiver.ok());
  // The receiver prints its identity first.
  std::string identity;
  ASSERT_TRUE(WaitUntil([&] {
    std::ifstream file(options.stdoutPath);
    return std::getline(file, identity) && !file.eof();
  }));
  platform::SpawnOptions quiet;
  quiet.stdoutPath = "/dev/null";
  for (const char* text : {"first", "second"}) {
    auto sender = platform::Process::Spawn(ZTN_EXAMPLE_SEND_PATH, {token, identity, text}, quiet);
    ASSERT_TRUE(sender.ok());
    auto sent = sender->WaitForExit(10000);
    ASSERT_TRUE(sent.ok());
    EXPECT_EQ(sent->code, 0);
  }
  auto status = receiver->WaitForExit(10000);
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(status->code, 0);
  // A bad token is refused.
  auto refused = platform::Process::Spawn(ZTN_EXAMPLE_SEND_PATH, {"bad", identity, "x"}, quiet);
  ASSERT_TRUE(refused.ok());
  auto result = refused->WaitForExit(10000);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result->code, 1);
}
#endif

}  // namespace
}  // namespace ztn::test
#endif
