// Refresh selection before the BIOS call and the SR3E bit 0 rule after it,
// called directly against the simulated adapter.
#include <gtest/gtest.h>

#include "miniport/device_extension.h"
#include "modes/mode_set.h"
#include "sim/machine.h"
#include "tests/support/bus.h"

// Rows name only the fields the refresh code reads; GCC would want them all.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using namespace test;

class Refresh : public ::testing::Test {
 protected:
  Refresh() {
    ext_.IoBase = reinterpret_cast<PUCHAR>(0x3B0);
    Seq(0x05, 0x86);  // the extended registers open, as the BIOS leaves them
  }
  void Seq(UCHAR index, UCHAR value) { m_.adapter().Out16(0x3C4, UCHAR(value) << 8 | index); }
  // clang-format off
  static VgaModeEntry Row(USHORT x, ULONG rate) {
    return {.ModeType = VIDEO_MODE_COLOR | VIDEO_MODE_GRAPHICS, .BitsPerPlane = 8,
            .XResolution = x, .RefreshRate = rate};
  }
  // clang-format on
  sim::Machine m_;
  VgaDeviceExtension ext_{};
};

// Each width and rate has its field: SR0F, SR10, SR25 or SR36. The refresh
// index lands in SR37 bits 6-2; a rate outside its table leaves SR37 alone.
TEST_F(Refresh, FrameRateFields) {
  const struct {
    int x, rate, reg, before, after;
  } cases[] = {
      {640, 72, 0x0F, 0xFF, 0x43},  {640, 75, 0x0F, 0x02, 0x82},  {640, 85, 0x0F, 0x00, 0xC0},
      {640, 60, 0x0F, 0xFE, 0x02},  {800, 60, 0x0F, 0x01, 0x11},  {800, 72, 0x0F, 0xCD, 0x21},
      {800, 75, 0x0F, 0x00, 0x30},  {800, 56, 0x0F, 0xF3, 0x03},  {800, 85, 0x25, 0xFF, 0xFD},
      {800, 72, 0x25, 0xFF, 0xFC},  {1024, 60, 0x25, 0xFF, 0xF3}, {1024, 60, 0x0F, 0x00, 0x04},
      {1024, 70, 0x0F, 0x00, 0x08}, {1024, 75, 0x0F, 0x00, 0x0C}, {1024, 43, 0x0F, 0xFF, 0x03},
      {1024, 85, 0x0F, 0x5E, 0x5E}, {1280, 60, 0x10, 0xFF, 0xFB}, {1280, 75, 0x10, 0x00, 0x04},
      {1280, 43, 0x10, 0xFF, 0xF3}, {1280, 85, 0x10, 0xFF, 0xF3}, {1600, 65, 0x36, 0xFF, 0x7F},
      {1600, 60, 0x36, 0xFF, 0x3F}, {1600, 85, 0x36, 0xC0, 0x00}, {720, 70, 0x0F, 0xFF, 0x03},
      {1280, 85, 0x37, 0xFF, 0x93}, {640, 60, 0x37, 0x80, 0x84},  {640, 200, 0x37, 0x80, 0xA0},
      {1600, 85, 0x37, 0x81, 0x95}, {1024, 43, 0x37, 0xFC, 0x84}, {1280, 100, 0x37, 0xA5, 0xA5},
      {720, 60, 0x37, 0xA5, 0xA5},  {1600, 48, 0x37, 0xA5, 0xA5}, {640, 70, 0x37, 0xA5, 0xA5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.x << " at " << c.rate << " Hz, SR" << std::hex << int(c.reg));
    Seq(c.reg, c.before);
    const VgaModeEntry row = Row(c.x, c.rate);
    const size_t mark = m_.trace().Start();
    (c.reg == 0x37 ? ZelSetRefreshIndex : ZelSetFrameRate)(&ext_, &row);
    EXPECT_EQ(m_.adapter().Seq(c.reg), c.after);
    if (c.reg == 0x37 && c.before == c.after) {
      EXPECT_TRACE(m_.trace().Since(mark), {});
    }
  }
  // 1024 at 85 Hz: the SR25 field cleared, then set.
  Seq(0x25, 0xFF);
  const size_t mark = m_.trace().Start();
  const VgaModeEntry row = Row(1024, 85);
  ZelSetFrameRate(&ext_, &row);
  EXPECT_TRACE(m_.trace().Since(mark), {
                                           SeqWrite16(0x05, 0x86),       // open the extensions
                                           SeqModify(0x25, 0xFF, 0xF3),  // clear the 85 Hz field
                                           SeqModify(0x25, 0xF3, 0xF7),  // and set it
                                       });
}

TEST_F(Refresh, Sr3eBitZeroRule) {
  const struct {
    int x, bits, rate, memoryType, bus;
    bool set;
  } cases[] = {
      {640, 32, 60, 0, 32, true},   {1600, 32, 85, 2, 64, true},  {1600, 16, 60, 3, 64, true},
      {1600, 16, 60, 2, 64, false}, {1600, 16, 60, 3, 32, false}, {720, 1, 0, 3, 64, false},
      {1280, 8, 75, 3, 32, true},   {1280, 8, 85, 3, 32, true},   {1280, 8, 43, 3, 32, false},
      {1280, 8, 60, 3, 32, false},  {1600, 8, 65, 3, 32, true},   {1600, 8, 60, 3, 32, false},
      {800, 16, 160, 3, 64, true},  {800, 16, 120, 3, 64, false}, {1024, 8, 120, 3, 64, true},
      {1024, 8, 100, 3, 64, false}, {1024, 16, 85, 3, 64, true},  {1024, 16, 75, 3, 64, false},
      {1280, 16, 60, 3, 64, true},  {1280, 16, 43, 3, 64, false}, {1280, 8, 75, 3, 64, true},
      {1600, 8, 60, 3, 64, true},   {1600, 24, 60, 3, 64, false}, {1280, 8, 75, 3, 16, false},
      {1280, 16, 75, 3, 32, false}, {1600, 16, 65, 3, 32, false}, {800, 8, 160, 3, 64, false},
      {1280, 8, 60, 3, 64, false},  {640, 8, 60, 3, 64, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "x" << c.bits << " at " << c.rate << " Hz, type "
                                    << int(c.memoryType) << ", " << c.bus << "-bit");
    Seq(0x3E, c.set ? 0xF0 : 0xF1);
    MartenSetSr3eD0(c.x, 0, c.bits, c.rate, c.memoryType, c.bus);
    EXPECT_EQ(m_.adapter().Seq(0x3E), c.set ? 0xF1 : 0xF0);
  }
  // Reached by fixed port number, not through the I/O base.
  Seq(0x3E, 0x00);
  const size_t mark = m_.trace().Start();
  MartenSetSr3eD0(640, 480, 32, 60, 0, 64);
  EXPECT_TRACE(m_.trace().Since(mark), {SeqModify(0x3E, 0x00, 0x01)});
}

}  // namespace
