// The Zel adapter: wires the VGA devices and the Zel extensions to the port
// and memory buses. Each device keeps its own state; this file only decodes
// addresses and hands each access to the device that answers it.
#include "sim/adapter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sim {

namespace {

constexpr uint32_t kRomBase = 0xC0000;
constexpr uint8_t kUndecoded = 0xFF;

}  // namespace

Adapter::Adapter(const PowerOnState& powerOn)
    : vram_(powerOn.videoMemoryBytes),
      rom_(std::make_shared<const std::vector<uint8_t>>(powerOn.optionRom)),
      pciConfig_(powerOn.pciConfig),
      seq_(powerOn.defects),
      gc_(powerOn.defects),
      zel_(powerOn.extendedSeq, powerOn.defects.zelBankAbsent) {}

// ---- ports

constexpr Adapter::PortMap Adapter::MapPorts(std::initializer_list<PortRow> rows) {
  PortMap map{};
  for (const PortRow& row : rows)
    map[row.port - kFirstPort] = row;
  return map;
}

// Every port the adapter answers, one row each. Misc output bit 0 moves the
// CRTC, the status/feature port and the mode key between 0x3Bx (Mono) and
// 0x3Dx (Color); the other range does not answer.
constexpr Adapter::PortMap Adapter::kPorts = MapPorts({
    {vga::kCrtcIndexMonoPort, Decode::Mono, [](Adapter& a) { return a.crtc_.ReadIndex(); },
     [](Adapter& a, uint8_t v) { a.crtc_.WriteIndex(v); }},
    {vga::kCrtcDataMonoPort, Decode::Mono, [](Adapter& a) { return a.crtc_.ReadData(); },
     [](Adapter& a, uint8_t v) { a.crtc_.WriteData(v); }},
    {zel::kModeKeyMonoPort, Decode::Mono, nullptr,
     [](Adapter& a, uint8_t v) { a.zel_.WriteModeKey(v); }},
    // Read: input status 1, which puts the attribute flip-flop back to index.
    // Write: feature control.
    {vga::kStatus1MonoPort, Decode::Mono,
     [](Adapter& a) {
       a.attr_.ResetFlipFlop();
       return a.general_.ReadInputStatus1();
     },
     [](Adapter& a, uint8_t v) { a.general_.WriteFeatureControl(v); }},
    {zel::kKeyPort, Decode::Always, nullptr, [](Adapter& a, uint8_t v) { a.zel_.WriteKeyPort(v); }},
    {vga::kAttrPort, Decode::Always, [](Adapter& a) { return a.attr_.ReadAddress(); },
     [](Adapter& a, uint8_t v) { a.attr_.Write(v); }},
    {vga::kAttrDataReadPort, Decode::Always, [](Adapter& a) { return a.attr_.ReadData(); },
     nullptr},
    // Read: input status 0. Write: misc output.
    {vga::kMiscWritePort, Decode::Always, [](Adapter& a) { return a.general_.InputStatus0(); },
     [](Adapter& a, uint8_t v) { a.general_.WriteMisc(v); }},
    {vga::kVideoEnablePort, Decode::Always, [](Adapter& a) { return a.general_.VideoEnable(); },
     [](Adapter& a, uint8_t v) { a.general_.WriteVideoEnable(v); }},
    {vga::kSeqIndexPort, Decode::Always, [](Adapter& a) { return a.seq_.ReadIndex(); },
     [](Adapter& a, uint8_t v) { a.seq_.WriteIndex(v); }},
    // Indices above SR04 reach the Zel extensions.
    {vga::kSeqDataPort, Decode::Always,
     [](Adapter& a) {
       return a.seq_.StandardSelected() ? a.seq_.ReadData() : a.zel_.ReadSeq(a.seq_.Index());
     },
     [](Adapter& a, uint8_t v) {
       a.seq_.StandardSelected() ? a.seq_.WriteData(v) : a.zel_.WriteSeq(a.seq_.Index(), v);
     }},
    {vga::kPelMaskPort, Decode::Always, [](Adapter& a) { return a.dac_.PelMask(); },
     [](Adapter& a, uint8_t v) { a.dac_.SetPelMask(v); }},
    // Read: DAC state. Write: DAC read index.
    {vga::kDacReadIndexPort, Decode::Always, [](Adapter& a) { return a.dac_.ReadState(); },
     [](Adapter& a, uint8_t v) { a.dac_.WriteReadIndex(v); }},
    {vga::kDacWriteIndexPort, Decode::Always, [](Adapter& a) { return a.dac_.ReadAddress(); },
     [](Adapter& a, uint8_t v) { a.dac_.WriteWriteIndex(v); }},
    {vga::kDacDataPort, Decode::Always, [](Adapter& a) { return a.dac_.ReadData(); },
     [](Adapter& a, uint8_t v) { a.dac_.WriteData(v); }},
    {vga::kFeatureReadPort, Decode::Always, [](Adapter& a) { return a.general_.FeatureControl(); },
     nullptr},
    {vga::kMiscReadPort, Decode::Always, [](Adapter& a) { return a.general_.Misc(); }, nullptr},
    {zel::kBankSelectPort, Decode::Always, [](Adapter& a) { return a.zel_.BankSelect(); },
     [](Adapter& a, uint8_t v) { a.zel_.WriteBankSelect(v); }},
    {vga::kGcIndexPort, Decode::Always, [](Adapter& a) { return a.gc_.ReadIndex(); },
     [](Adapter& a, uint8_t v) { a.gc_.WriteIndex(v); }},
    {vga::kGcDataPort, Decode::Always, [](Adapter& a) { return a.gc_.ReadData(); },
     [](Adapter& a, uint8_t v) { a.gc_.WriteData(v); }},
    {vga::kCrtcIndexColorPort, Decode::Color, [](Adapter& a) { return a.crtc_.ReadIndex(); },
     [](Adapter& a, uint8_t v) { a.crtc_.WriteIndex(v); }},
    {vga::kCrtcDataColorPort, Decode::Color, [](Adapter& a) { return a.crtc_.ReadData(); },
     [](Adapter& a, uint8_t v) { a.crtc_.WriteData(v); }},
    {zel::kModeKeyColorPort, Decode::Color, nullptr,
     [](Adapter& a, uint8_t v) { a.zel_.WriteModeKey(v); }},
    {vga::kStatus1ColorPort, Decode::Color,
     [](Adapter& a) {
       a.attr_.ResetFlipFlop();
       return a.general_.ReadInputStatus1();
     },
     [](Adapter& a, uint8_t v) { a.general_.WriteFeatureControl(v); }},
});

const Adapter::PortRow* Adapter::Decoded(uint16_t port) const {
  if (port < kFirstPort || port > kLastPort) return nullptr;
  const PortRow& row = kPorts[port - kFirstPort];
  switch (row.decode) {
    case Decode::Always:
      return &row;
    case Decode::Mono:
      return general_.ColorAddressing() ? nullptr : &row;
    case Decode::Color:
      return general_.ColorAddressing() ? &row : nullptr;
    case Decode::Never:
      break;
  }
  return nullptr;
}

uint8_t Adapter::In8(uint16_t port) {
  const PortRow* row = Decoded(port);
  return row && row->read ? row->read(*this) : kUndecoded;
}

void Adapter::Out8(uint16_t port, uint8_t value) {
  if (port < kFirstPort || port > kLastPort) return;
  logicStale_ = true;
  const PortRow* row = Decoded(port);
  if (row && row->write) row->write(*this, value);
}

uint16_t Adapter::In16(uint16_t port) {
  const uint8_t low = In8(port);
  return static_cast<uint16_t>(low | (In8(static_cast<uint16_t>(port + 1)) << 8));
}

void Adapter::Out16(uint16_t port, uint16_t value) {
  Out8(port, static_cast<uint8_t>(value));
  Out8(static_cast<uint16_t>(port + 1), static_cast<uint8_t>(value >> 8));
}

uint32_t Adapter::In32(uint16_t port) {
  const uint32_t low = In16(port);
  return low | (uint32_t{In16(static_cast<uint16_t>(port + 2))} << 16);
}

void Adapter::Out32(uint16_t port, uint32_t value) {
  Out16(port, static_cast<uint16_t>(value));
  Out16(static_cast<uint16_t>(port + 2), static_cast<uint16_t>(value >> 16));
}

// ---- memory
// Misc output bit 1 (RAM enable) gates the processor's access to display
// memory through the window (see vga::WindowLogic). The linear aperture is
// the chip's own path and does not look at it.

vga::WindowSetup Adapter::Window() const {
  return vga::WindowSetup{.ramEnabled = general_.RamEnabled(),
                          .mapMask = seq_.Reg(vga::kSr02MapMask),
                          .memoryMode = seq_.Reg(vga::kSr04MemoryMode),
                          .gc = gc_.All(),
                          .bankSelect = zel_.BankSelect()};
}

std::optional<uint32_t> Adapter::ApertureBase() const {
  return zel_.ApertureBase();
}

namespace {
std::optional<uint32_t> Within(uint32_t physical, std::optional<uint32_t> base, uint32_t length) {
  if (!base || physical < *base || physical - *base >= length) return std::nullopt;
  return physical - *base;
}
}  // namespace

bool Adapter::Decodes(uint32_t physical) const {
  return vga::Memory::WindowOffset(physical, gc_.Reg(vga::kGr06Misc)).has_value() ||
         Within(physical, kRomBase, static_cast<uint32_t>(rom_->size())).has_value() ||
         Within(physical, ApertureBase(), ApertureLength()).has_value();
}

// The window is looked at first, then the ROM, then the aperture.
uint8_t Adapter::MemRead8(uint32_t physical) {
  const vga::WindowLogic& w = Logic();
  if (physical - w.windowStart < w.windowLength) {
    return memory_.Read(physical - w.windowStart, w, vram_);
  }
  if (auto offset = Within(physical, kRomBase, static_cast<uint32_t>(rom_->size()))) {
    return (*rom_)[*offset];
  }
  if (auto offset = Within(physical, ApertureBase(), ApertureLength())) {
    return *offset < vram_.Size() ? vram_[*offset] : kUndecoded;
  }
  return kUndecoded;
}

void Adapter::RefreshLogic() {
  logic_ = vga::Resolve(Window());
  logicStale_ = false;
}

void Adapter::WriteOutsideWindow(uint32_t physical, uint8_t value) {
  if (Within(physical, kRomBase, static_cast<uint32_t>(rom_->size()))) return;
  if (auto offset = Within(physical, ApertureBase(), ApertureLength())) {
    if (*offset < vram_.Size()) vram_.Store(*offset, value);
  }
}

// ---- spans

namespace {

enum class Target { Window, Rom, Aperture, Nothing };

struct Range {
  Target target;
  uint64_t start, end;  // end exclusive; empty when start == end
};

// The addresses from `physical` on that one target answers, decoded as the
// byte accesses decode them: the first range (in the order window, ROM,
// aperture) holding the address wins, up to where it ends or a range before
// it in that order begins. At most `remaining` bytes, and none past 4 GB
// (the byte accesses wrap there).
struct Stretch {
  Target target;
  uint32_t offset;  // within the target
  uint32_t length;
};

std::array<Range, 3> Ranges(const vga::WindowLogic& w, size_t romSize,
                            std::optional<uint32_t> aperture, uint32_t apertureLength) {
  return {Range{Target::Window, w.windowStart, uint64_t{w.windowStart} + w.windowLength},
          Range{Target::Rom, kRomBase, kRomBase + romSize},
          Range{Target::Aperture, aperture.value_or(0),
                aperture ? uint64_t{*aperture} + apertureLength : 0}};
}

Stretch StretchAt(uint32_t physical, uint64_t remaining, std::span<const Range, 3> ranges) {
  const uint64_t p = physical;
  uint64_t end = std::min<uint64_t>(p + remaining, uint64_t{1} << 32);
  for (const Range& r : ranges) {
    if (p >= r.start && p < r.end) {
      end = std::min(end, r.end);
      return {r.target, static_cast<uint32_t>(p - r.start), static_cast<uint32_t>(end - p)};
    }
    // A range of higher precedence cuts the ones after it short.
    if (r.start > p && r.start < r.end) end = std::min(end, r.start);
  }
  return {Target::Nothing, 0, static_cast<uint32_t>(end - p)};
}

}  // namespace

void Adapter::MemRead(uint32_t physical, std::span<uint8_t> out) {
  const vga::WindowLogic& w = Logic();
  const std::array<Range, 3> ranges = Ranges(w, rom_->size(), ApertureBase(), ApertureLength());
  size_t done = 0;
  while (done < out.size()) {
    const Stretch s = StretchAt(static_cast<uint32_t>(physical + done), out.size() - done, ranges);
    const std::span<uint8_t> part = out.subspan(done, s.length);
    switch (s.target) {
      case Target::Window:
        memory_.Read(s.offset, part, w, vram_);
        break;
      case Target::Rom:
        std::memcpy(part.data(), rom_->data() + s.offset, s.length);
        break;
      case Target::Aperture: {
        const uint32_t installed =
            s.offset < vram_.Size() ? std::min<uint32_t>(s.length, vram_.Size() - s.offset) : 0;
        if (installed != 0) std::memcpy(part.data(), vram_.Bytes().data() + s.offset, installed);
        std::fill(part.begin() + installed, part.end(), kUndecoded);
        break;
      }
      case Target::Nothing:
        std::fill(part.begin(), part.end(), kUndecoded);
        break;
    }
    done += s.length;
  }
}

template <typename Source>
void Adapter::WriteSpan(uint32_t physical, uint32_t length, Source source) {
  const vga::WindowLogic& w = Logic();
  const std::array<Range, 3> ranges = Ranges(w, rom_->size(), ApertureBase(), ApertureLength());
  uint32_t done = 0;
  while (done < length) {
    const Stretch s = StretchAt(physical + done, length - done, ranges);
    switch (s.target) {
      case Target::Window:
        source.WriteWindow(memory_, s.offset, done, s.length, w, vram_);
        break;
      case Target::Aperture: {
        const uint32_t installed =
            s.offset < vram_.Size() ? std::min<uint32_t>(s.length, vram_.Size() - s.offset) : 0;
        if (installed != 0) source.Copy(vram_.Writable(s.offset, installed), done, installed);
        break;
      }
      case Target::Rom:
      case Target::Nothing:
        break;  // writes are lost
    }
    done += s.length;
  }
}

namespace {

// The bytes of a span write: from a buffer, or one value throughout.
struct FromBuffer {
  std::span<const uint8_t> bytes;
  void WriteWindow(vga::Memory& memory, uint32_t offset, uint32_t from, uint32_t length,
                   const vga::WindowLogic& w, vga::VideoMemory& vram) const {
    memory.Write(offset, bytes.subspan(from, length), w, vram);
  }
  void Copy(uint8_t* to, uint32_t from, uint32_t length) const {
    std::memcpy(to, bytes.data() + from, length);
  }
};

struct Repeated {
  uint8_t value;
  void WriteWindow(vga::Memory& memory, uint32_t offset, uint32_t, uint32_t length,
                   const vga::WindowLogic& w, vga::VideoMemory& vram) const {
    memory.Fill(offset, length, value, w, vram);
  }
  void Copy(uint8_t* to, uint32_t, uint32_t length) const { std::fill_n(to, length, value); }
};

}  // namespace

void Adapter::MemWrite(uint32_t physical, std::span<const uint8_t> bytes) {
  WriteSpan(physical, static_cast<uint32_t>(bytes.size()), FromBuffer{bytes});
}

void Adapter::MemFill(uint32_t physical, uint32_t length, uint8_t value) {
  WriteSpan(physical, length, Repeated{value});
}

uint32_t Adapter::ConfigRead32(uint8_t reg) const {
  const size_t at = reg & 0xFC;
  return uint32_t{pciConfig_[at]} | (uint32_t{pciConfig_[at + 1]} << 8) |
         (uint32_t{pciConfig_[at + 2]} << 16) | (uint32_t{pciConfig_[at + 3]} << 24);
}

// ---- inspection

uint8_t Adapter::Seq(uint8_t index) const {
  return index < 5 ? seq_.Reg(index) : zel_.Stored(index);
}
std::array<uint8_t, 256> Adapter::SeqAll() const {
  std::array<uint8_t, 256> all = zel_.Registers();
  for (uint8_t index = 0; index < 5; ++index)
    all[index] = seq_.Reg(index);
  all[zel::kSr05Lock] = zel_.Stored(zel::kSr05Lock);
  return all;
}

uint8_t Adapter::Crtc(uint8_t index) const {
  return crtc_.Reg(index);
}
uint8_t Adapter::Gc(uint8_t index) const {
  return gc_.Reg(index);
}
uint8_t Adapter::Attr(uint8_t index) const {
  return attr_.Reg(index);
}
uint8_t Adapter::Misc() const {
  return general_.Misc();
}
uint8_t Adapter::FeatureControl() const {
  return general_.FeatureControl();
}
uint8_t Adapter::PelMask() const {
  return dac_.PelMask();
}

Rgb Adapter::Dac(uint8_t index) const {
  const vga::DacEntry& e = dac_.Entry(index);
  return Rgb{e[0], e[1], e[2]};
}

uint8_t Adapter::Latch(int plane) const {
  return memory_.Latches()[plane & 3];
}

uint8_t Adapter::PlaneByte(int plane, uint32_t offset) const {
  const uint64_t at = uint64_t{offset} * 4 + (plane & 3);
  return at < vram_.Size() ? vram_[static_cast<uint32_t>(at)] : kUndecoded;
}

uint8_t Adapter::BankSelect() const {
  return zel_.BankSelect();
}
bool Adapter::ExtendedUnlocked() const {
  return zel_.Unlocked();
}
uint8_t Adapter::KeyPort3BF() const {
  return zel_.KeyPort();
}
uint8_t Adapter::KeyPortMode() const {
  return zel_.ModeKey();
}

void Adapter::StickStatusBits(uint8_t mask, uint8_t value) {
  general_.StickStatusBits(mask, value);
}

VgaState Adapter::WholeState() const {
  VgaState s = RegisterState();
  for (int p = 0; p < 4; ++p) {
    s.planes[p].resize(0x10000);
    for (uint32_t o = 0; o < 0x10000; ++o)
      s.planes[p][o] = PlaneByte(p, o);
  }
  return s;
}

bool Adapter::operator==(const Adapter& other) const {
  return vram_ == other.vram_ && *rom_ == *other.rom_ && pciConfig_ == other.pciConfig_ &&
         general_ == other.general_ && seq_ == other.seq_ && crtc_ == other.crtc_ &&
         gc_ == other.gc_ && attr_ == other.attr_ && dac_ == other.dac_ &&
         memory_ == other.memory_ && zel_ == other.zel_;
}

// ---- snapshots

// Every member of the adapter is in its snapshot: one added here must join
// TakeSnapshot, Rollback and DifferenceFrom.
static_assert(sizeof(void*) != 4 || sizeof(Adapter) == 1616,
              "a new member of the adapter: add it to its snapshot");

Adapter::Registers Adapter::SaveRegisters() const {
  return {general_, seq_, crtc_, gc_, attr_, dac_, memory_, zel_};
}

void Adapter::LoadRegisters(const Registers& r) {
  general_ = r.general;
  seq_ = r.seq;
  crtc_ = r.crtc;
  gc_ = r.gc;
  attr_ = r.attr;
  dac_ = r.dac;
  memory_ = r.memory;
  zel_ = r.zel;
  logicStale_ = true;
}

Adapter::Snapshot Adapter::TakeSnapshot() {
  return Snapshot{vram_.Capture(), rom_, pciConfig_, SaveRegisters()};
}

void Adapter::Rollback(const Snapshot& s) {
  vram_.Rollback(s.vram);
  rom_ = s.rom;
  pciConfig_ = s.pciConfig;
  LoadRegisters(s.registers);
}

std::string Adapter::DifferenceFrom(const Snapshot& s) const {
  if (auto at = vram_.FirstDifference(s.vram)) {
    char text[48];
    std::snprintf(text, sizeof text, "video memory 0x%x", *at);
    return text;
  }
  const std::pair<bool, const char*> parts[] = {
      {*rom_ == *s.rom, "option ROM"},
      {pciConfig_ == s.pciConfig, "PCI configuration"},
      {general_ == s.registers.general, "misc output, feature control and status"},
      {seq_ == s.registers.seq, "sequencer"},
      {crtc_ == s.registers.crtc, "CRTC"},
      {gc_ == s.registers.gc, "graphics controller"},
      {attr_ == s.registers.attr, "attribute controller"},
      {dac_ == s.registers.dac, "DAC"},
      {memory_ == s.registers.memory, "latches"},
      {zel_ == s.registers.zel, "Zel extensions"}};
  for (const auto& [same, what] : parts) {
    if (!same) return what;
  }
  return {};
}

VgaState Adapter::RegisterState() const {
  VgaState s;
  s.seq = seq_.All();
  s.seqIndex = seq_.Index();
  s.crtc = crtc_.All();
  s.crtcIndex = crtc_.ReadIndex();
  s.gc = gc_.All();
  s.gcIndex = gc_.Index();
  s.attr = attr_.All();
  s.attrIndex = attr_.ReadAddress();
  s.attrFlipFlopData = attr_.DataState();
  s.misc = general_.Misc();
  s.featureControl = general_.FeatureControl();
  s.videoEnable = general_.VideoEnable();
  const auto& table = dac_.Table();
  for (size_t i = 0; i < s.dac.size(); ++i)
    s.dac[i] = Rgb{table[i][0], table[i][1], table[i][2]};
  s.dacAddress = dac_.ReadAddress();
  s.dacReadMode = dac_.ReadMode();
  s.dacPosition = dac_.Position();
  s.dacPending = dac_.Pending();
  s.pelMask = dac_.PelMask();
  s.latches = memory_.Latches();
  return s;
}

}  // namespace sim
