// IOCTL_VIDEO_SAVE_HARDWARE_STATE and IOCTL_VIDEO_RESTORE_HARDWARE_STATE
// step by step: the save's header and its whole port sequence; the restore's
// refusals at every boundary, touching nothing; its memory and register
// sequence; the DAC position, flip-flop and trap set it puts back. The two
// together over whole sessions: state_round_trip_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/bus.h"
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

constexpr size_t kStateLength = ~size_t{0};  // the record's StateLength, not a buffer byte

// A hardware state buffer laid out as a save lays it out, with known bytes.
struct StateBuffer {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kStateSize + 16, 0);
  VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(bytes.data()),
                              kStateSize};

  VIDEO_HARDWARE_STATE_HEADER& H() { return *record.StateHeader; }
  // The driver's blocks after the 156-byte header, where the offsets below
  // put them.
  VgaStateBlocks& B() { return *reinterpret_cast<VgaStateBlocks*>(bytes.data() + 156); }
  void Set(size_t at, uint32_t value) {
    if (at == kStateLength) {
      record.StateLength = value;
    } else {
      std::memcpy(bytes.data() + at, &value, 4);
    }
  }

  StateBuffer(uint8_t dacState, uint8_t dacIndex, bool validators, uint32_t table, uint32_t rows) {
    // BasicSequencerOffset to VGAStateFlags. The misc data block ends exactly
    // at the end of the buffer: it passes.
    const uint32_t fields[] = {156,
                               161,
                               186,
                               195,
                               216,
                               984,
                               988,
                               990,
                               998,
                               998,
                               999,
                               validators ? 999u : 0u,
                               262144,
                               65536,
                               2215,
                               67751,
                               133287,
                               198823,
                               validators ? 7u : 5u};
    auto& h = H();
    std::memcpy(&h.BasicSequencerOffset, fields, sizeof fields);
    h.Length = 156;
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
    v.Count = 1;  // recording: a byte at the last port, 0x3DF
    v.Entries[0].Port = 0x2F;
    v.Entries[0].AccessType = 1;
    v.Entries[0].Data = 0x01;
    v.NumTrappedAccessRanges = rows;
    v.TrappedAccessRanges = table;
  }
};

// The save of a known colour setup in text mode, with bank 0x11 selected and
// misc output bit 1 clear: the header is the one the restore tests below are
// fed (but misc output as found and no misc data), the caller's bytes
// outside it are kept, and the whole port sequence is compared, each DAC
// entry and register read once. A 7-byte output is refused untouched.
TEST(Save, HeaderAndWholeSequence) {
  test::DriverSession s;
  sim::Adapter& a = s.adapter();
  a.StickStatusBits(0x09, 0x00);
  a.Out8(0x3C2, 0x65);
  a.Out8(0x3CD, 0x11);
  a.Out8(0x3C6, 0xFF);
  a.Out8(0x3C8, 0x00);
  for (unsigned i = 0; i < 768; ++i)
    a.Out8(0x3C9, static_cast<uint8_t>((i / 3 + i % 3) & 0x3F));
  a.Out8(0x3C8, 0x41);  // two components of entry 0x41 written
  a.Out8(0x3C9, 0x11);
  a.Out8(0x3C9, 0x12);
  a.In8(0x3DA);
  a.Out8(0x3C0, 0x32);
  a.Out8(0x3C0, 0x0F);  // AR12, and the flip-flop left in the data state
  a.In8(0x3DA);
  a.Out8(0x3C0, 0x32);
  a.Out8(0x3C4, 0x02);
  a.Out8(0x3CE, 0x05);
  a.Out8(0x3D4, 0x0E);
  const sim::VgaState v = a.WholeState();

  std::vector<uint8_t> out(kStateSize, 0xEE);
  VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(out.data()), 0xDEAD};
  size_t mark = s.Mark();
  auto result = s.machine().Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 7);
  EXPECT_EQ(result.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(result.information + record.StateLength, 0xDEADu);
  EXPECT_TRUE(s.Since(mark).empty());
  EXPECT_EQ(out[0], 0xEE);

  mark = s.Mark();
  result = s.machine().Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 8);
  ASSERT_EQ(result.status, NO_ERROR);
  EXPECT_EQ(result.information, 8u);
  EXPECT_EQ(record.StateLength, kStateSize);
  StateBuffer expected(0x20, 0x41, false, 0, 0);
  expected.H().PortValue[0x3C2 - 0x3B0] = 0x65;
  expected.H().ExtendedMiscDataOffset = 0;
  EXPECT_RECORD(*record.StateHeader, expected.H());
  for (size_t at : {988u, 990u, 997u, 999u, 1600u, 2214u})
    EXPECT_EQ(out[at], 0xEE) << "reserved byte " << at;

  const auto held = io::Out16(0x3C4, 0x0100);
  const auto run = io::Out16(0x3C4, 0x0300);
  std::vector<TraceEntry> trace = test::Bus(
      {io::In8(0x3CC, 0x65), io::Out8(0x3C3, 0x01), io::In8(0x3C6, 0xFF), io::In8(0x3C8, 0x41),
       io::In8(0x3C7, 0x00), io::Out8(0x3C9, 0x00), io::In8(0x3C8, 0x42),  // two had been written
       io::Out8(0x3C7, 0x00), io::In8(0x3C9, 0x00), io::In8(0x3C9, 0x01), io::In8(0x3C9, 0x02),
       io::Out8(0x3C8, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00),
       io::Out8(0x3C6, 0x00),
       // The flip-flop probed as the session left it: AR12 gets its value back.
       io::In8(0x3C0, 0x32), io::In8(0x3C1, 0x0F), io::In8(0x3C4, 0x02), held,
       io::Out8(0x3C0, 0x22), io::In8(0x3C0, 0x32), io::Out8(0x3C0, 0x32), io::Out8(0x3C0, 0x0F),
       io::In8(0x3CC, 0x65), io::In8(0x3DA, 0x00), run});
  auto add = [&trace](std::vector<TraceEntry> more) {
    trace.insert(trace.end(), more.begin(), more.end());
  };
  for (int e = 1; e < 256; ++e) {
    add({io::Out8(0x3C7, static_cast<uint8_t>(e))});
    for (int c = 0; c < 3; ++c)
      add({io::In8(0x3C9,
                   static_cast<uint8_t>(e == 0x41 ? (c < 2 ? 0x11 + c : 0) : (e + c) & 0x3F))});
  }
  add({io::In8(0x3CA, 0x00), io::In8(0x3D4, 0x0E), io::In8(0x3CE, 0x05)});
  for (uint8_t n = 0; n < 5; ++n)
    add(test::SeqRead(n, v.seq[n]));
  add(test::IndexModify(0x3D4, 0x03, v.crtc[3], v.crtc[3] | 0x80));  // CR10/CR11 readable
  for (uint8_t n = 0; n < 25; ++n)
    add({io::Out8(0x3D4, n), io::In8(0x3D5, n == 3 ? v.crtc[3] | 0x80 : v.crtc[n])});
  for (uint8_t n = 0; n < 9; ++n)
    add({io::Out8(0x3CE, n), io::In8(0x3CF, v.gc[n])});
  for (uint8_t n = 0; n < 21; ++n)
    add({io::In8(0x3DA, 0x00), io::Out8(0x3C0, n), io::In8(0x3C1, v.attr[n])});
  // Bank 0 of an open 0xA0000 window, the latches stored at 0xFFFF.
  add(test::Bus({held, io::Out8(0x3C2, 0x67), io::Out8(0x3CD, 0x00), test::GcModify(6, 0x0E, 0x04),
                 test::SeqModify(4, 0x02, 0x06), run, test::SeqWrite16(2, 0x0F),
                 test::GcModify(5, 0x10, 0x01), io::MemWrite8(0xA0000, 0xFFFF, 0x00),
                 io::Out8(0x3CE, 0x04)}));
  for (uint8_t p = 0; p < 4; ++p)
    add({io::Out8(0x3CF, p), io::MemRead8(0xA0000, 0xFFFF, v.latches[p])});
  add({io::Out8(0x3CE, 0x04)});
  std::array<std::vector<uint8_t>, 4> planes = v.planes;
  for (uint8_t p = 0; p < 4; ++p) {
    planes[p][0xFFFF] = v.latches[p];
    add({io::Out8(0x3CF, p), io::MoveToBuffer(0xA0000, 0, planes[p])});
  }
  EXPECT_TRACE(s.Since(mark), trace);
}

// A loaded driver with text mode 3's GR06, SR04, GR05 and GR04, and a
// restore of `b` from it.
struct Restore {
  Restore() {
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

// Each block one byte past the end of a 264359-byte buffer, wrapping sums
// and products, and validator blocks the driver would never have saved: all
// refused before any access, the device extension unchanged.
TEST(RestoreRefusal, BeforeAnythingIsTouched) {
  struct Refusal {
    const char* name;
    std::vector<std::pair<size_t, uint32_t>> patches;  // buffer offset (block at 999), value
    VP_STATUS status;
  };
  constexpr VP_STATUS kBad = ERROR_INVALID_PARAMETER;
  const Refusal refusals[] = {
      {"input of seven bytes", {}, ERROR_INSUFFICIENT_BUFFER},
      {"state one byte short", {{kStateLength, 264358}}, ERROR_INSUFFICIENT_BUFFER},
      {"sequencer", {{56, 264355}}, kBad},
      {"DAC", {{72, 263592}}, kBad},
      {"extended sequencer", {{80, 264358}}, kBad},
      {"extended DAC", {{96, 264360}}, kBad},
      {"misc data", {{104, 262145}}, kBad},
      {"plane 1", {{112, 198824}}, kBad},
      {"plane 3 wraps at 32 bits", {{120, 0xFFFF0001}}, kBad},
      {"plane length above 64K", {{kStateLength, 264360}, {108, 65537}}, kBad},
      {"validator block", {{100, 263144}}, kBad},
      {"validator offset 0", {{100, 0}}, kBad},
      {"DIB one byte past", {{136, 32}, {140, 1}, {144, 66090}}, kBad},
      {"DIB product wraps at 32 bits", {{136, 32}, {140, 0x10000}, {144, 0x4000}}, kBad},
      {"99 entries", {{999, 99}}, kBad},
      {"byte past the ports", {{1003, 0x30}}, kBad},
      {"word across the end", {{1007, 2}}, kBad},
      {"full table with four rows", {{2207, 4}}, kBad},
      {"foreign table", {{2211, 0x12345678}}, kBad},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    Restore t;
    StateBuffer b(0x00, 0x00, true, Address(FullVgaValidatorAccessRange), 2);
    for (auto [at, value] : r.patches)
      b.Set(at, value);
    const std::vector<uint8_t> before = t.s.ExtensionBytes();
    EXPECT_EQ(t.Run(b, &r == refusals ? 7 : 8), r.status);
    EXPECT_TRACE(t.s.Since(t.mark), {});
    EXPECT_TRUE(test::BytesAre(t.s.ExtensionBytes(), before)) << "device extension";
  }
}

uint8_t PlaneByte(int plane, uint32_t offset) {
  return static_cast<uint8_t>(0xA1 + plane + offset * 7 + (offset >> 8));
}

// The desktop left bank 0x11 selected and misc output bit 1 clear: the
// planes still go back through bank 0 of an open window, every byte where
// it was, and misc output gets its saved value, clock select cleared, later.
TEST(Restore, LoadsLatchesThenPlanesInWriteModeZero) {
  Restore t;
  StateBuffer b(0x00, 0x00, false, 0, 0);
  for (int p = 0; p < 4; ++p) {
    for (uint32_t o = 0; o < 0x10000; ++o)
      b.B().Planes[p][o] = PlaneByte(p, o);
  }
  t.a().Out8(0x3CD, 0x11);
  t.a().Out8(0x3C2, 0x65);
  ASSERT_EQ(t.Run(b), NO_ERROR);
  const std::vector<TraceEntry> got = t.s.Since(t.mark);
  auto plane = [&b](int p) { return std::span<const uint8_t>(b.B().Planes[p], 65536); };
  EXPECT_TRACE(std::vector<TraceEntry>(got.begin(), got.begin() + std::min<size_t>(got.size(), 40)),
               {io::Out8(0x3C8, 0x00),           io::Out8(0x3C9, 0x00),
                io::Out8(0x3C9, 0x00),           io::Out8(0x3C9, 0x00),
                io::Out8(0x3C6, 0x00),  // the screen blanked
                io::Out16(0x3C4, 0x0100),        io::In8(0x3CC, 0x65),
                io::Out8(0x3C2, 0x67),           io::Out8(0x3CD, 0x00),  // bank 0 of an open window
                test::GcModify(6, 0x0E, 0x04),   test::SeqModify(4, 0x02, 0x06),
                io::Out16(0x3C4, 0x0300),        test::GcModify(5, 0x10, 0x00),
                test::GcWrite16(8, 0xFF),        test::GcWrite16(3, 0x00),
                test::GcWrite16(1, 0x00),  // write mode 0, every bit from the CPU
                io::Out8(0x3C4, 0x02),           io::Out8(0x3C5, 0x01),
                io::MemWrite8(0xA0000, 0, 0x11), io::Out8(0x3C5, 0x02),
                io::MemWrite8(0xA0000, 0, 0x22), io::Out8(0x3C5, 0x04),
                io::MemWrite8(0xA0000, 0, 0x33), io::Out8(0x3C5, 0x08),
                io::MemWrite8(0xA0000, 0, 0x44), io::MemRead8(0xA0000, 0, 0x11),  // the latches
                io::Out8(0x3C5, 0x01),           io::MoveFromBuffer(0xA0000, 0, plane(0)),
                io::Out8(0x3C5, 0x02),           io::MoveFromBuffer(0xA0000, 0, plane(1)),
                io::Out8(0x3C5, 0x04),           io::MoveFromBuffer(0xA0000, 0, plane(2)),
                io::Out8(0x3C5, 0x08),           io::MoveFromBuffer(0xA0000, 0, plane(3))});
  EXPECT_EQ(std::count(got.begin(), got.end(), io::Traps(4)), 0);
  EXPECT_EQ(t.a().Seq(0), 0x03) << "saved SR00 0x01 not used";
  EXPECT_EQ(t.a().Misc(), 0x67) << "saved 0x6F, clock select cleared";
}

// The tail of the restore from feature control on: indices, the flip-flop
// (left in the data state), the DAC index and position; then the validator
// block and the trap set it names, or none.
TEST(Restore, IndicesFlipFlopAndDacPositionComeBackLast) {
  struct Tail {
    const char* name;
    uint8_t dacState, dacIndex;
    bool validators, fullTable;
    std::vector<TraceEntry> position;  // the DAC position, last on the trace
  };
  const Tail tails[] = {
      {"read mode, two read at entry 0, full table",
       0x23,
       0x00,
       true,
       true,
       {io::Out8(0x3C7, 0xFF), io::In8(0x3C9, 0x3F), io::In8(0x3C9, 0x00)}},
      {"write mode, one written at 0x41, minimal table",
       0x10,
       0x41,
       true,
       false,
       {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01)}},
      {"write mode, a count above two moves two",
       0x30,
       0x41,
       false,
       false,
       {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02)}},
  };
  for (const Tail& c : tails) {
    SCOPED_TRACE(c.name);
    Restore t;
    test::DriverSession& s = t.s;
    const uint32_t table =
        Address(c.fullTable ? FullVgaValidatorAccessRange : MinimalVgaValidatorAccessRange);
    StateBuffer b(c.dacState, c.dacIndex, c.validators, table, c.fullTable ? 2 : 4);
    const std::vector<uint8_t> extBefore = s.ExtensionBytes();
    ASSERT_EQ(t.Run(b), NO_ERROR);
    std::vector<TraceEntry> expected = {
        io::Out8(0x3DA, 0x00), io::Out8(0x3C4, 0x02), io::Out8(0x3D4, 0x0E), io::Out8(0x3CE, 0x05),
        io::In8(0x3DA, 0x00),  io::Out8(0x3C0, 0x32), io::Out8(0x3C6, 0xFF), io::Out8(0x3C8, 0x00),
        io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02)};
    expected.insert(expected.end(), c.position.begin(), c.position.end());
    const std::vector<TraceEntry> got = s.Since(t.mark);
    ASSERT_GE(got.size(), expected.size());
    EXPECT_TRACE(std::vector<TraceEntry>(got.end() - expected.size(), got.end()), expected);
    const auto traps = std::count_if(got.begin(), got.end(), [](const TraceEntry& e) {
      return e == io::Traps(2) || e == io::Traps(4);
    });
    if (c.validators) {
      EXPECT_EQ(traps, 1);
      EXPECT_EQ(s.machine().Trapped(0x3CE), c.fullTable);
      const auto* ext = reinterpret_cast<const uint8_t*>(&s.ext().TrappedValidatorCount);
      EXPECT_TRUE(test::BytesAre(
          {ext, sizeof(SavedValidatorState)},
          {reinterpret_cast<const uint8_t*>(&b.B().Validators), sizeof(SavedValidatorState)}));
    } else {
      EXPECT_EQ(traps, 0);
      EXPECT_TRUE(test::BytesAre(s.ExtensionBytes(), extBefore));
    }
    t.a().Out8(0x3C0, 0x2B);  // the flip-flop in the data state: AR12's data
    EXPECT_EQ(t.a().Attr(0x12), 0x2B);
  }
}

}  // namespace
