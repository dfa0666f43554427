// Full-screen sessions running real code: Debian's SeaVGABIOS and small
// programs on the session's processor, their port I/O through the driver's
// trap tables. The reference for each is the same code on an adapter with
// nothing trapped: what the program reads and what the adapter ends in must
// be the same, with a full-screen switch or without.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/screen/screen.h"
#include "sim/session/vdm.h"
#include "tests/support/bus.h"

namespace {

using sim::session::End;
using sim::session::PortPath;
using sim::session::Registers;
using sim::session::SessionError;
using sim::session::Vdm;

constexpr ULONG kDesktopMode = 12;  // 1024 x 768 at 8 bits: linear, the session's window unused
constexpr uint32_t kStateSize = 264359;

// What the program read, in order: ports and the video window alike.
struct Seen {
  bool port;
  uint32_t where;
  uint8_t size;
  uint32_t value;
  bool operator==(const Seen&) const = default;
};

std::string Describe(const Seen& s) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%u 0x%x = 0x%x", s.port ? "in" : "read", 8 * s.size, s.where,
                s.value);
  return text;
}

testing::AssertionResult SameReads(const std::vector<Seen>& got, const std::vector<Seen>& want) {
  for (size_t i = 0; i < got.size() || i < want.size(); ++i) {
    if (i < got.size() && i < want.size() && got[i] == want[i]) continue;
    return testing::AssertionFailure()
           << "read #" << i << ": expected " << (i < want.size() ? Describe(want[i]) : "none")
           << ", got " << (i < got.size() ? Describe(got[i]) : "none");
  }
  return testing::AssertionSuccess();
}

// A machine with the driver loaded and a session on it: as NT runs one
// (VDM enabled, ports through the trap tables) or on the bare adapter.
struct Session {
  explicit Session(PortPath path) : machine(std::make_unique<sim::Machine>()) {
    EXPECT_EQ(machine->Load(), NO_ERROR);
    if (path == PortPath::Emulator) Request(IOCTL_VIDEO_ENABLE_VDM);
    vdm = std::make_unique<Vdm>(*machine, sim::session::Options{.ports = path});
    Watch();
  }
  void Watch() {
    vdm->OnPortRead([this](const sim::session::PortAccess& a) {
      seen.push_back({true, a.port, a.size, a.value});
    });
    vdm->OnWindowRead([this](const sim::session::WindowRead& r) {
      seen.push_back({false, r.address, r.size, r.value});
    });
  }
  sim::Machine::Result Request(ULONG code, void* in = nullptr, ULONG inLength = 0,
                               void* out = nullptr, ULONG outLength = 0) {
    return machine->Ioctl(code, in, inLength, out, outLength);
  }
  Registers Int10(uint32_t eax, uint32_t ebx = 0, uint32_t ecx = 0, uint32_t edx = 0) {
    Registers r;
    r.eax = eax, r.ebx = ebx, r.ecx = ecx, r.edx = edx;
    return vdm->Int10(r);
  }
  sim::Adapter& adapter() { return machine->adapter(); }

  std::unique_ptr<sim::Machine> machine;
  std::unique_ptr<Vdm> vdm;
  std::vector<Seen> seen;
};

// The console takes the screen from the session and gives it back: the
// session's state saved, the desktop's graphics mode set and drawn into
// through its frame buffer, the adapter reset, the state restored.
void FullScreenSwitch(sim::Machine& m) {
  std::vector<uint8_t> state(kStateSize);
  VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()), 0};
  auto request = [&m](ULONG code, void* in, ULONG inLength, void* out, ULONG outLength) {
    const VP_STATUS status = m.Ioctl(code, in, inLength, out, outLength).status;
    if (status != NO_ERROR) throw std::runtime_error("request failed: " + std::to_string(status));
  };
  request(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof record);
  VIDEO_MODE desktop{kDesktopMode};
  request(IOCTL_VIDEO_SET_CURRENT_MODE, &desktop, sizeof desktop, nullptr, 0);
  VIDEO_MEMORY map{nullptr};
  VIDEO_MEMORY_INFORMATION frame{};
  request(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &map, sizeof map, &frame, sizeof frame);
  auto* pixels = static_cast<uint8_t*>(frame.FrameBufferBase);
  for (ULONG i = 0; i < 1024 * 768; ++i)
    pixels[i] = static_cast<uint8_t>(i * 7 + (i >> 10));
  VIDEO_MEMORY unmap{frame.FrameBufferBase};
  request(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &unmap, sizeof unmap, nullptr, 0);
  request(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0);
  request(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &record, sizeof record, nullptr, 0);
}

// The differences the design accepts between a session that went through a
// full-screen switch and the same session without one, all of them here:
// - the extended registers and the bank select 0x3CD are not part of the
//   saved state (the desktop's mode set reprograms them): not compared;
// - the restore leaves SR00 running (0x03), port 0x3C3 at 1 and misc output
//   bit 3 (the external clock) clear;
// - byte 0xFFFF of each plane holds that plane's latch (the save stores the
//   latches there);
// - a DAC triple written part-way is completed into its entry;
// - input status 1 bits 0 and 3 (display enable, vertical retrace) as the
//   program reads them: the display kept running while the desktop had
//   the screen (DisplayTiming).
// Everything else of the standard VGA state and all of video memory is
// compared.
sim::VgaState AcceptedAfterSwitch(sim::VgaState s) {
  s.seq[0] = 0x03;
  s.videoEnable = 0x01;
  s.misc &= 0xF7;
  for (size_t p = 0; p < 4; ++p)
    s.planes[p][0xFFFF] = s.latches[p];
  if (!s.dacReadMode && s.dacPosition > 0) {
    s.dac[s.dacAddress] = {s.dacPending[0], s.dacPosition > 1 ? s.dacPending[1] : uint8_t{0}, 0};
  }
  return s;
}

uint32_t DisplayTiming(uint16_t port) {
  return port == 0x3BA || port == 0x3DA ? 0x09 : 0x00;
}

testing::AssertionResult SameVga(const sim::VgaState& want, const sim::VgaState& got) {
  if (want == got) return testing::AssertionSuccess();
  return testing::AssertionFailure() << testing::PrintToString(sim::Diff(want, got, 20));
}

// Every standard BIOS mode, text and graphics.
constexpr uint8_t kBiosModes[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                  0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13};

// The BIOS's mode sets through the trap tables: the program reads what it
// would read on the bare adapter, and the adapter ends the same in
// everything, extended registers included; then after a full-screen switch
// the session's state and screen are the ones before.
TEST(RealSession, EveryBiosModeThroughTheTrapsAsOnTheBareAdapter) {
  for (const uint8_t mode : kBiosModes) {
    SCOPED_TRACE(testing::Message() << "mode " << std::hex << int{mode});
    Session bare(PortPath::Direct), trapped(PortPath::Emulator);
    const Registers wantRegs = bare.Int10(mode);
    EXPECT_EQ(trapped.Int10(mode), wantRegs);
    EXPECT_TRUE(SameReads(trapped.seen, bare.seen));
    EXPECT_TRUE(test::BytesAre(trapped.vdm->Memory(), bare.vdm->Memory())) << "session memory";
    EXPECT_TRUE(SameVga(bare.adapter().WholeState(), trapped.adapter().WholeState()));
    EXPECT_TRUE(trapped.adapter() == bare.adapter()) << "extended registers or video memory";
    EXPECT_EQ(trapped.machine->TrapSet().size(), 4u) << "the idle trap set again";

    const sim::VgaState before = trapped.adapter().WholeState();
    const sim::screen::Image shown = sim::screen::RenderScreen(trapped.adapter());
    FullScreenSwitch(*trapped.machine);
    EXPECT_TRUE(SameVga(AcceptedAfterSwitch(before), trapped.adapter().WholeState()));
    EXPECT_TRUE(sim::screen::RenderScreen(trapped.adapter()).rgb == shown.rgb) << "screenshot";
  }
}

// ---- a switch at any point of a mode set

// The end of a mode 03h set, and what the program read on the way, with a
// full-screen switch before the session's VGA port access number `at` (none:
// no switch). Each run starts from a freshly booted machine; one session
// serves them all.
class SwitchAtAnyPoint : public testing::TestWithParam<int> {
 protected:
  struct End {
    sim::VgaState vga;
    Registers regs;
    std::vector<uint8_t> memory;
    std::vector<Seen> seen;
    uint64_t vgaAccesses = 0;
  };

  static constexpr int kShards = 8;

  End Run(std::optional<uint64_t> at) {
    auto machine = std::make_unique<sim::Machine>(sim::Profile::Default(), *booted_);
    EXPECT_EQ(machine->Load(), NO_ERROR);
    EXPECT_EQ(machine->Ioctl(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0).status, NO_ERROR);
    if (!vdm_) {
      vdm_ = std::make_unique<Vdm>(*machine);
    } else {
      vdm_->Attach(*machine);
      vdm_->Restart();
    }
    End end;
    uint64_t vga = 0;
    vdm_->OnPortAccess([&](const sim::session::PortAccess& a) {
      if (a.port < 0x3B0 || a.port > 0x3DF) return;  // the BIOS's debug port: no device
      if (at && vga == *at) FullScreenSwitch(*machine);
      ++vga;
    });
    vdm_->OnPortRead([&](const sim::session::PortAccess& a) {
      end.seen.push_back({true, a.port, a.size, a.value & ~DisplayTiming(a.port)});
    });
    vdm_->OnWindowRead([&](const sim::session::WindowRead& r) {
      end.seen.push_back({false, r.address, r.size, r.value});
    });
    Registers in;
    in.eax = 0x0003;
    end.regs = vdm_->Int10(in);
    end.vga = machine->adapter().WholeState();
    end.memory.assign(vdm_->Memory().begin(), vdm_->Memory().end());
    end.vgaAccesses = vga;
    // The run's machine and the hooks' captures go away.
    vdm_->OnPortAccess(nullptr);
    vdm_->OnPortRead(nullptr);
    vdm_->OnWindowRead(nullptr);
    vdm_->Attach(*template_);
    return end;
  }

  static void SetUpTestSuite() {
    template_ = std::make_unique<sim::Machine>();
    booted_ = std::make_unique<sim::Adapter>(template_->adapter());
    EXPECT_EQ(template_->Load(), NO_ERROR);
  }
  static void TearDownTestSuite() {
    vdm_.reset();
    template_.reset();
    booted_.reset();
  }

  static inline std::unique_ptr<sim::Machine> template_;
  static inline std::unique_ptr<sim::Adapter> booted_;
  static inline std::unique_ptr<Vdm> vdm_;
};

// A save at each of the mode set's port accesses, inside the BIOS's
// synchronous-reset sequences too, then the desktop, a restore, and the BIOS
// run continued: what it reads afterwards and where it ends are the
// uninterrupted run's (but for the differences the design accepts). Each
// shard takes every eighth access.
TEST_P(SwitchAtAnyPoint, EndsAsTheUninterruptedRun) {
  const End want = Run(std::nullopt);
  ASSERT_GT(want.vgaAccesses, 1000u) << "a mode set of about 1,100 VGA accesses";
  const sim::VgaState accepted = AcceptedAfterSwitch(want.vga);
  for (uint64_t at = GetParam(); at < want.vgaAccesses; at += kShards) {
    SCOPED_TRACE(testing::Message() << "switch before VGA access #" << at);
    const End got = Run(at);
    ASSERT_TRUE(SameReads(got.seen, want.seen));
    ASSERT_EQ(got.regs, want.regs);
    ASSERT_TRUE(test::BytesAre(got.memory, want.memory)) << "session memory";
    // A switch in the last stretch leaves the restore's marks.
    ASSERT_TRUE(got.vga == want.vga || got.vga == accepted)
        << testing::PrintToString(sim::Diff(want.vga, got.vga));
  }
}

INSTANTIATE_TEST_SUITE_P(Shard, SwitchAtAnyPoint, testing::Range(0, 8));

}  // namespace
