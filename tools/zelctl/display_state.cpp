#include "tools/zelctl/display_state.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/vga/attribute.h"
#include "sim/vga/crtc.h"
#include "sim/vga/general.h"
#include "sim/vga/graphics.h"
#include "sim/vga/sequencer.h"
#include "sim/zel/extensions.h"
#include "tools/zelctl/format.h"
#include "tools/zelctl/registers.h"

namespace zelctl {
namespace {

using namespace sim::vga;
using namespace sim::zel;
using regs::File;
using regs::Single;

unsigned Bit(uint8_t value, unsigned bit) {
  return (value >> bit) & 1u;
}

// ---- the CRTC's frame

// Horizontal values in dots, vertical in lines, as the VGA counts them:
// the totals are stored minus 5 characters and minus 2 lines, the ends of
// the retraces as their low 5 (horizontal) or 4 (vertical) bits. SR0E
// holds the bits beyond the VGA's.
struct Frame {
  unsigned cellDots;
  unsigned hTotal, hDisplay, hSyncStart, hSyncEnd;
  unsigned vTotal, vDisplay, vSyncStart, vSyncEnd;
  bool hNegative, vNegative, interlaced;
};

// The pixel formats take 8 dots a character clock; the VGA path 8 or 9 by
// SR01 bit 0.
Frame DecodeFrame(const sim::Adapter& a, bool packed) {
  const uint8_t cr07 = a.Crtc(kCr07Overflow);
  const uint8_t sr0e = a.Seq(kSr0EOverflow);
  Frame f{};
  f.cellDots = packed || (a.Seq(kSr01Clocking) & kSr01EightDotCells) ? 8 : 9;
  f.hTotal = ((a.Crtc(kCr00HorizontalTotal) | Bit(sr0e, 5) << 8) + 5) * f.cellDots;
  f.hDisplay = (a.Crtc(kCr01HorizontalDisplayEnd) + 1u) * f.cellDots;
  const unsigned hStart = a.Crtc(kCr04HorizontalRetraceStart);
  unsigned hWidth = ((a.Crtc(kCr05HorizontalRetraceEnd) & 0x1Fu) - hStart) & 0x1Fu;
  if (hWidth == 0) hWidth = 32;
  f.hSyncStart = hStart * f.cellDots;
  f.hSyncEnd = (hStart + hWidth) * f.cellDots;
  f.vTotal =
      (a.Crtc(kCr06VerticalTotal) | Bit(cr07, 0) << 8 | Bit(cr07, 5) << 9 | Bit(sr0e, 1) << 10) + 2;
  f.vDisplay = (a.Crtc(kCr12VerticalDisplayEnd) | Bit(cr07, 1) << 8 | Bit(cr07, 6) << 9 |
                Bit(sr0e, 0) << 10) +
               1;
  f.vSyncStart = a.Crtc(kCr10VerticalRetraceStart) | Bit(cr07, 2) << 8 | Bit(cr07, 7) << 9 |
                 Bit(sr0e, 4) << 10;
  unsigned vWidth = ((a.Crtc(kCr11VerticalRetraceEnd) & 0x0Fu) - f.vSyncStart) & 0x0Fu;
  if (vWidth == 0) vWidth = 16;
  f.vSyncEnd = f.vSyncStart + vWidth;
  f.hNegative = a.Misc() & kMiscHSyncNegative;
  f.vNegative = a.Misc() & kMiscVSyncNegative;
  f.interlaced = sr0e & kSr0EInterlaced;
  return f;
}

// ---- the refresh selection

// The rate the chip's refresh index selects (SR37 bits 6-2, while SR37
// bit 7 is set), by index from 1, for each screen width.
struct IndexRates {
  unsigned width;
  unsigned rates[8];
};
constexpr IndexRates kIndexRates[] = {
    {640, {60, 72, 75, 85, 100, 120, 160, 200}}, {800, {56, 60, 72, 75, 85, 100, 120, 160}},
    {1024, {43, 60, 70, 75, 85, 100, 120, 0}},   {1280, {43, 60, 75, 85, 0, 0, 0, 0}},
    {1600, {60, 65, 70, 75, 85, 0, 0, 0}},
};

struct Selection {
  std::optional<unsigned> rate;  // frames a second
  std::string how;
};

// With SR37 bit 7 clear, the frame-rate fields: SR0F bits 7-6 (640),
// SR0F bits 5-4 or SR25 bits 1-0 (800), SR0F bits 3-2 or SR25 bits 3-2
// (1024), SR10 bits 3-2 (1280), SR36 bits 7-6 (1600).
std::optional<unsigned> FieldRate(const sim::Adapter& a, unsigned width) {
  const uint8_t sr0f = a.Seq(kSr0FMemorySize), sr25 = a.Seq(kSr25Refresh85Hz);
  switch (width) {
    case 640: {
      constexpr unsigned kRates[] = {60, 72, 75, 85};
      return kRates[(sr0f >> 6) & 3];
    }
    case 800: {
      constexpr unsigned kRates[] = {56, 60, 72, 75};
      if ((sr25 & 0x03) == 0x01) return 85;
      return kRates[(sr0f >> 4) & 3];
    }
    case 1024: {
      constexpr unsigned kRates[] = {43, 60, 70, 75};
      if ((sr25 & 0x0C) == 0x04) return 85;
      return kRates[(sr0f >> 2) & 3];
    }
    case 1280: {
      constexpr unsigned kRates[] = {43, 75, 60, 0};
      const unsigned rate = kRates[(a.Seq(kSr10MemoryConfig) >> 2) & 3];
      return rate ? std::optional<unsigned>(rate) : std::nullopt;
    }
    case 1600: {
      constexpr unsigned kRates[] = {60, 65, 48, 0};
      const unsigned rate = kRates[(a.Seq(kSr36Refresh1600) >> 6) & 3];
      return rate ? std::optional<unsigned>(rate) : std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

Selection SelectedRate(const sim::Adapter& a, unsigned width) {
  const uint8_t sr37 = a.Seq(kSr37RefreshIndex);
  const std::string wide = " at " + std::to_string(width) + " wide";
  if (!(sr37 & kSr37ByIndex)) {
    const std::optional<unsigned> rate = FieldRate(a, width);
    return {rate, "the frame-rate fields" + (rate ? " give " + std::to_string(*rate) + " Hz" + wide
                                                  : " name no rate" + wide)};
  }
  const unsigned index = (sr37 >> 2) & 0x1F;
  const std::string named = "refresh index " + std::to_string(index);
  for (const IndexRates& row : kIndexRates) {
    if (row.width != width || index < 1 || index > 8 || row.rates[index - 1] == 0) continue;
    const unsigned rate = row.rates[index - 1];
    return {rate, named + " gives " + std::to_string(rate) + " Hz" + wide};
  }
  return {std::nullopt, named + " names no rate" + wide};
}

// ---- the pixel clock and what the monitor sees

struct Scan {
  std::optional<double> dotHz, frameHz;
  std::string clock;  // how the clock is chosen
};

// Clock select 0 and 1 are the VGA's two crystals. Select 2 and 3 take the
// chip's programmable clock, whose frequency the refresh selection sets for
// the programmed totals: the frame rate is the selected one, and the dot
// clock follows from it.
Scan DecodeScan(const sim::Adapter& a, const Frame& f, unsigned width) {
  const unsigned select = (a.Misc() & kMiscClockSelect) >> 2;
  const bool halved = a.Seq(kSr01Clocking) & kSr01HalfDotClock;
  const double dotsPerFrame = static_cast<double>(f.hTotal) * f.vTotal;
  Scan s;
  if (select < 2) {
    const double crystal = select == 0 ? 25.175e6 : 28.322e6;
    s.dotHz = halved ? crystal / 2 : crystal;
    s.frameHz = *s.dotHz / dotsPerFrame;
    s.clock = "clock " + std::to_string(select) + (halved ? ", halved" : "");
    return s;
  }
  const Selection selection = SelectedRate(a, width);
  s.clock = "programmable (clock " + std::to_string(select) + "): " + selection.how;
  if (selection.rate) {
    s.frameHz = *selection.rate;
    s.dotHz = *s.frameHz * dotsPerFrame;
  }
  return s;
}

// ---- pixels and memory

struct Format {
  unsigned bits;
  const char* layout;
};

// SR07's packed-pixel formats; 0 (and anything else) is the VGA path.
std::optional<Format> PixelFormat(uint8_t sr07) {
  switch (sr07) {
    case 0x01:
      return Format{8, "indexed"};
    case 0x02:
      return Format{15, "x:5:5:5"};
    case 0x03:
      return Format{16, "5:6:5"};
    case 0x04:
      return Format{24, "BGR"};
    case 0x05:
      return Format{32, "BGRx"};
    default:
      return std::nullopt;
  }
}

// Bytes from one line to the next. The pixel formats count the row offset
// (CR13, SR0A bits 7-4) in 8-byte units, 4-byte units when interlaced; the
// VGA path counts CR13 in twice the byte, word or doubleword of its
// addressing.
unsigned Pitch(const sim::Adapter& a, bool packed, bool interlaced) {
  if (packed) {
    const unsigned offset = a.Crtc(kCr13Offset) | (a.Seq(kSr0APitchHigh) & 0xF0u) << 4;
    return interlaced ? offset * 4 : offset * 8;
  }
  unsigned unit = 2;
  if (a.Crtc(kCr14Underline) & kCr14Doubleword) {
    unit = 4;
  } else if (a.Crtc(kCr17ModeControl) & kCr17ByteMode) {
    unit = 1;
  }
  return a.Crtc(kCr13Offset) * 2u * unit;
}

std::string ModeLine(const sim::Adapter& a, const Frame& f, const Scan& s) {
  const std::optional<Format> format = PixelFormat(a.Seq(kSr07PixelFormat));
  const bool packed = format.has_value();
  std::string rate = s.frameHz ? std::to_string(std::lround(*s.frameHz)) + " Hz" : "unknown rate";
  if (f.interlaced) rate += " interlaced";
  const std::string pitch = "pitch " + std::to_string(Pitch(a, packed, f.interlaced));
  const std::string size = std::to_string(f.hDisplay) + " x " + std::to_string(f.vDisplay);
  if (packed) {
    return size + ", " + std::to_string(format->bits) + " bpp " + format->layout + ", " + rate +
           ", " + pitch;
  }
  if (a.Attr(kAr10ModeControl) & kAr10Graphics) {
    return size + " planar graphics, 4 bpp, " + rate + ", " + pitch;
  }
  const unsigned cellLines = (a.Crtc(kCr09MaxScanLine) & 0x1Fu) + 1;
  return std::to_string(f.hDisplay / f.cellDots) + " x " + std::to_string(f.vDisplay / cellLines) +
         " text in " + std::to_string(f.cellDots) + " x " + std::to_string(cellLines) + " cells (" +
         size + "), " + rate + ", " + pitch;
}

std::string Blanking(const sim::Adapter& a, const sim::VgaState& registers) {
  std::vector<std::string> reasons;
  if ((a.Seq(0x00) & 0x03) != 0x03) reasons.push_back("sequencer in reset");
  if (a.Seq(kSr01Clocking) & kSr01ScreenOff) reasons.push_back("screen off");
  if (!(registers.attrIndex & kArPaletteSource)) reasons.push_back("palette held by the processor");
  if (a.PelMask() == 0) reasons.push_back("pixel mask 0");
  if (reasons.empty()) return "shown";
  std::string text = "blank (";
  for (size_t i = 0; i < reasons.size(); ++i)
    text += (i ? ", " : "") + reasons[i];
  return text + ")";
}

std::string PictureLine(const sim::Adapter& a, const sim::VgaState& registers) {
  const unsigned start = a.Crtc(kCr0CStartHigh) << 8 | a.Crtc(kCr0DStartLow);
  const bool packed = PixelFormat(a.Seq(kSr07PixelFormat)).has_value();
  // The pixel formats count the start address in 4-byte units.
  const std::string where =
      packed ? "start at byte " + Hex(start * 4, 6) : "start at character " + Hex(start, 4);
  return Blanking(a, registers) + ", " + where;
}

std::string WindowLine(const sim::Adapter& a) {
  constexpr const char* kMaps[] = {"0xa0000 128 KB", "0xa0000 64 KB", "0xb0000 32 KB",
                                   "0xb8000 32 KB"};
  const uint8_t memoryMode = a.Seq(kSr04MemoryMode);
  std::string text = std::string(kMaps[(a.Gc(kGr06Misc) >> 2) & 3]) + ", ";
  if (memoryMode & kSr04Chain4) {
    text += "chain-4";
  } else if (!(memoryMode & kSr04OddEvenOff)) {
    text += "odd/even";
  } else {
    text += "planar";
  }
  if (!(a.Misc() & 0x02)) text += ", processor access off";
  const uint8_t bank = a.BankSelect();
  return text + "; bank read " + std::to_string(bank >> 4) + ", write " +
         std::to_string(bank & 0x0F) + " (64 KB each)";
}

// The memory straps as identification reads them.
std::string MemoryLine(const sim::Adapter& a) {
  const uint8_t sr0c = a.Seq(kSr0CBusConfig);
  const bool b4 = sr0c & 0x10, b2 = sr0c & 0x04, b1 = sr0c & 0x02;
  const bool wide = (!b4 && (b2 || b1)) || (b4 && b2 && b1);
  uint32_t bytes;
  if (a.Seq(kSr10MemoryConfig) & 0x80) {
    bytes = 0x800000;
  } else {
    constexpr uint32_t kSizes[] = {0x100000, 0x200000, 0x400000, 0};
    bytes = kSizes[a.Seq(kSr0FMemorySize) & 3];
    if (bytes == 0) bytes = ((a.Seq(kSr2FMemoryBanks) & 7u) + 1) * (wide ? 0x80000u : 0x40000u);
  }
  const uint8_t sr33 = a.Seq(kSr33MemoryKind);
  const unsigned type =
      (sr33 & 0x09) ? ((sr33 & 0x01) ? 3 : 2) : ((a.Seq(kSr23MemoryType) & 0x20) ? 1 : 0);
  std::string clock;
  if (a.Seq(kSr0DStraps) & 0x01) {
    constexpr unsigned kStrapClocks[] = {66, 75, 83, 100};
    const unsigned code = a.Seq(kSr10MemoryConfig) & 0x0F;
    clock = std::to_string(code < 4 ? kStrapClocks[code] : 66) + " MHz (strap 1)";
  } else {
    const uint8_t sr28 = a.Seq(kSr28MclkNumerator), sr29 = a.Seq(kSr29MclkDenominator);
    const unsigned n = ((sr28 & 0x7Fu) + 1) << Bit(sr28, 7);
    const unsigned d = (sr29 & 0x1Fu) + 1;
    const unsigned p = (((sr29 >> 5) & 3u) + 1) << Bit(a.Seq(kSr13MclkPost), 7);
    clock = Fixed(14.318 * n / (p * d), 2) + " MHz (14.318 MHz x " + std::to_string(n) + " / " +
            std::to_string(d) + " / " + std::to_string(p) + ")";
  }
  const std::string size =
      bytes % 0x100000 ? std::to_string(bytes / 1024) + " KB" : std::to_string(bytes >> 20) + " MB";
  return size + ", " + (wide ? "64" : "32") + "-bit bus, type " + std::to_string(type) +
         ", clock " + clock;
}

std::string ApertureLine(const sim::Adapter& a) {
  const uint32_t base =
      uint32_t{a.Seq(kSr20ApertureLow)} << 19 | uint32_t{a.Seq(kSr21ApertureHigh) & 0x1Fu} << 27;
  if (!(a.Seq(kSr06ExtendedMode) & kSr06ApertureEnable)) {
    return "off (SR20/SR21 hold " + Hex(base, 8) + ")";
  }
  return "on at " + Hex(base, 8) + ", " + std::to_string(a.ApertureLength() >> 20) +
         " MB window over " + std::to_string(a.Vram().size() >> 20) + " MB of video memory";
}

// The pattern lies in the last 2 KB of the 256 KB block that SR38 bits 7-4
// and SR3E bit 2 number. In an interlaced mode the position counts field
// lines and SR1E bits 7-4 pick the odd field.
std::string PointerLine(const sim::Adapter& a, bool interlaced) {
  if (!(a.Seq(kSr06ExtendedMode) & kSr06PointerOn)) return "off";
  const unsigned x = a.Seq(kSr1APointerXLow) | (a.Seq(kSr1BPointerXHigh) & 7u) << 8;
  unsigned y = a.Seq(kSr1DPointerYLow) | (a.Seq(kSr1EPointerYHigh) & 7u) << 8;
  if (interlaced) y = 2 * y + ((a.Seq(kSr1EPointerYHigh) & 0xF0) ? 1 : 0);
  const unsigned block = a.Seq(kSr38PointerBlock) >> 4 | Bit(a.Seq(kSr3EMartenControl), 2) << 4;
  const uint32_t pattern = (block + 1) * 0x40000u - 0x800;
  auto colour = [&a](uint8_t first) {
    return Hex(uint32_t{a.Seq(first)} << 16 | uint32_t{a.Seq(first + 1)} << 8 | a.Seq(first + 2),
               6);
  };
  std::string text = "on at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  const unsigned hiddenColumns = a.Seq(kSr1CPointerHiddenColumns) & 0x3Fu;
  const unsigned hiddenRows = a.Seq(kSr1FPointerHiddenRows) & 0x3Fu;
  if (hiddenColumns || hiddenRows) {
    text += ", first " + std::to_string(hiddenColumns) + " columns and " +
            std::to_string(hiddenRows) + " rows hidden";
  }
  return text + ", pattern at video memory " + Hex(pattern, 6) + ", colours " +
         colour(kSr14PointerColor0) + " and " + colour(kSr17PointerColor1);
}

Scan DecodeScan(const sim::Adapter& a, const Frame& f) {
  return DecodeScan(a, f, f.hDisplay);
}

void Summary(const sim::Adapter& a, std::ostream& out) {
  const sim::VgaState registers = a.RegisterState();
  const bool packed = PixelFormat(a.Seq(kSr07PixelFormat)).has_value();
  const Frame f = DecodeFrame(a, packed);
  const Scan s = DecodeScan(a, f);
  auto line = [&out](const char* name, const std::string& text) {
    std::string padded = name;
    padded.resize(10, ' ');
    out << "  " << padded << text << '\n';
  };
  line("mode", ModeLine(a, f, s));
  line("picture", PictureLine(a, registers));
  line("timing", std::to_string(f.hTotal) + " x " + std::to_string(f.vTotal) + " total, hsync " +
                     std::to_string(f.hSyncStart) + "-" + std::to_string(f.hSyncEnd) + " " +
                     (f.hNegative ? "-" : "+") + ", vsync " + std::to_string(f.vSyncStart) + "-" +
                     std::to_string(f.vSyncEnd) + " " + (f.vNegative ? "-" : "+"));
  line("clock",
       (s.dotHz ? Fixed(*s.dotHz / 1e6, 3) + " MHz, " : std::string("unknown, ")) + s.clock);
  if (s.dotHz && s.frameHz) {
    std::string scan = Fixed(*s.dotHz / f.hTotal / 1e3, 2) + " kHz horizontal, ";
    scan += f.interlaced ? Fixed(*s.frameHz, 2) + " Hz frames of two fields (" +
                               Fixed(2 * *s.frameHz, 2) + " Hz vertical)"
                         : Fixed(*s.frameHz, 2) + " Hz vertical";
    line("sync", scan);
  }
  line("memory", MemoryLine(a));
  line("window", WindowLine(a));
  line("aperture", ApertureLine(a));
  line("pointer", PointerLine(a, f.interlaced));
}

void RegisterLine(std::ostream& out, const std::string& label, uint8_t value,
                  const std::string& fields) {
  std::string padded = label;
  padded.resize(4, ' ');
  out << "  " << padded << ' ' << Hex(value, 2) << "  " << fields << '\n';
}

void Registers(const sim::Adapter& a, std::ostream& out, bool zel) {
  for (const regs::Described& r : regs::DescribedRegisters()) {
    const bool extended = r.file == File::Seq && r.index > 0x04;
    if (extended != zel) continue;
    uint8_t value = 0;
    switch (r.file) {
      case File::Seq:
        value = a.Seq(r.index);
        break;
      case File::Crtc:
        value = a.Crtc(r.index);
        break;
      case File::Gc:
        value = a.Gc(r.index);
        break;
      case File::Attr:
        value = a.Attr(r.index);
        break;
    }
    if (r.file == File::Attr && r.index == kAr10ModeControl) {
      std::string palette;
      for (uint8_t i = 0; i < 0x10; ++i)
        palette += (i ? " " : "") + Hex(a.Attr(i), 2).substr(2);
      out << "  AR00-0F  palette " << palette << '\n';
    }
    RegisterLine(out, regs::Label(r.file, r.index), value, regs::Fields(r.file, r.index, value));
  }
}

void SingleLine(std::ostream& out, Single single, uint8_t value) {
  RegisterLine(out, std::string(regs::Label(single)), value, regs::Fields(single, value));
}

}  // namespace

std::string MonitorMode::Text() const {
  std::string text = std::to_string(width) + " x " + std::to_string(height) + " at " +
                     (refreshHz ? std::to_string(*refreshHz) + " Hz" : "an unknown rate");
  if (interlaced) text += " interlaced";
  if (horizontalKHz) text += ", " + Fixed(*horizontalKHz, 2) + " kHz";
  return text;
}

MonitorMode DecodeMonitor(const sim::Adapter& a) {
  const std::optional<Format> format = PixelFormat(a.Seq(kSr07PixelFormat));
  const Frame f = DecodeFrame(a, format.has_value());
  const Scan s = DecodeScan(a, f);
  MonitorMode m;
  m.width = f.hDisplay;
  m.height = f.vDisplay;
  m.bitsPerPixel = format ? format->bits : 0;
  if (s.frameHz) m.refreshHz = static_cast<unsigned>(std::lround(*s.frameHz));
  m.interlaced = f.interlaced;
  m.pitch = Pitch(a, format.has_value(), f.interlaced);
  if (s.dotHz) m.horizontalKHz = *s.dotHz / f.hTotal / 1e3;
  return m;
}

void PrintState(const sim::Adapter& a, std::ostream& out) {
  const sim::VgaState r = a.RegisterState();
  out << "VGA registers\n";
  SingleLine(out, Single::Misc, a.Misc());
  SingleLine(out, Single::FeatureControl, a.FeatureControl());
  SingleLine(out, Single::VideoEnable, r.videoEnable);
  SingleLine(out, Single::PelMask, a.PelMask());
  Registers(a, out, false);
  out << "  indices  SR " << Hex(r.seqIndex, 2) << ", CR " << Hex(r.crtcIndex, 2) << ", GR "
      << Hex(r.gcIndex, 2) << "; AR " << Hex(r.attrIndex, 2) << ": "
      << regs::AttributeAddress(r.attrIndex) << ", next 0x3c0 write is "
      << (r.attrFlipFlopData ? "data" : "an index") << '\n';
  out << "  DAC      " << (r.dacReadMode ? "read" : "write") << " mode, address "
      << Hex(r.dacAddress, 2) << ", " << unsigned{r.dacPosition} << " of 3 components done\n";
  out << "  latches  planes 0-3 " << Hex(r.latches[0], 2) << ' ' << Hex(r.latches[1], 2) << ' '
      << Hex(r.latches[2], 2) << ' ' << Hex(r.latches[3], 2) << '\n';
  out << "Zel registers\n";
  Registers(a, out, true);
  SingleLine(out, Single::BankSelect, a.BankSelect());
  SingleLine(out, Single::KeyPort, a.KeyPort3BF());
  SingleLine(out, Single::ModeKey, a.KeyPortMode());
  out << "what the monitor gets\n";
  Summary(a, out);
}

}  // namespace zelctl
