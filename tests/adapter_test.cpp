// The simulated adapter's facts that the driver's suites cannot see and the
// QEMU battery (tests/qemu/battery.cpp, played on this model too) does not
// check: the window's span accesses against its byte accesses, chain odd/even
// in every map, the whole-state view that round trips compare, and the Zel
// lock and banks (the aperture: the mode sweep and platform_test's mappings).
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <random>
#include <string>
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

// Planar graphics at 0xA0000 for 64 KB, all planes, the window open.
void Planar(Adapter& a) {
  a.Out8(0x3C2, 0x63);
  for (uint16_t w : {0x0604, 0x0F02})
    a.Out16(0x3C4, w);
  for (uint16_t w : {0x0506, 0x0005, 0xFF08})
    a.Out16(0x3CE, w);
}

// SR04 bit 2 (writes) and GR05 bit 4 (reads) pick the map by address bit 0;
// GR06 bit 1 (chain odd/even) puts a higher bit in its place in the offset:
// A16, 0 in the 64 KB and 32 KB maps.
TEST(AdapterMemory, ChainOddEvenReplacesAddressBitZero) {
  struct Case {
    const char* what;
    uint8_t sr04, gr05, gr06;
    uint32_t physical;
    uint8_t planes;  // where the write lands, at `offset`
    uint32_t offset;
  };
  const Case cases[] = {
      {"odd/even, chained", 0x02, 0x10, 0x0E, 0xB8003, 0x0A, 0x0002},
      {"odd/even, not chained", 0x02, 0x10, 0x0C, 0xB8003, 0x0A, 0x0003},
      {"odd/even, chained, 128 KB map", 0x02, 0x10, 0x02, 0xB0001, 0x0A, 0x0001},
      {"planar, chained", 0x06, 0x00, 0x06, 0xA0003, 0x0F, 0x0002},
      {"planar, chained, 128 KB map", 0x06, 0x00, 0x02, 0xB0002, 0x0F, 0x0003},
      {"planar", 0x06, 0x00, 0x04, 0xA0003, 0x0F, 0x0003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Adapter a(Memory());
    a.Out8(0x3C2, 0x67);
    a.Out16(0x3C4, 0x0F02);
    a.Out16(0x3C4, static_cast<uint16_t>(c.sr04 << 8 | 0x04));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr05 << 8 | 0x05));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr06 << 8 | 0x06));
    a.Out16(0x3CE, 0xFF08);
    a.MemWrite8(c.physical, 0xA5);
    size_t written = 0;
    for (uint8_t b : a.Vram())
      written += b != 0;
    EXPECT_EQ(written, static_cast<size_t>(std::popcount(c.planes)));
    for (int p = 0; p < 4; ++p)
      EXPECT_EQ(a.PlaneByte(p, c.offset), (c.planes >> p) & 1 ? 0xA5 : 0x00) << "plane " << p;
    // Reads find the byte where the write put it (plane 1 by address bit 0,
    // or plane 0 by GR04).
    EXPECT_EQ(a.MemRead8(c.physical), 0xA5);
  }
}

// A run of addresses as one span call and as that many byte accesses in
// order, from random register states: the same bytes read, and the same
// memory, latches and registers after. Every register the window logic
// reads is drawn (misc output, SR02, SR04, GR00 to GR08 with GR06's map and
// chain odd/even bits, the bank select, the latches), with the linear
// aperture off or overlapping the window, memory smaller than the banks
// reach, and runs that cross the window's ends into the ROM and beyond.
// The span's change record holds every page it changed, as it was before.
TEST(AdapterMemory, SpansAreTheByteAccessesOneAfterTheOther) {
  std::mt19937 random(0x5EED);
  auto byte = [&random] { return static_cast<uint8_t>(random()); };
  std::vector<Adapter> boards;
  for (uint32_t bytes : {0x40000u, 0x80000u}) {
    PowerOnState p = Memory(bytes);
    p.optionRom.assign(0x1000, 0x5A);
    boards.emplace_back(p);
    for (uint8_t& b : boards.back().Vram())
      b = byte();
  }
  for (int round = 0; round < 300; ++round) {
    Adapter a = boards[round & 1];
    auto set = [&a](uint16_t index, uint8_t reg, uint8_t value) {
      a.Out16(index, static_cast<uint16_t>(value << 8 | reg));
    };
    a.Out8(0x3C2, byte());
    set(0x3C4, 0x02, byte());
    set(0x3C4, 0x04, byte());
    // Every other round keeps to write mode 0 without set/reset, rotation,
    // logical function or bit mask: the stores a span may take as they are.
    const bool plain = round % 2 == 0;
    for (uint8_t gr = 0; gr < 9; ++gr) {
      uint8_t value = byte();
      if (plain && (gr == 1 || gr == 3)) value = 0x00;
      if (plain && gr == 5) value &= 0xFC;
      if (plain && gr == 8) value = 0xFF;
      set(0x3CE, gr, value);
    }
    a.Out8(0x3CD, byte());
    if (round % 4 == 0) {
      set(0x3C4, 0x05, 0x86);
      set(0x3C4, 0x20, byte() & 1);  // base 0 or 0x80000
      set(0x3C4, 0x06, 0x80);
    }
    a.MemRead8(0xA0000 + (random() & 0x1FFFF));  // latches
    const uint32_t start = 0x9E000 + random() % 0x24000;
    const uint32_t length = 1 + random() % 0x2400;
    const int kind = static_cast<int>(random() % 3);
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes)
      b = byte();
    const uint8_t fill = byte();

    Adapter b = a;
    const std::vector<uint8_t> before(std::as_const(b).Vram().begin(),
                                      std::as_const(b).Vram().end());
    b.StartChangeRecord();
    std::vector<uint8_t> readByBytes(length), readBySpan(length);
    for (uint32_t i = 0; i < length; ++i) {
      if (kind == 0) readByBytes[i] = a.MemRead8(start + i);
      if (kind == 1) a.MemWrite8(start + i, bytes[i]);
      if (kind == 2) a.MemWrite8(start + i, fill);
    }
    if (kind == 0) b.MemRead(start, readBySpan);
    if (kind == 1) b.MemWrite(start, bytes);
    if (kind == 2) b.MemFill(start, length, fill);

    const std::string what = "round " + std::to_string(round) + ", " +
                             (kind == 0   ? "read"
                              : kind == 1 ? "write"
                                          : "fill") +
                             " of " + std::to_string(length) + " bytes at " + std::to_string(start);
    ASSERT_EQ(readBySpan, readByBytes) << what;
    if (!(a == b)) {
      std::string lines;
      for (const std::string& line : Diff(a.WholeState(), b.WholeState()))
        lines += "\n  " + line;
      FAIL() << what << ": the adapters differ" << lines;
    }
    const uint8_t* now = std::as_const(b).Vram().data();
    std::vector<bool> recorded(before.size() / 0x1000);
    for (const auto& page : b.WrittenPages()) {
      ASSERT_EQ(std::memcmp(page.before.data(), &before[page.offset], page.before.size()), 0)
          << what << ": page " << page.offset << " as it was before";
      recorded[page.offset / 0x1000] = true;
    }
    for (size_t page = 0; page < recorded.size(); ++page) {
      ASSERT_TRUE(recorded[page] ||
                  std::memcmp(now + page * 0x1000, &before[page * 0x1000], 0x1000) == 0)
          << what << ": video memory page " << page << " changed outside the record";
    }
  }
}

// The whole-state view is what save/restore round trips compare: a part it
// leaves out is a restore fault nobody sees. Diff names each difference.
TEST(AdapterState, DiffNamesEveryPartOfTheState) {
  Adapter a(Memory()), b(Memory());
  b.Out8(0x3C2, 0x01);
  b.Out16(0x3C4, 0x0302);
  b.Out8(0x3D4, 0x0E);
  b.Out8(0x3CE, 0x06);
  b.Out8(0x3C0, 0x34);
  b.Out8(0x3C8, 0x07);
  b.Out8(0x3C9, 0x01);
  b.Out8(0x3C9, 0x02);  // a partial triple
  b.Vram()[0xFFFF * 4 + 3] = 0x7E;
  b.Vram()[0x10000 * 4 + 3] = 0x7F;  // beyond the first 64 KB: not the VGA's
  EXPECT_EQ(
      Diff(a.WholeState(), b.WholeState()),
      (std::vector<std::string>{
          "SR02: expected 0x00, got 0x03", "SR index: expected 0x00, got 0x02",
          "CR index: expected 0x00, got 0x0e", "GR index: expected 0x00, got 0x06",
          "AR index: expected 0x00, got 0x34", "AR flip-flop in data state: expected 0, got 1",
          "misc output: expected 0x00, got 0x01", "DAC address: expected 0x00, got 0x07",
          "DAC position: expected 0x00, got 0x02",
          "DAC pending component 0: expected 0x00, got 0x01",
          "DAC pending component 1: expected 0x00, got 0x02",
          "plane 3 offset 0xffff: expected 0x00, got 0x7e"}));
  EXPECT_TRUE(Diff(b.WholeState(), b.WholeState()).empty());
  const auto lines = Diff(Adapter(Memory()).WholeState(), b.WholeState(), 3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "... and 10 more differences");
}

// ---------------------------------------------------------------------- Zel

// Only 0x86 in SR05 opens the extended registers; while locked they read 0
// and ignore writes (inspection sees them all the same).
TEST(AdapterZel, OnlyTheKeyOpensAndAnythingElseCloses) {
  for (const uint8_t written : {0x86, 0x00, 0x87, 0xA1, 0xFF}) {
    SCOPED_TRACE(testing::Message() << "SR05 written 0x" << std::hex << int(written));
    const bool unlocked = written == 0x86;
    PowerOnState p = Memory();
    p.extendedSeq[0x0F] = 0x02;
    Adapter a(p);
    a.Out16(0x3C4, 0x8605);
    a.Out16(0x3C4, static_cast<uint16_t>(written << 8 | 0x05));
    a.Out16(0x3C4, 0x030F);
    EXPECT_EQ(a.ExtendedUnlocked(), unlocked);
    a.Out8(0x3C4, 0x05);
    EXPECT_EQ(a.In8(0x3C5), unlocked ? 0xA1 : 0x00);
    a.Out8(0x3C4, 0x0F);
    EXPECT_EQ(a.In8(0x3C5), unlocked ? 0x03 : 0x00);
    EXPECT_EQ(a.Seq(0x0F), unlocked ? 0x03 : 0x02);
  }
}

// Straps keep what the board set; pointer and clock registers keep only
// their fields; every other extended register takes the whole byte.
TEST(AdapterZel, WritesReachOnlyTheWritableBits) {
  struct Case {
    uint8_t index, written, reads;
  };
  for (const Case& c : {Case{0x0C, 0xFF, 0x00}, Case{0x0D, 0x01, 0x00}, Case{0x1B, 0xFF, 0x07},
                        Case{0x1C, 0xFF, 0x1F}, Case{0x1F, 0xE5, 0x05}, Case{0x23, 0x20, 0x00},
                        Case{0x29, 0xFF, 0x7F}, Case{0x2F, 0x00, 0x07}, Case{0x33, 0x09, 0x00},
                        Case{0x1E, 0xFF, 0xFF}}) {
    PowerOnState p = Memory();
    p.extendedSeq[0x2F] = 0x07;
    Adapter a(p);
    a.Out16(0x3C4, 0x8605);
    a.Out16(0x3C4, static_cast<uint16_t>(c.written << 8 | c.index));
    a.Out8(0x3C4, c.index);
    EXPECT_EQ(a.In8(0x3C5), c.reads)
        << "SR" << std::hex << int(c.index) << " written 0x" << int(c.written);
  }
}

// 0x3CD: read bank in bits 7-4, write bank in bits 3-0, 64 KB of each plane
// (plane p of offset o at 4o + p) when planar and 64 KB of memory under
// chain 4. A bank past the installed memory floats (latches too) and drops
// writes.
TEST(AdapterZel, BanksAreSixtyFourKilobytesOfEachPlaneOrOfChainFourMemory) {
  Adapter a(Memory());
  Planar(a);
  a.Out16(0x3C4, 0x0102);
  a.Out8(0x3CD, 0x32);
  EXPECT_EQ(a.In8(0x3CD), 0x32);
  a.MemWrite8(0xA0010, 0x77);
  EXPECT_EQ(a.Vram()[0x80040], 0x77);
  a.Vram()[0xC0040] = 0x5A;
  EXPECT_EQ(a.MemRead8(0xA0010), 0x5A);
  a.Out16(0x3C4, 0x0F02);
  a.Out16(0x3C4, 0x0E04);  // chain 4
  a.Out8(0x3CD, 0x21);
  a.MemWrite8(0xA0003, 0x66);
  EXPECT_EQ(a.Vram()[0x10003], 0x66);
  a.Vram()[0x20003] = 0x55;
  EXPECT_EQ(a.MemRead8(0xA0003), 0x55);

  Adapter small(Memory(0x40000));  // 64 KB per plane
  Planar(small);
  small.Out8(0x3CD, 0x11);
  small.MemWrite8(0xA0010, 0x12);
  EXPECT_EQ(small.MemRead8(0xA0010), 0xFF);
  EXPECT_EQ(small.Latch(0), 0xFF);
  for (uint8_t b : small.Vram())
    ASSERT_EQ(b, 0);
}

}  // namespace
}  // namespace sim
