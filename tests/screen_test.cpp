// The screen as the adapter shows it, pixel by pixel from known register and
// memory contents: a text cell and each packed pixel format; and the PNG
// file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/screen/screen.h"

#include <stb/stb_image.h>

namespace {

using sim::Machine;
using sim::screen::Image;
using sim::screen::RenderScreen;

// EGA colours as the BIOS's text palette gives them, 6-bit DAC values widened.
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBlue = 0x0000AA;
constexpr uint32_t kBrown = 0xAA5500;
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
  Rig() {
    Seq(0x05, 0x86);
    VIDEO_X86_BIOS_ARGUMENTS args{};
    args.Eax = 0x03;
    EXPECT_EQ(m.bios().Int10(args), NO_ERROR);
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

// ---- packed pixels

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

}  // namespace
