// The simulated adapter's facts that the driver's suites cannot see and the
// VGA battery (tests/qemu/battery.cpp, played on this model too) leaves out:
// chain odd/even outside the 64 KB odd/even map, the Zel lock, write masks
// and banks, the latches of a closed window, the window's span accesses
// against its byte accesses, the whole-state view round trips compare, and
// what video memory knows of its writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/adapter.h"

namespace sim {
namespace {

PowerOnState Memory(uint32_t bytes = 0x400000) {
  PowerOnState p;
  p.videoMemoryBytes = bytes;
  return p;
}

void Set(Adapter& a, uint16_t port, uint8_t index, uint8_t value) {
  a.Out16(port, static_cast<uint16_t>(value << 8 | index));
}

// Planar graphics at 0xA0000 for 64 KB, all planes, the window open.
void Planar(Adapter& a) {
  a.Out8(0x3C2, 0x63);
  Set(a, 0x3C4, 0x04, 0x06);
  Set(a, 0x3C4, 0x02, 0x0F);
  Set(a, 0x3CE, 0x06, 0x05);
  Set(a, 0x3CE, 0x05, 0x00);
  Set(a, 0x3CE, 0x08, 0xFF);
}

// GR06 bit 1 puts a higher address bit in place of A0 in the offset, planar
// too: A16 in the 128 KB map, the page bit (0) in the others. Catches a
// model that chains only under odd/even plane selection or only at 0xA0000.
TEST(AdapterWindow, ChainOddEvenReplacesAddressBitZero) {
  // What, SR04, GR05, GR06, the address written, the planes it lands in at `offset`.
  const std::tuple<const char*, uint8_t, uint8_t, uint8_t, uint32_t, uint8_t, uint32_t> cases[] = {
      {"odd/even, 128 KB map", 0x02, 0x10, 0x02, 0xB0001, 0x0A, 0x0001},
      {"planar", 0x06, 0x00, 0x06, 0xA0003, 0x0F, 0x0002},
      {"planar, 128 KB map", 0x06, 0x00, 0x02, 0xB0002, 0x0F, 0x0003},
  };
  for (const auto& [what, sr04, gr05, gr06, physical, planes, offset] : cases) {
    SCOPED_TRACE(what);
    Adapter a(Memory());
    Planar(a);
    Set(a, 0x3C4, 0x04, sr04);
    Set(a, 0x3CE, 0x05, gr05);
    Set(a, 0x3CE, 0x06, gr06);
    a.MemWrite8(physical, 0xA5);
    EXPECT_EQ(std::count(a.Vram().begin(), a.Vram().end(), 0xA5), std::popcount(planes));
    for (int p = 0; p < 4; ++p)
      EXPECT_EQ(a.PlaneByte(p, offset), (planes >> p) & 1 ? 0xA5 : 0x00) << "plane " << p;
    EXPECT_EQ(a.MemRead8(physical), 0xA5);
  }
}

// Spans up to and across the end of a 64 KB page of the 128 KB map under
// chain odd/even land as their byte writes do: past the page end the plane
// offsets start again from the bottom (A16 becomes bit 0).
TEST(AdapterWindow, ChainOddEvenSpansAtAPageEnd) {
  for (const auto& [start, length] :
       {std::pair{0xAFFFFu, 1u}, {0xAFFFDu, 3u}, {0xBFFFFu, 1u}, {0xAFFFEu, 3u}, {0xAFFFFu, 2u}}) {
    SCOPED_TRACE(testing::Message() << std::hex << length << " bytes at 0x" << start);
    Adapter bytes(Memory());
    Planar(bytes);
    Set(bytes, 0x3C4, 0x04, 0x02);
    Set(bytes, 0x3CE, 0x05, 0x10);
    Set(bytes, 0x3CE, 0x06, 0x02);
    Adapter span = bytes;
    const std::vector<uint8_t> values = {0x11, 0x22, 0x33};
    for (uint32_t i = 0; i < length; ++i)
      bytes.MemWrite8(start + i, values[i]);
    span.MemWrite(start, std::span(values).first(length));
    EXPECT_TRUE(bytes == span);
    EXPECT_EQ(span.MemRead8(start + length - 1), values[length - 1]);
  }
}

// Only 0x86 in SR05 opens the extended registers (SR05 then reads 0xA1);
// anything else closes them: they read 0 and ignore writes. Open, straps keep
// what the board set, pointer and clock registers keep only their fields,
// the others take the whole byte.
TEST(AdapterZel, WritesReachOnlyTheWritableBitsBehindTheKey) {
  const std::tuple<uint8_t, uint8_t, uint8_t, uint8_t> cases[] = {
      // key, SR, written, read
      {0x86, 0x0F, 0x03, 0x03}, {0x00, 0x0F, 0x03, 0x00}, {0x87, 0x0F, 0x03, 0x00},
      {0xA1, 0x0F, 0x03, 0x00}, {0xFF, 0x0F, 0x03, 0x00}, {0x86, 0x0C, 0xFF, 0x00},
      {0x86, 0x0D, 0x01, 0x00}, {0x86, 0x1B, 0xFF, 0x07}, {0x86, 0x1C, 0xFF, 0x1F},
      {0x86, 0x1F, 0xE5, 0x05}, {0x86, 0x23, 0x20, 0x00}, {0x86, 0x29, 0xFF, 0x7F},
      {0x86, 0x2F, 0x00, 0x07}, {0x86, 0x33, 0x09, 0x00}, {0x86, 0x1E, 0xFF, 0xFF},
  };
  for (const auto& [key, index, written, reads] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << int(key) << ", SR" << int(index)
                                    << " written 0x" << int(written));
    PowerOnState p = Memory();
    p.extendedSeq[0x0F] = 0x02;
    p.extendedSeq[0x2F] = 0x07;
    Adapter a(p);
    Set(a, 0x3C4, 0x05, 0x86);
    Set(a, 0x3C4, 0x05, key);
    Set(a, 0x3C4, index, written);
    EXPECT_EQ(a.In8(0x3C5), reads);
    a.Out8(0x3C4, 0x05);
    EXPECT_EQ(a.In8(0x3C5), key == 0x86 ? 0xA1 : 0x00) << "SR05";
    EXPECT_EQ(a.ExtendedUnlocked(), key == 0x86);
    EXPECT_TRUE(key == 0x86 || a.Seq(index) == p.extendedSeq[index]) << "a locked write";
  }
}

// 0x3CD: read bank in bits 7-4, write bank in bits 3-0, 64 KB of each plane
// (plane p of offset o at 4o + p) when planar, 64 KB of memory under chain 4;
// a bank past the installed memory floats, latches too, and drops writes.
// Misc output bit 1 clear: a read floats and leaves the latches as they were.
TEST(AdapterZel, BanksAndAClosedWindow) {
  Adapter a(Memory(0x80000));  // 128 KB per plane
  Planar(a);
  Set(a, 0x3C4, 0x02, 0x01);
  a.Out8(0x3CD, 0x01);
  EXPECT_EQ(a.In8(0x3CD), 0x01);
  a.MemWrite8(0xA0010, 0x77);
  EXPECT_EQ(a.Vram()[0x40040], 0x77);
  a.Vram()[0x40] = 0x5A;
  EXPECT_EQ(a.MemRead8(0xA0010), 0x5A);
  a.Out8(0x3C2, 0x61);
  EXPECT_EQ(a.MemRead8(0xA0011), 0xFF);
  EXPECT_EQ(a.Latch(0), 0x5A);
  a.Out8(0x3C2, 0x63);
  a.Out8(0x3CD, 0x22);
  a.MemWrite8(0xA0010, 0x56);
  EXPECT_EQ(a.MemRead8(0xA0010), 0xFF);
  EXPECT_EQ(a.Latch(0), 0xFF);
  Set(a, 0x3C4, 0x02, 0x0F);
  Set(a, 0x3C4, 0x04, 0x0E);  // chain 4
  a.Out8(0x3CD, 0x01);
  a.MemWrite8(0xA0003, 0x66);
  EXPECT_EQ(a.Vram()[0x10003], 0x66);
  EXPECT_EQ(std::count(a.Vram().begin(), a.Vram().end(), 0), 0x80000 - 3);
}

// A run of addresses as one span call and as that many byte accesses in
// order, from random register states (misc output, SR02, SR04, GR00-GR08,
// the bank select, the latches, the linear aperture off or over the
// window), on memory smaller than the banks reach, across the window's ends
// into the ROM and beyond: the same bytes read, the same adapter after, and
// a change record holding every page the span changed, as it was before.
TEST(AdapterMemory, SpansAreTheByteAccessesOneAfterTheOther) {
  std::mt19937 random(0x5EED);
  auto byte = [&random] { return static_cast<uint8_t>(random()); };
  std::vector<Adapter> boards;
  for (uint32_t bytes : {0x40000u, 0x80000u}) {
    PowerOnState p = Memory(bytes);
    p.optionRom.assign(0x1000, 0x5A);
    boards.emplace_back(p);
    std::generate(boards.back().Vram().begin(), boards.back().Vram().end(), byte);
  }
  for (int round = 0; round < 300; ++round) {
    Adapter a = boards[round & 1];
    a.Out8(0x3C2, byte());
    Set(a, 0x3C4, 0x02, byte());
    Set(a, 0x3C4, 0x04, byte());
    // Even rounds keep to plain write mode 0: the stores a span may take whole.
    const bool plain = round % 2 == 0;
    for (uint8_t gr = 0; gr < 9; ++gr) {
      uint8_t value = byte();
      if (plain && (gr == 1 || gr == 3)) value = 0x00;
      if (plain && gr == 5) value &= 0xFC;
      if (plain && gr == 8) value = 0xFF;
      Set(a, 0x3CE, gr, value);
    }
    a.Out8(0x3CD, byte());
    if (round % 4 == 0) {
      Set(a, 0x3C4, 0x05, 0x86);
      Set(a, 0x3C4, 0x20, byte() & 1);  // aperture base 0 or 0x80000
      Set(a, 0x3C4, 0x06, 0x80);
    }
    a.MemRead8(0xA0000 + (random() & 0x1FFFF));  // latches
    const uint32_t start = 0x9E000 + random() % 0x24000;
    const uint32_t length = 1 + random() % 0x2400;
    const int kind = static_cast<int>(random() % 3);  // read, write, fill
    std::vector<uint8_t> bytes(length), readByBytes(length), readBySpan(length);
    std::generate(bytes.begin(), bytes.end(), byte);

    Adapter b = a;
    const std::vector<uint8_t> before(std::as_const(b).Vram().begin(),
                                      std::as_const(b).Vram().end());
    b.StartChangeRecord();
    for (uint32_t i = 0; i < length; ++i) {
      if (kind == 0) readByBytes[i] = a.MemRead8(start + i);
      if (kind == 1) a.MemWrite8(start + i, bytes[i]);
      if (kind == 2) a.MemWrite8(start + i, bytes[0]);
    }
    if (kind == 0) b.MemRead(start, readBySpan);
    if (kind == 1) b.MemWrite(start, bytes);
    if (kind == 2) b.MemFill(start, length, bytes[0]);

    SCOPED_TRACE(testing::Message() << "round " << round << ", kind " << kind << ", " << length
                                    << " bytes at 0x" << std::hex << start);
    ASSERT_EQ(readBySpan, readByBytes);
    const auto diff = Diff(a.WholeState(), b.WholeState(), 1);
    ASSERT_TRUE(a == b) << (diff.empty() ? "beyond the VGA state" : diff[0]);
    // The record undoes the span: every page it changed, as it was before.
    std::vector<uint8_t> undone(std::as_const(b).Vram().begin(), std::as_const(b).Vram().end());
    for (const auto& page : b.WrittenPages())
      std::copy(page.before.begin(), page.before.end(), undone.begin() + page.offset);
    ASSERT_TRUE(undone == before) << "the change record does not undo the span";
  }
}

// Video memory against a plain array of the same bytes, over random runs of
// followed stores (bytes, plane groups, ranges), clears, hand writes (a
// span handed out, a caller's plain mapping), captures and rollbacks to any
// image taken, change records and touch lists: it holds the array's bytes
// throughout, a rollback gives the image's bytes back, a record lists every
// page written with its bytes before, the pages a touch list names,
// copied onto the memory as it was when the list started, make it the
// memory as it is, and a copy of the pages that may hold data compares as
// the whole memory.
TEST(VideoMemory, KeepsTrackOfEveryWriteThroughClearsCapturesAndRollbacks) {
  std::mt19937 random(0xC0FFEE);
  auto pick = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  constexpr uint32_t kSize = 0x40000;
  vga::VideoMemory memory(kSize);
  std::vector<uint8_t> bytes(kSize), recordStart, touchStart;
  bool touching = false;
  std::vector<vga::VideoMemory::Image> images;
  std::vector<std::vector<uint8_t>> imageBytes;
  uint8_t* hand = nullptr;
  for (int step = 0; step < 4000; ++step) {
    const uint32_t at = pick(kSize), value = pick(256);
    switch (pick(11)) {
      case 0:
      case 1:
        memory.Store(at, static_cast<uint8_t>(value));
        bytes[at] = static_cast<uint8_t>(value);
        break;
      case 2: {
        const uint32_t group = at & ~3u, planes = pick(16);
        memory.StorePlanes(group, static_cast<uint8_t>(planes), static_cast<uint8_t>(value));
        for (uint32_t p = 0; p < 4; ++p)
          if (planes & (1u << p)) bytes[group + p] = static_cast<uint8_t>(value);
        break;
      }
      case 3: {
        const uint32_t length = std::min(kSize - at, pick(0x3000));
        std::fill_n(memory.Writable(at, length), length, static_cast<uint8_t>(value));
        std::fill_n(bytes.begin() + at, length, static_cast<uint8_t>(value));
        break;
      }
      case 4:
        if (pick(4) == 0) {
          memory.Clear();
          std::fill(bytes.begin(), bytes.end(), 0);
        }
        break;
      case 5:
        // Stores through memory handed out, until a rollback takes it back;
        // a caller's own stores are not the bus's, and no record follows them.
        if (pick(4) == 0 && !memory.Recording()) {
          if (!hand) hand = pick(2) ? memory.Unfollowed().data() : memory.Exposed();
          hand[at] = static_cast<uint8_t>(value);
          bytes[at] = static_cast<uint8_t>(value);
        }
        break;
      case 6:
        images.push_back(memory.Capture());
        imageBytes.push_back(bytes);
        break;
      case 7:
      case 8:
        if (!images.empty()) {
          const uint32_t i =
              pick(4) ? static_cast<uint32_t>(images.size() - 1) : pick(images.size());
          memory.Rollback(images[i]);
          bytes = imageBytes[i];
          hand = nullptr;
          touching = false;
        }
        break;
      case 9:
        memory.StartRecord();
        recordStart = bytes;
        if (pick(2)) {
          memory.StartTouchList();
          touchStart = bytes;
          touching = true;
        }
        break;
      default:
        if (memory.Recording() && !memory.WrittenWhole()) {
          std::vector<uint8_t> undone(bytes);
          for (const auto& page : memory.WrittenPages())
            std::copy(page.before.begin(), page.before.end(), undone.begin() + page.offset);
          ASSERT_TRUE(undone == recordStart) << "step " << step << ": the record misses a write";
        }
        memory.StopRecord();
        if (touching) {
          vga::VideoMemory::PageCopy touched;
          memory.CopyPages(memory.TouchedPages(), 0, touched);
          vga::VideoMemory then(kSize);
          std::copy(touchStart.begin(), touchStart.end(), then.Writable(0, kSize));
          then.Assign(touched);
          ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), then.Bytes().begin()))
              << "step " << step << ": the touch list misses a write";
          // A copy of the pages that may hold data stands for the whole.
          vga::VideoMemory::PageCopy held;
          memory.CopyHeld(held);
          ASSERT_EQ(then.FirstDifference(held), std::nullopt) << "step " << step;
          then.Store(at, static_cast<uint8_t>(~then[at]));
          ASSERT_EQ(then.FirstDifference(held), at) << "step " << step;
          memory.StopTouchList();
          touching = false;
        }
    }
    ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), memory.Bytes().begin())) << "step " << step;
  }
  // Memory handed out is written through after captures and clears too: a
  // capture holds the byte, a rollback takes it back, a record keeps it as
  // the page's before, a clear clears it.
  for (bool span : {false, true}) {
    vga::VideoMemory m(kSize);
    uint8_t* out = span ? m.Unfollowed().data() : m.Exposed();
    const vga::VideoMemory::Image empty = m.Capture();
    out[0x5000] = 0x11;
    const vga::VideoMemory::Image held = m.Capture();
    out[0x9000] = 0x22;
    m.Rollback(held);
    EXPECT_EQ(m[0x9000], 0x00);
    m.Rollback(empty);
    m.Rollback(held);
    EXPECT_EQ(m[0x5000], 0x11);
    out = m.Exposed();
    m.Capture();
    out[0xA000] = 0x33;
    m.StartRecord();
    m.Store(0xA001, 0x01);
    ASSERT_EQ(m.WrittenPages().size(), 1u);
    EXPECT_EQ(m.WrittenPages()[0].before[0], 0x33) << "the page as it was, not as captured";
    m.StopRecord();
    m.Clear();
    EXPECT_EQ(m[0xA000], 0x00);
  }
}

}  // namespace
}  // namespace sim
