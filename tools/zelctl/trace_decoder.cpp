#include "tools/zelctl/trace_decoder.h"

#include <algorithm>

#include "sim/vga/general.h"
#include "sim/zel/extensions.h"
#include "tools/zelctl/format.h"
#include "tools/zelctl/registers.h"

namespace zelctl {
namespace {

using regs::File;
using sim::AccessKind;
using sim::TraceEntry;

constexpr uint16_t kAttrIndex = 0x3C0, kAttrData = 0x3C1, kMisc = 0x3C2, kVideoEnable = 0x3C3,
                   kSeqIndex = 0x3C4, kSeqData = 0x3C5, kPelMask = 0x3C6, kDacReadIndex = 0x3C7,
                   kDacWriteIndex = 0x3C8, kDacData = 0x3C9, kFeatureRead = 0x3CA,
                   kMiscRead = 0x3CC, kBankSelect = 0x3CD, kGcIndex = 0x3CE, kGcData = 0x3CF,
                   kKey = 0x3BF, kPciAddress = 0xCF8, kPciData = 0xCFC;
// The ports misc output bit 0 moves between 0x3Bx and 0x3Dx.
constexpr uint16_t kCrtcIndexMono = 0x3B4, kCrtcDataMono = 0x3B5, kModeKeyMono = 0x3B8,
                   kStatus1Mono = 0x3BA;
constexpr uint16_t kColorOffset = 0x20;

constexpr uint8_t kLastSequencer = 0x04;
constexpr uint8_t kPaletteRegisters = 0x10;

// Runs of memory bytes shorter than this are printed byte by byte.
constexpr size_t kFoldMemory = 16;
// Data accesses one line joins to their index write.
constexpr long kJoinedData = 3;
// A line lists this many accesses at most; longer ones show the first, the
// last and the count.
constexpr size_t kListAccesses = 4;
// A run of colour components up to one entry shows the values.
constexpr size_t kListDac = 3;

constexpr const char* kComponents[] = {"red", "green", "blue"};

std::string Body(const TraceEntry& e) {
  const std::string text = sim::Format(e);
  return text.rfind("io ", 0) == 0 ? text.substr(3) : text;
}

std::string LabelOf(uint8_t file, uint8_t index) {
  return regs::Label(static_cast<File>(file), index);
}

// "SR" of "SR05".
std::string FilePrefix(File file) {
  return regs::Label(file, 0).substr(0, 2);
}

// "3DA".
std::string PortName(uint16_t port) {
  std::string name;
  for (const char c : Hex(port, 3).substr(2))
    name += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
  return name;
}

// 32-bit FNV-1a over the bytes in order.
uint32_t Digest(const std::vector<uint8_t>& bytes) {
  uint32_t hash = 2166136261u;
  for (const uint8_t b : bytes) {
    hash ^= b;
    hash *= 16777619u;
  }
  return hash;
}

std::string Region(uint32_t base) {
  if (base >= 0xA0000 && base < 0xC0000) return "window";
  if (base >= 0xC0000 && base < 0x100000) return "option ROM";
  return "aperture";
}

std::string StatusBits(uint8_t value) {
  if (value & sim::vga::kStatusVerticalRetrace) return "vertical retrace";
  if (value & sim::vga::kStatusDisplayDisabled) return "blanking";
  return "display";
}

// What ended a run of status reads: the bit that changed last.
std::string PollEnd(uint8_t before, uint8_t last) {
  const uint8_t rose = last & ~before, fell = before & ~last;
  if (rose & sim::vga::kStatusVerticalRetrace) return "until retrace";
  if (fell & sim::vga::kStatusVerticalRetrace) return "until retrace ended";
  if (rose & sim::vga::kStatusDisplayDisabled) return "until blanking";
  if (fell & sim::vga::kStatusDisplayDisabled) return "until display";
  return "(last " + Hex(last, 2) + ", " + StatusBits(last) + ")";
}

std::string PciAddress(uint32_t value) {
  char text[64];
  std::snprintf(text, sizeof text, "%u:%02x.%u register 0x%02x", (value >> 16) & 0xFF,
                (value >> 11) & 0x1F, (value >> 8) & 7, value & 0xFC);
  return std::string(value & 0x80000000u ? "" : "(disabled) ") + text;
}

}  // namespace

TraceDecoder::TraceDecoder(const sim::Adapter& adapter, Sink sink)
    : adapter_(adapter), sink_(std::move(sink)) {
  Sync();
}

void TraceDecoder::Sync() {
  const sim::VgaState r = adapter_.RegisterState();
  shadow_.seqIndex = r.seqIndex;
  shadow_.crtcIndex = r.crtcIndex;
  shadow_.gcIndex = r.gcIndex;
  shadow_.attrAddress = r.attrIndex;
  shadow_.attrData = r.attrFlipFlopData;
  shadow_.dacAddress = r.dacAddress;
  shadow_.dacPosition = r.dacPosition;
  shadow_.dacRead = r.dacReadMode;
  shadow_.color = r.misc & sim::vga::kMiscColorAddressing;
  shadow_.unlocked = adapter_.ExtendedUnlocked();
}

std::string TraceDecoder::BulkMeaning(uint32_t base, bool write, uint32_t first, uint32_t last,
                                      uint32_t bytes, uint32_t runs, uint32_t digest) {
  std::string text = Region(base) + " " + Hex(base, 0) + "+" + Hex(first, 4) + ": " +
                     std::to_string(bytes) + " bytes " + (write ? "written" : "read");
  if (runs > 1) text += " in " + std::to_string(runs) + " runs";
  if (last != first + bytes - 1) text += " up to +" + Hex(last, 4);
  return text + ", digest " + Hex(digest, 8);
}

// ---- one access into its steps

void TraceDecoder::DecodePortByte(bool read, uint16_t port, uint8_t value,
                                  std::vector<Piece>& out) {
  Shadow& s = shadow_;
  auto other = [&](std::string text) {
    out.push_back(Piece{
        .step = Step::Other, .read = read, .value = value, .port = port, .text = std::move(text)});
  };
  auto single = [&](regs::Single which) {
    const std::string label(regs::Label(which));
    if (read) return other(label + " -> " + Hex(value, 2));
    other(label + " := " + Hex(value, 2) + " (" + regs::Fields(which, value) + ")");
  };
  auto index = [&](File file, uint8_t& selected) {
    if (read) return other(FilePrefix(file) + " index -> " + Hex(value, 2));
    selected = value;
    out.push_back(Piece{.step = Step::Index,
                        .file = static_cast<uint8_t>(file),
                        .index = value,
                        .value = value,
                        .port = port});
  };
  auto data = [&](File file, uint8_t selected) {
    Piece p{.step = Step::Data,
            .file = static_cast<uint8_t>(file),
            .index = selected,
            .read = read,
            .value = value,
            .port = port};
    const bool extended =
        file == File::Seq && selected > kLastSequencer && selected != sim::zel::kSr05Lock;
    if (read) {
      p.text = "-> " + Hex(value, 2) + (extended && !s.unlocked ? " (locked)" : "");
    } else {
      const std::string fields = regs::Fields(file, selected, value, regs::Direction::Write);
      p.text = ":= " + Hex(value, 2);
      if (extended && !s.unlocked) {
        p.text += " (ignored: extended registers locked)";
      } else if (!fields.empty()) {
        p.text += " (" + fields + ")";
      } else if (file == File::Attr && selected < kPaletteRegisters) {
        p.text += " (palette)";
      }
      if (file == File::Seq && selected == sim::zel::kSr05Lock)
        s.unlocked = value == sim::zel::kSr05UnlockKey;
    }
    out.push_back(std::move(p));
  };

  if (port == kKey) {
    return read ? other("not decoded: write-only") : single(regs::Single::KeyPort);
  }
  // Misc output bit 0 puts the CRTC, input status 1 and the mode key at
  // 0x3Bx or 0x3Dx; the other range does not answer.
  const bool monoRange = port >= 0x3B0 && port <= 0x3BF;
  const bool colorRange = port >= 0x3D0 && port <= 0x3DF;
  if ((monoRange && s.color) || (colorRange && !s.color)) {
    return other(std::string("not decoded: ") + (s.color ? "colour" : "mono") + " addressing");
  }
  const uint16_t moved = colorRange ? static_cast<uint16_t>(port - kColorOffset) : port;
  switch (moved) {
    case kCrtcIndexMono:
      return index(File::Crtc, s.crtcIndex);
    case kCrtcDataMono:
      return data(File::Crtc, s.crtcIndex);
    case kStatus1Mono:
      if (!read) return single(regs::Single::FeatureControl);
      s.attrData = false;
      out.push_back(Piece{.step = Step::Status, .read = true, .value = value, .port = port});
      return;
    case kModeKeyMono:
      return read ? other("not decoded: write-only") : single(regs::Single::ModeKey);
    default:
      if (monoRange || colorRange) return other("not decoded");
      break;
  }
  switch (port) {
    case kAttrIndex:
      if (read) return other("AR address -> " + Hex(value, 2));
      if (!s.attrData) {
        s.attrAddress = value;
        s.attrData = true;
        out.push_back(Piece{.step = Step::Index,
                            .file = static_cast<uint8_t>(File::Attr),
                            .index = static_cast<uint8_t>(value & 0x1F),
                            .value = value,
                            .port = port});
        return;
      }
      s.attrData = false;
      return data(File::Attr, s.attrAddress & 0x1F);
    case kAttrData:
      if (!read) return other("not decoded: read-only");
      return data(File::Attr, s.attrAddress & 0x1F);
    case kMisc:
      if (read) return other("input status 0 -> " + Hex(value, 2));
      s.color = value & sim::vga::kMiscColorAddressing;
      return single(regs::Single::Misc);
    case kMiscRead:
      return read ? single(regs::Single::Misc) : other("not decoded: read-only");
    case kFeatureRead:
      return read ? single(regs::Single::FeatureControl) : other("not decoded: read-only");
    case kVideoEnable:
      return single(regs::Single::VideoEnable);
    case kSeqIndex:
      return index(File::Seq, s.seqIndex);
    case kSeqData:
      return data(File::Seq, s.seqIndex);
    case kGcIndex:
      return index(File::Gc, s.gcIndex);
    case kGcData:
      return data(File::Gc, s.gcIndex);
    case kPelMask:
      return single(regs::Single::PelMask);
    case kBankSelect:
      return single(regs::Single::BankSelect);
    case kDacReadIndex:
      if (read) {
        return other("DAC state -> " + Hex(value, 2) +
                     (value == 3 ? " (read mode)" : " (write mode)"));
      }
      s.dacRead = true;
      s.dacAddress = static_cast<uint8_t>(value + 1);
      s.dacPosition = 0;
      out.push_back(Piece{.step = Step::DacIndex, .index = value, .read = true, .port = port});
      return;
    case kDacWriteIndex:
      if (read) return other("DAC address -> " + Hex(value, 2));
      s.dacRead = false;
      s.dacAddress = value;
      s.dacPosition = 0;
      out.push_back(Piece{.step = Step::DacIndex, .index = value, .read = false, .port = port});
      return;
    case kDacData: {
      // One address for both directions: a read takes from the entry
      // fetched one behind the address in read mode.
      const uint8_t entry =
          (read && s.dacRead) ? static_cast<uint8_t>(s.dacAddress - 1) : s.dacAddress;
      out.push_back(Piece{.step = Step::Dac,
                          .index = entry,
                          .component = s.dacPosition,
                          .read = read,
                          .value = value,
                          .port = port});
      if (++s.dacPosition == 3) {
        s.dacPosition = 0;
        ++s.dacAddress;
      }
      return;
    }
    default:
      return other("not decoded");
  }
}

std::vector<TraceDecoder::Piece> TraceDecoder::Decode(const TraceEntry& e) {
  std::vector<Piece> pieces;
  switch (e.kind) {
    case AccessKind::In:
    case AccessKind::Out: {
      const bool read = e.kind == AccessKind::In;
      if (e.address == kPciAddress && !read && e.size == 4) {
        pieces.push_back(Piece{.step = Step::Pci, .value = e.value, .port = kPciAddress});
      } else if (e.address >= kPciData && e.address < kPciData + 4) {
        pieces.push_back(Piece{.step = Step::PciData,
                               .read = read,
                               .value = e.value,
                               .port = static_cast<uint16_t>(e.address)});
      } else if (e.address >= kPciAddress && e.address < kPciAddress + 4) {
        // Mechanism #1 takes the address as one doubleword only.
        pieces.push_back(Piece{
            .step = Step::Other,
            .text = std::string("PCI configuration address") +
                    (read ? " -> " + Hex(e.value, 2 * e.size) : ": not a doubleword, ignored")});
      } else {
        // A wide access is the byte accesses to consecutive ports, low byte first.
        for (unsigned i = 0; i < e.size; ++i) {
          DecodePortByte(read, static_cast<uint16_t>(e.address + i),
                         static_cast<uint8_t>(e.value >> (8 * i)), pieces);
        }
      }
      break;
    }
    case AccessKind::MemRead:
    case AccessKind::MemWrite:
      pieces.push_back(
          Piece{.step = Step::Memory, .read = e.kind == AccessKind::MemRead, .value = e.value});
      break;
    case AccessKind::MoveToBuffer:
    case AccessKind::MoveFromBuffer: {
      // One memory service call: its bytes are already one run with its digest.
      const bool write = e.kind == AccessKind::MoveFromBuffer;
      pieces.push_back(Piece{.step = Step::Other,
                             .text = BulkMeaning(e.address, write, e.offset,
                                                 e.offset + e.length - 1, e.length, 1, e.value)});
      break;
    }
    case AccessKind::Fill:
      pieces.push_back(Piece{.step = Step::Other,
                             .text = Region(e.address) + " " + Hex(e.address, 0) + "+" +
                                     Hex(e.offset, 4) + ": " + std::to_string(e.length) +
                                     " bytes filled with " + Hex(e.value, 2)});
      break;
    case AccessKind::Bios: {
      const unsigned ah = (e.value >> 8) & 0xFF, al = e.value & 0xFF;
      std::string text = ah == 0x00 ? "INT 10h set mode " + Hex(al & 0x7F, 2) +
                                          ((al & 0x80) ? ", memory kept" : "")
                                    : "INT 10h function " + Hex(ah, 2);
      if (e.status != 0) text += ", failed";
      pieces.push_back(Piece{.step = Step::Other, .text = text});
      break;
    }
    case AccessKind::Traps:
      pieces.push_back(
          Piece{.step = Step::Other,
                .text = "V86 emulator trap set: " + std::to_string(e.value) + " access ranges"});
      break;
  }
  return pieces;
}

// ---- grouping

bool TraceDecoder::Joins(const TraceEntry& entry, const std::vector<Piece>& pieces) const {
  if (!held_ || pieces.size() != 1) return false;
  const Piece& p = pieces.front();
  const std::vector<Piece>& held = held_->pieces;
  const Piece& first = held.front();
  const Piece& last = held.back();
  switch (p.step) {
    case Step::Data: {
      // The data accesses after an index write, or after one another: a
      // read-modify-write and its read-back at most.
      const bool sameRegister = std::all_of(held.begin(), held.end(), [&](const Piece& h) {
        return (h.step == Step::Index || h.step == Step::Data) && h.file == p.file &&
               h.index == p.index;
      });
      const auto ops = std::count_if(held.begin(), held.end(),
                                     [](const Piece& h) { return h.step == Step::Data; });
      return sameRegister && ops < kJoinedData;
    }
    case Step::Status:
      return std::all_of(held.begin(), held.end(), [&](const Piece& h) {
        return h.step == Step::Status && h.port == p.port;
      });
    case Step::Dac: {
      // Components in order after the index that selects them, or after
      // one another.
      if (first.step != Step::Dac && first.step != Step::DacIndex) return false;
      if (last.read != p.read) return false;
      if (last.step == Step::DacIndex) return p.component == 0 && p.index == last.index;
      const unsigned next = last.index * 3u + last.component + 1;
      return p.index * 3u + p.component == next % (256 * 3);
    }
    case Step::DacIndex:
      // Selecting the entry the run has reached anyway, as a save does
      // before each entry.
      return first.step == Step::DacIndex && last.step == Step::Dac && last.read == p.read &&
             last.component == 2 && p.index == static_cast<uint8_t>(last.index + 1);
    case Step::PciData:
      return held.size() == 1 && first.step == Step::Pci;
    case Step::Memory:
      // A run keeps its direction and its window.
      return first.step == Step::Memory && last.read == p.read &&
             held_->entries.back().address == entry.address;
    default:
      return false;
  }
}

void TraceDecoder::Add(const TraceEntry& entry) {
  std::vector<Piece> pieces = Decode(entry);
  if (!Joins(entry, pieces)) {
    Flush();
    held_ = Group{};
  }
  held_->entries.push_back(entry);
  for (Piece& p : pieces)
    held_->pieces.push_back(std::move(p));
  if (entry.kind == AccessKind::Bios) {
    // The BIOS worked on the adapter without the trace seeing it.
    Flush();
    Sync();
  }
}

void TraceDecoder::Flush() {
  if (!held_) return;
  const Group group = std::move(*held_);
  held_.reset();
  Emit(group);
}

void TraceDecoder::Emit(const Group& group) {
  const Piece& first = group.pieces.front();
  const size_t count = group.entries.size();
  if (first.step == Step::Memory && count < kFoldMemory) {
    for (const TraceEntry& e : group.entries)
      sink_(sim::Format(e) + "  ; " + Region(e.address));
    return;
  }
  std::string raw;
  const TraceEntry& e0 = group.entries.front();
  if (first.step == Step::Memory) {
    const auto [lo, hi] = std::minmax_element(
        group.entries.begin(), group.entries.end(),
        [](const TraceEntry& a, const TraceEntry& b) { return a.offset < b.offset; });
    raw = std::string("mem ") + (first.read ? "read8 " : "write8 ") + Hex(e0.address, 0) + "+" +
          Hex(lo->offset, 4) + ".." + Hex(hi->offset, 4) + " x" + std::to_string(count);
  } else if (first.step == Step::Status && count > 1) {
    raw = sim::Format(e0);
    raw = raw.substr(0, raw.rfind(' ')) + " x" + std::to_string(count);
  } else if (count > kListAccesses) {
    raw = sim::Format(e0) + " ... " + Body(group.entries.back()) + " (" + std::to_string(count) +
          " accesses)";
  } else {
    raw = sim::Format(e0);
    for (size_t i = 1; i < count; ++i)
      raw += ", " + Body(group.entries[i]);
  }
  sink_(raw + "  ; " + Meaning(group));
}

std::string TraceDecoder::Meaning(const Group& group) const {
  const std::vector<Piece>& pieces = group.pieces;
  const Piece& first = pieces.front();
  const Piece& last = pieces.back();
  switch (first.step) {
    case Step::Index:
    case Step::Data: {
      const bool indexed = std::all_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
        return (p.step == Step::Index || p.step == Step::Data) && p.file == first.file;
      });
      if (!indexed) break;
      std::vector<const Piece*> ops;
      for (const Piece& p : pieces) {
        if (p.step == Step::Data) ops.push_back(&p);
      }
      const std::string label = LabelOf(first.file, last.index);
      if (ops.empty()) {
        if (first.file == static_cast<uint8_t>(File::Attr)) {
          return "AR address := " + Hex(first.value, 2) + " (" +
                 regs::AttributeAddress(static_cast<uint8_t>(first.value)) + ")";
        }
        return "selects " + label;
      }
      if (ops.size() == 2 && ops[0]->read && !ops[1]->read) {
        return label + " " + Hex(ops[0]->value, 2) + " " + ops[1]->text;
      }
      std::string text = label;
      for (size_t i = 0; i < ops.size(); ++i)
        text += (i ? ", " : " ") + ops[i]->text;
      return text;
    }
    case Step::Status: {
      const std::string port = PortName(first.port);
      if (pieces.size() == 1) {
        return port + " -> " + Hex(first.value, 2) + " (" +
               StatusBits(static_cast<uint8_t>(first.value)) + "; attribute flip-flop to index)";
      }
      return port + " polled " + std::to_string(pieces.size()) + " times " +
             PollEnd(static_cast<uint8_t>(pieces[pieces.size() - 2].value),
                     static_cast<uint8_t>(last.value));
    }
    case Step::DacIndex:
    case Step::Dac: {
      std::vector<const Piece*> components;
      for (const Piece& p : pieces) {
        if (p.step == Step::Dac) components.push_back(&p);
      }
      if (components.empty()) {
        return std::string("DAC ") + (first.read ? "read" : "write") +
               " index := " + Hex(first.index, 2);
      }
      const Piece& from = *components.front();
      const Piece& to = *components.back();
      const std::string arrow = from.read ? " -> " : " := ";
      if (components.size() <= kListDac) {
        std::string text =
            "DAC " + Hex(from.index, 2) +
            (from.component ? std::string(" from ") + kComponents[from.component] : std::string()) +
            arrow;
        for (size_t i = 0; i < components.size(); ++i)
          text += (i ? " " : "") + Hex(components[i]->value, 2);
        return text;
      }
      std::vector<uint8_t> bytes;
      for (const Piece* p : components)
        bytes.push_back(static_cast<uint8_t>(p->value));
      std::string text = "DAC " + Hex(from.index, 2) + "-" + Hex(to.index, 2);
      if (from.component != 0 || to.component != 2) {
        text += " (" + std::string(kComponents[from.component]) + " to " +
                kComponents[to.component] + ")";
      }
      const auto selections = std::count_if(
          pieces.begin(), pieces.end(), [](const Piece& p) { return p.step == Step::DacIndex; });
      return text + arrow + std::to_string(components.size()) + " components" +
             (selections > 1 ? ", the index set before each entry" : "") + ", digest " +
             Hex(Digest(bytes), 8);
    }
    case Step::Pci:
      if (pieces.size() == 1) return "PCI configuration address := " + PciAddress(first.value);
      return "PCI " + PciAddress(first.value) + (last.read ? " -> " : " := ") +
             Hex(last.value, 2 * group.entries.back().size);
    case Step::PciData:
      return std::string("PCI configuration data") + (first.read ? " -> " : " := ") +
             Hex(first.value, 2 * group.entries.front().size);
    case Step::Memory: {
      std::vector<uint8_t> bytes;
      uint32_t runs = 1, lo = group.entries.front().offset, hi = lo;
      for (size_t i = 0; i < group.entries.size(); ++i) {
        const TraceEntry& e = group.entries[i];
        bytes.push_back(static_cast<uint8_t>(e.value));
        lo = std::min(lo, e.offset);
        hi = std::max(hi, e.offset);
        if (i > 0 && e.offset != group.entries[i - 1].offset + 1) ++runs;
      }
      return BulkMeaning(group.entries.front().address, !first.read, lo, hi,
                         static_cast<uint32_t>(bytes.size()), runs, Digest(bytes));
    }
    default:
      break;
  }
  // A wide access whose bytes mean different things: each in turn.
  std::string text;
  for (const Piece& p : pieces) {
    std::string part = p.text;
    if (p.step == Step::Data) part = LabelOf(p.file, p.index) + " " + p.text;
    if (p.step == Step::Index) part = "selects " + LabelOf(p.file, p.index);
    if (p.step == Step::Status) part = "input status 1 -> " + Hex(p.value, 2);
    if (p.step == Step::Dac) {
      part = "DAC " + Hex(p.index, 2) + " " + kComponents[p.component] +
             (p.read ? " -> " : " := ") + Hex(p.value, 2);
    }
    if (p.step == Step::DacIndex) {
      part = std::string("DAC ") + (p.read ? "read" : "write") + " index := " + Hex(p.index, 2);
    }
    text += (text.empty() ? "" : "; ") + part;
  }
  return text;
}

}  // namespace zelctl
