#include "sim/bios/video_bios.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim/bios/bios_modes.h"
#include "sim/bios/font8x16.h"
#include "sim/bios/palettes.h"

namespace sim {

// The BIOS names registers and ports as the devices do.
using namespace vga;
using namespace zel;

namespace {

using bios::GraphicsMode;
using bios::Timing;

// Every mode the BIOS sets has misc bit 0 set: the CRTC and input status 1
// answer at their colour addresses.
constexpr uint16_t kCrtcIndexPort = kCrtcIndexColorPort;
constexpr uint16_t kCrtcDataPort = kCrtcDataColorPort;
constexpr uint16_t kStatus1Port = kStatus1ColorPort;
constexpr uint8_t kSr05Close = 0x00;  // any value but the key closes the bank

// ---- mode 0x03: 80 x 25 colour text, 720 x 400, 9-dot cells

constexpr uint8_t kTextMisc = 0x67;
constexpr std::array<uint8_t, 4> kTextSeq = {0x00, 0x03, 0x00, 0x02};
constexpr std::array<uint8_t, 0x19> kTextCrtc = {
    0x5F, 0x4F, 0x50, 0x82, 0x55, 0x81, 0xBF, 0x1F, 0x00, 0x4F, 0x0D, 0x0E, 0x00,
    0x00, 0x00, 0x00, 0x9C, 0x8E, 0x8F, 0x28, 0x1F, 0x96, 0xB9, 0xA3, 0xFF,
};
constexpr std::array<uint8_t, 9> kTextGc = {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x0E, 0x00, 0xFF};
constexpr std::array<uint8_t, 0x15> kTextAttr = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A,
    0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x0C, 0x00, 0x0F, 0x08, 0x00,
};
constexpr uint32_t kTextBuffer = 0xB8000;
constexpr uint32_t kTextBufferBytes = 0x8000;
constexpr uint32_t kFontWindow = 0xA0000;
constexpr uint32_t kFontSlotBytes = 32;

// The 256 glyphs as the BIOS stores them in plane 2: one 32-byte slot per
// character, the rows below the glyph's 16 blank.
std::span<const uint8_t> FontSlots() {
  static const std::array<uint8_t, 256 * kFontSlotBytes> slots = [] {
    std::array<uint8_t, 256 * kFontSlotBytes> s{};
    for (unsigned c = 0; c < 256; ++c) {
      const auto glyph = bios::Glyph(static_cast<uint8_t>(c));
      std::copy(glyph.begin(), glyph.end(), s.begin() + c * kFontSlotBytes);
    }
    return s;
  }();
  return slots;
}

// ---- packed-pixel graphics: chain-4, doubleword addressing

constexpr std::array<uint8_t, 4> kGraphicsSeq = {0x01, 0x0F, 0x00, 0x0E};
constexpr std::array<uint8_t, 9> kGraphicsGc = {0x00, 0x00, 0x00, 0x00, 0x00,
                                                0x40, 0x05, 0x0F, 0xFF};
constexpr std::array<uint8_t, 0x15> kGraphicsAttr = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
    0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x41, 0x00, 0x0F, 0x00, 0x00,
};

struct CrtcProgram {
  std::array<uint8_t, 0x19> crtc{};
  uint8_t sr0e = 0;
};

uint8_t Bit(uint32_t value, unsigned bit, unsigned to) {
  return static_cast<uint8_t>(((value >> bit) & 1) << to);
}

// The CRTC values of a timing, the overflow bits beyond the VGA's in SR0E.
CrtcProgram EncodeTiming(const GraphicsMode& mode, const Timing& t, bool interlaced) {
  const uint32_t hTotal = t.hTotal / 8 - 5;
  const uint32_t hDisplay = mode.width / 8;
  const uint32_t hBlankEnd = t.hTotal / 8 - 1;
  const uint32_t vTotal = t.vTotal - 2;
  const uint32_t vDisplayEnd = mode.height - 1u;
  const uint32_t vBlankStart = mode.height;
  const uint32_t vBlankEnd = t.vTotal - 1u;
  const uint32_t vSyncStart = t.vSyncStart;
  constexpr uint32_t kLineCompare = 0x3FF;  // no split screen
  const uint32_t offset = interlaced ? mode.stride / 4 : mode.stride / 8;

  CrtcProgram p;
  auto& c = p.crtc;
  c[kCr00HorizontalTotal] = hTotal & 0xFF;
  c[kCr01HorizontalDisplayEnd] = static_cast<uint8_t>(hDisplay - 1);
  c[kCr02StartHorizontalBlanking] = static_cast<uint8_t>(hDisplay);
  c[kCr03EndHorizontalBlanking] = kCr03RetraceReadable | (hBlankEnd & 0x1F);
  c[kCr04HorizontalRetraceStart] = static_cast<uint8_t>(t.hSyncStart / 8);
  c[kCr05HorizontalRetraceEnd] = Bit(hBlankEnd, 5, 7) | ((t.hSyncEnd / 8) & 0x1F);
  c[kCr06VerticalTotal] = vTotal & 0xFF;
  c[kCr07Overflow] = Bit(vTotal, 8, 0) | Bit(vDisplayEnd, 8, 1) | Bit(vSyncStart, 8, 2) |
                     Bit(vBlankStart, 8, 3) | Bit(kLineCompare, 8, 4) | Bit(vTotal, 9, 5) |
                     Bit(vDisplayEnd, 9, 6) | Bit(vSyncStart, 9, 7);
  c[kCr08PresetRowScan] = 0x00;
  c[kCr09MaxScanLine] = Bit(kLineCompare, 9, 6) | Bit(vBlankStart, 9, 5);
  c[kCr0ACursorStart] = kCr0ACursorOff;
  c[kCr0BCursorEnd] = 0x00;
  c[kCr10VerticalRetraceStart] = vSyncStart & 0xFF;
  c[kCr11VerticalRetraceEnd] = kCr11Protect | (t.vSyncEnd & 0x0F);  // protected again
  c[kCr12VerticalDisplayEnd] = vDisplayEnd & 0xFF;
  c[kCr13Offset] = offset & 0xFF;
  c[kCr14Underline] = kCr14Doubleword;  // as chain-4 lays the bytes out
  c[kCr15VerticalBlankingStart] = vBlankStart & 0xFF;
  c[kCr16VerticalBlankingEnd] = vBlankEnd & 0xFF;
  c[kCr17ModeControl] = 0xA3;
  c[kCr18LineCompare] = kLineCompare & 0xFF;

  p.sr0e = Bit(vDisplayEnd, 10, 0) | Bit(vTotal, 10, 1) | Bit(vBlankStart, 10, 3) |
           Bit(vSyncStart, 10, 4) | Bit(hTotal, 8, 5);
  if (interlaced) p.sr0e |= kSr0EInterlaced;
  return p;
}

}  // namespace

VideoBios::VideoBios(Adapter& adapter) : adapter_(adapter) {}

VP_STATUS VideoBios::Int10(VIDEO_X86_BIOS_ARGUMENTS& args) {
  ++calls_;
  if (failure_) return *failure_;

  const uint8_t ah = (args.Eax >> 8) & 0xFF;
  const uint8_t al = args.Eax & 0xFF;
  switch (ah) {
    case 0x00: {
      const uint8_t number = al & 0x7F;
      const bool clearMemory = (al & 0x80) == 0;
      if (number == 0x03) {
        const bool wasLocked = OpenExtended();
        SetTextMode(clearMemory);
        if (wasLocked) CloseExtended();
      } else if (auto mode = bios::FindGraphicsMode(number)) {
        const bool wasLocked = OpenExtended();
        SetGraphicsMode(*mode, clearMemory);
        if (wasLocked) CloseExtended();
      }
      break;
    }
    case 0x15:
      args.Eax = (args.Eax & 0xFFFF0000) | 0x004F;
      break;
    default:
      break;
  }
  return NO_ERROR;
}

// ---- the two kinds of mode

void VideoBios::SetTextMode(bool clearMemory) {
  WriteSequencerAndMisc(kTextMisc, kTextSeq);
  SeqWrite(kSr07PixelFormat, static_cast<uint8_t>(bios::PixelFormat::Vga));
  SeqWrite(kSr0APitchHigh, SeqRead(kSr0APitchHigh) & 0x0F);
  SeqWrite(kSr0EOverflow, 0x00);
  WriteCrtc(kTextCrtc);
  WriteAttributes(kTextAttr);
  WriteGraphics(kTextGc);

  std::array<Rgb, 256> dac{};
  const auto ega = bios::EgaPalette();
  std::copy(ega.begin(), ega.end(), dac.begin());
  LoadDac(dac);

  LoadFont();
  if (clearMemory) ClearTextBuffer();
  EnableDisplay();
}

void VideoBios::SetGraphicsMode(const GraphicsMode& mode, bool clearMemory) {
  const bool interlaced = bios::HasInterlacedVariant(mode.width) && InterlacedSelected(mode.width);
  const Timing timing = bios::TimingFor(mode.width, interlaced);
  const CrtcProgram crtc = EncodeTiming(mode, timing, interlaced);

  // Sync polarities tell the monitor the line count; clock select 3 is the
  // programmable pixel clock.
  const uint8_t misc = 0x2F | (timing.hSyncNegative ? kMiscHSyncNegative : 0) |
                       (timing.vSyncNegative ? kMiscVSyncNegative : 0);
  WriteSequencerAndMisc(misc, kGraphicsSeq);
  SeqWrite(kSr07PixelFormat, static_cast<uint8_t>(mode.format));
  const uint16_t offset = interlaced ? mode.stride / 4 : mode.stride / 8;
  SeqWrite(kSr0APitchHigh, (SeqRead(kSr0APitchHigh) & 0x0F) | ((offset >> 4) & 0xF0));
  SeqWrite(kSr0EOverflow, crtc.sr0e);
  WriteCrtc(crtc.crtc);
  WriteAttributes(kGraphicsAttr);
  WriteGraphics(kGraphicsGc);
  LoadDac(bios::Default256Palette());

  // The whole memory in one block, as the BIOS's string store through the
  // aperture would leave it.
  if (clearMemory) adapter_.ClearVram();
  EnableDisplay();
}

bool VideoBios::InterlacedSelected(uint16_t width) {
  const uint8_t sr37 = SeqRead(kSr37RefreshIndex);
  if (sr37 & kSr37ByIndex) return ((sr37 >> 2) & 0x1F) == 1;
  if (width == 1024) {
    return (SeqRead(kSr0FMemorySize) & 0x0C) == 0 && (SeqRead(kSr25Refresh85Hz) & 0x0C) == 0;
  }
  return (SeqRead(kSr10MemoryConfig) & 0x0C) == 0;
}

// ---- text memory

// Plane 2 addressed on its own, one 32-byte slot per character, then the
// text-mode addressing back. Planar addressing goes through the bank select
// register, which the BIOS leaves to the driver: bank 0 for the glyphs, then
// the register as it was.
void VideoBios::LoadFont() {
  const uint8_t bank = adapter_.In8(kBankSelectPort);
  adapter_.Out8(kBankSelectPort, 0x00);
  SeqWrite(kSr02MapMask, 0x04);
  SeqWrite(kSr04MemoryMode, 0x06);  // sequential, no chain-4
  GcWrite(kGr04ReadMapSelect, 0x02);
  GcWrite(kGr05Mode, 0x00);
  GcWrite(kGr06Misc, 0x04);  // 0xA0000, 64 KB, no odd/even
  adapter_.MemWrite(kFontWindow, FontSlots());
  SeqWrite(kSr02MapMask, kTextSeq[kSr02MapMask - 1]);
  SeqWrite(kSr04MemoryMode, kTextSeq[kSr04MemoryMode - 1]);
  GcWrite(kGr04ReadMapSelect, kTextGc[kGr04ReadMapSelect]);
  GcWrite(kGr05Mode, kTextGc[kGr05Mode]);
  GcWrite(kGr06Misc, kTextGc[kGr06Misc]);
  adapter_.Out8(kBankSelectPort, bank);
}

// Blanks with light grey on black; odd/even puts characters in plane 0 and
// attributes in plane 1.
void VideoBios::ClearTextBuffer() {
  static const std::array<uint8_t, kTextBufferBytes> blank = [] {
    std::array<uint8_t, kTextBufferBytes> cells{};
    for (uint32_t i = 0; i < kTextBufferBytes; i += 2) {
      cells[i] = 0x20;
      cells[i + 1] = 0x07;
    }
    return cells;
  }();
  adapter_.MemWrite(kTextBuffer, blank);
}

// ---- registers

bool VideoBios::OpenExtended() {
  const bool locked = SeqRead(kSr05Lock) != kSr05ReadsUnlocked;
  SeqWrite(kSr05Lock, kSr05UnlockKey);
  return locked;
}

void VideoBios::CloseExtended() {
  SeqWrite(kSr05Lock, kSr05Close);
}

uint8_t VideoBios::SeqRead(uint8_t index) {
  adapter_.Out8(kSeqIndexPort, index);
  return adapter_.In8(kSeqDataPort);
}

void VideoBios::SeqWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kSeqIndexPort, index);
  adapter_.Out8(kSeqDataPort, value);
}

void VideoBios::CrtcWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kCrtcIndexPort, index);
  adapter_.Out8(kCrtcDataPort, value);
}

void VideoBios::GcWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kGcIndexPort, index);
  adapter_.Out8(kGcDataPort, value);
}

// Misc output and the clocking registers change under a synchronous reset.
void VideoBios::WriteSequencerAndMisc(uint8_t misc, std::span<const uint8_t, 4> sr01to04) {
  SeqWrite(kSr00Reset, 0x01);
  adapter_.Out8(kMiscWritePort, misc);
  for (uint8_t i = 0; i < 4; ++i)
    SeqWrite(1 + i, sr01to04[i]);
  SeqWrite(kSr00Reset, 0x03);
}

void VideoBios::WriteCrtc(std::span<const uint8_t, 0x19> crtc) {
  // Lift the CR00-CR07 protection; the table's CR11 sets it again.
  CrtcWrite(kCr11VerticalRetraceEnd, crtc[kCr11VerticalRetraceEnd] & ~kCr11Protect);
  for (uint8_t i = 0; i < crtc.size(); ++i)
    CrtcWrite(i, crtc[i]);
}

void VideoBios::WriteAttributes(std::span<const uint8_t, 0x15> attr) {
  adapter_.In8(kStatus1Port);  // flip-flop to the index state
  for (uint8_t i = 0; i < attr.size(); ++i) {
    adapter_.Out8(kAttrPort, i);  // bit 5 clear: the screen stays blank meanwhile
    adapter_.Out8(kAttrPort, attr[i]);
  }
}

void VideoBios::WriteGraphics(std::span<const uint8_t, 9> gc) {
  for (uint8_t i = 0; i < gc.size(); ++i)
    GcWrite(i, gc[i]);
}

void VideoBios::LoadDac(std::span<const Rgb> colours) {
  adapter_.Out8(kPelMaskPort, 0xFF);
  adapter_.Out8(kDacWriteIndexPort, 0x00);
  for (const Rgb& c : colours) {
    adapter_.Out8(kDacDataPort, c.r);
    adapter_.Out8(kDacDataPort, c.g);
    adapter_.Out8(kDacDataPort, c.b);
  }
}

void VideoBios::EnableDisplay() {
  adapter_.In8(kStatus1Port);
  adapter_.Out8(kAttrPort, kArPaletteSource);
}

}  // namespace sim
