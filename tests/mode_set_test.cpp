// Mode set through the dispatcher on the simulated adapter: the refresh
// selection, the BIOS call and the extended registers after it, and what the
// device extension records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/machine.h"

namespace {

using sim::AccessKind;
using sim::TraceEntry;

constexpr ULONG kTextMode = 0;
constexpr ULONG k640x480x8At60 = 2;
constexpr ULONG k800x600x8At60 = 7;
constexpr ULONG k1024x768x8At43 = 11;
constexpr ULONG k1024x768x8At60 = 12;
constexpr ULONG k640x480x16At60 = 40;
constexpr ULONG k1024x768x16At60 = 50;
constexpr ULONG k640x480x24At60 = 63;
constexpr ULONG k1024x768x32At60 = 83;
constexpr ULONG k1600x1200x32At65 = 92;

sim::Profile WithMemory(uint32_t megabytes, uint32_t bus = 64, uint32_t clock = 100) {
  sim::Profile profile;
  profile.memoryMB = megabytes;
  profile.busWidth = bus;
  profile.memoryClockMHz = clock;
  return profile;
}

class ModeSet : public ::testing::Test {
 protected:
  void Start(const sim::Profile& profile = sim::Profile::Default()) {
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(profile);
    ASSERT_EQ(machine_->Load(), 0u);
    ASSERT_TRUE(machine_->Started());
  }

  VgaDeviceExtension& Ext() {
    return *static_cast<VgaDeviceExtension*>(machine_->DeviceExtension());
  }
  sim::Adapter& Adapter() { return machine_->adapter(); }

  VP_STATUS SetMode(ULONG mode) {
    VIDEO_MODE request{mode};
    return machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &request, sizeof(request), nullptr, 0)
        .status;
  }

  // Pitch as the CRTC sees it: CR13 plus SR0A bits 7..4 as bits 11..8.
  unsigned PitchRegister() { return Adapter().Crtc(0x13) | ((Adapter().Seq(0x0A) >> 4) << 8); }

  std::vector<TraceEntry> Since(size_t mark) { return machine_->trace().Since(mark); }

  std::unique_ptr<sim::Machine> machine_;
};

// Refused numbers leave the hardware and the extension alone; the number
// comes back with bit 31 clear.
TEST_F(ModeSet, RefusalsChangeNothing) {
  Start();
  ASSERT_EQ(SetMode(k640x480x8At60), NO_ERROR);
  struct Case {
    ULONG requested;
    ULONG length;
    VP_STATUS status;
    ULONG leftInBuffer;
  };
  const Case cases[] = {
      {96, 4, ERROR_INVALID_PARAMETER, 96},
      {0xFFFFFFFF, 4, ERROR_INVALID_PARAMETER, 0x7FFFFFFF},
      {k640x480x24At60, 4, ERROR_INVALID_PARAMETER, k640x480x24At60},  // never valid
      {91, 4, ERROR_INVALID_PARAMETER, 91},  // 1600x1200x32 at 60 Hz, excluded everywhere
      {k1024x768x8At60, 3, ERROR_INSUFFICIENT_BUFFER, k1024x768x8At60},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> before(sizeof(VgaDeviceExtension));
    std::memcpy(before.data(), &Ext(), before.size());
    const sim::VgaState hardware = Adapter().WholeState();
    const size_t mark = machine_->trace().Start();
    VIDEO_MODE request{c.requested};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &request, c.length, nullptr, 0).status,
              c.status)
        << "mode " << c.requested;
    EXPECT_EQ(request.RequestedMode, c.leftInBuffer);
    EXPECT_TRUE(Since(mark).empty()) << "mode " << c.requested << " touched the hardware";
    EXPECT_EQ(std::memcmp(before.data(), &Ext(), before.size()), 0) << "mode " << c.requested;
    EXPECT_TRUE(Adapter().WholeState() == hardware);
  }
}

TEST_F(ModeSet, ResetGoesBackToTheTextMode) {
  Start();
  ASSERT_EQ(SetMode(k1024x768x8At60), NO_ERROR);
  const UCHAR fifoBefore = Adapter().Seq(0x08);
  const size_t mark = machine_->trace().Start();
  EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0).status, NO_ERROR);
  const std::vector<TraceEntry> accesses = Since(mark);

  // No refresh selection: SR37 is not selected before the BIOS call.
  const auto bios = std::find_if(accesses.begin(), accesses.end(),
                                 [](const TraceEntry& e) { return e.kind == AccessKind::Bios; });
  ASSERT_NE(bios, accesses.end());
  EXPECT_EQ(bios->value, 0x03u);
  EXPECT_EQ(std::count(accesses.begin(), bios, sim::io::Out8(0x3C4, 0x37)), 0);
  // 720 is below 800: the bank select register is left alone.
  for (const TraceEntry& e : accesses)
    EXPECT_NE(e.address, 0x3CDu) << sim::Format(e);

  EXPECT_EQ(Adapter().Seq(0x3E) & 0x01, 0x00);   // SR3E bit 0 clear in text modes
  EXPECT_EQ(Adapter().Attr(0x10) & 0x08, 0x00);  // blink off
  EXPECT_EQ(Adapter().Seq(0x35) & 0x20, 0x20);   // SR35 bit 5 stays set after a text mode
  EXPECT_EQ(Adapter().Seq(0x08), fifoBefore);    // no FIFO programming

  EXPECT_EQ(Ext().ModeIndex, kTextMode);
  EXPECT_EQ(Ext().VideoMemoryPhysical.QuadPart, 0xA0000);
  EXPECT_EQ(Ext().VideoMemoryLength, 0x20000u);
  EXPECT_EQ(Ext().FramePhysical.QuadPart, 0xB8000);
  EXPECT_EQ(Ext().FrameLength, 0x8000u);
  EXPECT_EQ(Ext().FrameBufferView, Ext().A0000View);
  EXPECT_EQ(Ext().HardwarePointerAvailable, 0);
}

struct PitchCase {
  const char* name;
  uint32_t megabytes;
  uint32_t clock;
  ULONG mode;
  unsigned pitchRegister;  // CR13 | SR0A[7:4] << 8
  UCHAR sr27Bits54;
  bool sr0bBit7;
};

class ModeSetPitch : public ModeSet, public ::testing::WithParamInterface<PitchCase> {};

TEST_P(ModeSetPitch, PitchRegisters) {
  const PitchCase& c = GetParam();
  Start(WithMemory(c.megabytes, c.megabytes == 1 ? 32 : 64, c.clock));
  ASSERT_EQ(SetMode(c.mode), NO_ERROR);
  EXPECT_EQ(PitchRegister(), c.pitchRegister);
  EXPECT_EQ(Adapter().Seq(0x27) & 0x30, c.sr27Bits54);
  EXPECT_EQ(Adapter().Seq(0x27) & 0x40, 0x40);
  EXPECT_EQ((Adapter().Seq(0x0B) & 0x80) != 0, c.sr0bBit7);
  EXPECT_EQ(Adapter().Seq(0x0B) & 0x64, 0x24);
}

INSTANTIATE_TEST_SUITE_P(
    Strides, ModeSetPitch,
    ::testing::Values(
        PitchCase{"Interlaced1024CountsFourByteUnits", 4, 100, k1024x768x8At43, 0x100, 0x00, false},
        PitchCase{"Progressive1024CountsEightByteUnits", 4, 100, k1024x768x8At60, 0x080, 0x00,
                  false},
        PitchCase{"NarrowedTo1280OnOneMegabyte", 1, 100, k640x480x16At60, 0x0A0, 0x00, false},
        PitchCase{"Stride2048SetsSr27Bit4", 4, 100, k1024x768x16At60, 0x100, 0x10, false},
        PitchCase{"Stride4096SetsSr27Bit5", 4, 100, k1024x768x32At60, 0x200, 0x20, true},
        PitchCase{"Stride6400", 8, 138, k1600x1200x32At65, 0x320, 0x00, true}),
    [](const ::testing::TestParamInfo<PitchCase>& info) { return std::string(info.param.name); });

TEST_F(ModeSet, NarrowedModeKeepsItsPointer) {
  Start(WithMemory(1, 32));
  ASSERT_EQ(SetMode(k640x480x16At60), NO_ERROR);
  EXPECT_EQ(Ext().HardwarePointerAvailable, 1);
}

struct ApertureCase {
  uint32_t megabytes;
  UCHAR sr21;
  UCHAR sr38High;
  UCHAR sr3eBit2;
};

TEST_F(ModeSet, ApertureAndPointerPatternLocation) {
  const ApertureCase cases[] = {{8, 0x9C, 0xF, 1}, {4, 0x7C, 0xF, 0}, {2, 0x7C, 0x7, 0}};
  for (const ApertureCase& c : cases) {
    Start(WithMemory(c.megabytes));
    ASSERT_EQ(SetMode(k640x480x8At60), NO_ERROR);
    EXPECT_EQ(Adapter().Seq(0x20), 0x00) << c.megabytes << " MB";
    EXPECT_EQ(Adapter().Seq(0x21), c.sr21) << c.megabytes << " MB";
    EXPECT_EQ(Adapter().Seq(0x06) & 0x80, 0x80);
    ASSERT_TRUE(Adapter().ApertureBase().has_value());
    EXPECT_EQ(*Adapter().ApertureBase(), 0xE0000000u);
    EXPECT_EQ(Adapter().Seq(0x38) >> 4, c.sr38High) << c.megabytes << " MB";
    EXPECT_EQ((Adapter().Seq(0x3E) >> 2) & 1, c.sr3eBit2) << c.megabytes << " MB";
    EXPECT_EQ(Ext().PointerShapeAddress, Ext().LinearFrameView + c.megabytes * 0x100000 - 0x800);
  }
}

// 3 MB (SR0F memory code 3, SR2F 5 on a 64-bit bus): 1024x768 at 32 bits
// fills it exactly, and the pointer needs strictly less.
TEST_F(ModeSet, PointerNeedsRoomBeyondTheVisibleFrame) {
  sim::Profile profile;
  profile.seqOverrides[0x0F] = 0x03;
  profile.seqOverrides[0x2F] = 0x05;
  Start(profile);
  ASSERT_EQ(Ext().VideoMemorySize, 0x300000u);
  ASSERT_EQ(SetMode(k1024x768x32At60), NO_ERROR);
  EXPECT_EQ(Ext().HardwarePointerAvailable, 0);
  ASSERT_EQ(SetMode(k1024x768x16At60), NO_ERROR);
  EXPECT_EQ(Ext().HardwarePointerAvailable, 1);
}

TEST_F(ModeSet, BiosFailureIsReturnedAndRecordsNothing) {
  Start();
  ASSERT_EQ(SetMode(k640x480x8At60), NO_ERROR);
  machine_->InjectFault({sim::Service::Int10, 0, 1, 0x1F});
  std::vector<uint8_t> before(sizeof(VgaDeviceExtension));
  std::memcpy(before.data(), &Ext(), before.size());
  machine_->adapter().Out8(0x3C4, 0x35);
  machine_->adapter().Out8(0x3C5, 0x00);
  EXPECT_EQ(SetMode(k1024x768x8At60), 0x1F);
  EXPECT_EQ(std::memcmp(before.data(), &Ext(), before.size()), 0);
  // The refresh selection (index 2 for 1024 at 60 Hz) and SR35 bit 5 stay written.
  EXPECT_EQ(Adapter().Seq(0x37) & 0x7C, 2 << 2);
  EXPECT_EQ(Adapter().Seq(0x35) & 0x20, 0x20);
}

// A retrace wait is a run of status reads as long as the frame has left;
// its last read saw the retrace begin. The trace keeps that one.
std::vector<TraceEntry> LastReadOfEachWait(const std::vector<TraceEntry>& trace) {
  std::vector<TraceEntry> kept;
  for (size_t i = 0; i < trace.size(); ++i) {
    auto status = [&](size_t at) {
      return at < trace.size() && trace[at].kind == AccessKind::In && trace[at].address == 0x3DA;
    };
    if (!(status(i) && status(i + 1))) kept.push_back(trace[i]);
  }
  return kept;
}

// A whole graphics mode set in the order the hardware needs it, after a
// full-screen session locked the extended registers (SR05 is not trapped)
// and a display driver left bank 0x11: 800 x 600 at 60 Hz, refresh by index
// (SR37 bit 7), from a 1024 x 768 desktop at 43 Hz interlaced. Extended
// registers the mode set changes by read-modify-write hold other values
// first, so every write shows what it kept and what it set.
TEST_F(ModeSet, WholeGraphicsModeSetInTheOrderTheHardwareNeeds) {
  sim::Profile profile;
  profile.seqOverrides[0x37] = 0x80;
  Start(profile);
  ASSERT_EQ(SetMode(k1024x768x8At43), NO_ERROR);
  for (const uint16_t word : {0xA508, 0x5A09, 0xFF3F, 0xFF27, 0xDB0B, 0x0A38})
    Adapter().Out16(0x3C4, word);
  Adapter().Out8(0x3CD, 0x11);
  Adapter().Out16(0x3C4, 0x0005);  // locked
  const size_t mark = machine_->trace().Start();
  ASSERT_EQ(SetMode(k800x600x8At60), NO_ERROR);

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
  const std::string diff = sim::CompareTraces(expected, LastReadOfEachWait(Since(mark)));
  EXPECT_TRUE(diff.empty()) << diff;

  // The 43 Hz desktop again, locked again: 60 Hz is not interlaced.
  ASSERT_EQ(SetMode(k1024x768x8At43), NO_ERROR);
  ASSERT_EQ(Adapter().Seq(0x0E) & 0x04, 0x04);
  Adapter().Out16(0x3C4, 0x0005);
  ASSERT_EQ(SetMode(k1024x768x8At60), NO_ERROR);
  EXPECT_EQ(Adapter().Seq(0x0E) & 0x04, 0x00) << "SR0E bit 2: interlaced";
  EXPECT_EQ(Adapter().Seq(0x37), 0x88);
}

TEST_F(ModeSet, StuckRetraceBitDoesNotHang) {
  for (const UCHAR stuck : {UCHAR{0x08}, UCHAR{0x00}}) {
    Start();
    Adapter().StickStatusBits(0x08, stuck);
    const size_t mark = machine_->trace().Start();
    EXPECT_EQ(SetMode(k640x480x8At60), NO_ERROR);
    const std::vector<TraceEntry> accesses = Since(mark);
    const auto statusReads = std::count_if(
        accesses.begin(), accesses.end(),
        [](const TraceEntry& e) { return e.kind == AccessKind::In && e.address == 0x3DA; });
    // Two waits, each giving up after 0x10000 reads in its stuck phase.
    EXPECT_GE(statusReads, 0x10000);
    EXPECT_LE(statusReads, 2 * (0x10000 + 1));
  }
}

// The waits read input status 1 where misc output bit 0 puts it: a session
// may have left mono addressing, where 0x3DA floats to 0xFF.
TEST_F(ModeSet, RetraceWaitsEndWithinAFrame) {
  for (const UCHAR misc : {UCHAR{0x67}, UCHAR{0x66}}) {
    Start();
    Adapter().Out8(0x3C2, misc);
    const size_t mark = machine_->trace().Start();
    ASSERT_EQ(SetMode(k640x480x8At60), NO_ERROR);
    const std::vector<TraceEntry> accesses = Since(mark);
    const auto statusReads =
        std::count_if(accesses.begin(), accesses.end(), [](const TraceEntry& e) {
          return e.kind == AccessKind::In && (e.address == 0x3DA || e.address == 0x3BA);
        });
    EXPECT_LE(statusReads, 2 * 2 * 64) << "misc " << int(misc);
  }
}

}  // namespace
