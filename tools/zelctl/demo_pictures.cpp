#include "tools/zelctl/demo_pictures.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string_view>

namespace zelctl::demo {

namespace {

uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) {
  return (r << 16) | (g << 8) | b;
}

uint32_t Red(uint32_t rgb) {
  return (rgb >> 16) & 0xFF;
}
uint32_t Green(uint32_t rgb) {
  return (rgb >> 8) & 0xFF;
}
uint32_t Blue(uint32_t rgb) {
  return rgb & 0xFF;
}

// A component of `bits` bits widened to 8 by repeating its top bits, as the
// DAC and the direct-colour pipeline do.
uint32_t Widen(uint32_t value, int bits) {
  if (bits >= 8) return value >> (bits - 8);
  return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

// An 8-bit component into the field of `mask`, and back as the monitor shows it.
uint32_t IntoMask(uint32_t component, uint32_t mask) {
  const int bits = std::popcount(mask);
  const int shift = std::countr_zero(mask);
  return ((component >> (8 - bits)) << shift) & mask;
}

uint32_t FromMask(uint32_t pixel, uint32_t mask) {
  return Widen((pixel & mask) >> std::countr_zero(mask), std::popcount(mask));
}

// The colour table: a 6 x 6 x 6 colour cube, then 40 greys.
constexpr uint32_t kCubeLevels = 6, kCubeEntries = 216, kGreyEntries = 40;

// Level `value` of `top` as a 6-bit DAC component.
uint8_t Scale6(uint32_t value, uint32_t top) {
  return static_cast<uint8_t>((value * 63 + top / 2) / top);
}

uint32_t HueRamp(int x, int width) {
  const int position = x * 6 * 256 / width;  // six 256-step segments
  const uint32_t up = position % 256, down = 255 - up;
  switch (position / 256) {
    case 0:
      return Pack(255, up, 0);
    case 1:
      return Pack(down, 255, 0);
    case 2:
      return Pack(0, 255, up);
    case 3:
      return Pack(0, down, 255);
    case 4:
      return Pack(up, 0, 255);
    default:
      return Pack(255, 0, down);
  }
}

}  // namespace

PixelLayout LayoutOf(const VIDEO_MODE_INFORMATION& mode) {
  const int bits = static_cast<int>(mode.BitsPerPlane * mode.NumberOfPlanes);
  return PixelLayout{(bits + 7) / 8, (mode.AttributeFlags & VIDEO_MODE_PALETTE_DRIVEN) != 0,
                     mode.RedMask, mode.GreenMask, mode.BlueMask};
}

uint32_t TestImageColour(int x, int y, int width, int height) {
  if (x == 0 || y == 0 || x == width - 1 || y == height - 1) return 0xFFFFFF;
  constexpr uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  const int band = y * 16 / height;
  const uint32_t ramp = static_cast<uint32_t>(x * 256 / width);
  if (band < 6) return kBars[x * 8 / width];
  if (band == 6) return Pack(ramp, 0, 0);
  if (band == 7) return Pack(0, ramp, 0);
  if (band == 8) return Pack(0, 0, ramp);
  if (band == 9) return Pack(ramp, ramp, ramp);
  if (band < 12) return HueRamp(x, width);
  return ((x / 32 + y / 32) % 2) ? 0x008080 : 0x004050;
}

uint32_t EncodePixel(const PixelLayout& layout, uint32_t rgb) {
  if (layout.palette) {
    if (Red(rgb) == Green(rgb) && Green(rgb) == Blue(rgb)) {
      return kCubeEntries + (Red(rgb) * (kGreyEntries - 1) + 127) / 255;
    }
    const auto level = [](uint32_t c) { return (c * (kCubeLevels - 1) + 127) / 255; };
    return (level(Red(rgb)) * kCubeLevels + level(Green(rgb))) * kCubeLevels + level(Blue(rgb));
  }
  return IntoMask(Red(rgb), layout.redMask) | IntoMask(Green(rgb), layout.greenMask) |
         IntoMask(Blue(rgb), layout.blueMask);
}

std::array<VIDEO_CLUTDATA, 256> PaletteTable() {
  std::array<VIDEO_CLUTDATA, 256> table{};
  for (uint32_t i = 0; i < kCubeEntries; ++i) {
    const uint32_t r = i / (kCubeLevels * kCubeLevels), g = i / kCubeLevels % kCubeLevels,
                   b = i % kCubeLevels;
    table[i] = {Scale6(r, kCubeLevels - 1), Scale6(g, kCubeLevels - 1), Scale6(b, kCubeLevels - 1),
                0};
  }
  for (uint32_t i = 0; i < kGreyEntries; ++i) {
    const uint8_t grey = Scale6(i, kGreyEntries - 1);
    table[kCubeEntries + i] = {grey, grey, grey, 0};
  }
  return table;
}

uint32_t ShownColour(const PixelLayout& layout, uint32_t pixel) {
  if (layout.palette) {
    static const std::array<VIDEO_CLUTDATA, 256> table = PaletteTable();
    const VIDEO_CLUTDATA entry = table[pixel & 0xFF];
    return Pack(Widen(entry.Red, 6), Widen(entry.Green, 6), Widen(entry.Blue, 6));
  }
  return Pack(FromMask(pixel, layout.redMask), FromMask(pixel, layout.greenMask),
              FromMask(pixel, layout.blueMask));
}

Image ExpectedDesktop(const PixelLayout& layout, int width, int height) {
  Image image{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.rgb[static_cast<size_t>(y) * width + x] =
          ShownColour(layout, EncodePixel(layout, TestImageColour(x, y, width, height)));
    }
  }
  return image;
}

PointerShape ArrowPointer() {
  // B black, W white, anything else transparent.
  constexpr std::string_view kArrow[] = {
      "B",           "BB",           "BWB",         "BWWB",        "BWWWB",
      "BWWWWB",      "BWWWWWB",      "BWWWWWWB",    "BWWWWWWWB",   "BWWWWWWWWB",
      "BWWWWWWWWWB", "BWWWWWWBBBBB", "BWWWBWWB",    "BWWB BWWB",   "BWB  BWWB",
      "BB    BWWB",  "B     BWWB",   "       BWWB", "       BWWB", "        BB",
  };
  PointerShape shape{};
  shape.andMask.fill(0xFF);
  shape.xorMask.fill(0x00);
  for (size_t row = 0; row < std::size(kArrow); ++row) {
    for (size_t col = 0; col < kArrow[row].size(); ++col) {
      const char c = kArrow[row][col];
      const auto bit = static_cast<uint8_t>(0x80 >> (col % 8));
      const size_t at = row * 8 + col / 8;
      if (c == 'B' || c == 'W') shape.andMask[at] &= static_cast<uint8_t>(~bit);
      if (c == 'W') shape.xorMask[at] |= bit;
    }
  }
  return shape;
}

void OverlayPointer(Image& image, const PointerShape& shape, int column, int row) {
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int sx = column + x, sy = row + y;
      if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height) continue;
      const size_t at = static_cast<size_t>(y) * 8 + x / 8;
      const int shift = 7 - x % 8;
      const bool keep = (shape.andMask[at] >> shift) & 1;
      const bool flip = (shape.xorMask[at] >> shift) & 1;
      uint32_t& pixel = image.rgb[static_cast<size_t>(sy) * image.width + sx];
      if (!keep) {
        pixel = flip ? 0xFFFFFF : 0x000000;
      } else if (flip) {
        pixel = ~pixel & 0xFFFFFF;
      }
    }
  }
}

// ---- the full-screen session

namespace {

class ScreenWriter {
 public:
  explicit ScreenWriter(TextScreen& screen) : screen_(screen) {}

  // `count` cells from (row, column) on, running on into the rows below.
  void Fill(int row, int column, int count, uint8_t character, uint8_t attribute) {
    const int first = row * kTextColumns + column;
    for (int cell = first; cell < first + count; ++cell)
      Put(cell / kTextColumns, cell % kTextColumns, character, attribute);
  }
  void Text(int row, int column, std::string_view text, uint8_t attribute) {
    for (size_t i = 0; i < text.size(); ++i)
      Put(row, column + static_cast<int>(i), static_cast<uint8_t>(text[i]), attribute);
  }
  void Put(int row, int column, uint8_t character, uint8_t attribute) {
    if (row < 0 || row >= kTextRows || column < 0 || column >= kTextColumns) return;
    screen_.characters[row * kTextColumns + column] = character;
    screen_.attributes[row * kTextColumns + column] = attribute;
  }

 private:
  TextScreen& screen_;
};

// Attributes: background in bits 6-4, foreground in bits 3-0 (bit 7 blinks).
constexpr uint8_t kDesk = 0x17, kFrame = 0x1F, kLabel = 0x1B, kValue = 0x1E, kBar = 0x70,
                  kKeys = 0x30, kPrompt = 0x07;

// Code page 437 double-line box pieces.
constexpr uint8_t kTopLeft = 0xC9, kTopRight = 0xBB, kBottomLeft = 0xC8, kBottomRight = 0xBC,
                  kHorizontal = 0xCD, kVertical = 0xBA, kBlock = 0xDB;

}  // namespace

TextScreen SessionScreen(const std::string& adapterLine) {
  TextScreen screen{};
  ScreenWriter w(screen);
  w.Fill(0, 0, kTextColumns * kTextRows, ' ', kDesk);
  w.Fill(0, 0, kTextColumns, ' ', kBar);
  w.Text(0, 1, "Zel Diagnostics", kBar);
  w.Text(0, 60, "full-screen session", kBar);

  constexpr int kTop = 2, kBottom = 19, kLeft = 3, kRight = 76;
  w.Put(kTop, kLeft, kTopLeft, kFrame);
  w.Put(kTop, kRight, kTopRight, kFrame);
  w.Put(kBottom, kLeft, kBottomLeft, kFrame);
  w.Put(kBottom, kRight, kBottomRight, kFrame);
  w.Fill(kTop, kLeft + 1, kRight - kLeft - 1, kHorizontal, kFrame);
  w.Fill(kBottom, kLeft + 1, kRight - kLeft - 1, kHorizontal, kFrame);
  for (int row = kTop + 1; row < kBottom; ++row) {
    w.Put(row, kLeft, kVertical, kFrame);
    w.Put(row, kRight, kVertical, kFrame);
  }
  w.Text(kTop, 32, " Adapter check ", kFrame);

  constexpr int kLabels = 6, kValues = 19;
  w.Text(4, kLabels, "Adapter", kLabel);
  w.Text(4, kValues, adapterLine, kValue);
  w.Text(5, kLabels, "Text mode", kLabel);
  w.Text(5, kValues, "80 x 25, the BIOS's 8 x 16 ROM font", kValue);
  w.Text(6, kLabels, "Screen", kLabel);
  w.Text(6, kValues, "ZELDEMO.COM, at 0B8000 and by INT 10h teletype", kValue);
  w.Text(8, kLabels, "Colours", kLabel);
  for (int colour = 0; colour < 16; ++colour) {
    w.Fill(8, kValues + 3 * colour, 2, kBlock, static_cast<uint8_t>(0x10 | colour));
  }
  w.Text(10, kLabels, "Characters", kLabel);
  for (int i = 0; i < 48; ++i) {
    w.Put(10, kValues + i, static_cast<uint8_t>(0xB0 + i), kValue);
    w.Put(11, kValues + i, static_cast<uint8_t>(0xE0 + i % 32), kValue);
  }
  w.Text(13, kLabels, "The program now switches to 8-dot cells at 25 MHz and a deeper", kFrame);
  w.Text(14, kLabels, "blue under a synchronous reset of its own. The console saves it,", kFrame);
  w.Text(15, kLabels, "the desktop takes the screen, and the restore brings back every", kFrame);
  w.Text(16, kLabels, "pixel of this screen: 0123456789.", kFrame);

  w.Fill(20, 0, kTextColumns * 4, ' ', kPrompt);
  w.Text(kSessionCursor.row, 0, "C:\\ZEL>", kPrompt);
  w.Fill(24, 0, kTextColumns, ' ', kKeys);
  w.Text(24, 1, "F1 Help   F3 Exit   F5 Again", kKeys);
  return screen;
}

std::array<uint32_t, 16> SessionColours() {
  std::array<uint32_t, 16> colours = {
      0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
      0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
  };
  colours[1] =
      Pack(Widen(kSessionBlue[0], 6), Widen(kSessionBlue[1], 6), Widen(kSessionBlue[2], 6));
  return colours;
}

Image ExpectedText(const TextScreen& screen, std::span<const uint8_t> font,
                   const std::array<uint32_t, 16>& colours, const TextCursor& cursor) {
  constexpr int kCellWidth = 8;
  Image image{kTextColumns * kCellWidth, kTextRows * kGlyphLines,
              std::vector<uint32_t>(kTextColumns * kCellWidth * kTextRows * kGlyphLines)};
  for (int row = 0; row < kTextRows; ++row) {
    for (int col = 0; col < kTextColumns; ++col) {
      const uint8_t c = screen.characters[row * kTextColumns + col];
      const uint8_t attribute = screen.attributes[row * kTextColumns + col];
      const bool cursorHere = row == cursor.row && col == cursor.column;
      for (int line = 0; line < kGlyphLines; ++line) {
        const uint8_t bits = font[c * kGlyphLines + line];
        const bool cursorLine = cursorHere && line >= cursor.firstLine && line <= cursor.lastLine;
        for (int dot = 0; dot < kCellWidth; ++dot) {
          const bool on = cursorLine || ((bits >> (7 - dot)) & 1);
          image.rgb[static_cast<size_t>(row * kGlyphLines + line) * image.width + col * kCellWidth +
                    dot] = colours[on ? attribute & 0x0F : (attribute >> 4) & 0x07];
        }
      }
    }
  }
  return image;
}

std::optional<std::string> Difference(const Image& shown, const Image& expected) {
  char text[160];
  if (shown.width != expected.width || shown.height != expected.height) {
    std::snprintf(text, sizeof text, "the picture is %d x %d, expected %d x %d", shown.width,
                  shown.height, expected.width, expected.height);
    return std::string(text);
  }
  const auto mismatch = std::mismatch(shown.rgb.begin(), shown.rgb.end(), expected.rgb.begin());
  if (mismatch.first == shown.rgb.end()) return std::nullopt;
  const auto at = static_cast<int>(mismatch.first - shown.rgb.begin());
  const auto differing =
      std::inner_product(shown.rgb.begin(), shown.rgb.end(), expected.rgb.begin(), size_t{0},
                         std::plus<>(), std::not_equal_to<>());
  std::snprintf(text, sizeof text, "pixel (%d, %d) is 0x%06x, expected 0x%06x (%zu pixels differ)",
                at % shown.width, at / shown.width, static_cast<unsigned>(*mismatch.first),
                static_cast<unsigned>(*mismatch.second), differing);
  return std::string(text);
}

}  // namespace zelctl::demo
