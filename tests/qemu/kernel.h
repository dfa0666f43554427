// The bare-metal kernel's side of the harness: the standard VGA state as the
// kernel reads it back, the sessions run on it, and the QEMU deviations from
// the VGA documentation the battery accepts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tests/qemu/script.h"

namespace qemu {

// The whole standard VGA state, read straight from the ports and the window.
struct Image {
  uint8_t seq[5];
  uint8_t crtc[25];
  uint8_t gc[9];
  uint8_t attr[21];
  uint8_t misc;
  uint8_t feature;
  uint8_t seqIndex;
  uint8_t crtcIndex;
  uint8_t gcIndex;
  uint8_t attrIndex;
  uint8_t attrDataState;  // 1: the next 0x3C0 write is data
  uint8_t pelMask;
  uint8_t dacState;     // 0x3C7: 3 in read mode
  uint8_t dacIndex;     // the classic DAC's one address register
  uint8_t dacPosition;  // components of the current triple already moved
  uint8_t dac[3 * 256];
  uint8_t latch[4];
  uint8_t plane[4][0x10000];
};

// A field of the state by its offset in Image (crtc[0x09] and the like too).
#define QEMU_FIELD(member) offsetof(::qemu::Image, member)

// What a session does between the two readings of the state: the driver's
// routine, with what it puts into the expected state; null or the failure.
using Action = const char* (*)(Image& expected);
const char* RoundTrip(Image&);    // the driver's save, every byte scribbled, the driver's restore
const char* Palette(Image&);      // VgaSetPaletteReg, 16 entries
const char* ColourTable(Image&);  // VgaSetColorLookup, 256 entries
const char* Font(Image&);         // VgaLoadAndSetFont, 9 x 16
const char* Cursor(Image&);       // VgaSetCursorPosition (79, 24), attributes (14, 20, hidden)
const char* Presence(Image&);     // VgaIsPresent

// One field of the state the action is expected to change.
struct Change {
  uint32_t at;  // offset in Image
  uint8_t value;
};

struct Session {
  const char* name;
  const Op* setup;
  Action action;
  bool memory;            // the four planes are read and compared too
  const Change* changes;  // ends with at == kNoChange
};
inline constexpr uint32_t kNoChange = 0xFFFFFFFF;

extern const Session kSessions[];  // ends with a null name

// Misc output 0x67 and planar access to 0xA0000 for 64 KB, write mode 0,
// every plane written with nothing but the CPU's byte going through.
extern const Op kPlanarAccess[];

// Which of QEMU's VGA models a deviation shows on.
enum Model : uint8_t { kStd = 1, kCirrus = 2, kBoth = 3 };

// Battery reads on which QEMU gives another value than the VGA
// documentation: the row (the start of its name, which only that row has),
// the reads' numbers in it (from 1), QEMU's value; why, in a comment.
struct Deviation {
  uint8_t models;
  const char* row;  // a prefix of the row's name
  uint8_t first, last;
  uint8_t qemu;
};

extern const Deviation kDeviations[];  // ends with a null row

}  // namespace qemu
