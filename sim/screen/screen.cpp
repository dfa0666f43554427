// The display side of the adapter: the CRTC's timing decides the picture's
// size, the start address and the row offset where each line comes from,
// and the attribute controller, the colour table or the SR07 pixel format
// how a byte becomes a colour. The hardware pointer is laid over the result.
#include "sim/screen/screen.h"

#include <array>
#include <span>

namespace sim::screen {
namespace {

constexpr uint8_t SR01_CLOCKING = 0x01;
constexpr uint8_t SR01_8_DOT_CELLS = 0x01;
constexpr uint8_t SR01_SCREEN_OFF = 0x20;
constexpr uint8_t SR03_CHARACTER_MAPS = 0x03;
constexpr uint8_t SR06_EXTENDED_MODE = 0x06;
constexpr uint8_t SR06_POINTER_ON = 0x40;
constexpr uint8_t SR07_PIXEL_FORMAT = 0x07;
constexpr uint8_t SR0A_PITCH_HIGH = 0x0A;
constexpr uint8_t SR0E_OVERFLOW = 0x0E;
constexpr uint8_t SR0E_VDE_BIT10 = 0x01;
constexpr uint8_t SR0E_INTERLACED = 0x04;
constexpr uint8_t SR14_POINTER_COLOR0 = 0x14;  // red, green, blue
constexpr uint8_t SR17_POINTER_COLOR1 = 0x17;
constexpr uint8_t SR1A_POINTER_X_LOW = 0x1A;
constexpr uint8_t SR1B_POINTER_X_HIGH = 0x1B;
constexpr uint8_t SR1C_POINTER_HIDDEN_COLUMNS = 0x1C;
constexpr uint8_t SR1D_POINTER_Y_LOW = 0x1D;
constexpr uint8_t SR1E_POINTER_Y_HIGH = 0x1E;  // bits 7-4: odd field
constexpr uint8_t SR1F_POINTER_HIDDEN_ROWS = 0x1F;
constexpr uint8_t SR38_POINTER_BLOCK = 0x38;
constexpr uint8_t SR3E_MARTEN_CONTROL = 0x3E;

constexpr uint8_t CR01_HORIZONTAL_DISPLAY_END = 0x01;
constexpr uint8_t CR07_OVERFLOW = 0x07;
constexpr uint8_t CR09_MAX_SCAN_LINE = 0x09;
constexpr uint8_t CR0A_CURSOR_START = 0x0A;
constexpr uint8_t CR0A_CURSOR_OFF = 0x20;
constexpr uint8_t CR0B_CURSOR_END = 0x0B;
constexpr uint8_t CR0C_START_HIGH = 0x0C;
constexpr uint8_t CR0D_START_LOW = 0x0D;
constexpr uint8_t CR0E_CURSOR_HIGH = 0x0E;
constexpr uint8_t CR0F_CURSOR_LOW = 0x0F;
constexpr uint8_t CR12_VERTICAL_DISPLAY_END = 0x12;
constexpr uint8_t CR13_OFFSET = 0x13;

constexpr uint8_t AR10_MODE_CONTROL = 0x10;
constexpr uint8_t AR10_GRAPHICS = 0x01;
constexpr uint8_t AR10_LINE_GRAPHICS = 0x04;
constexpr uint8_t AR10_BLINK = 0x08;
constexpr uint8_t AR10_P54_SELECT = 0x80;
constexpr uint8_t AR14_COLOR_SELECT = 0x14;
constexpr uint8_t AR_PALETTE_SOURCE = 0x20;  // in the address register

constexpr uint32_t kPlaneBytes = 0x10000;
constexpr uint32_t kFontSlotBytes = 32;
constexpr uint32_t kPointerBlock = 0x40000;
constexpr uint32_t kPointerFromBlockEnd = 0x800;
constexpr int kPointerSize = 64;
constexpr int kPointerRowBytes = 16;

enum class PixelFormat : uint8_t {
  Vga = 0x00,
  Indexed8 = 0x01,
  Rgb555 = 0x02,
  Rgb565 = 0x03,
  Bgr24 = 0x04,
  Bgrx32 = 0x05,
};

uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) {
  return (r << 16) | (g << 8) | b;
}

// Components widened by repeating their top bits, so full scale stays full.
uint32_t Widen6(uint32_t v) {
  v &= 0x3F;
  return (v << 2) | (v >> 4);
}
uint32_t Widen5(uint32_t v) {
  v &= 0x1F;
  return (v << 3) | (v >> 2);
}

uint32_t DacColour(const Adapter& a, uint8_t index) {
  const Rgb c = a.Dac(static_cast<uint8_t>(index & a.PelMask()));
  return Pack(Widen6(c.r), Widen6(c.g), Widen6(c.b));
}

// Lines of the active display: the vertical display end, bits 7-0 in CR12,
// 8 and 9 in CR07 bits 1 and 6, 10 in SR0E bit 0, plus one.
int DisplayedLines(const Adapter& a) {
  const uint8_t overflow = a.Crtc(CR07_OVERFLOW);
  const uint32_t end = a.Crtc(CR12_VERTICAL_DISPLAY_END) | ((overflow >> 1) & 1u) << 8 |
                       ((overflow >> 6) & 1u) << 9 |
                       uint32_t{(a.Seq(SR0E_OVERFLOW) & SR0E_VDE_BIT10) ? 1u : 0u} << 10;
  return static_cast<int>(end) + 1;
}

int DisplayedCharacters(const Adapter& a) {
  return a.Crtc(CR01_HORIZONTAL_DISPLAY_END) + 1;
}

uint32_t StartAddress(const Adapter& a) {
  return uint32_t{a.Crtc(CR0C_START_HIGH)} << 8 | a.Crtc(CR0D_START_LOW);
}

bool Interlaced(const Adapter& a) {
  return (a.Seq(SR0E_OVERFLOW) & SR0E_INTERLACED) != 0;
}

// Nothing reaches the monitor with the sequencer's screen off, the attribute
// controller's palette source taken by the processor, or a pixel mask of 0.
bool Blanked(const Adapter& a) {
  if (a.Seq(SR01_CLOCKING) & SR01_SCREEN_OFF) return true;
  if (a.PelMask() == 0) return true;
  return (a.WholeState().attrIndex & AR_PALETTE_SOURCE) == 0;
}

Image Blank(int width, int height) {
  return Image{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, 0)};
}

// ---- text

// The sixteen attribute colours: palette register, AR14's colour select,
// pixel mask, colour table.
std::array<uint32_t, 16> AttributeColours(const Adapter& a) {
  const uint8_t modeControl = a.Attr(AR10_MODE_CONTROL);
  const uint8_t select = a.Attr(AR14_COLOR_SELECT);
  std::array<uint32_t, 16> colours{};
  for (uint8_t i = 0; i < 16; ++i) {
    uint8_t index = a.Attr(i) & 0x3F;
    if (modeControl & AR10_P54_SELECT) {
      index = static_cast<uint8_t>((index & 0x0F) | (select & 0x03) << 4);
    }
    index = static_cast<uint8_t>(index | (select & 0x0C) << 4);
    colours[i] = DacColour(a, index);
  }
  return colours;
}

// Plane 2 offset of a character map: SR03 bits 3-2 and 5 pick map A, bits
// 1-0 and 4 map B; the low two bits count 16 KB, the high one 8 KB.
uint32_t FontBase(uint8_t select) {
  return (select & 3u) * 0x4000 + ((select >> 2) & 1u) * 0x2000;
}

struct TextLayout {
  int columns, lines, cellWidth, cellHeight;
  uint32_t start, rowStep;  // in character positions
};

struct Cursor {
  bool shown;
  uint32_t address;
  int firstLine, lastLine;
};

Cursor TextCursor(const Adapter& a) {
  const uint8_t start = a.Crtc(CR0A_CURSOR_START);
  const uint8_t end = a.Crtc(CR0B_CURSOR_END);
  // The cursor does not blink here: it is drawn whenever it is enabled.
  return Cursor{(start & CR0A_CURSOR_OFF) == 0,
                uint32_t{a.Crtc(CR0E_CURSOR_HIGH)} << 8 | a.Crtc(CR0F_CURSOR_LOW), start & 0x1F,
                end & 0x1F};
}

void DrawCell(const Adapter& a, const TextLayout& t, const std::array<uint32_t, 16>& colours,
              const Cursor& cursor, uint32_t address, int x0, int y0, Image& image) {
  // Word addressing: character position n is plane byte 2n, character in
  // plane 0, attribute in plane 1.
  const uint32_t at = (address * 2) % kPlaneBytes;
  const uint8_t ch = a.PlaneByte(0, at);
  const uint8_t attribute = a.PlaneByte(1, at);
  const uint8_t modeControl = a.Attr(AR10_MODE_CONTROL);
  const uint8_t maps = a.Seq(SR03_CHARACTER_MAPS);
  const uint8_t mapSelect =
      (attribute & 0x08) ? ((maps >> 2) & 3) | ((maps >> 3) & 4) : (maps & 3) | ((maps >> 2) & 4);
  const uint32_t glyph = FontBase(mapSelect) + ch * kFontSlotBytes;
  const uint32_t foreground = colours[attribute & 0x0F];
  // With blinking on, bit 7 blinks the character instead of brightening the
  // background; the picture shows the visible phase.
  const uint32_t background =
      colours[(modeControl & AR10_BLINK) ? (attribute >> 4) & 0x07 : attribute >> 4];
  const bool lineGraphics = (modeControl & AR10_LINE_GRAPHICS) && ch >= 0xC0 && ch <= 0xDF;
  const bool cursorHere = cursor.shown && cursor.address == address;

  for (int line = 0; line < t.cellHeight && y0 + line < image.height; ++line) {
    const uint8_t bits = a.PlaneByte(2, glyph + static_cast<uint32_t>(line));
    const bool cursorLine = cursorHere && line >= cursor.firstLine && line <= cursor.lastLine;
    for (int dot = 0; dot < t.cellWidth; ++dot) {
      bool on;
      if (dot < 8) {
        on = (bits >> (7 - dot)) & 1;
      } else {
        on = lineGraphics && (bits & 1);  // the ninth dot repeats the eighth
      }
      image.rgb[static_cast<size_t>(y0 + line) * image.width + x0 + dot] =
          (on || cursorLine) ? foreground : background;
    }
  }
}

Image RenderText(const Adapter& a) {
  TextLayout t{};
  t.columns = DisplayedCharacters(a);
  t.lines = DisplayedLines(a);
  t.cellWidth = (a.Seq(SR01_CLOCKING) & SR01_8_DOT_CELLS) ? 8 : 9;
  t.cellHeight = (a.Crtc(CR09_MAX_SCAN_LINE) & 0x1F) + 1;
  t.start = StartAddress(a);
  t.rowStep = 2u * a.Crtc(CR13_OFFSET);  // CR13 counts words

  Image image = Blank(t.columns * t.cellWidth, t.lines);
  const std::array<uint32_t, 16> colours = AttributeColours(a);
  const Cursor cursor = TextCursor(a);
  for (int row = 0; row * t.cellHeight < t.lines; ++row) {
    for (int col = 0; col < t.columns; ++col) {
      const uint32_t address = t.start + static_cast<uint32_t>(row) * t.rowStep + col;
      DrawCell(a, t, colours, cursor, address, col * t.cellWidth, row * t.cellHeight, image);
    }
  }
  return image;
}

// ---- packed pixels

// Bytes from one scan line to the next: CR13 and SR0A bits 7-4 count 8-byte
// units, 4-byte units when interlaced (each field skips the other's lines).
uint32_t Pitch(const Adapter& a) {
  const uint32_t offset = a.Crtc(CR13_OFFSET) | uint32_t{a.Seq(SR0A_PITCH_HIGH) & 0xF0u} << 4;
  return Interlaced(a) ? offset * 4 : offset * 8;
}

int BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Indexed8:
      return 1;
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565:
      return 2;
    case PixelFormat::Bgr24:
      return 3;
    case PixelFormat::Bgrx32:
      return 4;
    case PixelFormat::Vga:
      break;
  }
  return 0;
}

uint32_t Decode(const Adapter& a, PixelFormat format, const uint8_t* p) {
  switch (format) {
    case PixelFormat::Indexed8:
      return DacColour(a, p[0]);
    case PixelFormat::Rgb555: {
      const uint32_t w = p[0] | uint32_t{p[1]} << 8;
      return Pack(Widen5(w >> 10), Widen5(w >> 5), Widen5(w));
    }
    case PixelFormat::Rgb565: {
      const uint32_t w = p[0] | uint32_t{p[1]} << 8;
      return Pack(Widen5(w >> 11), Widen6(w >> 5), Widen5(w));
    }
    case PixelFormat::Bgr24:
    case PixelFormat::Bgrx32:
      return Pack(p[2], p[1], p[0]);
    case PixelFormat::Vga:
      break;
  }
  return 0;
}

Image RenderPacked(const Adapter& a, PixelFormat format) {
  Image image = Blank(DisplayedCharacters(a) * 8, DisplayedLines(a));
  const int bytes = BytesPerPixel(format);
  if (bytes == 0) return image;  // a format the display cannot scan: black
  const std::span<const uint8_t> vram = a.Vram();
  const uint64_t start = uint64_t{StartAddress(a)} * 4;  // counts 4-byte units
  const uint32_t pitch = Pitch(a);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint64_t at = start + uint64_t{pitch} * y + uint64_t(x) * bytes;
      if (at + bytes > vram.size()) continue;  // beyond the memory: nothing drives the line
      image.rgb[static_cast<size_t>(y) * image.width + x] = Decode(a, format, &vram[at]);
    }
  }
  return image;
}

// ---- hardware pointer

uint32_t SeqColour(const Adapter& a, uint8_t first) {
  return Pack(a.Seq(first), a.Seq(static_cast<uint8_t>(first + 1)),
              a.Seq(static_cast<uint8_t>(first + 2)));
}

// The 64 x 64 pattern, 2 bits a pixel, leftmost in bits 7-6: 0 colour 0,
// 1 colour 1, 2 the screen, 3 the screen inverted. Its first SR1C columns
// and SR1F rows are cut off and the rest starts at the position. In an
// interlaced mode the position counts field lines and SR1E bits 7-4 pick
// the odd field; the copy at +1 KB that the odd field scans is the same
// shape, so the frame is drawn from the first.
void DrawPointer(const Adapter& a, Image& image) {
  if (!(a.Seq(SR06_EXTENDED_MODE) & SR06_POINTER_ON)) return;
  const uint32_t block = (a.Seq(SR38_POINTER_BLOCK) >> 4) | ((a.Seq(SR3E_MARTEN_CONTROL) >> 2) & 1u)
                                                                << 4;
  const uint64_t base = uint64_t{block + 1} * kPointerBlock - kPointerFromBlockEnd;
  const std::span<const uint8_t> vram = a.Vram();
  if (base + kPointerSize * kPointerRowBytes > vram.size()) return;

  const int x = a.Seq(SR1A_POINTER_X_LOW) | (a.Seq(SR1B_POINTER_X_HIGH) & 0x07) << 8;
  int y = a.Seq(SR1D_POINTER_Y_LOW) | (a.Seq(SR1E_POINTER_Y_HIGH) & 0x07) << 8;
  if (Interlaced(a)) y = 2 * y + ((a.Seq(SR1E_POINTER_Y_HIGH) & 0xF0) ? 1 : 0);
  const int hiddenColumns = a.Seq(SR1C_POINTER_HIDDEN_COLUMNS) & 0x3F;
  const int hiddenRows = a.Seq(SR1F_POINTER_HIDDEN_ROWS) & 0x3F;
  const uint32_t colour0 = SeqColour(a, SR14_POINTER_COLOR0);
  const uint32_t colour1 = SeqColour(a, SR17_POINTER_COLOR1);

  for (int row = hiddenRows; row < kPointerSize; ++row) {
    const int sy = y + row - hiddenRows;
    if (sy >= image.height) break;
    for (int col = hiddenColumns; col < kPointerSize; ++col) {
      const int sx = x + col - hiddenColumns;
      if (sx >= image.width) break;
      const uint8_t byte = vram[base + row * kPointerRowBytes + col / 4];
      const unsigned code = (byte >> (6 - 2 * (col % 4))) & 3u;
      uint32_t& pixel = image.rgb[static_cast<size_t>(sy) * image.width + sx];
      switch (code) {
        case 0:
          pixel = colour0;
          break;
        case 1:
          pixel = colour1;
          break;
        case 3:
          pixel = ~pixel & 0xFFFFFF;
          break;
        default:
          break;
      }
    }
  }
}

}  // namespace

Image RenderScreen(const Adapter& adapter) {
  const auto format = static_cast<PixelFormat>(adapter.Seq(SR07_PIXEL_FORMAT));
  const bool vga = format == PixelFormat::Vga;
  if (Blanked(adapter)) {
    return Blank(DisplayedCharacters(adapter) *
                     (vga && !(adapter.Seq(SR01_CLOCKING) & SR01_8_DOT_CELLS) ? 9 : 8),
                 DisplayedLines(adapter));
  }
  Image image;
  if (!vga) {
    image = RenderPacked(adapter, format);
  } else if (!(adapter.Attr(AR10_MODE_CONTROL) & AR10_GRAPHICS)) {
    image = RenderText(adapter);
  } else {
    // Planar VGA graphics: no mode of this adapter's BIOS uses it.
    image = Blank(DisplayedCharacters(adapter) * 8, DisplayedLines(adapter));
  }
  DrawPointer(adapter, image);
  return image;
}

}  // namespace sim::screen
