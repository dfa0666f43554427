// The command stream interpreter, played against the simulated adapter and
// checked on the trace.
#include <gtest/gtest.h>

#include <vector>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"
#include "sim/machine.h"
#include "tests/support/bus.h"

namespace {

using namespace test;
using namespace sim::io;

// Each stream on a fresh adapter after its POST (misc output 0x67, SR index
// 5, SR02 3): its result and exactly the accesses it makes.
TEST(CommandStream, PlaysExactlyTheseAccesses) {
  auto plays = [](const USHORT* words, ULONG result, const std::vector<TraceEntry>& accesses) {
    sim::Machine m;
    VgaDeviceExtension ext{};
    ext.IoBase = reinterpret_cast<PUCHAR>(0x3B0);
    const size_t mark = m.trace().Start();
    EXPECT_EQ(VgaInterpretCmdStream(&ext, words), result);
    EXPECT_TRACE(m.trace().Since(mark), accesses);
  };
  const struct {
    const char* name;
    std::vector<USHORT> words;
    ULONG result;
    std::vector<TraceEntry> accesses;
  } cases[] = {
      // clang-format off
      {"empty", {0x0000}, 1, {}},
      {"high byte of the command ignored", {0x0110, 0x0014, 0x0002, 0x0000}, 1, {Out8(0x3C4, 2)}},
      {"zero low byte in a nonzero word stops", {0x0100, 0x0014, 0x0002, 0x0000}, 0, {}},
      {"bit 0 of the family ignored", {0x0011, 0x0014, 0x0102, 0x0000}, 1, {Out8(0x3C4, 2)}},
      {"read wins over run, consumes the port", {0x001A, 0x001C, 0x0010, 0x0014, 0x0001, 0x0000},
       1, {In8(0x3CC, 0x67), Out8(0x3C4, 0x01)}},
      {"word read", {0x001C, 0x0014, 0x0000}, 1, {In16(0x3C4, 0x0005)}},
      {"word write", {0x0014, 0x0024, 0x8013, 0x0000}, 1, {Out16(0x3D4, 0x8013)}},
      {"byte run, low bytes in order", {0x0012, 0x0010, 0x0003, 0x0110, 0x0203, 0x0304, 0x0000},
       1, {Out8(0x3C0, 0x10), Out8(0x3C0, 0x03), Out8(0x3C0, 0x04)}},
      {"empty run", {0x0016, 0x0014, 0x0000, 0x0000}, 1, {}},
      {"indexed out of one", {0x0020, 0x0024, 0x0001, 0x0013, 0x0080, 0x0000},
       1, {Out16(0x3D4, 0x8013)}},
      {"indexed out counts indices up", {0x0020, 0x001E, 0x0002, 0x0007, 0x00AA, 0x01BB, 0x0000},
       1, {Out16(0x3CE, 0xAA07), Out16(0x3CE, 0xBB08)}},
      {"empty indexed out consumes the index",
       {0x0020, 0x0024, 0x0000, 0x0013, 0x0010, 0x0014, 0x0001, 0x0000},
       1, {Out8(0x3C4, 0x01)}},
      {"paired out: index then value", {0x0021, 0x0010, 0x0002, 0x0010, 0x0041, 0x0000, 0x0000},
       1, {Out8(0x3C0, 0x10), Out8(0x3C0, 0x41), Out8(0x3C0, 0x11), Out8(0x3C0, 0x00)}},
      {"masked out: the read ANDed with the mask, ORed with the value",
       {0x0010, 0x0014, 0x0002, 0x0022, 0x0015, 0x000E, 0x0010, 0x0000},
       1, {Out8(0x3C4, 0x02), In8(0x3C5, 0x03), Out8(0x3C5, 0x12)}},
      {"nop family", {0x00F0, 0x00FF, 0x0000}, 1, {}},
      {"unrecognised family stops after earlier writes",
       {0x0010, 0x0014, 0x0003, 0x0023, 0x0010, 0x0014, 0x0004, 0x0000},
       0, {Out8(0x3C4, 0x03)}},
      {"low opcodes unrecognised", {0x0005, 0x0000}, 0, {}},
      {"family 0x30 unrecognised", {0x0030, 0x0000}, 0, {}},
      {"byte port beyond the block", {0x0010, 0x0030, 0x0001, 0x0000}, 0, {}},
      {"last port of the block", {0x0010, 0x002F, 0x0001, 0x0000}, 1, {Out8(0x3DF, 0x01)}},
      {"word port on the last byte", {0x0014, 0x002F, 0x0001, 0x0000}, 0, {}},
      {"word port just inside", {0x0014, 0x002E, 0x0201, 0x0000}, 1, {Out16(0x3DE, 0x0201)}},
      {"indexed out on the last byte", {0x0020, 0x002F, 0x0001, 0x0000, 0x0001, 0x0000}, 0, {}},
      {"paired out beyond the block", {0x0021, 0x0030, 0x0001, 0x0000, 0x0001, 0x0000}, 0, {}},
      {"masked out beyond the block", {0x0022, 0x0030, 0x00FF, 0x0001, 0x0000}, 0, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    plays(c.words.data(), c.result, c.accesses);
  }
  plays(nullptr, 1, {});  // no stream at all
  SCOPED_TRACE("the stream that opens plane 2 at 0xA0000 for the font and state code");
  plays(EnableA000Data, 1,
        Bus({
            SeqWrite16(0x00, 0x01),  // synchronous reset
            GcWrite16(0x04, 0x02),   // read plane 2
            GcWrite16(0x05, 0x00),   // write mode 0, no odd/even
            GcWrite16(0x06, 0x04),   // 0xA0000, 64 KB, graphics
            SeqWrite16(0x02, 0x04),  // write plane 2
            SeqWrite16(0x04, 0x04),  // sequential addressing
            SeqWrite16(0x00, 0x03),  // running again
        }));
}

}  // namespace
