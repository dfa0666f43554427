// What the BIOS leaves alone, and the screen as the adapter shows it from
// known register and memory contents: what the demo's pictures (a text
// screen, desktops at 8, 16 and 32 bits) do not show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/screen/screen.h"

namespace {

void TextMode(sim::Machine& m) {
  VIDEO_X86_BIOS_ARGUMENTS text{};
  text.Eax = 0x03;
  ASSERT_EQ(m.bios().Int10(text), NO_ERROR);
}

// The BIOS leaves the extended registers locked or open as it found them,
// and the bank select as the driver had it: a driver that leans on the BIOS
// to unlock them or to reset the bank is seen.
TEST(Bios, LeavesTheLockAndTheBankAsItFoundThem) {
  for (const uint32_t mode : {0x03u, 0x3Cu}) {
    for (const bool open : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << (open ? ", open" : ", locked"));
      sim::Machine m;
      if (open) m.adapter().Out16(0x3C4, 0x8605);
      m.adapter().Out8(0x3CD, 0x21);
      VIDEO_X86_BIOS_ARGUMENTS args{};
      args.Eax = mode;
      ASSERT_EQ(m.bios().Int10(args), NO_ERROR);
      EXPECT_EQ(m.adapter().ExtendedUnlocked(), open);
      EXPECT_EQ(m.adapter().BankSelect(), 0x21);
    }
  }
}

// The first pixel of an 8-pixel, one-line screen in pixel format `sr07`
// (offset register 8, everything else black), from its bytes.
TEST(ScreenPacked, PixelFormatsDecodeTheirBytes) {
  struct Case {
    uint8_t sr07;
    std::vector<uint8_t> bytes;
    uint32_t rgb;
  };
  const Case cases[] = {
      {0x02, {0x1F, 0xFC}, 0xFF00FF},  // x:5:5:5, bit 15 is not a colour
      {0x02, {0xE0, 0x03}, 0x00FF00},
      {0x03, {0x20, 0x00}, 0x000400},              // 5:6:5, the lowest green step
      {0x04, {0x11, 0x22, 0x33}, 0x332211},        // B, G, R
      {0x06, {0xFF, 0xFF, 0xFF, 0xFF}, 0x000000},  // no such format: nothing shown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "SR07 " << int(c.sr07));
    sim::Machine m;
    sim::Adapter& a = m.adapter();
    a.Out16(0x3C4, 0x8605);
    TextMode(m);
    a.Out16(0x3C4, static_cast<uint16_t>(c.sr07 << 8 | 0x07));
    a.Out16(0x3C4, 0x000E);
    a.Out16(0x3D4, 0x0011);  // CR00-CR07 writable
    for (uint16_t crtc : {0x0001, 0x0012, 0x0007, 0x0813, 0x000C, 0x000D})
      a.Out16(0x3D4, crtc);
    std::fill(a.Vram().begin(), a.Vram().end(), uint8_t{0});
    std::copy(c.bytes.begin(), c.bytes.end(), a.Vram().begin());
    EXPECT_EQ(sim::screen::RenderScreen(a).At(0, 0), c.rgb);
  }
}

}  // namespace
