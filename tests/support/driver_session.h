// A loaded driver on a simulated machine, as the display-service tests use
// it: load, set a mode, send requests, look at the device extension.
#pragma once

#include <memory>
#include <vector>

#include "miniport/device_extension.h"
#include "sim/machine.h"
#include "tests/support/bus.h"

namespace test {

class DriverSession {
 public:
  explicit DriverSession(const sim::Profile& profile = sim::Profile::Default())
      : machine_(std::make_unique<sim::Machine>(profile)) {
    loadStatus_ = machine_->Load();
  }

  ULONG LoadStatus() const { return loadStatus_; }
  sim::Machine& machine() { return *machine_; }
  sim::Adapter& adapter() { return machine_->adapter(); }
  VgaDeviceExtension& ext() {
    return *static_cast<VgaDeviceExtension*>(machine_->DeviceExtension());
  }

  VP_STATUS SetMode(ULONG mode) {
    VIDEO_MODE request{mode};
    return machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &request, sizeof(request), nullptr, 0)
        .status;
  }

  // A request whose input is `in` (exactly its size) and with an output
  // buffer of `outLength` bytes, filled with 0xCC first.
  sim::Machine::Result Request(ULONG code, std::vector<uint8_t> in, ULONG outLength = 0) {
    input_ = std::move(in);
    output_.assign(outLength, 0xCC);
    return machine_->Ioctl(code, input_.empty() ? nullptr : input_.data(),
                           static_cast<ULONG>(input_.size()),
                           output_.empty() ? nullptr : output_.data(), outLength);
  }
  const std::vector<uint8_t>& Output() const { return output_; }

  // Starts recording the trace (if it is not yet) and says where it is.
  size_t Mark() {
    machine_->trace().Start();
    return machine_->trace().Size();
  }
  std::vector<sim::TraceEntry> Since(size_t mark) { return machine_->trace().Since(mark); }

  // The device extension's bytes, to show a refused request changed nothing.
  std::vector<uint8_t> ExtensionBytes() {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ext());
    return std::vector<uint8_t>(bytes, bytes + sizeof(VgaDeviceExtension));
  }

 private:
  std::unique_ptr<sim::Machine> machine_;
  ULONG loadStatus_ = 0;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> output_;
};

// VIDEO_CURSOR_POSITION and VIDEO_POINTER_POSITION: column, row.
inline std::vector<uint8_t> Position(int16_t column, int16_t row) {
  return Bytes(VIDEO_CURSOR_POSITION{column, row});
}

}  // namespace test
