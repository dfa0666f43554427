// What the demo draws and what it expects the monitor to show: the desktop's
// test image in any pixel layout a mode offers, the arrow pointer, the
// full-screen session's font and screen of text. The expected pictures are
// worked out here from what was drawn, never read back from the adapter.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/screen/screen.h"

namespace zelctl::demo {

using sim::screen::Image;

// How a graphics mode stores a pixel, from its mode record.
struct PixelLayout {
  int bytesPerPixel;
  bool palette;  // an index into the colour table
  uint32_t redMask, greenMask, blueMask;
};

PixelLayout LayoutOf(const VIDEO_MODE_INFORMATION& mode);

// The colour of the desktop test image at (x, y) as 0xRRGGBB: a white frame,
// colour bars, colour ramps, a grey ramp and a checkerboard.
uint32_t TestImageColour(int x, int y, int width, int height);

// The pixel value that stores `rgb` (in a palette mode the nearest entry of
// the colour table: a grey for greys, else the colour cube).
uint32_t EncodePixel(const PixelLayout& layout, uint32_t rgb);

// The colour table a palette mode loads, 6-bit components as the DAC takes
// them: a 6 x 6 x 6 colour cube, then 40 greys from black to white.
std::array<VIDEO_CLUTDATA, 256> PaletteTable();

// The colour the monitor shows for a stored pixel value.
uint32_t ShownColour(const PixelLayout& layout, uint32_t pixel);

// The desktop as drawn, before the pointer.
Image ExpectedDesktop(const PixelLayout& layout, int width, int height);

// A 64 x 64 monochrome pointer: AND mask then XOR mask, 8 bytes a row each.
struct PointerShape {
  std::array<uint8_t, 512> andMask;
  std::array<uint8_t, 512> xorMask;
};

PointerShape ArrowPointer();

// Puts the pointer on `image` with its top left corner at (column, row), as
// the chip combines it: black, white, transparent or the screen inverted.
void OverlayPointer(Image& image, const PointerShape& shape, int column, int row);

// ---- the full-screen session

inline constexpr int kTextColumns = 80;
inline constexpr int kTextRows = 25;
inline constexpr int kGlyphLines = 16;

// Character and attribute of each cell, row by row.
struct TextScreen {
  std::array<uint8_t, kTextColumns * kTextRows> characters;
  std::array<uint8_t, kTextColumns * kTextRows> attributes;
};

// The screen the session writes; `adapterLine` describes the adapter found.
TextScreen SessionScreen(const std::string& adapterLine);

// Where the session leaves the cursor, and its lines in the cell.
struct TextCursor {
  int column, row;
  int firstLine, lastLine;
};

inline constexpr TextCursor kSessionCursor{8, 22, 14, 15};

// The sixteen text colours of the 80 x 25 colour text mode, 0xRRGGBB, with
// colour 1 as the session reprograms it.
std::array<uint32_t, 16> SessionColours();

// The colour the session gives DAC entry 1, 6-bit components.
inline constexpr std::array<uint8_t, 3> kSessionBlue{0x04, 0x10, 0x22};

// The text screen as 8-dot cells of the font's 16 lines.
Image ExpectedText(const TextScreen& screen, std::span<const uint8_t> font,
                   const std::array<uint32_t, 16>& colours, const TextCursor& cursor);

// The first pixel where two pictures differ, or their sizes, for a person;
// nothing when they are equal.
std::optional<std::string> Difference(const Image& shown, const Image& expected);

}  // namespace zelctl::demo
