#include "tools/zelctl/registers.h"

#include <array>
#include <vector>

#include "tools/zelctl/format.h"

namespace zelctl::regs {
namespace {

// How a field's value reads.
enum class Show : uint8_t {
  Number,   // "name 14"
  PlusOne,  // a count stored minus one: "name 15" for 14
  Hex,      // "name 0x3f"
  Flag,     // "name on" / "name off"
  Note,     // "name", only when set: bits that are rarely set
  Choice,   // the value picks a text of `choices` ('|' between them, "*text" for every other
            // value); an empty text shows nothing
  Planes,   // a plane mask: "name 0,2" / "name none"
  Custom,   // `custom` reads the bits itself
};

using CustomText = std::string (*)(uint8_t value, Direction direction);

// Groups of the table: the four index files, then the single registers.
constexpr uint8_t SR = static_cast<uint8_t>(File::Seq);
constexpr uint8_t CR = static_cast<uint8_t>(File::Crtc);
constexpr uint8_t GR = static_cast<uint8_t>(File::Gc);
constexpr uint8_t AR = static_cast<uint8_t>(File::Attr);
constexpr uint8_t ONE = 4;

constexpr uint8_t Key(Single single) {
  return static_cast<uint8_t>(single);
}

struct Row {
  uint8_t group;
  uint8_t index;
  uint8_t high, low;  // bits of the field, high bit first
  Show show;
  std::string_view name;
  std::string_view choices = {};
  CustomText custom = nullptr;
};

// SR03: map A (attribute bit 3 set) in bits 5, 3-2; map B in bits 4, 1-0.
// Map n starts in plane 2 at (n & 3) x 16 KB + (n >> 2) x 8 KB.
std::string CharacterMaps(uint8_t value, Direction) {
  auto map = [](unsigned n) {
    return std::to_string(n) + " (plane 2 +" + Hex((n & 3u) * 0x4000 + (n >> 2) * 0x2000, 4) + ")";
  };
  const unsigned a = ((value >> 2) & 3u) | ((value >> 3) & 4u);
  const unsigned b = (value & 3u) | ((value >> 2) & 4u);
  return "map A " + map(a) + ", map B " + map(b);
}

// SR05 reads 0xA1 while the extended registers are open and 0x00 while
// they are shut; writing 0x86 opens them and any other value shuts them.
std::string ExtensionsLock(uint8_t value, Direction direction) {
  const bool open = direction == Direction::Write ? value == 0x86 : value == 0xA1;
  return open ? "extended registers unlocked" : "extended registers locked";
}

// SR0C: a 64-bit bus when bit 4 is clear and bit 2 or 1 set, or bit 4 and
// both bits 2 and 1 are set.
std::string BusWidth(uint8_t value, Direction) {
  const bool b4 = value & 0x10, b2 = value & 0x04, b1 = value & 0x02;
  const bool wide = (!b4 && (b2 || b1)) || (b4 && b2 && b1);
  return wide ? "memory bus 64-bit" : "memory bus 32-bit";
}

// The register reference. Rows of one register stay together, the field
// that names the register first and then from the top bit down; registers
// stay in the order `state` prints them.
constexpr Row kRows[] = {
    // ---- sequencer
    {SR, 0x00, 0, 0, Show::Choice, "", "asynchronous reset on|asynchronous reset off"},
    {SR, 0x00, 1, 1, Show::Choice, "", "synchronous reset on|synchronous reset off"},
    {SR, 0x01, 0, 0, Show::Choice, "", "9-dot cells|8-dot cells"},
    {SR, 0x01, 2, 2, Show::Note, "load every second character"},
    {SR, 0x01, 3, 3, Show::Flag, "dot clock halved"},
    {SR, 0x01, 4, 4, Show::Note, "load every fourth character"},
    {SR, 0x01, 5, 5, Show::Choice, "", "screen on|screen off"},
    {SR, 0x02, 3, 0, Show::Planes, "write planes"},
    {SR, 0x03, 5, 0, Show::Custom, "", {}, CharacterMaps},
    {SR, 0x04, 1, 1, Show::Flag, "extended memory"},
    {SR, 0x04, 2, 2, Show::Choice, "", "odd/even addressing|sequential addressing"},
    {SR, 0x04, 3, 3, Show::Flag, "chain-4"},
    // ---- Zel extended sequencer registers
    {SR, 0x05, 7, 0, Show::Custom, "", {}, ExtensionsLock},
    {SR, 0x06, 7, 7, Show::Flag, "linear aperture"},
    {SR, 0x06, 6, 6, Show::Flag, "pointer"},
    {SR, 0x07, 7, 0, Show::Choice, "pixel format",
     "VGA (text and planar)|8 bpp through the DAC|15 bpp x:5:5:5|16 bpp 5:6:5|24 bpp BGR|"
     "32 bpp BGRx|*reserved"},
    {SR, 0x08, 7, 4, Show::Number, "FIFO low threshold bits 3-0"},
    {SR, 0x09, 3, 0, Show::Number, "FIFO high threshold"},
    {SR, 0x0A, 7, 4, Show::Number, "row offset bits 11-8"},
    {SR, 0x0B, 7, 7, Show::Flag, "3- and 4-byte pixels"},
    {SR, 0x0B, 5, 5, Show::Flag, "pixel pipe bit 5"},
    {SR, 0x0B, 2, 2, Show::Flag, "pixel pipe bit 2"},
    {SR, 0x0C, 4, 1, Show::Custom, "", {}, BusWidth},
    {SR, 0x0D, 0, 0, Show::Choice, "",
     "strap 0 (memory clock from SR28, SR29, SR13)|strap 1 (memory clock from SR10)"},
    {SR, 0x0E, 0, 0, Show::Number, "vertical display end bit 10"},
    {SR, 0x0E, 1, 1, Show::Number, "vertical total bit 10"},
    {SR, 0x0E, 2, 2, Show::Flag, "interlaced"},
    {SR, 0x0E, 3, 3, Show::Number, "vertical blanking start bit 10"},
    {SR, 0x0E, 4, 4, Show::Number, "vertical retrace start bit 10"},
    {SR, 0x0E, 5, 5, Show::Number, "horizontal total bit 8"},
    {SR, 0x0F, 1, 0, Show::Choice, "memory", "1 MB|2 MB|4 MB|by SR2F"},
    {SR, 0x0F, 7, 6, Show::Choice, "640 wide at", "60 Hz|72 Hz|75 Hz|85 Hz"},
    {SR, 0x0F, 5, 4, Show::Choice, "800 wide at", "56 Hz|60 Hz|72 Hz|75 Hz"},
    {SR, 0x0F, 3, 2, Show::Choice, "1024 wide at", "43 Hz interlaced|60 Hz|70 Hz|75 Hz"},
    {SR, 0x10, 7, 7, Show::Flag, "8 MB"},
    {SR, 0x10, 6, 6, Show::Flag, "aperture at 0x20000000"},
    {SR, 0x10, 3, 2, Show::Choice, "1280 wide at", "43 Hz interlaced|75 Hz|60 Hz|*no rate"},
    {SR, 0x10, 3, 0, Show::Choice, "strap-1 memory clock", "66 MHz|75 MHz|83 MHz|100 MHz|*66 MHz"},
    {SR, 0x13, 7, 7, Show::Flag, "memory clock post-divider doubled"},
    {SR, 0x14, 7, 0, Show::Hex, "pointer colour 0 red"},
    {SR, 0x15, 7, 0, Show::Hex, "pointer colour 0 green"},
    {SR, 0x16, 7, 0, Show::Hex, "pointer colour 0 blue"},
    {SR, 0x17, 7, 0, Show::Hex, "pointer colour 1 red"},
    {SR, 0x18, 7, 0, Show::Hex, "pointer colour 1 green"},
    {SR, 0x19, 7, 0, Show::Hex, "pointer colour 1 blue"},
    {SR, 0x1A, 7, 0, Show::Number, "pointer x bits 7-0"},
    {SR, 0x1B, 2, 0, Show::Number, "pointer x bits 10-8"},
    {SR, 0x1C, 5, 0, Show::Number, "pointer columns hidden"},
    {SR, 0x1D, 7, 0, Show::Number, "pointer y bits 7-0"},
    {SR, 0x1E, 2, 0, Show::Number, "pointer y bits 10-8"},
    {SR, 0x1E, 7, 4, Show::Hex, "pointer odd field (interlaced)"},
    {SR, 0x1F, 5, 0, Show::Number, "pointer rows hidden"},
    {SR, 0x20, 7, 0, Show::Hex, "aperture base bits 26-19"},
    {SR, 0x21, 7, 5, Show::Choice, "aperture for",
     "size code 0|size code 1|size code 2|less than 8 MB|8 MB|*size code 5 or more"},
    {SR, 0x21, 4, 0, Show::Hex, "aperture base bits 31-27"},
    {SR, 0x23, 5, 5, Show::Flag, "memory type 1"},
    {SR, 0x25, 3, 2, Show::Choice, "1024 wide", "as SR0F|at 85 Hz|*field 2 or 3"},
    {SR, 0x25, 1, 0, Show::Choice, "800 wide", "as SR0F|at 85 Hz|*field 2 or 3"},
    {SR, 0x27, 6, 6, Show::Flag, "pitch class bit 6"},
    {SR, 0x27, 5, 4, Show::Choice, "pitch class", "other|2048|4096|both bits"},
    {SR, 0x28, 7, 7, Show::Flag, "memory clock numerator doubled"},
    {SR, 0x28, 6, 0, Show::PlusOne, "memory clock numerator"},
    {SR, 0x29, 6, 5, Show::PlusOne, "memory clock post-divider"},
    {SR, 0x29, 4, 0, Show::PlusOne, "memory clock denominator"},
    {SR, 0x2F, 2, 0, Show::PlusOne, "memory units"},
    {SR, 0x33, 3, 3, Show::Flag, "memory type 2"},
    {SR, 0x33, 0, 0, Show::Flag, "memory type 3"},
    {SR, 0x35, 5, 5, Show::Flag, "mode change"},
    {SR, 0x36, 7, 6, Show::Choice, "1600 wide at", "60 Hz|65 Hz|48 Hz|*no rate"},
    {SR, 0x37, 7, 7, Show::Choice, "refresh", "by the frame-rate fields|by index"},
    {SR, 0x37, 6, 2, Show::Number, "refresh index"},
    {SR, 0x38, 7, 4, Show::Number, "pointer block bits 3-0"},
    {SR, 0x3E, 2, 2, Show::Number, "pointer block bit 4"},
    {SR, 0x3E, 0, 0, Show::Flag, "Marten bit 0"},
    {SR, 0x3F, 2, 2, Show::Number, "FIFO low threshold bit 4"},
    // ---- CRT controller
    {CR, 0x00, 7, 0, Show::Number, "horizontal total"},
    {CR, 0x01, 7, 0, Show::Number, "horizontal display end"},
    {CR, 0x02, 7, 0, Show::Number, "horizontal blanking start"},
    {CR, 0x03, 4, 0, Show::Number, "horizontal blanking end"},
    {CR, 0x03, 7, 7, Show::Flag, "CR10-11 readable"},
    {CR, 0x03, 6, 5, Show::Number, "display enable skew"},
    {CR, 0x04, 7, 0, Show::Number, "horizontal retrace start"},
    {CR, 0x05, 4, 0, Show::Number, "horizontal retrace end"},
    {CR, 0x05, 7, 7, Show::Number, "horizontal blanking end bit 5"},
    {CR, 0x05, 6, 5, Show::Number, "retrace skew"},
    {CR, 0x06, 7, 0, Show::Number, "vertical total"},
    {CR, 0x07, 7, 7, Show::Number, "retrace start bit 9"},
    {CR, 0x07, 6, 6, Show::Number, "display end bit 9"},
    {CR, 0x07, 5, 5, Show::Number, "total bit 9"},
    {CR, 0x07, 4, 4, Show::Number, "line compare bit 8"},
    {CR, 0x07, 3, 3, Show::Number, "blanking start bit 8"},
    {CR, 0x07, 2, 2, Show::Number, "retrace start bit 8"},
    {CR, 0x07, 1, 1, Show::Number, "display end bit 8"},
    {CR, 0x07, 0, 0, Show::Number, "total bit 8"},
    {CR, 0x08, 4, 0, Show::Number, "preset row scan"},
    {CR, 0x08, 6, 5, Show::Number, "byte panning"},
    {CR, 0x09, 4, 0, Show::Number, "maximum scan line"},
    {CR, 0x09, 7, 7, Show::Flag, "scan doubling"},
    {CR, 0x09, 6, 6, Show::Number, "line compare bit 9"},
    {CR, 0x09, 5, 5, Show::Number, "blanking start bit 9"},
    {CR, 0x0A, 4, 0, Show::Number, "cursor start"},
    {CR, 0x0A, 5, 5, Show::Choice, "", "cursor on|cursor off"},
    {CR, 0x0B, 4, 0, Show::Number, "cursor end"},
    {CR, 0x0B, 6, 5, Show::Number, "cursor skew"},
    {CR, 0x0C, 7, 0, Show::Hex, "start address bits 15-8"},
    {CR, 0x0D, 7, 0, Show::Hex, "start address bits 7-0"},
    {CR, 0x0E, 7, 0, Show::Hex, "cursor location bits 15-8"},
    {CR, 0x0F, 7, 0, Show::Hex, "cursor location bits 7-0"},
    {CR, 0x10, 7, 0, Show::Number, "vertical retrace start"},
    {CR, 0x11, 3, 0, Show::Number, "vertical retrace end"},
    {CR, 0x11, 7, 7, Show::Flag, "protect CR0-7"},
    {CR, 0x11, 6, 6, Show::Note, "5 refresh cycles"},
    {CR, 0x11, 5, 5, Show::Note, "vertical interrupt disabled"},
    {CR, 0x11, 4, 4, Show::Note, "vertical interrupt latch released"},
    {CR, 0x12, 7, 0, Show::Number, "vertical display end"},
    {CR, 0x13, 7, 0, Show::Number, "offset"},
    {CR, 0x14, 4, 0, Show::Number, "underline location"},
    {CR, 0x14, 6, 6, Show::Flag, "doubleword addressing"},
    {CR, 0x14, 5, 5, Show::Note, "count by 4"},
    {CR, 0x15, 7, 0, Show::Number, "vertical blanking start"},
    {CR, 0x16, 7, 0, Show::Number, "vertical blanking end"},
    {CR, 0x17, 7, 7, Show::Choice, "", "sync held|sync on"},
    {CR, 0x17, 6, 6, Show::Choice, "", "word mode|byte mode"},
    {CR, 0x17, 5, 5, Show::Choice, "", "address wrap at bit 13|address wrap at bit 15"},
    {CR, 0x17, 3, 3, Show::Note, "count by 2"},
    {CR, 0x17, 2, 2, Show::Note, "scan line clock halved"},
    {CR, 0x17, 1, 1, Show::Choice, "", "row scan 1 as address bit 14|"},
    {CR, 0x17, 0, 0, Show::Choice, "", "row scan 0 as address bit 13|"},
    {CR, 0x18, 7, 0, Show::Number, "line compare"},
    // ---- graphics controller
    {GR, 0x00, 3, 0, Show::Planes, "set/reset planes"},
    {GR, 0x01, 3, 0, Show::Planes, "set/reset enabled for planes"},
    {GR, 0x02, 3, 0, Show::Number, "colour compare"},
    {GR, 0x03, 4, 3, Show::Choice, "", "replace|AND|OR|XOR"},
    {GR, 0x03, 2, 0, Show::Number, "rotate"},
    {GR, 0x04, 1, 0, Show::Number, "read plane"},
    {GR, 0x05, 1, 0, Show::Number, "write mode"},
    {GR, 0x05, 3, 3, Show::Number, "read mode"},
    {GR, 0x05, 6, 6, Show::Flag, "256-colour shift"},
    {GR, 0x05, 5, 5, Show::Note, "interleaved shift"},
    {GR, 0x05, 4, 4, Show::Flag, "host odd/even"},
    {GR, 0x06, 3, 2, Show::Choice, "memory at",
     "0xa0000 128 KB|0xa0000 64 KB|0xb0000 32 KB|0xb8000 32 KB"},
    {GR, 0x06, 1, 1, Show::Flag, "chain odd/even"},
    {GR, 0x06, 0, 0, Show::Choice, "", "text|graphics"},
    {GR, 0x07, 3, 0, Show::Planes, "compare planes"},
    {GR, 0x08, 7, 0, Show::Hex, "bit mask"},
    // ---- attribute controller (AR00-AR0F: the palette)
    {AR, 0x10, 0, 0, Show::Choice, "", "text|graphics"},
    {AR, 0x10, 7, 7, Show::Flag, "colour bits 5-4 from AR14"},
    {AR, 0x10, 6, 6, Show::Flag, "8-bit colour"},
    {AR, 0x10, 5, 5, Show::Note, "panning compatibility"},
    {AR, 0x10, 3, 3, Show::Flag, "blink"},
    {AR, 0x10, 2, 2, Show::Flag, "line graphics"},
    {AR, 0x10, 1, 1, Show::Note, "monochrome"},
    {AR, 0x11, 7, 0, Show::Hex, "overscan colour"},
    {AR, 0x12, 5, 4, Show::Number, "video status select"},
    {AR, 0x12, 3, 0, Show::Planes, "colour planes"},
    {AR, 0x13, 3, 0, Show::Number, "horizontal panning"},
    {AR, 0x14, 3, 2, Show::Number, "colour bits 7-6"},
    {AR, 0x14, 1, 0, Show::Number, "colour bits 5-4"},
    // ---- registers outside the index files
    {ONE, Key(Single::Misc), 7, 7, Show::Choice, "vsync", "+|-"},
    {ONE, Key(Single::Misc), 6, 6, Show::Choice, "hsync", "+|-"},
    {ONE, Key(Single::Misc), 5, 5, Show::Choice, "odd/even page", "low|high"},
    {ONE, Key(Single::Misc), 3, 2, Show::Choice, "clock",
     "25.175 MHz|28.322 MHz|2 (extended)|3 (programmable)"},
    {ONE, Key(Single::Misc), 1, 1, Show::Flag, "processor access to memory"},
    {ONE, Key(Single::Misc), 0, 0, Show::Choice, "", "ports 0x3bx|ports 0x3dx"},
    {ONE, Key(Single::FeatureControl), 3, 0, Show::Hex, "feature bits"},
    {ONE, Key(Single::VideoEnable), 0, 0, Show::Number, "video subsystem enable"},
    {ONE, Key(Single::PelMask), 7, 0, Show::Hex, "pixel mask"},
    {ONE, Key(Single::BankSelect), 7, 4, Show::Number, "read bank"},
    {ONE, Key(Single::BankSelect), 3, 0, Show::Number, "write bank"},
    {ONE, Key(Single::KeyPort), 7, 0, Show::Hex, "key"},
    {ONE, Key(Single::ModeKey), 7, 0, Show::Hex, "mode key"},
};

std::string_view Pick(std::string_view choices, unsigned value, std::string& number) {
  std::string_view fallback;
  for (unsigned i = 0;; ++i) {
    const size_t bar = choices.find('|');
    const std::string_view item = choices.substr(0, bar);
    if (!item.empty() && item.front() == '*') {
      fallback = item.substr(1);
    } else if (i == value) {
      return item;
    }
    if (bar == std::string_view::npos) break;
    choices.remove_prefix(bar + 1);
  }
  if (!fallback.empty()) return fallback;
  number = std::to_string(value);
  return number;
}

std::string FieldText(const Row& row, uint8_t value, Direction direction) {
  const unsigned width = row.high - row.low + 1u;
  const unsigned bits = (value >> row.low) & ((1u << width) - 1);
  const std::string name(row.name);
  switch (row.show) {
    case Show::Number:
      return name + " " + std::to_string(bits);
    case Show::PlusOne:
      return name + " " + std::to_string(bits + 1);
    case Show::Hex:
      return name + " " + Hex(bits, static_cast<int>((width + 3) / 4));
    case Show::Flag:
      return name + (bits ? " on" : " off");
    case Show::Note:
      return bits ? name : std::string();
    case Show::Choice: {
      std::string number;
      const std::string_view text = Pick(row.choices, bits, number);
      if (text.empty()) return {};
      return name.empty() ? std::string(text) : name + " " + std::string(text);
    }
    case Show::Planes: {
      std::string planes;
      for (unsigned p = 0; p < width; ++p) {
        if (!(bits & (1u << p))) continue;
        if (!planes.empty()) planes += ",";
        planes += std::to_string(p);
      }
      return name + " " + (planes.empty() ? "none" : planes);
    }
    case Show::Custom:
      return row.custom(value, direction);
  }
  return {};
}

std::string Describe(uint8_t group, uint8_t index, uint8_t value, Direction direction) {
  std::string text;
  unsigned covered = 0;
  bool any = false;
  for (const Row& row : kRows) {
    if (row.group != group || row.index != index) continue;
    any = true;
    covered |= ((1u << (row.high - row.low + 1u)) - 1) << row.low;
    const std::string field = FieldText(row, value, direction);
    if (field.empty()) continue;
    if (!text.empty()) text += ", ";
    text += field;
  }
  if (!any) return {};
  if (const unsigned other = value & ~covered & 0xFFu) {
    if (!text.empty()) text += ", ";
    text += "other bits " + Hex(other, 2);
  }
  return text;
}

std::vector<Described> MakeDescribed() {
  std::vector<Described> list;
  for (const Row& row : kRows) {
    if (row.group == ONE) continue;
    const Described d{static_cast<File>(row.group), row.index};
    if (list.empty() || list.back().file != d.file || list.back().index != d.index) {
      list.push_back(d);
    }
  }
  return list;
}

}  // namespace

std::string Label(File file, uint8_t index) {
  constexpr std::array<std::string_view, 4> kPrefix = {"SR", "CR", "GR", "AR"};
  const std::string digits = Hex(index, 2).substr(2);
  std::string upper;
  for (const char c : digits)
    upper += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
  return std::string(kPrefix[static_cast<size_t>(file)]) + upper;
}

std::string Fields(File file, uint8_t index, uint8_t value, Direction direction) {
  return Describe(static_cast<uint8_t>(file), index, value, direction);
}

std::span<const Described> DescribedRegisters() {
  static const std::vector<Described> list = MakeDescribed();
  return list;
}

std::string_view Label(Single single) {
  switch (single) {
    case Single::Misc:
      return "MISC";
    case Single::FeatureControl:
      return "FCR";
    case Single::VideoEnable:
      return "3C3";
    case Single::PelMask:
      return "3C6";
    case Single::BankSelect:
      return "3CD";
    case Single::KeyPort:
      return "3BF";
    case Single::ModeKey:
      return "3D8";
  }
  return "?";
}

std::string Fields(Single single, uint8_t value) {
  return Describe(ONE, Key(single), value, Direction::Write);
}

std::string AttributeAddress(uint8_t value) {
  return "index " + Hex(value & 0x1Fu, 2) +
         ((value & 0x20) ? ", palette to the display"
                         : ", palette to the processor (screen blank)");
}

}  // namespace zelctl::regs
