// The demo end to end on the simulated machine, and the pictures it checks
// the screen against.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tools/zelctl/cli.h"
#include "tools/zelctl/demo.h"
#include "tools/zelctl/demo_pictures.h"
#include "tools/zelctl/script.h"

#include <stb/stb_image.h>

namespace zelctl {
namespace {

struct DemoRun {
  int status;
  std::string out;
  std::string err;
};

DemoRun Demo(const std::vector<std::string_view>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = Main(args, in, out, err);
  return {status, out.str(), err.str()};
}

std::string OutDirectory(const std::string& name) {
  const std::string path = ::testing::TempDir() + "zel-demo-" + name;
  std::filesystem::remove_all(path);
  return path;
}

struct PngSize {
  int width = 0, height = 0;
};

PngSize SizeOf(const std::string& path) {
  PngSize size;
  int channels = 0;
  if (!stbi_info(path.c_str(), &size.width, &size.height, &channels)) return {};
  return size;
}

// The step lines in order, each with the step's name.
void ExpectStepLines(const std::string& out) {
  const char* kSteps[] = {
      "[1/7] load: ", "[2/7] modes: ",         "[3/7] desktop: ", "[4/7] session: ",
      "[5/7] save: ", "[6/7] desktop again: ", "[7/7] restore: "};
  size_t from = 0;
  for (const char* step : kSteps) {
    const size_t at = out.find(step, from);
    ASSERT_NE(at, std::string::npos) << "no line '" << step << "' after offset " << from << " in\n"
                                     << out;
    from = at;
  }
}

struct DepthCase {
  const char* mode;
  PngSize desktop;
  const char* modeLine;  // how the desktop step names the mode
};

class DemoAtDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DemoAtDepth, EveryStepPassesAndThePicturesAreWritten) {
  const DepthCase& c = GetParam();
  const std::string dir = OutDirectory(std::string(c.mode));
  const DemoRun run = Demo({"demo", "--out", dir, "--mode", c.mode});
  ASSERT_EQ(run.status, kExitOk) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  ExpectStepLines(run.out);
  EXPECT_NE(run.out.find(c.modeLine), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("4-session-restored.png equals 2-session.png pixel for pixel"),
            std::string::npos);
  EXPECT_NE(run.out.find("demo passed: 7 steps, "), std::string::npos) << run.out;

  const struct {
    const char* file;
    PngSize size;
  } kPictures[] = {
      {"1-desktop.png", c.desktop},
      {"2-session.png", {640, 400}},  // 8-dot cells after the session's reprogramming
      {"3-desktop-again.png", c.desktop},
      {"4-session-restored.png", {640, 400}},
  };
  for (const auto& picture : kPictures) {
    const PngSize size = SizeOf(dir + "/" + picture.file);
    EXPECT_EQ(size.width, picture.size.width) << picture.file;
    EXPECT_EQ(size.height, picture.size.height) << picture.file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DemoAtDepth,
    // The line rate is 60 frames of 628 (800 x 600) or 525 (640 x 480) lines.
    ::testing::Values(DepthCase{"800x600x8",
                                {800, 600},
                                "mode 7 (800 x 600 at 8 bits, 60 Hz, 37.68 kHz to the monitor)"},
                      DepthCase{"640x480x16",
                                {640, 480},
                                "mode 40 (640 x 480 at 16 bits, 60 Hz, 31.50 kHz to the monitor)"},
                      DepthCase{"640x480x32",
                                {640, 480},
                                "(640 x 480 at 32 bits, 60 Hz, 31.50 kHz to the monitor)"}),
    [](const ::testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.mode); });

// A mode no adapter offers ends the run after the mode list.
TEST(Demo, ReportsWhatTheDriverFound) {
  const DemoRun run = Demo({"demo", "--out", OutDirectory("found"), "--mode", "1x1x8",
                            "revision=0x05", "memory=2M", "bus=32", "mclk=80"});
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_NE(run.out.find("[1/7] load: the linked-in driver found a Zel A1 with 2 MB of type 2 "
                         "memory on a 32-bit bus, memory clock 80 MHz\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("[2/7] modes: FAILED\n"), std::string::npos) << run.out;
}

struct FailureCase {
  std::vector<std::string_view> args;
  const char* message;
};

TEST(Demo, AFailedStepIsNamedAndEndsTheRun) {
  const FailureCase cases[] = {
      {{"romvendor=0x1234"},
       "zelctl demo: step 1 (load) failed: the driver found no adapter (DriverEntry "
       "returned status 55)\n"},
      {{"memory=1M", "--mode", "1600x1200x32"},
       "zelctl demo: step 2 (modes) failed: no valid mode of 1600 x 1200 at 32 bits on this "
       "adapter\n"},
  };
  for (const FailureCase& c : cases) {
    std::vector<std::string_view> args = {"demo", "--out", "unused"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const std::string dir = OutDirectory("failure");
    args[2] = dir;
    const DemoRun run = Demo(args);
    EXPECT_EQ(run.status, kExitFailure) << c.message;
    EXPECT_EQ(run.err, c.message);
  }
}

TEST(Demo, MisuseIsRefusedBeforeAnythingRuns) {
  const std::pair<std::vector<std::string_view>, const char*> cases[] = {
      {{"demo", "--mode", "800x600"}, "--mode takes WIDTHxHEIGHTxBITS"},
      {{"demo", "--out"}, "--out needs a value"},
      {{"demo", "colour=blue"}, "colour"},
      {{"demo", "fast"}, "unknown argument 'fast'"},
  };
  for (const auto& [args, message] : cases) {
    const DemoRun run = Demo(args);
    EXPECT_EQ(run.status, kExitMisuse) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// ---- the pictures

using demo::PixelLayout;

TEST(DemoPictures, PixelsAreStoredAndShownAsTheLayoutSays) {
  const PixelLayout palette{1, true, 0, 0, 0};
  const PixelLayout rgb565{2, false, 0xF800, 0x07E0, 0x001F};
  const PixelLayout rgb555{2, false, 0x7C00, 0x03E0, 0x001F};
  const PixelLayout bgrx{4, false, 0xFF0000, 0x00FF00, 0x0000FF};
  const struct {
    const PixelLayout& layout;
    uint32_t rgb, pixel, shown;
  } cases[] = {
      {rgb565, 0xFF8000, 0xFC00, 0xFF8200},
      {rgb565, 0xFFFFFF, 0xFFFF, 0xFFFFFF},
      {rgb555, 0x00FF10, 0x03E2, 0x00FF10},
      {bgrx, 0x123456, 0x123456, 0x123456},
      // The colour cube: red is level 5 of 6 -> entry 180 = 63, 0, 0.
      {palette, 0xFF0000, 180, 0xFF0000},
      // A grey takes the grey ramp: 0x80 -> entry 216 + 20 = 32 of 63 -> 0x82.
      {palette, 0x808080, 236, 0x828282},
      {palette, 0xFFFFFF, 255, 0xFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(demo::EncodePixel(c.layout, c.rgb), c.pixel) << std::hex << c.rgb;
    EXPECT_EQ(demo::ShownColour(c.layout, c.pixel), c.shown) << std::hex << c.rgb;
  }
}

TEST(DemoPictures, TheArrowIsBlackEdgedWhiteOnATransparentGround) {
  const demo::PointerShape arrow = demo::ArrowPointer();
  // Row 2 is "BWB": AND 000, XOR 010; the rest of the row keeps the screen.
  EXPECT_EQ(arrow.andMask[2 * 8], 0x1F);
  EXPECT_EQ(arrow.xorMask[2 * 8], 0x40);
  // Row 11 is "BWWWWWWBBBBB": twelve dots drawn, white in dots 1-6.
  EXPECT_EQ(arrow.andMask[11 * 8], 0x00);
  EXPECT_EQ(arrow.andMask[11 * 8 + 1], 0x0F);
  EXPECT_EQ(arrow.xorMask[11 * 8], 0x7E);
  // Nothing below row 19.
  EXPECT_EQ(arrow.andMask[20 * 8], 0xFF);
  EXPECT_EQ(arrow.xorMask[20 * 8], 0x00);

  demo::Image image{4, 3, std::vector<uint32_t>(12, 0x123456)};
  demo::OverlayPointer(image, arrow, 1, -1);  // row 1 of the arrow on the top line
  EXPECT_EQ(image.At(0, 0), 0x123456u);
  EXPECT_EQ(image.At(1, 0), 0x000000u);
  EXPECT_EQ(image.At(2, 0), 0x000000u);
  EXPECT_EQ(image.At(3, 0), 0x123456u);
  EXPECT_EQ(image.At(2, 1), 0xFFFFFFu);
}

TEST(DemoPictures, DifferenceNamesTheFirstPixelAndTheCount) {
  const demo::Image expected{3, 2, {1, 2, 3, 4, 5, 6}};
  demo::Image shown = expected;
  EXPECT_EQ(demo::Difference(shown, expected), std::nullopt);
  shown.rgb[4] = 0xABCDEF;
  shown.rgb[5] = 0;
  EXPECT_EQ(demo::Difference(shown, expected),
            "pixel (1, 1) is 0xabcdef, expected 0x000005 (2 pixels differ)");
  const demo::Image smaller{2, 2, {1, 2, 3, 4}};
  EXPECT_EQ(demo::Difference(smaller, expected), "the picture is 2 x 2, expected 3 x 2");
}

}  // namespace
}  // namespace zelctl
