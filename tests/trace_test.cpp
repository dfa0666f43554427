// The trace's one-line form and the message that names where two access
// sequences part: every failing trace check in the suites prints these, and
// a comparison that finds no difference where there is one passes them all.
// (Recording, marks, the listener and the write filter: every trace check
// of the suites and zelctl's sessions.)
#include "sim/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sim {
namespace {

// Values are padded to the access size, ports and offsets are not; digests
// are FNV-1a ("foobar" is a test vector of it).
TEST(Trace, FormatWritesEachKindOfEntryAsOneLine) {
  const uint8_t foobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};
  const std::pair<TraceEntry, const char*> cases[] = {
      {io::Out8(0x3C4, 0x05), "io out8 0x3c4 0x05"},
      {io::Out32(0xCF8, 0x80010000), "io out32 0xcf8 0x80010000"},
      {io::MemWrite8(0xA0000, 0xFFFF, 0x00), "mem write8 0xa0000+0xffff 0x00"},
      {io::Bios(0x4F15, 87), "bios int10 eax=0x00004f15 status=87"},
      {io::Bios(0x0003, 0xC000000E), "bios int10 eax=0x00000003 status=0xc000000e"},
      {io::Traps(4), "traps 4"},
      {io::MoveFromBuffer(0xA0000, 0x10000, foobar),
       "mem move 0xa0000+0x10000 len=0x6 from-buffer digest=0xbf9cf968"},
      {io::Fill(0xB8000, 0x20, 0x7FE0, 0x00), "mem fill 0xb8000+0x20 len=0x7fe0 0x00"},
  };
  for (const auto& [entry, text] : cases)
    EXPECT_EQ(Format(entry), text);
}

TEST(Trace, CompareNamesTheFirstDifference) {
  const std::vector<TraceEntry> prefix = {io::Out8(0x3C4, 0x04), io::In8(0x3C5, 0x06)};
  auto with = [&](const TraceEntry& last) {
    std::vector<TraceEntry> entries = prefix;
    entries.push_back(last);
    return entries;
  };
  struct Case {
    std::vector<TraceEntry> expected, actual;
    const char* message;
  };
  const Case cases[] = {
      {prefix, prefix, ""},
      {with(io::Out16(0x3C4, 0x0100)), with(io::Out8(0x3C4, 0x00)),
       "access #2: expected out16 0x3c4 0x0100, got out8 0x3c4 0x00"},
      {{io::Out8(0x3C5, 0x01)},
       {io::In8(0x3C5, 0x01)},
       "access #0: expected out8 0x3c5 0x01, got in8 0x3c5 0x01"},
      {{io::MemWrite8(0xA0000, 0x10, 0x41)},
       {io::MemWrite8(0xA0000, 0x11, 0x41)},
       "access #0: expected mem write8 0xa0000+0x10 0x41, got mem write8 0xa0000+0x11 0x41"},
      {with(io::Out8(0x3C5, 0x01)), prefix, "access #2: expected out8 0x3c5 0x01, got nothing"},
      {prefix, with(io::Traps(2)), "access #2: expected nothing, got traps 2"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareTraces(c.expected, c.actual), c.message);
}

}  // namespace
}  // namespace sim
