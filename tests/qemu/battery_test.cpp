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
  void FillPlane(uint8_t seed, unsigned plane) {
    for (uint32_t o = 0; o < 0x10000; ++o)
      adapter.MemWrite8(0xA0000 + o, PlaneByte(seed, plane, o));
  }
};

struct ModelCheck {
  const Op* row = nullptr;
  unsigned read = 0;

  const char* Name() const { return static_cast<const char*>(row->ref); }
  void Row(const Op& op) {
    row = &op;
    read = 0;
  }
  void Got(const Op& op, uint8_t expected, uint8_t got) {
    ++read;
    if (Matches(op, expected, got)) return;
    ADD_FAILURE() << "'" << Name() << "' read " << read << " (" << std::hex << "0x" << op.at
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
