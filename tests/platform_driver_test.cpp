// Loading a driver and playing a full-screen session against it, with a
// test-double driver: a DriverEntry that registers fake entry points, and
// fake validators behind an emulator table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/platform/writable_statics.h"
#include "sim/trace.h"

namespace sim {
namespace {

// ---- the test double

struct Validation {
  const char* routine;
  ULONG port;
  UCHAR mode;
  ULONG data;  // as written, or as found before a read stored its answer
};

struct Double {
  std::vector<INTERFACE_TYPE> buses{Isa, Eisa, MicroChannel};
  ULONG initDataSize = 40;
  ULONG extensionSize = 96;
  PVOID hwContext = nullptr;
  VP_STATUS findStatus = NO_ERROR;
  bool giveEmulatorTable = true;
  // What the platform did to it
  int findCalls = 0;
  int initializeCalls = 0;
  PVOID entryArguments[2] = {};
  std::vector<ULONG> registrationStatuses;
  PVOID findExtension = nullptr;
  PVOID initializeExtension = nullptr;
  PVOID seenContext = nullptr;
  PWSTR seenArguments = reinterpret_cast<PWSTR>(1);
  bool extensionWasZero = false;
  VIDEO_PORT_CONFIG_INFO seenConfig{};
  std::vector<Validation> validations;
  ULONG readAnswer = 0;
};

Double* gDouble = nullptr;

// A writable static of the double, where the driver's live: in "zel_rw".
__attribute__((section("zel_rw"), used)) ULONG gLoadMarks[2] = {0x11111111, 0x22222222};

VP_STATUS VPAPI Validate(const char* routine, ULONG port, UCHAR mode, PVOID data, unsigned size) {
  ULONG value = 0;
  std::memcpy(&value, data, size);
  gDouble->validations.push_back({routine, port, mode, value});
  if (mode == EMULATOR_READ_ACCESS) std::memcpy(data, &gDouble->readAnswer, size);
  return NO_ERROR;
}

VP_STATUS VPAPI UcharValidator(PVOID context, ULONG port, UCHAR mode, PVOID data) {
  EXPECT_EQ(context, gDouble->findExtension);
  return Validate("uchar", port, mode, data, 1);
}
VP_STATUS VPAPI UshortValidator(PVOID context, ULONG port, UCHAR mode, PVOID data) {
  EXPECT_EQ(context, gDouble->findExtension);
  return Validate("ushort", port, mode, data, 2);
}
VP_STATUS VPAPI UlongValidator(PVOID context, ULONG port, UCHAR mode, PVOID data) {
  EXPECT_EQ(context, gDouble->findExtension);
  return Validate("ulong", port, mode, data, 4);
}

// Byte accesses to 0x3C0-0x3CF, word accesses to 0x3C4-0x3C5 and one
// doubleword at 0x3D4: 0x3B0-0x3BF and 0x3D0-0x3D3 are named by no row.
EMULATOR_ACCESS_ENTRY gEmulatorTable[] = {
    {0x3C0, 16, Uchar, 3, 0, UcharValidator},
    {0x3C4, 1, Ushort, 3, 0, UshortValidator},
    {0x3D4, 1, Ulong, 3, 0, UlongValidator},
};

VP_STATUS VPAPI FakeFindAdapter(PVOID extension, PVOID context, PWSTR arguments,
                                PVIDEO_PORT_CONFIG_INFO config, PUCHAR again) {
  Double& d = *gDouble;
  ++d.findCalls;
  d.findExtension = extension;
  d.seenContext = context;
  d.seenArguments = arguments;
  d.seenConfig = *config;
  const auto* bytes = static_cast<const uint8_t*>(extension);
  d.extensionWasZero = true;
  for (ULONG i = 0; i < d.extensionSize; ++i)
    d.extensionWasZero &= bytes[i] == 0;
  gLoadMarks[0] += 1;
  if (d.findStatus != NO_ERROR) return d.findStatus;
  static_cast<ULONG*>(extension)[0] = 0xFEEDF00D;
  if (d.giveEmulatorTable) {
    config->NumEmulatorAccessEntries = 3;
    config->EmulatorAccessEntries = gEmulatorTable;
    config->EmulatorAccessEntriesContext = reinterpret_cast<ULONG_PTR>(extension);
  }
  *again = FALSE;
  return NO_ERROR;
}

BOOLEAN VPAPI FakeInitialize(PVOID extension) {
  ++gDouble->initializeCalls;
  gDouble->initializeExtension = extension;
  return TRUE;
}

// Answers every request with its control code as Information and the first
// ULONG of the extension as status, after checking what the packet carries.
BOOLEAN VPAPI FakeStartIo(PVOID extension, PVIDEO_REQUEST_PACKET packet) {
  EXPECT_EQ(packet->StatusBlock->Status, NO_ERROR);
  EXPECT_EQ(packet->StatusBlock->Information, 0u);
  packet->StatusBlock->Information =
      packet->IoControlCode + packet->InputBufferLength + packet->OutputBufferLength;
  packet->StatusBlock->Status = static_cast<VP_STATUS>(static_cast<ULONG*>(extension)[0]);
  if (packet->InputBuffer) *static_cast<UCHAR*>(packet->InputBuffer) = 0xA5;
  if (packet->OutputBuffer) *static_cast<UCHAR*>(packet->OutputBuffer) = 0x5A;
  return TRUE;
}

ULONG VPAPI FakeDriverEntry(PVOID driverObject, PVOID registryPath) {
  Double& d = *gDouble;
  d.entryArguments[0] = driverObject;
  d.entryArguments[1] = registryPath;
  VIDEO_HW_INITIALIZATION_DATA init{};
  init.HwInitDataSize = d.initDataSize;
  init.HwFindAdapter = FakeFindAdapter;
  init.HwInitialize = FakeInitialize;
  init.HwStartIO = FakeStartIo;
  init.HwDeviceExtensionSize = d.extensionSize;
  ULONG lowest = 0xFFFFFFFF;
  for (INTERFACE_TYPE bus : d.buses) {
    init.AdapterInterfaceType = bus;
    const ULONG status = VideoPortInitialize(driverObject, registryPath, &init, d.hwContext);
    d.registrationStatuses.push_back(status);
    if (status < lowest) lowest = status;
  }
  return lowest;
}

class PlatformLoading : public ::testing::Test {
 protected:
  void SetUp() override { gDouble = &double_; }
  void TearDown() override { gDouble = nullptr; }
  static DriverImage Image() {
    DriverImage image;
    image.entry = FakeDriverEntry;
    image.resetStatics = platform::RestoreWritableStatics;
    return image;
  }
  Double double_;
};

constexpr ULONG kNoSuchDevice = 0xC000000E;

// ---- registrations

TEST_F(PlatformLoading, ThreeRegistrationsOnlyIsaFindsTheAdapter) {
  Machine m;
  EXPECT_EQ(m.Load(Image()), 0u);
  ASSERT_EQ(m.Registrations().size(), 3u);
  const Machine::Registration expected[] = {
      {Isa, NO_ERROR, true, true},
      {Eisa, static_cast<VP_STATUS>(kNoSuchDevice), false, false},
      {MicroChannel, static_cast<VP_STATUS>(kNoSuchDevice), false, false}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m.Registrations()[i].bus, expected[i].bus);
    EXPECT_EQ(m.Registrations()[i].findAdapterStatus, expected[i].findAdapterStatus);
    EXPECT_EQ(m.Registrations()[i].findAdapterCalled, expected[i].findAdapterCalled);
    EXPECT_EQ(m.Registrations()[i].initializeCalled, expected[i].initializeCalled);
  }
  EXPECT_EQ(double_.registrationStatuses, (std::vector<ULONG>{0, kNoSuchDevice, kNoSuchDevice}));
  EXPECT_EQ(double_.findCalls, 1);
  EXPECT_EQ(double_.initializeCalls, 1);
  EXPECT_TRUE(m.Started());
}

// A machine with an EISA bus: the Eisa registration calls find-adapter too.
TEST_F(PlatformLoading, OnAnEisaMachineTheEisaRegistrationLooksAsWell) {
  sim::Profile eisa;
  eisa.eisaBus = true;
  Machine m(eisa);
  double_.findStatus = ERROR_DEV_NOT_EXIST;
  EXPECT_EQ(m.Load(Image()), static_cast<ULONG>(ERROR_DEV_NOT_EXIST));
  EXPECT_EQ(double_.registrationStatuses,
            (std::vector<ULONG>{ERROR_DEV_NOT_EXIST, ERROR_DEV_NOT_EXIST, kNoSuchDevice}));
  EXPECT_EQ(double_.findCalls, 2);
  ASSERT_EQ(m.Registrations().size(), 3u);
  EXPECT_TRUE(m.Registrations()[1].findAdapterCalled);
  EXPECT_FALSE(m.Registrations()[2].findAdapterCalled);
  EXPECT_FALSE(m.Started());
}

TEST_F(PlatformLoading, EntryArgumentsAreOpaqueNonNullAndContextPassesThrough) {
  Machine m;
  int context = 0;
  double_.hwContext = &context;
  m.Load(Image());
  EXPECT_NE(double_.entryArguments[0], nullptr);
  EXPECT_NE(double_.entryArguments[1], nullptr);
  EXPECT_NE(double_.entryArguments[0], double_.entryArguments[1]);
  EXPECT_EQ(double_.seenContext, &context);
  EXPECT_EQ(double_.seenArguments, nullptr);
}

TEST_F(PlatformLoading, FailedFindAdapterSkipsInitialize) {
  Machine m;
  double_.findStatus = ERROR_DEV_NOT_EXIST;
  EXPECT_EQ(m.Load(Image()), 55u);
  EXPECT_EQ(m.Registrations()[0].findAdapterStatus, ERROR_DEV_NOT_EXIST);
  EXPECT_TRUE(m.Registrations()[0].findAdapterCalled);
  EXPECT_FALSE(m.Registrations()[0].initializeCalled);
  EXPECT_EQ(double_.initializeCalls, 0);
  EXPECT_FALSE(m.Started());
  EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0).status, ERROR_DEV_NOT_EXIST);
  // The extension it was given is still there to look at.
  EXPECT_EQ(m.DeviceExtension(), double_.findExtension);
}

struct ForcedCase {
  const char* name;
  INTERFACE_TYPE bus;
  VP_STATUS status;
  std::vector<ULONG> statuses;
  int findCalls;
};

class Forced : public PlatformLoading, public ::testing::WithParamInterface<ForcedCase> {};

TEST_P(Forced, RegistrationReturnsTheForcedStatusWithoutFindAdapter) {
  Machine m;
  m.ForceRegistration(GetParam().bus, GetParam().status);
  m.Load(Image());
  EXPECT_EQ(double_.registrationStatuses, GetParam().statuses);
  EXPECT_EQ(double_.findCalls, GetParam().findCalls);
}

INSTANTIATE_TEST_SUITE_P(
    PlatformBuses, Forced,
    ::testing::Values(
        ForcedCase{"IsaFails", Isa, 0x1234, {0x1234, kNoSuchDevice, kNoSuchDevice}, 0},
        ForcedCase{"IsaSucceedsUnseen", Isa, NO_ERROR, {0, kNoSuchDevice, kNoSuchDevice}, 0},
        ForcedCase{"EisaSucceeds", Eisa, NO_ERROR, {0, 0, kNoSuchDevice}, 1},
        ForcedCase{
            "MicroChannelOther", MicroChannel, ERROR_DEV_NOT_EXIST, {0, kNoSuchDevice, 55}, 1}),
    [](const auto& info) { return info.param.name; });

TEST_F(PlatformLoading, ShortInitDataIsRefusedBeforeFindAdapter) {
  Machine m;
  double_.initDataSize = 39;
  m.Load(Image());
  EXPECT_EQ(double_.registrationStatuses, (std::vector<ULONG>{0xC0000059, 0xC0000059, 0xC0000059}));
  EXPECT_EQ(double_.findCalls, 0);
}

// ---- what find-adapter receives

TEST_F(PlatformLoading, ConfigRecordHasLength72TheBusAndZeroElsewhere) {
  Machine m;
  double_.giveEmulatorTable = false;
  m.Load(Image());
  VIDEO_PORT_CONFIG_INFO expected{};
  expected.Length = 72;
  expected.AdapterInterfaceType = Isa;
  EXPECT_EQ(std::memcmp(&double_.seenConfig, &expected, sizeof expected), 0);
  EXPECT_EQ(m.ConfigInfo().Length, 72u);
}

class ConfigLength : public PlatformLoading, public ::testing::WithParamInterface<ULONG> {};

TEST_P(ConfigLength, FindAdapterSeesTheLengthSet) {
  Machine m;
  m.SetConfigInfoLength(GetParam());
  m.Load(Image());
  EXPECT_EQ(double_.seenConfig.Length, GetParam());
}

INSTANTIATE_TEST_SUITE_P(PlatformLengths, ConfigLength, ::testing::Values(71u, 72u, 200u));

TEST_F(PlatformLoading, ExtensionIsZeroFilledAndTheSameForEveryEntryPoint) {
  Machine m;
  double_.extensionSize = 1500;
  m.Load(Image());
  EXPECT_TRUE(double_.extensionWasZero);
  EXPECT_EQ(double_.initializeExtension, double_.findExtension);
  EXPECT_EQ(m.DeviceExtension(), double_.findExtension);
  EXPECT_EQ(static_cast<ULONG*>(m.DeviceExtension())[0], 0xFEEDF00Du);
  EXPECT_EQ(m.ConfigInfo().NumEmulatorAccessEntries, 3u);
}

// ---- requests

TEST_F(PlatformLoading, IoctlHandsThePacketToStartIoAndReturnsItsStatusBlock) {
  Machine m;
  m.Load(Image());
  static_cast<ULONG*>(m.DeviceExtension())[0] = ERROR_MORE_DATA;
  UCHAR in[8] = {};
  UCHAR out[16] = {};
  const Machine::Result r = m.Ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, in, 8, out, 16);
  EXPECT_EQ(r.status, ERROR_MORE_DATA);
  EXPECT_EQ(r.information, 0x230400u + 8 + 16);
  EXPECT_EQ(in[0], 0xA5);
  EXPECT_EQ(out[0], 0x5A);
}

// ---- statics and reloads

TEST_F(PlatformLoading, WritableStaticsStartFromTheImageOnEveryLoad) {
  Machine m;
  m.Load(Image());
  EXPECT_EQ(gLoadMarks[0], 0x11111112u);
  m.Load(Image());
  EXPECT_EQ(gLoadMarks[0], 0x11111112u);
  EXPECT_EQ(gLoadMarks[1], 0x22222222u);
  // Without the reset, the second load sees what the first left.
  DriverImage unreset = Image();
  unreset.resetStatics = nullptr;
  m.Load(unreset);
  EXPECT_EQ(gLoadMarks[0], 0x11111113u);
  platform::RestoreWritableStatics();
  EXPECT_GE(platform::WritableStaticsSize(), sizeof gLoadMarks);
}

TEST_F(PlatformLoading, ReloadForgetsThePreviousDriversState) {
  Machine m;
  m.Load(Image());
  VideoPortGetDeviceBase(nullptr, PHYSICAL_ADDRESS{{0xA0000, 0}}, 0x20000, 0);
  WCHAR name[] = u"X";
  VideoPortSetRegistryParameters(nullptr, name, name, 2);
  m.Load(Image());
  EXPECT_EQ(m.Registrations().size(), 3u);
  EXPECT_TRUE(m.Views().empty());
  EXPECT_TRUE(m.Registry().empty());
  EXPECT_EQ(double_.initializeCalls, 2);
}

// ---- the V86 emulator

class PlatformSession : public PlatformLoading {
 protected:
  void SetUp() override {
    PlatformLoading::SetUp();
    machine_.Load(Image());
    double_.validations.clear();
    machine_.trace().Clear();
    machine_.trace().Start();
  }
  VIDEO_ACCESS_RANGE Row(ULONG start, ULONG length, UCHAR visible) {
    VIDEO_ACCESS_RANGE r{};
    r.RangeStart.QuadPart = start;
    r.RangeLength = length;
    r.RangeInIoSpace = 1;
    r.RangeVisible = visible;
    return r;
  }
  Machine machine_;
};

TEST_F(PlatformSession, BeforeAnyTrapSetThePortsOfTheEmulatorTableAreTrapped) {
  struct {
    uint16_t port;
    bool trapped;
  } const cases[] = {{0x3BF, false}, {0x3C0, true}, {0x3C5, true}, {0x3CF, true},
                     {0x3D0, false}, {0x3D4, true}, {0x3D7, true}, {0x3D8, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(machine_.Trapped(c.port), c.trapped) << "port 0x" << std::hex << c.port;
  }
}

TEST_F(PlatformSession, TrappedAccessesGoToTheValidatorOfTheirSize) {
  double_.readAnswer = 0xBEEF;
  machine_.V86Out(1, 0x3C2, 0x67);
  EXPECT_EQ(machine_.V86In(2, 0x3C4), 0xBEEFu);
  machine_.V86Out(4, 0x3D4, 0x12345678);
  EXPECT_EQ(machine_.V86In(1, 0x3C5), 0xEFu);

  ASSERT_EQ(double_.validations.size(), 4u);
  const Validation expected[] = {{"uchar", 0x3C2, EMULATOR_WRITE_ACCESS, 0x67},
                                 {"ushort", 0x3C4, EMULATOR_READ_ACCESS, 0},
                                 {"ulong", 0x3D4, EMULATOR_WRITE_ACCESS, 0x12345678},
                                 {"uchar", 0x3C5, EMULATOR_READ_ACCESS, 0}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(double_.validations[i].routine, expected[i].routine);
    EXPECT_EQ(double_.validations[i].port, expected[i].port);
    EXPECT_EQ(double_.validations[i].mode, expected[i].mode);
    EXPECT_EQ(double_.validations[i].data, expected[i].data);
  }
  // The validators did no port access of their own here, and a trapped
  // access is not a bus access.
  EXPECT_EQ(machine_.trace().Size(), 0u);
}

TEST_F(PlatformSession, UntrappedAccessesGoStraightToTheAdapterAndAreTraced) {
  machine_.V86Out(1, 0x3B4, 0x0C);    // no row names 0x3B0-0x3BF
  machine_.V86Out(2, 0x3CE, 0x0005);  // trapped port, but no word validator for it
  EXPECT_EQ(machine_.V86In(1, 0x3D0), 0xFFu);
  EXPECT_TRUE(double_.validations.empty());
  EXPECT_EQ(machine_.adapter().Gc(0x05), 0x00);
  EXPECT_EQ(CompareTraces({io::Out8(0x3B4, 0x0C), io::Out16(0x3CE, 0x0005), io::In8(0x3D0, 0xFF)},
                          machine_.trace().Entries()),
            "");
}

TEST_F(PlatformSession, AfterATrapSetLaterRowsOverrideEarlierOnes) {
  VIDEO_ACCESS_RANGE rows[] = {Row(0x3C0, 0x20, 1), Row(0x3C4, 2, 0), Row(0x3C4, 1, 1),
                               Row(0x3D4, 4, 0), Row(0x3D4, 4, 1)};
  ASSERT_EQ(VideoPortSetTrappedEmulatorPorts(nullptr, 5, rows), NO_ERROR);
  struct {
    uint16_t port;
    bool trapped;
  } const cases[] = {{0x3C0, false}, {0x3C3, false}, {0x3C4, false}, {0x3C5, true},
                     {0x3C6, false}, {0x3D4, false}, {0x3B0, false}, {0x3E0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(machine_.Trapped(c.port), c.trapped) << "port 0x" << std::hex << c.port;
  }
  machine_.V86Out(1, 0x3C4, 0x02);        // now direct
  machine_.V86Out(1, 0x3C5, 0x0F);        // trapped
  machine_.V86Out(4, 0x3D4, 0x0000110C);  // direct again: the last row made it visible
  ASSERT_EQ(double_.validations.size(), 1u);
  EXPECT_EQ(double_.validations[0].port, 0x3C5u);
  EXPECT_EQ(CompareTraces({io::Traps(5), io::Out8(0x3C4, 0x02), io::Out32(0x3D4, 0x0000110C)},
                          machine_.trace().Entries()),
            "");
}

TEST_F(PlatformSession, AWordAccessIsTrappedWhenEitherOfItsPortsIs) {
  VIDEO_ACCESS_RANGE rows[] = {Row(0x3C0, 0x20, 1), Row(0x3C5, 1, 0)};
  ASSERT_EQ(VideoPortSetTrappedEmulatorPorts(nullptr, 2, rows), NO_ERROR);
  machine_.V86Out(2, 0x3C4, 0x0F02);
  ASSERT_EQ(double_.validations.size(), 1u);
  EXPECT_STREQ(double_.validations[0].routine, "ushort");
  EXPECT_EQ(double_.validations[0].data, 0x0F02u);
}

}  // namespace
}  // namespace sim
