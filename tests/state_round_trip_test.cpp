// A full-screen switch that loses nothing: a session's rich VGA state, saved,
// wiped out by a desktop mode and scribbles, restored and compared whole.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/machine.h"
#include "tests/support/driver_session.h"
#include "tests/support/vga_state_compare.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

namespace {

namespace io = sim::io;

constexpr uint32_t kStateSize = 264359;
constexpr ULONG kTextMode = 0;
constexpr ULONG k1024x768x8 = 12;

struct Session {
  const char* name;
  uint8_t misc;      // the session's misc output: bit 0 picks colour or mono
  bool dacReadMode;  // the DAC left part-way through a triple in this mode
  uint8_t dacIndex;
  int dacMoved;    // components of the triple already moved, 0 to 2
  bool attrData;   // attribute flip-flop left in the data state
  bool recording;  // the session in the middle of a synchronous reset
};

void PrintTo(const Session& s, std::ostream* os) {
  *os << s.name;
}

uint8_t PlaneByte(int plane, uint32_t offset) {
  return static_cast<uint8_t>(offset * 7 + plane * 61 + (offset >> 8));
}

class RoundTrip : public testing::TestWithParam<Session> {
 protected:
  sim::Machine& m() { return s.machine(); }
  uint16_t CrtcIndex() const { return (GetParam().misc & 1) ? 0x3D4 : 0x3B4; }
  uint16_t Status() const { return (GetParam().misc & 1) ? 0x3DA : 0x3BA; }

  // Text mode 0 with a font and text, then the session's own planar mode.
  void BuildSessionState() {
    const Session& c = GetParam();
    ASSERT_EQ(s.SetMode(kTextMode), NO_ERROR);
    std::vector<uint8_t> font;
    test::Put16(font, 8);
    test::Put16(font, 16);
    test::Put32(font, 256 * 16);
    for (unsigned i = 0; i < 256 * 16; ++i)
      font.push_back(static_cast<uint8_t>(i * 13 + 5));
    font.resize(11 + 256 * 16, 0);  // the record ends past its first font byte
    ASSERT_EQ(s.Request(IOCTL_VIDEO_LOAD_AND_SET_FONT, font).status, NO_ERROR);
    for (uint32_t i = 0; i < 160; ++i)
      s.adapter().MemWrite8(0xB8000 + i, static_cast<uint8_t>(i));
    ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);

    // Clocks and memory mode under a reset the session begins and ends.
    m().V86Out(2, 0x3C4, 0x0100);
    m().V86Out(2, 0x3C4, 0x0101);
    m().V86Out(2, 0x3C4, 0x0F02);
    m().V86Out(2, 0x3C4, 0x0403);
    m().V86Out(2, 0x3C4, 0x0604);
    m().V86Out(1, 0x3C2, c.misc);
    m().V86Out(2, 0x3C4, 0x0300);
    ASSERT_EQ(s.ext().TrappedValidatorCount, 0u);

    const uint16_t crtc = CrtcIndex();
    m().V86Out(2, crtc, 0x0C11);  // write protection off
    const uint8_t cr[25] = {0x5F, 0x4F, 0x50, 0x82, 0x54, 0x80, 0x0B, 0x3E, 0x00,
                            0x40, 0x0D, 0x0E, 0x12, 0x34, 0x05, 0x67, 0xEA, 0x8C,
                            0xDF, 0x28, 0x00, 0xE7, 0x04, 0xE3, 0xFF};
    for (uint8_t n = 0; n < 25; ++n)
      m().V86Out(2, crtc, static_cast<uint32_t>(cr[n] << 8 | n));
    const uint8_t gr[9] = {0x0A, 0x03, 0x05, 0x08, 0x01, 0x00, 0x05, 0x0C, 0xFF};
    for (uint8_t n = 0; n < 9; ++n)
      m().V86Out(2, 0x3CE, static_cast<uint32_t>(gr[n] << 8 | n));
    m().V86In(1, Status());
    for (uint8_t n = 0; n < 21; ++n) {
      m().V86Out(1, 0x3C0, n);
      m().V86Out(1, 0x3C0, static_cast<uint8_t>(0x3F - n * 2));
    }
    m().V86Out(1, Status(), 0x01);  // feature control

    // Every plane its own pattern, sparse but across the whole 64 KB.
    for (int p = 0; p < 4; ++p) {
      m().V86Out(2, 0x3C4, static_cast<uint32_t>((1 << p) << 8 | 0x02));
      for (uint32_t off = p; off < 0x10000; off += 257) {
        s.adapter().MemWrite8(0xA0000 + off, PlaneByte(p, off));
      }
    }
    m().V86Out(2, 0x3C4, 0x0F02);
    for (unsigned i = 0; i < 256 * 3; ++i) {
      if (i % 3 == 0) m().V86Out(1, 0x3C8, i / 3);
      m().V86Out(1, 0x3C9, (i * 11 + 3) & 0x3F);
    }
    m().V86Out(1, 0x3C6, 0xFE);
    s.adapter().MemRead8(0xA0000 + 0x4242);  // latches from four different bytes

    // Indices and the attribute flip-flop.
    m().V86Out(1, crtc, 0x0E);
    m().V86Out(1, 0x3CE, 0x04);
    m().V86In(1, Status());
    m().V86Out(1, 0x3C0, 0x33);
    if (!c.attrData) m().V86Out(1, 0x3C0, 0x0F);

    if (c.dacReadMode) {
      m().V86Out(1, 0x3C7, c.dacIndex);
      for (int k = 0; k < c.dacMoved; ++k)
        m().V86In(1, 0x3C9);
    } else {
      m().V86Out(1, 0x3C8, c.dacIndex);
      for (int k = 0; k < c.dacMoved; ++k)
        m().V86Out(1, 0x3C9, 0x21 + k);
    }

    if (c.recording) {
      m().V86Out(1, 0x3C4, 0x00);
      m().V86Out(1, 0x3C5, 0x01);
      m().V86Out(1, 0x3CE, 0x07);  // recorded, not written
      m().V86Out(1, 0x3C4, 0x01);
      ASSERT_EQ(s.ext().TrappedValidatorCount, 3u);
    } else {
      m().V86Out(1, 0x3C4, 0x02);
    }
  }

  // A desktop mode, then every plane and register written over directly.
  void Disturb() {
    ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
    ASSERT_EQ(s.SetMode(k1024x768x8), NO_ERROR);
    sim::Adapter& a = s.adapter();
    a.Out8(0x3C2, GetParam().misc ^ 0x01);
    a.Out16(0x3CE, 0x0506);
    a.Out16(0x3CE, 0x0005);
    a.Out16(0x3C4, 0x0604);
    a.Out16(0x3C4, 0x0F02);
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
  }

  test::DriverSession s;
};

TEST_P(RoundTrip, GivesTheSessionBackEverything) {
  BuildSessionState();
  if (HasFatalFailure()) return;
  const sim::VgaState before = s.adapter().WholeState();
  SavedValidatorState validators;
  std::memcpy(&validators, &s.ext().TrappedValidatorCount, sizeof(validators));

  std::vector<uint8_t> buffer(kStateSize, 0xEE);
  VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(buffer.data()), 0};
  auto saved = m().Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof(record));
  ASSERT_EQ(saved.status, NO_ERROR);
  const auto* header = record.StateHeader;

  Disturb();
  if (HasFatalFailure()) return;
  ASSERT_NE(s.adapter().WholeState(), before);

  record.StateLength = kStateSize;
  ASSERT_EQ(
      m().Ioctl(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &record, sizeof(record), nullptr, 0).status,
      NO_ERROR);

  const std::string differences = test::RoundTripDifferences(before, s.adapter().WholeState());
  EXPECT_TRUE(differences.empty()) << differences;
  EXPECT_EQ(header->AttribIndexDataState, GetParam().attrData ? 1u : 0u);

  // A recording comes back with the trap set in force at the save, every
  // port trapped: the block names the full table.
  const bool recording = GetParam().recording;
  if (recording) {
    validators.NumTrappedAccessRanges = 2;
    validators.TrappedAccessRanges =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(FullVgaValidatorAccessRange));
  }
  EXPECT_EQ(std::memcmp(&validators, &s.ext().TrappedValidatorCount, sizeof(validators)), 0)
      << "validator fields differ from the session's";
  EXPECT_EQ(m().TrapSet().size(), recording ? 2u : 4u);
  EXPECT_TRUE(m().Trapped(0x3C4));
  EXPECT_EQ(m().Trapped(0x3CF), recording);
  if (!recording) return;

  // The session's next writes are trapped and go out after the held-back
  // ones, in one burst, when the reset ends.
  const size_t mark = m().trace().Start();
  m().V86Out(1, 0x3CF, 0x0A);
  m().V86Out(2, 0x3C4, 0x0300);
  const std::string burst = sim::CompareTraces(
      {io::Out8(0x3C5, 0x01), io::Out8(0x3CE, 0x07), io::Out8(0x3C4, 0x01), io::Out8(0x3CF, 0x0A),
       io::Out16(0x3C4, 0x0300), io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00), io::Traps(4)},
      m().trace().Since(mark));
  EXPECT_TRUE(burst.empty()) << burst;
  EXPECT_EQ(s.adapter().Gc(0x07), 0x0A);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, RoundTrip,
    testing::Values(
        Session{"ColourDacWritingTwoOfATripleFlipFlopData", 0xE3, false, 0x41, 2, true, false},
        Session{"MonoDacReadingOneOfATripleRecording", 0xA2, true, 0x80, 1, false, true},
        Session{"ColourDacReadingTwoAtEntry0Recording", 0xEF, true, 0x00, 2, true, true},
        Session{"MonoDacWritingOneAtEntryFfFlipFlopIndex", 0x66, false, 0xFF, 1, false, false},
        Session{"ColourDacAtATripleBoundary", 0x63, false, 0x10, 0, false, false}),
    [](const testing::TestParamInfo<Session>& info) { return std::string(info.param.name); });

}  // namespace
