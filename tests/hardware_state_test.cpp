// IOCTL_VIDEO_SAVE_HARDWARE_STATE and IOCTL_VIDEO_RESTORE_HARDWARE_STATE
// step by step: the save's header and its whole port sequence; the restore's
// refusals at every boundary, touching nothing; its memory and register
// sequence; the DAC position, flip-flop and trap set it puts back. The two
// together over whole sessions, compared whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
// The device extension's validator state, laid out as the saved block.
SavedValidatorState& Validators(test::DriverSession& s) {
  return *reinterpret_cast<SavedValidatorState*>(&s.ext().TrappedValidatorCount);
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
    std::memcpy(at == kStateLength ? static_cast<void*>(&record.StateLength) : &bytes[at], &value,
                4);
  }

  StateBuffer(uint8_t dacState, uint8_t dacIndex, bool validators, uint32_t table, uint32_t rows) {
    // BasicSequencerOffset to VGAStateFlags. The misc data block ends exactly
    // at the end of the buffer: it passes.
    const uint32_t fields[] = {156, 161, 186,    195,   216,  984,   988,    990,    998, 998,
                               999, 0,   262144, 65536, 2215, 67751, 133287, 198823, 5};
    auto& h = H();
    std::memcpy(&h.BasicSequencerOffset, fields, sizeof fields);
    h.ExtendedValidatorStateOffset = validators ? 999 : 0;
    h.VGAStateFlags = validators ? 7 : 5;
    h.Length = 156;
    h.AttribIndexDataState = 1;
    const std::pair<uint16_t, uint8_t> slots[] = {
        {0x3C0, 0x33},     {0x3C2, 0x6F}, {0x3C4, 0x02}, {0x3C6, 0xFE}, {0x3C7, dacState},
        {0x3C8, dacIndex}, {0x3CE, 0x04}, {0x3D4, 0x0E}, {0x3DA, 0x01}};
    for (auto [port, value] : slots)
      h.PortValue[port - 0x3B0] = value;
    B().Sequencer[0] = 0x01;  // SR00 as saved mid-save: never written back
    for (int k = 0; k < 768; ++k)
      B().Dac[k / 3][k % 3] = static_cast<uint8_t>((k / 3 + k % 3) & 0x3F);
    std::memcpy(B().Latches, "\x11\x22\x33\x44", 4);
    SavedValidatorState& v = B().Validators;
    // Recording: a byte at the last port, 0x3DF, then two entries of types
    // that playback skips.
    v.Count = 3;
    v.Entries[0] = {0x2F, 1, {}, 0x01};
    v.Entries[1] = {0x1E, 0, {}, 0x05};
    v.Entries[2] = {0x1E, 4, {}, 0x06};
    v.NumTrappedAccessRanges = rows;
    v.TrappedAccessRanges = table;
  }
};

uint8_t PlaneByte(int plane, uint32_t offset) {
  return static_cast<uint8_t>(offset * 7 + plane * 61 + (offset >> 8));
}

// A loaded driver with text mode 3's GR06, SR04, GR05 and GR04, and a
// restore of `b` from it.
struct Restore {
  Restore() {
    a().StickStatusBits(0x09, 0x00);
    const std::pair<uint16_t, uint16_t> textMode3[] = {
        {0x3CE, 0x0E06}, {0x3C4, 0x0204}, {0x3CE, 0x1005}, {0x3CE, 0x0004}};
    for (auto [port, word] : textMode3)
      a().Out16(port, word);
  }
  sim::Adapter& a() { return s.adapter(); }
  VP_STATUS Run(StateBuffer& b) {
    mark = s.Mark();
    return s.machine().Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &b.record, 8, nullptr, 0).status;
  }
  test::DriverSession s;
  size_t mark = 0;
};

// Each block one byte past the end of a 264359-byte buffer, wrapping sums
// and products, and validator blocks the driver would never have saved: all
// refused before any access, the device extension unchanged. (Short records
// and short states are the request-refusal suite's rows.)
TEST(RestoreRefusal, BeforeAnythingIsTouched) {
  struct Refusal {
    const char* name;
    std::vector<std::pair<size_t, uint32_t>> patches;  // buffer offset (block at 999), value
  };
  const Refusal refusals[] = {
      {"sequencer", {{56, 264355}}},
      {"DAC", {{72, 263592}}},
      {"extended sequencer", {{80, 264358}}},
      {"extended DAC", {{96, 264360}}},
      {"misc data", {{104, 262145}}},
      {"plane 1", {{112, 198824}}},
      {"plane 3 wraps at 32 bits", {{120, 0xFFFF0001}}},
      {"plane length above 64K", {{kStateLength, 264360}, {108, 65537}}},
      {"validator block", {{100, 263144}}},
      {"validator offset 0", {{100, 0}}},
      {"DIB one byte past", {{136, 32}, {140, 1}, {144, 66090}}},
      {"DIB product wraps at 32 bits", {{136, 32}, {140, 0x10000}, {144, 0x4000}}},
      // A row of 2^33 bytes times 2^31 rows is 0 in 64 bits.
      {"DIB row past the buffer", {{136, 0x80000000}, {140, 32}, {144, 0x80000000}}},
      {"99 entries", {{999, 99}}},
      {"byte past the ports", {{1003, 0x30}}},
      {"word across the end", {{1007, 2}}},
      {"full table with four rows", {{2207, 4}}},
      {"minimal table with two rows", {{2211, Address(MinimalVgaValidatorAccessRange)}}},
      {"foreign table", {{2211, 0x12345678}}},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    Restore t;
    StateBuffer b(0x00, 0x00, true, Address(FullVgaValidatorAccessRange), 2);
    for (auto [at, value] : r.patches)
      b.Set(at, value);
    const std::vector<uint8_t> before = t.s.ExtensionBytes();
    EXPECT_EQ(t.Run(b), ERROR_INVALID_PARAMETER);
    EXPECT_TRACE(t.s.Since(t.mark), {});
    EXPECT_TRUE(test::BytesAre(t.s.ExtensionBytes(), before)) << "device extension";
  }
}

// A restore onto a desktop that left bank 0x11 selected and misc output bit
// 1 clear: the latches, then the planes through bank 0 of an open window,
// every byte where it was; misc output gets its saved value, clock select
// cleared, later. Last the indices, the flip-flop (left in the data state),
// the DAC index and position; then the validator block and the trap set it
// names, or none.
TEST(Restore, WholeSequence) {
  struct Tail {
    uint8_t dacState, dacIndex;
    uint32_t rows;                     // of the saved trap set; 0: no validator block
    std::vector<TraceEntry> position;  // the DAC position, last on the trace
  };
  const Tail tails[] = {
      // Read mode, two read at entry 0, the full table: read index 0xFF, two reads.
      {0x23, 0x00, 2, {io::Out8(0x3C7, 0xFF), io::In8(0x3C9, 0x3F), io::In8(0x3C9, 0x00)}},
      // Write mode (only a state of 3 is read mode), one written at 0x41, the
      // minimal table: its red again.
      {0x1B, 0x41, 4, {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01)}},
      // Write mode, a count above two (9, in all four bits) moves two.
      {0x90, 0x41, 0, {io::Out8(0x3C8, 0x41), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02)}},
  };
  for (const Tail& c : tails) {
    SCOPED_TRACE(testing::Message() << "DAC state " << int{c.dacState} << ", rows " << c.rows);
    Restore t;
    test::DriverSession& s = t.s;
    const void* table = c.rows == 2 ? FullVgaValidatorAccessRange : MinimalVgaValidatorAccessRange;
    StateBuffer b(c.dacState, c.dacIndex, c.rows != 0, Address(table), c.rows);
    for (uint32_t k = 0; k < 0x40000; ++k)
      b.B().Planes[k >> 16][k & 0xFFFF] = PlaneByte(k >> 16, k & 0xFFFF);
    t.a().Out8(0x3CD, 0x11);
    t.a().Out8(0x3C2, 0x65);
    const std::vector<uint8_t> extBefore = s.ExtensionBytes();
    ASSERT_EQ(t.Run(b), NO_ERROR);
    const std::vector<TraceEntry> got = s.Since(t.mark);
    std::vector<TraceEntry> head = test::Bus(
        {io::Out8(0x3C8, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00),
         io::Out8(0x3C6, 0x00),  // the screen blanked
         io::Out16(0x3C4, 0x0100), io::In8(0x3CC, 0x65), io::Out8(0x3C2, 0x67),
         io::Out8(0x3CD, 0x00),  // bank 0 of an open window
         test::GcModify(6, 0x0E, 0x04), test::SeqModify(4, 0x02, 0x06), io::Out16(0x3C4, 0x0300),
         test::GcModify(5, 0x10, 0x00), test::GcWrite16(8, 0xFF), test::GcWrite16(3, 0x00),
         test::GcWrite16(1, 0x00),  // write mode 0, every bit from the CPU
         io::Out8(0x3C4, 0x02)});
    for (int p = 0; p < 4; ++p)  // the latches, then each plane's 64 KB
      head.insert(head.end(), {io::Out8(0x3C5, 1 << p), io::MemWrite8(0xA0000, 0, 0x11 * (p + 1))});
    head.push_back(io::MemRead8(0xA0000, 0, 0x11));
    for (int p = 0; p < 4; ++p)
      head.insert(head.end(), {io::Out8(0x3C5, 1 << p),
                               io::MoveFromBuffer(0xA0000, 0, {b.B().Planes[p], 65536})});
    ASSERT_GE(got.size(), head.size());
    EXPECT_TRACE(std::vector<TraceEntry>(got.begin(), got.begin() + head.size()), head);
    std::vector<TraceEntry> expected = {
        io::Out8(0x3DA, 0x01), io::Out8(0x3C4, 0x02), io::Out8(0x3D4, 0x0E), io::Out8(0x3CE, 0x04),
        io::In8(0x3DA, 0x00),  io::Out8(0x3C0, 0x33), io::Out8(0x3C6, 0xFE), io::Out8(0x3C8, 0x00),
        io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x01), io::Out8(0x3C9, 0x02)};
    expected.insert(expected.end(), c.position.begin(), c.position.end());
    ASSERT_GE(got.size(), expected.size());
    EXPECT_TRACE(std::vector<TraceEntry>(got.end() - expected.size(), got.end()), expected);
    if (c.rows != 0) {
      EXPECT_EQ(std::count(got.begin(), got.end(), io::Traps(c.rows)), 1);
      EXPECT_EQ(s.machine().TrapSet().size(), c.rows);
      EXPECT_RECORD(Validators(s), b.B().Validators);
      if (c.rows == 2) {  // the session ends its reset: the burst
        const size_t mark = s.Mark();
        s.machine().V86Out(2, 0x3C4, 0x0300);
        EXPECT_TRACE(s.Since(mark),
                     {io::Out8(0x3DF, 0x01), io::Out16(0x3C4, 0x0300), io::Out16(0x3C4, 0x0300),
                      io::Out8(0x3C4, 0x00), io::Traps(4)});
      }
    } else {
      EXPECT_TRUE(s.machine().TrapSet().empty());
      EXPECT_TRUE(test::BytesAre(s.ExtensionBytes(), extBefore));
    }
    EXPECT_EQ(t.a().Seq(0), 0x03) << "saved SR00 0x01 not used";
    EXPECT_EQ(t.a().Misc(), 0x67) << "saved 0x6F, clock select cleared";
  }
}

// A validator block with nothing recorded and every port trapped: the
// session's accesses go straight to the hardware, wide ones whole, and
// nothing is recorded until a reset begins.
TEST(Restore, NothingRecordedUnderTheFullTrapSet) {
  Restore t;
  StateBuffer b(0x00, 0x00, true, Address(FullVgaValidatorAccessRange), 2);
  b.Set(999, 0);
  ASSERT_EQ(t.Run(b), NO_ERROR);
  ASSERT_TRUE(t.s.machine().Trapped(0x3CE));
  const size_t mark = t.s.Mark();
  t.s.machine().V86Out(2, 0x3CE, 0x0100);  // GR00, not SR00
  t.s.machine().V86Out(2, 0x3C4, 0x0102);
  EXPECT_TRACE(t.s.Since(mark), {io::Out16(0x3CE, 0x0100), io::Out16(0x3C4, 0x0102)});
  EXPECT_EQ(t.s.ext().TrappedValidatorCount, 0u);
}

// ---- the round trip: a full-screen switch that loses nothing. A session's
// rich VGA state, saved, written over by a desktop mode and the same session
// with every value changed, restored and compared whole.

constexpr ULONG kTextMode = 0;
constexpr ULONG k1024x768x8 = 12;

struct Session {
  const char* name;
  ULONG desktop;  // the mode set before the session takes over
  // Misc output (bit 0 colour or mono; bit 1 clear: memory off at the save),
  // and the entry the DAC is part-way through, `dacMoved` components (0-2) in.
  uint8_t misc, dacIndex;
  int dacMoved;
  // The DAC in read mode; the attribute flip-flop left in the data state; the
  // session in the middle of a synchronous reset.
  bool dacReadMode, attrData, recording;
};

// `before` as a restore gives it back: SR00 running, misc output bit 3 clear,
// port 0x3C3 = 1, byte 0xFFFF of each plane holding its latch, and the entry
// a half-written triple heads for holding the components written so far.
// The flip-flop is expected as the session left it.
sim::VgaState AfterRoundTrip(sim::VgaState expected) {
  expected.seq[0] = 0x03;
  expected.misc &= 0xF7;
  expected.videoEnable = 0x01;
  for (size_t p = 0; p < 4; ++p)
    expected.planes[p][0xFFFF] = expected.latches[p];
  const uint8_t green = expected.dacPosition > 1 ? expected.dacPending[1] : 0;
  if (!expected.dacReadMode && expected.dacPosition > 0)
    expected.dac[expected.dacAddress] = {expected.dacPending[0], green, 0};
  return expected;
}

// The session's own planar mode, every register, plane and DAC entry its own
// value, programmed through the validators. With `salt` the same session's
// state written over after the save: from the linear desktop, every value
// changed, colour and mono, DAC mode and flip-flop swapped, memory off, the
// recording ended.
void BuildSessionState(test::DriverSession& s, const Session& c, uint8_t salt = 0) {
  sim::Machine& m = s.machine();
  EXPECT_EQ(s.SetMode(salt ? k1024x768x8 : c.desktop), NO_ERROR);
  EXPECT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  // Clocks and memory mode under a reset the session begins and ends.
  for (uint32_t word : {0x0100, 0x0101, 0x0F02, 0x0403, 0x0604})
    m.V86Out(2, 0x3C4, word);
  m.V86Out(1, 0x3C2, c.misc | 0x02);
  m.V86Out(2, 0x3C4, 0x0300);

  const uint16_t crtc = (c.misc & 1) ? 0x3D4 : 0x3B4;
  const uint16_t status = crtc + 6;
  m.V86Out(2, crtc, 0x0C11);  // write protection off
  const uint8_t cr[25] = {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
                          0x40, 0x0D, 0x0E, 0x12, 0x34, 0x05, 0x67, 0xEA, 0x8C,
                          0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF};
  for (uint8_t n = 0; n < 25; ++n)
    m.V86Out(2, crtc, static_cast<uint32_t>((cr[n] ^ salt) << 8 | n));
  const uint8_t gr[9] = {0x0A, 0x03, 0x05, 0x08, 0x01, 0x00, 0x05, 0x0C, 0xF7};
  for (uint8_t n = 0; n < 9; ++n)
    m.V86Out(2, 0x3CE, static_cast<uint32_t>((gr[n] ^ salt) << 8 | n));
  m.V86In(1, status);
  for (uint8_t n = 0; n < 21; ++n) {
    m.V86Out(1, 0x3C0, n);
    m.V86Out(1, 0x3C0, static_cast<uint8_t>((0x3F - n * 2) ^ salt));
  }
  m.V86Out(1, status, salt ? 0x00 : 0x01);  // feature control

  // Every plane its own pattern, sparse but across the whole 64 KB.
  for (int p = 0; p < 4; ++p) {
    m.V86Out(2, 0x3C4, static_cast<uint32_t>((1 << p) << 8 | 0x02));
    for (uint32_t off = p; off < 0x10000; off += 257)
      s.adapter().MemWrite8(0xA0000 + off, PlaneByte(p, off) ^ salt);
  }
  m.V86Out(2, 0x3C4, 0x0F02);
  m.V86Out(1, 0x3C8, 0x00);
  for (unsigned i = 0; i < 256 * 3; ++i)
    m.V86Out(1, 0x3C9, ((i * 11 + 3) ^ salt) & 0x3F);
  m.V86Out(1, 0x3C6, 0xFE ^ salt);
  s.adapter().MemRead8(salt ? 0xA0010 : 0xA4242);  // latches from four different bytes

  // Indices, the attribute flip-flop, the DAC part-way through a triple.
  m.V86Out(1, crtc, 0x0E ^ salt);
  m.V86Out(1, 0x3CE, 0x04 ^ salt);
  m.V86In(1, status);
  m.V86Out(1, 0x3C0, 0x33 ^ salt);
  if (c.attrData == (salt != 0)) m.V86Out(1, 0x3C0, 0x0F);
  const bool dacReadMode = c.dacReadMode != (salt != 0);
  m.V86Out(1, dacReadMode ? 0x3C7 : 0x3C8, c.dacIndex ^ salt);
  for (int k = 0; k < (c.dacMoved + (salt ? 1 : 0)) % 3; ++k)
    dacReadMode ? void(m.V86In(1, 0x3C9)) : m.V86Out(1, 0x3C9, 0x21 + k);
  if (c.recording && !salt) {
    m.V86Out(1, 0x3C4, 0x00);
    m.V86Out(1, 0x3C5, 0x01);
    m.V86Out(1, 0x3CE, 0x07);  // recorded, not written
    m.V86Out(1, 0x3C4, 0x01);
  } else {
    m.V86Out(1, 0x3C4, 0x02);
  }
  for (uint8_t n = 1; salt && n < 5; ++n)  // the clocks and memory mode too
    s.adapter().Out16(0x3C4, static_cast<uint16_t>(0xA5 << 8 | n));
  s.adapter().Out8(0x3C2, salt ? (c.misc ^ 0x01) & 0xFD : c.misc);
  s.adapter().Out8(0x3CD, 0x11);  // a bank the window must not use
}

// The save of the first session below (colour text mode, bank 0x11, memory
// on): the header is the one the restore tests are fed (but misc output as
// found and no misc data), the caller's bytes outside it are kept, and the
// port sequence up to the planes is compared whole, each DAC entry and
// register read once. `v` is the state before the save.
void ExpectSaveOfFirstSession(test::DriverSession& s, const std::vector<uint8_t>& out, size_t mark,
                              const sim::VgaState& v) {
  StateBuffer expected(0x20, 0x41, false, 0, 0);
  expected.H().PortValue[0x3C2 - 0x3B0] = 0xE3;
  expected.H().ExtendedMiscDataOffset = 0;
  EXPECT_RECORD(*reinterpret_cast<const VIDEO_HARDWARE_STATE_HEADER*>(out.data()), expected.H());
  for (size_t at : {988u, 990u, 997u, 999u, 1600u, 2214u})
    EXPECT_EQ(out[at], 0xEE) << "reserved byte " << at;

  std::vector<TraceEntry> trace = test::Bus(
      {io::In8(0x3CC, 0xE3), io::Out8(0x3C3, 0x01), io::In8(0x3C6, 0xFE), io::In8(0x3C8, 0x41),
       io::In8(0x3C7, 0x00), io::Out8(0x3C9, 0x00), io::In8(0x3C8, 0x42),  // two had been written
       io::Out8(0x3C7, 0x00), io::In8(0x3C9, 0x03), io::In8(0x3C9, 0x0E), io::In8(0x3C9, 0x19),
       io::Out8(0x3C8, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00), io::Out8(0x3C9, 0x00),
       io::Out8(0x3C6, 0x00),
       // The flip-flop probed as the session left it: AR13 gets its value back.
       io::In8(0x3C0, 0x33), io::In8(0x3C1, 0x09), io::In8(0x3C4, 0x02), io::Out16(0x3C4, 0x0100),
       io::Out8(0x3C0, 0x23), io::In8(0x3C0, 0x33), io::Out8(0x3C0, 0x33), io::Out8(0x3C0, 0x09),
       io::In8(0x3CC, 0xE3), io::In8(0x3DA, 0x00), io::Out16(0x3C4, 0x0300)});
  auto add = [&trace](std::vector<TraceEntry> more) {
    trace.insert(trace.end(), more.begin(), more.end());
  };
  for (int e = 1; e < 256; ++e) {
    add({io::Out8(0x3C7, static_cast<uint8_t>(e))});
    for (int c = 0; c < 3; ++c)
      add({io::In8(0x3C9, static_cast<uint8_t>(e == 0x41 ? (c < 2 ? 0x21 + c : 0)
                                                         : (e * 33 + c * 11 + 3) & 0x3F))});
  }
  add({io::In8(0x3CA, 0x01), io::In8(0x3D4, 0x0E), io::In8(0x3CE, 0x04)});
  for (uint8_t n = 0; n < 5; ++n)
    add(test::SeqRead(n, v.seq[n]));
  add(test::IndexModify(0x3D4, 0x03, v.crtc[3], v.crtc[3] | 0x80));  // CR10/CR11 readable
  for (uint8_t n = 0; n < 25; ++n)
    add({io::Out8(0x3D4, n), io::In8(0x3D5, n == 3 ? v.crtc[3] | 0x80 : v.crtc[n])});
  for (uint8_t n = 0; n < 9; ++n)
    add({io::Out8(0x3CE, n), io::In8(0x3CF, v.gc[n])});
  for (uint8_t n = 0; n < 21; ++n)
    add({io::In8(0x3DA, 0x00), io::Out8(0x3C0, n), io::In8(0x3C1, v.attr[n])});
  // The planes' path is the round trip's to check.
  std::vector<TraceEntry> got = s.Since(mark);
  got.resize(std::min(got.size(), trace.size()));
  EXPECT_TRACE(got, trace);
}

// The expected flip-flop comes from the state before the save, never from
// the flag the save recorded. A recording comes back with the trap set in
// force at the save, and the session's next writes go out after the held-back
// ones, in one burst, when its reset ends.
TEST(RoundTrip, GivesTheSessionBackEverything) {
  // clang-format off
  const Session sessions[] = {
      {"colour, DAC writing two of a triple, flip-flop data", kTextMode, 0xE3, 0x41, 2, false, true, false},
      {"mono from a linear desktop, memory off, DAC reading one, recording", k1024x768x8, 0xA0, 0x80, 1, true, false, true},
      {"colour, DAC reading two at entry 0, recording", kTextMode, 0xEF, 0x00, 2, true, true, true},
      {"mono, DAC writing one at entry 0xFF, flip-flop index", kTextMode, 0x66, 0xFF, 1, false, false, false},
      {"colour from a linear desktop, memory off, DAC reading none", k1024x768x8, 0x61, 0x10, 0, true, false, false},
      {"colour, DAC at a triple boundary", kTextMode, 0x63, 0x10, 0, false, false, false},
  };
  // clang-format on
  for (const Session& c : sessions) {
    SCOPED_TRACE(c.name);
    test::DriverSession s;
    sim::Machine& m = s.machine();
    s.adapter().StickStatusBits(0x09, 0x00);
    BuildSessionState(s, c);
    const sim::VgaState before = s.adapter().WholeState();
    SavedValidatorState validators = Validators(s);

    std::vector<uint8_t> buffer(kStateSize, 0xEE);
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(buffer.data()), 0};
    const size_t saveMark = s.Mark();
    const auto saved = m.Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 8);
    ASSERT_EQ(saved.status, NO_ERROR);
    EXPECT_EQ(saved.information, 8u);
    EXPECT_EQ(record.StateLength, kStateSize);
    if (&c == sessions) ExpectSaveOfFirstSession(s, buffer, saveMark, before);
    EXPECT_EQ(record.StateHeader->VGAStateFlags, c.recording ? 7u : 5u);
    EXPECT_EQ(record.StateHeader->ExtendedValidatorStateOffset, c.recording ? 999u : 0u);
    BuildSessionState(s, c, 0x53);
    ASSERT_NE(s.adapter().WholeState(), before);
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &record, 8, nullptr, 0).status, NO_ERROR);

    const sim::VgaState expected = AfterRoundTrip(before), got = s.adapter().WholeState();
    EXPECT_TRUE(expected == got) << testing::PrintToString(sim::Diff(expected, got, 40));
    if (c.recording) {
      validators.NumTrappedAccessRanges = 2;
      validators.TrappedAccessRanges = Address(FullVgaValidatorAccessRange);
    }
    EXPECT_RECORD(Validators(s), validators);
    EXPECT_EQ(m.TrapSet().size(), c.recording ? 2u : 4u);
    EXPECT_EQ(m.Trapped(0x3CF), c.recording);
    if (!c.recording) continue;
    const size_t mark = m.trace().Start();
    m.V86Out(1, 0x3CF, 0x0A);
    m.V86Out(2, 0x3C4, 0x0300);
    EXPECT_TRACE(
        m.trace().Since(mark),
        {io::Out8(0x3C5, 0x01), io::Out8(0x3CE, 0x07), io::Out8(0x3C4, 0x01), io::Out8(0x3CF, 0x0A),
         io::Out16(0x3C4, 0x0300), io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00), io::Traps(4)});
    EXPECT_EQ(s.adapter().Gc(0x07), 0x0A);
  }
}

}  // namespace
