// Session harness: a full-screen session's traffic, and full-screen switches
// at any point of it, which must be invisible to the session.
//
// The session runs real code (sim/session/vdm.h): its video BIOS's INT 10h
// functions and small programs (fuzz/session_program.h), besides single port
// accesses of every width through the V86 emulator and reads and writes of
// the video window; the console's requests come in between (VDM enable,
// saves, restores of the last save, mode sets, any request). A switch (the
// session's state saved, a desktop mode set and drawn, the adapter reset,
// the state restored) comes between two steps, or before the Nth VGA port
// access of a BIOS call or program: inside a mode set's synchronous-reset
// recordings too. Every invariant of fuzz/harness.h holds after every step;
// a machine that never switches then holds the session to what it saw
// (fuzz/session_oracle.h).
//
// Input, read front to back: the adapter profile (fuzz::ReadProfile); the
// opening (bit 0: the display driver's reset, bit 1: VDM enabled, before
// the session starts); then up to 96 steps, each an operation byte and its
// operands:
//   0x00-0x5F a port access: width, port, direction, value
//   0x60-0x7F a window access: direction, width, address, value
//   0x80-0x9F a program (fuzz::ReadProgram)
//   0xA0-0xBF an INT 10h call (fuzz::ReadInt10), its data put in RAM first
//   0xC0-0xC7 a switch now: the desktop (see ReadDesktop)
//   0xC8-0xCF a switch before VGA access number N of the next BIOS call or
//             program: N, then the desktop
//   0xD0-0xD7 VDM enable          0xD8-0xDF a save (the state's fill byte)
//   0xE0-0xE7 restore the last save
//   0xE8-0xEF a mode set (one of five modes)
//   0xF0-0xFF any request (fuzz::ReadRequest)
#include <memory>
#include <optional>

#include "fuzz/harness.h"
#include "fuzz/session_oracle.h"
#include "fuzz/session_program.h"
#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "sim/session/vdm.h"

namespace {

using sim::session::SessionError;

// The display driver's desktop while the session is away: a graphics mode
// the adapter offers (none: the mode set is left out), and a run of bytes
// it draws through its frame buffer.
struct Desktop {
  uint8_t mode;  // which of the valid graphics modes
  uint32_t offset, length;
  uint8_t value, saveFill;
};

Desktop ReadDesktop(fuzz::Input& in) {
  Desktop d{};
  d.mode = in.U8();
  d.offset = uint32_t{in.U16()} * 64;
  d.length = (1 + uint32_t{in.U8()}) * 64;
  d.value = in.U8();
  d.saveFill = in.U8();
  return d;
}

// What one execution has going: its machine, the oracle's record, a switch
// armed for the next BIOS call or program.
struct Run {
  sim::Machine* machine = nullptr;
  fuzz::SessionOracle oracle;
  std::string where;
  size_t mark = 0;  // the trace's first entry not yet checked
  uint32_t vgaAccesses = 0;
  std::optional<uint32_t> switchAt;
  Desktop desktop{};
  std::vector<uint8_t> lastSave;
  std::span<const uint8_t> lastState;
};

Run& Current() {
  static Run run;
  return run;
}

void Switch(Run& run, const Desktop& desktop, const std::string& where) {
  sim::Machine& m = *run.machine;
  run.oracle.SwitchBegins(m);
  static std::vector<uint8_t> kept;
  const fuzz::Answer saved = fuzz::Save(m, desktop.saveFill, where, {.keep = &kept});
  if (saved.result.status != NO_ERROR) fuzz::Fail(where, "the switch's save failed");
  std::vector<ULONG> graphics;
  for (ULONG i = 0; i < NumVideoModes; ++i) {
    if ((ModesVGA[i].ValidMode & 0xFF) && (ModesVGA[i].ModeType & VIDEO_MODE_GRAPHICS))
      graphics.push_back(i);
  }
  if (!graphics.empty()) {
    if (fuzz::SetMode(m, graphics[desktop.mode % graphics.size()], where).result.status !=
        NO_ERROR) {
      fuzz::Fail(where, "the desktop's mode set failed");
    }
    // Its drawing reaches video memory as its stores through its mapping
    // of the linear frame buffer do.
    if (const auto base = m.adapter().ApertureBase()) {
      const uint32_t size = m.adapter().FollowedVram().Size();
      const uint32_t offset = desktop.offset % size;
      m.adapter().MemFill(*base + offset, std::min(desktop.length, size - offset), desktop.value);
    }
  }
  if (fuzz::ResetDevice(m, where).result.status != NO_ERROR) fuzz::Fail(where, "the reset failed");
  if (fuzz::Restore(m, saved.state, where).result.status != NO_ERROR)
    fuzz::Fail(where, "the switch's restore failed");
  run.oracle.SwitchEnded(m, where);
}

bool ReachesVga(uint16_t port, unsigned size) {
  return port <= 0x3DF && port + size - 1 >= 0x3B0;
}

// The session's processor, one for the harness: its video BIOS initialised
// once, as at boot, on a machine of its own; from then on it runs on the
// harness's machine, whose snapshots keep its state.
sim::session::Vdm& Session(sim::Machine& machine) {
  static std::unique_ptr<sim::Machine> boot;
  static std::unique_ptr<sim::session::Vdm> vdm;
  if (vdm) return *vdm;
  boot = std::make_unique<sim::Machine>();
  boot->Load();
  vdm = std::make_unique<sim::session::Vdm>(*boot, sim::session::Options{.blockLimit = 200000});
  vdm->Attach(machine);
  vdm->OnPortAccess([](const sim::session::PortAccess& a) {
    Run& run = Current();
    if (!ReachesVga(a.port, a.size)) return;
    const auto* ext = static_cast<const VgaDeviceExtension*>(run.machine->DeviceExtension());
    if (ext->TrappedValidatorCount > 98) {
      fuzz::Fail(run.where, "TrappedValidatorCount is " +
                                std::to_string(ext->TrappedValidatorCount) + " between accesses");
    }
    if (run.switchAt && *run.switchAt == run.vgaAccesses) {
      run.switchAt.reset();
      fuzz::CheckSession(*run.machine, run.mark, run.where);
      Switch(run, run.desktop,
             run.where + ", switch before VGA access #" + std::to_string(run.vgaAccesses));
      run.mark = run.machine->trace().Size();
    }
    ++run.vgaAccesses;
    if (a.write) run.oracle.Out(a.size, a.port, a.value);
  });
  vdm->OnPortRead([](const sim::session::PortAccess& a) {
    if (ReachesVga(a.port, a.size)) Current().oracle.In(a.size, a.port, a.value);
  });
  vdm->OnWindowRead([](const sim::session::WindowAccess& w) {
    Current().oracle.Read(w.address, w.size, w.value);
  });
  vdm->OnWindowWrite([](const sim::session::WindowAccess& w) {
    Current().oracle.Write(w.address, w.size, w.value);
  });
  return *vdm;
}

// A BIOS call or a program: it may end as a processor or DOS would end it;
// a stop that came from the platform (a validator's refusal) is a finding.
template <typename Code>
void RunCode(Run& run, Code code) {
  run.mark = run.machine->trace().Size();
  run.vgaAccesses = 0;
  try {
    code();
  } catch (const SessionError& e) {
    if (e.origin() == SessionError::Origin::Platform) fuzz::Fail(run.where, e.what());
  }
  run.switchAt.reset();
  fuzz::CheckSession(*run.machine, run.mark, run.where);
}

void Open(sim::Machine& m, uint8_t opening, const fuzz::Sending& sending) {
  if (opening & 1) fuzz::ResetDevice(m, "opening", sending);
  if (opening & 2) fuzz::EnableVdm(m, "opening", sending);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint16_t kBusyPorts[] = {0x3C4, 0x3C5, 0x3CE, 0x3CF, 0x3D4, 0x3D5, 0x3C0,
                                        0x3DA, 0x3C7, 0x3C8, 0x3C9, 0x3C2, 0x3CC, 0x3C6};
  static const unsigned kWidths[] = {1, 1, 1, 2, 2, 4};
  static const uint8_t kModes[] = {0, 1, 2, 12, 40};
  fuzz::Input in({data, size});
  const sim::Profile profile = fuzz::ReadProfile(in);
  const uint8_t opening = in.U8() & 3;
  Run& run = Current();
  run.machine = fuzz::LoadMachine(
      profile, "session",
      {.opening = opening, .open = [opening](sim::Machine& m) { Open(m, opening, {}); }});
  if (!run.machine) return 0;
  sim::Machine& m = *run.machine;
  sim::session::Vdm& session = Session(m);
  run.oracle.Clear();
  run.switchAt.reset();
  run.lastState = {};

  for (int step = 0; step < 96 && !in.Empty(); ++step) {
    run.where = "session step " + std::to_string(step);
    const uint8_t op = in.U8();
    if (op < 0x60) {
      const unsigned width = in.Pick(kWidths);
      const uint16_t port = in.Bool() ? in.Pick(kBusyPorts) : 0x3B0 + in.Below(0x30);
      const bool write = in.U8() < 192;
      const uint32_t value = !write ? 0 : width == 1 ? in.U8() : width == 2 ? in.U16() : in.U32();
      // Every byte of the access inside the block.
      const auto at = std::min<uint16_t>(port, static_cast<uint16_t>(0x3E0 - width));
      run.oracle.BeginStep(run.where + ", port access");
      const uint32_t read = fuzz::SessionAccess(m, width, at, write, value, run.where);
      write ? run.oracle.Out(width, at, value) : run.oracle.In(width, at, read);
    } else if (op < 0x80) {
      const bool write = in.Bool();
      const auto width = static_cast<uint8_t>(in.Pick(kWidths));
      const uint32_t address =
          std::min<uint32_t>(0xA0000 + (in.U16() | uint32_t{in.Bool()} << 16), 0xC0000 - width);
      uint32_t value = write ? in.U32() : 0;
      run.oracle.BeginStep(run.where + ", window " + (write ? "write " : "read ") + Hex(address));
      for (unsigned i = 0; i < width; ++i) {
        if (write) {
          m.V86Write8(address + i, static_cast<uint8_t>(value >> (8 * i)));
        } else {
          value |= uint32_t{m.V86Read8(address + i)} << (8 * i);
        }
      }
      if (width < 4) value &= (1u << (8 * width)) - 1;
      write ? run.oracle.Write(address, width, value) : run.oracle.Read(address, width, value);
    } else if (op < 0xA0) {
      const std::vector<uint8_t> program = fuzz::ReadProgram(in);
      run.where += ", program";
      run.oracle.BeginStep(run.where);
      RunCode(run, [&] { session.RunCom(program); });
    } else if (op < 0xC0) {
      std::vector<uint8_t> bytes;
      uint32_t pointer = 0;
      const sim::session::Registers r = fuzz::ReadInt10(in, bytes, pointer);
      run.where += ", INT 10h AX=" + Hex(r.eax);
      run.oracle.BeginStep(run.where);
      if (!bytes.empty()) session.WriteMemory((uint32_t{fuzz::kDataSegment} << 4) + pointer, bytes);
      RunCode(run, [&] { session.Int10(r); });
    } else if (op < 0xC8) {
      run.where += ", switch";
      run.oracle.BeginStep(run.where);
      Switch(run, ReadDesktop(in), run.where);
    } else if (op < 0xD0) {
      run.switchAt = in.Bool() ? in.U16() % 1200 : in.U8() % 64;
      run.desktop = ReadDesktop(in);
    } else {
      // The console's requests, made on both machines.
      fuzz::Request request;
      auto sent = fuzz::SessionOracle::Sent::Request;
      fuzz::Sending sending;
      if (op < 0xD8) {
        request = {.code = IOCTL_VIDEO_ENABLE_VDM};
      } else if (op < 0xE0) {
        request = {.code = IOCTL_VIDEO_SAVE_HARDWARE_STATE,
                   .outputLength = sizeof(VIDEO_HARDWARE_STATE),
                   .stateFill = in.U8()};
        sent = fuzz::SessionOracle::Sent::SaveLast;
        sending.keep = &run.lastSave;
      } else if (op < 0xE8) {
        if (run.lastState.empty()) continue;
        run.oracle.BeginStep(run.where + ", restore");
        run.oracle.RequestComing(m, IOCTL_VIDEO_RESTORE_HARDWARE_STATE);
        const fuzz::Answer answer = fuzz::Restore(m, run.lastState, run.where);
        run.oracle.Request(fuzz::SessionOracle::Sent::RestoreLast,
                           {.code = IOCTL_VIDEO_RESTORE_HARDWARE_STATE}, answer);
        continue;
      } else if (op < 0xF0) {
        const ULONG mode = in.Pick(kModes);
        request = {.code = IOCTL_VIDEO_SET_CURRENT_MODE, .input = std::vector<uint8_t>(4)};
        std::memcpy(request.input.data(), &mode, 4);
      } else {
        request = fuzz::ReadRequest(in);
      }
      run.oracle.BeginStep(run.where + ", request " + Hex(request.code));
      run.oracle.RequestComing(m, request.code);
      const fuzz::Answer answer = fuzz::Send(m, request, run.where, sending);
      if (sent == fuzz::SessionOracle::Sent::SaveLast && answer.result.status == NO_ERROR)
        run.lastState = answer.state;
      run.oracle.Request(sent, request, answer);
    }
  }

  if (run.oracle.Switched()) {
    sim::Machine* reference =
        fuzz::LoadMachine(profile, "session reference",
                          {.slot = 1, .opening = opening, .open = [opening](sim::Machine& r) {
                             Open(r, opening, {.checked = false});
                           }});
    reference->trace().Stop();
    run.oracle.Replay(*reference, m);
  }
  return 0;
}
