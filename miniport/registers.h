// The register accessors: one small helper per register file and idiom over
// the video port services. Ports are reached through IoBase: port P is
// IoBase + (P - 0x3B0).
#pragma once

#include "miniport/device_extension.h"
#include "miniport/vga_registers.h"
#include "miniport/videoport.h"

// ---------------------------------------------------------------------------
// Ports

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

// ---------------------------------------------------------------------------
// An index port and its data port right after it, as the sequencer, the CRTC
// and the graphics controller have them. Reached through the accessors below.

namespace indexed {

static inline UCHAR Read(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index) {
  PortWrite8(ext, indexPort, index);
  return PortRead8(ext, indexPort + 1);
}

// The index, then the value: two byte writes.
static inline VOID Write(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index,
                         UCHAR value) {
  PortWrite8(ext, indexPort, index);
  PortWrite8(ext, indexPort + 1, value);
}

// One word write: the index in the low byte, the value in the high byte.
static inline VOID Write16(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index,
                           UCHAR value) {
  PortWrite16(ext, indexPort, static_cast<USHORT>((value << 8) | index));
}

// The index, a read of the data port, and (value AND keep) OR set written
// back; returns the value read.
static inline UCHAR Modify(const VgaDeviceExtension* ext, USHORT indexPort, UCHAR index, UCHAR keep,
                           UCHAR set) {
  PortWrite8(ext, indexPort, index);
  const UCHAR value = PortRead8(ext, indexPort + 1);
  PortWrite8(ext, indexPort + 1, static_cast<UCHAR>((value & keep) | set));
  return value;
}

}  // namespace indexed

// ---------------------------------------------------------------------------
// Misc output: written at 0x3C2, read back at 0x3CC. Its bit 0 puts the CRTC
// and input status 1 at 0x3Dx (colour addressing) or 0x3Bx (mono).

static inline UCHAR MiscRead(const VgaDeviceExtension* ext) {
  return PortRead8(ext, VGA_MISC_READ);
}

static inline VOID MiscWrite(const VgaDeviceExtension* ext, UCHAR value) {
  PortWrite8(ext, VGA_MISC_WRITE, value);
}

static inline VOID MiscModify(const VgaDeviceExtension* ext, UCHAR keep, UCHAR set) {
  MiscWrite(ext, static_cast<UCHAR>((MiscRead(ext) & keep) | set));
}

enum class Addressing : UCHAR { Mono, Color };

static inline Addressing AddressingOf(UCHAR misc) {
  return kMiscColorAddressing.Of(misc) ? Addressing::Color : Addressing::Mono;
}

// The addressing in force: one read of misc output.
static inline Addressing CurrentAddressing(const VgaDeviceExtension* ext) {
  return AddressingOf(MiscRead(ext));
}

static inline USHORT CrtcIndexPort(Addressing addressing) {
  return addressing == Addressing::Color ? VGA_CRTC_INDEX_COLOR : VGA_CRTC_INDEX_MONO;
}

// Input status 1; the port of the other addressing reads nothing.
static inline USHORT StatusPort(Addressing addressing) {
  return addressing == Addressing::Color ? VGA_STATUS1_COLOR : VGA_STATUS1_MONO;
}

// Status reads a wait makes in each phase before it gives up: more than one
// frame at any refresh rate of the mode table.
#define ZEL_STATUS_POLL_LIMIT 0x10000

// Waits for a bit of input status 1 to rise: clear, then set. Each phase is
// bounded, so a bit that never moves cannot hang a request.
static inline VOID WaitForStatusRise(const VgaDeviceExtension* ext, USHORT statusPort, Field bit) {
  ULONG polls = 0;
  while (bit.Of(PortRead8(ext, statusPort)) && ++polls < ZEL_STATUS_POLL_LIMIT) {
  }
  polls = 0;
  while (!bit.Of(PortRead8(ext, statusPort)) && ++polls < ZEL_STATUS_POLL_LIMIT) {
  }
}

// ---------------------------------------------------------------------------
// Sequencer

static inline UCHAR SeqRead(const VgaDeviceExtension* ext, UCHAR index) {
  return indexed::Read(ext, VGA_SEQ_INDEX, index);
}

static inline VOID SeqWrite(const VgaDeviceExtension* ext, UCHAR index, UCHAR value) {
  indexed::Write(ext, VGA_SEQ_INDEX, index, value);
}

static inline VOID SeqWrite16(const VgaDeviceExtension* ext, UCHAR index, UCHAR value) {
  indexed::Write16(ext, VGA_SEQ_INDEX, index, value);
}

static inline UCHAR SeqModify(const VgaDeviceExtension* ext, UCHAR index, UCHAR keep, UCHAR set) {
  return indexed::Modify(ext, VGA_SEQ_INDEX, index, keep, set);
}

static inline UCHAR SeqModifyField(const VgaDeviceExtension* ext, UCHAR index, Field field,
                                   ULONG value) {
  return SeqModify(ext, index, field.Keep(), field.Place(value));
}

// The index alone, for data accesses to the register it selects.
static inline VOID SeqSelect(const VgaDeviceExtension* ext, UCHAR index) {
  PortWrite8(ext, VGA_SEQ_INDEX, index);
}

static inline UCHAR SeqReadData(const VgaDeviceExtension* ext) {
  return PortRead8(ext, VGA_SEQ_DATA);
}

static inline VOID SeqWriteData(const VgaDeviceExtension* ext, UCHAR value) {
  PortWrite8(ext, VGA_SEQ_DATA, value);
}

// ---------------------------------------------------------------------------
// CRT controller, at the ports of the addressing given

static inline UCHAR CrtcRead(const VgaDeviceExtension* ext, Addressing addressing, UCHAR index) {
  return indexed::Read(ext, CrtcIndexPort(addressing), index);
}

static inline VOID CrtcWrite(const VgaDeviceExtension* ext, Addressing addressing, UCHAR index,
                             UCHAR value) {
  indexed::Write(ext, CrtcIndexPort(addressing), index, value);
}

static inline VOID CrtcWrite16(const VgaDeviceExtension* ext, Addressing addressing, UCHAR index,
                               UCHAR value) {
  indexed::Write16(ext, CrtcIndexPort(addressing), index, value);
}

static inline UCHAR CrtcModify(const VgaDeviceExtension* ext, Addressing addressing, UCHAR index,
                               UCHAR keep, UCHAR set) {
  return indexed::Modify(ext, CrtcIndexPort(addressing), index, keep, set);
}

static inline UCHAR CrtcModifyField(const VgaDeviceExtension* ext, Addressing addressing,
                                    UCHAR index, Field field, ULONG value) {
  return CrtcModify(ext, addressing, index, field.Keep(), field.Place(value));
}

// ---------------------------------------------------------------------------
// Graphics controller

static inline UCHAR GcRead(const VgaDeviceExtension* ext, UCHAR index) {
  return indexed::Read(ext, VGA_GC_INDEX, index);
}

static inline VOID GcWrite16(const VgaDeviceExtension* ext, UCHAR index, UCHAR value) {
  indexed::Write16(ext, VGA_GC_INDEX, index, value);
}

static inline UCHAR GcModify(const VgaDeviceExtension* ext, UCHAR index, UCHAR keep, UCHAR set) {
  return indexed::Modify(ext, VGA_GC_INDEX, index, keep, set);
}

static inline VOID GcSelect(const VgaDeviceExtension* ext, UCHAR index) {
  PortWrite8(ext, VGA_GC_INDEX, index);
}

static inline VOID GcWriteData(const VgaDeviceExtension* ext, UCHAR value) {
  PortWrite8(ext, VGA_GC_DATA, value);
}

// ---------------------------------------------------------------------------
// Attribute controller: index and data both written at 0x3C0, a flip-flop
// telling which is next.

// Reading input status 1 puts the flip-flop at the index.
static inline VOID ResetAttributeFlipFlop(const VgaDeviceExtension* ext, Addressing addressing) {
  PortRead8(ext, StatusPort(addressing));
}

// With the flip-flop at the index: index, then value; the flip-flop is at the
// index again afterwards. The index's bit 5 decides whether the palette
// drives the display meanwhile.
static inline VOID AttrWrite(const VgaDeviceExtension* ext, UCHAR index, UCHAR value) {
  PortWrite8(ext, VGA_AC_INDEX, index);
  PortWrite8(ext, VGA_AC_INDEX, value);
}

// With the flip-flop at the index: the index alone, leaving the flip-flop at
// the data.
static inline VOID AttrSelect(const VgaDeviceExtension* ext, UCHAR index) {
  PortWrite8(ext, VGA_AC_INDEX, index);
}

// With the flip-flop at the index: the index, then the data read at 0x3C1;
// the flip-flop is left at the data.
static inline UCHAR AttrRead(const VgaDeviceExtension* ext, UCHAR index) {
  AttrSelect(ext, index);
  return PortRead8(ext, VGA_AC_DATA_READ);
}
