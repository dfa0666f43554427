// The attribute controller palette and the DAC colour lookup table.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "support/bus.h"
#include "support/driver_session.h"

namespace {

using sim::io::In8;
using sim::io::Out8;

// VIDEO_CLUT: count, first, then entries of red 1+i, green 0x11+i, blue 0x21+i.
std::vector<uint8_t> Clut(uint16_t count, uint16_t first) {
  std::vector<uint8_t> bytes = test::Bytes(VIDEO_CLUT{count, first, {}}, 4);
  for (unsigned i = 0; i < count; ++i)
    for (const unsigned component : {0x01 + i, 0x11 + i, 0x21 + i, 0x3Fu})
      bytes.push_back(static_cast<uint8_t>(component));
  return bytes;
}

// On colour and mono addressing (misc output bit 0), each sequence reads the
// status port of the addressing in force. The palette: the flip-flop left in
// the data state is put back in the index state first; the sixteen registers
// go out as index/value pairs (the low byte of each USHORT), then bit 5 gives
// the palette back to the display. The colour lookup: each entry waits for a
// fresh blanking edge (bit 0 of the status port seen clear, then set) within
// a frame, then goes out as one run of three bytes; the DAC keeps six bits. A
// blanking bit stuck either way ends each wait after 0x10000 reads.
TEST(Palette, RegistersAndColourLookupOnEitherAddressing) {
  const struct {
    uint8_t misc;
    uint16_t status;
  } addressing[] = {{0x67, 0x3DA}, {0x66, 0x3BA}};
  for (const auto& c : addressing) {
    SCOPED_TRACE(testing::Message() << "status port " << std::hex << c.status);
    test::DriverSession s;
    s.adapter().Out8(0x3C2, c.misc);
    s.adapter().In8(c.status);
    s.adapter().Out8(0x3C0, 0x11);
    std::array<USHORT, 2 + 16> palette{16, 0};  // VIDEO_PALETTE_DATA: count, first, registers
    std::vector<sim::TraceEntry> expected = {In8(0x3CC, c.misc), In8(c.status, 0x01)};
    for (uint8_t i = 0; i < 16; ++i) {
      palette[2 + i] = static_cast<USHORT>(0x0100 | (0x30 + i));
      expected.insert(expected.end(), {Out8(0x3C0, i), Out8(0x3C0, 0x30 + i)});
    }
    expected.push_back(Out8(0x3C0, 0x20));
    size_t mark = s.Mark();
    EXPECT_EQ(s.Request(IOCTL_VIDEO_SET_PALETTE_REGISTERS, test::Bytes(palette)).status, NO_ERROR);
    EXPECT_TRACE(s.Since(mark), expected);

    mark = s.Mark();
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(1, 255)).status, NO_ERROR);
    EXPECT_TRUE(s.adapter().Dac(255) == (sim::Rgb{0x01, 0x11, 0x21}));
    std::vector<sim::TraceEntry> got = s.Since(mark);
    ASSERT_GE(got.size(), 6u);
    ASSERT_LE(got.size(), 2 + 2 * 64 + 3u) << "the edge comes within a frame";
    const size_t data = got.size() - 3;
    EXPECT_TRACE(std::vector<sim::TraceEntry>(got.begin(), got.begin() + 2),
                 {In8(0x3CC, c.misc), Out8(0x3C8, 0xFF)});
    EXPECT_TRACE(std::vector<sim::TraceEntry>(got.begin() + data - 2, got.end()),
                 {In8(c.status, got[data - 2].value & ~1u), In8(c.status, got[data - 1].value | 1u),
                  Out8(0x3C9, 0x01), Out8(0x3C9, 0x11), Out8(0x3C9, 0x21)});
  }
  for (const uint8_t stuck : {uint8_t{0x01}, uint8_t{0x00}}) {
    SCOPED_TRACE(testing::Message() << "blanking stuck at " << int(stuck));
    test::DriverSession s;
    s.adapter().StickStatusBits(0x01, stuck);
    const size_t mark = s.Mark();
    ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(2, 10)).status, NO_ERROR);
    const std::vector<sim::TraceEntry> got = s.Since(mark);
    EXPECT_LE(std::count_if(got.begin(), got.end(), [](auto& e) { return e.address == 0x3DA; }),
              2 * 2 * (0x10000 + 1));
    EXPECT_TRUE(s.adapter().Dac(11) == (sim::Rgb{0x02, 0x12, 0x22}));
  }
  test::DriverSession s;
  ASSERT_EQ(s.Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, Clut(256, 0)).status, NO_ERROR);
  EXPECT_TRUE(s.adapter().Dac(0) == (sim::Rgb{0x01, 0x11, 0x21}));
  EXPECT_TRUE(s.adapter().Dac(0x20) == (sim::Rgb{0x21, 0x31, 0x01}));
}

}  // namespace
