// The adapter's video BIOS as INT 10h sees it: function 00h sets the text
// mode 0x03 and every packed-pixel mode of the Zel catalogue, function 15h
// answers that the BIOS is there.
//
// The BIOS works on the adapter through its bus side, as the processor does
// (its accesses are not part of the driver's trace), except for clearing
// the whole video memory of a graphics mode, which it does in one block.
// It opens the extended sequencer registers (SR05 = 0x86) for its own work
// and closes them again when it found them closed. Beyond the registers
// below, the chip's extended state is the driver's: the bank select
// register 0x3CD, the linear aperture, the pointer and the display FIFO
// keep what they held.
//
// Zel extended registers that the BIOS programs, and that the display
// reads:
//
//   SR07  pixel format. 0x00: standard VGA (text, planar; the attribute
//         controller and DAC path). Otherwise the display reads video memory
//         linearly from the start address, one scan line every `pitch`
//         bytes, in the format:
//           0x01 8 bpp through the DAC        0x02 15 bpp x:5:5:5
//           0x03 16 bpp 5:6:5                 0x04 24 bpp B, G, R bytes
//           0x05 32 bpp B, G, R, x bytes
//         (15, 16 and 32 bpp are little-endian words/dwords, blue in the
//         low bits.)
//   SR0A  bits 7-4: bits 11-8 of the row offset, whose bits 7-0 are CR13.
//         The offset counts 8-byte units: pitch = offset * 8. In an
//         interlaced mode it counts 4-byte units (pitch = offset * 4): each
//         field steps over the other field's lines. Bits 3-0 are not the
//         BIOS's.
//   SR0E  bit 0 vertical display end bit 10 (bits 9-0: CR12, CR07 bits 6, 1)
//         bit 1 vertical total bit 10
//         bit 2 interlaced: the frame is shown as two fields
//         bit 3 vertical blank start bit 10
//         bit 4 vertical retrace start bit 10
//         bit 5 horizontal total bit 8 (bits 7-0: CR00)
//
//   The start address (CR0C high, CR0D low) counts 4-byte units in the
//   pixel formats; the BIOS sets it to 0.
//
// The refresh selection that the driver makes before the call decides
// whether 1024 x 768 and 1280 x 1024 come up interlaced (43 Hz):
//   SR37 bit 7 set: by the refresh index in SR37 bits 6-2; index 1 is 43 Hz.
//   SR37 bit 7 clear: by the frame-rate fields; 1024 x 768 is interlaced
//   when SR0F bits 3-2 and SR25 bits 3-2 are all 0, 1280 x 1024 when SR10
//   bits 3-2 are 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "miniport/videoport.h"
#include "sim/adapter.h"

namespace sim {

namespace bios {
struct GraphicsMode;
}

class VideoBios {
 public:
  explicit VideoBios(Adapter& adapter);

  // INT 10h with the registers of `args`, updated in place.
  //   AH = 00h: set mode AL (bit 7 of AL set: keep video memory). An
  //             unknown mode changes nothing. The registers come back as
  //             they went in.
  //   AH = 15h: AX = 0x004F (AL 0x4F: function supported, AH 0: done);
  //             nothing else changes.
  //   Any other function changes nothing.
  // Returns NO_ERROR, or the forced failure, in which case nothing is done.
  VP_STATUS Int10(VIDEO_X86_BIOS_ARGUMENTS& args);

  // Every following call fails with `status` (std::nullopt: works again).
  void SetFailure(std::optional<VP_STATUS> status) { failure_ = status; }

  uint32_t Calls() const { return calls_; }

  // What the BIOS holds beside the adapter, for snapshots.
  struct State {
    std::optional<VP_STATUS> failure;
    uint32_t calls;
  };
  State Save() const { return {failure_, calls_}; }
  void Restore(const State& s) {
    failure_ = s.failure;
    calls_ = s.calls;
  }

 private:
  void SetTextMode(bool clearMemory);
  void SetGraphicsMode(const bios::GraphicsMode& mode, bool clearMemory);
  bool InterlacedSelected(uint16_t width);
  void LoadFont();
  void ClearTextBuffer();

  // Register access through the bus. OpenExtended returns whether the
  // extended registers were locked.
  bool OpenExtended();
  void CloseExtended();
  uint8_t SeqRead(uint8_t index);
  void SeqWrite(uint8_t index, uint8_t value);
  void CrtcWrite(uint8_t index, uint8_t value);
  void GcWrite(uint8_t index, uint8_t value);
  void WriteSequencerAndMisc(uint8_t misc, std::span<const uint8_t, 4> sr01to04);
  void WriteCrtc(std::span<const uint8_t, 0x19> crtc);
  void WriteAttributes(std::span<const uint8_t, 0x15> attr);
  void WriteGraphics(std::span<const uint8_t, 9> gc);
  void LoadDac(std::span<const Rgb> colours);
  void EnableDisplay();

  Adapter& adapter_;
  std::optional<VP_STATUS> failure_;
  uint32_t calls_ = 0;
};

}  // namespace sim
