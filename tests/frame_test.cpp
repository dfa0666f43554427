// The driver frame: registration at load, the initialize call, and what the
// dispatcher does with codes it does not serve (the served ones: every
// request suite).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "miniport/miniport.h"
#include "sim/machine.h"
#include "support/linked_only.h"

namespace {

TEST(DriverEntry, ReturnsTheSmallestRegistrationStatusAsUnsigned) {
  struct Case {
    const char* what;
    std::vector<std::pair<INTERFACE_TYPE, VP_STATUS>> forced;
    ULONG expected;
  };
  const Case cases[] = {
      {"Isa finds the adapter, Eisa and MicroChannel find no bus", {}, 0},
      {"all fail", {{Isa, 0x20}, {Eisa, 0x10}, {MicroChannel, 0x30}}, 0x10},
      {"large statuses are not negative",
       {{Isa, static_cast<VP_STATUS>(0xC0000001)},
        {Eisa, static_cast<VP_STATUS>(0x80000000)},
        {MicroChannel, 5}},
       5},
      {"only Eisa succeeds", {{Isa, ERROR_DEV_NOT_EXIST}, {Eisa, NO_ERROR}}, 0},
      {"Isa fails, the others find no bus", {{Isa, ERROR_DEV_NOT_EXIST}}, 55},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m;  // Eisa and MicroChannel answer 0xC000000E unless forced
    for (const auto& [bus, status] : c.forced)
      m.ForceRegistration(bus, status);
    EXPECT_EQ(m.Load(), c.expected);
    ASSERT_EQ(m.Registrations().size(), 3u);
    EXPECT_EQ(m.Registrations()[0].bus, Isa);
    EXPECT_EQ(m.Registrations()[1].bus, Eisa);
    EXPECT_EQ(m.Registrations()[2].bus, MicroChannel);
    // A forced registration never reaches find-adapter; Eisa and MicroChannel find no bus.
    EXPECT_EQ(m.Registrations()[0].findAdapterCalled, c.forced.empty());
    EXPECT_FALSE(m.Registrations()[1].findAdapterCalled || m.Registrations()[2].findAdapterCalled);
  }
}

TEST(VgaInitialize, SetsTheCursorDefaultsAndNothingElse) {
  ZEL_LINKED_DRIVER_ONLY();
  sim::Machine m;
  std::vector<uint8_t> record(sizeof(VgaDeviceExtension), 0);
  const size_t mark = m.trace().Start();
  EXPECT_EQ(VgaInitialize(record.data()), TRUE);
  EXPECT_EQ(m.trace().Since(mark).size(), 0u) << "initialize touched the hardware";

  // Column 0, row 0, scan lines 0 to 31, visible; every other byte still 0.
  VgaDeviceExtension expected;
  std::memset(&expected, 0, sizeof(expected));
  expected.CursorEndLine = 31;
  expected.CursorVisible = 1;
  EXPECT_EQ(std::memcmp(record.data(), &expected, sizeof(expected)), 0);
}

TEST(Dispatch, CodesNotServedAnswerInvalidFunctionAndTouchNothing) {
  const ULONG codes[] = {
      0x230420,   0x230424,   0x230444, 0x230468,  // the neighbours the driver never serves
      0x230004,   0x230008,   0x230470, 0x23047C,  // VDM disable/register, beyond unshare
      0x230401,   0x230402,   0x220400, 0x330400,  // near misses of a served code
      0x00000000, 0xFFFFFFFF,
  };
  sim::Machine m;
  ASSERT_EQ(m.Load(), 0u);
  auto* ext = static_cast<uint8_t*>(m.DeviceExtension());
  for (ULONG code : codes) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
    const std::vector<uint8_t> extBefore(ext, ext + sizeof(VgaDeviceExtension));
    std::vector<uint8_t> in(64, 0x5A), out(64, 0xA5);
    const size_t mark = m.trace().Start();
    const size_t mappings = m.Mappings().size();

    const auto result = m.Ioctl(code, in.data(), 64, out.data(), 64);
    EXPECT_EQ(result.status, ERROR_INVALID_FUNCTION);
    EXPECT_EQ(result.information, 0u);
    EXPECT_EQ(sim::CompareTraces({}, m.trace().Since(mark)), "");
    EXPECT_EQ(m.Mappings().size(), mappings);
    EXPECT_TRUE(std::vector<uint8_t>(ext, ext + sizeof(VgaDeviceExtension)) == extBefore)
        << "the device extension changed";
    EXPECT_EQ(in, std::vector<uint8_t>(64, 0x5A));
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xA5));
  }
}

}  // namespace
