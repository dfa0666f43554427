// Font loading and the text cursor, for the full-screen console.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "modes/modes.h"
#include "support/bus.h"
#include "support/driver_session.h"

namespace {

using test::Bytes;

// Glyph byte of character c, scan line l: distinct for every slot and line.
uint8_t GlyphByte(unsigned c, unsigned line) {
  return static_cast<uint8_t>(c * 3 + line * 17 + 1);
}

std::vector<uint8_t> Font(uint16_t width, uint16_t height) {
  std::vector<uint8_t> bytes =
      Bytes(VIDEO_LOAD_FONT_INFORMATION{width, height, 256u * height, {}}, 8);
  for (unsigned c = 0; c < 256; ++c)
    for (unsigned line = 0; line < height; ++line)
      bytes.push_back(GlyphByte(c, line));
  bytes.resize(11 + 256u * height);  // the record ends past its first font byte
  return bytes;
}

// Width is the last scan line, Height the first.
std::vector<uint8_t> Shape(uint16_t first, uint16_t last, uint8_t enable) {
  return Bytes(VIDEO_CURSOR_ATTRIBUTES{last, first, 0, 0, 0, enable});
}

// In the 80 x 25 text mode, 720 x 400.
class TextServices : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(s.SetMode(0), NO_ERROR); }
  // The 10-byte answer: Width (last line), Height (first line), position, Enable.
  std::vector<uint8_t> QueryShape() {
    EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURSOR_ATTR, {}, 10).information, 10u);
    return s.Output();
  }
  test::DriverSession s;
};

// The glyphs go into plane 2 whatever write path, bank, latches and
// processor access (misc bit 1) the session left; the cell, the underline
// cursor, the text addressing and misc output come back after.
TEST_F(TextServices, FontSetsTheCellAndTheUnderlineCursor) {
  const struct {
    uint16_t height;
    SHORT rows;
    // then set/reset, rotate and function, bit mask, the bank select register
    uint8_t cr09, cr0a, cr0b, gr00, gr03, gr08, bank;
    bool cursorHidden;       // CR0A bit 5 stays
    bool memoryOff = false;  // misc bit 1 clear: the window reaches no memory
  } cases[] = {
      {16, 25, 0x0F, 0x0E, 0x0F, 0x00, 0x00, 0xFF, 0x00, false},
      {8, 50, 0x07, 0x06, 0x07, 0x00, 0x00, 0xFF, 0x00, false},
      {16, 25, 0x0F, 0x0E, 0x0F, 0x00, 0x00, 0xFF, 0x00, false, true},
      {16, 25, 0x0F, 0x2E, 0x0F, 0x04, 0x1B, 0x55, 0x11, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "8x" << c.height << ", bank " << int(c.bank));
    sim::Adapter& a = s.adapter();
    if (c.cursorHidden) {
      ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Shape(1, 2, 0)).status, NO_ERROR);
    }
    for (const int word :
         {c.gr00 << 8 | 0x00, c.gr00 << 8 | 0x01, c.gr03 << 8 | 0x03, c.gr08 << 8 | 0x08})
      a.Out16(0x3CE, static_cast<uint16_t>(word));
    a.Out8(0x3CD, c.bank);
    a.MemRead8(0xB8000);  // latches from text memory
    const uint8_t misc = c.memoryOff ? a.Misc() & 0xFD : a.Misc() | 0x02;
    a.Out8(0x3C2, misc);
    for (uint32_t offset = 0; offset < 256 * 32; ++offset)
      a.Vram()[4 * offset + 2] = 0;  // no glyph left from the last load
    ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, c.height)).status, NO_ERROR);
    // 720 / 8 = 90 columns is more than the row's 80: never raised.
    const VgaModeEntry& row = *s.ext().CurrentMode;
    EXPECT_EQ(std::tuple(row.TextRows, row.TextColumns, s.ext().FontHeight),
              std::tuple(c.rows, 80, c.height));
    EXPECT_EQ(std::tuple(a.Crtc(0x09), a.Crtc(0x12), a.Crtc(0x0A), a.Crtc(0x0B)),
              std::tuple(c.cr09, 0x8F, c.cr0a, c.cr0b));
    for (unsigned ch = 0; ch < 256; ++ch)
      for (unsigned line = 0; line < c.height; ++line)
        ASSERT_EQ(a.PlaneByte(2, 32 * ch + line), GlyphByte(ch, line))
            << "character " << ch << " line " << line;
    // Planes 0 and 1 chained at 0xB8000, the write path of a BIOS text mode.
    EXPECT_EQ(std::tuple(a.Gc(0x06), a.Seq(0x02), a.Seq(0x04), a.Gc(0x01), a.Gc(0x03), a.Gc(0x08)),
              std::tuple(0x0E, 0x03, 0x02, 0x00, 0x00, 0xFF));
    EXPECT_EQ(a.Misc(), misc);
    EXPECT_EQ(QueryShape()[9], c.cursorHidden ? 0 : 1) << "Enable";
  }
  // A nine-dot font on the 640-wide mode: 640 / 9 = 71 columns.
  ASSERT_EQ(s.SetMode(1), NO_ERROR);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(9, 14)).status, NO_ERROR);
  EXPECT_EQ(std::tuple(s.ext().CurrentMode->TextRows, s.ext().CurrentMode->TextColumns),
            std::tuple(25, 71));
}

// In 80 x 25 again after an 8 x 8 font gave the mode 50 rows: the reset
// brings the row's own size back. The offset goes to CR0E/CR0F of the
// addressing in force. (Column 80 is the refusal table's.)
TEST_F(TextServices, CursorPosition) {
  ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, 8)).status, NO_ERROR);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_RESET_DEVICE, {}).status, NO_ERROR);
  const struct {
    SHORT column, row;
    VP_STATUS status;
    uint8_t cr0e, cr0f;
    bool mono;
  } cases[] = {
      {79, 24, NO_ERROR, 0x07, 0xCF, false},  // 24 * 80 + 79
      {-1, 0, NO_ERROR, 0xFF, 0xFF, false},   // negative is not refused: offset 0xFFFF
      {0, 25, ERROR_INVALID_PARAMETER, 0, 0, false},
      {5, 1, NO_ERROR, 0x00, 0x55, true},  // 1 * 80 + 5
  };
  const uint8_t misc = s.adapter().Misc();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.column << ", " << c.row << ")");
    s.adapter().Out8(0x3C2, c.mono ? misc & 0xFE : misc);
    const size_t mark = s.Mark();
    const std::vector<uint8_t> position = Bytes(VIDEO_CURSOR_POSITION{c.column, c.row});
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_POSITION, position).status, c.status);
    if (c.status != NO_ERROR) {
      EXPECT_TRACE(s.Since(mark), {});
      continue;
    }
    EXPECT_EQ(std::tuple(s.adapter().Crtc(0x0E), s.adapter().Crtc(0x0F)),
              std::tuple(c.cr0e, c.cr0f));
    EXPECT_EQ(s.Request(IOCTL_VIDEO_QUERY_CURSOR_POSITION, {}, 4).information, 4u);
    EXPECT_TRUE(test::BytesAre(s.Output(), position));
    // The shape query answers 10 bytes, every one written: the position too,
    // no blink rate.
    EXPECT_TRUE(
        test::BytesAre(QueryShape(), Bytes(VIDEO_CURSOR_ATTRIBUTES{31, 0, c.column, c.row, 0, 1})));
  }
}

// Before any font the cell height is 0: every shape is refused, and the
// query gives initialisation's lines 0 to 31, visible. After an 8 x 16 font
// the end is clamped to the cell and the skew bits are kept. A reset after
// an 8 x 8 font brings the BIOS font's 16-line cell back.
TEST_F(TextServices, CursorShape) {
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Shape(0, 1, 1)).status, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(QueryShape(), Shape(0, 31, 1));

  ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, 16)).status, NO_ERROR);
  const struct {
    uint16_t first, last;
    uint8_t enable;
    VP_STATUS status;
    uint8_t cr0a, cr0b;  // with CR0A bits 7-6 and CR0B bits 7-5 preset to 1
  } cases[] = {
      {14, 40, 1, ERROR_INVALID_PARAMETER, 0, 0},  // last line above 31
      {16, 20, 1, ERROR_INVALID_PARAMETER, 0, 0},  // first line at the cell height
      {14, 20, 1, NO_ERROR, 0xCE, 0xEF},           // end clamped to line 15
      {15, 15, 1, NO_ERROR, 0xCF, 0xEF},
      {3, 5, 0, NO_ERROR, 0xE3, 0xE5},  // hidden: CR0A bit 5
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "lines " << c.first << " to " << c.last);
    s.adapter().Out16(0x3D4, 0xC00A);
    s.adapter().Out16(0x3D4, 0xE00B);
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Shape(c.first, c.last, c.enable)).status,
              c.status);
    if (c.status != NO_ERROR) continue;
    EXPECT_EQ(std::tuple(s.adapter().Crtc(0x0A), s.adapter().Crtc(0x0B)),
              std::tuple(c.cr0a, c.cr0b));
    EXPECT_EQ(QueryShape(), Shape(c.first, c.last, c.enable)) << "as given, unclamped";
  }

  ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, Font(8, 8)).status, NO_ERROR);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Shape(8, 9, 1)).status, ERROR_INVALID_PARAMETER);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_RESET_DEVICE, {}).status, NO_ERROR);
  s.adapter().Out16(0x3D4, 0x000B);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_CURSOR_ATTR, Shape(14, 20, 1)).status, NO_ERROR);
  EXPECT_EQ(s.adapter().Crtc(0x0B), 0x0F) << "end clamped to line 15 of the BIOS cell";
}

}  // namespace
