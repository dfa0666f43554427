// The command stream interpreter, played against the simulated adapter and
// checked on the trace.
#include <gtest/gtest.h>

#include <vector>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"
#include "sim/machine.h"

namespace {

using sim::io::In16;
using sim::io::In8;
using sim::io::Out16;
using sim::io::Out8;

class CommandStream : public ::testing::Test {
 protected:
  CommandStream() {
    ext_.IoBase = reinterpret_cast<PUCHAR>(0x3B0);
    machine_.trace().Start();
  }

  ULONG Play(const std::vector<USHORT>& words) {
    const size_t mark = machine_.trace().Start();
    const ULONG result = VgaInterpretCmdStream(&ext_, words.data());
    played_ = machine_.trace().Since(mark);
    return result;
  }

  sim::Machine machine_;
  VgaDeviceExtension ext_{};
  std::vector<sim::TraceEntry> played_;
};

TEST_F(CommandStream, NoStreamOrAnEmptyOneSucceedsWithoutTouchingPorts) {
  const size_t mark = machine_.trace().Start();
  EXPECT_EQ(VgaInterpretCmdStream(&ext_, nullptr), 1u);
  EXPECT_EQ(Play({0x0000}), 1u);
  EXPECT_EQ(machine_.trace().Size(), mark);
}

struct StreamCase {
  const char* name;
  std::vector<USHORT> words;
  ULONG result;
  std::vector<sim::TraceEntry> accesses;
};

class CommandStreamCases : public CommandStream,
                           public ::testing::WithParamInterface<StreamCase> {};

TEST_P(CommandStreamCases, PlaysExactlyTheseAccesses) {
  const StreamCase& c = GetParam();
  EXPECT_EQ(Play(c.words), c.result);
  // Reads return whatever the adapter holds: compare them by port only.
  std::vector<sim::TraceEntry> actual = played_;
  std::vector<sim::TraceEntry> expected = c.accesses;
  for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
    if (expected[i].kind == sim::AccessKind::In) expected[i].value = actual[i].value;
  }
  const std::string mismatch = sim::CompareTraces(expected, actual);
  EXPECT_TRUE(mismatch.empty()) << mismatch;
}

INSTANTIATE_TEST_SUITE_P(
    Decoding, CommandStreamCases,
    ::testing::Values(
        StreamCase{"HighByteOfTheCommandIsIgnored",
                   {0x0110, 0x0014, 0x0002, 0x0000},
                   1,
                   {Out8(0x3C4, 0x02)}},
        StreamCase{"ZeroLowByteInANonzeroWordStops", {0x0100, 0x0014, 0x0002, 0x0000}, 0, {}},
        StreamCase{"BitZeroOfTheFamilyIsIgnored",
                   {0x0011, 0x0014, 0x0102, 0x0000},
                   1,
                   {Out8(0x3C4, 0x02)}},
        StreamCase{"ReadWinsOverRunAndConsumesOnlyThePort",
                   {0x001A, 0x001C, 0x0010, 0x0014, 0x0001, 0x0000},
                   1,
                   {In8(0x3CC, 0), Out8(0x3C4, 0x01)}},
        StreamCase{"WordRead", {0x001C, 0x0014, 0x0000}, 1, {In16(0x3C4, 0)}},
        StreamCase{"WordWrite", {0x0014, 0x0024, 0x8013, 0x0000}, 1, {Out16(0x3D4, 0x8013)}},
        StreamCase{"ByteRunWritesLowBytesInOrder",
                   {0x0012, 0x0010, 0x0003, 0x0110, 0x0203, 0x0304, 0x0000},
                   1,
                   {Out8(0x3C0, 0x10), Out8(0x3C0, 0x03), Out8(0x3C0, 0x04)}},
        StreamCase{"EmptyRunWritesNothing", {0x0016, 0x0014, 0x0000, 0x0000}, 1, {}},
        StreamCase{"IndexedOutOfOneRegister",
                   {0x0020, 0x0024, 0x0001, 0x0013, 0x0080, 0x0000},
                   1,
                   {Out16(0x3D4, 0x8013)}},
        StreamCase{"IndexedOutCountsIndicesUp",
                   {0x0020, 0x001E, 0x0002, 0x0007, 0x00AA, 0x01BB, 0x0000},
                   1,
                   {Out16(0x3CE, 0xAA07), Out16(0x3CE, 0xBB08)}},
        StreamCase{"IndexedOutConsumesTheIndexWhenEmpty",
                   {0x0020, 0x0024, 0x0000, 0x0013, 0x0010, 0x0014, 0x0001, 0x0000},
                   1,
                   {Out8(0x3C4, 0x01)}},
        StreamCase{"PairedOutWritesIndexThenValue",
                   {0x0021, 0x0010, 0x0002, 0x0010, 0x0041, 0x0000, 0x0000},
                   1,
                   {Out8(0x3C0, 0x10), Out8(0x3C0, 0x41), Out8(0x3C0, 0x11), Out8(0x3C0, 0x00)}},
        StreamCase{"NopFamilyDoesNothing", {0x00F0, 0x00FF, 0x0000}, 1, {}},
        StreamCase{"UnrecognisedFamilyStopsAfterEarlierWrites",
                   {0x0010, 0x0014, 0x0003, 0x0023, 0x0010, 0x0014, 0x0004, 0x0000},
                   0,
                   {Out8(0x3C4, 0x03)}},
        StreamCase{"LowOpcodesAreUnrecognised", {0x0005, 0x0000}, 0, {}},
        StreamCase{"FamilyThirtyIsUnrecognised", {0x0030, 0x0000}, 0, {}},
        StreamCase{"BytePortBeyondTheBlockStops", {0x0010, 0x0030, 0x0001, 0x0000}, 0, {}},
        StreamCase{"LastPortOfTheBlockTakesBytes",
                   {0x0010, 0x002F, 0x0001, 0x0000},
                   1,
                   {Out8(0x3DF, 0x01)}},
        StreamCase{"WordPortOnTheLastByteStops", {0x0014, 0x002F, 0x0001, 0x0000}, 0, {}},
        StreamCase{
            "WordPortJustInside", {0x0014, 0x002E, 0x0201, 0x0000}, 1, {Out16(0x3DE, 0x0201)}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TEST_F(CommandStream, MaskedOutForcesBitZeroAndKeepsTheRest) {
  machine_.adapter().Out8(0x3C4, 0x02);  // SR02, the map mask
  machine_.adapter().Out8(0x3C5, 0x0A);
  machine_.adapter().Out8(0x3C4, 0x02);
  EXPECT_EQ(Play({0x0022, 0x0015, 0x00FE, 0x0001, 0x0000}), 1u);
  EXPECT_EQ(machine_.adapter().Seq(0x02), 0x0B);
  ASSERT_EQ(played_.size(), 2u);
  EXPECT_EQ(sim::Format(played_[1]), "io out8 0x3c5 0x0b");
}

TEST_F(CommandStream, EnableA000DataIsSevenWritesInThreeRuns) {
  EXPECT_EQ(VgaInterpretCmdStream(&ext_, EnableA000Data), 1u);
  const std::vector<sim::TraceEntry> expected = {
      Out16(0x3C4, 0x0100), Out16(0x3CE, 0x0204), Out16(0x3CE, 0x0005), Out16(0x3CE, 0x0406),
      Out16(0x3C4, 0x0402), Out16(0x3C4, 0x0404), Out16(0x3C4, 0x0300)};
  const std::string mismatch = sim::CompareTraces(expected, machine_.trace().Entries());
  EXPECT_TRUE(mismatch.empty()) << mismatch;
  EXPECT_EQ(machine_.adapter().Gc(0x06), 0x04);
  EXPECT_EQ(machine_.adapter().Seq(0x02), 0x04);
}

TEST_F(CommandStream, DisableA000ColorReturnsToOddEvenText) {
  EXPECT_EQ(VgaInterpretCmdStream(&ext_, DisableA000Color), 1u);
  EXPECT_EQ(machine_.adapter().Gc(0x04), 0x00);
  EXPECT_EQ(machine_.adapter().Gc(0x05), 0x10);
  EXPECT_EQ(machine_.adapter().Gc(0x06), 0x0E);
  EXPECT_EQ(machine_.adapter().Seq(0x02), 0x03);
  EXPECT_EQ(machine_.adapter().Seq(0x04), 0x02);
  EXPECT_EQ(machine_.adapter().Seq(0x00), 0x03);
}

}  // namespace
