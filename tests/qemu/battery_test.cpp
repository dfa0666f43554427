// The battery of VGA facts on the simulated adapter: every read must give
// the value the VGA documentation gives, as it must on QEMU (where the
// kernel plays the same rows, with QEMU's listed deviations).
#include <gtest/gtest.h>

#include "sim/adapter.h"
#include "tests/qemu/script.h"

namespace qemu {
namespace {

struct SimBus {
  sim::Adapter adapter;
  uint8_t In8(uint16_t port) { return adapter.In8(port); }
  void Out8(uint16_t port, uint8_t value) { adapter.Out8(port, value); }
  void Out16(uint16_t port, uint16_t value) { adapter.Out16(port, value); }
  uint8_t Read(uint32_t physical) { return adapter.MemRead8(physical); }
  void Write(uint32_t physical, uint8_t value) { adapter.MemWrite8(physical, value); }
  void FillPlane(uint8_t, unsigned) {}  // the battery fills no planes
};

struct ModelCheck {
  const char* row = nullptr;
  unsigned read = 0;
  void Row(const Op& op) {
    row = static_cast<const char*>(op.ref);
    read = 0;
  }
  void Got(const Op& op, uint8_t expected, uint8_t got) {
    ++read;
    EXPECT_TRUE(Matches(op, expected, got))
        << "'" << row << "' read " << read << " (" << std::hex << "0x" << op.at
        << "): the VGA gives 0x" << int{expected} << ", the model 0x" << int{got};
  }
};

TEST(QemuBattery, ModelGivesTheValuesOfTheVgaDocumentation) {
  sim::PowerOnState powerOn;
  powerOn.videoMemoryBytes = 0x400000;
  SimBus bus{sim::Adapter(powerOn)};
  ModelCheck check;
  Play(bus, kBattery, check, kBaseline);
}

}  // namespace
}  // namespace qemu
