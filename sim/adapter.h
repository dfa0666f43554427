// The simulated Zel adapter: a faithful VGA plus the Zel extensions, with its
// video memory shared by the 0xA0000 window and the linear aperture, its
// option ROM and its PCI configuration space.
//
// The bus side (In/Out/MemRead/MemWrite) has every side effect a real chip
// has; the inspection side (Seq, Crtc, ..., WholeState) has none.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/profile.h"
#include "sim/vga/attribute.h"
#include "sim/vga/crtc.h"
#include "sim/vga/dac.h"
#include "sim/vga/general.h"
#include "sim/vga/graphics.h"
#include "sim/vga/memory.h"
#include "sim/vga/sequencer.h"
#include "sim/vga/video_memory.h"
#include "sim/zel/extensions.h"

namespace sim {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The standard VGA state that a full-screen switch must keep, in one value,
// so that comparing two machines is one call.
struct VgaState {
  std::array<uint8_t, 5> seq{};
  uint8_t seqIndex = 0;
  std::array<uint8_t, 0x19> crtc{};  // CR10/CR11 as stored, whatever CR03 bit 7 says
  uint8_t crtcIndex = 0;
  std::array<uint8_t, 9> gc{};
  uint8_t gcIndex = 0;
  std::array<uint8_t, 0x15> attr{};
  uint8_t attrIndex = 0;          // the whole address register, bit 5 included
  bool attrFlipFlopData = false;  // true: the next 0x3C0 write is data
  uint8_t misc = 0;
  uint8_t featureControl = 0;
  uint8_t videoEnable = 0;  // port 0x3C3
  std::array<Rgb, 256> dac{};
  uint8_t dacAddress = 0;
  bool dacReadMode = false;
  uint8_t dacPosition = 0;              // components of the current triple transferred, 0 to 2
  std::array<uint8_t, 3> dacPending{};  // components written so far (write mode)
  uint8_t pelMask = 0;
  std::array<uint8_t, 4> latches{};
  std::array<std::vector<uint8_t>, 4> planes;  // the first 64 KB of each plane

  bool operator==(const VgaState&) const = default;
};

// Every difference between two states, one line each ("SR02: expected 0x0f,
// got 0x03", "plane 2 offset 0x1234: expected 0x00, got 0x41"), at most
// `limit` lines; when more differ, the last line says how many are left out.
std::vector<std::string> Diff(const VgaState& expected, const VgaState& actual, size_t limit = 20);

class Adapter {
 public:
  explicit Adapter(const PowerOnState& powerOn);

  // ---- bus side: ports 0x3B0 to 0x3DF (decoded by misc output bit 0 for
  // 0x3B4/0x3B5/0x3BA against 0x3D4/0x3D5/0x3DA); anything else reads 0xFF.
  uint8_t In8(uint16_t port);
  void Out8(uint16_t port, uint8_t value);
  // Wider accesses are the byte accesses to consecutive ports, low byte first.
  uint16_t In16(uint16_t port);
  void Out16(uint16_t port, uint16_t value);
  uint32_t In32(uint16_t port);
  void Out32(uint16_t port, uint32_t value);

  // ---- memory side: the VGA window (0xA0000 to 0xBFFFF, as GR06 maps it),
  // the linear aperture (where SR20/SR21 put it while SR06 bit 7 is set) and
  // the option ROM at 0xC0000.
  bool Decodes(uint32_t physical) const;
  uint8_t MemRead8(uint32_t physical);
  // Inlined into every caller: the BIOS clears and fills the text window
  // byte by byte.
  [[gnu::always_inline]] void MemWrite8(uint32_t physical, uint8_t value) {
    const vga::WindowLogic& w = Logic();
    if (physical - w.windowStart < w.windowLength) {
      memory_.Write(physical - w.windowStart, value, w, vram_);
      return;
    }
    WriteOutsideWindow(physical, value);
  }
  // Consecutive addresses from `physical` on: exactly the byte accesses
  // above one after the other, each address decoded as they decode it, with
  // the window's registers worked out once.
  void MemRead(uint32_t physical, std::span<uint8_t> out);
  void MemWrite(uint32_t physical, std::span<const uint8_t> bytes);
  void MemFill(uint32_t physical, uint32_t length, uint8_t value);
  std::optional<uint32_t> ApertureBase() const;  // while SR06 bit 7 is set
  uint32_t ApertureLength() const { return 0x800000; }

  // ---- PCI configuration space (for the host bridge).
  uint32_t ConfigRead32(uint8_t reg) const;

  // ---- inspection without side effects
  uint8_t Seq(uint8_t index) const;         // the register as stored, lock or not
  std::array<uint8_t, 256> SeqAll() const;  // every index as Seq gives it
  uint8_t Crtc(uint8_t index) const;
  uint8_t Gc(uint8_t index) const;
  uint8_t Attr(uint8_t index) const;
  uint8_t Misc() const;
  uint8_t FeatureControl() const;
  uint8_t PelMask() const;
  Rgb Dac(uint8_t index) const;
  uint8_t Latch(int plane) const;
  uint8_t PlaneByte(int plane, uint32_t offset) const;
  uint8_t BankSelect() const;  // port 0x3CD
  bool ExtendedUnlocked() const;
  uint8_t KeyPort3BF() const;
  uint8_t KeyPortMode() const;  // last value written to 0x3D8 or 0x3B8
  std::span<const uint8_t> Vram() const { return vram_.Bytes(); }
  // For writing by hand (a test's set-up): a change record running
  // meanwhile cannot tell what the memory held before, and every page
  // counts as written.
  std::span<uint8_t> Vram() { return vram_.Unfollowed(); }
  // Where a caller mapping of the linear aperture points: the video memory
  // itself, written by the caller's own stores (so every page counts as
  // written from here on).
  uint8_t* LinearMemory() { return vram_.Exposed(); }
  // All of video memory to zeros, as the BIOS's string store through the
  // aperture leaves it.
  void ClearVram() { vram_.Clear(); }
  std::span<const uint8_t> OptionRom() const { return *rom_; }
  VgaState WholeState() const;
  // WholeState with the planes left empty: the registers alone, cheap
  // enough to take before every request.
  VgaState RegisterState() const;
  // Everything the adapter holds, video memory included: two adapters that
  // compare equal answer every access alike.
  bool operator==(const Adapter& other) const;

  // ---- change record: from StartChangeRecord on, video memory keeps what
  // each 4 KB page held before the bus first wrote it, so that what a
  // stretch of activity changed is found without copying the memory.
  void StartChangeRecord() { vram_.StartRecord(); }
  void StopChangeRecord() { vram_.StopRecord(); }
  std::vector<vga::VideoMemory::WrittenPage> WrittenPages() const { return vram_.WrittenPages(); }
  // The memory was handed out whole for writing (Vram()) meanwhile.
  bool VramWrittenWhole() const { return vram_.WrittenWhole(); }

  // ---- every register of every device (the VGA's, the latches, the
  // display timing, the Zel bank with the bank select and key ports), as
  // one value: no video memory, ROM or PCI space.
  struct Registers {
    vga::General general;
    vga::Sequencer seq;
    vga::Crtc crtc;
    vga::Graphics gc;
    vga::Attribute attr;
    vga::Dac dac;
    vga::Memory memory;
    zel::Extensions zel;
    bool operator==(const Registers&) const = default;
  };
  Registers SaveRegisters() const;
  // The devices become these, as another adapter of this profile had them.
  void LoadRegisters(const Registers& registers);
  // Video memory as the bus writes it (every write followed), for a hand
  // that puts back what another adapter holds.
  vga::VideoMemory& FollowedVram() { return vram_; }

  // ---- snapshots: the adapter as it is now, to come back to at the cost of
  // what changed since (video memory by the pages written).
  struct Snapshot {
    vga::VideoMemory::Image vram;
    std::shared_ptr<const std::vector<uint8_t>> rom;
    std::array<uint8_t, 256> pciConfig;
    Registers registers;
  };
  Snapshot TakeSnapshot();
  void Rollback(const Snapshot& snapshot);
  // Where the adapter differs from the snapshot ("video memory 0x1234",
  // "sequencer", ...), empty when it does not.
  std::string DifferenceFrom(const Snapshot& snapshot) const;

  // ---- test hooks
  // Input status bits forced to a value (mask of bits 0 and 3 of 0x3DA/0x3BA).
  // Each call replaces the previous one; a mask of 0 lets the timing run free.
  void StickStatusBits(uint8_t mask, uint8_t value);
  // How many status reads one frame lasts in the timing model.
  static constexpr uint32_t kStatusReadsPerFrame = 64;

  // The BIOS programs registers directly; it uses the bus side like the CPU.
  // (Private state lives in the device objects below.)

  // The port range the adapter decodes.
  static constexpr uint16_t kFirstPort = 0x3B0;
  static constexpr uint16_t kLastPort = 0x3DF;

 private:
  // Which setting of misc output bit 0 a port answers under.
  enum class Decode : uint8_t { Never, Always, Mono, Color };
  // One port: what a read and a write there do. No read: the port reads
  // 0xFF (write-only); no write: writes are lost (read-only).
  struct PortRow {
    uint16_t port = 0;
    Decode decode = Decode::Never;
    uint8_t (*read)(Adapter&) = nullptr;
    void (*write)(Adapter&, uint8_t) = nullptr;
  };
  using PortMap = std::array<PortRow, kLastPort - kFirstPort + 1>;
  static constexpr PortMap MapPorts(std::initializer_list<PortRow> rows);
  static const PortMap kPorts;
  // The row answering `port` under the current addressing, or none.
  const PortRow* Decoded(uint16_t port) const;

  vga::WindowSetup Window() const;
  // The window's registers worked out, again after any port write.
  [[gnu::always_inline]] const vga::WindowLogic& Logic() {
    if (logicStale_) RefreshLogic();
    return logic_;
  }
  void RefreshLogic();
  void WriteOutsideWindow(uint32_t physical, uint8_t value);
  template <typename Source>
  void WriteSpan(uint32_t physical, uint32_t length, Source source);

  vga::VideoMemory vram_;
  // Never written: copies and snapshots of the adapter share it.
  std::shared_ptr<const std::vector<uint8_t>> rom_;
  std::array<uint8_t, 256> pciConfig_;
  vga::General general_;
  vga::Sequencer seq_;
  vga::Crtc crtc_;
  vga::Graphics gc_;
  vga::Attribute attr_;
  vga::Dac dac_;
  vga::Memory memory_;
  zel::Extensions zel_;
  vga::WindowLogic logic_;
  bool logicStale_ = true;
};

}  // namespace sim
