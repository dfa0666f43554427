// Scripts played on the simulated machine with the driver loaded: what the
// console prints for requests, sessions, inspection and misuse.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/zelctl/test_support.h"

namespace zelctl {
namespace {

using testing::Outcome;
using testing::Play;

constexpr const char* kDefaultRegistry =
    "HardwareInformation.ChipType = \"Zel B1\" (14 bytes)\n"
    "HardwareInformation.DacType = \"Zel\" (8 bytes)\n"
    "HardwareInformation.MemorySize = 0x00400000 (4 bytes)\n"
    "HardwareInformation.AdapterString = \"Zel Compatible\" (30 bytes)\n";

TEST(EndToEnd, DefaultAdapterLoadsAndReportsItsHardware) {
  const Outcome o = Play("start\nregistry\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, std::string("start status=0\n") + kDefaultRegistry);
}

TEST(EndToEnd, AdapterKeysReachTheDriver) {
  const Outcome o = Play("adapter revision=0x09 memory=2M\nstart\nregistry\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "HardwareInformation.ChipType = \"Zel A1\" (14 bytes)\n"
            "HardwareInformation.DacType = \"Zel\" (8 bytes)\n"
            "HardwareInformation.MemorySize = 0x00200000 (4 bytes)\n"
            "HardwareInformation.AdapterString = \"Zel Compatible\" (30 bytes)\n");
}

struct RequestCase {
  const char* line;
  const char* printed;
};

// One request after start on the default adapter (62 valid modes).
TEST(EndToEnd, RequestsPrintStatusInformationAndTheWholeOutputBuffer) {
  const RequestCase cases[] = {
      {"ioctl QUERY_NUM_AVAIL_MODES out=8", "status=0 info=8 out=3e00000050000000"},
      {"ioctl IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES out=7", "status=122 info=8 out=cccccccccccccc"},
      // Share with a 15-byte input: refused before Information is written.
      {"ioctl SHARE_VIDEO_MEMORY in=00000000_00000000_00000000_000000 out=12",
       "status=122 info=0 out=cccccccccccccccccccccccc"},
      {"ioctl FREE_PUBLIC_ACCESS_RANGES in=00000000_000000", "status=122 info=0"},
      {"ioctl QUERY_PUBLIC_ACCESS_RANGES out=23",
       "status=122 info=24 out=cccccccccccccccccccccccccccccccccccccccccccccc"},
      {"ioctl QUERY_NUM_AVAIL_MODES out=0", "status=122 info=8 out="},
      // Codes the driver does not serve.
      {"ioctl ENABLE_CURSOR", "status=1 info=0"},
      {"ioctl 0x230444 in=0102 out=4", "status=1 info=0 out=cccccccc"},
      // One buffer for both directions: input first, then 0xcc up to the
      // larger length; the output shows all of it.
      {"ioctl ENABLE_CURSOR in=0102 out=4 same", "status=1 info=0 out=0102cccc"},
      {"ioctl ENABLE_CURSOR in=01020304 out=2 same", "status=1 info=0 out=01020304"},
      {"ioctl QUERY_NUM_AVAIL_MODES in=1122 out=8 same", "status=0 info=8 out=3e00000050000000"},
      {"ioctl QUERY_NUM_AVAIL_MODES in=11223344_55667788_99 out=8 same",
       "status=0 info=8 out=3e0000005000000099"},
      {"ioctl ENABLE_VDM", "status=0 info=0"},
  };
  for (const RequestCase& c : cases) {
    const Outcome o = Play(std::string("start\n") + c.line + "\n");
    EXPECT_EQ(o.status, 0) << c.line << ": " << o.err;
    EXPECT_EQ(o.out, std::string("start status=0\n") + c.printed + "\n") << c.line;
  }
}

TEST(EndToEnd, SmallAdapterListsItsTwentyFiveModes) {
  const Outcome o = Play("adapter memory=1 bus=32\nstart\nmodes\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "mode  resolution    bpp  refresh           stride\n"
            "   0  720 x 400       4  -                    160\n"
            "   1  640 x 350       4  -                    160\n"
            "   2  640 x 480       8  60 Hz               1024\n"
            "   3  640 x 480       8  72 Hz               1024\n"
            "   4  640 x 480       8  75 Hz               1024\n"
            "   5  640 x 480       8  85 Hz               1024\n"
            "   6  800 x 600       8  56 Hz               1024\n"
            "   7  800 x 600       8  60 Hz               1024\n"
            "   8  800 x 600       8  72 Hz               1024\n"
            "   9  800 x 600       8  75 Hz               1024\n"
            "  10  800 x 600       8  85 Hz               1024\n"
            "  11  1024 x 768      8  43 Hz interlaced    1024\n"
            "  12  1024 x 768      8  60 Hz               1024\n"
            "  13  1024 x 768      8  70 Hz               1024\n"
            "  14  1024 x 768      8  75 Hz               1024\n"
            "  15  1024 x 768      8  85 Hz               1024\n"
            "  40  640 x 480      16  60 Hz               1280\n"
            "  41  640 x 480      16  72 Hz               1280\n"
            "  42  640 x 480      16  75 Hz               1280\n"
            "  43  640 x 480      16  85 Hz               1280\n"
            "  44  800 x 600      16  56 Hz               1600\n"
            "  45  800 x 600      16  60 Hz               1600\n"
            "  46  800 x 600      16  72 Hz               1600\n"
            "  47  800 x 600      16  75 Hz               1600\n"
            "  48  800 x 600      16  85 Hz               1600\n");
}

TEST(EndToEnd, TraceShowsTheSessionsResetBurstAsItHappens) {
  const Outcome o = Play(
      "start\n"
      "ioctl ENABLE_VDM\n"
      "trace on\n"
      "v86 out8 0x3c4 0x00\n"
      "v86 out8 0x3c5 0x01\n"  // reset begins: recorded from here
      "v86 out8 0x3c4 0x01\n"
      "v86 out8 0x3c5 0x21\n"
      "v86 out8 0x3c2 0x6f\n"
      "v86 out8 0x3c4 0x00\n"
      "v86 out8 0x3c5 0x03\n"  // reset ends: the burst
      "v86 in8 0x3cc\n"        // untrapped: its trace line before its result
      "trace off\n"
      "v86 out8 0x3c4 0x01\n"  // not traced any more
      "reg sr 1\n"
      "reg misc\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "status=0 info=0\n"
            "io out8 0x3c4 0x00\n"
            "io in8 0x3c4 0x00\n"
            "traps 2\n"
            "io out8 0x3c5 0x01\n"
            "io out8 0x3c4 0x01\n"
            "io out8 0x3c5 0x21\n"
            "io out8 0x3c2 0x67\n"
            "io out8 0x3c4 0x00\n"
            "io out8 0x3c5 0x03\n"
            "io out16 0x3c4 0x0300\n"
            "io out8 0x3c4 0x00\n"
            "traps 4\n"
            "io in8 0x3cc 0x67\n"
            "value=0x67\n"
            "0x21\n"
            "0x67\n");
}

TEST(EndToEnd, TraceOnBeforeStartShowsTheLoad) {
  const Outcome o = Play("trace on\nstart\n");
  EXPECT_EQ(o.status, 0) << o.err;
  // Identification begins by unlocking the extended registers.
  EXPECT_NE(o.out.find("io out16 0x3c4 0x8605\n"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.substr(o.out.size() - 15), "start status=0\n");
}

TEST(EndToEnd, SessionReadsPrintAtTheirAccessSize) {
  const Outcome o = Play(
      "start\n"
      "ioctl ENABLE_VDM\n"
      "v86 out8 0x3c6 0xff\n"
      "v86 out8 0x3c8 5\n"
      "v86 out8 0x3c9 0x3f\n"
      "v86 out8 0x3c9 0x20\n"
      "v86 out8 0x3c9 0x01\n"
      "v86 out8 0x3c4 0x05\n"
      "v86 in8 0x3c5\n"  // SR05 after the unlock
      "v86 in16 0x3c4\n"
      "v86 in32 0x3c4\n"  // index, SR05, pixel mask, DAC state (write mode)
      "dac 5\n"
      "reg pel\n"
      "reg sr 0\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "status=0 info=0\n"
            "value=0xa1\n"
            "value=0xa105\n"
            "value=0x00ffa105\n"
            "0x3f 0x20 0x01\n"
            "0xff\n"
            "0x03\n");
}

TEST(EndToEnd, MemoryRunsStayInsideVideoMemory) {
  // 4 MB: 0x400000 bytes, 0x100000 per plane.
  const char* inside[] = {"vram 0x3ffff0 16", "vram 4M 0", "plane 3 0xffff0 16", "plane 0 1M 0"};
  for (const char* line : inside) {
    const Outcome o = Play(std::string("start\n") + line + "\n");
    EXPECT_EQ(o.status, 0) << line << ": " << o.err;
  }
  // Plane 1 holds the attributes of the text screen the machine booted with.
  const Outcome run = Play("start\nvram 0x3ffff0 4\nplane 1 0 3\n");
  EXPECT_EQ(run.out, "start status=0\n00000000\n070007\n");

  const char* outside[] = {"vram 0x3ffff0 17", "vram 0x400001 0", "plane 3 0xffff0 17",
                           "plane 4 0 1", "vram 0xffffffff 2"};
  for (const char* line : outside) {
    const Outcome o = Play(std::string("start\n") + line + "\n");
    EXPECT_EQ(o.status, 2) << line;
    EXPECT_EQ(o.err.rfind("zelctl: line 2: ", 0), 0u) << line << ": " << o.err;
  }
}

TEST(EndToEnd, MisuseAfterStartNamesTheLine) {
  struct ErrorCase {
    const char* script;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"start\nadapter memory=2\n",
       "zelctl: line 2: adapter: the adapter cannot change after start\n"},
      {"start\n\nstart\n", "zelctl: line 3: start: the driver is already loaded\n"},
      {"start\nreg cr 0x19\n", "zelctl: line 2: index: '0x19' is out of range (at most 0x18)\n"},
      {"start\nv86 out8 0x3c4 0x100\n",
       "zelctl: line 2: value: '0x100' is out of range (at most 0xff)\n"},
      {"start\nv86 in8 0x10000\n",
       "zelctl: line 2: port: '0x10000' is out of range (at most 0xffff)\n"},
      {"start\nv86 in8 0x3c4 5\n",
       "zelctl: line 2: usage: v86 in8|in16|in32 PORT, or v86 out8|out16|out32 PORT VALUE\n"},
      {"start\ndac 256\n", "zelctl: line 2: index: '256' is out of range (at most 0xff)\n"},
  };
  for (const ErrorCase& c : cases) {
    const Outcome o = Play(c.script);
    EXPECT_EQ(o.status, 2) << c.script;
    EXPECT_EQ(o.err, c.message) << c.script;
  }
}

TEST(EndToEnd, AnAdapterTheDriverRefusesStillStartsButTakesNoRequests) {
  // A foreign vendor ID in the option ROM: find-adapter fails.
  const Outcome o = Play("adapter romvendor=0x1234\nstart\nregistry\nreg sr 0x05\nmodes\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out.rfind("start status=", 0), 0u) << o.out;
  EXPECT_NE(o.out.rfind("start status=0\n", 0), 0u) << o.out;
  EXPECT_EQ(o.err, "zelctl: line 5: the driver found no adapter at start\n");
}

TEST(EndToEnd, ExamplesRunToTheirEnd) {
  for (const char* name : {"first_look.zel", "small_adapter.zel", "decoded.zel"}) {
    std::ifstream file(std::string(ZELCTL_EXAMPLES_DIR) + "/" + name);
    ASSERT_TRUE(file) << name;
    std::stringstream script;
    script << file.rdbuf();
    const Outcome o = Play(script.str());
    EXPECT_EQ(o.status, 0) << name << ": " << o.err;
    EXPECT_EQ(o.err, "") << name;
    EXPECT_EQ(o.out.rfind("start status=0\n", 0), 0u) << name;
  }
}

}  // namespace
}  // namespace zelctl
