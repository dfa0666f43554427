// Loading a driver and playing a full-screen session against it, with a
// test-double driver: a DriverEntry that registers fake entry points, and
// fake validators behind an emulator table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/platform/writable_statics.h"
#include "tests/support/bus.h"

namespace sim {
namespace {

constexpr ULONG kNoSuchDevice = 0xC000000E;

// What the platform did to the double: find-adapter calls, the statuses of
// the three registrations, and every validator call ("uchar out 0x3c2 0x67").
int gFindCalls = 0;
std::vector<ULONG> gRegistrations;
std::vector<std::string> gValidations;

VP_STATUS Validate(const char* routine, ULONG port, UCHAR mode, PVOID data, unsigned size) {
  ULONG value = 0;
  std::memcpy(&value, data, size);
  char line[64];
  std::snprintf(line, sizeof line, "%s %s 0x%x 0x%x", routine,
                mode == EMULATOR_READ_ACCESS ? "in" : "out", static_cast<unsigned>(port),
                static_cast<unsigned>(value));
  gValidations.push_back(line);
  if (mode == EMULATOR_READ_ACCESS) std::memset(data, 0xEF, size);
  return NO_ERROR;
}
VP_STATUS VPAPI UcharValidator(PVOID, ULONG port, UCHAR mode, PVOID data) {
  return Validate("uchar", port, mode, data, 1);
}
VP_STATUS VPAPI UshortValidator(PVOID, ULONG port, UCHAR mode, PVOID data) {
  return Validate("ushort", port, mode, data, 2);
}
VP_STATUS VPAPI UlongValidator(PVOID, ULONG port, UCHAR mode, PVOID data) {
  return Validate("ulong", port, mode, data, 4);
}

// Byte accesses to 0x3C0-0x3CF, word accesses to 0x3C4-0x3C5 and one
// doubleword at 0x3D4.
EMULATOR_ACCESS_ENTRY gEmulatorTable[] = {
    {0x3C0, 16, Uchar, 3, 0, UcharValidator},
    {0x3C4, 1, Ushort, 3, 0, UshortValidator},
    {0x3D4, 1, Ulong, 3, 0, UlongValidator},
};

VP_STATUS VPAPI FakeFindAdapter(PVOID extension, PVOID, PWSTR, PVIDEO_PORT_CONFIG_INFO config,
                                PUCHAR again) {
  ++gFindCalls;
  config->NumEmulatorAccessEntries = 3;
  config->EmulatorAccessEntries = gEmulatorTable;
  config->EmulatorAccessEntriesContext = reinterpret_cast<ULONG_PTR>(extension);
  *again = FALSE;
  return NO_ERROR;
}
BOOLEAN VPAPI FakeInitialize(PVOID) {
  return TRUE;
}
BOOLEAN VPAPI FakeStartIo(PVOID, PVIDEO_REQUEST_PACKET) {
  return TRUE;
}

ULONG VPAPI FakeDriverEntry(PVOID driverObject, PVOID registryPath) {
  VIDEO_HW_INITIALIZATION_DATA init{};
  init.HwInitDataSize = sizeof init;
  init.HwFindAdapter = FakeFindAdapter;
  init.HwInitialize = FakeInitialize;
  init.HwStartIO = FakeStartIo;
  init.HwDeviceExtensionSize = 64;
  for (INTERFACE_TYPE bus : {Isa, Eisa, MicroChannel}) {
    init.AdapterInterfaceType = bus;
    gRegistrations.push_back(VideoPortInitialize(driverObject, registryPath, &init, nullptr));
  }
  return gRegistrations.front();
}

class PlatformDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    gFindCalls = 0;
    gRegistrations.clear();
    DriverImage image;
    image.entry = FakeDriverEntry;
    image.resetStatics = platform::RestoreWritableStatics;
    ASSERT_EQ(m.Load(image), 0u);
    gValidations.clear();
    m.trace().Start();
  }
  static VIDEO_ACCESS_RANGE Row(ULONG start, ULONG length, UCHAR visible) {
    VIDEO_ACCESS_RANGE r{};
    r.RangeStart.QuadPart = start;
    r.RangeLength = length;
    r.RangeInIoSpace = 1;
    r.RangeVisible = visible;
    return r;
  }
  Machine m;
};

// Of three registrations only the ISA one finds an adapter on this machine.
TEST_F(PlatformDriver, OnlyTheIsaRegistrationLooks) {
  EXPECT_EQ(gRegistrations, (std::vector<ULONG>{0, kNoSuchDevice, kNoSuchDevice}));
  EXPECT_EQ(gFindCalls, 1);
}

// Before any trap set the emulator table's ports are trapped and go to the
// validator of their size; other accesses reach the adapter and are traced.
TEST_F(PlatformDriver, TrappedAccessesGoToTheValidatorOfTheirSize) {
  m.V86Out(1, 0x3C2, 0x67);
  EXPECT_EQ(m.V86In(2, 0x3C4), 0xEFEFu);
  m.V86Out(4, 0x3D4, 0x12345678);
  m.V86Out(1, 0x3B4, 0x0C);    // no row names 0x3B0-0x3BF
  m.V86Out(2, 0x3CE, 0x0005);  // a trapped port, but no word validator for it
  EXPECT_EQ(m.V86In(1, 0x3D0), 0xFFu);
  EXPECT_EQ(gValidations, (std::vector<std::string>{"uchar out 0x3c2 0x67", "ushort in 0x3c4 0x0",
                                                    "ulong out 0x3d4 0x12345678"}));
  EXPECT_TRACE(m.trace().Since(0),
               {io::Out8(0x3B4, 0x0C), io::Out16(0x3CE, 0x0005), io::In8(0x3D0, 0xFF)});
}

// After a trap set later rows override earlier ones, and a word access is
// trapped when either of its ports is.
TEST_F(PlatformDriver, LaterRowsOfATrapSetWin) {
  VIDEO_ACCESS_RANGE rows[] = {Row(0x3C0, 0x20, 1), Row(0x3C4, 2, 0), Row(0x3C4, 1, 1),
                               Row(0x3D4, 4, 0), Row(0x3D4, 4, 1)};
  ASSERT_EQ(VideoPortSetTrappedEmulatorPorts(nullptr, 5, rows), NO_ERROR);
  m.V86Out(1, 0x3C4, 0x02);
  m.V86Out(1, 0x3C5, 0x0F);
  m.V86Out(4, 0x3D4, 0x0000110C);
  m.V86Out(2, 0x3C4, 0x0F02);
  EXPECT_EQ(gValidations,
            (std::vector<std::string>{"uchar out 0x3c5 0xf", "ushort out 0x3c4 0xf02"}));
  EXPECT_TRACE(m.trace().Since(0),
               {io::Traps(5), io::Out8(0x3C4, 0x02), io::Out32(0x3D4, 0x0000110C)});
}

}  // namespace
}  // namespace sim
