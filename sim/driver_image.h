// The driver as Windows NT loads it: zel.sys, mapped into this process with
// its imports bound to the simulated video port services.
#pragma once

#include <string>

#include "sim/platform_types.h"

namespace sim {

// Maps a fresh copy of the image. Its entry is DriverEntry; resetStatics puts
// the image back to the file's contents; callGate runs every call into it on
// a thunk that checks the stdcall contract and stops the process, naming the
// routine, when a routine breaks it. The image's own port instructions reach
// the machine's ports, traced like every other access. Throws pe::PeError when
// the file cannot be loaded or imports anything but the video port services.
DriverImage LoadDriverImage(const std::string& path);

}  // namespace sim
