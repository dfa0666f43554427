// The script runner: errors name their line and stop with status 2, nothing
// but results reaches standard output, and the command line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/zelctl/cli.h"
#include "tools/zelctl/script.h"
#include "tools/zelctl/test_support.h"

namespace zelctl {
namespace {

using testing::Outcome;
using testing::Play;

TEST(Script, EmptyScriptsAndCommentsRunToTheEnd) {
  for (const char* script : {"", "\n\n", "# only a comment\n", "   # indented comment\n\t\n",
                             "trace on\ntrace off\n", "adapter\n"}) {
    const Outcome o = Play(script);
    EXPECT_EQ(o.status, 0) << script;
    EXPECT_EQ(o.out, "") << script;
    EXPECT_EQ(o.err, "") << script;
  }
}

struct ErrorCase {
  const char* script;
  const char* message;  // the whole standard error
};

TEST(Script, MalformedLinesStopWithTheirLineNumber) {
  const ErrorCase cases[] = {
      {"frobnicate\n", "zelctl: line 1: unknown command 'frobnicate'\n"},
      {"# comment\n\nSTART\n", "zelctl: line 3: unknown command 'START'\n"},
      {"adapter memory=2\nadapter bus=16\n", "zelctl: line 2: bus: '16' must be 32 or 64\n"},
      {"adapter colour=red\n", "zelctl: line 1: adapter: unknown key 'colour'\n"},
      {"trace\n", "zelctl: line 1: usage: trace on|off, or trace on decoded\n"},
      {"trace maybe\n", "zelctl: line 1: usage: trace on|off, or trace on decoded\n"},
      {"trace off decoded\n", "zelctl: line 1: usage: trace on|off, or trace on decoded\n"},
      {"start now\n", "zelctl: line 1: usage: start\n"},
      {"ioctl\n", "zelctl: line 1: usage: ioctl CODE [in=HEX] [out=N] [same]\n"},
      {"ioctl QUERY_MODES\n", "zelctl: line 1: unknown control code 'QUERY_MODES'\n"},
      {"ioctl 0x230404 out=8 out=8\n", "zelctl: line 1: ioctl: out= given twice\n"},
      {"ioctl 0x230404 in=012\n", "zelctl: line 1: in: odd number of hex digits in '012'\n"},
      {"ioctl 0x230404 size=8\n", "zelctl: line 1: ioctl: unknown argument 'size=8'\n"},
      {"v86 in64 0x3c4\n", "zelctl: line 1: v86: unknown access 'in64'\n"},
      {"reg xr 1\n", "zelctl: line 1: reg: unknown register 'xr'\n"},
  };
  for (const ErrorCase& c : cases) {
    const Outcome o = Play(c.script);
    EXPECT_EQ(o.status, 2) << c.script;
    EXPECT_EQ(o.err, c.message) << c.script;
    EXPECT_EQ(o.out, "") << c.script;
  }
}

TEST(Script, CommandsThatNeedTheDriverBeforeStartAreMisuse) {
  const char* scripts[] = {
      "ioctl QUERY_NUM_AVAIL_MODES out=8\n",
      "v86 in8 0x3cc\n",
      "v86 out8 0x3c2 0x67\n",
      "reg sr 5\n",
      "reg misc\n",
      "state\n",
      "dac 0\n",
      "vram 0 16\n",
      "plane 2 0 16\n",
      "registry\n",
      "modes\n",
  };
  for (const char* script : scripts) {
    const Outcome o = Play(std::string("adapter memory=2 # a comment\n") + script);
    EXPECT_EQ(o.status, 2) << script;
    EXPECT_EQ(o.err, "zelctl: line 2: the driver is not loaded yet (no start before this line)\n")
        << script;
    EXPECT_EQ(o.out, "");
  }
}

TEST(Script, LinesAfterAnErrorDoNotRun) {
  const Outcome o = Play("bogus\nstart\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
}

TEST(Script, AnAdapterTheSimulatorCannotBuildIsRefusedOnItsLine) {
  // 3 MB cannot be strapped.
  const Outcome o = Play("adapter memory=3\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("zelctl: line 1: adapter: ", 0), 0u) << o.err;
}

// ---------------------------------------------------------------------------
// The command line

Outcome Cli(std::vector<std::string_view> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = Main(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, HelpGoesToStandardOutput) {
  const Outcome top = Cli({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("zelctl [--image zel.sys] run FILE"), std::string::npos);
  EXPECT_EQ(top.err, "");

  const Outcome run = Cli({"run", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Commands and adapter keys come from their tables.
  for (const char* word : {"adapter KEY=VALUE",
                           "start",
                           "ioctl CODE",
                           "v86 in8",
                           "reg sr",
                           "dac INDEX",
                           "vram OFFSET",
                           "plane P",
                           "trace on|off",
                           "trace on decoded",
                           "state",
                           "registry",
                           "modes",
                           "revision=",
                           "memory=",
                           "bus=",
                           "type=",
                           "mclk=",
                           "strap=",
                           "romkb=",
                           "pci=",
                           "bar=",
                           "romvendor=",
                           "romdevice=",
                           "ram=",
                           "srXX="}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
}

TEST(CommandLine, WrongUsageIsStatusTwoOnStandardError) {
  for (const std::vector<std::string_view>& args :
       std::vector<std::vector<std::string_view>>{{}, {"run"}, {"play", "x"}, {"run", "a", "b"}}) {
    const Outcome o = Cli(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("usage:"), std::string::npos);
  }
  const Outcome missing = Cli({"run", "/nonexistent/script.zel"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "zelctl: cannot open '/nonexistent/script.zel'\n");
}

TEST(CommandLine, DashReadsTheScriptFromStandardInput) {
  const Outcome o = Cli({"run", "-"}, "# nothing\nnope\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "zelctl: line 2: unknown command 'nope'\n");
}

}  // namespace
}  // namespace zelctl
