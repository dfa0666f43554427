// The 64 x 64 hardware pointer: pattern conversion into the last 2 KB of
// video memory, the colour and position registers, the position query.
// (Refusals and short buffers are in the refusal table.)
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "support/bus.h"
#include "support/driver_session.h"

namespace {

using test::Position;

constexpr ULONG k1024x768x8At43 = 11;  // interlaced
constexpr ULONG k1024x768x8At60 = 12;
constexpr uint32_t kPatternOffset = 0x400000 - 0x800;  // default adapter: 4 MB

// VIDEO_POINTER_ATTRIBUTES, 64 high, 8 bytes a line, then both masks.
std::vector<uint8_t> Shape(uint8_t andFill, uint8_t xorFill, int16_t column = 0, int16_t row = 0,
                           uint32_t enable = 1) {
  std::vector<uint8_t> bytes = test::Bytes(
      VIDEO_POINTER_ATTRIBUTES{VIDEO_MODE_MONO_POINTER, 64, 64, 8, enable, column, row, {}}, 24);
  // The record's length counts its 4-byte pixel field. (Resize and fill: GCC
  // 12 at -O3 misreads an insert after a 24-byte vector as out of bounds.)
  bytes.resize(28 + 1024);
  std::fill(bytes.begin() + 24, bytes.begin() + 24 + 512, andFill);
  std::fill(bytes.begin() + 24 + 512, bytes.begin() + 24 + 1024, xorFill);
  return bytes;
}

std::vector<uint8_t> Pattern(test::DriverSession& s, uint32_t offset = kPatternOffset) {
  const auto vram = s.adapter().Vram();
  return std::vector<uint8_t>(vram.begin() + offset, vram.begin() + offset + 1024);
}

// AND and XOR bit pairs become two-bit codes (AND 1 XOR 0 transparent 0b10,
// 0 1 white 0b01, 1 1 inverted 0b11, 0 0 black), written byte by byte through
// the linear view into the last 2 KB; an interlaced mode gets a second copy.
TEST(Pointer, ShapesConvertToTwoBitCodes) {
  const struct {
    const char* name;
    ULONG mode;
    // the fills, each mask's first byte, then the pattern's first two bytes and the rest
    uint8_t andFill, xorFill, andFirst, xorFirst, pattern0, pattern1, rest;
  } cases[] = {
      {"transparent", k1024x768x8At60, 0xFF, 0x00, 0xFF, 0x00, 0xAA, 0xAA, 0xAA},
      {"white", k1024x768x8At60, 0x00, 0xFF, 0x00, 0xFF, 0x55, 0x55, 0x55},
      {"inverted", k1024x768x8At60, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
      {"black", k1024x768x8At60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
      {"top left corner", k1024x768x8At60, 0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0x00},
      {"two white pixels", k1024x768x8At60, 0xFF, 0x00, 0x3F, 0xC0, 0x5A, 0xAA, 0xAA},
      {"interlaced", k1024x768x8At43, 0xFF, 0x00, 0xFF, 0x00, 0xAA, 0xAA, 0xAA},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::DriverSession s;
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    std::vector<uint8_t> in = Shape(c.andFill, c.xorFill);
    in[24] = c.andFirst;
    in[24 + 512] = c.xorFirst;
    const size_t mark = s.Mark();
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR, in).status, NO_ERROR);
    std::vector<uint8_t> expected(1024, c.rest);
    expected[0] = c.pattern0;
    expected[1] = c.pattern1;
    EXPECT_TRUE(test::BytesAre(Pattern(s), expected));
    const bool interlaced = c.mode == k1024x768x8At43;
    if (interlaced) {
      EXPECT_TRUE(test::BytesAre(Pattern(s, kPatternOffset + 1024), expected));
    }
    size_t writes = 0;
    for (const sim::TraceEntry& e : s.Since(mark)) {
      if (e.kind != sim::AccessKind::MemWrite) continue;
      EXPECT_EQ(e.address, 0xE0000000u);
      EXPECT_EQ(e.offset, kPatternOffset + writes);
      ++writes;
    }
    EXPECT_EQ(writes, interlaced ? 2048u : 1024u);
  }
}

// The shape and both colours (SR14-SR16 black, SR17-SR19 white, each
// register preset to something else first) are loaded either way; Enable
// says whether the pointer is shown. Enable and disable leave the sequencer
// index at SR06. The shape record's position is not the one the query gives.
TEST(Pointer, MonoShapeSetsColoursAndShowsThePointerWhenEnabled) {
  test::DriverSession s;
  ASSERT_EQ(s.SetMode(k1024x768x8At60), NO_ERROR);
  for (const uint8_t enable : {1, 0}) {
    SCOPED_TRACE(::testing::Message() << "Enable " << int(enable));
    ASSERT_EQ(s.Request(IOCTL_VIDEO_DISABLE_POINTER, {}).status, NO_ERROR);
    for (uint8_t i = 0x14; i <= 0x19; ++i)
      s.adapter().Out16(0x3C4, static_cast<uint16_t>(0x5A00 | i));
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR, Shape(0xFF, 0x00, 200, 100, enable)).status,
              NO_ERROR);
    sim::Adapter& a = s.adapter();
    EXPECT_EQ(
        std::tuple(a.Seq(0x14), a.Seq(0x15), a.Seq(0x16), a.Seq(0x17), a.Seq(0x18), a.Seq(0x19)),
        std::tuple(0, 0, 0, 0xFF, 0xFF, 0xFF));
    EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, enable ? 0x40 : 0x00);
  }
  for (const auto& [code, shown] : {std::pair{IOCTL_VIDEO_ENABLE_POINTER, 0x40},
                                    std::pair{IOCTL_VIDEO_DISABLE_POINTER, 0x00}}) {
    EXPECT_EQ(s.Request(code, {}).status, NO_ERROR);
    EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, shown);
    EXPECT_EQ(s.adapter().WholeState().seqIndex, 0x06);
  }
  EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 4).status, NO_ERROR);
  EXPECT_EQ(s.Output(), Position(0, 0));
  // The capabilities: asynchronous, mono, 64 x 64.
  EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, {}, 20).information, 20u);
  EXPECT_TRUE(test::BytesAre(s.Output(), test::Bytes(VIDEO_POINTER_CAPABILITIES{3, 64, 64, 0, 0})));
}

// SR1A/SR1B the column, SR1C/SR1D the row (halved when interlaced), SR1E
// the pattern block, SR1F the hidden rows above the screen (odd rows of an
// interlaced mode in bit 0); the query gives the position back as set.
TEST(Pointer, PositionRegisters) {
  const struct {
    ULONG mode;
    int16_t x, y;
    uint8_t sr1a, sr1b, sr1c, sr1d, sr1e, sr1f;
  } cases[] = {
      {k1024x768x8At60, -5, 10, 0x00, 0x00, 0x05, 0x0A, 0xE0, 0x00},  // left of the screen
      {k1024x768x8At60, 1300, -20, 0x14, 0x05, 0x00, 0x00, 0xE0, 0x14},
      {k1024x768x8At60, 0, -40, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x08},  // five bits of hidden rows
      {k1024x768x8At43, 100, 101, 0x64, 0x00, 0x00, 0x32, 0xE0, 0x00},
      {k1024x768x8At43, 0, -1, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " (" << c.x << ", " << c.y << ")");
    test::DriverSession s;
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_POSITION, Position(c.x, c.y)).status, NO_ERROR);
    sim::Adapter& a = s.adapter();
    EXPECT_EQ(
        std::tuple(a.Seq(0x1A), a.Seq(0x1B), a.Seq(0x1C), a.Seq(0x1D), a.Seq(0x1E), a.Seq(0x1F)),
        std::tuple(c.sr1a, c.sr1b, c.sr1c, c.sr1d, c.sr1e, c.sr1f));
    EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 4).information, 4u);
    EXPECT_EQ(s.Output(), Position(c.x, c.y));
  }
}

}  // namespace
