#include "sim/platform/faults.h"

#include <algorithm>

namespace sim::platform {

std::optional<VP_STATUS> Faults::Call(Service service, std::span<const uint64_t> physical) {
  ++calls_[Index(service)];
  std::optional<VP_STATUS> result;
  for (Armed& armed : faults_) {
    const Fault& f = armed.fault;
    if (f.service != service) continue;
    if (f.rangeStart) {
      const bool touches = std::any_of(physical.begin(), physical.end(), [&](uint64_t a) {
        return a >= *f.rangeStart && a - *f.rangeStart < f.rangeLength;
      });
      if (!touches) continue;
    }
    const uint32_t index = armed.seen++;
    // Unsigned distance, so that count = UINT32_MAX cannot overflow.
    if (!result && index >= f.firstCall && index - f.firstCall < f.count) result = f.status;
  }
  return result;
}

}  // namespace sim::platform
