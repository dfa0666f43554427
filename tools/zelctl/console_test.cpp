// What the example scripts cannot show, since a script stops at its first
// error: misuse, each kind once, with its message and exit status (2 for
// misuse, 1 when the machine or the host failed).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zelctl/cli.h"

namespace zelctl {
namespace {

struct Outcome {
  int status;
  std::string err;
};

Outcome Cli(std::vector<std::string_view> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = Main(args, in, out, err);
  return {status, err.str()};
}

TEST(Console, MisuseStopsTheScriptAndNamesTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"# comment\n\nSTART\nstart\n", "line 3: unknown command 'START'"},
      {"adapter memory=3\n", "line 1: adapter: profile memoryMB = 3: must be 1, 2, 4 or 8"},
      {"reg sr 5\n", "line 1: the driver is not loaded yet (no start before this line)"},
      {"start\nadapter memory=2\n", "line 2: adapter: the adapter cannot change after start"},
      {"start\nv86 read8 0x9ffff\n",
       "line 2: v86: 0x9ffff lies outside the window 0xa0000-0xbffff"},
      {"start\nvram 0xffffffff 2\n",
       "line 2: vram: video memory holds 0x400000 bytes: 0xffffffff+2 lies outside"},
      {"adapter romvendor=0x1234\nstart\nmodes\n", "line 3: the driver found no adapter at start"},
      {"start\nsession int10 BX=7\n", "line 2: session int10: AX= names the function"},
      {"start\nsession run /nonexistent/p.com\n",
       "line 2: session run: cannot open '/nonexistent/p.com'"},
  };
  for (const auto& [script, message] : cases) {
    const Outcome o = Cli({"run", "-"}, script);
    EXPECT_EQ(o.status, 2) << script;
    EXPECT_EQ(o.err, std::string("zelctl: ") + message + "\n");
  }
  const Outcome screenshot = Cli({"run", "-"}, "start\nscreenshot /nonexistent/s.png\n");
  EXPECT_EQ(screenshot.status, 1);
  EXPECT_EQ(screenshot.err, "zelctl: line 2: screenshot: cannot write '/nonexistent/s.png'\n");
  // A session's program that calls for the keyboard, which no session has.
  const std::string program = ::testing::TempDir() + "keyboard.com";
  std::ofstream(program, std::ios::binary) << std::string("\xB4\x00\xCD\x16", 4);
  const Outcome keyboard = Cli({"run", "-"}, "start\nsession run " + program + "\n");
  EXPECT_EQ(keyboard.status, 1);
  EXPECT_EQ(keyboard.err,
            "zelctl: line 2: INT 16h at 1000:0102 (cd 16 00 00 00 00) has no handler\n");
  EXPECT_EQ(Cli({}).status, 2);
  EXPECT_EQ(Cli({"run", "/nonexistent/s.zel"}).err, "zelctl: cannot open '/nonexistent/s.zel'\n");
  const Outcome demo = Cli({"demo", "--out", ::testing::TempDir() + "zel-demo-none", "--mode",
                            "1600x1200x32", "memory=1M"});
  EXPECT_EQ(demo.status, 1);
  EXPECT_EQ(demo.err,
            "zelctl demo: step 2 (modes) failed: no valid mode of 1600 x 1200 at 32 bits on this "
            "adapter\n");
}

}  // namespace
}  // namespace zelctl
