// The screen as the adapter shows it, from known register and memory
// contents: the packed pixel formats that the demo's pictures (text, and
// desktops at 8, 16 and 32 bits, each compared with what the demo drew) do
// not show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/screen/screen.h"

namespace {

std::string Rgb(uint32_t rgb) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06x", rgb);
  return text;
}

// The first pixel of an 8-pixel, one-line screen in pixel format `sr07`
// (offset register 8, everything else black), from its bytes, after the
// BIOS's text mode.
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
    sim::Machine m;
    sim::Adapter& a = m.adapter();
    a.Out16(0x3C4, 0x8605);
    VIDEO_X86_BIOS_ARGUMENTS text{};
    text.Eax = 0x03;
    ASSERT_EQ(m.bios().Int10(text), NO_ERROR);
    a.Out16(0x3C4, static_cast<uint16_t>(c.sr07 << 8 | 0x07));
    a.Out16(0x3C4, 0x000E);
    a.Out16(0x3D4, 0x0011);  // CR00-CR07 writable
    for (uint16_t crtc : {0x0001, 0x0012, 0x0007, 0x0813, 0x000C, 0x000D})
      a.Out16(0x3D4, crtc);
    std::fill(a.Vram().begin(), a.Vram().end(), uint8_t{0});
    std::copy(c.bytes.begin(), c.bytes.end(), a.Vram().begin());
    EXPECT_EQ(Rgb(sim::screen::RenderScreen(a).At(0, 0)), Rgb(c.rgb)) << "SR07 " << Rgb(c.sr07);
  }
}

}  // namespace
