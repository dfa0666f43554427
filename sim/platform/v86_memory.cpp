// A full-screen session's memory accesses: the platform maps the legacy
// window straight to the adapter, so they are not trapped; each is traced
// like the driver's window accesses, against the window's base.
#include <stdexcept>

#include "sim/machine.h"
#include "sim/trace.h"

namespace sim {
namespace {

constexpr uint32_t kWindowBase = 0xA0000;
constexpr uint32_t kWindowLength = 0x20000;

uint32_t WindowOffset(uint32_t address) {
  if (address < kWindowBase || address - kWindowBase >= kWindowLength) {
    throw std::out_of_range("V86 memory access outside 0xa0000-0xbffff");
  }
  return address - kWindowBase;
}

}  // namespace

uint8_t Machine::V86Read8(uint32_t address) {
  const uint32_t offset = WindowOffset(address);
  const uint8_t value = adapter().MemRead8(address);
  if (trace().Recording(AccessKind::MemRead)) {
    trace().Record(io::MemRead8(kWindowBase, offset, value));
  }
  return value;
}

void Machine::V86Write8(uint32_t address, uint8_t value) {
  const uint32_t offset = WindowOffset(address);
  if (trace().Recording(AccessKind::MemWrite)) {
    trace().Record(io::MemWrite8(kWindowBase, offset, value));
  }
  adapter().MemWrite8(address, value);
}

}  // namespace sim
