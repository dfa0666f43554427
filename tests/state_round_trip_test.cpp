// A full-screen switch that loses nothing: a session's rich VGA state, saved,
// wiped out by a desktop mode and scribbles, restored and compared whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/bus.h"
#include "tests/support/driver_session.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

namespace {

namespace io = sim::io;

constexpr uint32_t kStateSize = 264359;
constexpr ULONG kTextMode = 0;
constexpr ULONG k1024x768x8 = 12;

struct Session {
  const char* name;
  ULONG desktop;     // the mode set before the session takes over
  uint8_t misc;      // bit 0 colour or mono; bit 1 clear: memory off at the save
  bool dacReadMode;  // the DAC left part-way through a triple in this mode
  uint8_t dacIndex;
  int dacMoved;    // components of the triple already moved, 0 to 2
  bool attrData;   // attribute flip-flop left in the data state
  bool recording;  // the session in the middle of a synchronous reset
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
  if (!expected.dacReadMode && expected.dacPosition > 0) {
    sim::Rgb& heading = expected.dac[expected.dacAddress];
    heading = {expected.dacPending[0], 0, 0};
    if (expected.dacPosition > 1) heading.g = expected.dacPending[1];
  }
  return expected;
}

uint8_t PlaneByte(int plane, uint32_t offset) {
  return static_cast<uint8_t>(offset * 7 + plane * 61 + (offset >> 8));
}

// The session's own planar mode, every register, plane and DAC entry its own
// value, programmed through the validators.
void BuildSessionState(test::DriverSession& s, const Session& c) {
  sim::Machine& m = s.machine();
  ASSERT_EQ(s.SetMode(c.desktop), NO_ERROR);
  ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  // Clocks and memory mode under a reset the session begins and ends.
  for (uint32_t word : {0x0100, 0x0101, 0x0F02, 0x0403, 0x0604})
    m.V86Out(2, 0x3C4, word);
  m.V86Out(1, 0x3C2, c.misc | 0x02);
  m.V86Out(2, 0x3C4, 0x0300);
  ASSERT_EQ(s.ext().TrappedValidatorCount, 0u);

  const uint16_t crtc = (c.misc & 1) ? 0x3D4 : 0x3B4;
  const uint16_t status = crtc + 6;
  m.V86Out(2, crtc, 0x0C11);  // write protection off
  const uint8_t cr[25] = {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
                          0x40, 0x0D, 0x0E, 0x12, 0x34, 0x05, 0x67, 0xEA, 0x8C,
                          0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF};
  for (uint8_t n = 0; n < 25; ++n)
    m.V86Out(2, crtc, static_cast<uint32_t>(cr[n] << 8 | n));
  const uint8_t gr[9] = {0x0A, 0x03, 0x05, 0x08, 0x01, 0x00, 0x05, 0x0C, 0xFF};
  for (uint8_t n = 0; n < 9; ++n)
    m.V86Out(2, 0x3CE, static_cast<uint32_t>(gr[n] << 8 | n));
  m.V86In(1, status);
  for (uint8_t n = 0; n < 21; ++n) {
    m.V86Out(1, 0x3C0, n);
    m.V86Out(1, 0x3C0, static_cast<uint8_t>(0x3F - n * 2));
  }
  m.V86Out(1, status, 0x01);  // feature control

  // Every plane its own pattern, sparse but across the whole 64 KB.
  for (int p = 0; p < 4; ++p) {
    m.V86Out(2, 0x3C4, static_cast<uint32_t>((1 << p) << 8 | 0x02));
    for (uint32_t off = p; off < 0x10000; off += 257)
      s.adapter().MemWrite8(0xA0000 + off, PlaneByte(p, off));
  }
  m.V86Out(2, 0x3C4, 0x0F02);
  for (unsigned i = 0; i < 256 * 3; ++i) {
    if (i % 3 == 0) m.V86Out(1, 0x3C8, i / 3);
    m.V86Out(1, 0x3C9, (i * 11 + 3) & 0x3F);
  }
  m.V86Out(1, 0x3C6, 0xFE);
  s.adapter().MemRead8(0xA0000 + 0x4242);  // latches from four different bytes

  // Indices, the attribute flip-flop, the DAC part-way through a triple.
  m.V86Out(1, crtc, 0x0E);
  m.V86Out(1, 0x3CE, 0x04);
  m.V86In(1, status);
  m.V86Out(1, 0x3C0, 0x33);
  if (!c.attrData) m.V86Out(1, 0x3C0, 0x0F);
  m.V86Out(1, c.dacReadMode ? 0x3C7 : 0x3C8, c.dacIndex);
  for (int k = 0; k < c.dacMoved; ++k) {
    if (c.dacReadMode) {
      m.V86In(1, 0x3C9);
    } else {
      m.V86Out(1, 0x3C9, 0x21 + k);
    }
  }
  if (c.recording) {
    m.V86Out(1, 0x3C4, 0x00);
    m.V86Out(1, 0x3C5, 0x01);
    m.V86Out(1, 0x3CE, 0x07);  // recorded, not written
    m.V86Out(1, 0x3C4, 0x01);
    ASSERT_EQ(s.ext().TrappedValidatorCount, 3u);
  } else {
    m.V86Out(1, 0x3C4, 0x02);
  }
  s.adapter().Out8(0x3C2, c.misc);
  s.adapter().Out8(0x3CD, 0x11);  // a bank the window must not use
}

// A desktop mode, then every plane and register written over directly,
// leaving bank 0x11 and memory off.
void Disturb(test::DriverSession& s, uint8_t misc) {
  ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  ASSERT_EQ(s.SetMode(k1024x768x8), NO_ERROR);
  sim::Adapter& a = s.adapter();
  a.Out8(0x3C2, (misc ^ 0x01) | 0x02);
  for (uint16_t word : {0x0506, 0x0005})
    a.Out16(0x3CE, word);
  for (uint16_t word : {0x0604, 0x0F02})
    a.Out16(0x3C4, word);
  for (uint32_t off = 0; off < 0x10000; off += 13)
    a.MemWrite8(0xA0000 + off, 0x5A);
  for (uint8_t n = 1; n < 5; ++n)
    a.Out16(0x3C4, static_cast<uint16_t>(0xA5 << 8 | n));
  const uint16_t crtc = (a.Misc() & 1) ? 0x3D4 : 0x3B4;
  a.Out16(crtc, 0x0011);
  for (uint8_t n = 0; n < 25; ++n)
    a.Out16(crtc, static_cast<uint16_t>(0x5A << 8 | n));
  a.Out16(crtc, 0xDA11);  // CR00-CR07 write-protected again
  for (uint8_t n = 0; n < 9; ++n)
    a.Out16(0x3CE, static_cast<uint16_t>(0xC3 << 8 | n));
  a.In8(static_cast<uint16_t>(crtc + 6));
  for (uint8_t n = 0; n < 21; ++n) {
    a.Out8(0x3C0, n);
    a.Out8(0x3C0, 0x11);
  }
  a.Out8(0x3C8, 0);
  for (unsigned i = 0; i < 256 * 3; ++i)
    a.Out8(0x3C9, 0x2A);
  a.Out8(0x3C6, 0x0F);
  a.MemRead8(0xA0000 + 0x10);
  a.Out8(0x3C2, a.Misc() & 0xFD);
  a.Out8(0x3CD, 0x11);
}

// The expected flip-flop comes from the state before the save, never from
// the flag the save recorded. A recording comes back with the trap set in
// force at the save, and the session's next writes go out after the held-back
// ones, in one burst, when its reset ends.
TEST(RoundTrip, GivesTheSessionBackEverything) {
  const Session sessions[] = {
      {"colour, DAC writing two of a triple, flip-flop data", kTextMode, 0xE3, false, 0x41, 2, true,
       false},
      {"mono from a linear desktop, memory off, DAC reading one, recording", k1024x768x8, 0xA0,
       true, 0x80, 1, false, true},
      {"colour, DAC reading two at entry 0, recording", kTextMode, 0xEF, true, 0x00, 2, true, true},
      {"mono, DAC writing one at entry 0xFF, flip-flop index", kTextMode, 0x66, false, 0xFF, 1,
       false, false},
      {"colour from a linear desktop, memory off, DAC reading none", k1024x768x8, 0x61, true, 0x10,
       0, false, false},
      {"colour, DAC at a triple boundary", kTextMode, 0x63, false, 0x10, 0, false, false},
  };
  for (const Session& c : sessions) {
    SCOPED_TRACE(c.name);
    test::DriverSession s;
    sim::Machine& m = s.machine();
    BuildSessionState(s, c);
    if (HasFatalFailure()) return;
    const sim::VgaState before = s.adapter().WholeState();
    SavedValidatorState validators;
    std::memcpy(&validators, &s.ext().TrappedValidatorCount, sizeof(validators));

    std::vector<uint8_t> buffer(kStateSize, 0xEE);
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(buffer.data()), 0};
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 8).status, NO_ERROR);
    EXPECT_EQ(record.StateHeader->AttribIndexDataState, c.attrData ? 1u : 0u);
    EXPECT_EQ(record.StateHeader->VGAStateFlags, c.recording ? 7u : 5u);
    EXPECT_EQ(record.StateHeader->ExtendedValidatorStateOffset, c.recording ? 999u : 0u);
    Disturb(s, c.misc);
    if (HasFatalFailure()) return;
    ASSERT_NE(s.adapter().WholeState(), before);
    record.StateLength = kStateSize;
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &record, 8, nullptr, 0).status, NO_ERROR);

    std::string differences;
    for (const std::string& line : sim::Diff(AfterRoundTrip(before), s.adapter().WholeState(), 40))
      differences += line + "\n";
    EXPECT_EQ(differences, "");
    if (c.recording) {
      validators.NumTrappedAccessRanges = 2;
      validators.TrappedAccessRanges =
          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(FullVgaValidatorAccessRange));
    }
    EXPECT_TRUE(test::RecordIs(
        *reinterpret_cast<SavedValidatorState*>(&s.ext().TrappedValidatorCount), validators));
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
