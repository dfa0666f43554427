#include "tools/zelctl/adapter_keys.h"

#include <string>

#include "tools/zelctl/parse.h"

namespace zelctl {
namespace {

template <typename T>
T Field(std::string_view value, std::string_view key, uint64_t max) {
  return static_cast<T>(ParseNumber(value, key, max));
}

// A bare number is megabytes ("memory=4"); with a unit it is a byte count
// that must be whole megabytes ("memory=4M", "memory=4096K").
uint32_t MemoryMegabytes(std::string_view value) {
  const bool hasUnit = !value.empty() && (value.back() == 'K' || value.back() == 'k' ||
                                          value.back() == 'M' || value.back() == 'm');
  if (!hasUnit) return Field<uint32_t>(value, "memory", 1024);
  const uint64_t bytes = ParseSize(value, "memory", 1024ull * 1048576);
  if (bytes % 1048576 != 0) {
    throw ScriptError("memory: '" + std::string(value) + "' is not a whole number of megabytes");
  }
  return static_cast<uint32_t>(bytes / 1048576);
}

void OneOf(std::string_view key, std::string_view value, uint64_t parsed,
           std::initializer_list<uint64_t> allowed, std::string_view list) {
  for (const uint64_t a : allowed) {
    if (parsed == a) return;
  }
  throw ScriptError(std::string(key) + ": '" + std::string(value) + "' must be " +
                    std::string(list));
}

void Pci(sim::Profile& p, std::string_view value) {
  const size_t colon = value.find(':');
  if (colon == std::string_view::npos) {
    throw ScriptError("pci: expected BUS:DEVICE, got '" + std::string(value) + "'");
  }
  p.pciBus = Field<uint8_t>(value.substr(0, colon), "pci bus", 0xFF);
  p.pciDevice = Field<uint8_t>(value.substr(colon + 1), "pci device", 31);
}

constexpr AdapterKey kKeys[] = {
    {"revision", "PCI revision ID (low nibble 0-9: Zel A1, 10-15: Zel B1)",
     [](sim::Profile& p, std::string_view v) { p.revision = Field<uint8_t>(v, "revision", 0xFF); }},
    {"memory", "video memory: megabytes (1, 2, 4, 8) or a size such as 2M",
     [](sim::Profile& p, std::string_view v) { p.memoryMB = MemoryMegabytes(v); }},
    {"bus", "memory bus width: 32 or 64",
     [](sim::Profile& p, std::string_view v) {
       const uint64_t width = ParseNumber(v, "bus");
       OneOf("bus", v, width, {32, 64}, "32 or 64");
       p.busWidth = static_cast<uint32_t>(width);
     }},
    {"type", "memory type: 0 to 3",
     [](sim::Profile& p, std::string_view v) { p.memoryType = Field<uint8_t>(v, "type", 3); }},
    {"mclk", "memory clock in MHz",
     [](sim::Profile& p, std::string_view v) {
       p.memoryClockMHz = Field<uint32_t>(v, "mclk", 0xFFFFFFFF);
     }},
    {"strap", "memory clock strap (SR0D bit 0): 0 or 1",
     [](sim::Profile& p, std::string_view v) { p.strap = Field<uint8_t>(v, "strap", 1); }},
    {"romkb", "option ROM size in KB",
     [](sim::Profile& p, std::string_view v) { p.romKB = Field<uint32_t>(v, "romkb", 0xFFFF); }},
    {"pci", "PCI location BUS:DEVICE", Pci},
    {"bar", "raw first base address register",
     [](sim::Profile& p, std::string_view v) { p.bar0 = Field<uint32_t>(v, "bar", 0xFFFFFFFF); }},
    {"romvendor", "vendor ID in the ROM's PCI data structure",
     [](sim::Profile& p, std::string_view v) {
       p.romVendor = Field<uint16_t>(v, "romvendor", 0xFFFF);
     }},
    {"romdevice", "device ID in the ROM's PCI data structure",
     [](sim::Profile& p, std::string_view v) {
       p.romDevice = Field<uint16_t>(v, "romdevice", 0xFFFF);
     }},
    {"ram", "top of system RAM, a size such as 64M",
     [](sim::Profile& p, std::string_view v) {
       p.ramTop = static_cast<uint32_t>(ParseSize(v, "ram", 0xFFFFFFFF));
     }},
};

// srXX: the power-on value of extended sequencer register XX, raw.
bool ApplySequencerOverride(sim::Profile& p, std::string_view key, std::string_view value) {
  if (key.size() < 3 || key.size() > 4 || (key[0] != 's' && key[0] != 'S') ||
      (key[1] != 'r' && key[1] != 'R')) {
    return false;
  }
  const std::string_view index = key.substr(2);
  for (const char c : index) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  const auto number = static_cast<uint8_t>(std::stoul(std::string(index), nullptr, 16));
  // SR00-SR04 are the standard sequencer and SR05 is the lock itself.
  if (number <= 0x05) {
    throw ScriptError(std::string(key) + ": not an extended sequencer register (SR06 to SRFF)");
  }
  p.seqOverrides[number] = Field<uint8_t>(value, key, 0xFF);
  return true;
}

}  // namespace

std::span<const AdapterKey> AdapterKeys() {
  return kKeys;
}

void ApplyAdapterSetting(sim::Profile& profile, std::string_view word) {
  const KeyValue kv = SplitKeyValue(word, "adapter");
  for (const AdapterKey& key : kKeys) {
    if (key.name == kv.key) {
      key.apply(profile, kv.value);
      return;
    }
  }
  if (ApplySequencerOverride(profile, kv.key, kv.value)) return;
  throw ScriptError("adapter: unknown key '" + std::string(kv.key) + "'");
}

}  // namespace zelctl
