// The trace's one-line form and the message that names where two access
// sequences part.
#include "sim/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sim {
namespace {

struct FormatCase {
  TraceEntry entry;
  const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.text;
}

class TraceFormat : public ::testing::TestWithParam<FormatCase> {};

const uint8_t kA[] = {'a'};
const uint8_t kFoobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};

TEST_P(TraceFormat, WritesTheEntryAsOneLine) {
  EXPECT_EQ(Format(GetParam().entry), GetParam().text);
}

// Values are padded to the access size, ports and offsets are not.
INSTANTIATE_TEST_SUITE_P(
    EveryKindAndSize, TraceFormat,
    ::testing::Values(
        FormatCase{io::Out8(0x3C4, 0x05), "io out8 0x3c4 0x05"},
        FormatCase{io::In8(0x3DA, 0x00), "io in8 0x3da 0x00"},
        FormatCase{io::In16(0x3C4, 0x8605), "io in16 0x3c4 0x8605"},
        FormatCase{io::Out16(0x3CE, 0x0005), "io out16 0x3ce 0x0005"},
        FormatCase{io::In32(0xCFC, 0x7A521F4B), "io in32 0xcfc 0x7a521f4b"},
        FormatCase{io::Out32(0xCF8, 0x80010000), "io out32 0xcf8 0x80010000"},
        FormatCase{io::MemWrite8(0xA0000, 0xFFFF, 0x00), "mem write8 0xa0000+0xffff 0x00"},
        FormatCase{io::MemRead8(0xC0000, 0x0, 0x55), "mem read8 0xc0000+0x0 0x55"},
        FormatCase{io::Bios(0x00000003, 0), "bios int10 eax=0x00000003 status=0"},
        FormatCase{io::Bios(0x4F15, 87), "bios int10 eax=0x00004f15 status=87"},
        FormatCase{io::Bios(0x0003, 0xC000000E), "bios int10 eax=0x00000003 status=0xc000000e"},
        FormatCase{io::Traps(4), "traps 4"}, FormatCase{io::Traps(0), "traps 0"},
        // Digests of the FNV-1a test vectors "a" and "foobar".
        FormatCase{io::MoveToBuffer(0xA0000, 0x0, kA),
                   "mem move 0xa0000+0x0 len=0x1 to-buffer digest=0xe40c292c"},
        FormatCase{io::MoveFromBuffer(0xA0000, 0x10000, kFoobar),
                   "mem move 0xa0000+0x10000 len=0x6 from-buffer digest=0xbf9cf968"},
        FormatCase{io::Fill(0xB8000, 0x20, 0x7FE0, 0x00),
                   "mem fill 0xb8000+0x20 len=0x7fe0 0x00"}));

struct CompareCase {
  const char* name;
  std::vector<TraceEntry> expected;
  std::vector<TraceEntry> actual;
  const char* message;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
  *os << c.name;
}

class TraceCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(TraceCompare, NamesTheFirstDifference) {
  EXPECT_EQ(CompareTraces(GetParam().expected, GetParam().actual), GetParam().message);
}

const std::vector<TraceEntry> kPrefix = {io::Out8(0x3C4, 0x04), io::In8(0x3C4, 0x04),
                                         io::In8(0x3C5, 0x06), io::Out16(0x3C4, 0x0100),
                                         io::Out8(0x3C4, 0x04)};

std::vector<TraceEntry> With(std::vector<TraceEntry> entries, const TraceEntry& last) {
  entries.push_back(last);
  return entries;
}

INSTANTIATE_TEST_SUITE_P(
    EveryShape, TraceCompare,
    ::testing::Values(
        CompareCase{"Equal", kPrefix, kPrefix, ""}, CompareCase{"BothEmpty", {}, {}, ""},
        CompareCase{"SizeDiffers", With(kPrefix, io::Out16(0x3C4, 0x0100)),
                    With(kPrefix, io::Out8(0x3C4, 0x00)),
                    "access #5: expected out16 0x3c4 0x0100, got out8 0x3c4 0x00"},
        CompareCase{"ValueDiffers",
                    {io::In8(0x3CE, 0x04)},
                    {io::In8(0x3CE, 0x00)},
                    "access #0: expected in8 0x3ce 0x04, got in8 0x3ce 0x00"},
        CompareCase{"PortDiffers",
                    {io::Out8(0x3D4, 0x11)},
                    {io::Out8(0x3B4, 0x11)},
                    "access #0: expected out8 0x3d4 0x11, got out8 0x3b4 0x11"},
        CompareCase{"DirectionDiffers",
                    {io::Out8(0x3C5, 0x01)},
                    {io::In8(0x3C5, 0x01)},
                    "access #0: expected out8 0x3c5 0x01, got in8 0x3c5 0x01"},
        CompareCase{"MemoryOffsetDiffers",
                    {io::MemWrite8(0xA0000, 0x10, 0x41)},
                    {io::MemWrite8(0xA0000, 0x11, 0x41)},
                    "access #0: expected mem write8 0xa0000+0x10 0x41, got mem write8 "
                    "0xa0000+0x11 0x41"},
        CompareCase{"BiosAgainstPort",
                    {io::Bios(0x12, 0)},
                    {io::Out8(0x3C4, 0x00)},
                    "access #0: expected bios int10 eax=0x00000012 status=0, got out8 0x3c4 0x00"},
        CompareCase{"ActualStopsEarly", With(kPrefix, io::Out8(0x3C5, 0x01)), kPrefix,
                    "access #5: expected out8 0x3c5 0x01, got nothing"},
        CompareCase{"ActualGoesOn", kPrefix, With(kPrefix, io::Traps(2)),
                    "access #5: expected nothing, got traps 2"},
        CompareCase{"NothingHappened",
                    {io::Out8(0x3C5, 0x01)},
                    {},
                    "access #0: expected out8 0x3c5 0x01, got nothing"}),
    [](const auto& info) { return info.param.name; });

TEST(TraceWrites, KeepsPortWritesOnlyInOrder) {
  const std::vector<TraceEntry> all = {
      io::In8(0x3CC, 0x67),        io::Out8(0x3C4, 0x01),       io::MemWrite8(0xA0000, 0, 1),
      io::Out16(0x3CE, 0xFF08),    io::Bios(0x03, 0),           io::Traps(4),
      io::MemRead8(0xA0000, 0, 1), io::Out32(0xCF8, 0x80010000)};
  const std::vector<TraceEntry> writes = {io::Out8(0x3C4, 0x01), io::Out16(0x3CE, 0xFF08),
                                          io::Out32(0xCF8, 0x80010000)};
  EXPECT_EQ(CompareTraces(writes, Writes(all)), "");
}

TEST(TraceRecording, SinceAMarkAndTheListenerSeeEachEntryOnce) {
  Trace trace;
  trace.Record(io::Out8(0x3C4, 0x01));  // before recording starts: lost
  EXPECT_EQ(trace.Start(), 0u);
  std::vector<std::string> heard;
  trace.SetListener([&](const TraceEntry& e) { heard.push_back(Format(e)); });
  trace.Record(io::Out8(0x3C4, 0x02));
  const size_t mark = trace.Size();
  trace.Record(io::In8(0x3C5, 0x0F));
  trace.Record(io::Traps(2));

  EXPECT_EQ(CompareTraces({io::In8(0x3C5, 0x0F), io::Traps(2)}, trace.Since(mark)), "");
  EXPECT_TRUE(trace.Since(3).empty());
  EXPECT_TRUE(trace.Since(10).empty());
  EXPECT_EQ(heard,
            (std::vector<std::string>{"io out8 0x3c4 0x02", "io in8 0x3c5 0x0f", "traps 2"}));
  trace.Clear();
  EXPECT_EQ(trace.Size(), 0u);
}

}  // namespace
}  // namespace sim
