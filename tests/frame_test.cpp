// The driver frame: registration at load and the initialize call. (Codes
// the dispatcher does not serve are in the refusal table.)
#include <gtest/gtest.h>

#include <vector>

#include "miniport/miniport.h"
#include "sim/machine.h"
#include "support/bus.h"
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
    // Isa, Eisa, MicroChannel in turn; a forced registration never reaches
    // find-adapter, and Eisa and MicroChannel find no bus.
    std::vector<std::pair<INTERFACE_TYPE, bool>> calls;
    for (const auto& r : m.Registrations())
      calls.emplace_back(r.bus, r.findAdapterCalled);
    EXPECT_EQ(calls,
              (decltype(calls){{Isa, c.forced.empty()}, {Eisa, false}, {MicroChannel, false}}));
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
  VgaDeviceExtension expected{};  // zero-initialised, padding included
  expected.CursorEndLine = 31;
  expected.CursorVisible = 1;
  EXPECT_TRUE(test::BytesAre(record, test::Bytes(expected)));
}

}  // namespace
