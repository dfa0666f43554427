// The screen as the adapter shows it: pictures rendered from known register
// and memory contents, compared pixel by pixel; the PNG file; and a
// full-screen session's own accesses to the 0xA0000 window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/screen/screen.h"
#include "sim/trace.h"

#include <stb/stb_image.h>

namespace {

using sim::Machine;
using sim::screen::Image;
using sim::screen::RenderScreen;

// EGA colours as the BIOS's text palette gives them, 6-bit DAC values widened.
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBlue = 0x0000AA;
constexpr uint32_t kBrown = 0xAA5500;
constexpr uint32_t kGrey = 0xAAAAAA;
constexpr uint32_t kYellow = 0xFFFF55;

std::string Rgb(uint32_t rgb) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06x", rgb);
  return text;
}

// A machine in the BIOS's 80 x 25 text mode, reached through the bus, with
// the extended registers open as the driver keeps them.
class Rig {
 public:
  explicit Rig(const sim::Profile& profile = sim::Profile::Default()) : m(profile) {
    Seq(0x05, 0x86);
    SetMode(0x03);
  }

  void SetMode(uint8_t number) {
    VIDEO_X86_BIOS_ARGUMENTS args{};
    args.Eax = number;
    ASSERT_EQ(m.bios().Int10(args), NO_ERROR);
  }
  void Seq(uint8_t index, uint8_t value) {
    m.adapter().Out8(0x3C4, index);
    m.adapter().Out8(0x3C5, value);
  }
  void Crtc(uint8_t index, uint8_t value) {
    m.adapter().Out8(0x3D4, 0x11);
    m.adapter().Out8(0x3D5, 0x00);  // CR00-CR07 writable
    m.adapter().Out8(0x3D4, index);
    m.adapter().Out8(0x3D5, value);
  }
  // Written with the palette address source bit clear (AR00-AR0F take no
  // writes while it is set), then the palette back with the display.
  void Attr(uint8_t index, uint8_t value) {
    m.adapter().In8(0x3DA);
    m.adapter().Out8(0x3C0, index);
    m.adapter().Out8(0x3C0, value);
    m.adapter().Out8(0x3C0, 0x20);
  }
  void Plane(int plane, uint32_t offset, uint8_t value) {
    m.adapter().Vram()[size_t{offset} * 4 + plane] = value;
  }
  void Glyph(uint8_t ch, std::vector<uint8_t> rows) {
    rows.resize(32, 0x00);
    for (uint32_t i = 0; i < 32; ++i)
      Plane(2, ch * 32u + i, rows[i]);
  }
  // Character and attribute at a character position (plane byte 2n).
  void Cell(uint32_t position, uint8_t ch, uint8_t attribute) {
    Plane(0, position * 2, ch);
    Plane(1, position * 2, attribute);
  }
  void Bytes(uint32_t offset, std::vector<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
      m.adapter().Vram()[offset + i] = bytes[i];
  }
  void CursorOffScreen() {
    Crtc(0x0E, 0x07);
    Crtc(0x0F, 0xD0);  // position 2000: past the last cell
  }
  // A tiny packed-pixel screen: `chars` x 8 pixels, `lines` lines, offset
  // register `offset`, pixel format `format`, everything else black.
  void Packed(uint8_t format, uint8_t chars, uint8_t lines, uint8_t offset) {
    Seq(0x07, format);
    Seq(0x0E, 0x00);
    Crtc(0x01, static_cast<uint8_t>(chars - 1));
    Crtc(0x12, static_cast<uint8_t>(lines - 1));
    Crtc(0x07, 0x00);
    Crtc(0x13, offset);
    Crtc(0x0C, 0x00);
    Crtc(0x0D, 0x00);
    std::fill(m.adapter().Vram().begin(), m.adapter().Vram().end(), uint8_t{0});
  }

  Image Render() { return RenderScreen(m.adapter()); }

  Machine m;
};

// Rows of expected pixels from a legend: each letter names a colour.
struct Legend {
  char letter;
  uint32_t rgb;
};

void ExpectRows(const Image& image, int x0, int y0, const std::vector<std::string>& rows,
                std::initializer_list<Legend> legend, const std::string& what) {
  for (size_t dy = 0; dy < rows.size(); ++dy) {
    for (size_t dx = 0; dx < rows[dy].size(); ++dx) {
      uint32_t expected = 0xFFFFFFFF;
      for (const Legend& l : legend)
        if (l.letter == rows[dy][dx]) expected = l.rgb;
      const int x = x0 + static_cast<int>(dx), y = y0 + static_cast<int>(dy);
      ASSERT_LT(x, image.width) << what;
      ASSERT_LT(y, image.height) << what;
      EXPECT_EQ(Rgb(image.At(x, y)), Rgb(expected)) << what << ": pixel (" << x << ", " << y << ")";
    }
  }
}

int Count(const Image& image, uint32_t rgb) {
  return static_cast<int>(std::count(image.rgb.begin(), image.rgb.end(), rgb));
}

// ---- text

TEST(ScreenText, CellShowsItsGlyphInTheAttributeColours) {
  Rig r;
  r.CursorOffScreen();
  r.Glyph(0x41, {0x81, 0x3C, 0x00, 0xFF});
  r.Cell(0, 0x41, 0x1E);  // yellow on blue
  r.Glyph(0x42, {0xF0});
  r.Cell(1, 0x42, 0x60);  // palette entry 6 is AR06 = 0x14: brown, not DAC 6
  const Image image = r.Render();
  ASSERT_EQ(image.width, 720);
  ASSERT_EQ(image.height, 400);
  ExpectRows(
      image, 0, 0,
      {"YbbbbbbYbkkkkBBBBB", "bbYYYYbbbBBBBBBBBB", "bbbbbbbbbBBBBBBBBB", "YYYYYYYYbBBBBBBBBB"},
      {{'Y', kYellow}, {'b', kBlue}, {'B', kBrown}, {'k', kBlack}}, "cells 0 and 1");
  // The fifteenth line of cell 0 is the blank rest of the glyph slot.
  ExpectRows(image, 0, 15, {"bbbbbbbbb"}, {{'b', kBlue}}, "cell 0, last line");
}

struct NinthDotCase {
  uint8_t ch;
  uint8_t ar10;
  uint8_t glyphRow;
  uint32_t ninth;
};

TEST(ScreenText, NinthDotRepeatsTheEighthOnlyForLineGraphics) {
  const NinthDotCase cases[] = {
      {0xC0, 0x0C, 0x01, kYellow}, {0xC4, 0x0C, 0x01, kYellow}, {0xDF, 0x0C, 0x01, kYellow},
      {0xBF, 0x0C, 0x01, kBlue},   {0xE0, 0x0C, 0x01, kBlue},   {0xC4, 0x08, 0x01, kBlue},
      {0xC4, 0x0C, 0xFE, kBlue},
  };
  for (const NinthDotCase& c : cases) {
    Rig r;
    r.CursorOffScreen();
    r.Attr(0x10, c.ar10);
    r.Glyph(c.ch, {c.glyphRow});
    r.Cell(0, c.ch, 0x1E);
    const Image image = r.Render();
    EXPECT_EQ(Rgb(image.At(8, 0)), Rgb(c.ninth))
        << "character " << Rgb(c.ch) << ", AR10 " << Rgb(c.ar10) << ", row " << Rgb(c.glyphRow);
  }
}

TEST(ScreenText, AttributeColourSelectReplacesTheHighIndexBits) {
  Rig r;
  r.CursorOffScreen();
  // DAC entry 0x91 (AR14 bits 3-2 = 2, bits 1-0 = 1 with AR10 bit 7, AR01
  // low nibble 1) holds a colour of its own.
  r.m.adapter().Out8(0x3C8, 0x91);
  for (uint8_t v : {0x01, 0x02, 0x03})
    r.m.adapter().Out8(0x3C9, v);
  r.Attr(0x10, 0x8C);
  r.Attr(0x14, 0x09);
  r.Glyph(0x41, {0xFF});
  r.Cell(0, 0x41, 0x01);
  EXPECT_EQ(Rgb(r.Render().At(0, 0)), Rgb(0x04080C));
}

struct CursorCase {
  uint8_t cr0a, cr0b;
  const char* lines;  // 16 lines of the cell: 'c' cursor, '.' none
};

TEST(ScreenText, CursorCoversItsScanLinesOfItsCell) {
  const CursorCase cases[] = {
      {0x0D, 0x0E, ".............cc."}, {0x00, 0x0F, "cccccccccccccccc"},
      {0x2D, 0x0E, "................"}, {0x0E, 0x0D, "................"},
      {0x0F, 0x1F, "...............c"}, {0x05, 0x05, ".....c.........."},
  };
  for (const CursorCase& c : cases) {
    Rig r;
    r.Crtc(0x0A, c.cr0a);
    r.Crtc(0x0B, c.cr0b);
    r.Crtc(0x0E, 0x00);
    r.Crtc(0x0F, 0x52);  // position 82: row 1, column 2
    const Image image = r.Render();
    for (int line = 0; line < 16; ++line) {
      const uint32_t expected = c.lines[line] == 'c' ? kGrey : kBlack;
      for (int dot = 0; dot < 9; ++dot) {
        EXPECT_EQ(Rgb(image.At(18 + dot, 16 + line)), Rgb(expected))
            << "CR0A " << Rgb(c.cr0a) << " CR0B " << Rgb(c.cr0b) << ": line " << line << " dot "
            << dot;
      }
    }
    EXPECT_EQ(Count(image, kGrey), 9 * static_cast<int>(std::count(c.lines, c.lines + 16, 'c')))
        << "CR0A " << Rgb(c.cr0a) << ": cursor pixels elsewhere";
  }
}

struct LayoutCase {
  uint8_t cr0c, cr0d, cr13;
  uint32_t marker;  // character position of a solid yellow block
  int x, y;         // where it must appear
};

TEST(ScreenText, StartAddressAndOffsetPlaceTheRows) {
  const LayoutCase cases[] = {
      {0x00, 0x00, 0x28, 81, 9, 16},  {0x00, 0x50, 0x28, 81, 9, 0},
      {0x00, 0x00, 0x50, 161, 9, 16}, {0x00, 0x00, 0x28, 1999, 711, 384},
      {0x80, 0x00, 0x28, 0, 0, 0},  // position 0x8000 is byte 0x10000: the plane wraps
  };
  for (const LayoutCase& c : cases) {
    Rig r;
    r.CursorOffScreen();
    r.Crtc(0x0C, c.cr0c);
    r.Crtc(0x0D, c.cr0d);
    r.Crtc(0x13, c.cr13);
    r.Glyph(0x01, std::vector<uint8_t>(16, 0xFF));
    r.Cell(c.marker, 0x01, 0x0E);
    const Image image = r.Render();
    const std::string where = "start " + Rgb(c.cr0c << 8 | c.cr0d) + " offset " + Rgb(c.cr13);
    EXPECT_EQ(Rgb(image.At(c.x, c.y)), Rgb(kYellow)) << where;
    EXPECT_EQ(Rgb(image.At(c.x + 7, c.y + 15)), Rgb(kYellow)) << where;
    EXPECT_EQ(Count(image, kYellow), 8 * 16) << where;
  }
}

// ---- the CRTC's size

struct SizeCase {
  uint8_t sr07, sr01, cr01, cr12, cr07, sr0e;
  int width, height;
};

TEST(ScreenSize, ComesFromTheDisplayEndRegisters) {
  const SizeCase cases[] = {
      {0x00, 0x00, 0x4F, 0x8F, 0x1F, 0x00, 720, 400},  // the BIOS text mode
      {0x00, 0x01, 0x4F, 0x5D, 0x02, 0x00, 640, 350},
      {0x00, 0x00, 0x01, 0x00, 0x40, 0x00, 18, 513},  // CR07 bit 6: line bit 9
      {0x03, 0x00, 0x4F, 0xDF, 0x02, 0x00, 640, 480},
      {0x03, 0x00, 0x03, 0xAF, 0x00, 0x01, 32, 1200},  // SR0E bit 0: line bit 10
      {0x05, 0x01, 0x00, 0xFF, 0x42, 0x00, 8, 1024},
  };
  for (const SizeCase& c : cases) {
    Rig r;
    r.Seq(0x07, c.sr07);
    r.Seq(0x01, c.sr01);
    r.Seq(0x0E, c.sr0e);
    r.Crtc(0x01, c.cr01);
    r.Crtc(0x12, c.cr12);
    r.Crtc(0x07, c.cr07);
    const Image image = r.Render();
    EXPECT_EQ(image.width, c.width) << "SR07 " << Rgb(c.sr07) << " CR01 " << Rgb(c.cr01);
    EXPECT_EQ(image.height, c.height)
        << "CR12 " << Rgb(c.cr12) << " CR07 " << Rgb(c.cr07) << " SR0E " << Rgb(c.sr0e);
    EXPECT_EQ(image.rgb.size(), static_cast<size_t>(c.width) * c.height);
  }
}

// ---- packed pixels

TEST(ScreenPacked, SixteenBitGradientsWidenFiveAndSixBitComponents) {
  Rig r;
  r.Packed(0x03, 4, 3, 8);  // 32 x 3, 64-byte lines
  for (uint32_t x = 0; x < 32; ++x) {
    r.Bytes(2 * x, {static_cast<uint8_t>(x), 0x00});            // blue 0..31
    r.Bytes(64 + 2 * x, {0x00, static_cast<uint8_t>(x << 3)});  // red 0..31
    r.Bytes(128 + 2 * x, {static_cast<uint8_t>((2 * x) << 5),   // green 0..62, even
                          static_cast<uint8_t>((2 * x) >> 3)});
  }
  const uint8_t five[32] = {0x00, 0x08, 0x10, 0x18, 0x21, 0x29, 0x31, 0x39, 0x42, 0x4A, 0x52,
                            0x5A, 0x63, 0x6B, 0x73, 0x7B, 0x84, 0x8C, 0x94, 0x9C, 0xA5, 0xAD,
                            0xB5, 0xBD, 0xC6, 0xCE, 0xD6, 0xDE, 0xE7, 0xEF, 0xF7, 0xFF};
  const uint8_t sixEven[32] = {0x00, 0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x41, 0x49, 0x51,
                               0x59, 0x61, 0x69, 0x71, 0x79, 0x82, 0x8A, 0x92, 0x9A, 0xA2, 0xAA,
                               0xB2, 0xBA, 0xC3, 0xCB, 0xD3, 0xDB, 0xE3, 0xEB, 0xF3, 0xFB};
  const Image image = r.Render();
  ASSERT_EQ(image.width, 32);
  ASSERT_EQ(image.height, 3);
  for (int x = 0; x < 32; ++x) {
    EXPECT_EQ(Rgb(image.At(x, 0)), Rgb(five[x])) << "blue, pixel " << x;
    EXPECT_EQ(Rgb(image.At(x, 1)), Rgb(uint32_t{five[x]} << 16)) << "red, pixel " << x;
    EXPECT_EQ(Rgb(image.At(x, 2)), Rgb(uint32_t{sixEven[x]} << 8)) << "green, pixel " << x;
  }
}

struct FormatCase {
  uint8_t sr07;
  std::vector<uint8_t> bytes;  // the first pixel
  uint32_t rgb;
};

TEST(ScreenPacked, PixelFormatsDecodeTheirBytes) {
  const FormatCase cases[] = {
      {0x01, {0x0F}, 0xAAAAFF},        // through the colour table (EGA entry 15)
      {0x02, {0x1F, 0x7C}, 0xFF00FF},  // x:5:5:5
      {0x02, {0x1F, 0xFC}, 0xFF00FF},  // bit 15 is not a colour
      {0x02, {0xE0, 0x03}, 0x00FF00},
      {0x03, {0xFF, 0xFF}, 0xFFFFFF},              // 5:6:5
      {0x03, {0x20, 0x00}, 0x000400},              // the lowest green step
      {0x04, {0x11, 0x22, 0x33}, 0x332211},        // B, G, R
      {0x05, {0x11, 0x22, 0x33, 0x44}, 0x332211},  // B, G, R, x
      {0x06, {0xFF, 0xFF, 0xFF, 0xFF}, 0x000000},  // no such format: nothing shown
  };
  for (const FormatCase& c : cases) {
    Rig r;
    r.Packed(c.sr07, 1, 1, 8);
    r.Bytes(0, c.bytes);
    EXPECT_EQ(Rgb(r.Render().At(0, 0)), Rgb(c.rgb)) << "SR07 " << Rgb(c.sr07);
  }
}

struct PitchCase {
  uint8_t cr13, sr0a, sr0e, cr0d;
  uint32_t line0, line1;  // byte offsets of the first pixel of lines 0 and 1
};

TEST(ScreenPacked, StartAndPitchCountEightByteUnitsFourWhenInterlaced) {
  const PitchCase cases[] = {
      {0x08, 0x00, 0x00, 0x00, 0, 64},
      {0x08, 0x00, 0x04, 0x00, 0, 32},
      {0x00, 0x10, 0x00, 0x00, 0, 2048},
      {0x00, 0x10, 0x04, 0x00, 0, 1024},
      {0x80, 0x20, 0x00, 0x00, 0, 5120},
      {0x08, 0x0F, 0x00, 0x00, 0, 64},  // SR0A bits 3-0 not pitch
      {0x08, 0x00, 0x00, 0x03, 12, 76},
  };
  for (const PitchCase& c : cases) {
    Rig r;
    r.Packed(0x03, 1, 2, c.cr13);
    r.Seq(0x0A, c.sr0a);
    r.Seq(0x0E, c.sr0e);
    r.Crtc(0x0D, c.cr0d);
    r.Bytes(c.line0, {0xFF, 0xFF});
    r.Bytes(c.line1, {0x1F, 0x00});
    const Image image = r.Render();
    const std::string where = "CR13 " + Rgb(c.cr13) + " SR0A " + Rgb(c.sr0a) + " SR0E " +
                              Rgb(c.sr0e) + " CR0D " + Rgb(c.cr0d);
    EXPECT_EQ(Rgb(image.At(0, 0)), Rgb(0xFFFFFF)) << where;
    EXPECT_EQ(Rgb(image.At(0, 1)), Rgb(0x0000FF)) << where;
  }
}

TEST(ScreenPacked, LinesBeyondVideoMemoryAreBlack) {
  sim::Profile small;
  small.memoryMB = 1;
  Rig r(small);
  r.Packed(0x05, 1, 2, 0x00);
  r.Seq(0x0A, 0xF0);   // pitch 0xF00 * 8: line 1 starts at 0x7800 ...
  r.Crtc(0x0C, 0xFF);  // ... after a start of 0xFF00 * 4 = 0x3FC00
  r.Bytes(0x3FC00, {0x00, 0x00, 0xFF, 0x00});
  const Image image = r.Render();
  EXPECT_EQ(Rgb(image.At(0, 0)), Rgb(0xFF0000));
  EXPECT_EQ(Rgb(image.At(0, 1)), Rgb(0x000000));
}

// ---- hardware pointer

constexpr uint32_t kBackground = 0x0000FF;
constexpr uint32_t kInverted = 0xFFFF00;
constexpr uint32_t kColour0 = 0x102030;
constexpr uint32_t kColour1 = 0xF0E0D0;

// A 128 x 128 blue 16-bit screen with a pointer whose row 1 begins with the
// codes 0, 1, 2, 3, 0, 1, 2, 3 and is transparent everywhere else.
class PointerRig : public Rig {
 public:
  explicit PointerRig(uint32_t base = 0x3FF800, uint8_t sr38 = 0xF0, uint8_t sr3e = 0x00,
                      const sim::Profile& profile = sim::Profile::Default())
      : Rig(profile) {
    Packed(0x03, 16, 128, 32);  // 256-byte lines (128 when interlaced)
    for (uint32_t at = 0; at < 256 * 128; at += 2)
      Bytes(at, {0x1F, 0x00});
    std::vector<uint8_t> pattern(1024, 0xAA);
    pattern[16] = 0x1B;
    pattern[17] = 0x1B;
    if (base + 1024 <= m.adapter().Vram().size()) Bytes(base, pattern);
    Seq(0x38, sr38);
    Seq(0x3E, sr3e);
    for (uint8_t i = 0; i < 6; ++i)
      Seq(0x14 + i, std::vector<uint8_t>{0x10, 0x20, 0x30, 0xF0, 0xE0, 0xD0}[i]);
    Seq(0x06, 0x40);
  }
  void At(uint16_t x, uint16_t y, uint8_t yHigh = 0x00) {
    Seq(0x1A, static_cast<uint8_t>(x));
    Seq(0x1B, static_cast<uint8_t>(x >> 8));
    Seq(0x1D, static_cast<uint8_t>(y));
    Seq(0x1E, static_cast<uint8_t>(yHigh | (y >> 8)));
  }
};

struct PointerCase {
  const char* name;
  uint16_t x, y;
  uint8_t sr1e, sr1c, sr1f, sr0e;
  int rowX, rowY;     // where the legend row starts
  const char* row;    // 'b' background, '0' '1' colours, 'i' inverted
  int pointerPixels;  // pixels that are not background
};

TEST(ScreenPointer, PatternPositionHiddenPartsAndFields) {
  const PointerCase cases[] = {
      {"at (5, 7)", 5, 7, 0x00, 0, 0, 0x00, 4, 8, "b01bi01bib", 6},
      {"field bits ignored when not interlaced", 5, 7, 0xE0, 0, 0, 0x00, 4, 8, "b01bi01bib", 6},
      {"two columns and a row hidden", 0, 0, 0x00, 2, 1, 0x00, 0, 0, "bi01bib", 4},
      {"a whole row hidden", 5, 7, 0x00, 0, 2, 0x00, 4, 7, "bbbbbbbbbb", 0},
      {"cut at the right edge", 124, 0, 0x00, 0, 0, 0x00, 124, 1, "01bi", 3},
      {"interlaced, even field", 5, 3, 0x00, 0, 0, 0x04, 4, 7, "b01bi01bib", 6},
      {"interlaced, odd field", 5, 3, 0xF0, 0, 0, 0x04, 4, 8, "b01bi01bib", 6},
      {"interlaced, odd field by one nibble bit", 5, 3, 0x10, 0, 0, 0x04, 4, 8, "b01bi01bib", 6},
      {"x beyond the screen", 0x102, 0, 0x00, 0, 0, 0x00, 0, 1, "bbbb", 0},
  };
  for (const PointerCase& c : cases) {
    PointerRig r;
    r.At(c.x, c.y, c.sr1e);
    r.Seq(0x1C, c.sr1c);
    r.Seq(0x1F, c.sr1f);
    r.Seq(0x0E, c.sr0e);
    const Image image = r.Render();
    ExpectRows(image, c.rowX, c.rowY, {c.row},
               {{'b', kBackground}, {'0', kColour0}, {'1', kColour1}, {'i', kInverted}}, c.name);
    EXPECT_EQ(static_cast<int>(image.rgb.size()) - Count(image, kBackground), c.pointerPixels)
        << c.name;
  }
}

TEST(ScreenPointer, HiddenWhenSr06Bit6IsClear) {
  PointerRig r;
  r.At(5, 7);
  r.Seq(0x06, 0x80);
  EXPECT_EQ(Count(r.Render(), kBackground), 128 * 128);
}

struct BlockCase {
  uint8_t sr38, sr3e;
  uint32_t memoryMB;
  uint32_t base;  // where the pattern lies
  bool shown;
};

TEST(ScreenPointer, PatternBlockFromSr38AndSr3e) {
  const BlockCase cases[] = {
      {0xF0, 0x00, 4, 0x3FF800, true}, {0x70, 0x00, 4, 0x1FF800, true},
      {0x0F, 0xFB, 4, 0x03F800, true},  // other bits of both registers do not count
      {0x00, 0x04, 8, 0x43F800, true},  // SR3E bit 2 is block bit 4
      {0xF0, 0x04, 8, 0x7FF800, true}, {0x00, 0x04, 4, 0x43F800, false},  // past the memory
  };
  for (const BlockCase& c : cases) {
    sim::Profile profile;
    profile.memoryMB = c.memoryMB;
    PointerRig r(c.base, c.sr38, c.sr3e, profile);
    r.At(5, 7);
    const Image image = r.Render();
    EXPECT_EQ(Rgb(image.At(5, 8)), Rgb(c.shown ? kColour0 : kBackground))
        << "SR38 " << Rgb(c.sr38) << " SR3E " << Rgb(c.sr3e);
  }
}

// ---- blanking

struct BlankCase {
  const char* name;
  void (*blank)(Rig&);
};

TEST(ScreenBlank, BlankedScreensAreBlackAtTheirSize) {
  const BlankCase cases[] = {
      {"pixel mask 0", [](Rig& r) { r.m.adapter().Out8(0x3C6, 0x00); }},
      {"palette source with the processor",
       [](Rig& r) {
         r.m.adapter().In8(0x3DA);
         r.m.adapter().Out8(0x3C0, 0x10);
       }},
      {"screen off", [](Rig& r) { r.Seq(0x01, 0x20); }},
  };
  for (const BlankCase& c : cases) {
    Rig r;
    r.Glyph(0x41, std::vector<uint8_t>(16, 0xFF));
    r.Cell(0, 0x41, 0x1E);
    c.blank(r);
    const Image image = r.Render();
    EXPECT_EQ(image.width, 720) << c.name;
    EXPECT_EQ(image.height, 400) << c.name;
    EXPECT_EQ(Count(image, kBlack), 720 * 400) << c.name;
  }
}

// ---- PNG

TEST(ScreenPng, WritesTheImageAsRgb) {
  const Image image{3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0x000000, 0xFFFFFF}};
  const std::string path = ::testing::TempDir() + "screen_test_rgb.png";
  ASSERT_TRUE(sim::screen::WritePng(image, path));
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  const std::vector<uint8_t> bytes(pixels, pixels + 18);
  stbi_image_free(pixels);
  std::remove(path.c_str());
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x12,
                                         0x34, 0x56, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
}

TEST(ScreenPng, RefusesWhatItCannotWrite) {
  const Image pixel{1, 1, {0}};
  EXPECT_FALSE(sim::screen::WritePng(pixel, "/nonexistent-directory/screen.png"));
  EXPECT_FALSE(sim::screen::WritePng(Image{}, ::testing::TempDir() + "screen_test_empty.png"));
  EXPECT_FALSE(
      sim::screen::WritePng(Image{2, 2, {0}}, ::testing::TempDir() + "screen_test_short.png"));
}

// ---- a full-screen session's window accesses

TEST(V86Memory, TextWindowGoesThroughOddEvenAndIsTraced) {
  Rig r;
  const size_t mark = r.m.trace().Start();
  r.m.V86Write8(0xB8000, 0x41);
  r.m.V86Write8(0xB8001, 0x1E);
  r.m.V86Write8(0xB8F9E, 0x42);
  EXPECT_EQ(r.m.V86Read8(0xB8001), 0x1E);
  EXPECT_EQ(r.m.V86Read8(0xA0000), 0xFF);  // GR06 maps only 0xB8000 in text modes
  r.m.V86Write8(0xBFFFF, 0x33);
  EXPECT_EQ(
      sim::CompareTraces(
          {sim::io::MemWrite8(0xA0000, 0x18000, 0x41), sim::io::MemWrite8(0xA0000, 0x18001, 0x1E),
           sim::io::MemWrite8(0xA0000, 0x18F9E, 0x42), sim::io::MemRead8(0xA0000, 0x18001, 0x1E),
           sim::io::MemRead8(0xA0000, 0x00000, 0xFF), sim::io::MemWrite8(0xA0000, 0x1FFFF, 0x33)},
          r.m.trace().Since(mark)),
      "");
  EXPECT_EQ(r.m.adapter().PlaneByte(0, 0), 0x41);
  EXPECT_EQ(r.m.adapter().PlaneByte(1, 0), 0x1E);
  EXPECT_EQ(r.m.adapter().PlaneByte(0, 0xF9E), 0x42);
  EXPECT_EQ(r.m.adapter().PlaneByte(1, 0x7FFE), 0x33);
}

TEST(V86Memory, PlanarAndChainFourWindowsAndTheLatches) {
  Rig r;
  // Planar, 0xA0000 for 64 KB: a read loads all four latches.
  r.Seq(0x04, 0x06);
  r.m.adapter().Out8(0x3CE, 0x06);
  r.m.adapter().Out8(0x3CF, 0x05);
  for (int p = 0; p < 4; ++p)
    r.Plane(p, 0x10, static_cast<uint8_t>(0xA0 + p));
  r.m.adapter().Out8(0x3CE, 0x04);
  r.m.adapter().Out8(0x3CF, 0x02);  // read map 2
  EXPECT_EQ(r.m.V86Read8(0xA0010), 0xA2);
  for (int p = 0; p < 4; ++p)
    EXPECT_EQ(r.m.adapter().Latch(p), 0xA0 + p) << "latch " << p;
  // Chain-4: byte n of the window is byte n of video memory.
  r.Seq(0x04, 0x0E);
  r.m.V86Write8(0xA0005, 0x77);
  EXPECT_EQ(r.m.adapter().Vram()[5], 0x77);
}

TEST(V86Memory, AddressesOutsideTheWindowThrowUntraced) {
  Rig r;
  const size_t mark = r.m.trace().Start();
  for (uint32_t address : {0x9FFFFu, 0xC0000u, 0xE0000000u}) {
    EXPECT_THROW(r.m.V86Read8(address), std::out_of_range) << Rgb(address);
    EXPECT_THROW(r.m.V86Write8(address, 0), std::out_of_range) << Rgb(address);
  }
  EXPECT_EQ(r.m.trace().Size(), mark);
}

}  // namespace
