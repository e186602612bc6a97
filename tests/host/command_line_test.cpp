// The host's command-line grammar: joining, trimming, the run-as-user switch,
// the choice of mode and the remote split.
#include <gtest/gtest.h>

#include "hostrun/host/command_line.h"

namespace ztn::host {
namespace {

struct GrammarCase {
  const char* name;
  std::u16string tail;
  std::u16string prepared;
  bool runAsUser;
  HostingMode mode;
  std::u16string modulePath;         // remote mode only
  std::u16string moduleCommandLine;  // remote mode only
};

TEST(CommandLine, GrammarTable) {
  const GrammarCase cases[] = {
      {"utility", u"/send 5 hi", u"/send 5 hi", false, HostingMode::Utility, u"", u""},
      {"trimmed both ends", u" \t /send 5 hi \t", u"/send 5 hi", false, HostingMode::Utility, u"", u""},
      {"blanks only", u"   ", u"", false, HostingMode::Remote, u"", u""},
      {"remote path only", u"C:\\m\\a.ztm", u"C:\\m\\a.ztm", false, HostingMode::Remote,
       u"C:\\m\\a.ztm", u""},
      {"remote with options keeps the blank", u"\\m\\a.ztm /type 5", u"\\m\\a.ztm /type 5", false,
       HostingMode::Remote, u"\\m\\a.ztm ", u"/type 5"},
      {"switch inside a word", u"/ru/runAsUsern x", u"/run x", true, HostingMode::Utility, u"", u""},
      {"switch twice", u"/runAsUser/a/runAsUser", u"/a", true, HostingMode::Utility, u"", u""},
      {"switch first leaves a leading blank", u"/runAsUser /send 5", u" /send 5", true,
       HostingMode::Remote, u" ", u"/send 5"},
      {"switch last keeps the trailing blank", u"/send 5 /runAsUser", u"/send 5 ", true,
       HostingMode::Utility, u"", u""},
      {"switch alone", u"/runAsUser", u"", true, HostingMode::Remote, u"", u""},
      {"switch in capitals is no switch", u"/RUNASUSER /x", u"/RUNASUSER /x", false,
       HostingMode::Utility, u"", u""},
      {"leading carriage return is kept", u"\r/send 5", u"\r/send 5", false, HostingMode::Remote,
       u"\r", u"/send 5"},
      {"trailing line feed is kept", u"/send 5\n", u"/send 5\n", false, HostingMode::Utility, u"", u""},
  };
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.name);
    const PreparedCommandLine prepared = PrepareCommandLine(c.tail);
    EXPECT_EQ(prepared.text, c.prepared);
    EXPECT_EQ(prepared.runAsUser, c.runAsUser);
    EXPECT_EQ(ChooseHostingMode(prepared.text), c.mode);
    if (c.mode == HostingMode::Remote) {
      const RemoteCommandLine split = SplitRemoteCommandLine(prepared.text);
      EXPECT_EQ(split.modulePath, c.modulePath);
      EXPECT_EQ(split.moduleCommandLine, c.moduleCommandLine);
    }
  }
}

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
  EXPECT_EQ(JoinArguments({}), u"");
  EXPECT_EQ(JoinArguments({""}), u"");
  EXPECT_EQ(JoinArguments({"/send", "5", "two words"}), u"/send 5 two words");
  EXPECT_EQ(JoinArguments({"a", "", "b"}), u"a  b");
  EXPECT_EQ(JoinArguments({"\xed\x95\x9c"}), u"\ud55c");  // UTF-8 arguments
}

}  // namespace
}  // namespace ztn::host
