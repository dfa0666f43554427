#include "sim/driver_image.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "miniport/videoport.h"
#include "sim/pe/loader.h"
#include "sim/pe/port_trap.h"
#include "sim/platform/platform.h"

namespace sim {
namespace {

#define ZEL_SERVICE(name)                                                                    \
  {                                                                                          \
#name, pe::Service {                                                                     \
      reinterpret_cast<const void*>(&name), pe::StdcallArgumentBytes<decltype(&name)>::value \
    }                                                                                        \
  }

// The video port services the simulated platform provides, by export name.
const std::map<std::string, pe::Service>& VideoPortServices() {
  static const std::map<std::string, pe::Service> services{
      ZEL_SERVICE(VideoPortInitialize),
      ZEL_SERVICE(VideoPortReadPortUchar),
      ZEL_SERVICE(VideoPortReadPortUshort),
      ZEL_SERVICE(VideoPortReadPortUlong),
      ZEL_SERVICE(VideoPortWritePortUchar),
      ZEL_SERVICE(VideoPortWritePortUshort),
      ZEL_SERVICE(VideoPortWritePortUlong),
      ZEL_SERVICE(VideoPortWritePortBufferUchar),
      ZEL_SERVICE(VideoPortWritePortBufferUshort),
      ZEL_SERVICE(VideoPortReadRegisterUchar),
      ZEL_SERVICE(VideoPortWriteRegisterUchar),
      ZEL_SERVICE(VideoPortWriteRegisterBufferUchar),
      ZEL_SERVICE(VideoPortMoveMemory),
      ZEL_SERVICE(VideoPortZeroMemory),
      ZEL_SERVICE(VideoPortGetDeviceBase),
      ZEL_SERVICE(VideoPortFreeDeviceBase),
      ZEL_SERVICE(VideoPortVerifyAccessRanges),
      ZEL_SERVICE(VideoPortMapMemory),
      ZEL_SERVICE(VideoPortUnmapMemory),
      ZEL_SERVICE(VideoPortInt10),
      ZEL_SERVICE(VideoPortSetRegistryParameters),
      ZEL_SERVICE(VideoPortSetTrappedEmulatorPorts),
      ZEL_SERVICE(VideoPortSynchronizeExecution),
  };
  return services;
}

#undef ZEL_SERVICE

// The image's in/out instructions take the path of the driver's port shim:
// the current machine's port bus, which traces them.
uint32_t PortIn(unsigned size, uint16_t port) {
  return platform::CurrentPlatform().ports.In(size, port);
}
void PortOut(unsigned size, uint16_t port, uint32_t value) {
  platform::CurrentPlatform().ports.Out(size, port, value);
}

}  // namespace

DriverImage LoadDriverImage(const std::string& path) {
  auto image =
      pe::LoadedImage::Load(path, [](const std::string& name) -> std::optional<pe::Service> {
        const auto& services = VideoPortServices();
        const auto found = services.find(name);
        if (found == services.end()) return std::nullopt;
        return found->second;
      });
  pe::RoutePortInstructions({.in = PortIn, .out = PortOut});
  DriverImage driver;
  driver.entry = reinterpret_cast<PDRIVER_ENTRY>(image->Entry());
  driver.resetStatics = [image] { image->Restore(); };
  // The whole image: its data sections and anything written elsewhere in it.
  driver.statics = [image] {
    return std::span<uint8_t>(static_cast<uint8_t*>(image->Address(0)), image->Size());
  };
  driver.callGate = [image](const void* routine, std::span<const ULONG> args,
                            bool byteResult) -> ULONG {
    const pe::CallOutcome outcome = pe::CallStdcall(routine, args);
    if (!outcome.breach.empty()) {
      // The caller's frame may be damaged: stop here, where the cause is known.
      std::fprintf(stderr, "%s broke the stdcall contract: %s\n", image->Describe(routine).c_str(),
                   outcome.breach.c_str());
      std::abort();
    }
    return byteResult ? (outcome.eax & 0xFFu) : outcome.eax;
  };
  return driver;
}

}  // namespace sim
