// The processor's port instructions, by fixed port number, for the two places
// that bypass the video port services (SR3E bit 0 at mode set, and the
// bank-switch code block). On NT these are real in/out instructions; in the
// Linux build they reach the simulated machine.
#pragma once

#include "miniport/videoport.h"

#if defined(ZEL_NT_IMAGE)

static inline UCHAR PortIn8(USHORT port) {
  UCHAR value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
  return value;
}

static inline VOID PortOut8(USHORT port, UCHAR value) {
  __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
}

#else

extern "C" UCHAR VPAPI ZelSimPortIn8(USHORT port);
extern "C" VOID VPAPI ZelSimPortOut8(USHORT port, UCHAR value);

static inline UCHAR PortIn8(USHORT port) {
  return ZelSimPortIn8(port);
}
static inline VOID PortOut8(USHORT port, UCHAR value) {
  ZelSimPortOut8(port, value);
}

#endif
