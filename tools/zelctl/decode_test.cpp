// The adapter decoded: `state` after every mode set against the mode's row,
// and `trace on decoded` on a mode set and a session's window writes.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zelctl/test_support.h"

namespace zelctl {
namespace {

using testing::Outcome;
using testing::Play;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Each valid mode of the default adapter set in turn and read back from the
// registers alone: the monitor gets the row the driver lists (resolution,
// bits per pixel, refresh rate, pitch). The text rows are 80 x 25 cells of
// mode 03h, which the BIOS sets up as 720 x 400 dots for both of them.
TEST(State, TheMonitorGetsTheRowOfEveryValidMode) {
  const Outcome listed = Play("start\nmodes\n");
  ASSERT_EQ(listed.status, 0) << listed.err;
  const std::regex row(R"(\s*(\d+)\s+(\d+) x (\d+)\s+(\d+)\s+(-|\d+ Hz( interlaced)?)\s+(\d+))");
  std::vector<std::smatch> rows;
  std::string script = "start\n";
  const std::vector<std::string> table = Lines(listed.out);
  for (const std::string& line : table) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    char request[9];
    std::snprintf(request, sizeof request, "%02x000000", std::stoi(m[1]));
    script += std::string("ioctl SET_CURRENT_MODE in=") + request + "\nstate\n";
    rows.push_back(m);
  }
  ASSERT_EQ(rows.size(), 62u) << listed.out;

  const Outcome run = Play(script);
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> shown;
  for (const std::string& line : Lines(run.out)) {
    if (line.rfind("  mode      ", 0) == 0) shown.push_back(line.substr(12));
  }
  ASSERT_EQ(shown.size(), rows.size());
  const std::regex graphics(
      R"((\d+) x (\d+), (\d+) bpp [^,]+, (\d+ Hz( interlaced)?), pitch (\d+))");
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::smatch& r = rows[i];
    const std::string mode = "mode " + r[1].str() + ": ";
    if (r[5] == "-") {
      EXPECT_EQ(shown[i], "80 x 25 text in 9 x 16 cells (720 x 400), 70 Hz, pitch " + r[7].str())
          << mode;
      continue;
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(shown[i], m, graphics)) << mode << shown[i];
    EXPECT_EQ(m[1], r[2]) << mode << "width";
    EXPECT_EQ(m[2], r[3]) << mode << "height";
    EXPECT_EQ(m[3], r[4]) << mode << "bits per pixel";
    EXPECT_EQ(m[4], r[5]) << mode << "refresh";
    EXPECT_EQ(m[6], r[7]) << mode << "pitch";
  }
}

TEST(DecodedTrace, JoinsPairsFoldsPollsAndSummarisesWindowRuns) {
  const Outcome o = Play(
      "start\n"
      "trace on decoded\n"
      "ioctl SET_CURRENT_MODE in=02000000\n"  // 640 x 480 at 8 bits, 60 Hz
      "ioctl ENABLE_VDM\n"
      "ioctl RESET_DEVICE\n"
      "v86 fill 0xb8000 48074807480748074807480748074807\n"
      "trace off\n");
  ASSERT_EQ(o.status, 0) << o.err;
  // From the mode set: the wait for a retrace before SR35 changes, the BIOS
  // call, the read-modify-write of SR3E bit 0, the 640-wide pitch stream,
  // the unlock and the aperture.
  const char* modeSet =
      "io out8 0x3c4 0x35, in8 0x3c5 0x00  ; SR35 -> 0x00\n"
      "io in8 0x3cc 0x67  ; MISC -> 0x67\n"
      "io in8 0x3da x55  ; 3DA polled 55 times until retrace\n"
      "io out8 0x3c4 0x35, out8 0x3c5 0x20  ; SR35 := 0x20 (mode change on)\n"
      "bios int10 eax=0x0000002e status=0  ; INT 10h set mode 0x2e\n"
      "io out8 0x3c4 0x3e, in8 0x3c5 0x00, out8 0x3c5 0x00  ; SR3E 0x00 := 0x00 (pointer block bit "
      "4 "
      "0, Marten bit 0 off)\n"
      "io out16 0x3d4 0x8013  ; CR13 := 0x80 (offset 128)\n"
      "io out16 0x3c4 0x8605  ; SR05 := 0x86 (extended registers unlocked)\n"
      "io out16 0x3c4 0x0020  ; SR20 := 0x00 (aperture base bits 26-19 0x00)\n"
      "io out16 0x3c4 0x7c21  ; SR21 := 0x7c (aperture for less than 8 MB, aperture base bits "
      "31-27 0x1c)\n"
      "io out8 0x3c4 0x06, in8 0x3c5 0x00, out8 0x3c5 0x80  ; SR06 0x00 := 0x80 (linear aperture "
      "on, pointer off)\n";
  EXPECT_NE(o.out.find(modeSet), std::string::npos) << o.out;
  // The text mode's blink bit, through the attribute flip-flop.
  const char* blink =
      "io in8 0x3da 0x09  ; 3DA -> 0x09 (vertical retrace; attribute flip-flop to index)\n"
      "io out8 0x3c0 0x30, out8 0x3c0 0x04  ; AR10 := 0x04 (text, colour bits 5-4 from AR14 off, "
      "8-bit colour off, blink off, line graphics on)\n";
  EXPECT_NE(o.out.find(blink), std::string::npos) << o.out;
  // 16 bytes at 0xb8000; the digest is 32-bit FNV-1a of them.
  EXPECT_NE(
      o.out.find("mem write8 0xa0000+0x18000..0x1800f x16  ; window 0xa0000+0x18000: 16 bytes "
                 "written, digest 0xaab1bee5\n"),
      std::string::npos)
      << o.out;
}

}  // namespace
}  // namespace zelctl
