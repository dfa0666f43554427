// The comparison every trace check of the suites rests on: one that finds no
// difference where there is one passes them all. A move is compared by the
// digest of its bytes, so a digest blind to them would pass any move.
#include "sim/trace.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

// Digests are FNV-1a ("foobar" is a test vector of it); the bulk entries'
// lines, which no example script prints.
TEST(Trace, BulkEntriesCarryTheirLengthAndDigest) {
  const uint8_t foobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};
  EXPECT_EQ(Format(io::MoveFromBuffer(0xA0000, 0x10000, foobar)),
            "mem move 0xa0000+0x10000 len=0x6 from-buffer digest=0xbf9cf968");
  EXPECT_EQ(Format(io::Fill(0xB8000, 0x20, 0x7FE0, 0x00)), "mem fill 0xb8000+0x20 len=0x7fe0 0x00");
}

TEST(Trace, CompareNamesTheFirstDifference) {
  const std::vector<TraceEntry> two = {io::Out8(0x3C4, 0x04), io::In8(0x3C5, 0x06)};
  const std::vector<TraceEntry> three = {io::Out8(0x3C4, 0x04), io::In8(0x3C5, 0x06), io::Traps(2)};
  struct Case {
    std::vector<TraceEntry> expected, actual;
    const char* message;
  };
  const Case cases[] = {
      {two, two, ""},
      {{io::Out16(0x3C4, 0x0100)},
       {io::Out8(0x3C4, 0x00)},
       "access #0: expected out16 0x3c4 0x0100, got out8 0x3c4 0x00"},
      {{io::Out8(0x3C5, 0x01)},
       {io::In8(0x3C5, 0x01)},
       "access #0: expected out8 0x3c5 0x01, got in8 0x3c5 0x01"},
      {{io::MemWrite8(0xA0000, 0x10, 0x41)},
       {io::MemWrite8(0xA0000, 0x11, 0x41)},
       "access #0: expected mem write8 0xa0000+0x10 0x41, got mem write8 0xa0000+0x11 0x41"},
      {three, two, "access #2: expected traps 2, got nothing"},
      {two, three, "access #2: expected nothing, got traps 2"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareTraces(c.expected, c.actual), c.message);
}

}  // namespace
}  // namespace sim
