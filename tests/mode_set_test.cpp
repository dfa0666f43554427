// Mode set through the dispatcher on the simulated adapter: the refresh
// selection, the BIOS call and the extended registers after it, and what the
// device extension records.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/machine.h"
#include "tests/support/bus.h"
#include "tests/support/driver_session.h"

// Profiles name only the settings a case changes; GCC would want them all.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using sim::AccessKind;
using sim::TraceEntry;

constexpr ULONG k640x480x8At60 = 2;
constexpr ULONG k1024x768x8At43 = 11;
constexpr ULONG k1024x768x8At60 = 12;

// After a text mode, a linear mode maps the frame buffer at the linear
// aperture; the reset goes back to the text mode without a refresh
// selection or bank write, and records the text windows.
TEST(ModeSet, ResetGoesBackToTheTextMode) {
  test::DriverSession s;
  ASSERT_EQ(s.SetMode(0), NO_ERROR);
  ASSERT_EQ(s.SetMode(k1024x768x8At60), NO_ERROR);
  EXPECT_EQ(s.ext().FrameBufferView, s.ext().LinearFrameView);
  const UCHAR fifoBefore = s.adapter().Seq(0x08);
  const size_t mark = s.Mark();
  EXPECT_EQ(s.Request(IOCTL_VIDEO_RESET_DEVICE, {}).status, NO_ERROR);
  const std::vector<TraceEntry> accesses = s.Since(mark);

  // BIOS mode 3 and no refresh selection: SR37 is never selected.
  EXPECT_EQ(std::count(accesses.begin(), accesses.end(), sim::io::Bios(0x03, NO_ERROR)), 1);
  EXPECT_EQ(std::count(accesses.begin(), accesses.end(), sim::io::Out8(0x3C4, 0x37)), 0);
  // 720 is below 800: the bank select register is left alone.
  for (const TraceEntry& e : accesses)
    EXPECT_NE(e.address, 0x3CDu) << sim::Format(e);

  // SR3E bit 0 clear, blink off, SR35 bit 5 kept set, no FIFO programming.
  sim::Adapter& a = s.adapter();
  EXPECT_EQ(std::tuple(a.Seq(0x3E) & 0x01, a.Attr(0x10) & 0x08, a.Seq(0x35) & 0x20, a.Seq(0x08)),
            std::tuple(0x00, 0x00, 0x20, fifoBefore));
  const VgaDeviceExtension& e = s.ext();
  EXPECT_EQ(std::tuple(e.ModeIndex, e.VideoMemoryPhysical.QuadPart, e.VideoMemoryLength,
                       e.FramePhysical.QuadPart, e.FrameLength, e.HardwarePointerAvailable),
            std::tuple(0u, 0xA0000, 0x20000u, 0xB8000, 0x8000u, 0));
  EXPECT_EQ(e.FrameBufferView, e.A0000View);
}

// The pitch in CR13 and SR0A bits 7-4 (8-byte units, 4 when interlaced),
// the stride class in SR27 bits 5-4, SR0B bit 7 for the widest strides. On
// 3 MB (SR0F memory code 3, SR2F 5) 1024x768x32 fills memory exactly, and
// the pointer needs strictly less.
TEST(ModeSet, PitchRegisters) {
  const sim::Profile k3MB{.seqOverrides = {{0x0F, 0x03}, {0x2F, 0x05}}};
  const struct {
    const char* name;
    sim::Profile profile;
    ULONG mode;
    int pitchRegister;  // CR13 | SR0A[7:4] << 8
    int sr27, sr0b;     // SR27 bits 6-4, SR0B bits 7, 6, 5, 2
    int pointer;
  } cases[] = {
      // clang-format off
      {"interlaced 1024 counts four-byte units", {}, k1024x768x8At43, 0x100, 0x40, 0x24, 1},
      {"1 MB: 640x480x16 at 1280", {.memoryMB = 1, .busWidth = 32}, 40, 0x0A0, 0x40, 0x24, 1},
      {"1024x768x16: 2048 sets SR27 bit 4", k3MB, 50, 0x100, 0x50, 0x24, 1},
      {"1024x768x32: 4096 sets SR27 bit 5", k3MB, 83, 0x200, 0x60, 0xA4, 0},
      {"8 MB: 1600x1200x32 at 6400", {.memoryMB = 8, .memoryClockMHz = 138}, 92, 0x320, 0x40, 0xA4, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::DriverSession s(c.profile);
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    sim::Adapter& a = s.adapter();
    EXPECT_EQ(std::tuple(a.Crtc(0x13) | ((a.Seq(0x0A) >> 4) << 8), a.Seq(0x27) & 0x70,
                         a.Seq(0x0B) & 0xE4, s.ext().HardwarePointerAvailable),
              std::tuple(c.pitchRegister, c.sr27, c.sr0b, c.pointer));
  }
}

// The aperture at the frame buffer, sized by memory, and the pointer
// pattern's block in its last 2 KB.
TEST(ModeSet, ApertureAndPointerPatternLocation) {
  const struct {
    uint32_t megabytes, sr21, sr38High, sr3eBit2;
  } cases[] = {{8, 0x9C, 0xF, 1}, {4, 0x7C, 0xF, 0}, {2, 0x7C, 0x7, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.megabytes << " MB");
    test::DriverSession s({.memoryMB = c.megabytes});
    ASSERT_EQ(s.SetMode(k640x480x8At60), NO_ERROR);
    sim::Adapter& a = s.adapter();
    EXPECT_EQ(std::tuple(a.Seq(0x20), a.Seq(0x21), a.Seq(0x06) & 0x80, a.Seq(0x38) >> 4,
                         (a.Seq(0x3E) >> 2) & 1, a.ApertureBase().value_or(0)),
              std::tuple(0x00, c.sr21, 0x80, c.sr38High, c.sr3eBit2, 0xE0000000u));
    EXPECT_EQ(s.ext().PointerShapeAddress,
              s.ext().LinearFrameView + c.megabytes * 0x100000 - 0x800);
  }
}

// The BIOS's status comes back and the extension records nothing; the
// refresh selection and SR35 bit 5 before the call stay written.
TEST(ModeSet, BiosFailureIsReturnedAndRecordsNothing) {
  test::DriverSession s;
  ASSERT_EQ(s.SetMode(k640x480x8At60), NO_ERROR);
  s.machine().InjectFault({sim::Service::Int10, 0, 1, 0x1F});
  const std::vector<uint8_t> before = s.ExtensionBytes();
  s.adapter().Out16(0x3C4, 0x0035);
  EXPECT_EQ(s.SetMode(k1024x768x8At60), 0x1F);
  EXPECT_TRUE(test::BytesAre(s.ExtensionBytes(), before));
  EXPECT_EQ(s.adapter().Seq(0x37) & 0x7C, 2 << 2);  // index 2: 1024 at 60 Hz
  EXPECT_EQ(s.adapter().Seq(0x35) & 0x20, 0x20);
}

// A retrace wait is a run of status reads as long as the frame has left;
// its last read saw the retrace begin. The trace keeps that one.
std::vector<TraceEntry> LastReadOfEachWait(const std::vector<TraceEntry>& trace) {
  auto status = [&](size_t at) {
    return at < trace.size() && trace[at].kind == AccessKind::In && trace[at].address == 0x3DA;
  };
  std::vector<TraceEntry> kept;
  for (size_t i = 0; i < trace.size(); ++i)
    if (!(status(i) && status(i + 1))) kept.push_back(trace[i]);
  return kept;
}

// A whole graphics mode set in the order the hardware needs it, after a
// full-screen session locked the extended registers (SR05 is not trapped)
// and a display driver left bank 0x11: 800 x 600 at 60 Hz, refresh by index
// (SR37 bit 7), from a 1024 x 768 desktop at 43 Hz interlaced. Extended
// registers the mode set changes by read-modify-write hold other values
// first, so every write shows what it kept and what it set.
TEST(ModeSet, WholeGraphicsModeSetInTheOrderTheHardwareNeeds) {
  sim::Profile profile;
  profile.seqOverrides[0x37] = 0x80;
  test::DriverSession s(profile);
  ASSERT_EQ(s.SetMode(k1024x768x8At43), NO_ERROR);
  for (const uint16_t word : {0xA508, 0x5A09, 0xFF3F, 0xFF27, 0xDB0B, 0x0A38})
    s.adapter().Out16(0x3C4, word);
  s.adapter().Out8(0x3CD, 0x11);
  s.adapter().Out16(0x3C4, 0x0005);  // locked
  const size_t mark = s.Mark();
  ASSERT_EQ(s.SetMode(7), NO_ERROR);

  using namespace sim::io;
  // clang-format off
  const std::vector<TraceEntry> expected = {
      Out16(0x3C4, 0x8605),                                    // open the extended registers
      Out8(0x3C4, 0x37), In8(0x3C5, 0x84),                     // refresh by index, now 43 Hz
      Out8(0x3C4, 0x37), In8(0x3C5, 0x84), Out8(0x3C5, 0x88),  // index 2: 60 Hz
      Out8(0x3C4, 0x35), In8(0x3C5, 0x00),                     // a retrace begins
      In8(0x3CC, 0x2F), In8(0x3DA, 0x09),                      //   on colour status:
      Out8(0x3C4, 0x35), Out8(0x3C5, 0x20),                    //   SR35 bit 5 set
      Bios(0x30, NO_ERROR),                                    // BIOS mode 0x30
      Out8(0x3C4, 0x3E), In8(0x3C5, 0x00), Out8(0x3C5, 0x00),  // SR3E bit 0 clear
      Out8(0x3CD, 0x00),                                       // bank 0: 800 wide
      Out16(0x3D4, 0x8013),                                    // the row's ZEL_1K_WIDE
      Out16(0x3C4, 0x8605),                                    // SR05
      Out16(0x3C4, 0x0020), Out16(0x3C4, 0x7C21),              // aperture 0xE0000000, 4 MB
      Out8(0x3C4, 0x06), In8(0x3C5, 0x80), Out8(0x3C5, 0x80),  //   and on
      Out8(0x3C4, 0x35), In8(0x3C5, 0x20),                     // a retrace begins
      In8(0x3CC, 0x2F), In8(0x3DA, 0x09),                      //   on colour status:
      Out8(0x3C4, 0x35), Out8(0x3C5, 0x00),                    //   SR35 bit 5 clear
      Out16(0x3D4, 0x8013),                                    // pitch 1024 / 8
      Out8(0x3C4, 0x0A), In8(0x3C5, 0x00), Out8(0x3C5, 0x00),  //   bits 11-8
      Out8(0x3C4, 0x27), In8(0x3C5, 0xFF), Out8(0x3C5, 0xCF),  //   no 2048/4096 class, bit 6
      Out8(0x3C4, 0x0B), In8(0x3C5, 0xDB), Out8(0x3C5, 0xBF),  //   bits 5 and 2, bit 7 kept
      Out8(0x3C4, 0x38), In8(0x3C5, 0x0A), Out8(0x3C5, 0xFA),  // pointer block 15
      Out8(0x3C4, 0x3E), In8(0x3C5, 0x00), Out8(0x3C5, 0x00),  //   its bit 4 in SR3E bit 2
      Out8(0x3C4, 0x08), In8(0x3C5, 0xA5), Out8(0x3C5, 0x35),  // FIFO low threshold 3
      Out8(0x3C4, 0x09), In8(0x3C5, 0x5A), Out8(0x3C5, 0x5F),  //   high threshold 0x1F
      Out8(0x3C4, 0x3F), In8(0x3C5, 0xFF), Out8(0x3C5, 0xDB),  //   threshold bit 4 clear
  };
  // clang-format on
  EXPECT_TRACE(LastReadOfEachWait(s.Since(mark)), expected);

  // The 43 Hz desktop again, locked again: 60 Hz is not interlaced.
  ASSERT_EQ(s.SetMode(k1024x768x8At43), NO_ERROR);
  ASSERT_EQ(s.adapter().Seq(0x0E) & 0x04, 0x04);
  s.adapter().Out16(0x3C4, 0x0005);
  ASSERT_EQ(s.SetMode(k1024x768x8At60), NO_ERROR);
  EXPECT_EQ(s.adapter().Seq(0x0E) & 0x04, 0x00) << "SR0E bit 2: interlaced";
  EXPECT_EQ(s.adapter().Seq(0x37), 0x88);
}

// With SR37 bit 7 clear the refresh goes by the width's own fields (SR25's
// 85 Hz field and SR0F for 800 wide) and SR37 keeps its value.
TEST(ModeSet, RefreshByFieldsWithoutTheIndexMethod) {
  test::DriverSession s;
  for (const uint16_t word : {0x0037, 0xFF25, 0x010F})
    s.adapter().Out16(0x3C4, word);
  const size_t mark = s.Mark();
  ASSERT_EQ(s.SetMode(7), NO_ERROR);  // 800 x 600 at 60 Hz

  using namespace sim::io;
  const std::vector<TraceEntry> expected = test::Bus({
      Out16(0x3C4, 0x8605),                 // open the extended registers
      Out8(0x3C4, 0x37), In8(0x3C5, 0x00),  // refresh by fields
      Out16(0x3C4, 0x8605),                 //   open again
      test::SeqModify(0x25, 0xFF, 0xFC),    //   no 85 Hz at 800
      test::SeqModify(0x0F, 0x01, 0x11),    //   60 Hz
      Out8(0x3C4, 0x35),                    // then the retrace wait
  });
  const std::vector<TraceEntry> got = s.Since(mark);
  ASSERT_GE(got.size(), expected.size());
  EXPECT_TRACE(std::vector<TraceEntry>(got.begin(), got.begin() + expected.size()), expected);
  EXPECT_EQ(s.adapter().Seq(0x37), 0x00);
}

// The waits read input status 1 where misc output bit 0 puts it (a session
// may have left mono addressing, where 0x3DA floats to 0xFF) and end within
// a frame; a retrace bit stuck either way ends each wait after 0x10000 reads.
TEST(ModeSet, RetraceWaitsEnd) {
  const struct {
    long misc, stuckMask, stuck, least, most;  // least, most: status reads of the two waits
  } cases[] = {
      {0x67, 0x00, 0x00, 2, 2 * 2 * 64},
      {0x66, 0x00, 0x00, 2, 2 * 2 * 64},
      {0x67, 0x08, 0x08, 0x10000, 2 * (0x10000 + 1)},
      {0x67, 0x08, 0x00, 0x10000, 2 * (0x10000 + 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "misc " << int(c.misc) << ", stuck " << int(c.stuckMask));
    test::DriverSession s;
    s.adapter().Out8(0x3C2, c.misc);
    if (c.stuckMask != 0) s.adapter().StickStatusBits(c.stuckMask, c.stuck);
    const size_t mark = s.Mark();
    ASSERT_EQ(s.SetMode(k640x480x8At60), NO_ERROR);
    const std::vector<TraceEntry> accesses = s.Since(mark);
    const long statusReads =
        std::count_if(accesses.begin(), accesses.end(), [](const TraceEntry& e) {
          return e.kind == AccessKind::In && (e.address == 0x3DA || e.address == 0x3BA);
        });
    EXPECT_TRUE(statusReads >= c.least && statusReads <= c.most) << statusReads << " reads";
  }
}

}  // namespace
