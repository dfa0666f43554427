// The attribute controller palette and the DAC colour lookup table.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/driver_session.h"

namespace {

using sim::io::In8;
using sim::io::Out8;
using test::Put16;

std::vector<uint8_t> Palette(uint16_t count, uint16_t first, size_t length,
                             uint16_t colorBase = 0x10) {
  std::vector<uint8_t> bytes;
  Put16(bytes, count);
  Put16(bytes, first);
  while (bytes.size() + 2 <= length)
    Put16(bytes, static_cast<uint16_t>(colorBase + (bytes.size() - 4) / 2));
  bytes.resize(length, 0);
  return bytes;
}

std::vector<uint8_t> Clut(uint16_t count, uint16_t first, size_t length) {
  std::vector<uint8_t> bytes;
  Put16(bytes, count);
  Put16(bytes, first);
  for (uint8_t i = 0; bytes.size() < length; ++i) {
    const uint8_t entry[] = {static_cast<uint8_t>(0x01 + i), static_cast<uint8_t>(0x11 + i),
                             static_cast<uint8_t>(0x21 + i), 0x3F};
    bytes.insert(bytes.end(), entry, entry + 4);
  }
  bytes.resize(length);
  return bytes;
}

// Colour and mono addressing (misc output bit 0), with the attribute
// flip-flop left in the data state: the status port of the addressing in
// force puts it back in the index state.
struct Addressing {
  uint8_t misc;
  uint16_t status;
};
const Addressing kAddressing[] = {{0x67, 0x3DA}, {0x66, 0x3BA}};

TEST(Palette, SixteenRegistersThenThePaletteBackToTheDisplay) {
  for (const Addressing& c : kAddressing) {
    SCOPED_TRACE(::testing::Message() << "status port " << std::hex << c.status);
    test::DriverSession s;
    s.adapter().Out8(0x3C2, c.misc);
    s.adapter().In8(c.status);
    s.adapter().Out8(0x3C0, 0x11);  // an index: the next write would be data
    std::vector<uint8_t> in;
    Put16(in, 16);
    Put16(in, 0);
    for (uint16_t i = 0; i < 16; ++i)
      Put16(in, static_cast<uint16_t>(0x0100 | (0x30 + i)));
    ASSERT_EQ(in.size(), 36u);
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_PALETTE_REGISTERS, in).status, NO_ERROR);

    std::vector<sim::TraceEntry> expected = {In8(0x3CC, c.misc), In8(c.status, 0)};
    for (uint8_t i = 0; i < 16; ++i) {
      expected.push_back(Out8(0x3C0, i));
      expected.push_back(Out8(0x3C0, static_cast<uint8_t>(0x30 + i)));  // 0x013x: low byte only
    }
    expected.push_back(Out8(0x3C0, 0x20));
    std::vector<sim::TraceEntry> actual = s.Since(mark);
    if (actual.size() > 1) expected[1].value = actual[1].value;  // the status is the adapter's
    const std::string mismatch = sim::CompareTraces(expected, actual);
    EXPECT_TRUE(mismatch.empty()) << mismatch;
    for (uint8_t i = 0; i < 16; ++i)
      EXPECT_EQ(s.adapter().Attr(i), 0x30 + i) << "AR" << int(i);
  }
}

TEST(Palette, RunEndingAtTheLastRegisterIsAccepted) {
  test::DriverSession s;
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_PALETTE_REGISTERS, Palette(1, 15, 6, 0x3F)).status, NO_ERROR);
  EXPECT_EQ(s.adapter().Attr(15), 0x3F);
}

struct Refusal {
  const char* name;
  ULONG code;
  std::vector<uint8_t> input;
  VP_STATUS status;
};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, TouchNothing) {
  test::DriverSession s;
  const size_t mark = s.Mark();
  EXPECT_EQ(s.Request(GetParam().code, GetParam().input).status, GetParam().status);
  EXPECT_TRUE(s.Since(mark).empty()) << sim::Format(s.Since(mark).front());
}

INSTANTIATE_TEST_SUITE_P(
    ColourRequests, Refusals,
    ::testing::Values(Refusal{"PaletteOfFiveBytes", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(0, 0, 5), ERROR_INSUFFICIENT_BUFFER},
                      Refusal{"PaletteOfNoEntries", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(0, 0, 6), ERROR_INVALID_PARAMETER},
                      Refusal{"PalettePastSixteen", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(16, 1, 36), ERROR_INVALID_PARAMETER},
                      Refusal{"PaletteFirstEntryAbove255", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(1, 256, 6), ERROR_INVALID_PARAMETER},
                      Refusal{"PaletteColoursBeyondTheBuffer", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(2, 0, 7), ERROR_INSUFFICIENT_BUFFER},
                      // Both short and out of range: the size is tested first.
                      Refusal{"PaletteSizeBeforeRange", IOCTL_VIDEO_SET_PALETTE_REGISTERS,
                              Palette(3, 300, 8), ERROR_INSUFFICIENT_BUFFER},
                      Refusal{"ClutOfThreeBytes", IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(0, 0, 3),
                              ERROR_INSUFFICIENT_BUFFER},
                      Refusal{"ClutPast256", IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(2, 255, 12),
                              ERROR_INVALID_PARAMETER},
                      Refusal{"ClutEntriesBeyondTheBuffer", IOCTL_VIDEO_SET_COLOR_REGISTERS,
                              Clut(2, 0, 8), ERROR_INSUFFICIENT_BUFFER},
                      Refusal{"ClutOfNoEntries", IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(0, 0, 8),
                              ERROR_INVALID_PARAMETER},
                      Refusal{"ClutFirstEntryAbove255", IOCTL_VIDEO_SET_COLOR_REGISTERS,
                              Clut(1, 256, 8), ERROR_INVALID_PARAMETER},
                      Refusal{"ClutSizeBeforeRange", IOCTL_VIDEO_SET_COLOR_REGISTERS,
                              Clut(4, 300, 12), ERROR_INSUFFICIENT_BUFFER}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// Each entry waits for a fresh blanking interval, then goes out as one run of
// three bytes to the DAC data port.
// The blanking waits read the status port of the addressing in force; the
// other one reads 0xFF and would never show the edge.
TEST(ColorLookup, LastEntryIsLoadedAfterABlankingEdge) {
  for (const Addressing& c : kAddressing) {
    SCOPED_TRACE(::testing::Message() << "status port " << std::hex << c.status);
    test::DriverSession s;
    s.adapter().Out8(0x3C2, c.misc);
    const size_t mark = s.Mark();
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(1, 255, 8)).status, NO_ERROR);
    EXPECT_TRUE(s.adapter().Dac(255) == (sim::Rgb{0x01, 0x11, 0x21}));

    const std::vector<sim::TraceEntry> accesses = s.Since(mark);
    ASSERT_GE(accesses.size(), 6u);
    EXPECT_EQ(accesses[0], In8(0x3CC, c.misc));
    EXPECT_EQ(accesses[1], Out8(0x3C8, 0xFF));
    // A blanking edge within a frame: its status reads, then the data.
    EXPECT_LE(accesses.size(), 2 + 2 * 64 + 3u);
    const size_t data = accesses.size() - 3;
    EXPECT_EQ(accesses[data], Out8(0x3C9, 0x01));
    EXPECT_EQ(accesses[data + 1], Out8(0x3C9, 0x11));
    EXPECT_EQ(accesses[data + 2], Out8(0x3C9, 0x21));
    // The last status read before the data saw bit 0 set, the one before it clear.
    EXPECT_EQ(accesses[data - 1].address, c.status);
    EXPECT_EQ(accesses[data - 1].value & 0x01, 0x01u);
    EXPECT_EQ(accesses[data - 2].address, c.status);
    EXPECT_EQ(accesses[data - 2].value & 0x01, 0x00u);
  }
}

TEST(ColorLookup, WholeTableFromEntryZero) {
  test::DriverSession s;
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(256, 0, 4 + 256 * 4)).status, NO_ERROR);
  EXPECT_TRUE(s.adapter().Dac(0) == (sim::Rgb{0x01, 0x11, 0x21}));
  // Entry i carries 0x01 + i, 0x11 + i, 0x21 + i; the DAC keeps six bits.
  EXPECT_TRUE(s.adapter().Dac(0x20) == (sim::Rgb{0x21, 0x31, 0x01}));
}

TEST(ColorLookup, StuckBlankingBitDoesNotHang) {
  for (const uint8_t stuck : {uint8_t{0x01}, uint8_t{0x00}}) {
    test::DriverSession s;
    s.adapter().StickStatusBits(0x01, stuck);
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(2, 10, 12)).status, NO_ERROR);
    const std::vector<sim::TraceEntry> accesses = s.Since(mark);
    const auto reads = std::count_if(accesses.begin(), accesses.end(), [](const auto& e) {
      return e.kind == sim::AccessKind::In && e.address == 0x3DA;
    });
    EXPECT_LE(reads, 2 * 2 * (0x10000 + 1)) << "stuck at " << int(stuck);
    EXPECT_TRUE(s.adapter().Dac(11) == (sim::Rgb{0x02, 0x12, 0x22}));
  }
}

}  // namespace
