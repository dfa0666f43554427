// The session's window accesses and the screenshot, as scripts play them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/zelctl/test_support.h"

#include <stb/stb_image.h>

namespace zelctl {
namespace {

using testing::Outcome;
using testing::Play;

TEST(ScreenCommands, WindowWritesAndReadsGoThroughTheTextModeAddressing) {
  const Outcome o = Play(
      "start\n"
      "v86 write8 0xb8000 0x41\n"
      "v86 fill 0xb8002 4207_4370\n"
      "v86 read8 0xb8000\n"
      "v86 read8 0xb8004\n"
      "v86 read8 0xb8005\n"
      "v86 read8 0xa0000\n"  // not decoded in the text mode: floats
      "plane 1 4 1\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "value=0x41\n"
            "value=0x43\n"
            "value=0x70\n"
            "value=0xff\n"
            "70\n");
}

TEST(ScreenCommands, WindowAccessesAreTraced) {
  const Outcome o = Play("start\ntrace on\nv86 fill 0xbfffe 0102\nv86 read8 0xb8000\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\n"
            "mem write8 0xa0000+0x1fffe 0x01\n"
            "mem write8 0xa0000+0x1ffff 0x02\n"
            "mem read8 0xa0000+0x18000 0x20\n"
            "value=0x20\n");
}

struct ErrorCase {
  const char* line;
  int status;
  const char* message;
};

TEST(ScreenCommands, MisuseNamesTheLine) {
  const ErrorCase cases[] = {
      {"v86 read8 0x9ffff", 2, "v86: 0x9ffff lies outside the window 0xa0000-0xbffff"},
      {"v86 write8 0xc0000 0x01", 2, "v86: 0xc0000 lies outside the window 0xa0000-0xbffff"},
      {"v86 fill 0xbffff 0102", 2, "v86: 0xbffff+2 lies outside the window 0xa0000-0xbffff"},
      {"v86 read8", 2,
       "usage: v86 read8 ADDRESS, v86 write8 ADDRESS VALUE, or v86 fill ADDRESS HEX"},
      {"v86 write8 0xb8000", 2,
       "usage: v86 read8 ADDRESS, v86 write8 ADDRESS VALUE, or v86 fill ADDRESS HEX"},
      {"v86 fill 0xb8000 123", 2, "fill: odd number of hex digits in '123'"},
      {"screenshot", 2, "usage: screenshot FILE.png"},
      {"screenshot /nonexistent-directory/screen.png", 1,
       "screenshot: cannot write '/nonexistent-directory/screen.png'"},
  };
  for (const ErrorCase& c : cases) {
    const Outcome o = Play(std::string("start\n") + c.line + "\n");
    EXPECT_EQ(o.status, c.status) << c.line;
    EXPECT_EQ(o.err, std::string("zelctl: line 2: ") + c.message + "\n") << c.line;
  }
}

TEST(ScreenCommands, ScreenshotOfTheBootTextModeShowsTheWrittenCharacter) {
  const std::string path = ::testing::TempDir() + "zelctl_screenshot.png";
  // A full block (0xdb) and a space, white on red, at the top left.
  const Outcome o = Play("start\nv86 fill 0xb8000 db4f_204f\nscreenshot " + path + "\n");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "start status=0\n");
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr) << path;
  EXPECT_EQ(width, 720);
  EXPECT_EQ(height, 400);
  // The block is a line-graphics character: its ninth column is white too.
  const auto pixel = [&](int x, int y) {
    const stbi_uc* p = pixels + (y * width + x) * 3;
    return (p[0] << 16) | (p[1] << 8) | p[2];
  };
  EXPECT_EQ(pixel(0, 0), 0xFFFFFF);
  EXPECT_EQ(pixel(8, 15), 0xFFFFFF);
  EXPECT_EQ(pixel(9, 0), 0xAA0000);
  EXPECT_EQ(pixel(17, 15), 0xAA0000);
  EXPECT_EQ(pixel(18, 0), 0x000000);
  stbi_image_free(pixels);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace zelctl
