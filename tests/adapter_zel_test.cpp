// The Zel side of the simulated adapter: the SR05 lock, the extended
// registers, the linear aperture sharing memory with the planar window,
// bank select, key ports, option ROM, configuration space, and the defects
// that make the VGA presence test refuse.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "sim/adapter.h"
#include "sim/trace.h"

namespace sim {
namespace {

PowerOnState Chip(uint32_t vramBytes = 0x400000) {
  PowerOnState p;
  p.videoMemoryBytes = vramBytes;
  p.extendedSeq[0x0F] = 0x02;
  p.extendedSeq[0x10] = 0x43;
  p.extendedSeq[0x2F] = 0x07;
  p.optionRom.assign(0x8000, 0x00);
  p.optionRom[0] = 0x55;
  p.optionRom[1] = 0xAA;
  p.optionRom[2] = 0x40;
  p.optionRom[0x18] = 0x1C;
  p.optionRom[0x7FFF] = 0x9E;
  const uint8_t config[] = {0x4B, 0x1F, 0x52, 0x7A, 0x07, 0x00, 0x00, 0x02, 0x1A, 0x00,
                            0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0xE0};
  for (size_t i = 0; i < sizeof config; ++i)
    p.pciConfig[i] = config[i];
  p.pciConfig[0xFC] = 0x11;
  p.pciConfig[0xFF] = 0x44;
  return p;
}

// Plays port accesses; reads record what the adapter answered.
std::vector<TraceEntry> Play(Adapter& a, const std::vector<TraceEntry>& script) {
  std::vector<TraceEntry> actual;
  for (TraceEntry e : script) {
    const uint16_t port = static_cast<uint16_t>(e.address);
    if (e.kind == AccessKind::Out) {
      e.size == 2 ? a.Out16(port, static_cast<uint16_t>(e.value))
                  : a.Out8(port, static_cast<uint8_t>(e.value));
    } else if (e.kind == AccessKind::In) {
      e.value = e.size == 2 ? a.In16(port) : a.In8(port);
    }
    actual.push_back(e);
  }
  return actual;
}

using io::In8;
using io::Out16;
using io::Out8;

void Unlock(Adapter& a) {
  a.Out16(0x3C4, 0x8605);
}

uint8_t ReadSeq(Adapter& a, uint8_t index) {
  a.Out8(0x3C4, index);
  return a.In8(0x3C5);
}

// ------------------------------------------------------------------ SR05

TEST(AdapterZelLock, ExtendedRegistersReadZeroAndIgnoreWritesWhileLocked) {
  Adapter a(Chip());
  const std::vector<TraceEntry> script = {
      Out8(0x3C4, 0x05),    In8(0x3C5, 0x00),     Out8(0x3C4, 0x0F), In8(0x3C5, 0x00),
      Out16(0x3C4, 0x030F), Out16(0x3C4, 0x8605), In8(0x3C5, 0xA1),  Out8(0x3C4, 0x0F),
      In8(0x3C5, 0x02),     Out8(0x3C5, 0x03),    In8(0x3C5, 0x03),  Out8(0x3C4, 0x10),
      In8(0x3C5, 0x43)};
  EXPECT_EQ(CompareTraces(script, Play(a, script)), "");
  EXPECT_TRUE(a.ExtendedUnlocked());
}

TEST(AdapterZelLock, OnlyTheKeyOpensAndAnythingElseCloses) {
  struct Case {
    uint8_t written;
    bool unlocked;
    uint8_t sr05, sr0f;
  };
  for (const Case& c :
       {Case{0x86, true, 0xA1, 0x02}, Case{0x00, false, 0x00, 0x00}, Case{0x85, false, 0x00, 0x00},
        Case{0x87, false, 0x00, 0x00}, Case{0xA1, false, 0x00, 0x00}, Case{0x06, false, 0x00, 0x00},
        Case{0xFF, false, 0x00, 0x00}}) {
    Adapter a(Chip());
    Unlock(a);
    a.Out16(0x3C4, static_cast<uint16_t>(c.written << 8 | 0x05));
    EXPECT_EQ(a.ExtendedUnlocked(), c.unlocked) << std::hex << int(c.written);
    EXPECT_EQ(ReadSeq(a, 0x05), c.sr05) << std::hex << int(c.written);
    EXPECT_EQ(a.Seq(0x05), c.sr05) << std::hex << int(c.written);
    EXPECT_EQ(ReadSeq(a, 0x0F), c.sr0f) << std::hex << int(c.written);
    EXPECT_EQ(a.Seq(0x0F), 0x02) << "inspection ignores the lock";
  }
}

// Straps keep what the board set; pointer and clock registers keep only
// their fields; every other extended register takes the whole byte.
TEST(AdapterZelLock, WritesReachOnlyTheWritableBits) {
  struct Case {
    uint8_t index, written, reads;
  };
  for (const Case& c : {Case{0x0C, 0xFF, 0x00}, Case{0x0D, 0x01, 0x00}, Case{0x1B, 0xFF, 0x07},
                        Case{0x1C, 0xFF, 0x1F}, Case{0x1F, 0xE5, 0x05}, Case{0x23, 0x20, 0x00},
                        Case{0x29, 0xFF, 0x7F}, Case{0x2F, 0x00, 0x07}, Case{0x33, 0x09, 0x00},
                        Case{0x1E, 0xFF, 0xFF}}) {
    Adapter a(Chip());
    Unlock(a);
    a.Out16(0x3C4, static_cast<uint16_t>(c.written << 8 | c.index));
    EXPECT_EQ(ReadSeq(a, c.index), c.reads)
        << "SR" << std::hex << int(c.index) << " written 0x" << int(c.written);
  }
}

// ------------------------------------------------------------- aperture

void Aperture(Adapter& a, uint8_t sr06, uint8_t sr20, uint8_t sr21) {
  Unlock(a);
  a.Out16(0x3C4, static_cast<uint16_t>(sr20 << 8 | 0x20));
  a.Out16(0x3C4, static_cast<uint16_t>(sr21 << 8 | 0x21));
  a.Out16(0x3C4, static_cast<uint16_t>(sr06 << 8 | 0x06));
}

TEST(AdapterZelAperture, PlacedBySR20AndSR21WhileSR06Bit7IsSet) {
  struct Case {
    uint8_t sr06, sr20, sr21;
    std::optional<uint32_t> base;
  };
  const Case cases[] = {
      {0x80, 0x00, 0x9C, 0xE0000000}, {0x80, 0x00, 0x7C, 0xE0000000},
      {0xC0, 0xF8, 0x00, 0x07C00000}, {0x80, 0x00, 0x64, 0x20000000},
      {0x80, 0x01, 0x9C, 0xE0080000}, {0x7F, 0x00, 0x9C, std::nullopt},
  };
  for (const Case& c : cases) {
    Adapter a(Chip());
    Aperture(a, c.sr06, c.sr20, c.sr21);
    EXPECT_EQ(a.ApertureBase(), c.base) << std::hex << int(c.sr20) << " " << int(c.sr21);
  }
  Adapter locked(Chip());
  locked.Out16(0x3C4, 0x8006);
  EXPECT_EQ(locked.ApertureBase(), std::nullopt);
}

TEST(AdapterZelAperture, EightMegabytesLongAndFFBeyondTheInstalledMemory) {
  Adapter a(Chip());
  Aperture(a, 0x80, 0x00, 0x9C);
  EXPECT_TRUE(a.Decodes(0xE0000000));
  EXPECT_TRUE(a.Decodes(0xE07FFFFF));
  EXPECT_FALSE(a.Decodes(0xE0800000));
  EXPECT_FALSE(a.Decodes(0xDFFFFFFF));
  a.MemWrite8(0xE03FFFFF, 0x12);
  EXPECT_EQ(a.MemRead8(0xE03FFFFF), 0x12);
  a.MemWrite8(0xE0400000, 0x34);  // past 4 MB: dropped
  EXPECT_EQ(a.MemRead8(0xE0400000), 0xFF);
  EXPECT_EQ(a.MemRead8(0xE0800000), 0xFF);
  a.Out16(0x3C4, 0x0006);
  EXPECT_FALSE(a.Decodes(0xE0000000));
  EXPECT_EQ(a.MemRead8(0xE03FFFFF), 0xFF);
}

TEST(AdapterZelAperture, SharesMemoryWithThePlanarWindow) {
  Adapter a(Chip());
  Aperture(a, 0x80, 0x00, 0x9C);
  a.Out8(0x3C2, 0x63);     // the window open to the processor
  a.Out16(0x3C4, 0x0604);  // planar
  a.Out16(0x3CE, 0x0506);
  a.Out16(0x3CE, 0xFF08);
  a.MemWrite8(0xE0000000 + 4 * 0x1234 + 2, 0x41);
  EXPECT_EQ(a.PlaneByte(2, 0x1234), 0x41);
  a.Out16(0x3CE, 0x0204);
  EXPECT_EQ(a.MemRead8(0xA1234), 0x41);
  a.Out16(0x3C4, 0x0802);  // plane 3
  a.MemWrite8(0xA0010, 0x3C);
  EXPECT_EQ(a.MemRead8(0xE0000043), 0x3C);
  EXPECT_EQ(a.MemRead8(0xE0000040), 0x00);
}

// ---------------------------------------------------------- bank select

TEST(AdapterZelBank, PlanarBanksAreSixtyFourKilobytesOfEachPlane) {
  Adapter a(Chip());
  a.Out8(0x3C2, 0x63);
  a.Out16(0x3C4, 0x0604);
  a.Out16(0x3C4, 0x0102);
  a.Out16(0x3CE, 0x0506);
  a.Out16(0x3CE, 0xFF08);
  a.Out8(0x3CD, 0x32);  // read bank 3, write bank 2
  EXPECT_EQ(a.In8(0x3CD), 0x32);
  EXPECT_EQ(a.BankSelect(), 0x32);
  a.MemWrite8(0xA0010, 0x77);
  EXPECT_EQ(a.Vram()[0x80040], 0x77);
  a.Vram()[0xC0040] = 0x5A;
  EXPECT_EQ(a.MemRead8(0xA0010), 0x5A);
  a.Out8(0x3CD, 0x00);
  EXPECT_EQ(a.MemRead8(0xA0010), 0x00);
}

// ---------------------------------------- key ports, ROM, configuration

TEST(AdapterZelKeys, KeyPortsRecordTheLastWriteOfTheDecodedRange) {
  struct Case {
    uint8_t misc;
    uint16_t decoded, other;
  };
  for (const Case& c : {Case{0x01, 0x3D8, 0x3B8}, Case{0x00, 0x3B8, 0x3D8}}) {
    Adapter a(Chip());
    a.Out8(0x3C2, c.misc);
    a.Out8(0x3BF, 0x03);
    a.Out8(c.decoded, 0xA0);
    a.Out8(c.other, 0x00);
    EXPECT_EQ(a.KeyPort3BF(), 0x03);
    EXPECT_EQ(a.KeyPortMode(), 0xA0) << std::hex << c.decoded;
    EXPECT_EQ(a.In8(0x3BF), 0xFF) << "write-only";
  }
}

TEST(AdapterZelRom, RomBytesAtC0000AndNothingPastIt) {
  Adapter a(Chip());
  struct Case {
    uint32_t physical;
    bool decoded;
    uint8_t value;
  };
  for (const Case& c :
       {Case{0xC0000, true, 0x55}, Case{0xC0001, true, 0xAA}, Case{0xC0002, true, 0x40},
        Case{0xC0018, true, 0x1C}, Case{0xC7FFF, true, 0x9E}, Case{0xC8000, false, 0xFF}}) {
    EXPECT_EQ(a.Decodes(c.physical), c.decoded) << std::hex << c.physical;
    EXPECT_EQ(a.MemRead8(c.physical), c.value) << std::hex << c.physical;
  }
  a.MemWrite8(0xC0000, 0x00);
  EXPECT_EQ(a.MemRead8(0xC0000), 0x55);
  EXPECT_EQ(a.OptionRom()[0], 0x55);
  PowerOnState bare;
  bare.videoMemoryBytes = 0x100000;
  Adapter noRom(bare);
  EXPECT_FALSE(noRom.Decodes(0xC0000));
}

TEST(AdapterZelConfig, DwordsOfTheConfigurationSpace) {
  Adapter a(Chip());
  struct Case {
    uint8_t reg;
    uint32_t value;
  };
  for (const Case& c : {Case{0x00, 0x7A521F4B}, Case{0x02, 0x7A521F4B}, Case{0x08, 0x0300001A},
                        Case{0x10, 0xE0000008}, Case{0xFC, 0x44000011}, Case{0xFF, 0x44000011}}) {
    EXPECT_EQ(a.ConfigRead32(c.reg), c.value) << std::hex << int(c.reg);
  }
}

// --------------------------------------------------------------- defects

// The graphics half of the VGA presence probe up to the bit-mask save.
std::vector<TraceEntry> GraphicsProbe(uint8_t indexReadBack, uint8_t savedGr08) {
  return {In8(0x3CE, 0x00),          Out8(0x3CE, 0x04),
          In8(0x3CE, indexReadBack), In8(0x3CF, 0x00),
          Out8(0x3CF, 0x03),         In8(0x3CF, 0x03),
          Out8(0x3CE, 0x08),         In8(0x3CE, static_cast<uint8_t>(indexReadBack * 2)),
          In8(0x3CF, savedGr08)};
}

std::vector<TraceEntry> Shifts(uint8_t stuckLow) {
  std::vector<TraceEntry> s;
  for (uint8_t v = 0xBB; v; v >>= 1) {
    s.push_back(Out8(0x3CF, v));
    s.push_back(In8(0x3CF, static_cast<uint8_t>(v & ~stuckLow)));
  }
  return s;
}

Defects With(bool Defects::*flag) {
  Defects d;
  d.*flag = true;
  return d;
}

Defects StuckLow(uint8_t bits) {
  Defects d;
  d.bitMaskStuckLow = bits;
  return d;
}

std::vector<TraceEntry> Join(std::vector<std::vector<TraceEntry>> parts) {
  std::vector<TraceEntry> all;
  for (auto& p : parts)
    all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(AdapterZelDefects, PresenceProbeSeesEachDefect) {
  struct Case {
    const char* what;
    Defects defects;
    std::vector<TraceEntry> script;
    uint8_t gr04, gr08, sr04;
  };
  const std::vector<TraceEntry> sequencerOk = {
      In8(0x3C4, 0x00),     Out8(0x3C4, 0x04),    In8(0x3C4, 0x04),  In8(0x3C5, 0x00),
      Out16(0x3C4, 0x0100), Out8(0x3C4, 0x04),    Out8(0x3C5, 0x08), In8(0x3C5, 0x08),
      Out8(0x3C5, 0x00),    Out16(0x3C4, 0x0300), Out8(0x3C4, 0x00)};
  const std::vector<TraceEntry> graphicsOk =
      Join({GraphicsProbe(0x04, 0x00),
            Shifts(0x00),
            {Out8(0x3CE, 0x04), In8(0x3CF, 0x03), Out8(0x3CF, 0x00), Out8(0x3CE, 0x08),
             Out8(0x3CF, 0x00), Out8(0x3CE, 0x00)}});
  const Case cases[] = {
      {"working VGA", Defects{}, Join({graphicsOk, sequencerOk}), 0x00, 0x00, 0x00},
      {"graphics index masked",
       With(&Defects::graphicsIndexMasked),
       {In8(0x3CE, 0x00), Out8(0x3CE, 0x04), In8(0x3CE, 0x00)},
       0x00,
       0x00,
       0x00},
      {"bit mask bit 2 stuck low", StuckLow(0x04),
       Join({GraphicsProbe(0x04, 0x00),
             {Out8(0x3CF, 0xBB), In8(0x3CF, 0xBB), Out8(0x3CF, 0x5D), In8(0x3CF, 0x59),
              Out8(0x3CF, 0xFF), Out8(0x3CE, 0x04), Out8(0x3CF, 0x00)}}),
       0x00, 0xFB, 0x00},
      {"one data register", With(&Defects::graphicsDataNotIndexed),
       Join({GraphicsProbe(0x04, 0x03),
             Shifts(0x00),
             {Out8(0x3CE, 0x04), In8(0x3CF, 0x01), Out8(0x3CF, 0x00), Out8(0x3CE, 0x08),
              Out8(0x3CF, 0xFF)}}),
       0xFF, 0xFF, 0x00},
      {"sequencer index masked", With(&Defects::sequencerIndexMasked),
       Join({graphicsOk, {In8(0x3C4, 0x00), Out8(0x3C4, 0x04), In8(0x3C4, 0x00)}}), 0x00, 0x00,
       0x00},
      {"chain 4 stuck", With(&Defects::chain4Stuck),
       Join({graphicsOk,
             {In8(0x3C4, 0x00), Out8(0x3C4, 0x04), In8(0x3C4, 0x04), In8(0x3C5, 0x00),
              Out16(0x3C4, 0x0100), Out8(0x3C4, 0x04), Out8(0x3C5, 0x08), In8(0x3C5, 0x00),
              Out8(0x3C5, 0x02), Out16(0x3C4, 0x0300)}}),
       0x00, 0x00, 0x02},
  };
  for (const Case& c : cases) {
    PowerOnState p = Chip();
    p.defects = c.defects;
    Adapter a(p);
    EXPECT_EQ(CompareTraces(c.script, Play(a, c.script)), "") << c.what;
    EXPECT_EQ(a.Gc(0x04), c.gr04) << c.what;
    EXPECT_EQ(a.Gc(0x08), c.gr08) << c.what;
    EXPECT_EQ(a.Seq(0x04), c.sr04) << c.what;
  }
}

TEST(AdapterZelDefects, StuckBitMaskBitsKeepTheLatchInWrites) {
  PowerOnState p = Chip();
  p.defects.bitMaskStuckLow = 0x80;
  Adapter a(p);
  a.Out8(0x3C2, 0x63);
  a.Out16(0x3C4, 0x0604);
  a.Out16(0x3C4, 0x0F02);
  a.Out16(0x3CE, 0x0506);
  a.Out16(0x3CE, 0xFF08);
  EXPECT_EQ(a.Gc(0x08), 0x7F);
  for (int plane = 0; plane < 4; ++plane)
    a.Vram()[0x40 + plane] = 0xFF;
  a.MemRead8(0xA0010);
  a.MemWrite8(0xA0010, 0x00);
  EXPECT_EQ(a.PlaneByte(0, 0x10), 0x80);
  EXPECT_EQ(a.PlaneByte(3, 0x10), 0x80);
}

}  // namespace
}  // namespace sim
