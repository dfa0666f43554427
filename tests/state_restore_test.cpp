// IOCTL_VIDEO_RESTORE_HARDWARE_STATE: every check at its boundary, refused
// with nothing touched; the memory and register sequence on the trace; the
// DAC position, the flip-flop and the trap set put back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

namespace {

namespace io = sim::io;
using sim::TraceEntry;

constexpr uint32_t kStateSize = 264359;

uint32_t Address(const void* table) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table));
}

// A hardware state buffer laid out as a save lays it out, with known bytes.
struct StateBuffer {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kStateSize + 16, 0);
  VIDEO_HARDWARE_STATE record{};

  VIDEO_HARDWARE_STATE_HEADER& H() {
    return *reinterpret_cast<VIDEO_HARDWARE_STATE_HEADER*>(bytes.data());
  }
  // The driver's blocks after the 156-byte header, where the offsets below
  // put them.
  VgaStateBlocks& B() { return *reinterpret_cast<VgaStateBlocks*>(bytes.data() + 156); }

  StateBuffer(uint8_t dacState, uint8_t dacIndex, bool validators, uint32_t table, uint32_t rows) {
    record = {&H(), kStateSize};
    auto& h = H();
    h.Length = 156;
    h.BasicSequencerOffset = 156;
    h.BasicCrtContOffset = 161;
    h.BasicGraphContOffset = 186;
    h.BasicAttribContOffset = 195;
    h.BasicDacOffset = 216;
    h.BasicLatchesOffset = 984;
    h.ExtendedSequencerOffset = 988;
    h.ExtendedCrtContOffset = 990;
    h.ExtendedGraphContOffset = 998;
    h.ExtendedAttribContOffset = 998;
    h.ExtendedDacOffset = 999;
    h.ExtendedValidatorStateOffset = validators ? 999 : 0;
    h.ExtendedMiscDataOffset = 262144;  // ends exactly at the end: passes
    h.PlaneLength = 65536;
    h.Plane1Offset = 2215;
    h.Plane2Offset = 67751;
    h.Plane3Offset = 133287;
    h.Plane4Offset = 198823;
    h.VGAStateFlags = validators ? 7 : 5;
    h.AttribIndexDataState = 1;
    const std::pair<uint16_t, uint8_t> slots[] = {
        {0x3C0, 0x32},     {0x3C2, 0x6F}, {0x3C4, 0x02}, {0x3C6, 0xFF}, {0x3C7, dacState},
        {0x3C8, dacIndex}, {0x3CE, 0x05}, {0x3D4, 0x0E}, {0x3DA, 0x00}};
    for (auto [port, value] : slots)
      h.PortValue[port - 0x3B0] = value;
    const uint8_t seq[5] = {0x01, 0x01, 0x0F, 0x00, 0x06};
    std::copy(seq, seq + 5, B().Sequencer);
    for (int n = 0; n < 25; ++n)
      B().Crtc[n] = static_cast<uint8_t>(0x40 + n);
    B().Crtc[0x11] = 0x8E;
    for (int n = 0; n < 9; ++n)
      B().Graphics[n] = static_cast<uint8_t>(n);
    B().Graphics[6] = 0x05;
    for (int n = 0; n < 21; ++n)
      B().Attribute[n] = static_cast<uint8_t>(0x20 - n);
    for (int i = 0; i < 256; ++i) {
      for (int c = 0; c < 3; ++c)
        B().Dac[i][c] = static_cast<uint8_t>((i + c) & 0x3F);
    }
    const uint8_t latches[4] = {0x11, 0x22, 0x33, 0x44};
    std::copy(latches, latches + 4, B().Latches);
    for (int p = 0; p < 4; ++p)
      B().Planes[p][0] = static_cast<uint8_t>(0xA1 + p);
    SavedValidatorState& v = B().Validators;
    v.Count = 1;  // recording: (0x15, byte, 0x01)
    v.Entries[0].Port = 0x15;
    v.Entries[0].AccessType = 1;
    v.Entries[0].Data = 0x01;
    v.NumTrappedAccessRanges = rows;
    v.TrappedAccessRanges = table;
  }
};

class Restore : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(s.LoadStatus(), 0u);
    a().StickStatusBits(0x09, 0x00);
    a().Out16(0x3CE, 0x0E06);
    a().Out16(0x3C4, 0x0204);
    a().Out16(0x3CE, 0x1005);
    a().Out16(0x3CE, 0x0004);
  }
  sim::Adapter& a() { return s.adapter(); }
  VP_STATUS Run(StateBuffer& b, ULONG length = 8) {
    mark = s.Mark();
    return s.machine()
        .Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &b.record, length, nullptr, 0)
        .status;
  }
  test::DriverSession s;
  size_t mark = 0;
};

struct Refusal {
  const char* name;
  void (*change)(StateBuffer&);
  VP_STATUS status;
};

void PrintTo(const Refusal& r, std::ostream* os) {
  *os << r.name;
}

class Refused : public Restore, public testing::WithParamInterface<Refusal> {};

TEST_P(Refused, BeforeAnythingIsTouched) {
  StateBuffer b(0x00, 0x00, true, Address(FullVgaValidatorAccessRange), 2);
  GetParam().change(b);
  const std::vector<uint8_t> before = s.ExtensionBytes();
  const ULONG length = std::string(GetParam().name) == "InputOfSevenBytes" ? 7 : 8;
  EXPECT_EQ(Run(b, length), GetParam().status);
  const std::vector<TraceEntry> trace = s.Since(mark);
  EXPECT_TRUE(trace.empty()) << "first access: " << sim::Format(trace.front());
  EXPECT_TRUE(s.ExtensionBytes() == before) << "device extension changed";
}

// Each block one byte past the end of a 264359-byte buffer, wrapping sums
// and products, and validator blocks the driver would never have saved.
INSTANTIATE_TEST_SUITE_P(
    Checks, Refused,
    testing::Values(
        Refusal{"InputOfSevenBytes", [](StateBuffer&) {}, ERROR_INSUFFICIENT_BUFFER},
        Refusal{"StateOneByteShort", [](StateBuffer& b) { b.record.StateLength = 264358; },
                ERROR_INSUFFICIENT_BUFFER},
        Refusal{"Sequencer", [](StateBuffer& b) { b.H().BasicSequencerOffset = 264355; },
                ERROR_INVALID_PARAMETER},
        Refusal{"Dac", [](StateBuffer& b) { b.H().BasicDacOffset = 263592; },
                ERROR_INVALID_PARAMETER},
        Refusal{"ExtSequencer", [](StateBuffer& b) { b.H().ExtendedSequencerOffset = 264358; },
                ERROR_INVALID_PARAMETER},
        Refusal{"ExtDac", [](StateBuffer& b) { b.H().ExtendedDacOffset = 264360; },
                ERROR_INVALID_PARAMETER},
        Refusal{"MiscData", [](StateBuffer& b) { b.H().ExtendedMiscDataOffset = 262145; },
                ERROR_INVALID_PARAMETER},
        Refusal{"Plane1", [](StateBuffer& b) { b.H().Plane1Offset = 198824; },
                ERROR_INVALID_PARAMETER},
        Refusal{"PlaneWrapsAt32Bits", [](StateBuffer& b) { b.H().Plane3Offset = 0xFFFF0001; },
                ERROR_INVALID_PARAMETER},
        Refusal{"PlaneLengthAbove64K",
                [](StateBuffer& b) {
                  b.record.StateLength = 264360;
                  b.H().PlaneLength = 65537;
                },
                ERROR_INVALID_PARAMETER},
        Refusal{"ValidatorBlock",
                [](StateBuffer& b) { b.H().ExtendedValidatorStateOffset = 263144; },
                ERROR_INVALID_PARAMETER},
        Refusal{"ValidatorOffsetZero",
                [](StateBuffer& b) { b.H().ExtendedValidatorStateOffset = 0; },
                ERROR_INVALID_PARAMETER},
        Refusal{"DibOneBytePast",
                [](StateBuffer& b) {
                  b.H().DIBBitsPerPixel = 32;
                  b.H().DIBXResolution = 1;
                  b.H().DIBYResolution = 66090;
                },
                ERROR_INVALID_PARAMETER},
        Refusal{"DibProductWrapsAt32Bits",
                [](StateBuffer& b) {
                  b.H().DIBBitsPerPixel = 32;
                  b.H().DIBXResolution = 0x10000;
                  b.H().DIBYResolution = 0x4000;
                },
                ERROR_INVALID_PARAMETER},
        Refusal{"Count99", [](StateBuffer& b) { b.B().Validators.Count = 99; },
                ERROR_INVALID_PARAMETER},
        Refusal{"BytePastThePorts", [](StateBuffer& b) { b.B().Validators.Entries[0].Port = 0x30; },
                ERROR_INVALID_PARAMETER},
        Refusal{"WordAcrossTheEnd",
                [](StateBuffer& b) {
                  b.B().Validators.Entries[0].Port = 0x2F;
                  b.B().Validators.Entries[0].AccessType = 2;
                },
                ERROR_INVALID_PARAMETER},
        Refusal{"FullTableWithFourRows",
                [](StateBuffer& b) { b.B().Validators.NumTrappedAccessRanges = 4; },
                ERROR_INVALID_PARAMETER},
        Refusal{"ForeignTable",
                [](StateBuffer& b) { b.B().Validators.TrappedAccessRanges = 0x12345678; },
                ERROR_INVALID_PARAMETER}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

std::string CompareAt(const std::vector<TraceEntry>& expected, const std::vector<TraceEntry>& got,
                      size_t from, const char* where) {
  if (got.size() < from + expected.size()) return std::string(where) + ": trace too short";
  const std::vector<TraceEntry> part(got.begin() + static_cast<long>(from),
                                     got.begin() + static_cast<long>(from + expected.size()));
  const std::string diff = sim::CompareTraces(expected, part);
  return diff.empty() ? diff : std::string(where) + ": " + diff;
}

uint8_t PlaneByte(int plane, uint32_t offset) {
  return static_cast<uint8_t>(0xA1 + plane + offset * 7 + (offset >> 8));
}

// The desktop left bank 0x11 selected and misc output bit 1 clear: the
// planes still go back through bank 0 of an open window, every byte where
// it was, and misc output gets its saved value later.
TEST_F(Restore, LoadsLatchesThenPlanesInWriteModeZero) {
  StateBuffer b(0x00, 0x00, false, 0, 0);
  for (int p = 0; p < 4; ++p) {
    for (uint32_t o = 0; o < 0x10000; ++o)
      b.B().Planes[p][o] = PlaneByte(p, o);
  }
  a().Out8(0x3CD, 0x11);
  a().Out8(0x3C2, 0x65);
  ASSERT_EQ(Run(b), NO_ERROR);
  const std::vector<TraceEntry> got = s.Since(mark);
  auto plane = [&b](int p) { return std::span<const uint8_t>(b.B().Planes[p], 65536); };
  const std::vector<TraceEntry> start = {
      io::Out8(0x3C8, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C6, 0x00),
      io::Out16(0x3C4, 0x0100),
      io::In8(0x3CC, 0x65),
      io::Out8(0x3C2, 0x67),
      io::Out8(0x3CD, 0x00),
      io::Out8(0x3CE, 0x06),
      io::In8(0x3CF, 0x0E),
      io::Out8(0x3CF, 0x04),
      io::Out8(0x3C4, 0x04),
      io::In8(0x3C5, 0x02),
      io::Out8(0x3C5, 0x06),
      io::Out16(0x3C4, 0x0300),
      io::Out8(0x3CE, 0x05),
      io::In8(0x3CF, 0x10),
      io::Out8(0x3CF, 0x00),
      io::Out16(0x3CE, 0xFF08),
      io::Out16(0x3CE, 0x0003),
      io::Out16(0x3CE, 0x0001),
      io::Out8(0x3C4, 0x02),
      io::Out8(0x3C5, 0x01),
      io::MemWrite8(0xA0000, 0, 0x11),
      io::Out8(0x3C5, 0x02),
      io::MemWrite8(0xA0000, 0, 0x22),
      io::Out8(0x3C5, 0x04),
      io::MemWrite8(0xA0000, 0, 0x33),
      io::Out8(0x3C5, 0x08),
      io::MemWrite8(0xA0000, 0, 0x44),
      io::MemRead8(0xA0000, 0, 0x11),
      io::Out8(0x3C5, 0x01),
      io::MoveFromBuffer(0xA0000, 0, plane(0)),
  };
  EXPECT_EQ(CompareAt(start, got, 0, "steps up to the first plane"), "");
  EXPECT_EQ(CompareAt({io::Out8(0x3C5, 0x02), io::MoveFromBuffer(0xA0000, 0, plane(1))}, got,
                      start.size(), "second plane"),
            "");
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(a().Latch(p), 0x11 * (p + 1)) << "latch " << p;
    for (uint32_t o = 0; o < 0x10000; ++o)
      ASSERT_EQ(a().PlaneByte(p, o), PlaneByte(p, o)) << "plane " << p << " offset " << o;
    EXPECT_EQ(a().PlaneByte(p, 0x10000), 0x00) << "bank 1 of plane " << p;
  }
  EXPECT_EQ(std::count_if(got.begin(), got.end(),
                          [](const TraceEntry& e) { return e.kind == sim::AccessKind::Traps; }),
            0);
  EXPECT_EQ(a().Seq(0), 0x03) << "saved SR00 0x01 not used";
  EXPECT_EQ(a().Misc(), 0x67) << "saved 0x6F, clock select cleared";
  EXPECT_NE(std::find(got.begin(), got.end(), io::Out8(0x3C2, 0x67)), got.end());
}

struct TailCase {
  const char* name;
  uint8_t dacState, dacIndex;
  bool validators;
  bool fullTable;
  std::vector<TraceEntry> position;  // step 29 on the trace
  uint32_t traps;                    // rows of the trap set installed, 0: none
};

void PrintTo(const TailCase& c, std::ostream* os) {
  *os << c.name;
}

class Tail : public Restore, public testing::WithParamInterface<TailCase> {};

TEST_P(Tail, IndicesFlipFlopAndDacPositionComeBackLast) {
  const TailCase& c = GetParam();
  const uint32_t table =
      Address(c.fullTable ? FullVgaValidatorAccessRange : MinimalVgaValidatorAccessRange);
  StateBuffer b(c.dacState, c.dacIndex, c.validators, table, c.fullTable ? 2 : 4);
  const std::vector<uint8_t> extBefore = s.ExtensionBytes();
  ASSERT_EQ(Run(b), NO_ERROR);
  std::vector<TraceEntry> expected = {
      io::Out8(0x3DA, 0x00), io::Out8(0x3C4, 0x02), io::Out8(0x3D4, 0x0E), io::Out8(0x3CE, 0x05),
      io::In8(0x3DA, 0x00),  io::Out8(0x3C0, 0x32), io::Out8(0x3C6, 0xFF), io::Out8(0x3C8, 0x00),
      io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02),
  };
  expected.insert(expected.end(), c.position.begin(), c.position.end());
  const std::vector<TraceEntry> got = s.Since(mark);
  ASSERT_GE(got.size(), expected.size());
  EXPECT_EQ(CompareAt(expected, got, got.size() - expected.size(), "from feature control on"), "");

  std::vector<TraceEntry> traps;
  std::copy_if(got.begin(), got.end(), std::back_inserter(traps),
               [](const TraceEntry& e) { return e.kind == sim::AccessKind::Traps; });
  if (c.traps == 0) {
    EXPECT_TRUE(traps.empty());
    EXPECT_TRUE(s.ExtensionBytes() == extBefore);
  } else {
    EXPECT_EQ(sim::CompareTraces({io::Traps(c.traps)}, traps), "");
    EXPECT_EQ(s.ext().TrappedValidatorCount, 1u);
    EXPECT_EQ(s.ext().TrappedValidatorData[0].Port, 0x15u);
    EXPECT_EQ(s.ext().NumTrappedAccessRanges, c.fullTable ? 2u : 4u);
  }

  // The flip-flop was left in the data state: the next write is AR12's data.
  a().Out8(0x3C0, 0x2B);
  EXPECT_EQ(a().Attr(0x12), 0x2B);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, Tail,
    testing::Values(TailCase{"ReadModeTwoReadAtEntry0FullTable",
                             0x23,
                             0x00,
                             true,
                             true,
                             {io::Out8(0x3C7, 0xFF), io::In8(0x3C9, 0x3F), io::In8(0x3C9, 0x00)},
                             2},
                    TailCase{"WriteModeOneWrittenAt41MinimalTable",
                             0x10,
                             0x41,
                             true,
                             false,
                             {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01)},
                             4},
                    TailCase{"WriteModeCountAboveTwoMovesTwo",
                             0x30,
                             0x41,
                             false,
                             false,
                             {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02)},
                             0}),
    [](const testing::TestParamInfo<TailCase>& info) { return std::string(info.param.name); });

}  // namespace
