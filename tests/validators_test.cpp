// The trapped port validators, driven as a full-screen session drives them:
// V86 port accesses after IOCTL_VIDEO_ENABLE_VDM, checked on the hardware
// trace and on the recorded entries.
#include <gtest/gtest.h>

#include <span>
#include <tuple>
#include <vector>

#include "tests/support/bus.h"
#include "tests/support/driver_session.h"
#include "vdm/vdm.h"

namespace {

namespace io = sim::io;
using sim::TraceEntry;

using Entry = std::tuple<ULONG, int, ULONG>;  // port minus 0x3B0, access type, data

// One access of the session; size 0 is IOCTL_VIDEO_ENABLE_VDM. A read
// expects `value`.
struct Access {
  unsigned size;
  uint16_t port;
  uint32_t value;
  bool read = false;
};

// The accesses played on a loaded driver with the validators idle and the
// sequencer index at 0: what they did on the bus.
std::vector<TraceEntry> Play(test::DriverSession& s, const std::vector<Access>& accesses) {
  EXPECT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  s.machine().V86Out(1, 0x3C4, 0x00);
  const size_t mark = s.Mark();
  for (const Access& a : accesses) {
    if (a.size == 0) {
      EXPECT_EQ(s.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
    } else if (a.read) {
      EXPECT_EQ(s.machine().V86In(a.size, a.port), a.value) << "in from " << std::hex << a.port;
    } else {
      s.machine().V86Out(a.size, a.port, a.value);
    }
  }
  return s.Since(mark);
}

struct Case {
  const char* what;
  std::vector<Access> accesses;
  std::vector<TraceEntry> trace;
  std::vector<Entry> recorded = {};  // none: idle, the minimal trap set back in force
};

// At 99 entries the burst of 100 goes out and recording goes on, the next
// burst selecting the session's SR02 again.
Case NinetyNinthEntry() {
  Case c{"the 99th entry forces a burst of 100",
         {{2, 0x3C4, 0x0100}, {1, 0x3C4, 0x02}},
         {io::Traps(2), io::Out16(0x3C4, 0x0100), io::Out8(0x3C4, 0x02)},
         {{0x14, 2, 0x0100}, {0x14, 1, 0x02}}};
  for (uint8_t i = 0; i < 97; ++i) {
    c.accesses.push_back({1, 0x3C8, i});
    c.trace.push_back(io::Out8(0x3C8, i));
  }
  c.trace.insert(c.trace.end(), {io::Out16(0x3C4, 0x0300), io::Out8(0x3C4, 0x02)});
  return c;
}

// Every sequence on the bus and in the recording. A wide write to 0x3C4 is
// index and SR00 value in one and is recorded whole; any other wide write
// reaching 0x3C4 or 0x3C5, or reaching misc output from below, is the byte
// writes it is made of. Misc output goes
// out under a reset with its clock select cleared, recorded or not. A read
// while recording plays the burst, reads, and records on with the session's
// sequencer index.
TEST(Validators, SessionSequences) {
  const auto held = io::Out16(0x3C4, 0x0100);
  const auto run = io::Out16(0x3C4, 0x0300);
  // Accesses: size (0: enable again), port, value, read. Recorded entries:
  // port - 0x3B0, access type, data.
  // clang-format off
  const Case cases[] = {
      // Idle: straight to the hardware; the data test fails before the index is read.
      {"byte SR00 = 3", {{1, 0x3C5, 0x03}}, {io::Out8(0x3C5, 0x03)}},
      {"byte SR02 = 1", {{1, 0x3C4, 0x02}, {1, 0x3C5, 0x01}},
       {io::Out8(0x3C4, 0x02), io::In8(0x3C4, 0x02), io::Out8(0x3C5, 0x01)}},
      {"word SR00 = 3", {{2, 0x3C4, 0x0300}}, {run}},
      {"word SR02 = 1", {{2, 0x3C4, 0x0102}}, {io::Out16(0x3C4, 0x0102)}},
      {"dword SR00 = 3", {{4, 0x3C4, 0xFF000300}}, {io::Out32(0x3C4, 0xFF000300)}},
      {"word SR00 = 0xF3: bits 8-9 decide", {{2, 0x3C4, 0xF300}}, {io::Out16(0x3C4, 0xF300)}},
      {"byte misc output", {{1, 0x3C4, 0x02}, {1, 0x3C2, 0x6F}},
       {io::Out8(0x3C4, 0x02), io::In8(0x3C4, 0x02), held, io::Out8(0x3C2, 0x67), run, io::Out8(0x3C4, 0x02)}},
      {"word misc output", {{2, 0x3C2, 0x0F6F}},
       {io::In8(0x3C4, 0x00), held, io::Out16(0x3C2, 0x0F67), run, io::Out8(0x3C4, 0x00)}},
      // Wider writes that reach misc output from below it are their bytes:
      // the misc byte goes out under a reset, its clock select cleared.
      {"word at 0x3C1 reaching misc output", {{2, 0x3C1, 0x6F00}},
       {io::Out8(0x3C1, 0x00), io::In8(0x3C4, 0x00), held, io::Out8(0x3C2, 0x67), run, io::Out8(0x3C4, 0x00)}},
      {"dword at 0x3C0 reaching misc output", {{4, 0x3C0, 0xAB6F0000}},
       {io::Out8(0x3C0, 0x00), io::Out8(0x3C1, 0x00), io::In8(0x3C4, 0x00), held, io::Out8(0x3C2, 0x67), run,
        io::Out8(0x3C4, 0x00), io::Out8(0x3C3, 0xAB)}},
      // A reset begins: recorded, not written, every port trapped.
      {"byte SR00 = 1", {{1, 0x3C5, 0x01}}, {io::In8(0x3C4, 0x00), io::Traps(2)}, {{0x15, 1, 0x01}}},
      {"word 0x0100", {{2, 0x3C4, 0x0100}}, {io::Traps(2)}, {{0x14, 2, 0x0100}}},
      {"word 0x0200", {{2, 0x3C4, 0x0200}}, {io::Traps(2)}, {{0x14, 2, 0x0200}}},
      {"dword, high word kept", {{4, 0x3C4, 0xABCD0000}}, {io::Traps(2)}, {{0x14, 3, 0xABCD0000}}},
      {"word at 0x3C5: SR00 = 1, then the pixel mask", {{2, 0x3C5, 0x0701}},
       {io::In8(0x3C4, 0x00), io::Traps(2)}, {{0x15, 1, 0x01}, {0x16, 1, 0x07}}},
      {"dword at 0x3C3: index 0, SR00 = 1", {{4, 0x3C3, 0x00010001}},
       {io::Out8(0x3C3, 0x01), io::Out8(0x3C4, 0x00), io::In8(0x3C4, 0x00), io::Traps(2)},
       {{0x15, 1, 0x01}, {0x16, 1, 0x00}}},
      {"dword at 0x3C2: misc output under reset, then SR00 = 1", {{4, 0x3C2, 0x0100006F}},
       {io::In8(0x3C4, 0x00), held, io::Out8(0x3C2, 0x67), run, io::Out8(0x3C4, 0x00), io::Out8(0x3C3, 0x00),
        io::Out8(0x3C4, 0x00), io::In8(0x3C4, 0x00), io::Traps(2)},
       {{0x15, 1, 0x01}}},
      // Recording: words that keep the sequencer in reset do not end it.
      {"word resets while recording", {{2, 0x3C4, 0x0100}, {2, 0x3C4, 0x0100}, {2, 0x3C4, 0x0000}, {2, 0x3C4, 0x0200}},
       {io::Traps(2)}, {{0x14, 2, 0x0100}, {0x14, 2, 0x0100}, {0x14, 2, 0x0000}, {0x14, 2, 0x0200}}},
      // The dword's bytes follow its word.
      {"misc output at every size; a dword reaches the sequencer pair",
       {{2, 0x3C4, 0x0100}, {1, 0x3C2, 0x0C}, {2, 0x3C2, 0xFF0C}, {4, 0x3C2, 0xFFFFFFFF}}, {io::Traps(2)},
       {{0x14, 2, 0x0100}, {0x12, 1, 0x04}, {0x12, 2, 0xFF04}, {0x12, 1, 0xF7}, {0x13, 1, 0xFF}, {0x14, 1, 0xFF},
        {0x15, 1, 0xFF}}},
      {"recording: misc output reached from below, and wide writes clear of it",
       {{2, 0x3C4, 0x0100}, {2, 0x3C1, 0x0C00}, {4, 0x3C0, 0x000C0000}, {2, 0x3CE, 0x0503}, {2, 0x3C0, 0x2010}},
       {io::Traps(2)},
       {{0x14, 2, 0x0100}, {0x11, 1, 0x00}, {0x12, 1, 0x04}, {0x10, 1, 0x00}, {0x11, 1, 0x00}, {0x12, 1, 0x04},
        {0x13, 1, 0x00}, {0x1E, 2, 0x0503}, {0x10, 2, 0x2010}}},
      {"monochrome ports at every size",
       {{2, 0x3C4, 0x0100}, {1, 0x3B4, 0x11}, {2, 0x3B4, 0x2211}, {4, 0x3B8, 0x44332211}}, {io::Traps(2)},
       {{0x14, 2, 0x0100}, {0x04, 1, 0x11}, {0x04, 2, 0x2211}, {0x08, 3, 0x44332211}}},
      // The reset ends: the burst, then the session's index, idle again.
      {"word end", {{2, 0x3C4, 0x0100}, {1, 0x3C4, 0x02}, {1, 0x3C5, 0x05}, {2, 0x3C4, 0x0300}},
       {io::Traps(2), held, io::Out8(0x3C4, 0x02), io::Out8(0x3C5, 0x05), run, run, io::Out8(0x3C4, 0x00),
        io::Traps(4)}},
      {"dword end, the burst at its own size", {{4, 0x3C4, 0x00000100}, {4, 0x3C4, 0x00000300}},
       {io::Traps(2), io::Out32(0x3C4, 0x00000100), io::Out32(0x3C4, 0x00000300), run, io::Out8(0x3C4, 0x00),
        io::Traps(4)}},
      // The third SR00 write is recorded: the index is 2 there.
      {"byte end needs index 0; misc output recorded with clock select cleared",
       {{1, 0x3C5, 0x01}, {1, 0x3C2, 0x0C}, {1, 0x3C4, 0x02}, {1, 0x3C5, 0x03}, {1, 0x3C4, 0x00}, {1, 0x3C5, 0x03}},
       {io::In8(0x3C4, 0x00), io::Traps(2), io::Out8(0x3C5, 0x01), io::Out8(0x3C2, 0x04), io::Out8(0x3C4, 0x02),
        io::Out8(0x3C5, 0x03), io::Out8(0x3C4, 0x00), io::Out8(0x3C5, 0x03), run, io::Out8(0x3C4, 0x00),
        io::Traps(4)}},
      {"enable again drops a recording", {{2, 0x3C4, 0x0100}, {1, 0x3C4, 0x04}, {0, 0, 0}},
       {io::Traps(2), io::Traps(4)}},
      // A read-modify-write of SR01 inside the reset: the write lands in SR01.
      {"write after a read keeps the session's index",
       {{2, 0x3C4, 0x0100}, {1, 0x3C4, 0x01}, {1, 0x3C5, 0x00, true}, {1, 0x3C5, 0x01}, {2, 0x3C4, 0x0300}},
       {io::Traps(2), held, io::Out8(0x3C4, 0x01), run, io::Out8(0x3C4, 0x01), io::In8(0x3C5, 0x00), held,
        io::Out8(0x3C4, 0x01), io::Out8(0x3C5, 0x01), run, run, io::Out8(0x3C4, 0x00), io::Traps(4)}},
      // With the session's index at 0 the next burst holds the sequencer and
      // selects nothing after it.
      {"a read while recording at index 0", {{2, 0x3C4, 0x0100}, {1, 0x3CC, 0x67, true}, {2, 0x3C4, 0x0300}},
       {io::Traps(2), held, run, io::Out8(0x3C4, 0x00), io::In8(0x3CC, 0x67), held, run, run, io::Out8(0x3C4, 0x00),
        io::Traps(4)}},
      // 0x3CC on, at each size: misc output, the bank select register, GR index, GR03.
      {"reads while recording",
       {{1, 0x3CD, 0x21}, {2, 0x3CE, 0x0503}, {2, 0x3C4, 0x0100}, {1, 0x3C4, 0x02}, {1, 0x3CC, 0x67, true},
        {2, 0x3CC, 0x2167, true}, {4, 0x3CC, 0x05032167, true}},
       {io::Out8(0x3CD, 0x21), io::Out16(0x3CE, 0x0503), io::Traps(2), held, io::Out8(0x3C4, 0x02), run,
        io::Out8(0x3C4, 0x02), io::In8(0x3CC, 0x67), held, io::Out8(0x3C4, 0x02), run, io::Out8(0x3C4, 0x02),
        io::In16(0x3CC, 0x2167), held, io::Out8(0x3C4, 0x02), run, io::Out8(0x3C4, 0x02),
        io::In32(0x3CC, 0x05032167)},
       {{0x14, 2, 0x0100}, {0x14, 1, 0x02}}},
      NinetyNinthEntry(),
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::DriverSession s;
    EXPECT_TRACE(Play(s, c.accesses), c.trace);
    std::vector<Entry> recorded;
    for (const TrappedValidatorEntry& e :
         std::span(s.ext().TrappedValidatorData, s.ext().TrappedValidatorCount))
      recorded.emplace_back(e.Port, e.AccessType, e.Data);
    EXPECT_EQ(recorded, c.recorded);
    // Idle, only misc output and the sequencer pair are trapped.
    for (uint16_t port : {0x3B4, 0x3BA, 0x3C0, 0x3C2, 0x3C3, 0x3C4, 0x3C5, 0x3CE, 0x3D4, 0x3DA})
      EXPECT_EQ(s.machine().Trapped(port),
                port == 0x3C2 || port == 0x3C4 || port == 0x3C5 || !c.recorded.empty())
          << std::hex << port;
  }
}

}  // namespace
