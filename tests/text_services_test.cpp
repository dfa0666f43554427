// Font loading and the text cursor, for the full-screen console.
#include <gtest/gtest.h>

#include <vector>

#include "modes/modes.h"
#include "support/driver_session.h"

namespace {

using test::Position;
using test::Put16;
using test::Put32;

constexpr ULONG kTextMode = 0;       // 80 x 25, 720 x 400
constexpr ULONG kGraphicsMode = 12;  // 1024 x 768 x 8

// Glyph byte of character c, scan line l: distinct for every slot and line.
uint8_t GlyphByte(unsigned c, unsigned line) {
  return static_cast<uint8_t>(c * 3 + line * 17 + 1);
}

std::vector<uint8_t> Font(uint16_t width, uint16_t height, uint32_t fontSize, size_t length) {
  std::vector<uint8_t> bytes;
  Put16(bytes, width);
  Put16(bytes, height);
  Put32(bytes, fontSize);
  for (unsigned c = 0; bytes.size() < length; ++c) {
    for (unsigned line = 0; line < height && bytes.size() < length; ++line) {
      bytes.push_back(GlyphByte(c, line));
    }
    if (height == 0) break;
  }
  bytes.resize(length, 0);
  return bytes;
}

// VIDEO_CURSOR_ATTRIBUTES: Width (last line), Height (first line), Column,
// Row, Rate, Enable.
std::vector<uint8_t> Attributes(uint16_t firstLine, uint16_t lastLine, uint8_t enable) {
  std::vector<uint8_t> bytes;
  Put16(bytes, lastLine);
  Put16(bytes, firstLine);
  Put32(bytes, 0);
  bytes.push_back(0);
  bytes.push_back(enable);
  return bytes;
}

class TextServices : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(s.SetMode(kTextMode), NO_ERROR); }
  VP_STATUS LoadFont(uint16_t width, uint16_t height) {
    return s
        .Request(IOCTL_VIDEO_LOAD_AND_SET_FONT,
                 Font(width, height, 256u * height, 11 + 256u * height))
        .status;
  }
  test::DriverSession s;
};

struct FontCase {
  uint16_t height;
  SHORT rows;
  uint8_t cr09, cr12, cr0a, cr0b;
  // What the session left: set/reset, rotate and function, bit mask, the
  // bank select register, and a hidden cursor.
  uint8_t gr00, gr01, gr03, gr08, bank;
  bool cursorHidden;
};

TEST_F(TextServices, FontSetsTheCellAndTheUnderlineCursor) {
  const FontCase cases[] = {
      {16, 25, 0x0F, 0x8F, 0x0E, 0x0F, 0x00, 0x00, 0x00, 0xFF, 0x00, false},
      {8, 50, 0x07, 0x8F, 0x06, 0x07, 0x00, 0x00, 0x00, 0xFF, 0x00, false},
      // Set/reset on plane 2, XOR with the latches rotated by 3, half the
      // bits masked: the glyphs still go in as they are. A cursor the
      // console hid gets the underline shape and stays hidden (CR0A bit 5).
      {16, 25, 0x0F, 0x8F, 0x2E, 0x0F, 0x04, 0x04, 0x1B, 0x55, 0x00, true},
      // A display driver's bank 1 at 0x3CD: the font still lands at offset 0.
      {16, 25, 0x0F, 0x8F, 0x2E, 0x0F, 0x00, 0x00, 0x00, 0xFF, 0x11, true},
  };
  for (const FontCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "8x" << c.height << " after GR01 " << int(c.gr01) << ", bank " << int(c.bank));
    if (c.cursorHidden) {
      ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Attributes(1, 2, 0)).status, NO_ERROR);
    }
    s.adapter().Out16(0x3CE, static_cast<uint16_t>(c.gr00 << 8 | 0x00));
    s.adapter().Out16(0x3CE, static_cast<uint16_t>(c.gr01 << 8 | 0x01));
    s.adapter().Out16(0x3CE, static_cast<uint16_t>(c.gr03 << 8 | 0x03));
    s.adapter().Out16(0x3CE, static_cast<uint16_t>(c.gr08 << 8 | 0x08));
    s.adapter().Out8(0x3CD, c.bank);
    s.adapter().MemRead8(0xB8000);  // latches from text memory
    for (uint32_t offset = 0; offset < 256 * 32; ++offset)
      s.adapter().Vram()[4 * offset + 2] = 0;  // no glyph left from the last load
    ASSERT_EQ(LoadFont(8, c.height), NO_ERROR);
    EXPECT_EQ(s.ext().CurrentMode->TextRows, c.rows);
    EXPECT_EQ(s.ext().CurrentMode->TextColumns, 80);  // 720 / 8 = 90 is more: never raised
    EXPECT_EQ(s.adapter().Crtc(0x09), c.cr09);
    EXPECT_EQ(s.adapter().Crtc(0x12), c.cr12);
    EXPECT_EQ(s.adapter().Crtc(0x0A), c.cr0a);
    EXPECT_EQ(s.adapter().Crtc(0x0B), c.cr0b);
    EXPECT_EQ(s.ext().FontHeight, c.height);
    // The glyphs in plane 2, one 32-byte slot per character.
    for (unsigned ch = 0; ch < 256; ++ch) {
      for (unsigned line = 0; line < c.height; ++line) {
        ASSERT_EQ(s.adapter().PlaneByte(2, 32 * ch + line), GlyphByte(ch, line))
            << "character " << ch << " line " << line;
      }
    }
    // Text addressing is back: planes 0 and 1 chained at 0xB8000, the
    // write path as a BIOS text mode has it.
    EXPECT_EQ(s.adapter().Gc(0x06), 0x0E);
    EXPECT_EQ(s.adapter().Seq(0x02), 0x03);
    EXPECT_EQ(s.adapter().Seq(0x04), 0x02);
    EXPECT_EQ(s.adapter().Gc(0x01), 0x00);
    EXPECT_EQ(s.adapter().Gc(0x03), 0x00);
    EXPECT_EQ(s.adapter().Gc(0x08), 0xFF);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURSOR_ATTR, {}, 10).status, NO_ERROR);
    EXPECT_EQ(s.Output()[9], c.cursorHidden ? 0 : 1);  // Enable
  }
}

TEST_F(TextServices, NineDotFontOnTheNarrowMode) {
  ASSERT_EQ(s.SetMode(1), NO_ERROR);  // 640 x 350: 640 / 9 = 71 columns
  ASSERT_EQ(LoadFont(9, 14), NO_ERROR);
  EXPECT_EQ(s.ext().CurrentMode->TextRows, 25);
  EXPECT_EQ(s.ext().CurrentMode->TextColumns, 71);
}

struct FontRefusal {
  const char* name;
  uint16_t width, height;
  uint32_t fontSize;
  size_t length;
  VP_STATUS status;
};

class FontRefusals : public TextServices, public ::testing::WithParamInterface<FontRefusal> {};

TEST_P(FontRefusals, TouchNothing) {
  const FontRefusal& c = GetParam();
  const std::vector<uint8_t> before = s.ExtensionBytes();
  const size_t mark = s.Mark();
  EXPECT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(c.width, c.height, c.fontSize, c.length))
                .status,
            c.status);
  EXPECT_TRUE(s.Since(mark).empty());
  EXPECT_TRUE(s.ExtensionBytes() == before);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FontRefusals,
    ::testing::Values(
        FontRefusal{"ShorterThanTheRecord", 8, 16, 0, 11, ERROR_INSUFFICIENT_BUFFER},
        FontRefusal{"OneByteShortOfTheFont", 8, 16, 4096, 4106, ERROR_INSUFFICIENT_BUFFER},
        FontRefusal{"SizeThatWouldWrap", 8, 16, 0xFFFFFFFF, 4107, ERROR_INSUFFICIENT_BUFFER},
        FontRefusal{"WidthSeven", 7, 16, 4096, 4107, ERROR_INVALID_PARAMETER},
        FontRefusal{"HeightThirtyThree", 8, 33, 8448, 8459, ERROR_INVALID_PARAMETER},
        FontRefusal{"HeightZero", 8, 0, 16, 27, ERROR_INVALID_PARAMETER},
        FontRefusal{"FontSmallerThan256Glyphs", 8, 16, 4095, 4106, ERROR_INSUFFICIENT_BUFFER}),
    [](const ::testing::TestParamInfo<FontRefusal>& info) { return std::string(info.param.name); });

TEST_F(TextServices, ExactFontLengthIsAccepted) {
  EXPECT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, 16, 4096, 4107)).status, NO_ERROR);
}

struct PositionCase {
  int16_t column, row;
  VP_STATUS status;
  uint8_t cr0e, cr0f;
  bool mono = false;  // the session switched to mono addressing (CRTC at 0x3B4)
};

// In 80 x 25 again after an 8 x 8 font gave the mode 50 rows: the reset
// brings the row's own size back.
TEST_F(TextServices, CursorPosition) {
  ASSERT_EQ(LoadFont(8, 8), NO_ERROR);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_RESET_DEVICE, {}).status, NO_ERROR);
  const PositionCase cases[] = {
      {79, 24, NO_ERROR, 0x07, 0xCF},  // 24 * 80 + 79
      {0, 0, NO_ERROR, 0x00, 0x00},
      {-1, 0, NO_ERROR, 0xFF, 0xFF},  // negative is not refused: offset 0xFFFF
      {80, 0, ERROR_INVALID_PARAMETER, 0, 0},
      {0, 25, ERROR_INVALID_PARAMETER, 0, 0},
      {0, 40, ERROR_INVALID_PARAMETER, 0, 0},
      {5, 1, NO_ERROR, 0x00, 0x55, true},  // 1 * 80 + 5
  };
  const uint8_t misc = s.adapter().Misc();
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.column << ", " << c.row << ")");
    s.adapter().Out8(0x3C2, c.mono ? misc & 0xFE : misc);
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_POSITION, Position(c.column, c.row)).status,
              c.status);
    if (c.status != NO_ERROR) {
      EXPECT_TRUE(s.Since(mark).empty());
      continue;
    }
    EXPECT_EQ(s.adapter().Crtc(0x0E), c.cr0e);
    EXPECT_EQ(s.adapter().Crtc(0x0F), c.cr0f);
    const auto query = s.Request(IOCTL_VIDEO_QUERY_CURSOR_POSITION, {}, 4);
    EXPECT_EQ(query.status, NO_ERROR);
    EXPECT_EQ(query.information, 4u);
    EXPECT_TRUE(s.Output() == Position(c.column, c.row));
  }
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_POSITION, {0, 0, 0}).status,
            ERROR_INSUFFICIENT_BUFFER);
  const auto shortQuery = s.Request(IOCTL_VIDEO_QUERY_CURSOR_POSITION, {}, 3);
  EXPECT_EQ(shortQuery.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(shortQuery.information, 0u);
}

TEST_F(TextServices, CursorAttributesNeedAFont) {
  // Before any font the cell height is 0: every shape is refused.
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Attributes(0, 1, 1)).status,
            ERROR_INVALID_PARAMETER);
  // The defaults of initialisation: lines 0 to 31, visible.
  const auto query = s.Request(IOCTL_VIDEO_QUERY_CURSOR_ATTR, {}, 10);
  EXPECT_EQ(query.status, NO_ERROR);
  EXPECT_EQ(query.information, 10u);
  EXPECT_EQ(s.Output()[0], 31);  // Width: last line
  EXPECT_EQ(s.Output()[2], 0);   // Height: first line
  EXPECT_EQ(s.Output()[9], 1);   // Enable
}

struct ShapeCase {
  uint16_t first, last;
  uint8_t enable;
  VP_STATUS status;
  uint8_t cr0a, cr0b;  // with CR0A bits 7-6 and CR0B bits 7-5 preset to 1
};

TEST_F(TextServices, CursorAttributesAfterAnEightBySixteenFont) {
  ASSERT_EQ(LoadFont(8, 16), NO_ERROR);
  const ShapeCase cases[] = {
      {14, 40, 1, ERROR_INVALID_PARAMETER, 0, 0},  // last line above 31
      {16, 20, 1, ERROR_INVALID_PARAMETER, 0, 0},  // first line at the cell height
      {14, 20, 1, NO_ERROR, 0xCE, 0xEF},           // end clamped to line 15, skew kept
      {15, 15, 1, NO_ERROR, 0xCF, 0xEF},
      {3, 5, 0, NO_ERROR, 0xE3, 0xE5},  // hidden: CR0A bit 5
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lines " << c.first << " to " << c.last);
    s.adapter().Out8(0x3D4, 0x0A);
    s.adapter().Out8(0x3D5, 0xC0);
    s.adapter().Out8(0x3D4, 0x0B);
    s.adapter().Out8(0x3D5, 0xE0);
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Attributes(c.first, c.last, c.enable)).status,
              c.status);
    if (c.status != NO_ERROR) continue;
    EXPECT_EQ(s.adapter().Crtc(0x0A), c.cr0a);
    EXPECT_EQ(s.adapter().Crtc(0x0B), c.cr0b);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURSOR_ATTR, {}, 10).status, NO_ERROR);
    EXPECT_EQ(s.Output()[0], c.last);  // unclamped in the record
    EXPECT_EQ(s.Output()[2], c.first);
    EXPECT_EQ(s.Output()[9], c.enable);
  }
}

// The five requests need a text mode: refused before any mode set and in a
// graphics mode, the queries with no byte count.
TEST(TextServicesOutsideTextModes, AreRefusedAndTouchNothing) {
  for (const bool graphics : {false, true}) {
    test::DriverSession s;
    if (graphics) {
      ASSERT_EQ(s.SetMode(kGraphicsMode), NO_ERROR);
    }
    SCOPED_TRACE(graphics ? "graphics mode" : "no mode set");
    const std::vector<uint8_t> before = s.ExtensionBytes();
    const size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, 16, 4096, 4107)).status,
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_POSITION, Position(0, 0)).status,
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Attributes(0, 1, 1)).status,
              ERROR_INVALID_PARAMETER);
    for (const ULONG query : {IOCTL_VIDEO_QUERY_CURSOR_POSITION, IOCTL_VIDEO_QUERY_CURSOR_ATTR}) {
      const auto result = s.Request(query, {}, 16);
      EXPECT_EQ(result.status, ERROR_INVALID_PARAMETER);
      EXPECT_EQ(result.information, 0u);
      EXPECT_TRUE(s.Output() == std::vector<uint8_t>(16, 0xCC));
    }
    EXPECT_TRUE(s.Since(mark).empty());
    EXPECT_TRUE(s.ExtensionBytes() == before);
  }
}

}  // namespace
