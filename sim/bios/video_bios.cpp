#include "sim/bios/video_bios.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sim/bios/bios_modes.h"
#include "sim/bios/font8x16.h"
#include "sim/bios/palettes.h"

namespace sim {
namespace {

using bios::GraphicsMode;
using bios::Timing;

// Ports (colour addressing: every mode the BIOS sets has misc bit 0 set).
constexpr uint16_t kAttr = 0x3C0;
constexpr uint16_t kMiscWrite = 0x3C2;
constexpr uint16_t kSeqIndex = 0x3C4;
constexpr uint16_t kSeqData = 0x3C5;
constexpr uint16_t kPelMask = 0x3C6;
constexpr uint16_t kDacWriteIndex = 0x3C8;
constexpr uint16_t kDacData = 0x3C9;
constexpr uint16_t kBankSelect = 0x3CD;
constexpr uint16_t kGcIndex = 0x3CE;
constexpr uint16_t kGcData = 0x3CF;
constexpr uint16_t kCrtcIndex = 0x3D4;
constexpr uint16_t kCrtcData = 0x3D5;
constexpr uint16_t kInputStatus1 = 0x3DA;

// Sequencer and Zel registers.
constexpr uint8_t SR00_RESET = 0x00;
constexpr uint8_t SR02_MAP_MASK = 0x02;
constexpr uint8_t SR04_MEMORY_MODE = 0x04;
constexpr uint8_t SR05_KEY = 0x05;
constexpr uint8_t kSr05Unlock = 0x86;
constexpr uint8_t kSr05Lock = 0x00;
constexpr uint8_t kSr05ReadsUnlocked = 0xA1;
constexpr uint8_t SR07_PIXEL_FORMAT = 0x07;
constexpr uint8_t SR0A_PITCH_HIGH = 0x0A;
constexpr uint8_t SR0E_OVERFLOW = 0x0E;
constexpr uint8_t SR0F_FRAME_RATE = 0x0F;
constexpr uint8_t SR10_FRAME_RATE_1280 = 0x10;
constexpr uint8_t SR25_FRAME_RATE_85 = 0x25;
constexpr uint8_t SR37_REFRESH_INDEX = 0x37;

[[maybe_unused]] constexpr uint8_t SR0E_VDE_BIT10 = 0x01;
[[maybe_unused]] constexpr uint8_t SR0E_VT_BIT10 = 0x02;
constexpr uint8_t SR0E_INTERLACED = 0x04;
[[maybe_unused]] constexpr uint8_t SR0E_VBS_BIT10 = 0x08;
[[maybe_unused]] constexpr uint8_t SR0E_VRS_BIT10 = 0x10;
[[maybe_unused]] constexpr uint8_t SR0E_HT_BIT8 = 0x20;

constexpr uint8_t CR11_VERTICAL_RETRACE_END = 0x11;
constexpr uint8_t GR04_READ_MAP = 0x04;
constexpr uint8_t GR05_MODE = 0x05;
constexpr uint8_t GR06_MISC = 0x06;

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
  c[0x00] = hTotal & 0xFF;
  c[0x01] = static_cast<uint8_t>(hDisplay - 1);
  c[0x02] = static_cast<uint8_t>(hDisplay);
  c[0x03] = 0x80 | (hBlankEnd & 0x1F);  // bit 7: CR10/CR11 read back
  c[0x04] = static_cast<uint8_t>(t.hSyncStart / 8);
  c[0x05] = Bit(hBlankEnd, 5, 7) | ((t.hSyncEnd / 8) & 0x1F);
  c[0x06] = vTotal & 0xFF;
  c[0x07] = Bit(vTotal, 8, 0) | Bit(vDisplayEnd, 8, 1) | Bit(vSyncStart, 8, 2) |
            Bit(vBlankStart, 8, 3) | Bit(kLineCompare, 8, 4) | Bit(vTotal, 9, 5) |
            Bit(vDisplayEnd, 9, 6) | Bit(vSyncStart, 9, 7);
  c[0x08] = 0x00;
  c[0x09] = Bit(kLineCompare, 9, 6) | Bit(vBlankStart, 9, 5);
  c[0x0A] = 0x20;  // no text cursor
  c[0x0B] = 0x00;
  c[0x10] = vSyncStart & 0xFF;
  c[0x11] = 0x80 | (t.vSyncEnd & 0x0F);  // CR00-CR07 protected again
  c[0x12] = vDisplayEnd & 0xFF;
  c[0x13] = offset & 0xFF;
  c[0x14] = 0x40;  // doubleword addressing, as chain-4 lays the bytes out
  c[0x15] = vBlankStart & 0xFF;
  c[0x16] = vBlankEnd & 0xFF;
  c[0x17] = 0xA3;
  c[0x18] = kLineCompare & 0xFF;

  p.sr0e = Bit(vDisplayEnd, 10, 0) | Bit(vTotal, 10, 1) | Bit(vBlankStart, 10, 3) |
           Bit(vSyncStart, 10, 4) | Bit(hTotal, 8, 5);
  if (interlaced) p.sr0e |= SR0E_INTERLACED;
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
  SeqWrite(SR07_PIXEL_FORMAT, static_cast<uint8_t>(bios::PixelFormat::Vga));
  SeqWrite(SR0A_PITCH_HIGH, SeqRead(SR0A_PITCH_HIGH) & 0x0F);
  SeqWrite(SR0E_OVERFLOW, 0x00);
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
  const uint8_t misc = 0x2F | (timing.hSyncNegative ? 0x40 : 0) | (timing.vSyncNegative ? 0x80 : 0);
  WriteSequencerAndMisc(misc, kGraphicsSeq);
  SeqWrite(SR07_PIXEL_FORMAT, static_cast<uint8_t>(mode.format));
  const uint16_t offset = interlaced ? mode.stride / 4 : mode.stride / 8;
  SeqWrite(SR0A_PITCH_HIGH, (SeqRead(SR0A_PITCH_HIGH) & 0x0F) | ((offset >> 4) & 0xF0));
  SeqWrite(SR0E_OVERFLOW, crtc.sr0e);
  WriteCrtc(crtc.crtc);
  WriteAttributes(kGraphicsAttr);
  WriteGraphics(kGraphicsGc);
  LoadDac(bios::Default256Palette());

  // The whole memory in one block, as the BIOS's string store through the
  // aperture would leave it.
  if (clearMemory) std::memset(adapter_.Vram().data(), 0, adapter_.Vram().size());
  EnableDisplay();
}

bool VideoBios::InterlacedSelected(uint16_t width) {
  const uint8_t sr37 = SeqRead(SR37_REFRESH_INDEX);
  if (sr37 & 0x80) return ((sr37 >> 2) & 0x1F) == 1;
  if (width == 1024) {
    return (SeqRead(SR0F_FRAME_RATE) & 0x0C) == 0 && (SeqRead(SR25_FRAME_RATE_85) & 0x0C) == 0;
  }
  return (SeqRead(SR10_FRAME_RATE_1280) & 0x0C) == 0;
}

// ---- text memory

// Plane 2 addressed on its own, one 32-byte slot per character, then the
// text-mode addressing back. Planar addressing goes through the bank select
// register, which the BIOS leaves to the driver: bank 0 for the glyphs, then
// the register as it was.
void VideoBios::LoadFont() {
  const uint8_t bank = adapter_.In8(kBankSelect);
  adapter_.Out8(kBankSelect, 0x00);
  SeqWrite(SR02_MAP_MASK, 0x04);
  SeqWrite(SR04_MEMORY_MODE, 0x06);  // sequential, no chain-4
  GcWrite(GR04_READ_MAP, 0x02);
  GcWrite(GR05_MODE, 0x00);
  GcWrite(GR06_MISC, 0x04);  // 0xA0000, 64 KB, no odd/even
  for (unsigned c = 0; c < 256; ++c) {
    const auto glyph = bios::Glyph(static_cast<uint8_t>(c));
    for (unsigned row = 0; row < kFontSlotBytes; ++row) {
      const uint8_t bits = row < glyph.size() ? glyph[row] : 0x00;
      adapter_.MemWrite8(kFontWindow + c * kFontSlotBytes + row, bits);
    }
  }
  SeqWrite(SR02_MAP_MASK, kTextSeq[1]);
  SeqWrite(SR04_MEMORY_MODE, kTextSeq[3]);
  GcWrite(GR04_READ_MAP, kTextGc[4]);
  GcWrite(GR05_MODE, kTextGc[5]);
  GcWrite(GR06_MISC, kTextGc[6]);
  adapter_.Out8(kBankSelect, bank);
}

// Blanks with light grey on black; odd/even puts characters in plane 0 and
// attributes in plane 1.
void VideoBios::ClearTextBuffer() {
  for (uint32_t i = 0; i < kTextBufferBytes; i += 2) {
    adapter_.MemWrite8(kTextBuffer + i, 0x20);
    adapter_.MemWrite8(kTextBuffer + i + 1, 0x07);
  }
}

// ---- registers

bool VideoBios::OpenExtended() {
  const bool locked = SeqRead(SR05_KEY) != kSr05ReadsUnlocked;
  SeqWrite(SR05_KEY, kSr05Unlock);
  return locked;
}

void VideoBios::CloseExtended() {
  SeqWrite(SR05_KEY, kSr05Lock);
}

uint8_t VideoBios::SeqRead(uint8_t index) {
  adapter_.Out8(kSeqIndex, index);
  return adapter_.In8(kSeqData);
}

void VideoBios::SeqWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kSeqIndex, index);
  adapter_.Out8(kSeqData, value);
}

void VideoBios::CrtcWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kCrtcIndex, index);
  adapter_.Out8(kCrtcData, value);
}

void VideoBios::GcWrite(uint8_t index, uint8_t value) {
  adapter_.Out8(kGcIndex, index);
  adapter_.Out8(kGcData, value);
}

// Misc output and the clocking registers change under a synchronous reset.
void VideoBios::WriteSequencerAndMisc(uint8_t misc, std::span<const uint8_t, 4> sr01to04) {
  SeqWrite(SR00_RESET, 0x01);
  adapter_.Out8(kMiscWrite, misc);
  for (uint8_t i = 0; i < 4; ++i)
    SeqWrite(1 + i, sr01to04[i]);
  SeqWrite(SR00_RESET, 0x03);
}

void VideoBios::WriteCrtc(std::span<const uint8_t, 0x19> crtc) {
  // Lift the CR00-CR07 protection; the table's CR11 sets it again.
  CrtcWrite(CR11_VERTICAL_RETRACE_END, crtc[CR11_VERTICAL_RETRACE_END] & 0x7F);
  for (uint8_t i = 0; i < crtc.size(); ++i)
    CrtcWrite(i, crtc[i]);
}

void VideoBios::WriteAttributes(std::span<const uint8_t, 0x15> attr) {
  adapter_.In8(kInputStatus1);  // flip-flop to the index state
  for (uint8_t i = 0; i < attr.size(); ++i) {
    adapter_.Out8(kAttr, i);  // bit 5 clear: the screen stays blank meanwhile
    adapter_.Out8(kAttr, attr[i]);
  }
}

void VideoBios::WriteGraphics(std::span<const uint8_t, 9> gc) {
  for (uint8_t i = 0; i < gc.size(); ++i)
    GcWrite(i, gc[i]);
}

void VideoBios::LoadDac(std::span<const Rgb> colours) {
  adapter_.Out8(kPelMask, 0xFF);
  adapter_.Out8(kDacWriteIndex, 0x00);
  for (const Rgb& c : colours) {
    adapter_.Out8(kDacData, c.r);
    adapter_.Out8(kDacData, c.g);
    adapter_.Out8(kDacData, c.b);
  }
}

void VideoBios::EnableDisplay() {
  adapter_.In8(kInputStatus1);
  adapter_.Out8(kAttr, 0x20);
}

}  // namespace sim
