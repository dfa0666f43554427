// The trapped port validators, driven as a full-screen session drives them:
// V86 port accesses after IOCTL_VIDEO_ENABLE_VDM, checked on the hardware
// trace and on the recorded state.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "miniport/device_extension.h"
#include "sim/machine.h"
#include "support/linked_only.h"
#include "vdm/vdm.h"

namespace {

using sim::Machine;
using sim::TraceEntry;
namespace io = sim::io;

struct Entry {
  ULONG port;
  UCHAR type;
  ULONG data;
};

// A loaded machine with the validators idle and the sequencer index at 0.
class Session : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m.Load(), 0u);
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0).status, NO_ERROR);
    m.V86Out(1, 0x3C4, 0x00);
    mark = m.trace().Start();
  }

  VgaDeviceExtension& ext() { return *static_cast<VgaDeviceExtension*>(m.DeviceExtension()); }

  void ExpectTrace(const std::vector<TraceEntry>& expected) {
    const std::string diff = sim::CompareTraces(expected, m.trace().Since(mark));
    EXPECT_TRUE(diff.empty()) << diff;
    mark = m.trace().Start();
  }

  void ExpectRecorded(const std::vector<Entry>& entries) {
    ASSERT_EQ(ext().TrappedValidatorCount, entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      const TrappedValidatorEntry& got = ext().TrappedValidatorData[i];
      EXPECT_EQ(got.Port, entries[i].port) << "entry " << i;
      EXPECT_EQ(got.AccessType, entries[i].type) << "entry " << i;
      EXPECT_EQ(got.Data, entries[i].data) << "entry " << i;
    }
  }

  Machine m;
  size_t mark = 0;
};

TEST_F(Session, EnableInstallsTheMinimalTrapSet) {
  ZEL_LINKED_DRIVER_ONLY();
  EXPECT_EQ(ext().NumTrappedAccessRanges, 4u);
  EXPECT_EQ(ext().TrappedAccessRanges, MinimalVgaValidatorAccessRange);
  const uint16_t trapped[] = {0x3C2, 0x3C4, 0x3C5};
  const uint16_t direct[] = {0x3B4, 0x3BA, 0x3C0, 0x3C3, 0x3C6, 0x3CE, 0x3D4, 0x3DA};
  for (uint16_t port : trapped)
    EXPECT_TRUE(m.Trapped(port)) << std::hex << port;
  for (uint16_t port : direct)
    EXPECT_FALSE(m.Trapped(port)) << std::hex << port;
}

TEST_F(Session, ByteResetThroughSr00StartsRecordingWithoutWriting) {
  m.V86Out(1, 0x3C5, 0x01);
  ExpectTrace({io::In8(0x3C4, 0x00), io::Traps(2)});
  ExpectRecorded({{0x15, 1, 0x01}});
  EXPECT_EQ(ext().SequencerAddressValue, 0u);
  EXPECT_EQ(m.adapter().Seq(0), 0x03);
  for (uint16_t port : {0x3B4, 0x3C0, 0x3CE, 0x3DA})
    EXPECT_TRUE(m.Trapped(port)) << port;
}

struct StartCase {
  const char* what;
  unsigned size;
  uint16_t port;
  uint32_t value;
  std::vector<TraceEntry> trace;
  std::vector<Entry> recorded;
};

void PrintTo(const StartCase& c, std::ostream* os) {
  *os << c.what;
}

class RecordingStart : public Session, public testing::WithParamInterface<StartCase> {};

// A wide write to 0x3C4 is index and SR00 value in one and is recorded at its
// full value; any other wide write that reaches 0x3C4 or 0x3C5 is the byte
// writes it is made of, so a reset it begins is recorded all the same.
TEST_P(RecordingStart, WideWriteBeginsAResetAsItsBytesWould) {
  m.V86Out(GetParam().size, GetParam().port, GetParam().value);
  ExpectTrace(GetParam().trace);
  ExpectRecorded(GetParam().recorded);
  EXPECT_EQ(m.adapter().Seq(0), 0x03) << "the sequencer is not held yet";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RecordingStart,
    testing::Values(
        StartCase{"word 0x0100 at 0x3C4", 2, 0x3C4, 0x0100, {io::Traps(2)}, {{0x14, 2, 0x0100}}},
        StartCase{"word 0x0200 at 0x3C4", 2, 0x3C4, 0x0200, {io::Traps(2)}, {{0x14, 2, 0x0200}}},
        StartCase{"dword at 0x3C4", 4, 0x3C4, 0x00000100, {io::Traps(2)}, {{0x14, 3, 0x00000100}}},
        StartCase{
            "dword, high word kept", 4, 0x3C4, 0xABCD0000, {io::Traps(2)}, {{0x14, 3, 0xABCD0000}}},
        StartCase{"word at 0x3C5: SR00 = 1, then the pixel mask",
                  2,
                  0x3C5,
                  0x0701,
                  {io::In8(0x3C4, 0x00), io::Traps(2)},
                  {{0x15, 1, 0x01}, {0x16, 1, 0x07}}},
        StartCase{
            "dword at 0x3C3: index 0, SR00 = 1",
            4,
            0x3C3,
            0x00010001,
            {io::Out8(0x3C3, 0x01), io::Out8(0x3C4, 0x00), io::In8(0x3C4, 0x00), io::Traps(2)},
            {{0x15, 1, 0x01}, {0x16, 1, 0x00}}},
        StartCase{"dword at 0x3C2: misc output under reset, then SR00 = 1",
                  4,
                  0x3C2,
                  0x0100006F,
                  {io::In8(0x3C4, 0x00), io::Out16(0x3C4, 0x0100), io::Out8(0x3C2, 0x67),
                   io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00), io::Out8(0x3C3, 0x00),
                   io::Out8(0x3C4, 0x00), io::In8(0x3C4, 0x00), io::Traps(2)},
                  {{0x15, 1, 0x01}}}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::to_string(info.index); });

struct DirectCase {
  const char* what;
  uint8_t index;  // sequencer index before the write
  unsigned size;
  uint16_t port;
  uint32_t value;
  std::vector<TraceEntry> trace;
};

void PrintTo(const DirectCase& c, std::ostream* os) {
  *os << c.what;
}

class IdleWrite : public Session, public testing::WithParamInterface<DirectCase> {};

TEST_P(IdleWrite, GoesStraightToTheHardware) {
  const DirectCase& c = GetParam();
  m.V86Out(1, 0x3C4, c.index);
  mark = m.trace().Start();
  m.V86Out(c.size, c.port, c.value);
  const std::string diff = sim::CompareTraces(c.trace, m.trace().Since(mark));
  EXPECT_TRUE(diff.empty()) << c.what << ": " << diff;
  EXPECT_EQ(ext().TrappedValidatorCount, 0u) << c.what;
  EXPECT_EQ(m.TrapSet().size(), 4u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Writes, IdleWrite,
    testing::Values(
        // The data test fails first: the index is not even read.
        DirectCase{"SR00 = 3", 0, 1, 0x3C5, 0x03, {io::Out8(0x3C5, 0x03)}},
        DirectCase{
            "0x01 to SR02", 2, 1, 0x3C5, 0x01, {io::In8(0x3C4, 0x02), io::Out8(0x3C5, 0x01)}},
        DirectCase{"word SR00 = 3", 0, 2, 0x3C4, 0x0300, {io::Out16(0x3C4, 0x0300)}},
        DirectCase{"word SR02 = 1", 0, 2, 0x3C4, 0x0102, {io::Out16(0x3C4, 0x0102)}},
        DirectCase{"dword SR00 = 3", 0, 4, 0x3C4, 0xFF000300, {io::Out32(0x3C4, 0xFF000300)}},
        // Bits 8-9 decide, not the whole high byte.
        DirectCase{"word SR00 = 0xF3", 0, 2, 0x3C4, 0xF300, {io::Out16(0x3C4, 0xF300)}}),
    [](const testing::TestParamInfo<DirectCase>& info) { return std::to_string(info.index); });

struct MiscCase {
  unsigned size;
  uint32_t value;
  TraceEntry write;
};

class IdleMisc : public Session, public testing::WithParamInterface<MiscCase> {};

TEST_P(IdleMisc, IsWrittenUnderResetWithClockSelectCleared) {
  m.V86Out(1, 0x3C4, 0x02);
  mark = m.trace().Start();
  m.V86Out(GetParam().size, 0x3C2, GetParam().value);
  ExpectTrace({io::In8(0x3C4, 0x02), io::Out16(0x3C4, 0x0100), GetParam().write,
               io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x02)});
  EXPECT_EQ(m.adapter().Misc(), 0x67);
  EXPECT_EQ(ext().TrappedValidatorCount, 0u);
}

// (A doubleword at 0x3C2 reaches the sequencer: RecordingStart takes it.)
INSTANTIATE_TEST_SUITE_P(Sizes, IdleMisc,
                         testing::Values(MiscCase{1, 0x6F, io::Out8(0x3C2, 0x67)},
                                         MiscCase{2, 0x0F6F, io::Out16(0x3C2, 0x0F67)}));

TEST_F(Session, WordEndOfResetPlaysTheBurstAndGoesIdle) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3C4, 0x02);
  m.V86Out(1, 0x3C5, 0x05);
  m.V86Out(2, 0x3C4, 0x0300);
  ExpectTrace({io::Traps(2), io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x02), io::Out8(0x3C5, 0x05),
               io::Out16(0x3C4, 0x0300), io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00),
               io::Traps(4)});
  EXPECT_EQ(ext().TrappedValidatorCount, 0u);
  EXPECT_EQ(m.adapter().Seq(2), 0x05);
  EXPECT_FALSE(m.Trapped(0x3CE));
}

TEST_F(Session, DwordEndOfResetPlaysTheBurstAtItsOwnSize) {
  m.V86Out(4, 0x3C4, 0x00000100);
  m.V86Out(4, 0x3C4, 0x00000300);
  ExpectTrace({io::Traps(2), io::Out32(0x3C4, 0x00000100), io::Out32(0x3C4, 0x00000300),
               io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00), io::Traps(4)});
  EXPECT_EQ(ext().TrappedValidatorCount, 0u);
}

TEST_F(Session, ByteEndOfResetNeedsIndexZero) {
  m.V86Out(1, 0x3C5, 0x01);
  m.V86Out(1, 0x3C2, 0x0C);  // recorded with the clock select cleared
  m.V86Out(1, 0x3C4, 0x02);
  m.V86Out(1, 0x3C5, 0x03);  // SR02, not SR00: recorded
  ExpectTrace({io::In8(0x3C4, 0x00), io::Traps(2)});
  ExpectRecorded({{0x15, 1, 0x01}, {0x12, 1, 0x04}, {0x14, 1, 0x02}, {0x15, 1, 0x03}});
  EXPECT_EQ(ext().SequencerAddressValue, 2u);

  m.V86Out(1, 0x3C4, 0x00);
  m.V86Out(1, 0x3C5, 0x03);
  ExpectTrace({io::Out8(0x3C5, 0x01), io::Out8(0x3C2, 0x04), io::Out8(0x3C4, 0x02),
               io::Out8(0x3C5, 0x03), io::Out8(0x3C4, 0x00), io::Out8(0x3C5, 0x03),
               io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00), io::Traps(4)});
  EXPECT_EQ(ext().TrappedValidatorCount, 0u);
  EXPECT_EQ(m.adapter().Misc(), 0x04);
}

// A doubleword at 0x3C2 is four bytes: misc output, video enable, and the
// sequencer pair, whose index the recording follows.
TEST_F(Session, MiscOutputIsRecordedWithClockSelectClearedAtEverySize) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3C2, 0x0C);
  m.V86Out(2, 0x3C2, 0xFF0C);
  m.V86Out(4, 0x3C2, 0xFFFFFFFF);
  ExpectRecorded({{0x14, 2, 0x0100},
                  {0x12, 1, 0x04},
                  {0x12, 2, 0xFF04},
                  {0x12, 1, 0xF7},
                  {0x13, 1, 0xFF},
                  {0x14, 1, 0xFF},
                  {0x15, 1, 0xFF}});
  EXPECT_EQ(ext().SequencerAddressValue, 0xFFu);
}

TEST_F(Session, MonochromePortsAreRecordedAtEverySize) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3B4, 0x11);
  m.V86Out(2, 0x3B4, 0x2211);
  m.V86Out(4, 0x3B8, 0x44332211);
  ExpectTrace({io::Traps(2)});
  ExpectRecorded({{0x14, 2, 0x0100}, {0x04, 1, 0x11}, {0x04, 2, 0x2211}, {0x08, 3, 0x44332211}});
}

// At every size: 0x3CC and on are misc output, the bank select register,
// the graphics index and the graphics register it selects.
TEST_F(Session, ReadWhileRecordingPlaysBackReadsAndRecordsOn) {
  for (const unsigned size : {1u, 2u, 4u}) {
    SCOPED_TRACE(size);
    m.adapter().Out8(0x3CD, 0x21);
    m.adapter().Out16(0x3CE, 0x0503);
    m.V86Out(2, 0x3C4, 0x0100);
    m.V86Out(1, 0x3C4, 0x02);
    const uint32_t ports = 0x05030000u | 0x2100u | m.adapter().Misc();
    const uint32_t value = size == 4 ? ports : ports & ((1u << (8 * size)) - 1);
    EXPECT_EQ(m.V86In(size, 0x3CC), value);
    const TraceEntry read = size == 1   ? io::In8(0x3CC, static_cast<uint8_t>(value))
                            : size == 2 ? io::In16(0x3CC, static_cast<uint16_t>(value))
                                        : io::In32(0x3CC, value);
    ExpectTrace({io::Traps(2), io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x02),
                 io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x02), read});
    ExpectRecorded({{0x14, 2, 0x0100}, {0x14, 1, 0x02}});
    EXPECT_EQ(m.TrapSet().size(), 2u);
    EXPECT_EQ(m.adapter().Seq(0), 0x03);
    m.V86Out(2, 0x3C4, 0x0300);  // idle again
    mark = m.trace().Size();
  }
}

// A read-modify-write inside the reset, as programs change SR01: the write
// after the read lands in the register the session selected, not in SR00.
TEST_F(Session, WriteAfterAReadWhileRecordingKeepsTheSessionsIndex) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3C4, 0x01);
  const uint32_t clocking = m.V86In(1, 0x3C5);
  m.V86Out(1, 0x3C5, clocking | 0x01);
  m.V86Out(2, 0x3C4, 0x0300);
  ExpectTrace({io::Traps(2), io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x01),
               io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x01), io::In8(0x3C5, clocking),
               io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x01), io::Out8(0x3C5, clocking | 0x01),
               io::Out16(0x3C4, 0x0300), io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x00),
               io::Traps(4)});
  EXPECT_EQ(m.adapter().Seq(1), clocking | 0x01);
  EXPECT_EQ(m.adapter().Seq(0), 0x03);
}

// The session selected SR02 in the burst: the next burst holds the
// sequencer again and then selects SR02 for the session's next data write.
TEST_F(Session, The99thEntryForcesABurstOf100AndRecordingGoesOn) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3C4, 0x02);
  // 96 more writes: 98 entries at rest, nothing written yet.
  for (int i = 0; i < 96; ++i)
    m.V86Out(1, 0x3C8, static_cast<uint8_t>(i));
  ExpectTrace({io::Traps(2)});
  EXPECT_EQ(ext().TrappedValidatorCount, 98u);

  m.V86Out(1, 0x3C8, 96);
  std::vector<TraceEntry> burst = {io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x02)};
  for (int i = 0; i < 97; ++i)
    burst.push_back(io::Out8(0x3C8, static_cast<uint8_t>(i)));
  burst.push_back(io::Out16(0x3C4, 0x0300));
  ASSERT_EQ(burst.size(), 100u);
  burst.push_back(io::Out8(0x3C4, 0x02));
  ExpectTrace(burst);
  ExpectRecorded({{0x14, 2, 0x0100}, {0x14, 1, 0x02}});
  EXPECT_EQ(m.TrapSet().size(), 2u);

  m.V86Out(1, 0x3C5, 0x05);
  m.V86Out(2, 0x3C4, 0x0300);
  EXPECT_EQ(m.adapter().Seq(2), 0x05);
}

TEST_F(Session, EnableAgainDropsARecordingInProgress) {
  m.V86Out(2, 0x3C4, 0x0100);
  m.V86Out(1, 0x3C4, 0x04);
  ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0).status, NO_ERROR);
  ExpectTrace({io::Traps(2), io::Traps(4)});
  EXPECT_EQ(ext().TrappedValidatorCount, 0u);
  EXPECT_EQ(ext().SequencerAddressValue, 0u);
}

TEST_F(Session, PlaybackSkipsEntriesOfAnUnknownType) {
  ZEL_LINKED_DRIVER_ONLY();
  VgaDeviceExtension& e = ext();
  e.TrappedValidatorCount = 4;
  e.TrappedValidatorData[0] = {0x14, 2, 0x0100};
  e.TrappedValidatorData[1] = {0x1E, 0, 0x05};
  e.TrappedValidatorData[2] = {0x1E, 4, 0x06};
  e.TrappedValidatorData[3] = {0x14, 2, 0x0300};
  EXPECT_TRUE(VgaPlaybackValidatorData(&e));
  ExpectTrace({io::Out16(0x3C4, 0x0100), io::Out16(0x3C4, 0x0300)});
  EXPECT_EQ(e.TrappedValidatorCount, 0u);
}

}  // namespace
