// Snapshots: a machine that goes back to a snapshot is the machine the
// snapshot was taken of, after any execution, many executions in a row: it
// holds what a fresh machine holds and then does what a fresh machine does.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "miniport/device_extension.h"
#include "sim/bios/video_bios.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "tests/support/bus.h"

namespace sim {
namespace {

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Checksum(std::span<const uint8_t> bytes) {
  return Hex(
      std::hash<std::string_view>()({reinterpret_cast<const char*>(bytes.data()), bytes.size()}));
}

// What a machine holds beside its adapter's memory, but for the addresses it hands out (a fresh
// machine's views and mappings lie elsewhere), one part per entry.
std::vector<std::string> Holdings(Machine& m) {
  std::string platform = m.Started() ? "started;" : "not started;";
  for (const auto& r : m.Registrations())
    platform += " reg " + Hex(r.bus) + " " + Hex(r.findAdapterStatus) + Hex(r.findAdapterCalled) +
                Hex(r.initializeCalled);
  for (const auto& v : m.Registry())
    platform += " value " + std::to_string(v.name.size()) + ":" + Hex(v.data.size());
  for (const auto& c : m.Claims())
    platform += " claim " + Hex(c.RangeStart.QuadPart) + "+" + Hex(c.RangeLength) +
                Hex(c.RangeInIoSpace) + Hex(c.RangeVisible) + Hex(c.RangeShareable);
  for (const auto& v : m.Views())
    platform += " view " + Hex(v.physical) + "+" + Hex(v.length) + Hex(v.inIoSpace);
  for (const auto& map : m.Mappings())
    platform += " mapping " + Hex(map.physical) + "+" + Hex(map.length) + Hex(map.plainMemory) +
                Hex(map.inIoSpace) + " for " + Hex(map.process);
  for (const auto& t : m.TrapSet())
    platform +=
        " trap " + Hex(t.RangeStart.QuadPart) + "+" + Hex(t.RangeLength) + Hex(t.RangeVisible);
  for (int s = 0; s <= static_cast<int>(Service::SetTrappedEmulatorPorts); ++s)
    platform += " calls " + Hex(m.CallCount(static_cast<Service>(s)));
  const VIDEO_PORT_CONFIG_INFO& config = m.ConfigInfo();
  platform += " BIOS calls " + Hex(m.bios().Calls()) + " PCI address " + Hex(m.V86In(4, 0xCF8));
  platform += " config " + Hex(config.Length) + Hex(config.NumEmulatorAccessEntries) +
              Hex(config.VdmPhysicalVideoMemoryLength) + Hex(config.HardwareStateSize);
  std::string trace = "trace";
  for (const auto& e : m.trace().Entries())
    trace += "; " + Format(e);
  const Adapter& a = m.adapter();
  std::string registers = "registers";
  for (int i = 0; i < 256; ++i)
    registers += " " + Hex(a.Seq(static_cast<uint8_t>(i)));
  for (const std::string& line : Diff(VgaState{}, a.RegisterState(), 1000))
    registers += "; " + line;
  registers += " bank " + Hex(a.BankSelect()) + " keys " + Hex(a.KeyPort3BF()) +
               Hex(a.KeyPortMode()) + " rom " + Checksum(a.OptionRom());
  return {platform, trace, registers};
}

// A request whose output buffer starts as `out` and is left there: its
// status, Information and, for a request that hands out no addresses, the
// output's digest.
std::string Send(Machine& m, ULONG code, std::vector<uint8_t> in, std::vector<uint8_t>& out,
                 bool digest = true) {
  const auto r = m.Ioctl(code, in.empty() ? nullptr : in.data(), static_cast<ULONG>(in.size()),
                         out.empty() ? nullptr : out.data(), static_cast<ULONG>(out.size()));
  return Hex(code) + " " + Hex(r.status) + " " + Hex(r.information) +
         (digest ? " " + Checksum(out) : "");
}
std::string Send(Machine& m, ULONG code, std::vector<uint8_t> in) {
  std::vector<uint8_t> none;
  return Send(m, code, std::move(in), none);
}

// An execution drawn from `seed`: mode sets, saves and restores, mappings
// and shares (written through, left mapped or not), full-screen sessions,
// injected faults, hand writes and driver reloads. What it answers, one
// line per step.
std::vector<std::string> Play(Machine& m, uint32_t seed) {
  static const ULONG kModes[] = {0, 1, 2, 7, 12, 23, 40, 61, 95, 96};
  std::mt19937 random(seed);
  auto pick = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  std::vector<std::string> lines;
  std::vector<uint8_t> state(264359), out;
  if (!m.Started() && pick(2)) lines.push_back(Hex(m.Load()));
  for (uint32_t step = 0, steps = 1 + pick(10); step < steps; ++step) {
    switch (pick(9)) {
      case 0:
        lines.push_back(Send(m, IOCTL_VIDEO_SET_CURRENT_MODE,
                             test::Bytes(VIDEO_MODE{kModes[pick(std::size(kModes))]})));
        break;
      case 1: {
        const VIDEO_HARDWARE_STATE record{
            reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()),
            static_cast<ULONG>(state.size())};
        if (pick(2)) {
          out = test::Bytes(record);
          lines.push_back(Send(m, IOCTL_VIDEO_SAVE_HARDWARE_STATE, {}, out, false));
        } else {
          lines.push_back(Send(m, IOCTL_VIDEO_RESTORE_HARDWARE_STATE, test::Bytes(record)));
        }
        lines.push_back(Checksum(state));
        break;
      }
      case 2: {
        out.assign(sizeof(VIDEO_MEMORY_INFORMATION), 0);
        lines.push_back(
            Send(m, IOCTL_VIDEO_MAP_VIDEO_MEMORY, test::Bytes(VIDEO_MEMORY{nullptr}), out, false));
        VIDEO_MEMORY_INFORMATION info;
        std::memcpy(&info, out.data(), sizeof info);
        if (m.Mappings().empty() || m.Mappings().back().virtualAddress != info.VideoRamBase) break;
        // The caller's own stores: plain memory for the aperture.
        auto* base = static_cast<uint8_t*>(info.VideoRamBase);
        for (int i = 0; i < 3; ++i) {
          const uint32_t at = pick(info.VideoRamLength);
          if (m.Mappings().back().plainMemory) {
            base[at] = static_cast<uint8_t>(random());
          } else {
            m.WriteMapped(base + at, static_cast<uint8_t>(random()));
          }
        }
        if (pick(2))
          lines.push_back(Send(m, IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, test::Bytes(VIDEO_MEMORY{base})));
        break;
      }
      case 3: {
        const VIDEO_SHARE_MEMORY share{nullptr, pick(0x1000), 1 + pick(0x40000), nullptr};
        out.assign(12, 0);
        lines.push_back(Send(m, IOCTL_VIDEO_SHARE_VIDEO_MEMORY, test::Bytes(share), out, false));
        out.assign(24, 0);
        lines.push_back(Send(m, IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, {}, out, false));
        break;
      }
      case 4: {
        lines.push_back(Send(m, IOCTL_VIDEO_ENABLE_VDM, {}));
        for (int i = 0; i < 12; ++i) {
          const auto port = static_cast<uint16_t>(0x3C0 + pick(0x1B));
          try {
            if (pick(3)) {
              m.V86Out(1, port, random());
            } else {
              lines.push_back(Hex(m.V86In(1, port)));
            }
            m.V86Write8(0xA0000 + pick(0x20000), static_cast<uint8_t>(random()));
            lines.push_back(Hex(m.V86Read8(0xA0000 + pick(0x20000))));  // and the latches
          } catch (const std::runtime_error& refused) {
            lines.push_back(refused.what());
          }
        }
        break;
      }
      case 5:
        m.InjectFault({.service = pick(2) ? Service::Int10 : Service::MapMemory});
        lines.push_back(Send(m, IOCTL_VIDEO_SET_CURRENT_MODE, test::Bytes(VIDEO_MODE{12})));
        break;
      case 6:
        m.adapter().Vram()[pick(m.adapter().Vram().size())] = static_cast<uint8_t>(random());
        break;
      case 7:
        if (pick(2)) m.SetConfigInfoLength(64 + pick(16));
        if (pick(4) == 0) m.ForceRegistration(Isa, pick(2) ? 0xC000000E : NO_ERROR);
        lines.push_back(Hex(m.Load()));
        break;
      default:
        lines.push_back(Send(m, IOCTL_VIDEO_RESET_DEVICE, {}));
        break;
    }
  }
  return lines;
}

// One machine goes back, execution after execution, to snapshots of four
// profiles (booted ones taken of other machines, and the driver loaded on
// it), twice in a row to the same and then to another: after each it holds
// what a fresh machine of that profile (booted, and loaded for the second)
// holds, byte for byte where no address differs, and then plays the next
// execution as the fresh one does, to the trace. So does a machine started
// from a copy of another's adapter straight after its POST (which calls no
// BIOS of its own).
TEST(Snapshot, AMachineRolledBackIsAFreshOneExecutionAfterExecution) {
  Profile profiles[4];
  profiles[1].revision = 0x0B, profiles[1].memoryMB = 1, profiles[1].busWidth = 32;
  profiles[2].memoryMB = 8, profiles[2].strap = 1, profiles[2].memoryClockMHz = 75;
  profiles[3].eisaBus = true, profiles[3].romKB = 64, profiles[3].pciBus = 0;
  profiles[3].pciDevice = 3, profiles[3].seqOverrides[0x37] = 0x00;
  Machine m;
  std::vector<Snapshot> booted, loaded;
  std::vector<Adapter> posted;
  std::vector<std::vector<uint8_t>> extensions;
  for (const Profile& profile : profiles) {
    Machine boot(profile);
    posted.push_back(boot.adapter());
    boot.trace().Start();
    booted.push_back(boot.TakeSnapshot());
    m.Rollback(booted.back());
    ASSERT_EQ(m.Load(), 0u);
    loaded.push_back(m.TakeSnapshot());
    const auto* ext = static_cast<const uint8_t*>(m.DeviceExtension());
    extensions.emplace_back(ext, ext + sizeof(VgaDeviceExtension));
  }
  for (uint32_t run = 0; run < 48; ++run) {
    const uint32_t p = run / 3 % 4;
    const bool load = run % 3 != 2;
    SCOPED_TRACE("profile #" + std::to_string(p) + ", execution " + std::to_string(run));
    Machine fresh(profiles[p]);
    fresh.trace().Start();
    if (load) fresh.Load();
    const std::vector<std::string> before = Holdings(fresh);
    const Adapter adapter = fresh.adapter();
    const std::vector<std::string> outcome = Play(fresh, run);
    // Then the next execution, as the fresh machine played it.
    auto playsAsFresh = [&](Machine& other) {
      EXPECT_EQ(Play(other, run), outcome);
      EXPECT_EQ(CompareTraces(fresh.trace().Entries(), other.trace().Entries()), "");
      EXPECT_TRUE(other.adapter() == fresh.adapter());
    };

    m.Rollback(load ? loaded[p] : booted[p]);
    EXPECT_EQ(Holdings(m), before);
    EXPECT_TRUE(m.adapter() == adapter);
    if (load) {
      const auto* ext = static_cast<const uint8_t*>(m.DeviceExtension());
      EXPECT_TRUE(std::equal(extensions[p].begin(), extensions[p].end(), ext));
    }
    playsAsFresh(m);

    Machine copied(profiles[p], posted[p]);
    copied.trace().Start();
    if (load) copied.Load();
    const std::vector<std::string> held = Holdings(copied);
    EXPECT_EQ(held[1], before[1]) << "the copy's accesses";
    EXPECT_EQ(held[2], before[2]) << "the copy's registers";
    EXPECT_TRUE(copied.adapter() == adapter);
    playsAsFresh(copied);
  }
}

// A caller that holds the linear aperture as plain memory writes it with its
// own stores, which the machine cannot see: while the mapping is held, every
// rollback puts all of video memory back.
TEST(Snapshot, WritesThroughAMappingHeldAcrossRollbacksAreUndone) {
  Machine m;
  ASSERT_EQ(m.Load(), 0u);
  VIDEO_MODE mode{12};
  ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, sizeof mode, nullptr, 0).status, NO_ERROR);
  VIDEO_MEMORY request{nullptr};
  VIDEO_MEMORY_INFORMATION info{};
  ASSERT_EQ(
      m.Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, sizeof request, &info, sizeof info).status,
      NO_ERROR);
  ASSERT_TRUE(m.Mappings().back().plainMemory);
  const Snapshot mapped = m.TakeSnapshot();
  for (uint32_t at : {0x1234u, 0x2FFFFFu}) {
    static_cast<uint8_t*>(info.FrameBufferBase)[at] = 0x5A;
    m.Rollback(mapped);
    EXPECT_EQ(m.adapter().Vram()[at], 0x00) << at;
  }
}

// The driver's device extension and views belong to the machine that
// loaded it: another machine takes a booted snapshot, not a loaded one.
TEST(Snapshot, OnlyABootedOneMovesToAnotherMachine) {
  Machine a, b;
  const Snapshot booted = a.TakeSnapshot();
  ASSERT_EQ(a.Load(), 0u);
  const Snapshot loaded = a.TakeSnapshot();
  EXPECT_THROW(b.Rollback(loaded), std::invalid_argument);
  EXPECT_NO_THROW(b.Rollback(booted));
  EXPECT_THROW(a.Rollback(Snapshot{}), std::invalid_argument);
}

}  // namespace
}  // namespace sim
