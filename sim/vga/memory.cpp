#include "sim/vga/memory.h"

#include <emmintrin.h>
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstring>

#include "sim/vga/graphics.h"
#include "sim/vga/sequencer.h"

namespace sim::vga {

namespace {

constexpr uint8_t kGr05WriteMode = 0x03;
constexpr uint8_t kGr05ReadMode1 = 0x08;
constexpr uint8_t kGr05OddEvenReads = 0x10;
constexpr uint8_t kGr06ChainOddEven = 0x02;
constexpr uint8_t kUninstalled = 0xFF;
constexpr uint8_t kFloating = 0xFF;

Addressing WriteAddressing(const WindowSetup& s) {
  if (s.memoryMode & kSr04Chain4) return Addressing::Chain4;
  if (!(s.memoryMode & kSr04OddEvenOff)) return Addressing::OddEven;
  return Addressing::Planar;
}

Addressing ReadAddressing(const WindowSetup& s) {
  if (s.memoryMode & kSr04Chain4) return Addressing::Chain4;
  if (s.gc[kGr05Mode] & kGr05OddEvenReads) return Addressing::OddEven;
  return Addressing::Planar;
}

uint8_t RotateRight(uint8_t value, unsigned count) {
  count &= 7;
  return static_cast<uint8_t>((value >> count) | (value << ((8 - count) & 7)));
}

uint8_t Expand(bool bit) {
  return bit ? 0xFF : 0x00;
}

uint8_t Alu(uint8_t function, uint8_t data, uint8_t latch) {
  switch (function & 3) {
    case 1:
      return data & latch;
    case 2:
      return data | latch;
    case 3:
      return data ^ latch;
    default:
      return data;
  }
}

// ---- runs of bytes checked once, whole, then gone through unchecked
//
// AddressSanitizer checks every byte a loop touches; a plane of a saved
// state is 64 KB of them, every fourth byte of video memory. The loops
// below leave that to one check of the whole run before them: a caller's
// buffer through AddressSanitizer's shadow (CheckRun), video memory
// through its bounds (VideoMemory::Readable, Writable). With both runs
// inside their objects, no pointer in the loops can overflow, and UBSan's
// check of each step is left out too (kRunLoop).

#define ZEL_RUN_LOOP __attribute__((no_sanitize("address", "undefined")))

#if defined(__SANITIZE_ADDRESS__)
#define ZEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEL_ADDRESS_SANITIZER 1
#endif
#endif

// Where a byte of the caller's run may not be touched, this touches the
// first such byte as the loop would have: AddressSanitizer's report is the
// loop's.
void CheckRun(const uint8_t* bytes, size_t length, bool write) {
#ifdef ZEL_ADDRESS_SANITIZER
  if (length == 0) return;
  void* bad = __asan_region_is_poisoned(const_cast<uint8_t*>(bytes), length);
  if (bad == nullptr) return;
  if (write) {
    *static_cast<volatile uint8_t*>(bad) = 0;
  } else {
    (void)*static_cast<const volatile uint8_t*>(bad);
  }
#else
  (void)bytes, (void)length, (void)write;
#endif
}

// A plane of a saved state, 16 bytes at a time with SSE2 where the
// processor has it (every x86-64 processor that runs this i386 code): each
// 32-bit lane of a load holds one byte wanted in its low byte.
__attribute__((target("sse2"))) ZEL_RUN_LOOP uint32_t GatherSse2(uint8_t* to, const uint8_t* from,
                                                                 uint32_t count) {
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  const auto* in = reinterpret_cast<const __m128i*>(from);
  uint32_t i = 0;
  // A load reaches three bytes past the last byte it wants: a byte after
  // the run's last keeps it inside.
  for (; i + 16 < count; i += 16, in += 4) {
    const __m128i low = _mm_packs_epi32(_mm_and_si128(_mm_loadu_si128(in), lowByte),
                                        _mm_and_si128(_mm_loadu_si128(in + 1), lowByte));
    const __m128i high = _mm_packs_epi32(_mm_and_si128(_mm_loadu_si128(in + 2), lowByte),
                                         _mm_and_si128(_mm_loadu_si128(in + 3), lowByte));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(low, high));
  }
  return i;
}

// The bytes into lane `plane` of 16 groups at a time, the other lanes kept.
__attribute__((target("sse2"))) ZEL_RUN_LOOP uint32_t ScatterSse2(uint8_t* groups, unsigned plane,
                                                                  const uint8_t* from,
                                                                  uint32_t count) {
  const __m128i keep = _mm_set1_epi32(static_cast<int>(~(0xFFu << (8 * plane))));
  const __m128i zero = _mm_setzero_si128();
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(8 * plane));
  auto* out = reinterpret_cast<__m128i*>(groups);
  uint32_t i = 0;
  for (; i + 16 <= count; i += 16, out += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
    // Each byte widened to the 32-bit lane of its group, moved to its plane.
    _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out), keep),
                                       _mm_sll_epi32(_mm_unpacklo_epi16(low, zero), shift)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out + 1), keep),
                                           _mm_sll_epi32(_mm_unpackhi_epi16(low, zero), shift)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out + 2), keep),
                                           _mm_sll_epi32(_mm_unpacklo_epi16(high, zero), shift)));
    _mm_storeu_si128(out + 3, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(out + 3), keep),
                                           _mm_sll_epi32(_mm_unpackhi_epi16(high, zero), shift)));
  }
  return i;
}

bool HasSse2() {
  static const bool has = __builtin_cpu_supports("sse2");
  return has;
}

ZEL_RUN_LOOP void GatherEveryFourth(uint8_t* to, const uint8_t* from, uint32_t count) {
  uint32_t i = HasSse2() ? GatherSse2(to, from, count) : 0;
  for (from += 4 * i; i < count; ++i, from += 4)
    to[i] = *from;
}

// `to` is byte `plane` of the first group.
ZEL_RUN_LOOP void ScatterEveryFourth(uint8_t* to, unsigned plane, const uint8_t* from,
                                     uint32_t count) {
  uint32_t i = HasSse2() ? ScatterSse2(to - plane, plane, from, count) : 0;
  for (to += 4 * i; i < count; ++i, to += 4)
    *to = from[i];
}

ZEL_RUN_LOOP void FillEveryFourth(uint8_t* to, uint8_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i, to += 4)
    *to = value;
}

// Character and attribute pairs (`bytes`, or one value throughout), one
// masked store per group, eight bytes apart.
ZEL_RUN_LOOP void StorePairs(uint8_t* group, uint32_t lanes, const uint8_t* bytes, uint32_t pairs) {
  for (uint32_t k = 0; k < pairs; ++k, bytes += 2, group += 8) {
    const uint32_t pair = (uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8) * 0x00010001u;
    uint32_t held;
    std::memcpy(&held, group, 4);
    held = (held & ~lanes) | (pair & lanes);
    std::memcpy(group, &held, 4);
  }
}

ZEL_RUN_LOOP void FillPairs(uint8_t* group, uint32_t lanes, uint8_t value, uint32_t pairs) {
  const uint32_t pair = value * 0x01010101u & lanes;
  for (uint32_t k = 0; k < pairs; ++k, group += 8) {
    uint32_t held;
    std::memcpy(&held, group, 4);
    held = (held & ~lanes) | pair;
    std::memcpy(group, &held, 4);
  }
}

// The bytes of a span write: a caller's buffer, or one value throughout.
struct FromBuffer {
  std::span<const uint8_t> bytes;
  uint8_t operator()(uint32_t i) const { return bytes[i]; }
  void EveryFourth(uint8_t* to, unsigned plane, uint32_t count) const {
    ScatterEveryFourth(to, plane, bytes.data(), count);
  }
  void Pairs(uint8_t* group, uint32_t lanes, uint32_t i, uint32_t pairs) const {
    StorePairs(group, lanes, bytes.data() + i, pairs);
  }
};

struct Repeated {
  uint8_t value;
  uint8_t operator()(uint32_t) const { return value; }
  void EveryFourth(uint8_t* to, unsigned, uint32_t count) const {
    FillEveryFourth(to, value, count);
  }
  void Pairs(uint8_t* group, uint32_t lanes, uint32_t, uint32_t pairs) const {
    FillPairs(group, lanes, value, pairs);
  }
};

// How many of `count` bytes from video memory byte `first` on, `stride`
// apart, lie in installed memory.
uint32_t Installed(uint64_t first, uint32_t stride, uint32_t count, uint32_t size) {
  if (first >= size) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(count, (size - first + stride - 1) / stride));
}

}  // namespace

WindowLogic Resolve(const WindowSetup& s) {
  struct Map {
    uint32_t start, length;
  };
  static constexpr std::array<Map, 4> kMaps = {Map{0xA0000, 0x20000}, Map{0xA0000, 0x10000},
                                               Map{0xB0000, 0x8000}, Map{0xB8000, 0x8000}};
  const Map& map = kMaps[(s.gc[kGr06Misc] >> 2) & 3];
  WindowLogic w;
  w.windowStart = map.start;
  w.windowLength = map.length;
  w.ramEnabled = s.ramEnabled;
  w.chainOddEven = (s.gc[kGr06Misc] & kGr06ChainOddEven) != 0;
  w.readAddressing = ReadAddressing(s);
  w.writeAddressing = WriteAddressing(s);
  w.readBank = s.bankSelect >> 4;
  w.writeBank = s.bankSelect & 0x0F;
  w.readMapSelect = s.gc[kGr04ReadMapSelect];
  w.colorCompare = (s.gc[kGr05Mode] & kGr05ReadMode1) != 0;
  w.colorDontCare = s.gc[kGr07ColorDontCare];
  w.compareColor = s.gc[kGr02ColorCompare];
  w.mapMask = s.mapMask & 0x0F;
  w.writeMode = s.gc[kGr05Mode] & kGr05WriteMode;
  w.function = (s.gc[kGr03DataRotate] >> 3) & 3;
  w.rotate = s.gc[kGr03DataRotate] & 7;
  w.setReset = s.gc[kGr00SetReset];
  w.enableSetReset = s.gc[kGr01EnableSetReset];
  w.bitMask = s.gc[kGr08BitMask];
  w.plainWrites = w.writeMode == 0 && (w.enableSetReset & w.mapMask) == 0 && w.rotate == 0 &&
                  w.function == 0 && w.bitMask == 0xFF;
  return w;
}

std::optional<uint32_t> Memory::WindowOffset(uint32_t physical, uint8_t gr06) {
  WindowSetup setup;
  setup.gc[kGr06Misc] = gr06;
  const WindowLogic w = Resolve(setup);
  if (physical < w.windowStart || physical - w.windowStart >= w.windowLength) return std::nullopt;
  return physical - w.windowStart;
}

void Memory::LoadLatches(uint32_t group, const VideoMemory& vram) {
  const uint64_t base = uint64_t{group} * 4;
  const bool installed = base + 4 <= vram.Size();
  for (uint32_t p = 0; p < 4; ++p)
    latches_[p] = installed ? vram[static_cast<uint32_t>(base) + p] : kUninstalled;
}

uint8_t Memory::Answer(uint8_t readPlane, const WindowLogic& w) const {
  if (!w.colorCompare) return latches_[readPlane];
  // Colour compare: a bit is 1 where every plane that counts matches GR02.
  uint8_t differ = 0;
  for (unsigned p = 0; p < 4; ++p) {
    if (!(w.colorDontCare & (1u << p))) continue;
    differ |= latches_[p] ^ Expand(w.compareColor & (1u << p));
  }
  return static_cast<uint8_t>(~differ);
}

uint8_t Memory::Read(uint32_t offset, const WindowLogic& w, const VideoMemory& vram) {
  if (!w.ramEnabled) return kFloating;
  const Target t = Locate(w.readAddressing, offset, w.readBank, w.readMapSelect, w.chainOddEven);
  LoadLatches(t.offset, vram);
  return Answer(t.readPlane, w);
}

void Memory::WritePlanes(Target t, uint8_t value, const WindowLogic& w, VideoMemory& vram) {
  const uint8_t planes = t.planes & w.mapMask;
  const uint8_t rotated = RotateRight(value, w.rotate);
  uint8_t bitMask = w.bitMask;
  if (w.writeMode == 3) bitMask &= rotated;

  for (unsigned p = 0; p < 4; ++p) {
    if (!(planes & (1u << p))) continue;
    const uint64_t at = uint64_t{t.offset} * 4 + p;
    if (at >= vram.Size()) continue;
    uint8_t result;
    if (w.plainWrites) {
      result = value;
    } else if (w.writeMode == 1) {
      result = latches_[p];
    } else {
      uint8_t data;
      if (w.writeMode == 0) {
        data = (w.enableSetReset & (1u << p)) ? Expand(w.setReset & (1u << p)) : rotated;
      } else if (w.writeMode == 2) {
        data = Expand(value & (1u << p));
      } else {
        data = Expand(w.setReset & (1u << p));
      }
      const uint8_t alu = Alu(w.function, data, latches_[p]);
      result = static_cast<uint8_t>((alu & bitMask) | (latches_[p] & ~bitMask));
    }
    vram.Store(static_cast<uint32_t>(at), result);
  }
}

// ---- spans

void Memory::Read(uint32_t offset, std::span<uint8_t> out, const WindowLogic& w,
                  const VideoMemory& vram) {
  if (out.empty()) return;
  if (!w.ramEnabled) {
    std::fill(out.begin(), out.end(), kFloating);
    return;
  }
  const auto count = static_cast<uint32_t>(out.size());
  const Target first =
      Locate(w.readAddressing, offset, w.readBank, w.readMapSelect, w.chainOddEven);
  // Read mode 0, planar (without chain odd/even) or chain-4: byte i is one
  // byte of video memory, at a fixed stride from the first (4: one plane;
  // 1: chain-4 packs the bytes).
  if (!w.colorCompare && (w.readAddressing == Addressing::Chain4 ||
                          (w.readAddressing == Addressing::Planar && !w.chainOddEven))) {
    const uint32_t stride = w.readAddressing == Addressing::Planar ? 4 : 1;
    const uint64_t at = uint64_t{first.offset} * 4 + first.readPlane;
    const uint32_t installed = Installed(at, stride, count, vram.Size());
    if (installed != 0) {
      const uint8_t* from = vram.Readable(at, uint64_t{stride} * (installed - 1) + 1);
      if (stride == 1) {
        std::memcpy(out.data(), from, installed);
      } else {
        CheckRun(out.data(), installed, /*write=*/true);
        GatherEveryFourth(out.data(), from, installed);
      }
    }
    std::fill(out.begin() + installed, out.end(), kUninstalled);
    const Target last =
        Locate(w.readAddressing, offset + count - 1, w.readBank, w.readMapSelect, false);
    LoadLatches(last.offset, vram);
    return;
  }
  for (uint32_t i = 0; i < count; ++i)
    out[i] = Read(offset + i, w, vram);
}

template <typename Source>
void Memory::WriteSpan(uint32_t offset, uint32_t count, Source source, const WindowLogic& w,
                       VideoMemory& vram) {
  if (count == 0 || !w.ramEnabled) return;
  const Target first = Locate(w.writeAddressing, offset, w.writeBank, 0, w.chainOddEven);
  // Chain odd/even folds A16 into bit 0 of the plane offset: offsets only
  // climb with the address within one 64 KB page.
  const bool climbing = !w.chainOddEven || (offset >> 16) == ((offset + count - 1) >> 16);
  // Plain stores, planar: each enabled plane takes the bytes at stride 4.
  if (w.plainWrites && w.writeAddressing == Addressing::Planar && !w.chainOddEven) {
    const uint8_t planes = first.planes & w.mapMask;
    const uint64_t at = uint64_t{first.offset} * 4;
    const uint32_t installed = Installed(at, 4, count, vram.Size());
    if (installed == 0 || planes == 0) return;
    uint8_t* group = vram.Writable(static_cast<uint32_t>(at), installed * 4);
    for (unsigned p = 0; p < 4; ++p) {
      if (planes & (1u << p)) source.EveryFourth(group + p, p, installed);
    }
    return;
  }
  // Plain stores, chain-4: the bytes land packed, each where its plane is enabled.
  if (w.plainWrites && w.writeAddressing == Addressing::Chain4) {
    const uint64_t at = uint64_t{first.offset} * 4 + first.readPlane;
    const uint32_t installed = Installed(at, 1, count, vram.Size());
    if (installed == 0 || w.mapMask == 0) return;
    uint8_t* to = vram.Writable(static_cast<uint32_t>(at), installed);
    for (uint32_t i = 0; i < installed; ++i) {
      if (w.mapMask & (1u << ((at + i) & 3))) to[i] = source(i);
    }
    return;
  }
  // Plain stores, odd/even: each pair of bytes shares a planar offset, the
  // even one going to planes 0 and 2, the odd one to planes 1 and 3.
  if (w.plainWrites && w.writeAddressing == Addressing::OddEven && climbing) {
    const uint32_t groups = vram.Size() / 4;
    const Target last =
        Locate(w.writeAddressing, offset + count - 1, w.writeBank, 0, w.chainOddEven);
    const uint32_t end = std::min(last.offset + 1, groups);
    if (first.offset >= end || w.mapMask == 0) return;
    uint8_t* base = vram.Writable(first.offset * 4, (end - first.offset) * 4);
    const bool chain = w.chainOddEven;
    const unsigned mapMask = w.mapMask;
    const uint32_t from = first.offset;
    // One byte: false once it lies beyond the memory (and so every byte after it).
    auto store = [&](uint32_t i) {
      const uint32_t a = offset + i;
      const uint32_t o = PlaneAddress(a, chain);
      if (o >= groups) return false;
      // Address bit 0 picks the pair: from its lower plane, the lanes 0 and 2 on.
      uint8_t* lane = base + (o - from) * 4 + (a & 1);
      const unsigned planes = mapMask >> (a & 1);
      const uint8_t value = source(i);
      if (planes & 1u) lane[0] = value;
      if (planes & 4u) lane[2] = value;
      return true;
    };
    uint32_t i = 0;
    if (chain) {
      // A character and its attribute share a group: one masked store per
      // pair, the even byte in lanes 0 and 2, the odd one in lanes 1 and 3.
      const uint32_t lanes = ((mapMask & 0x0Fu) * 0x00204081u & 0x01010101u) * 0xFFu;
      if (offset & 1) {
        if (!store(0)) return;
        i = 1;
      }
      // Pairs climb two groups at a time (the group between is the other
      // A16 page's) while they lie in the memory.
      // (A lone odd byte at the page end has no pair after it: the next
      // address is the other page's, below `from`.)
      const uint32_t o = PlaneAddress(offset + i, true);
      const uint32_t pairs = o < groups ? std::min((count - i) / 2, (groups - o + 1) / 2) : 0;
      if (pairs != 0) source.Pairs(base + (o - from) * 4, lanes, i, pairs);
      i += 2 * pairs;
      if (i + 1 < count) return;  // the rest lies beyond the memory
    }
    for (; i < count; ++i) {
      if (!store(i)) return;
    }
    return;
  }
  for (uint32_t i = 0; i < count; ++i)
    Write(offset + i, source(i), w, vram);
}

void Memory::Write(uint32_t offset, std::span<const uint8_t> bytes, const WindowLogic& w,
                   VideoMemory& vram) {
  CheckRun(bytes.data(), bytes.size(), /*write=*/false);
  WriteSpan(offset, static_cast<uint32_t>(bytes.size()), FromBuffer{bytes}, w, vram);
}

void Memory::Fill(uint32_t offset, uint32_t length, uint8_t value, const WindowLogic& w,
                  VideoMemory& vram) {
  WriteSpan(offset, length, Repeated{value}, w, vram);
}

}  // namespace sim::vga
