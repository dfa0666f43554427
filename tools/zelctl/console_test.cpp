// What the example scripts cannot show: misuse (a script stops at its first
// error), the command line, the decoded summary against every valid mode,
// the screenshot's pixels and the demo.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zelctl/cli.h"
#include "tools/zelctl/script.h"

#include <stb/stb_image.h>

namespace zelctl {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Play(const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  const int status = RunScript(in, out, err);
  return {status, out.str(), err.str()};
}

Outcome Cli(std::vector<std::string_view> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = Main(args, in, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// A malformed or misplaced line stops the script with its line number and
// status 2 (1 when the machine failed); lines after it do not run.
TEST(Console, MisuseStopsTheScriptAndNamesTheLine) {
  const struct {
    const char* script;
    int status;
    const char* err;
  } cases[] = {
      {"# comment\n\nSTART\nstart\n", 2, "line 3: unknown command 'START'"},
      {"adapter memory=2\nadapter bus=16\n", 2, "line 2: bus: '16' must be 32 or 64"},
      {"adapter memory=3\n", 2, "line 1: adapter: profile memoryMB = 3: must be 1, 2, 4 or 8"},
      {"adapter colour=red\n", 2, "line 1: adapter: unknown key 'colour'"},
      {"adapter memory=1536K\n", 2, "line 1: memory: '1536K' is not a whole number of megabytes"},
      {"adapter sr04=0\n", 2, "line 1: sr04: not an extended sequencer register (SR06 to SRFF)"},
      {"trace off decoded\n", 2, "line 1: usage: trace on|off, or trace on decoded"},
      {"reg sr 5\n", 2, "line 1: the driver is not loaded yet (no start before this line)"},
      {"start\nadapter memory=2\n", 2, "line 2: adapter: the adapter cannot change after start"},
      {"start\nstart\n", 2, "line 2: start: the driver is already loaded"},
      {"start\nioctl QUERY_MODES\n", 2, "line 2: unknown control code 'QUERY_MODES'"},
      {"start\nioctl 0x230404 out=8 out=8\n", 2, "line 2: ioctl: out= given twice"},
      {"start\nioctl 0x230404 in=012\n", 2, "line 2: in: odd number of hex digits in '012'"},
      {"start\nioctl 0x230404 size=8\n", 2, "line 2: ioctl: unknown argument 'size=8'"},
      {"start\nreg cr 0x19\n", 2, "line 2: index: '0x19' is out of range (at most 0x18)"},
      {"start\nreg xr 1\n", 2, "line 2: reg: unknown register 'xr'"},
      {"start\nv86 out8 0x3c4 0x100\n", 2, "line 2: value: '0x100' is out of range (at most 0xff)"},
      {"start\nv86 in8 0x3c4 5\n", 2,
       "line 2: usage: v86 in8|in16|in32 PORT, or v86 out8|out16|out32 PORT VALUE"},
      {"start\nv86 in64 0x3c4\n", 2, "line 2: v86: unknown access 'in64'"},
      {"start\nv86 read8 0x9ffff\n", 2,
       "line 2: v86: 0x9ffff lies outside the window 0xa0000-0xbffff"},
      {"start\nv86 fill 0xbffff 0102\n", 2,
       "line 2: v86: 0xbffff+2 lies outside the window 0xa0000-0xbffff"},
      {"start\ndac 1_0\n", 2, "line 2: index: '1_0' is not a number"},
      {"start\nvram 0x3ffff0 17\n", 2,
       "line 2: vram: video memory holds 0x400000 bytes: 0x3ffff0+17 lies outside"},
      {"start\nvram 0xffffffff 2\n", 2,
       "line 2: vram: video memory holds 0x400000 bytes: 0xffffffff+2 lies outside"},
      {"start\nplane 4 0 1\n", 2, "line 2: plane: '4' is out of range (at most 0x3)"},
      {"start\nstate-poke 264358 abcd\n", 2,
       "line 2: state-poke: the state buffer holds 0x408a7 bytes: 264358+2 lies outside"},
      {"start\nstate-length 264360\n", 2,
       "line 2: state-length: '264360' is out of range (at most 0x408a7)"},
      {"start\nscreenshot /nonexistent-directory/s.png\n", 1,
       "line 2: screenshot: cannot write '/nonexistent-directory/s.png'"},
      // A foreign vendor ID in the option ROM: the load fails, requests are refused.
      {"adapter romvendor=0x1234\nstart\nmodes\n", 2,
       "line 3: the driver found no adapter at start"},
  };
  for (const auto& c : cases) {
    const Outcome o = Play(c.script);
    EXPECT_EQ(o.status, c.status) << c.script;
    EXPECT_EQ(o.err, std::string("zelctl: ") + c.err + "\n") << c.script;
  }
}

// Help on standard output; wrong usage, a missing file on standard error.
TEST(Console, CommandLine) {
  const Outcome help = Cli({"run", "--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* word :
       {"adapter KEY=VALUE", "trace on decoded", "state-poke", "romvendor=", "srXX="})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  for (const std::vector<std::string_view>& args :
       std::vector<std::vector<std::string_view>>{{}, {"play", "x"}, {"run", "a", "b"}}) {
    const Outcome o = Cli(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err.rfind("usage:", 0), 0u) << o.err;
  }
  EXPECT_EQ(Cli({"run", "/nonexistent/s.zel"}).err, "zelctl: cannot open '/nonexistent/s.zel'\n");
  EXPECT_EQ(Cli({"run", "-"}, "# nothing\nnope\n").err, "zelctl: line 2: unknown command 'nope'\n");
}

// Each valid mode of the default adapter set in turn and read back from the
// registers alone: the monitor gets the row the driver lists. Both text rows
// are mode 03h's 80 x 25 cells of 9 x 16 dots at 70 Hz.
TEST(Console, StateDecodesTheRowOfEveryValidMode) {
  const std::regex row(R"(\s*(\d+)\s+(\d+ x \d+)\s+(\d+)\s+(-|\d+ Hz(?: interlaced)?)\s+(\d+))");
  std::vector<std::string> expected;
  std::string script = "start\n";
  for (const std::string& line : Lines(Play("start\nmodes\n").out)) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    char mode[9];
    std::snprintf(mode, sizeof mode, "%02x000000", std::stoi(m[1]));
    script += std::string("ioctl SET_CURRENT_MODE in=") + mode + "\nstate\n";
    expected.push_back(m[4] == "-"
                           ? "80 x 25 text in 9 x 16 cells (720 x 400), 70 Hz, pitch " + m[5].str()
                           : m[2].str() + ", " + m[3].str() + " bpp *, " + m[4].str() + ", pitch " +
                                 m[5].str());
  }
  ASSERT_EQ(expected.size(), 62u);
  const Outcome run = Play(script);
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> shown;
  for (const std::string& line : Lines(run.out)) {
    if (line.rfind("  mode      ", 0) == 0) shown.push_back(line.substr(12));
  }
  ASSERT_EQ(shown.size(), expected.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    // The pixel format between "bpp" and the comma is not in the mode list.
    const std::string got = std::regex_replace(shown[i], std::regex(" bpp [^,]+,"), " bpp *,");
    EXPECT_EQ(got, expected[i]) << "the " << i << "th valid mode";
  }
}

// The boot text mode drawn from a written cell: the line-graphics block
// fills its ninth column too.
TEST(Console, ScreenshotShowsTheWrittenCell) {
  const std::string path = ::testing::TempDir() + "zelctl_screenshot.png";
  const Outcome o = Play("start\nv86 fill 0xb8000 db4f_204f\nscreenshot " + path + "\n");
  ASSERT_EQ(o.status, 0) << o.err;
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr) << path;
  EXPECT_EQ(width, 720);
  EXPECT_EQ(height, 400);
  const auto pixel = [&](int x, int y) {
    const stbi_uc* p = pixels + (y * width + x) * 3;
    return (p[0] << 16) | (p[1] << 8) | p[2];
  };
  // White block, red space (white on red), black beyond.
  const int expected[][3] = {
      {0, 0, 0xFFFFFF}, {8, 15, 0xFFFFFF}, {9, 0, 0xAA0000}, {17, 15, 0xAA0000}, {18, 0, 0x000000}};
  for (const auto& [x, y, rgb] : expected)
    EXPECT_EQ(pixel(x, y), rgb) << x << ", " << y;
  stbi_image_free(pixels);
  std::remove(path.c_str());
}

// The demo at each depth names the desktop mode as decoded from the
// registers; the line rate is 60 frames of 628 (800 x 600) or 525 lines.
TEST(Console, DemoDecodesTheDesktopModeAtEveryDepth) {
  const struct {
    const char* mode;
    const char* line;
  } cases[] = {
      {"800x600x8", "mode 7 (800 x 600 at 8 bits, 60 Hz, 37.68 kHz to the monitor)"},
      {"640x480x16", "mode 40 (640 x 480 at 16 bits, 60 Hz, 31.50 kHz to the monitor)"},
      {"640x480x32", "(640 x 480 at 32 bits, 60 Hz, 31.50 kHz to the monitor)"},
  };
  for (const auto& c : cases) {
    const std::string dir = ::testing::TempDir() + "zel-demo-" + c.mode;
    const Outcome run = Cli({"demo", "--out", dir, "--mode", c.mode});
    EXPECT_EQ(run.status, kExitOk) << c.mode << run.out << run.err;
    EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("demo passed: 7 steps, "), std::string::npos) << run.out;
  }
  const Outcome failed = Cli({"demo", "--out", ::testing::TempDir() + "zel-demo-none", "--mode",
                              "1600x1200x32", "memory=1M"});
  EXPECT_EQ(failed.status, kExitFailure);
  EXPECT_EQ(failed.err,
            "zelctl demo: step 2 (modes) failed: no valid mode of 1600 x 1200 at 32 bits on this "
            "adapter\n");
  EXPECT_EQ(Cli({"demo", "--mode", "800x600"}).status, kExitMisuse);
}

}  // namespace
}  // namespace zelctl
