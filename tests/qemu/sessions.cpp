// The sessions run on QEMU: a distinctive adapter state made by a setup
// script, one action of the driver, and the fields the action may change.
// Every other field of the state must read back as it was.
#include "tests/qemu/kernel.h"

namespace qemu {

constexpr Op kPlanarAccess[] = {
    Out8(0x3C2, 0x67), Sr(0x04, 0x06), Sr(0x02, 0x0F), Gr(0x01, 0x00), Gr(0x03, 0x00),
    Gr(0x05, 0x00),    Gr(0x06, 0x05), Gr(0x08, 0xFF), End(),
};

namespace {

constexpr uint32_t A = 0xA0000;

// Every standard register as the 80 x 25 colour text mode has it; the
// attribute flip-flop left at the index, the palette shown.
// clang-format off
constexpr Op kTextMode[] = {
    Out8(0x3C2, 0x67), Out8(0x3DA, 0x00), Out8(0x3C6, 0xFF),
    Sr(0x00, 0x03), Sr(0x01, 0x00), Sr(0x02, 0x03), Sr(0x03, 0x00), Sr(0x04, 0x02),
    Cr(0x11, 0x0E),
    Cr(0x00, 0x5F), Cr(0x01, 0x4F), Cr(0x02, 0x50), Cr(0x03, 0x82), Cr(0x04, 0x55),
    Cr(0x05, 0x81), Cr(0x06, 0xBF), Cr(0x07, 0x1F), Cr(0x08, 0x00), Cr(0x09, 0x4F),
    Cr(0x0A, 0x0D), Cr(0x0B, 0x0E), Cr(0x0C, 0x00), Cr(0x0D, 0x00), Cr(0x0E, 0x00),
    Cr(0x0F, 0x00), Cr(0x10, 0x9C), Cr(0x11, 0x8E), Cr(0x12, 0x8F), Cr(0x13, 0x28),
    Cr(0x14, 0x1F), Cr(0x15, 0x96), Cr(0x16, 0xB9), Cr(0x17, 0xA3), Cr(0x18, 0xFF),
    Gr(0x00, 0x00), Gr(0x01, 0x00), Gr(0x02, 0x00), Gr(0x03, 0x00), Gr(0x04, 0x00),
    Gr(0x05, 0x10), Gr(0x06, 0x0E), Gr(0x07, 0x00), Gr(0x08, 0xFF),
    Load(0x3DA),
    Ar(0x00, 0x00), Ar(0x01, 0x01), Ar(0x02, 0x02), Ar(0x03, 0x03), Ar(0x04, 0x04),
    Ar(0x05, 0x05), Ar(0x06, 0x14), Ar(0x07, 0x07), Ar(0x08, 0x38), Ar(0x09, 0x39),
    Ar(0x0A, 0x3A), Ar(0x0B, 0x3B), Ar(0x0C, 0x3C), Ar(0x0D, 0x3D), Ar(0x0E, 0x3E),
    Ar(0x0F, 0x3F), Ar(0x10, 0x0C), Ar(0x11, 0x00), Ar(0x12, 0x0F), Ar(0x13, 0x08),
    Ar(0x14, 0x00), Ar(0x20, 0x00),
    End(),
};

// Patterned planes, latches loaded from them, the text mode's registers and
// a patterned colour table.
constexpr Op kPatternedText[] = {
    Call(kPlanarAccess), FillPlanes(0x5C), Latch(A + 0x1234), Call(kTextMode), FillDac(0x15),
    End(),
};

// The write path away from what the restore uses for the planes.
constexpr Op kColourText[] = {
    Call(kPatternedText),
    Gr(0x00, 0x0A), Gr(0x01, 0x05), Gr(0x02, 0x03), Gr(0x03, 0x0B), Gr(0x07, 0x0C), Gr(0x08, 0xC3),
    Out8(0x3C8, 0x41), Out8(0x3C9, 0x2B),                 // DAC: one component of 0x41 written
    Out8(0x3C4, 0x03), Out8(0x3CE, 0x07), Out8(0x3D4, 0x13),
    Load(0x3DA), Ar(0x31, 0x00),                          // attribute index 0x11, palette shown
    End(),
};

constexpr Op kMonoText[] = {
    Call(kPlanarAccess), FillPlanes(0xA3), Latch(A + 0x0777), Call(kTextMode), FillDac(0x2A),
    Gr(0x06, 0x0A),                                       // 0xB0000, 32 KB
    Out8(0x3C2, 0x2E),                                    // mono, clock 3 (bit 3 set)
    Out8(0x3BA, 0x03),                                    // feature control at the mono port
    Cr(0x0A, 0x0B, 0x3B4), Cr(0x0B, 0x0C, 0x3B4),
    Out8(0x3C8, 0xC0), Out8(0x3C9, 0x11), Out8(0x3C9, 0x22),  // DAC: two components written
    Out8(0x3C4, 0x01), Out8(0x3CE, 0x08), Out8(0x3B4, 0x0E),
    Load(0x3BA), Ar(0x34, 0x00),
    End(),
};

constexpr Op kAttributeDataState[] = {
    Call(kPatternedText),
    Out8(0x3C4, 0x04), Out8(0x3CE, 0x02), Out8(0x3D4, 0x0F),
    Load(0x3DA), Out8(0x3C0, 0x33),                       // index 0x13, the data write next
    End(),
};

// The read index one behind the write index, as the classic DAC's one
// address register shows a read in progress.
constexpr Op kDacReadMode[] = {
    Call(kPatternedText),
    Out8(0x3C8, 0x81), Out8(0x3C7, 0x80),
    Out8(0x3C4, 0x02), Out8(0x3CE, 0x03), Out8(0x3D4, 0x0B),
    Load(0x3DA), Ar(0x2E, 0x3E),
    End(),
};

// 320 x 200 in 256 colours, chain 4.
constexpr Op kChain4Graphics[] = {
    Call(kPlanarAccess), FillPlanes(0xE1), Latch(A + 0xFFFE), Call(kTextMode), FillDac(0x33),
    Out8(0x3C2, 0x63), Sr(0x01, 0x01), Sr(0x02, 0x0F), Sr(0x04, 0x0E),
    Cr(0x04, 0x54), Cr(0x05, 0x80), Cr(0x09, 0x41), Cr(0x0A, 0x00), Cr(0x0B, 0x00),
    Cr(0x11, 0x8E), Cr(0x14, 0x40), Cr(0x17, 0xA3),
    Gr(0x01, 0x0F), Gr(0x03, 0x10), Gr(0x05, 0x41), Gr(0x06, 0x05), Gr(0x07, 0x0F), Gr(0x08, 0x5A),
    Load(0x3DA), Ar(0x10, 0x41), Ar(0x12, 0x0F), Ar(0x20, 0x00),
    Out8(0x3C8, 0xFF), Out8(0x3C9, 0x01), Out8(0x3C9, 0x02),  // two components of entry 0xFF
    Out8(0x3C4, 0x00), Out8(0x3CE, 0x04), Out8(0x3D4, 0x18),
    End(),
};

// The services run in the text mode; the write path left non-default for
// the font.
constexpr Op kPaletteColour[] = {
    Call(kTextMode), FillDac(0x09), Load(0x3DA), Out8(0x3C0, 0x32), End(),
};
constexpr Op kPaletteMono[] = {
    Call(kTextMode), FillDac(0x09), Out8(0x3C2, 0x66), Load(0x3BA), Out8(0x3C0, 0x32), End(),
};
constexpr Op kColourTable[] = {
    Call(kTextMode), FillDac(0x11), Out8(0x3C7, 0x10), Load(0x3C9), End(),
};
constexpr Op kFontWritePath[] = {
    Call(kPlanarAccess), FillPlanes(0x71), Latch(A + 0x2000), Call(kTextMode), FillDac(0x0D),
    Gr(0x00, 0x0A), Gr(0x01, 0x0F), Gr(0x03, 0x18), Gr(0x08, 0x55), End(),
};
constexpr Op kCursor[] = {
    Call(kTextMode), FillDac(0x0D), Cr(0x0A, 0xC3), Cr(0x0B, 0xE4), Out8(0x3D4, 0x01), End(),
};
constexpr Op kPresence[] = {
    Call(kTextMode), FillDac(0x0D), Out8(0x3C4, 0x03), Out8(0x3CE, 0x07), Out8(0x3D4, 0x13),
    End(),
};

constexpr Change kNone[] = {{kNoChange, 0}};

// The palette goes back to the display through index 0x20, which leaves
// the flip-flop at the data; the registers come from the request.
constexpr Change kPaletteChanges[] = {
    {QEMU_FIELD(attrIndex), 0x20}, {QEMU_FIELD(attrDataState), 0x01}, {kNoChange, 0},
};

// 256 entries from 0: the DAC is in write mode at 0 again (the index wraps).
constexpr Change kColourTableChanges[] = {
    {QEMU_FIELD(dacState), 0x00}, {QEMU_FIELD(dacIndex), 0x00}, {QEMU_FIELD(dacPosition), 0x00},
    {kNoChange, 0},
};

// 9 x 16 in the 720 x 400 mode: 25 rows, CR09 0x0F (its bits 7-5 cleared),
// CR12 0x8F (the low byte of 399), a two-line cursor at lines 14-15; the
// sequencer and graphics controller as the colour text mode has them, the
// write path (GR01, GR03, GR08) included. GR00 is no business of the load.
constexpr Change kFontChanges[] = {
    {QEMU_FIELD(crtc[0x09]), 0x0F}, {QEMU_FIELD(crtc[0x12]), 0x8F}, {QEMU_FIELD(crtc[0x0B]), 0x0F},
    {QEMU_FIELD(crtc[0x0A]), 0x0E}, {QEMU_FIELD(crtcIndex), 0x0A}, {QEMU_FIELD(seq[0x00]), 0x03},
    {QEMU_FIELD(seq[0x02]), 0x03}, {QEMU_FIELD(seq[0x04]), 0x02}, {QEMU_FIELD(seqIndex), 0x00},
    {QEMU_FIELD(gc[0x01]), 0x00}, {QEMU_FIELD(gc[0x03]), 0x00}, {QEMU_FIELD(gc[0x04]), 0x00},
    {QEMU_FIELD(gc[0x05]), 0x10}, {QEMU_FIELD(gc[0x06]), 0x0E}, {QEMU_FIELD(gc[0x08]), 0xFF},
    {QEMU_FIELD(gcIndex), 0x06}, {kNoChange, 0},
};

// QEMU reads 0x3C0 as 0 while the flip-flop is at the data (a listed
// deviation), where a VGA reads the index. The save's probe then starts
// from index 0: its probe byte 0x10 lands in AR13 (which keeps 0x00 of it)
// and the flip-flop is recorded at the index, so the restore gives back
// index 0 at the index state. The round trip of the data state itself is
// checked on the model, which reads 0x3C0 as a VGA does.
constexpr Change kAttributeDataStateOnQemu[] = {
    {QEMU_FIELD(attr[0x13]), 0x00}, {QEMU_FIELD(attrIndex), 0x00},
    {QEMU_FIELD(attrDataState), 0x00}, {kNoChange, 0},
};

// Offset 24 * 80 + 79 = 0x07CF; start line 14 with CR0A bits 7-6 kept and
// bit 5 (cursor off) set; end line 20 clamped to 15 with CR0B bits 7-5 kept.
constexpr Change kCursorChanges[] = {
    {QEMU_FIELD(crtc[0x0E]), 0x07}, {QEMU_FIELD(crtc[0x0F]), 0xCF}, {QEMU_FIELD(crtc[0x0A]), 0xEE},
    {QEMU_FIELD(crtc[0x0B]), 0xEF}, {QEMU_FIELD(crtcIndex), 0x0B}, {kNoChange, 0},
};

}  // namespace

// One ctest test per session and model: tests/qemu/CMakeLists.txt takes the
// names from the first column.
constexpr Session kSessions[] = {
    // name                  setup                action               memory changes
    {"colour-text",          kColourText,         RoundTrip,   true,  kNone},
    {"mono-text",            kMonoText,           RoundTrip,   true,  kNone},
    {"attribute-data-state", kAttributeDataState, RoundTrip,   true,  kAttributeDataStateOnQemu},
    {"dac-read-mode",        kDacReadMode,        RoundTrip,   true,  kNone},
    {"chain4-graphics",      kChain4Graphics,     RoundTrip,   true,  kNone},
    {"palette",              kPaletteColour,      Palette,     false, kPaletteChanges},
    {"palette-mono",         kPaletteMono,        Palette,     false, kPaletteChanges},
    {"colour-table",         kColourTable,        ColourTable, false, kColourTableChanges},
    {"font-write-path",      kFontWritePath,      Font,        true,  kFontChanges},
    {"cursor",               kCursor,             Cursor,      false, kCursorChanges},
    {"presence",             kPresence,           Presence,    false, kNone},
    {nullptr,                nullptr,             nullptr,     false, kNone},
};
// clang-format on

}  // namespace qemu
