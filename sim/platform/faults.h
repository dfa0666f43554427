// Injected failures of the platform services: which calls of a service fail,
// counted per fault from the moment it is injected, optionally only among the
// calls that touch a given physical range.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/platform_types.h"

namespace sim::platform {

class Faults {
 public:
  void Inject(const Fault& fault) { faults_.push_back({fault, 0}); }
  void Clear() { faults_.clear(); }
  uint32_t CallCount(Service service) const { return calls_[Index(service)]; }

  // Counts one call of `service` touching `physical` (empty: the service has no
  // physical address) and says whether, and with what status, it fails.
  std::optional<VP_STATUS> Call(Service service, std::span<const uint64_t> physical = {});

 private:
  static constexpr size_t kServices = static_cast<size_t>(Service::SetTrappedEmulatorPorts) + 1;
  static size_t Index(Service s) { return static_cast<size_t>(s); }

  struct Armed {
    Fault fault;
    uint32_t seen;  // matching calls since injection
  };
  std::vector<Armed> faults_;
  std::array<uint32_t, kServices> calls_{};
};

}  // namespace sim::platform
