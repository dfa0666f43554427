// The standard VGA side of the simulated adapter, checked against how a VGA
// behaves: everything the driver's save, restore, font and palette paths do
// is only as well tested as these facts are true.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sim/adapter.h"
#include "sim/trace.h"

namespace sim {
namespace {

PowerOnState Memory(uint32_t bytes = 0x400000) {
  PowerOnState p;
  p.videoMemoryBytes = bytes;
  return p;
}

// Plays a script of accesses on the adapter: writes are made as written,
// reads are made and recorded with the value the adapter gave, so that
// CompareTraces names the first read that differs.
std::vector<TraceEntry> Play(Adapter& a, const std::vector<TraceEntry>& script) {
  std::vector<TraceEntry> actual;
  for (TraceEntry e : script) {
    const uint16_t port = static_cast<uint16_t>(e.address);
    switch (e.kind) {
      case AccessKind::Out:
        e.size == 2 ? a.Out16(port, static_cast<uint16_t>(e.value))
                    : a.Out8(port, static_cast<uint8_t>(e.value));
        break;
      case AccessKind::In:
        e.value = e.size == 2 ? a.In16(port) : a.In8(port);
        break;
      case AccessKind::MemWrite:
        a.MemWrite8(e.address + e.offset, static_cast<uint8_t>(e.value));
        break;
      case AccessKind::MemRead:
        e.value = a.MemRead8(e.address + e.offset);
        break;
      default:
        break;
    }
    actual.push_back(e);
  }
  return actual;
}

#define EXPECT_PLAYS(adapter, ...)                               \
  do {                                                           \
    const std::vector<TraceEntry> script = __VA_ARGS__;          \
    EXPECT_EQ(CompareTraces(script, Play(adapter, script)), ""); \
  } while (0)

using io::In16;
using io::In8;
using io::MemRead8;
using io::MemWrite8;
using io::Out16;
using io::Out8;

// ---------------------------------------------------------------- attribute

TEST(AdapterAttribute, FlipFlopAlternatesAndAddressReadsDoNotToggle) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);  // colour
  a.StickStatusBits(0x09, 0x00);
  EXPECT_PLAYS(a, {In8(0x3DA, 0x00), Out8(0x3C0, 0x31),  // index 0x11 with PAS
                   In8(0x3C0, 0x31), In8(0x3C0, 0x31),   // reads leave the data state
                   Out8(0x3C0, 0x2A),                    // AR11
                   Out8(0x3C0, 0x05),                    // back in the index state
                   In8(0x3C0, 0x05), Out8(0x3C0, 0x3F),  // AR05
                   In8(0x3C1, 0x3F), Out8(0x3C0, 0x11), In8(0x3C1, 0x2A)});
  EXPECT_EQ(a.Attr(0x11), 0x2A);
  EXPECT_EQ(a.Attr(0x05), 0x3F);
  EXPECT_TRUE(a.WholeState().attrFlipFlopData);
  EXPECT_EQ(a.WholeState().attrIndex, 0x11);
}

TEST(AdapterAttribute, StatusReadOfTheDecodedPortOnlyResetsTheFlipFlop) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  a.Out8(0x3C0, 0x12);  // index, now data state
  a.In8(0x3BA);         // mono status: not decoded in colour
  a.Out8(0x3C0, 0x0C);  // data: AR12
  EXPECT_EQ(a.Attr(0x12), 0x0C);
  a.Out8(0x3C0, 0x13);  // index
  a.In8(0x3DA);
  a.Out8(0x3C0, 0x14);  // index again, not data for AR13
  EXPECT_EQ(a.Attr(0x13), 0x00);
  EXPECT_EQ(a.In8(0x3C0), 0x14);
}

// Beyond AR14 there is no register; AR00-AR0F refuse the processor while
// the palette address source bit (index bit 5) gives them to the display.
// The flip-flop toggles either way.
TEST(AdapterAttribute, DroppedDataStillToggles) {
  struct Case {
    uint8_t index;
    uint8_t reg;
    uint8_t stored;  // AR `reg` after 0x15 went to the data port (AR10 bit 4 reserved)
  };
  for (const Case& c : {Case{0x1F, 0x1F, 0x00}, Case{0x25, 0x05, 0x00}, Case{0x2F, 0x0F, 0x00},
                        Case{0x05, 0x05, 0x15}, Case{0x30, 0x10, 0x05}}) {
    Adapter a(Memory());
    a.Out8(0x3C0, c.index);
    a.Out8(0x3C0, 0x15);
    a.Out8(0x3C0, 0x01);
    EXPECT_EQ(a.In8(0x3C0), 0x01) << "index " << int(c.index) << ": the flip-flop did not toggle";
    for (uint8_t i = 0; i <= 0x14; ++i)
      EXPECT_EQ(a.Attr(i), i == c.reg ? c.stored : 0)
          << "index " << int(c.index) << ", AR" << int(i);
  }
}

// ---------------------------------------------------------------------- DAC

TEST(AdapterDac, WriteModeStoresSixBitTriplesAndAdvancesAfterTheThird) {
  Adapter a(Memory());
  EXPECT_PLAYS(a, {Out8(0x3C8, 0x41), In8(0x3C7, 0x00), In8(0x3C8, 0x41), Out8(0x3C9, 0x3F),
                   In8(0x3C8, 0x41), Out8(0x3C9, 0x95), In8(0x3C8, 0x41), Out8(0x3C9, 0x2A),
                   In8(0x3C8, 0x42)});
  EXPECT_EQ(a.Dac(0x41), (Rgb{0x3F, 0x15, 0x2A}));
  EXPECT_EQ(a.Dac(0x42), (Rgb{0, 0, 0}));
}

TEST(AdapterDac, PartialTripleIsKeptAsPositionAndPending) {
  Adapter a(Memory());
  a.Out8(0x3C8, 0x10);
  a.Out8(0x3C9, 0x01);
  a.Out8(0x3C9, 0x02);
  VgaState s = a.WholeState();
  EXPECT_EQ(s.dacPosition, 2);
  EXPECT_EQ(s.dacPending, (std::array<uint8_t, 3>{0x01, 0x02, 0x00}));
  EXPECT_EQ(s.dacAddress, 0x10);
  EXPECT_FALSE(s.dacReadMode);
  // A write to an index port drops the partial triple.
  a.Out8(0x3C8, 0x20);
  EXPECT_PLAYS(a, {Out8(0x3C9, 0x07), Out8(0x3C9, 0x08), Out8(0x3C9, 0x09), In8(0x3C8, 0x21)});
  EXPECT_EQ(a.Dac(0x10), (Rgb{0, 0, 0}));
  EXPECT_EQ(a.Dac(0x20), (Rgb{7, 8, 9}));
  EXPECT_EQ(a.WholeState().dacPosition, 0);
}

TEST(AdapterDac, ReadModeFetchesAtOnceAndWalksOn) {
  Adapter a(Memory());
  a.Out8(0x3C8, 0x05);
  for (uint8_t v : {0x11, 0x12, 0x13, 0x21, 0x22, 0x23})
    a.Out8(0x3C9, v);
  EXPECT_PLAYS(
      a, {Out8(0x3C7, 0x05), In8(0x3C7, 0x03), In8(0x3C8, 0x06), In8(0x3C9, 0x11), In8(0x3C8, 0x06),
          In8(0x3C9, 0x12), In8(0x3C8, 0x06), In8(0x3C9, 0x13), In8(0x3C8, 0x07), In8(0x3C9, 0x21),
          In8(0x3C9, 0x22), In8(0x3C9, 0x23), In8(0x3C8, 0x08), In8(0x3C9, 0x00)});
  EXPECT_TRUE(a.WholeState().dacReadMode);
  EXPECT_EQ(a.WholeState().dacPosition, 1);
}

TEST(AdapterDac, AddressWrapsAtBothEnds) {
  Adapter a(Memory());
  EXPECT_PLAYS(a, {Out8(0x3C8, 0xFF), Out8(0x3C9, 0x01), Out8(0x3C9, 0x02), Out8(0x3C9, 0x03),
                   In8(0x3C8, 0x00), Out8(0x3C7, 0xFF), In8(0x3C8, 0x00), In8(0x3C9, 0x01)});
}

// The save learns how far into a triple the DAC is by one or two more
// accesses and a look at the address: only the access that ends a triple
// moves it.
TEST(AdapterDac, PositionShowsOnlyWhenATripleCompletes) {
  struct Case {
    bool readMode;
    int transferred;             // components already moved at entry 0x41
    uint8_t afterOne, afterTwo;  // 0x3C8 after one and after two more accesses
  };
  for (const Case& c :
       {Case{false, 0, 0x41, 0x41}, Case{false, 1, 0x41, 0x42}, Case{false, 2, 0x42, 0x42},
        Case{true, 0, 0x42, 0x42}, Case{true, 1, 0x42, 0x43}, Case{true, 2, 0x43, 0x43}}) {
    Adapter a(Memory());
    auto access = [&] { c.readMode ? (void)a.In8(0x3C9) : a.Out8(0x3C9, 0x00); };
    c.readMode ? a.Out8(0x3C7, 0x41) : a.Out8(0x3C8, 0x41);
    for (int i = 0; i < c.transferred; ++i)
      access();
    access();
    EXPECT_EQ(a.In8(0x3C8), c.afterOne) << c.readMode << " " << c.transferred;
    access();
    EXPECT_EQ(a.In8(0x3C8), c.afterTwo) << c.readMode << " " << c.transferred;
  }
}

TEST(AdapterDac, DataAccessAgainstTheModeSharesAddressAndPosition) {
  Adapter a(Memory());
  a.Out8(0x3C8, 0x30);
  for (uint8_t v : {0x0A, 0x0B, 0x0C})
    a.Out8(0x3C9, v);
  // Reads in write mode take the entry at the address and then move on.
  a.Out8(0x3C8, 0x30);
  EXPECT_PLAYS(a, {In8(0x3C9, 0x0A), In8(0x3C9, 0x0B), In8(0x3C9, 0x0C), In8(0x3C8, 0x31)});
  // Writes in read mode store at the address the read side points at.
  a.Out8(0x3C7, 0x2F);
  for (uint8_t v : {0x01, 0x02, 0x03})
    a.Out8(0x3C9, v);
  EXPECT_EQ(a.Dac(0x30), (Rgb{1, 2, 3}));
  EXPECT_EQ(a.In8(0x3C8), 0x31);
}

// ------------------------------------------------------------ video memory

constexpr uint32_t kA0000 = 0xA0000;

// Planar graphics: 0xA0000 for 64 KB, all planes, bit mask 0xFF, the
// window open to the processor (misc output bit 1).
void Planar(Adapter& a) {
  a.Out8(0x3C2, 0x63);
  a.Out16(0x3C4, 0x0604);
  a.Out16(0x3C4, 0x0F02);
  a.Out16(0x3CE, 0x0506);
  a.Out16(0x3CE, 0x0005);
  a.Out16(0x3CE, 0xFF08);
}

void SetPlanes(Adapter& a, uint32_t offset, std::array<uint8_t, 4> bytes) {
  for (size_t p = 0; p < 4; ++p)
    a.Vram()[offset * 4 + p] = bytes[p];
}

std::array<uint8_t, 4> Planes(const Adapter& a, uint32_t offset) {
  return {a.PlaneByte(0, offset), a.PlaneByte(1, offset), a.PlaneByte(2, offset),
          a.PlaneByte(3, offset)};
}

TEST(AdapterMemory, ReadsLoadLatchesAndWriteModeOneStoresThem) {
  Adapter a(Memory());
  Planar(a);
  SetPlanes(a, 0x0100, {0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(a.MemRead8(kA0000 + 0x100), 0x11);
  EXPECT_EQ(a.WholeState().latches, (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
  a.Out16(0x3CE, 0x0105);  // write mode 1
  a.MemWrite8(kA0000 + 0x200, 0x99);
  EXPECT_EQ(Planes(a, 0x200), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
  a.Out16(0x3C4, 0x0502);  // planes 0 and 2
  a.MemWrite8(kA0000 + 0x300, 0x99);
  EXPECT_EQ(Planes(a, 0x300), (std::array<uint8_t, 4>{0x11, 0x00, 0x33, 0x00}));
  // Writes leave the latches alone.
  EXPECT_EQ(a.Latch(3), 0x44);
}

// Latches hold F0 0F AA 55 (from offset 0x10) before each write at 0x10.
TEST(AdapterMemory, WriteModesAgainstTheLatches) {
  struct Case {
    const char* what;
    uint8_t gr00, gr01, gr03, gr05, gr08, sr02, value;
    std::array<uint8_t, 4> planes;
  };
  const Case cases[] = {
      {"mode 0 bit mask and map mask", 0, 0, 0x00, 0, 0x3C, 0x0B, 0xFF, {0xFC, 0x3F, 0xAA, 0x7D}},
      {"mode 0 set/reset on planes 0-1",
       0x05,
       0x03,
       0,
       0,
       0xFF,
       0x0F,
       0x5A,
       {0xFF, 0x00, 0x5A, 0x5A}},
      {"mode 0 rotate 3 then XOR", 0, 0, 0x1B, 0, 0xFF, 0x0F, 0x81, {0xC0, 0x3F, 0x9A, 0x65}},
      {"mode 0 AND", 0, 0, 0x08, 0, 0xFF, 0x0F, 0x3C, {0x30, 0x0C, 0x28, 0x14}},
      {"mode 0 OR", 0, 0, 0x10, 0, 0xFF, 0x0F, 0x03, {0xF3, 0x0F, 0xAB, 0x57}},
      {"mode 2 ignores set/reset", 0x00, 0x0F, 0, 2, 0x0F, 0x0F, 0x05, {0xFF, 0x00, 0xAF, 0x50}},
      {"mode 3 data masks the bit mask",
       0x06,
       0x00,
       0,
       3,
       0xF0,
       0x0F,
       0x3C,
       {0xC0, 0x3F, 0xBA, 0x45}},
  };
  for (const Case& c : cases) {
    Adapter a(Memory());
    Planar(a);
    SetPlanes(a, 0x10, {0xF0, 0x0F, 0xAA, 0x55});
    a.MemRead8(kA0000 + 0x10);
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr00 << 8 | 0x00));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr01 << 8 | 0x01));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr03 << 8 | 0x03));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr05 << 8 | 0x05));
    a.Out16(0x3CE, static_cast<uint16_t>(c.gr08 << 8 | 0x08));
    a.Out16(0x3C4, static_cast<uint16_t>(c.sr02 << 8 | 0x02));
    a.MemWrite8(kA0000 + 0x10, c.value);
    EXPECT_EQ(Planes(a, 0x10), c.planes) << c.what;
  }
}

TEST(AdapterMemory, ReadModeOneComparesColoursOfTheCountedPlanes) {
  struct Case {
    uint8_t compare, dontCare, read;
  };
  // Planes at 0x20: F0 CC AA FF.
  for (const Case& c : {Case{0x0B, 0x0F, 0x40}, Case{0x0B, 0x03, 0xC0}, Case{0x0B, 0x00, 0xFF},
                        Case{0x00, 0x0F, 0x00}, Case{0x00, 0x04, 0x55}}) {
    Adapter a(Memory());
    Planar(a);
    SetPlanes(a, 0x20, {0xF0, 0xCC, 0xAA, 0xFF});
    a.Out16(0x3CE, 0x0805);
    a.Out16(0x3CE, static_cast<uint16_t>(c.compare << 8 | 0x02));
    a.Out16(0x3CE, static_cast<uint16_t>(c.dontCare << 8 | 0x07));
    EXPECT_EQ(a.MemRead8(kA0000 + 0x20), c.read)
        << std::hex << int(c.compare) << " " << int(c.dontCare);
    EXPECT_EQ(a.Latch(1), 0xCC);
  }
}

TEST(AdapterMemory, ReadMapSelectPicksThePlane) {
  Adapter a(Memory());
  Planar(a);
  SetPlanes(a, 0x30, {0x10, 0x20, 0x30, 0x40});
  EXPECT_PLAYS(a, {Out16(0x3CE, 0x0004), MemRead8(kA0000, 0x30, 0x10), Out8(0x3CF, 0x01),
                   MemRead8(kA0000, 0x30, 0x20), Out8(0x3CF, 0x02), MemRead8(kA0000, 0x30, 0x30),
                   Out8(0x3CF, 0x03), MemRead8(kA0000, 0x30, 0x40)});
}

TEST(AdapterMemory, ChainFourPacksBytesAndBanksBy64K) {
  Adapter a(Memory());
  Planar(a);
  a.Out16(0x3C4, 0x0E04);
  for (uint8_t i = 0; i < 8; ++i)
    a.MemWrite8(kA0000 + i, static_cast<uint8_t>(i + 1));
  EXPECT_EQ(a.PlaneByte(1, 1), 6);
  EXPECT_EQ(a.PlaneByte(3, 0), 4);
  EXPECT_EQ(a.MemRead8(kA0000 + 6), 7);
  a.Out16(0x3C4, 0x0E02);  // plane 0 masked off: every fourth byte dropped
  a.MemWrite8(kA0000 + 4, 0xEE);
  a.MemWrite8(kA0000 + 5, 0xDD);
  EXPECT_EQ(a.Vram()[4], 5);
  EXPECT_EQ(a.Vram()[5], 0xDD);
  a.Out8(0x3CD, 0x21);  // read bank 2, write bank 1
  a.MemWrite8(kA0000 + 3, 0x77);
  EXPECT_EQ(a.Vram()[0x10003], 0x77);
  a.Vram()[0x20003] = 0x66;
  EXPECT_EQ(a.MemRead8(kA0000 + 3), 0x66);
}

TEST(AdapterMemory, OddEvenTextAddressing) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x67);
  a.Out16(0x3C4, 0x0204);  // odd/even writes
  a.Out16(0x3C4, 0x0302);  // planes 0 and 1
  a.Out16(0x3CE, 0x1005);  // odd/even reads
  a.Out16(0x3CE, 0x0E06);  // 0xB8000, chained
  a.Out16(0x3CE, 0xFF08);
  a.MemWrite8(0xB8000, 0x41);
  a.MemWrite8(0xB8001, 0x07);
  a.MemWrite8(0xB8002, 0x42);
  EXPECT_EQ(a.PlaneByte(0, 0), 0x41);
  EXPECT_EQ(a.PlaneByte(1, 0), 0x07);
  EXPECT_EQ(a.PlaneByte(0, 2), 0x42);
  EXPECT_EQ(a.PlaneByte(0, 1), 0x00);
  a.Out16(0x3C4, 0x0402);  // the font plane: only even addresses reach it
  a.MemWrite8(0xB8004, 0x55);
  a.MemWrite8(0xB8005, 0x66);
  EXPECT_EQ(a.PlaneByte(2, 4), 0x55);
  EXPECT_EQ(a.PlaneByte(3, 4), 0x00);
  a.Vram()[2] = 0x99;  // plane 2 offset 0
  a.Vram()[7] = 0x88;  // plane 3 offset 1
  EXPECT_PLAYS(a, {MemRead8(0xB8000, 0x1, 0x07), Out16(0x3CE, 0x0204), MemRead8(0xB8000, 0x0, 0x99),
                   MemRead8(0xB8000, 0x1, 0x00)});
  EXPECT_EQ(a.Latch(2), 0x99);
}

// SR04 bit 2 (writes) and GR05 bit 4 (reads) pick the map by address bit
// 0; GR06 bit 1 (chain odd/even) puts a higher bit in its place in the
// offset: A16, 0 in the 64 KB and 32 KB maps.
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
    EXPECT_EQ(written, static_cast<size_t>(std::popcount(c.planes))) << c.what;
    for (int p = 0; p < 4; ++p) {
      EXPECT_EQ(a.PlaneByte(p, c.offset), (c.planes >> p) & 1 ? 0xA5 : 0x00)
          << c.what << ", plane " << p;
    }
    // Reads find the byte where the write put it (plane 1 by address bit 0,
    // or plane 0 by GR04).
    EXPECT_EQ(a.MemRead8(c.physical), 0xA5) << c.what;
  }
}

// With misc output bit 1 clear the VGA makes no memory cycle: writes are
// lost, reads float to 0xFF and leave the latches alone.
TEST(AdapterMemory, MiscBitOneGatesTheWindow) {
  Adapter a(Memory());
  Planar(a);
  SetPlanes(a, 0x10, {0x11, 0x22, 0x33, 0x44});
  a.Out8(0x3C2, 0x61);
  EXPECT_EQ(a.MemRead8(kA0000 + 0x10), 0xFF);
  EXPECT_EQ(a.WholeState().latches, (std::array<uint8_t, 4>{}));
  a.MemWrite8(kA0000 + 0x10, 0x99);
  EXPECT_EQ(Planes(a, 0x10), (std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
  a.Out8(0x3C2, 0x63);
  EXPECT_EQ(a.MemRead8(kA0000 + 0x10), 0x11);
  EXPECT_EQ(a.Latch(3), 0x44);
}

TEST(AdapterMemory, GraphicsMiscSelectsTheWindow) {
  struct Case {
    uint8_t map;
    uint32_t physical;
    bool decoded;
    uint32_t offset;
  };
  const Case cases[] = {
      {0, 0xA0000, true, 0x0}, {0, 0xBFFFF, true, 0x1FFFF}, {0, 0x9FFFF, false, 0},
      {0, 0xC0000, false, 0},  {1, 0xAFFFF, true, 0xFFFF},  {1, 0xB0000, false, 0},
      {2, 0xB0000, true, 0x0}, {2, 0xB7FFF, true, 0x7FFF},  {2, 0xB8000, false, 0},
      {2, 0xAFFFF, false, 0},  {3, 0xB8000, true, 0x0},     {3, 0xBFFFF, true, 0x7FFF},
      {3, 0xB7FFF, false, 0},
  };
  for (const Case& c : cases) {
    Adapter a(Memory(0x80000));  // 128 KB per plane: the whole window fits
    Planar(a);
    a.Out16(0x3C4, 0x0102);
    a.Out16(0x3CE, static_cast<uint16_t>((c.map << 2 | 1) << 8 | 0x06));
    EXPECT_EQ(a.Decodes(c.physical), c.decoded) << int(c.map) << " " << std::hex << c.physical;
    a.MemWrite8(c.physical, 0x5C);
    if (c.decoded) {
      EXPECT_EQ(a.PlaneByte(0, c.offset), 0x5C) << int(c.map) << " " << std::hex << c.physical;
      EXPECT_EQ(a.MemRead8(c.physical), 0x5C);
    } else {
      EXPECT_EQ(a.MemRead8(c.physical), 0xFF) << int(c.map) << " " << std::hex << c.physical;
      for (uint8_t b : a.Vram())
        ASSERT_EQ(b, 0) << int(c.map) << " " << std::hex << c.physical;
    }
  }
}

TEST(AdapterMemory, BeyondInstalledMemoryReadsFFAndDropsWrites) {
  Adapter a(Memory(0x40000));  // 256 KB: 64 KB per plane
  Planar(a);
  a.Out8(0x3CD, 0x11);
  a.MemWrite8(kA0000 + 0x10, 0x12);
  EXPECT_EQ(a.MemRead8(kA0000 + 0x10), 0xFF);
  EXPECT_EQ(a.Latch(0), 0xFF);
  for (uint8_t b : a.Vram())
    ASSERT_EQ(b, 0);
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
    std::string state = "misc/SR02/SR04/GR00-08/bank/aperture:";
    auto set = [&](uint16_t index, uint16_t data, uint8_t reg, uint8_t value) {
      a.Out8(index, reg);
      a.Out8(data, value);
      state += " " + std::to_string(value);
    };
    const uint8_t misc = byte();
    a.Out8(0x3C2, misc);
    state += " " + std::to_string(misc);
    set(0x3C4, 0x3C5, 0x02, byte());
    set(0x3C4, 0x3C5, 0x04, byte());
    // Every other round keeps to write mode 0 without set/reset, rotation,
    // logical function or bit mask: the stores a span may take as they are.
    const bool plain = round % 2 == 0;
    for (uint8_t gr = 0; gr < 9; ++gr) {
      uint8_t value = byte();
      if (plain && (gr == 1 || gr == 3)) value = 0x00;
      if (plain && gr == 5) value &= 0xFC;
      if (plain && gr == 8) value = 0xFF;
      set(0x3CE, 0x3CF, gr, value);
    }
    const uint8_t bank = byte();
    a.Out8(0x3CD, bank);
    state += " " + std::to_string(bank);
    if (round % 4 == 0) {
      set(0x3C4, 0x3C5, 0x05, 0x86);
      set(0x3C4, 0x3C5, 0x20, byte() & 1);  // base 0 or 0x80000
      set(0x3C4, 0x3C5, 0x06, 0x80);
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
                             " of " + std::to_string(length) + " bytes at " +
                             std::to_string(start) + ", " + state;
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

// ---------------------------------------------------------------------- CRTC

TEST(AdapterCrtc, ProtectBitGuardsCR00ToCR07ButLineCompareBit8) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  a.Out16(0x3D4, 0x8011);
  for (uint8_t i = 0; i <= 0x08; ++i)
    a.Out16(0x3D4, static_cast<uint16_t>(0xFF00 | i));
  const uint8_t expected[9] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0xFF};
  for (uint8_t i = 0; i <= 0x08; ++i)
    EXPECT_EQ(a.Crtc(i), expected[i]) << "CR0" << int(i);
  a.Out16(0x3D4, 0x0011);
  a.Out16(0x3D4, 0x5F00);
  a.Out16(0x3D4, 0x0007);
  EXPECT_EQ(a.Crtc(0x00), 0x5F);
  EXPECT_EQ(a.Crtc(0x07), 0x00);
}

TEST(AdapterCrtc, CR03Bit7ChoosesRetraceOrLightPenAtCR10AndCR11) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  EXPECT_PLAYS(a, {Out16(0x3D4, 0x9C10), Out16(0x3D4, 0x0E11), Out16(0x3D4, 0x0003),
                   Out8(0x3D4, 0x10), In8(0x3D5, 0x00), Out8(0x3D4, 0x11), In8(0x3D5, 0x00),
                   Out16(0x3D4, 0x8203), Out8(0x3D4, 0x10), In8(0x3D5, 0x9C), Out8(0x3D4, 0x11),
                   In8(0x3D5, 0x0E), Out8(0x3D4, 0x03), In8(0x3D5, 0x82)});
  EXPECT_EQ(a.Crtc(0x10), 0x9C);
}

TEST(AdapterCrtc, IndexHoldsEightBitsAndNothingAnswersAboveCR18) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  EXPECT_PLAYS(a, {Out16(0x3D4, 0x4418), In16(0x3D4, 0x4418), Out16(0x3D4, 0x5519),
                   In16(0x3D4, 0x0019), Out8(0x3D4, 0xFF), In8(0x3D4, 0xFF), In8(0x3D5, 0x00)});
  EXPECT_EQ(a.Crtc(0x18), 0x44);
}

// ----------------------------------------------- sequencer and graphics files

TEST(AdapterRegisterFiles, IndexWidthsAndReservedBits) {
  Adapter a(Memory());
  EXPECT_PLAYS(a, {Out8(0x3C4, 0x86), In8(0x3C4, 0x86), Out16(0x3C4, 0xFF04), In8(0x3C5, 0x0E),
                   Out16(0x3C4, 0xFF01), In8(0x3C5, 0x3D), Out8(0x3CE, 0xF8), In8(0x3CE, 0x08),
                   Out16(0x3CE, 0xFF05), In8(0x3CF, 0x7B), Out16(0x3CE, 0xFF04), In8(0x3CF, 0x03),
                   Out16(0x3CE, 0x550C), In8(0x3CF, 0x00), Out8(0x3C3, 0x01), In8(0x3C3, 0x01),
                   In8(0x3AF, 0xFF), In8(0x3E0, 0xFF), In16(0x3C4, 0x3D01)});
  EXPECT_EQ(a.WholeState().gcIndex, 0x0C);
}

// --------------------------------------------- misc, feature and status ports

TEST(AdapterGeneral, MiscBit0MovesCrtcAndStatusBetweenRanges) {
  struct Case {
    uint8_t misc;
    uint16_t index, data, status, otherIndex, otherStatus;
  };
  for (const Case& c : {Case{0x67, 0x3D4, 0x3D5, 0x3DA, 0x3B4, 0x3BA},
                        Case{0x66, 0x3B4, 0x3B5, 0x3BA, 0x3D4, 0x3DA}}) {
    Adapter a(Memory());
    a.Out8(0x3C2, c.misc);
    a.Out8(c.index, 0x0C);
    a.Out8(c.otherIndex, 0x0E);  // not decoded
    a.Out8(c.data, 0x12);
    EXPECT_EQ(a.In8(0x3CC), c.misc);
    EXPECT_EQ(a.In8(0x3C2), 0x00) << "0x3C2 reads input status 0";
    EXPECT_EQ(a.In8(c.index), 0x0C);
    EXPECT_EQ(a.In8(c.otherIndex), 0xFF);
    EXPECT_EQ(a.In8(static_cast<uint16_t>(c.otherIndex + 1)), 0xFF);
    EXPECT_EQ(a.In8(c.otherStatus), 0xFF);
    EXPECT_EQ(a.Crtc(0x0C), 0x12);
    // Feature control is written at the status port, read at 0x3CA.
    a.Out8(c.status, 0x03);
    a.Out8(c.otherStatus, 0x01);
    EXPECT_EQ(a.In8(0x3CA), 0x03);
    EXPECT_EQ(a.FeatureControl(), 0x03);
  }
}

int ReadsUntil(Adapter& a, uint8_t bit, bool set) {
  for (int reads = 1; reads <= 1000; ++reads) {
    if (((a.In8(0x3DA) & bit) != 0) == set) return reads;
  }
  return -1;
}

TEST(AdapterStatus, RetraceAndBlankingWaitsEndWithinAFrame) {
  struct Case {
    uint8_t bit;
    int phase, reads;  // status reads done before the wait, reads the wait takes
  };
  for (const Case& c :
       {Case{0x08, 0, 57}, Case{0x08, 55, 2}, Case{0x08, 56, 65}, Case{0x08, 63, 58},
        Case{0x01, 0, 3}, Case{0x01, 2, 5}, Case{0x01, 55, 12}}) {
    Adapter a(Memory());
    a.Out8(0x3C2, 0x01);
    for (int i = 0; i < c.phase; ++i)
      a.In8(0x3DA);
    const int first = ReadsUntil(a, c.bit, false);
    const int second = ReadsUntil(a, c.bit, true);
    EXPECT_EQ(first + second, c.reads) << "bit " << int(c.bit) << " phase " << c.phase;
  }
}

TEST(AdapterStatus, StuckBitsOverrideTheTiming) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  a.StickStatusBits(0x08, 0x00);
  EXPECT_EQ(ReadsUntil(a, 0x08, true), -1);
  // 1000 reads later the frame is at read 40: blanking comes two reads on.
  EXPECT_EQ(ReadsUntil(a, 0x01, true), 3) << "bit 0 keeps its timing";
  a.StickStatusBits(0x09, 0x09);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(a.In8(0x3DA), 0x09);
  a.StickStatusBits(0x00, 0x00);
  EXPECT_GT(ReadsUntil(a, 0x08, false), 0);
}

// ------------------------------------------------------- whole state, Diff

TEST(AdapterState, DiffNamesEachDifference) {
  Adapter a(Memory()), b(Memory());
  a.Out16(0x3C4, 0x0F02);
  b.Out16(0x3C4, 0x0302);
  b.Vram()[0x1234 * 4 + 2] = 0x41;
  b.Out8(0x3C8, 0x07);
  b.Out8(0x3C9, 0x01);
  b.Out8(0x3C9, 0x02);
  b.Out8(0x3C9, 0x03);
  EXPECT_EQ(
      Diff(a.WholeState(), b.WholeState()),
      (std::vector<std::string>{"SR02: expected 0x0f, got 0x03",
                                "DAC 0x07: expected (0x00, 0x00, 0x00), got (0x01, 0x02, 0x03)",
                                "DAC address: expected 0x00, got 0x08",
                                "plane 2 offset 0x1234: expected 0x00, got 0x41"}));
  EXPECT_TRUE(Diff(a.WholeState(), a.WholeState()).empty());
}

TEST(AdapterState, DiffKeepsToItsLimit) {
  Adapter a(Memory()), b(Memory());
  for (uint32_t o = 0; o < 30; ++o)
    b.Vram()[o * 4] = 1;
  const auto lines = Diff(a.WholeState(), b.WholeState(), 5);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "plane 0 offset 0x0: expected 0x00, got 0x01");
  EXPECT_EQ(lines[4], "... and 26 more differences");
}

TEST(AdapterState, WholeStateCarriesIndicesFlipFlopAndPlanes) {
  Adapter a(Memory());
  a.Out8(0x3C2, 0x01);
  a.Out8(0x3C4, 0x03);
  a.Out8(0x3D4, 0x0E);
  a.Out8(0x3CE, 0x06);
  a.Out8(0x3C0, 0x34);
  a.Vram()[4 * 0xFFFF + 3] = 0x7E;
  a.Vram()[4 * 0x10000 + 3] = 0x7F;  // beyond the first 64 KB of the plane
  const VgaState s = a.WholeState();
  EXPECT_EQ(s.seqIndex, 0x03);
  EXPECT_EQ(s.crtcIndex, 0x0E);
  EXPECT_EQ(s.gcIndex, 0x06);
  EXPECT_EQ(s.attrIndex, 0x34);
  EXPECT_TRUE(s.attrFlipFlopData);
  EXPECT_EQ(s.misc, 0x01);
  ASSERT_EQ(s.planes[3].size(), 0x10000u);
  EXPECT_EQ(s.planes[3][0xFFFF], 0x7E);
}

}  // namespace
}  // namespace sim
