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
#include "tests/support/driver_session.h"
#include "tests/support/full_screen_switch.h"

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
  explicit Session(PortPath path, bool batchStrings = true)
      : machine(std::make_unique<sim::Machine>()) {
    EXPECT_EQ(machine->Load(), NO_ERROR);
    if (path == PortPath::Emulator) {
      EXPECT_EQ(machine->Ioctl(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0).status, NO_ERROR);
    }
    vdm = std::make_unique<Vdm>(*machine,
                                sim::session::Options{.ports = path, .batchStrings = batchStrings});
    vdm->OnPortRead([this](const sim::session::PortAccess& a) {
      seen.push_back({true, a.port, a.size, a.value});
    });
    vdm->OnWindowRead([this](const sim::session::WindowRead& r) {
      seen.push_back({false, r.address, r.size, r.value});
    });
  }
  sim::Adapter& adapter() { return machine->adapter(); }

  std::unique_ptr<sim::Machine> machine;
  std::unique_ptr<Vdm> vdm;
  std::vector<Seen> seen;
};

// One INT 10h call in the trapped session and in the bare one: the same
// registers back, the same reads on the way, the same session memory and
// the same adapter.
struct Twins {
  Session bare{PortPath::Direct}, trapped{PortPath::Emulator};

  Registers Call(uint32_t eax, uint32_t ebx = 0, uint32_t ecx = 0, uint32_t edx = 0,
                 uint16_t es = 0) {
    Registers in;
    in.eax = eax, in.ebx = ebx, in.ecx = ecx, in.edx = edx, in.es = es;
    const Registers want = bare.vdm->Int10(in);
    const Registers got = trapped.vdm->Int10(in);
    EXPECT_EQ(got, want);
    EXPECT_TRUE(SameReads(trapped.seen, bare.seen));
    EXPECT_TRUE(test::BytesAre(trapped.vdm->Memory(), bare.vdm->Memory())) << "session memory";
    EXPECT_TRUE(trapped.adapter() == bare.adapter()) << testing::PrintToString(
        sim::Diff(bare.adapter().WholeState(), trapped.adapter().WholeState()));
    return got;
  }
  void Poke(uint32_t address, std::vector<uint8_t> bytes) {
    bare.vdm->WriteMemory(address, bytes);
    trapped.vdm->WriteMemory(address, bytes);
  }
  uint8_t Bda(uint32_t offset) const { return trapped.vdm->Memory()[0x400 + offset]; }
  uint8_t Crtc(uint8_t index) { return trapped.adapter().Crtc(index); }
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
    Twins t;
    t.Call(mode);
    EXPECT_EQ(t.trapped.machine->TrapSet().size(), 4u) << "the idle trap set again";

    const sim::VgaState before = t.trapped.adapter().WholeState();
    const sim::screen::Image shown = sim::screen::RenderScreen(t.trapped.adapter());
    FullScreenSwitch(*t.trapped.machine);
    EXPECT_TRUE(SameVga(test::AcceptedAfterSwitch(before), t.trapped.adapter().WholeState()));
    EXPECT_TRUE(sim::screen::RenderScreen(t.trapped.adapter()).rgb == shown.rgb) << "screenshot";
  }
}

// ---- INT 10h text services through the trap tables

// The BIOS's text services as a DOS program calls them, with the values the
// PC BIOS interface documents for each (BIOS data area, CRTC, DAC).
TEST(RealSession, TextServicesThroughTheTraps) {
  Twins t;
  t.Call(0x0003);
  struct Font {
    uint16_t ax;
    uint8_t height, lastRow;
  };
  // 1111h 8 x 14, 1112h 8 x 8, 1114h 8 x 16: the ROM font into block 0 and
  // the rows recomputed for 400 scan lines.
  for (const Font f : {Font{0x1111, 14, 27}, Font{0x1112, 8, 49}, Font{0x1114, 16, 24}}) {
    SCOPED_TRACE(testing::Message() << "font " << std::hex << f.ax);
    t.Call(f.ax, 0x0000);
    EXPECT_EQ(t.Bda(0x85), f.height) << "character height";
    EXPECT_EQ(t.Bda(0x84), f.lastRow) << "rows less one";
    EXPECT_EQ(t.Crtc(0x09) & 0x1F, f.height - 1) << "CR09 maximum scan line";
  }

  t.Call(0x0100, 0, 0x0D0E);  // cursor shape: lines 13 to 14
  EXPECT_EQ(t.Bda(0x60), 0x0E);
  EXPECT_EQ(t.Bda(0x61), 0x0D);
  EXPECT_EQ(t.Crtc(0x0A) & 0x1F, 0x0D);
  EXPECT_EQ(t.Crtc(0x0B) & 0x1F, 0x0E);
  t.Call(0x0200, 0x0000, 0, 0x050A);  // cursor to row 5, column 10
  EXPECT_EQ(t.Bda(0x50), 10);
  EXPECT_EQ(t.Bda(0x51), 5);
  EXPECT_EQ(t.Crtc(0x0E) << 8 | t.Crtc(0x0F), 5 * 80 + 10);

  for (const char c : std::string("Zel\r\n"))
    t.Call(0x0E00 | static_cast<uint8_t>(c), 0x0007);  // teletype
  EXPECT_EQ(t.Bda(0x50), 0) << "carriage return";
  EXPECT_EQ(t.Bda(0x51), 6) << "line feed";
  t.Call(0x0200, 0x0000, 0, 0x050B);
  EXPECT_EQ(t.Call(0x0800).eax & 0xFFFF, 0x0765u) << "'e' in grey on black at row 5, column 11";

  // Palette and DAC (10h): one entry set and read back, a palette register,
  // a block of DAC entries from memory and back into memory.
  t.Call(0x1010, 0x0021, 0x2A15, 0x3F00);  // DAC 21h := red 3Fh, green 2Ah, blue 15h
  const Registers dac = t.Call(0x1015, 0x0021);
  EXPECT_EQ(dac.edx >> 8 & 0xFF, 0x3Fu);
  EXPECT_EQ(dac.ecx >> 8 & 0xFF, 0x2Au);
  EXPECT_EQ(dac.ecx & 0xFF, 0x15u);
  t.Call(0x1000, 0x3904);  // palette register 4 := 39h
  EXPECT_EQ(t.Call(0x1007, 0x0004).ebx >> 8 & 0xFF, 0x39u);
  EXPECT_EQ(t.trapped.adapter().Attr(0x04), 0x39);
  t.Poke(0x20000, {0x01, 0x02, 0x03, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23});
  t.Call(0x1012, 0x0040, 3, 0x0000, 0x2000);  // entries 40h-42h from 2000:0000
  EXPECT_EQ(t.trapped.adapter().Dac(0x41), (sim::Rgb{0x11, 0x12, 0x13}));
  t.Call(0x1017, 0x0040, 3, 0x0100, 0x2000);  // and back to 2000:0100
  EXPECT_TRUE(test::BytesAre(t.trapped.vdm->Memory().subspan(0x20100, 9),
                             t.trapped.vdm->Memory().subspan(0x20000, 9)));
  t.Poke(0x20200,
         {0, 1, 2, 3, 4, 5, 0x14, 7, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x05});
  t.Call(0x1002, 0, 0, 0x0200, 0x2000);  // all palette registers and the overscan
  EXPECT_EQ(t.Call(0x1008).ebx >> 8 & 0xFF, 0x05u) << "overscan";
}

// ---- the session's processor: string I/O, interrupts, endings

const uint8_t kStringIo[] = {
#include "programs/string_io.inc"
};

// Each element of a string port instruction is one access of its size: the
// sequencer words go to the word validator one by one (the first starts a
// recording, the last ends it and the driver plays the burst), the DAC bytes
// straight to the adapter, and `rep insb` stores what the DAC gave back.
TEST(RealSession, StringInstructionsReachTheValidatorsElementByElement) {
  Session s(PortPath::Emulator);
  std::vector<sim::session::PortAccess> accesses;
  s.vdm->OnPortAccess([&](const sim::session::PortAccess& a) { accesses.push_back(a); });
  const size_t mark = s.machine->trace().Start();
  const sim::session::Outcome end = s.vdm->RunCom(kStringIo);
  EXPECT_EQ(end.end, End::Exited);

  std::vector<std::string> made;
  for (const auto& a : accesses) {
    made.push_back((a.write ? "out" : "in") + std::to_string(8 * a.size) + " " +
                   std::to_string(a.port));
  }
  const std::vector<std::string> want = {
      "out16 964", "out16 964", "out16 964", "out8 968", "out8 969", "out8 969",
      "out8 969",  "out8 969",  "out8 969",  "out8 969", "out8 967", "in8 969",
      "in8 969",   "in8 969",   "in8 969",   "in8 969",  "in8 969"};
  EXPECT_EQ(made, want);

  namespace io = sim::io;
  const std::vector<sim::TraceEntry> burst = {io::Traps(2),  // recording: the first word held back
                                              io::Out16(0x3C4, 0x0100),
                                              io::Out16(0x3C4, 0x0101),
                                              io::Out16(0x3C4, 0x0300),
                                              io::Out16(0x3C4, 0x0300),
                                              io::Out8(0x3C4, 0x00),
                                              io::Traps(4)};
  const std::vector<sim::TraceEntry> trace = s.machine->trace().Since(mark);
  ASSERT_GE(trace.size(), burst.size());
  EXPECT_TRACE(std::vector<sim::TraceEntry>(trace.begin(), trace.begin() + burst.size()), burst);
  EXPECT_EQ(s.adapter().Seq(0x01) & 0x01, 0x01) << "8-dot cells";
  EXPECT_EQ(s.adapter().Dac(2), (sim::Rgb{0x3D, 0x3E, 0x3F}));
  const uint32_t readback = (Vdm::kProgramSegment << 4) + 0x13A;
  EXPECT_TRUE(test::BytesAre(s.vdm->Memory().subspan(readback, 6),
                             std::vector<uint8_t>{0x01, 0x02, 0x03, 0x3D, 0x3E, 0x3F}));
}

// How a program ends, or the error that names where it went wrong.
TEST(RealSession, ProgramsEndOnHltExitOrAClearError) {
  struct Case {
    const char* name;
    std::vector<uint8_t> code;  // at 1000:0100
    End end;
    uint8_t exitCode;
    uint16_t ax;          // AX at the end
    const char* failure;  // the error's text, when it fails
  };
  // clang-format off
  const Case cases[] = {
      {"hlt", {0xF4}, End::Halted, 0, 0, nullptr},
      {"INT 20h", {0xCD, 0x20}, End::Exited, 0, 0, nullptr},
      {"INT 21h 4Ch", {0xB8, 0x07, 0x4C, 0xCD, 0x21}, End::Exited, 7, 0x4C07, nullptr},
      {"ret to the PSP", {0xC3}, End::Exited, 0, 0, nullptr},
      // Vector 60h pointed at 1000:0112 (mov al, 5Ah; iret), int 60h, hlt.
      {"a vector of its own", {0x31, 0xC0, 0x8E, 0xD8, 0xC7, 0x06, 0x80, 0x01, 0x12, 0x01, 0x8C,
                               0x0E, 0x82, 0x01, 0xCD, 0x60, 0xF4, 0x90, 0xB0, 0x5A, 0xCF},
       End::Halted, 0, 0x005A, nullptr},
      {"no device at port 61h", {0xE4, 0x61, 0xF4}, End::Halted, 0, 0x00FF, nullptr},
      {"BIOS ticks", {0xB4, 0x00, 0xCD, 0x1A, 0xF4}, End::Halted, 0, 0x0000, nullptr},
      {"endless loop", {0xEB, 0xFE}, End::Halted, 0, 0, "the bound of 100000 blocks was reached at 1000:0100 (eb fe"},
      {"divide by zero", {0x31, 0xDB, 0xF7, 0xF3}, End::Halted, 0, 0, "divide error (#DE) at 1000:0102 (f7 f3"},
      {"ud2", {0x0F, 0x0B}, End::Halted, 0, 0, "invalid opcode (#UD) at 1000:0100 (0f 0b"},
      {"keyboard", {0xCD, 0x16}, End::Halted, 0, 0, "INT 16h at 1000:0100 (cd 16 00 00 00 00) has no handler"},
      {"DOS print", {0xB4, 0x09, 0xCD, 0x21}, End::Halted, 0, 0,
       "INT 21h function 09h (DOS offers only 4Ch here) at 1000:0102 (cd 21"},
      {"write to the video BIOS", {0xB8, 0x00, 0xC0, 0x8E, 0xD8, 0xA2, 0x00, 0x00}, End::Halted, 0, 0,
       "a write of 1 bytes at C0000, read-only memory, by the block at 1000:0100 (b8 00 c0"},
      {"read where nothing is", {0xB8, 0x00, 0xE0, 0x8E, 0xD8, 0xA0, 0x00, 0x00}, End::Halted, 0, 0,
       "a read of 1 bytes at E0000, where nothing answers, by the block at 1000:0100 (b8 00 e0"},
  };
  // clang-format on
  test::DriverSession driver;
  ASSERT_EQ(driver.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  Vdm vdm(driver.machine(), {.blockLimit = 100000});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vdm.Rollback();
    if (c.failure) {
      try {
        vdm.RunCom(c.code);
        ADD_FAILURE() << "no error";
      } catch (const SessionError& e) {
        EXPECT_NE(std::string(e.what()).find(c.failure), std::string::npos) << e.what();
      }
      continue;
    }
    const sim::session::Outcome end = vdm.RunCom(c.code);
    EXPECT_EQ(end.end, c.end);
    EXPECT_EQ(end.exitCode, c.exitCode);
    if (c.ax) {
      EXPECT_EQ(vdm.CurrentRegisters().eax & 0xFFFF, c.ax);
    }
  }
}

// One engine for run after run, the program's code at the same place each
// time: every run executes the program loaded for it, never a translation
// of the one before.
TEST(RealSession, EachRunExecutesItsOwnProgram) {
  test::DriverSession driver;
  ASSERT_EQ(driver.Request(IOCTL_VIDEO_ENABLE_VDM, {}).status, NO_ERROR);
  Vdm vdm(driver.machine());
  for (uint16_t run = 1; run <= 300; ++run) {
    vdm.Rollback();
    const uint16_t value = static_cast<uint16_t>(run * 0x0101);
    const std::vector<uint8_t> program = {0xB8, static_cast<uint8_t>(value),
                                          static_cast<uint8_t>(value >> 8), 0xF4};  // mov ax; hlt
    ASSERT_EQ(vdm.RunCom(program).end, End::Halted) << "run " << run;
    ASSERT_EQ(vdm.CurrentRegisters().eax & 0xFFFF, value) << "run " << run;
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
      end.seen.push_back({true, a.port, a.size, a.value & ~test::DisplayTiming(a.port)});
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
  const sim::VgaState accepted = test::AcceptedAfterSwitch(want.vga);
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

// A repeated string store or move into the window reaches the adapter in one
// go, not element by element through the processor: the same byte writes,
// in the same order, as the BIOS clears, loads fonts and scrolls (from RAM,
// from its ROM, and window to window through the latches).
TEST(RealSession, BatchedStringInstructionsAreTheElementWritesOneByOne) {
  Session batched(PortPath::Emulator), one(PortPath::Emulator, false);
  const size_t batchedMark = batched.machine->trace().Start();
  const size_t oneMark = one.machine->trace().Start();
  const Registers calls[] = {{.eax = 0x0003},
                             {.eax = 0x1114},
                             {.eax = 0x0605, .ebx = 0x1E00, .edx = 0x184F},
                             {.eax = 0x0012},
                             {.eax = 0x0E41, .ebx = 0x000F},
                             {.eax = 0x0603, .edx = 0x1D4F},
                             {.eax = 0x0013},
                             {.eax = 0x0602, .edx = 0x184F},
                             {.eax = 0x000D},
                             {.eax = 0x0E42, .ebx = 0x000E}};
  for (const Registers& call : calls) {
    SCOPED_TRACE(testing::Message() << "AX=" << std::hex << call.eax);
    ASSERT_EQ(batched.vdm->Int10(call), one.vdm->Int10(call));
    ASSERT_TRUE(test::TraceIs(batched.machine->trace().Since(batchedMark),
                              one.machine->trace().Since(oneMark)));
    ASSERT_TRUE(batched.adapter() == one.adapter());
  }
}

}  // namespace
