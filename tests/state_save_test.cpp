// IOCTL_VIDEO_SAVE_HARDWARE_STATE: the buffer's header and blocks, the probes
// of the DAC position and the attribute flip-flop, the latches and the planes
// reached through the 0xA0000 window, checked on the trace and the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/driver_session.h"
#include "vdm/vdm.h"

namespace {

namespace io = sim::io;

constexpr uint32_t kStateSize = 264359;
constexpr ULONG k1024x768x8 = 12;

uint32_t Load32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

class Save : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(s.LoadStatus(), 0u);
    a().StickStatusBits(0x09, 0x00);
  }
  sim::Adapter& a() { return s.adapter(); }

  // A colour setup with known registers: misc 0x67, pixel mask 0xFF, DAC
  // entry 0 = (1, 2, 3), attribute index 0x32 with AR12 = 0x0F and the
  // flip-flop in the data state, sequencer index 2.
  void KnownSetup() {
    a().Out8(0x3C2, 0x67);
    a().Out8(0x3C6, 0xFF);
    a().Out8(0x3C8, 0x00);
    for (uint8_t c : {0x01, 0x02, 0x03})
      a().Out8(0x3C9, c);
    a().In8(0x3DA);
    a().Out8(0x3C0, 0x32);
    a().Out8(0x3C0, 0x0F);
    a().In8(0x3DA);
    a().Out8(0x3C0, 0x32);
    a().Out8(0x3C4, 0x02);
  }

  sim::Machine::Result Run(ULONG outLength = 8) {
    record = {reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(buffer.data()), 0xDEAD};
    mark = s.Mark();
    return s.machine().Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, outLength);
  }
  const VIDEO_HARDWARE_STATE_HEADER& Header() const { return *record.StateHeader; }
  uint8_t PortSlot(uint16_t port) const { return Header().PortValue[port - 0x3B0]; }

  test::DriverSession s;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kStateSize, 0xEE);
  VIDEO_HARDWARE_STATE record{};
  size_t mark = 0;
};

TEST_F(Save, OutputOfSevenBytesIsRefusedUntouched) {
  const auto result = Run(7);
  EXPECT_EQ(result.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(result.information, 0u);
  EXPECT_EQ(record.StateLength, 0xDEADu);
  EXPECT_TRUE(s.Since(mark).empty());
  EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(Save, HeaderLaysOutTheBlocksAndLeavesReservedAreasAlone) {
  const auto result = Run(8);
  ASSERT_EQ(result.status, NO_ERROR);
  EXPECT_EQ(result.information, 8u);
  EXPECT_EQ(record.StateLength, 264359u);
  struct Field {
    size_t offset;
    uint32_t value;
  };
  // Length, AttribIndexDataState (the BIOS gave the palette back to the
  // display with index 0x20: the data state), the basic and extended
  // offsets, the validator offset (idle: 0), misc data, PlaneLength, the
  // planes, VGAStateFlags, and the DIB fields.
  const Field fields[] = {
      {0, 156},  {52, 1},      {56, 156},   {60, 161},    {64, 186},     {68, 195},     {72, 216},
      {76, 984}, {80, 988},    {84, 990},   {88, 998},    {92, 998},     {96, 999},     {100, 0},
      {104, 0},  {108, 65536}, {112, 2215}, {116, 67751}, {120, 133287}, {124, 198823}, {128, 5},
      {132, 0},  {136, 0},     {140, 0},    {144, 0},     {148, 0},      {152, 0},
  };
  for (const Field& f : fields)
    EXPECT_EQ(Load32(buffer, f.offset), f.value) << "at " << f.offset;
  // Reserved extended areas and the idle validator block keep the caller's bytes.
  for (size_t offset : {988u, 989u, 990u, 997u, 998u, 999u, 1600u, 2214u}) {
    EXPECT_EQ(buffer[offset], 0xEE) << "at " << offset;
  }
}

TEST_F(Save, ProbesInOrderFromMiscOutputToTheRunningSequencer) {
  KnownSetup();
  a().Out8(0x3C8, 0x41);
  a().Out8(0x3C9, 0x11);
  a().Out8(0x3C9, 0x12);
  ASSERT_EQ(Run().status, NO_ERROR);
  const std::vector<sim::TraceEntry> expected = {
      io::In8(0x3CC, 0x67),
      io::Out8(0x3C3, 0x01),
      io::In8(0x3C6, 0xFF),
      io::In8(0x3C8, 0x41),
      io::In8(0x3C7, 0x00),
      io::Out8(0x3C9, 0x00),
      io::In8(0x3C8, 0x42),
      io::Out8(0x3C7, 0x00),
      io::In8(0x3C9, 0x01),
      io::In8(0x3C9, 0x02),
      io::In8(0x3C9, 0x03),
      io::Out8(0x3C8, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C9, 0x00),
      io::Out8(0x3C6, 0x00),
      // The flip-flop probed as the session left it: the probe went to
      // AR12, which gets its value back.
      io::In8(0x3C0, 0x32),
      io::In8(0x3C1, 0x0F),
      io::In8(0x3C4, 0x02),
      io::Out16(0x3C4, 0x0100),
      io::Out8(0x3C0, 0x22),
      io::In8(0x3C0, 0x32),
      io::Out8(0x3C0, 0x32),
      io::Out8(0x3C0, 0x0F),
      io::In8(0x3CC, 0x67),
      io::In8(0x3DA, 0x00),
      io::Out16(0x3C4, 0x0300),
      io::Out8(0x3C7, 0x01),
  };
  std::vector<sim::TraceEntry> got = s.Since(mark);
  got.resize(std::min(got.size(), expected.size()));
  const std::string diff = sim::CompareTraces(expected, got);
  EXPECT_TRUE(diff.empty()) << diff;
  EXPECT_EQ(PortSlot(0x3C7), 0x20);
  EXPECT_EQ(Header().AttribIndexDataState, 1u);
  EXPECT_EQ(a().Attr(0x12), 0x0F);
}

struct DacCase {
  bool readMode;
  int moved;
  uint8_t slot;  // the saved 0x3C7 byte
};

class DacPosition : public Save, public testing::WithParamInterface<DacCase> {};

TEST_P(DacPosition, IsRecordedInTheDacStateSlot) {
  const DacCase& c = GetParam();
  if (c.readMode) {
    a().Out8(0x3C7, 0x41);
    for (int k = 0; k < c.moved; ++k)
      a().In8(0x3C9);
  } else {
    a().Out8(0x3C8, 0x41);
    for (int k = 0; k < c.moved; ++k)
      a().Out8(0x3C9, 0x30);
  }
  ASSERT_EQ(Run().status, NO_ERROR);
  EXPECT_EQ(PortSlot(0x3C7), c.slot);
}

INSTANTIATE_TEST_SUITE_P(Positions, DacPosition,
                         testing::Values(DacCase{false, 0, 0x00}, DacCase{false, 1, 0x10},
                                         DacCase{false, 2, 0x20}, DacCase{true, 0, 0x03},
                                         DacCase{true, 1, 0x13}, DacCase{true, 2, 0x23}));

struct AddressingCase {
  uint8_t misc;
  uint16_t crtcSlot, featureSlot;  // where the CRTC index and feature control go
  uint16_t otherCrtcSlot, otherFeatureSlot;
};

class Addressing : public Save, public testing::WithParamInterface<AddressingCase> {};

TEST_P(Addressing, PicksTheSlotsAndTheCrtcPorts) {
  const AddressingCase& c = GetParam();
  a().Out8(0x3C2, c.misc);
  const uint16_t crtc = c.crtcSlot;
  a().Out8(static_cast<uint16_t>(crtc + 6), 0x01);  // feature control
  a().Out16(crtc, 0x0011);                          // CR00-CR07 writable
  a().Out16(crtc, 0x0203);                          // CR03 = 0x02: bit 7 clear
  a().Out8(crtc, 0x0C);
  ASSERT_EQ(Run().status, NO_ERROR);
  EXPECT_EQ(PortSlot(c.crtcSlot), 0x0C);
  EXPECT_EQ(PortSlot(c.featureSlot), 0x01);
  EXPECT_EQ(PortSlot(c.otherCrtcSlot), 0x00);
  EXPECT_EQ(PortSlot(c.otherFeatureSlot), 0x00);
  EXPECT_EQ(buffer[161 + 3], 0x02) << "CR03 as found";
  EXPECT_EQ(a().Crtc(0x03), 0x82) << "bit 7 left set";
  bool sawCrtcData = false;
  for (const sim::TraceEntry& e : s.Since(mark)) {
    if (e.kind == sim::AccessKind::In && e.address == crtc + 1u) sawCrtcData = true;
    EXPECT_FALSE(e.address == c.otherCrtcSlot && e.kind != sim::AccessKind::MemWrite &&
                 e.kind != sim::AccessKind::MemRead)
        << sim::Format(e);
  }
  EXPECT_TRUE(sawCrtcData);
}

INSTANTIATE_TEST_SUITE_P(ColourAndMono, Addressing,
                         testing::Values(AddressingCase{0x67, 0x3D4, 0x3DA, 0x3B4, 0x3BA},
                                         AddressingCase{0x66, 0x3B4, 0x3BA, 0x3D4, 0x3DA}));

// A linear mode points FrameBufferView at the aperture; the latches and the
// planes still come from the planes behind the 0xA0000 window, from bank 0
// with the window open, whatever a display driver left in 0x3CD and misc
// output.
TEST_F(Save, LatchesAndPlanesComeThroughTheA0000WindowInALinearMode) {
  ASSERT_EQ(s.SetMode(k1024x768x8), NO_ERROR);
  a().Out16(0x3CE, 0x0506);  // 0xA0000 for 64 KB, graphics
  a().Out16(0x3CE, 0x0005);
  a().Out16(0x3C4, 0x0604);
  const uint8_t bytes[4] = {0x10, 0x21, 0x32, 0x43};
  for (int p = 0; p < 4; ++p) {
    a().Out16(0x3C4, static_cast<uint16_t>((1 << p) << 8 | 0x02));
    a().MemWrite8(0xA0000 + 0x0100, bytes[p]);
    a().MemWrite8(0xA0000 + 0x0200, static_cast<uint8_t>(0xA0 + p));
  }
  a().MemRead8(0xA0000 + 0x0100);  // the latches: 0x10, 0x21, 0x32, 0x43
  a().Out8(0x3CD, 0x11);
  a().Out8(0x3C2, a().Misc() & 0xFD);
  ASSERT_EQ(Run().status, NO_ERROR);

  const std::vector<sim::TraceEntry> trace = s.Since(mark);
  EXPECT_NE(std::find(trace.begin(), trace.end(), io::MemWrite8(0xA0000, 0xFFFF, 0x00)),
            trace.end())
      << "the latch store goes to 0xA0000 + 0xFFFF";
  for (int p = 0; p < 4; ++p) {
    SCOPED_TRACE(testing::Message() << "plane " << p);
    EXPECT_EQ(buffer[984 + p], bytes[p]);
    const size_t plane = 2215 + p * 65536u;
    EXPECT_EQ(buffer[plane + 0xFFFF], bytes[p]);
    EXPECT_EQ(buffer[plane + 0x0100], bytes[p]);
    EXPECT_EQ(buffer[plane + 0x0200], 0xA0 + p);
  }
}

TEST_F(Save, ARecordingInProgressWritesTheValidatorBlock) {
  ASSERT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  s.machine().V86Out(1, 0x3C4, 0x00);
  s.machine().V86Out(1, 0x3C5, 0x01);
  s.machine().V86Out(2, 0x3CE, 0x0F02);
  ASSERT_EQ(Run().status, NO_ERROR);
  EXPECT_EQ(Header().VGAStateFlags, 7u);
  EXPECT_EQ(Header().ExtendedValidatorStateOffset, 999u);
  struct Field {
    size_t offset;
    uint32_t value;
  };
  // count 2: (0x15, byte, 0x01) and (0x1E, word, 0x0F02); then the
  // sequencer index 0 and the trap set in force, the full table's 2 rows.
  const Field fields[] = {{999, 2},  {1003, 0x15},   {1007, 1}, {1011, 0x01}, {1015, 0x1E},
                          {1019, 2}, {1023, 0x0F02}, {2203, 0}, {2207, 2}};
  for (const Field& f : fields) {
    const uint32_t got =
        f.offset == 1007 || f.offset == 1019 ? buffer[f.offset] : Load32(buffer, f.offset);
    EXPECT_EQ(got, f.value) << "at " << f.offset;
  }
  EXPECT_EQ(Load32(buffer, 2211),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(FullVgaValidatorAccessRange)));
}

}  // namespace
