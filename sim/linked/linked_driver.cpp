// The driver linked into this executable, as the platform loads it, and the
// choice between it and the NT image.
#include <cstdlib>
#include <string>

#include "miniport/videoport.h"
#include "sim/driver_image.h"
#include "sim/machine.h"
#include "sim/platform/writable_statics.h"

namespace sim {
namespace {

std::string& ChosenImage() {
  static std::string path;
  return path;
}

}  // namespace

DriverImage LinkedDriver() {
  DriverImage image;
  image.entry = &DriverEntry;
  image.resetStatics = &platform::RestoreWritableStatics;
  image.statics = &platform::WritableStatics;
  image.sharedStatics = true;
  return image;
}

void UseDriverImage(const std::string& path) {
  ChosenImage() = path;
}

std::string DefaultDriverImagePath() {
  if (!ChosenImage().empty()) return ChosenImage();
  const char* environment = std::getenv("ZEL_DRIVER_IMAGE");
  return environment != nullptr ? environment : "";
}

DriverImage DefaultDriver() {
  const std::string path = DefaultDriverImagePath();
  return path.empty() ? LinkedDriver() : LoadDriverImage(path);
}

}  // namespace sim
