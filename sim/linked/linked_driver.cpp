// The driver linked into this executable, as the platform loads it.
#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/platform/writable_statics.h"

namespace sim {

DriverImage LinkedDriver() {
  DriverImage image;
  image.entry = &DriverEntry;
  image.resetStatics = &platform::RestoreWritableStatics;
  return image;
}

}  // namespace sim
