// The bare-metal kernel of the QEMU harness: plays the battery of VGA facts
// and runs every session, one verdict line per item ("battery: passed",
// "colour-text: SR02 expected 0x0f, got 0x03 ..."), then "finished".
//
// A session reads the whole standard VGA state straight from the hardware
// after its setup, plays the setup again (the reading is not gentle), lets
// the driver act, reads the state again and compares it with the first
// reading as the action should have changed it.
#include "detect/detect.h"
#include "miniport/device_extension.h"
#include "modes/modes.h"
#include "services/services.h"
#include "sim/baremetal/baremetal.h"
#include "tests/qemu/kernel.h"
#include "vdm/hardware_state.h"
#include "vdm/vdm.h"

using baremetal::Printf;

namespace qemu {
namespace {

constexpr uint32_t kWindow = 0xA0000;

// The kernel's own accesses (the script constructors have the short names).
namespace bm = baremetal;
using bm::Physical;

// Port and window accesses on the emulated PC; a plane fill in dwords,
// which the bus splits into bytes in address order, as it does the
// driver's memory moves.
struct KernelBus {
  uint8_t In8(uint16_t port) { return bm::In8(port); }
  void Out8(uint16_t port, uint8_t value) { bm::Out8(port, value); }
  void Out16(uint16_t port, uint16_t value) { bm::Out16(port, value); }
  uint8_t Read(uint32_t physical) { return *Physical(physical); }
  void Write(uint32_t physical, uint8_t value) { *Physical(physical) = value; }
  void FillPlane(uint8_t seed, unsigned plane) {
    auto* window = reinterpret_cast<volatile uint32_t*>(kWindow);
    for (uint32_t o = 0; o < 0x10000; o += 4) {
      window[o / 4] = PlaneByte(seed, plane, o) | PlaneByte(seed, plane, o + 1) << 8 |
                      PlaneByte(seed, plane, o + 2) << 16 |
                      static_cast<uint32_t>(PlaneByte(seed, plane, o + 3)) << 24;
    }
  }
};

// Whether `text` starts with `prefix` (is it, when `whole`).
bool Starts(const char* text, const char* prefix, bool whole = false) {
  while (*prefix != '\0' && *prefix == *text) {
    ++prefix;
    ++text;
  }
  return *prefix == '\0' && (!whole || *text == '\0');
}

// ------------------------------------------------------------------ battery

constexpr unsigned kMaxDeviations = 128;

// Checks every read against the VGA documentation, or, where QEMU is
// listed as deviating, against exactly QEMU's listed value.
struct BatteryCheck {
  uint8_t model;
  const char* row = nullptr;
  unsigned read = 0;
  unsigned rows = 0, reads = 0, failures = 0;
  uint8_t used[kMaxDeviations] = {};  // reads each deviation was met on

  void Row(const Op& op) {
    row = static_cast<const char*>(op.ref);
    read = 0;
    ++rows;
  }
  void Got(const Op& op, uint8_t expected, uint8_t got) {
    ++read;
    ++reads;
    for (unsigned i = 0; i < kMaxDeviations && kDeviations[i].row != nullptr; ++i) {
      const Deviation& d = kDeviations[i];
      if (!(d.models & model) || read < d.first || read > d.last || !Starts(row, d.row)) continue;
      ++used[i];
      if (Matches(op, expected, d.qemu)) {
        Fail(op, "a deviation, not the VGA's own", expected, d.qemu);
      } else if (!Matches(op, d.qemu, got)) {
        Fail(op, "QEMU's listed", d.qemu, got);
      }
      return;
    }
    if (!Matches(op, expected, got)) Fail(op, "the VGA's", expected, got);
  }
  void Fail(const Op& op, const char* whose, uint8_t expected, uint8_t got) {
    ++failures;
    Printf("battery: '%s' read %u (%s 0x%x): expected %s 0x%02x, got 0x%02x\n", row, read,
           op.kind == Kind::Read || op.kind == Kind::Planes ? "window" : "port", op.at, whose,
           expected, got);
  }
};

bool PlayBattery(uint8_t model) {
  KernelBus bus;
  BatteryCheck check{model};
  Play(bus, kBattery, check, kBaseline);
  for (unsigned i = 0; i < kMaxDeviations && kDeviations[i].row != nullptr; ++i) {
    const Deviation& d = kDeviations[i];
    if ((d.models & model) && check.used[i] != d.last - d.first + 1) {
      ++check.failures;
      Printf("battery: listed deviation '%s' reads %u-%u are in no row\n", d.row, d.first, d.last);
    }
  }
  if (check.failures == 0) {
    Printf("battery: passed (%u rows, %u reads)\n", check.rows, check.reads);
  }
  return check.failures == 0;
}

// ------------------------------------------------------------ the state

// Every part of the state: where it lies in an Image, how many bytes, its
// name, and for the indexed register files the index port (kCrtc: the
// CRTC's, 0x3B4 or 0x3D4 by misc output bit 0).
constexpr uint16_t kCrtc = 1;
struct Place {
  uint32_t offset, count;
  const char* name;
  uint16_t port;
};
constexpr Place kPlaces[] = {
    {QEMU_FIELD(seq), 5, "SR", 0x3C4},
    {QEMU_FIELD(crtc), 25, "CR", kCrtc},
    {QEMU_FIELD(gc), 9, "GR", 0x3CE},
    {QEMU_FIELD(attr), 21, "AR", 0x3C0},
    {QEMU_FIELD(misc), 1, "misc output", 0},
    {QEMU_FIELD(feature), 1, "feature control", 0},
    {QEMU_FIELD(seqIndex), 1, "sequencer index", 0},
    {QEMU_FIELD(crtcIndex), 1, "CRTC index", 0},
    {QEMU_FIELD(gcIndex), 1, "graphics index", 0},
    {QEMU_FIELD(attrIndex), 1, "attribute index", 0},
    {QEMU_FIELD(attrDataState), 1, "attribute flip-flop (1: data)", 0},
    {QEMU_FIELD(pelMask), 1, "DAC pixel mask", 0},
    {QEMU_FIELD(dacState), 1, "DAC state (3: read mode)", 0},
    {QEMU_FIELD(dacIndex), 1, "DAC index", 0},
    {QEMU_FIELD(dacPosition), 1, "DAC position in the triple", 0},
    {QEMU_FIELD(dac), 3 * 256, "DAC entry", 0},
    {QEMU_FIELD(latch), 4, "latch", 0},
    {QEMU_FIELD(plane), 4 * 0x10000, "plane", 0},
};

// Every register of the indexed files, read into or written from `s`, the
// CRTC at `crtc` (its status port 6 above), the attribute controller's
// flip-flop reset before each. Writes leave the flip-flop at the index.
void Registers(Image& s, bool write, uint16_t crtc) {
  auto* bytes = reinterpret_cast<uint8_t*>(&s);
  for (const Place& p : kPlaces) {
    if (p.port == 0) continue;
    const uint16_t port = p.port == kCrtc ? crtc : p.port;
    const auto data = static_cast<uint16_t>(port == 0x3C0 ? port : port + 1);
    for (uint8_t i = 0; i < p.count; ++i) {
      if (port == 0x3C0) bm::In8(static_cast<uint16_t>(crtc + 6));
      bm::Out8(port, i);
      if (write) {
        bm::Out8(data, bytes[p.offset + i]);
      } else {
        bytes[p.offset + i] = bm::In8(static_cast<uint16_t>(port + 1));
      }
    }
  }
}

struct NoChecks {
  void Row(const Op&) {}
  void Got(const Op&, uint8_t, uint8_t) {}
} none;

// Planar access to 0xA0000 for 64 KB in write mode `mode`, the CPU's byte
// going straight through to every plane.
void Planar(uint8_t misc, uint8_t mode) {
  KernelBus bus;
  Play(bus, kPlanarAccess, none);
  bm::Out8(0x3C2, misc);
  bm::Out16(0x3CE, static_cast<uint16_t>(mode << 8 | 0x05));
}

// The four planes as 16 K dwords each, read or written through the window.
void Planes(Image& s, bool write) {
  auto* window = reinterpret_cast<volatile uint32_t*>(kWindow);
  for (unsigned p = 0; p < 4; ++p) {
    auto* plane = reinterpret_cast<uint32_t*>(s.plane[p]);
    bm::Out16(0x3C4, static_cast<uint16_t>((1u << p) << 8 | 0x02));
    bm::Out16(0x3CE, static_cast<uint16_t>(p << 8 | 0x04));
    for (unsigned i = 0; i < 0x4000; ++i) {
      if (write) {
        window[i] = plane[i];
      } else {
        plane[i] = window[i];
      }
    }
  }
}

constexpr uint8_t kAttrProbe = 0x1F;  // an attribute index no session leaves
constexpr uint8_t kDacMarker = 0x2A;

// The flip-flop shows in where a write to 0x3C0 goes: an index lands in the
// address register, data in the selected register (which is put back).
void ReadAttributeState(Image& s, uint16_t status) {
  const uint8_t data = bm::In8(0x3C1);
  const uint8_t address = bm::In8(0x3C0);
  bm::Out8(0x3C0, kAttrProbe);
  bm::In8(status);
  const uint8_t after = bm::In8(0x3C0);
  s.attrDataState = after != kAttrProbe;
  s.attrIndex = s.attrDataState ? after : address;
  if (s.attrDataState) {
    bm::Out8(0x3C0, after);
    bm::Out8(0x3C0, data);
  }
}

// Write mode: components written until the index moves show how many the
// triple lacked. Read mode: three components read, found in the table later.
void ReadDacPosition(Image& s, uint8_t (&read)[3]) {
  s.dacState = bm::In8(0x3C7);
  s.dacIndex = bm::In8(0x3C8);
  s.dacPosition = 0;
  if (s.dacState == 3) {
    for (uint8_t& c : read)
      c = bm::In8(0x3C9);
    return;
  }
  for (uint8_t written = 1; written <= 3; ++written) {
    bm::Out8(0x3C9, kDacMarker);
    if (bm::In8(0x3C8) != s.dacIndex) {
      s.dacPosition = static_cast<uint8_t>(3 - written);
      return;
    }
  }
}

// In write mode the reading completes the triple the DAC points at with
// its marker: what the table held there is out of its sight.
void MarkUnreadable(Image& s) {
  if (s.dacState == 3) return;
  for (unsigned c = s.dacPosition; c < 3; ++c)
    s.dac[3 * s.dacIndex + c] = kDacMarker;
}

// The classic DAC's address register is one past the entry being read.
void FindReadPosition(Image& s, const uint8_t (&read)[3]) {
  for (unsigned at = 0; at < sizeof s.dac; ++at) {
    if (s.dac[at] == read[0] && s.dac[(at + 1) % sizeof s.dac] == read[1] &&
        s.dac[(at + 2) % sizeof s.dac] == read[2]) {
      s.dacIndex = static_cast<uint8_t>(at / 3 + 1);
      s.dacPosition = static_cast<uint8_t>(at % 3);
      return;
    }
  }
  s.dacIndex = s.dacPosition = 0xFF;
}

void ReadState(Image& s, bool planes) {
  s.misc = bm::In8(0x3CC);
  const uint16_t crtc = (s.misc & 0x01) ? 0x3D4 : 0x3B4;
  s.feature = bm::In8(0x3CA);
  s.seqIndex = bm::In8(0x3C4);
  s.gcIndex = bm::In8(0x3CE);
  s.crtcIndex = bm::In8(crtc);
  ReadAttributeState(s, static_cast<uint16_t>(crtc + 6));
  uint8_t dacRead[3];
  ReadDacPosition(s, dacRead);
  Registers(s, false, crtc);
  s.pelMask = bm::In8(0x3C6);
  for (unsigned e = 0; e < 256; ++e) {
    bm::Out8(0x3C7, static_cast<uint8_t>(e));
    for (unsigned c = 0; c < 3; ++c)
      s.dac[3 * e + c] = bm::In8(0x3C9);
  }
  if (s.dacState == 3) FindReadPosition(s, dacRead);
  // Write mode 1 stores the latches at 0xFFFF, as the driver's save does:
  // that byte of each plane is the one this reading cannot see.
  Planar(s.misc | 0x02, 1);
  *Physical(kWindow + 0xFFFF) = 0;
  bm::Out16(0x3CE, 0x0005);
  for (unsigned p = 0; p < 4; ++p) {
    bm::Out16(0x3CE, static_cast<uint16_t>(p << 8 | 0x04));
    s.latch[p] = *Physical(kWindow + 0xFFFF);
  }
  if (planes) Planes(s, false);
}

// ------------------------------------------------------------- comparison

void PrintPlace(uint32_t offset) {
  for (const Place& p : kPlaces) {
    if (offset < p.offset || offset >= p.offset + p.count) continue;
    const uint32_t i = offset - p.offset;
    if (p.count == 1) {
      Printf("%s", p.name);
    } else if (p.offset == QEMU_FIELD(dac)) {
      Printf("%s 0x%02x %s", p.name, i / 3, i % 3 == 0 ? "red" : i % 3 == 1 ? "green" : "blue");
    } else if (p.offset == QEMU_FIELD(plane)) {
      Printf("%s %u offset 0x%04x", p.name, i >> 16, i & 0xFFFF);
    } else if (p.offset == QEMU_FIELD(latch)) {
      Printf("%s %u", p.name, i);
    } else {
      Printf("%s%02x", p.name, i);
    }
    return;
  }
}

// The first difference, named, and how many there are.
bool Compare(const char* item, const Image& expected, const Image& got, bool planes) {
  const auto* e = reinterpret_cast<const uint8_t*>(&expected);
  const auto* g = reinterpret_cast<const uint8_t*>(&got);
  const uint32_t end = planes ? sizeof(Image) : QEMU_FIELD(plane);
  uint32_t first = end, count = 0;
  for (uint32_t i = 0; i < end; ++i) {
    if (e[i] == g[i]) continue;
    if (count++ == 0) first = i;
  }
  if (count == 0) return true;
  Printf("%s: ", item);
  PrintPlace(first);
  Printf(" expected 0x%02x, got 0x%02x", e[first], g[first]);
  if (count > 1) Printf(" (%u differences in all)", count);
  Printf("\n");
  return false;
}

VgaDeviceExtension extension;
VgaModeEntry textMode;
Image before, after, scribbled;
UCHAR stateBuffer[kVgaHardwareStateSize];

void ResetDriver() {
  extension = VgaDeviceExtension{};
  extension.IoBase = reinterpret_cast<PUCHAR>(VGA_IO_BASE_PORT);
  extension.A0000View = extension.FrameBufferView = reinterpret_cast<PUCHAR>(kWindow);
  extension.CursorEndLine = 31;  // the cursor as initialisation leaves it: lines 0-31, shown
  extension.CursorVisible = 1;
  textMode = VgaModeEntry{};
  textMode.ModeType = VIDEO_MODE_COLOR;
  textMode.NumPlanes = 4;
  textMode.BitsPerPlane = 1;
  textMode.TextColumns = 80;
  textMode.TextRows = 25;
  textMode.XResolution = 720;
  textMode.YResolution = 400;
  extension.CurrentMode = &textMode;
}

// Every byte of the state made different: each bit inverted, the DAC in
// the other mode at another entry, the flip-flop in the other state.
void Scribble(const Image& s) {
  auto* to = reinterpret_cast<uint8_t*>(&scribbled);
  const auto* from = reinterpret_cast<const uint8_t*>(&s);
  for (uint32_t i = 0; i < sizeof(Image); ++i)
    to[i] = static_cast<uint8_t>(~from[i]);
  const Image& n = scribbled;
  Planar(0x67, 0);
  for (unsigned p = 0; p < 4; ++p) {
    bm::Out16(0x3C4, static_cast<uint16_t>((1u << p) << 8 | 0x02));
    *Physical(kWindow) = n.latch[p];
  }
  (void)*Physical(kWindow);
  Planes(scribbled, true);
  bm::Out8(0x3C2, n.misc);
  const uint16_t crtc = (n.misc & 0x01) ? 0x3D4 : 0x3B4;
  const auto status = static_cast<uint16_t>(crtc + 6);
  bm::Out16(crtc, 0x0011);  // CR00-CR07 writable
  Registers(scribbled, true, crtc);
  bm::Out8(status, n.feature);
  bm::Out8(0x3C8, 0x00);
  for (uint8_t c : n.dac)
    bm::Out8(0x3C9, c);
  bm::Out8(0x3C6, n.pelMask);
  if (s.dacState == 3) {
    bm::Out8(0x3C8, n.dacIndex);
    bm::Out8(0x3C9, 0x15);
  } else {
    bm::Out8(0x3C7, n.dacIndex);
  }
  bm::Out8(0x3C4, n.seqIndex);
  bm::Out8(0x3CE, n.gcIndex);
  bm::Out8(crtc, n.crtcIndex);
  bm::In8(status);
  bm::Out8(0x3C0, n.attrIndex & 0x3F);
  if (s.attrDataState) bm::In8(status);
}

}  // namespace

// ------------------------------------------------------------------ actions

const char* RoundTrip(Image& expected) {
  VIDEO_HARDWARE_STATE request{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(stateBuffer), 0};
  ULONG information = 0;
  if (VgaSaveHardwareState(&extension, &request, sizeof request, &information) != NO_ERROR) {
    return "VgaSaveHardwareState failed";
  }
  Scribble(before);
  if (VgaRestoreHardwareState(&extension, &request, sizeof request) != NO_ERROR) {
    return "VgaRestoreHardwareState failed";
  }
  // The restore never selects the external clock.
  expected.misc &= static_cast<uint8_t>(~0x08);
  return nullptr;
}

// Null when the request was served, else what refused it.
const char* Refused(VP_STATUS status, const char* what) {
  return status == NO_ERROR ? nullptr : what;
}

// The requests' data, and what each puts where.
constexpr USHORT kPaletteColours[16] = {0x3F, 0x2A, 0x15, 0x00, 0x0115, 0x31, 0x0E, 0x23,
                                        0x38, 0x07, 0x1C, 0x2B, 0x34,   0x19, 0x26, 0x0B};

uint8_t ClutComponent(unsigned entry, unsigned c) {
  return static_cast<uint8_t>((entry * (c + 3) + 0x11 * c) & 0x3F);
}
uint8_t Glyph(unsigned character, unsigned line) {
  return static_cast<uint8_t>(character * 7 + line * 0x31 + (character >> 3));
}

const char* Palette(Image& expected) {
  USHORT request[2 + 16] = {16, 0};
  for (unsigned i = 0; i < 16; ++i) {
    request[2 + i] = kPaletteColours[i];
    expected.attr[i] = static_cast<uint8_t>(kPaletteColours[i]);
  }
  return Refused(VgaSetPaletteReg(&extension, request, sizeof request), "VgaSetPaletteReg refused");
}

const char* ColourTable(Image& expected) {
  static ULONG request[1 + 256];
  auto* clut = reinterpret_cast<VIDEO_CLUT*>(request);
  clut->NumEntries = 256;
  clut->FirstEntry = 0;
  for (unsigned e = 0; e < 256; ++e) {
    UCHAR* rgb = &clut->LookupTable[e].RgbArray.Red;
    for (unsigned c = 0; c < 3; ++c)
      rgb[c] = expected.dac[3 * e + c] = ClutComponent(e, c);
  }
  return Refused(VgaSetColorLookup(&extension, request, sizeof request),
                 "VgaSetColorLookup refused");
}

const char* Font(Image& expected) {
  static ULONG request[(8 + 256 * 16 + 3) / 4 + 1];
  auto* font = reinterpret_cast<VIDEO_LOAD_FONT_INFORMATION*>(request);
  font->WidthInPixels = 9;
  font->HeightInPixels = 16;
  font->FontSize = 256 * 16;
  for (unsigned c = 0; c < 256; ++c) {
    for (unsigned l = 0; l < 16; ++l)
      font->Font[c * 16 + l] = expected.plane[2][32 * c + l] = Glyph(c, l);
  }
  return Refused(VgaLoadAndSetFont(&extension, request, sizeof request),
                 "VgaLoadAndSetFont refused");
}

const char* Cursor(Image&) {
  extension.FontHeight = 16;
  VIDEO_CURSOR_POSITION position{79, 24};
  if (VgaSetCursorPosition(&extension, &position, sizeof position) != NO_ERROR) {
    return "VgaSetCursorPosition refused";
  }
  VIDEO_CURSOR_ATTRIBUTES attributes{};
  attributes.Height = 14;  // the first line
  attributes.Width = 20;   // the last line, beyond the cell
  attributes.Enable = 0;
  return Refused(VgaSetCursorAttributes(&extension, &attributes, sizeof attributes),
                 "VgaSetCursorAttributes refused");
}

const char* Presence(Image&) {
  return VgaIsPresent(&extension) ? nullptr : "VgaIsPresent said no VGA is there";
}

namespace {

bool RunSession(const Session& session) {
  KernelBus bus;
  ResetDriver();
  Play(bus, session.setup, none);
  ReadState(before, session.memory);
  Play(bus, session.setup, none);

  static Image expected;
  expected = before;
  const char* failure = session.action(expected);
  if (failure != nullptr) {
    Printf("%s: %s\n", session.name, failure);
    return false;
  }
  ReadState(after, session.memory);
  auto* e = reinterpret_cast<uint8_t*>(&expected);
  for (const Change* c = session.changes; c->at != kNoChange; ++c)
    e[c->at] = c->value;
  MarkUnreadable(expected);
  if (!Compare(session.name, expected, after, session.memory)) return false;
  Printf("%s: passed\n", session.name);
  return true;
}

// The words of the command line after the kernel's own path.
const char* Argument(const char* line) {
  while (*line != '\0' && *line != ' ')
    ++line;
  while (*line == ' ')
    ++line;
  return line;
}

}  // namespace
}  // namespace qemu

bool HarnessMain(const char* commandLine) {
  using namespace qemu;
  const char* model = Argument(commandLine);
  uint8_t which = 0;
  if (Starts(model, "std", true)) which = kStd;
  if (Starts(model, "cirrus", true)) which = kCirrus;
  if (which == 0) baremetal::Stop("the command line names no VGA model (std or cirrus)");

  unsigned passed = 0, items = 1;
  passed += PlayBattery(which);
  for (const Session* s = kSessions; s->name != nullptr; ++s, ++items)
    passed += RunSession(*s);
  Printf("zel-qemu on %s: finished, %u of %u passed\n", model, passed, items);
  return passed == items;
}
