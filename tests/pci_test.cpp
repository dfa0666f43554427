// PCI configuration mechanism #1 as the driver's scan meets it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/adapter.h"
#include "sim/pci_host_bridge.h"
#include "sim/profile.h"

namespace sim {
namespace {

struct Bus {
  explicit Bus(const Profile& p) : adapter(DerivePowerOn(p)), bridge(adapter, p) {}
  uint32_t Read32(uint32_t address) {
    bridge.Out(0xCF8, 4, address);
    return bridge.In(0xCFC, 4);
  }
  Adapter adapter;
  PciHostBridge bridge;
};

struct Placement {
  const char* name;
  uint8_t bus, device;
  bool onPciBus;
};

class PciScan : public testing::TestWithParam<Placement> {};

// Register 0 of function 0 of every device on buses 0 and 1: the IDs answer
// at the configured place only.
TEST_P(PciScan, FindsTheAdapterOnlyWhereItSits) {
  const Placement c = GetParam();
  Profile p;
  p.pciBus = c.bus;
  p.pciDevice = c.device;
  p.onPciBus = c.onPciBus;
  Bus bus(p);
  std::vector<std::string> found;
  for (uint32_t b = 0; b <= 1; ++b) {
    for (uint32_t d = 0; d < 32; ++d) {
      const uint32_t value = bus.Read32(0x80000000 | (b << 16) | (d << 11));
      if (value == 0xFFFFFFFF) continue;
      found.push_back(std::to_string(b) + ":" + std::to_string(d));
      EXPECT_EQ(value, 0x7A521F4Bu) << "bus " << b << " device " << d;
    }
  }
  const std::vector<std::string> expected =
      c.onPciBus ? std::vector<std::string>{std::to_string(c.bus) + ":" + std::to_string(c.device)}
                 : std::vector<std::string>{};
  EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Placements, PciScan,
    testing::Values(Placement{"Bus1Device0", 1, 0, true}, Placement{"Bus1Device31", 1, 31, true},
                    Placement{"Bus0Device1", 0, 1, true}, Placement{"Bus0Device21", 0, 21, true},
                    Placement{"Bus0Device0", 0, 0, true}, Placement{"NotOnThePciBus", 1, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PciHostBridge, OtherFunctionsAndBusesOfTheSlotDoNotAnswer) {
  Bus bus(Profile::Default());  // bus 1, device 0
  EXPECT_EQ(bus.Read32(0x80010000), 0x7A521F4Bu);
  EXPECT_EQ(bus.Read32(0x80010100), 0xFFFFFFFFu);  // function 1
  EXPECT_EQ(bus.Read32(0x80010700), 0xFFFFFFFFu);  // function 7
  EXPECT_EQ(bus.Read32(0x80020000), 0xFFFFFFFFu);  // bus 2
  EXPECT_EQ(bus.Read32(0x00010000), 0xFFFFFFFFu);  // enable bit clear
}

TEST(PciHostBridge, NarrowReadsOfTheDataWindowReturnBytesFromK) {
  Profile p;
  p.revision = 0x1A;
  Bus bus(p);
  EXPECT_EQ(bus.Read32(0x80010010), 0xE0000008u);  // BAR0
  EXPECT_EQ(bus.Read32(0x8001000B), 0x0300001Au);  // bits 1-0 of the address ignored
  bus.bridge.Out(0xCF8, 4, 0x80010008);            // revision and class code
  struct Case {
    uint16_t port;
    unsigned size;
    uint32_t value;
  };
  for (const Case c : {Case{0xCFC, 1, 0x1A}, Case{0xCFD, 1, 0x00}, Case{0xCFE, 1, 0x00},
                       Case{0xCFF, 1, 0x03}, Case{0xCFC, 2, 0x001A}, Case{0xCFD, 2, 0x0000},
                       Case{0xCFE, 2, 0x0300}, Case{0xCFF, 2, 0xFF03},  // past 0xCFF floats
                       Case{0xCFC, 4, 0x0300001A}}) {
    EXPECT_EQ(bus.bridge.In(c.port, c.size), c.value)
        << "in" << 8 * c.size << " 0x" << std::hex << c.port;
  }
}

TEST(PciHostBridge, AddressRegisterReadsBackWithoutReservedBits) {
  Bus bus(Profile::Default());
  struct Case {
    uint32_t written, readBack;
  };
  for (const Case c : {Case{0x8001F804, 0x8001F804}, Case{0xFFFFFFFF, 0x80FFFFFC},
                       Case{0x00000000, 0x00000000}, Case{0x7F010003, 0x00010000}}) {
    bus.bridge.Out(0xCF8, 4, c.written);
    EXPECT_EQ(bus.bridge.In(0xCF8, 4), c.readBack) << std::hex << "wrote 0x" << c.written;
  }
}

TEST(PciHostBridge, OnlyDwordAccessesReachTheAddressRegister) {
  Bus bus(Profile::Default());
  bus.bridge.Out(0xCF8, 4, 0x80010000);
  bus.bridge.Out(0xCF8, 1, 0x00);
  bus.bridge.Out(0xCFA, 2, 0x0000);
  EXPECT_EQ(bus.bridge.In(0xCF8, 4), 0x80010000u);
  EXPECT_EQ(bus.bridge.In(0xCF8, 1), 0xFFu);
  EXPECT_EQ(bus.bridge.In(0xCF9, 2), 0xFFFFu);
}

TEST(PciHostBridge, DataWritesDoNotChangeTheIds) {
  Bus bus(Profile::Default());
  bus.bridge.Out(0xCF8, 4, 0x80010000);
  bus.bridge.Out(0xCFC, 4, 0x12345678);
  EXPECT_EQ(bus.bridge.In(0xCFC, 4), 0x7A521F4Bu);
}

}  // namespace
}  // namespace sim
