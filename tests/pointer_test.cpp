// The 64 x 64 hardware pointer: pattern conversion into the last 2 KB of
// video memory, the position registers, and the refusals.
#include <gtest/gtest.h>

#include <vector>

#include "support/driver_session.h"

namespace {

using test::Position;
using test::Put16;
using test::Put32;

constexpr ULONG kTextMode = 0;
constexpr ULONG k1024x768x8At43 = 11;  // interlaced
constexpr ULONG k1024x768x8At60 = 12;
constexpr uint32_t kPatternOffset = 0x400000 - 0x800;  // default adapter: 4 MB

std::vector<uint8_t> PointerAttributes(uint32_t flags, uint32_t width, int16_t column, int16_t row,
                                       uint8_t andFill, uint8_t xorFill,
                                       size_t length = 28 + 1024) {
  std::vector<uint8_t> bytes;
  Put32(bytes, flags);
  Put32(bytes, width);  // Width
  Put32(bytes, 64);     // Height
  Put32(bytes, 8);      // WidthInBytes
  Put32(bytes, 1);      // Enable
  Put16(bytes, static_cast<uint16_t>(column));
  Put16(bytes, static_cast<uint16_t>(row));
  bytes.insert(bytes.end(), 512, andFill);
  bytes.insert(bytes.end(), 512, xorFill);
  bytes.resize(length, 0);
  return bytes;
}

class Pointer : public ::testing::Test {
 protected:
  void SetMode(ULONG mode) { ASSERT_EQ(s.SetMode(mode), NO_ERROR); }
  std::vector<uint8_t> Pattern(uint32_t offset = kPatternOffset) {
    const auto vram = s.adapter().Vram();
    return std::vector<uint8_t>(vram.begin() + offset, vram.begin() + offset + 1024);
  }
  test::DriverSession s;
};

struct ShapeCase {
  const char* name;
  uint8_t andFill, xorFill;
  uint8_t andFirst, xorFirst;  // the first byte of each mask
  uint8_t pattern0, pattern1, rest;
};

class PointerShapes : public Pointer, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(PointerShapes, ConvertToTwoBitCodes) {
  const ShapeCase& c = GetParam();
  SetMode(k1024x768x8At60);
  std::vector<uint8_t> in =
      PointerAttributes(VIDEO_MODE_MONO_POINTER, 64, 0, 0, c.andFill, c.xorFill);
  in[24] = c.andFirst;
  in[24 + 512] = c.xorFirst;
  const size_t mark = s.Mark();
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR, in).status, NO_ERROR);
  const std::vector<uint8_t> pattern = Pattern();
  EXPECT_EQ(pattern[0], c.pattern0);
  EXPECT_EQ(pattern[1], c.pattern1);
  for (size_t i = 2; i < pattern.size(); ++i)
    ASSERT_EQ(pattern[i], c.rest) << "byte " << i;
  // Written byte by byte through the linear frame-buffer view.
  size_t writes = 0;
  for (const sim::TraceEntry& e : s.Since(mark)) {
    if (e.kind != sim::AccessKind::MemWrite) continue;
    EXPECT_EQ(e.address, 0xE0000000u);
    EXPECT_EQ(e.offset, kPatternOffset + writes);
    ++writes;
  }
  EXPECT_EQ(writes, 1024u);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, PointerShapes,
    ::testing::Values(ShapeCase{"Transparent", 0xFF, 0x00, 0xFF, 0x00, 0xAA, 0xAA, 0xAA},
                      ShapeCase{"White", 0x00, 0xFF, 0x00, 0xFF, 0x55, 0x55, 0x55},
                      ShapeCase{"Inverted", 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                      ShapeCase{"Black", 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                      ShapeCase{"TopLeftCorner", 0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0x00},
                      ShapeCase{"TwoWhitePixels", 0xFF, 0x00, 0x3F, 0xC0, 0x5A, 0xAA, 0xAA}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST_F(Pointer, InterlacedModesGetASecondCopy) {
  SetMode(k1024x768x8At43);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR,
                      PointerAttributes(VIDEO_MODE_MONO_POINTER, 64, 0, 0, 0xFF, 0x00))
                .status,
            NO_ERROR);
  EXPECT_EQ(Pattern(kPatternOffset), std::vector<uint8_t>(1024, 0xAA));
  EXPECT_EQ(Pattern(kPatternOffset + 1024), std::vector<uint8_t>(1024, 0xAA));
}

// The shape and colours are loaded either way; Enable says whether the
// pointer is shown.
TEST_F(Pointer, MonoShapeSetsColoursAndShowsThePointerWhenEnabled) {
  SetMode(k1024x768x8At60);
  for (const uint8_t enable : {1, 0}) {
    SCOPED_TRACE(::testing::Message() << "Enable " << int(enable));
    ASSERT_EQ(s.Request(IOCTL_VIDEO_DISABLE_POINTER, {}).status, NO_ERROR);
    std::vector<uint8_t> in = PointerAttributes(VIDEO_MODE_MONO_POINTER, 32, 0, 0, 0xFF, 0x00);
    in[16] = enable;
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR, in).status, NO_ERROR);
    const uint8_t colours[] = {0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
    for (uint8_t i = 0; i < 6; ++i)
      EXPECT_EQ(s.adapter().Seq(0x14 + i), colours[i]);
    EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, enable ? 0x40 : 0x00);
  }
}

struct PositionCase {
  const char* name;
  ULONG mode;
  int16_t x, y;
  uint8_t sr1a, sr1b, sr1c, sr1d, sr1e, sr1f;
};

class PointerPositions : public Pointer, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(PointerPositions, Registers) {
  const PositionCase& c = GetParam();
  SetMode(c.mode);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_POSITION, Position(c.x, c.y)).status, NO_ERROR);
  const uint8_t expected[] = {c.sr1a, c.sr1b, c.sr1c, c.sr1d, c.sr1e, c.sr1f};
  for (uint8_t i = 0; i < 6; ++i) {
    EXPECT_EQ(s.adapter().Seq(0x1A + i), expected[i]) << "SR" << std::hex << (0x1A + i);
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, PointerPositions,
                         ::testing::Values(PositionCase{"LeftOfTheScreen", k1024x768x8At60, -5, 10,
                                                        0x00, 0x00, 0x05, 0x0A, 0xE0, 0x00},
                                           PositionCase{"BeyondTwelveHundredAndAbove",
                                                        k1024x768x8At60, 1300, -20, 0x14, 0x05,
                                                        0x00, 0x00, 0xE0, 0x14},
                                           PositionCase{"HiddenRowsKeepFiveBits", k1024x768x8At60,
                                                        0, -40, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x08},
                                           PositionCase{"OddRowInterlaced", k1024x768x8At43, 100,
                                                        101, 0x64, 0x00, 0x00, 0x32, 0xE0, 0x00},
                                           PositionCase{"NegativeOddRowInterlaced", k1024x768x8At43,
                                                        0, -1, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x01}),
                         [](const ::testing::TestParamInfo<PositionCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Pointer, RefusedShapesLeaveThePointerAlone) {
  SetMode(k1024x768x8At60);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_POINTER, {}).status, NO_ERROR);
  struct Case {
    const char* name;
    std::vector<uint8_t> input;
    VP_STATUS status;
  };
  const Case cases[] = {
      {"one byte short", PointerAttributes(VIDEO_MODE_MONO_POINTER, 64, 0, 0, 0, 0, 1051),
       ERROR_INSUFFICIENT_BUFFER},
      {"65 wide", PointerAttributes(VIDEO_MODE_MONO_POINTER, 65, 0, 0, 0, 0),
       ERROR_INVALID_PARAMETER},
      {"colour, animated",
       PointerAttributes(VIDEO_MODE_COLOR_POINTER | VIDEO_MODE_ANIMATE_UPDATE, 64, 0, 0, 0, 0),
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR, c.input).status, c.status) << c.name;
    EXPECT_TRUE(s.Since(mark).empty()) << c.name;
    EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, 0x40) << c.name;
  }
  // A colour shape without the animate flag hides the pointer before it is refused.
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR,
                      PointerAttributes(VIDEO_MODE_COLOR_POINTER, 64, 0, 0, 0, 0))
                .status,
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, 0x00);
}

TEST_F(Pointer, QueryReportsTheLastPositionSetThroughThePositionRequest) {
  SetMode(k1024x768x8At60);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR,
                      PointerAttributes(VIDEO_MODE_MONO_POINTER, 64, 200, 100, 0xFF, 0))
                .status,
            NO_ERROR);
  auto query = s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 4);
  EXPECT_EQ(query.status, NO_ERROR);
  EXPECT_EQ(query.information, 4u);
  EXPECT_EQ(s.Output(), Position(0, 0));
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_POSITION, Position(-3, 700)).status, NO_ERROR);
  query = s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 4);
  EXPECT_EQ(s.Output(), Position(-3, 700));
  query = s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 3);
  EXPECT_EQ(query.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(query.information, 0u);
}

TEST_F(Pointer, EnableAndDisableLeaveTheSequencerIndexAtSr06) {
  SetMode(k1024x768x8At60);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_ENABLE_POINTER, {}).status, NO_ERROR);
  EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, 0x40);
  EXPECT_EQ(s.adapter().WholeState().seqIndex, 0x06);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_DISABLE_POINTER, {}).status, NO_ERROR);
  EXPECT_EQ(s.adapter().Seq(0x06) & 0x40, 0x00);
  EXPECT_EQ(s.adapter().WholeState().seqIndex, 0x06);
}

TEST_F(Pointer, TextModesHaveNoPointerButAnswerTheCapabilities) {
  SetMode(kTextMode);
  const size_t mark = s.Mark();
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_ATTR,
                      PointerAttributes(VIDEO_MODE_MONO_POINTER, 64, 0, 0, 0, 0))
                .status,
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_POINTER_POSITION, Position(1, 1)).status,
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_ENABLE_POINTER, {}).status, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_DISABLE_POINTER, {}).status, ERROR_INVALID_PARAMETER);
  const auto query = s.Request(IOCTL_VIDEO_QUERY_POINTER_POSITION, {}, 4);
  EXPECT_EQ(query.status, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(query.information, 0u);
  EXPECT_TRUE(s.Since(mark).empty());

  auto caps = s.Request(IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, {}, 20);
  EXPECT_EQ(caps.status, NO_ERROR);
  EXPECT_EQ(caps.information, 20u);
  const std::vector<uint8_t> expected = {3, 0, 0, 0, 64, 0, 0, 0, 64, 0,
                                         0, 0, 0, 0, 0,  0, 0, 0, 0,  0};
  EXPECT_EQ(s.Output(), expected);
  caps = s.Request(IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, {}, 19);
  EXPECT_EQ(caps.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(caps.information, 0u);
}

}  // namespace
