// The VGA register idioms, each one small helper over the video port
// services. Ports are reached through IoBase: port P is IoBase + (P - 0x3B0).
#pragma once

#include "miniport/device_extension.h"
#include "miniport/vga_registers.h"
#include "miniport/videoport.h"

static inline PUCHAR VgaPort(const VgaDeviceExtension* ext, USHORT port) {
  return ext->IoBase + (port - VGA_IO_BASE_PORT);
}

static inline UCHAR PortRead8(const VgaDeviceExtension* ext, USHORT port) {
  return VideoPortReadPortUchar(VgaPort(ext, port));
}

static inline VOID PortWrite8(const VgaDeviceExtension* ext, USHORT port, UCHAR value) {
  VideoPortWritePortUchar(VgaPort(ext, port), value);
}

static inline USHORT PortRead16(const VgaDeviceExtension* ext, USHORT port) {
  return VideoPortReadPortUshort(reinterpret_cast<PUSHORT>(VgaPort(ext, port)));
}

static inline VOID PortWrite16(const VgaDeviceExtension* ext, USHORT port, USHORT value) {
  VideoPortWritePortUshort(reinterpret_cast<PUSHORT>(VgaPort(ext, port)), value);
}

static inline ULONG PortRead32(const VgaDeviceExtension* ext, USHORT port) {
  return VideoPortReadPortUlong(reinterpret_cast<PULONG>(VgaPort(ext, port)));
}

static inline VOID PortWrite32(const VgaDeviceExtension* ext, USHORT port, ULONG value) {
  VideoPortWritePortUlong(reinterpret_cast<PULONG>(VgaPort(ext, port)), value);
}

// Index to the index port, then the data port (index port + 1) read.
static inline UCHAR IndexedRead(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index) {
  PortWrite8(ext, indexPort, index);
  return PortRead8(ext, indexPort + 1);
}

// Index to the index port, then the value to the data port, as two byte writes.
static inline VOID IndexedWrite(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index,
                                UCHAR value) {
  PortWrite8(ext, indexPort, index);
  PortWrite8(ext, indexPort + 1, value);
}

// One 16-bit write: index in the low byte, value in the high byte.
static inline VOID IndexedWrite16(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index,
                                  UCHAR value) {
  PortWrite16(ext, indexPort, static_cast<USHORT>((value << 8) | index));
}

// Read-modify-write: index, read the data port, write (value AND keep) OR set.
static inline VOID IndexedModify(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index,
                                 UCHAR keep, UCHAR set) {
  PortWrite8(ext, indexPort, index);
  const UCHAR value = PortRead8(ext, indexPort + 1);
  PortWrite8(ext, indexPort + 1, static_cast<UCHAR>((value & keep) | set));
}

// Misc output is written at 0x3C2 and read back at 0x3CC.
static inline VOID MiscModify(const VgaDeviceExtension* ext, UCHAR keep, UCHAR set) {
  const UCHAR value = PortRead8(ext, VGA_MISC_READ);
  PortWrite8(ext, VGA_MISC_WRITE, static_cast<UCHAR>((value & keep) | set));
}

static inline BOOLEAN VgaColorAddressing(const VgaDeviceExtension* ext) {
  return kMiscColorAddressing.Of(PortRead8(ext, VGA_MISC_READ)) != 0;
}
