// Every accepted request at the edges of its buffer lengths, before any mode
// set, in the 80 x 25 text mode and in a graphics mode: the status and the
// Information each case gets, and for every refusal that nothing changed
// beyond what a refusal may write (device extension, registers, video
// memory, trap set, the caller's buffers) and that no port or memory was
// touched at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "miniport/miniport.h"
#include "tests/support/address_space.h"
#include "tests/support/bus.h"
#include "tests/support/driver_session.h"
#include "tests/support/side_effects.h"

namespace {

using test::Bytes;
using test::Position;

// The state a case starts in: before any mode set, text, graphics.
enum Start { kNo, kText, kGfx };

constexpr ULONG kTextMode = 0;      // 80 x 25 text at 720 x 400
constexpr ULONG kGraphicsMode = 2;  // 640 x 480, 8 bits, 60 Hz, linear
constexpr ULONG kStateSize = 264359;
constexpr ULONG kLarge = 65536;
constexpr ULONG kModeList = 62 * 80;  // the default adapter (4 MB, 64-bit, type 2) offers 62
constexpr uint8_t kFill = 0xCC;

// Records that only exist once the case's machine runs: a
// VIDEO_HARDWARE_STATE at a genuine save of exactly its size, or with
// StateLength one byte short; a VIDEO_HARDWARE_STATE at an empty buffer of
// the save's size; VIDEO_MEMORY naming one or two mappings made just before;
// VIDEO_SHARE_MEMORY naming a shared view made just before.
enum class Dynamic { None, State, StateShort, SaveRecord, Mapped, Mapped2, Shared };

std::vector<uint8_t> Mode(ULONG mode) {
  return Bytes(VIDEO_MODE{mode});
}
std::vector<uint8_t> Font(USHORT width, USHORT height, ULONG size) {
  return Bytes(VIDEO_LOAD_FONT_INFORMATION{width, height, size, {}}, 8);
}
// The head of VIDEO_PALETTE_DATA and of VIDEO_CLUT.
std::vector<uint8_t> Entries(USHORT count, USHORT first) {
  return Bytes(VIDEO_PALETTE_DATA{count, first, {}}, 4);
}
std::vector<uint8_t> Pointer(ULONG flags, ULONG width, ULONG height = 32) {
  return Bytes(VIDEO_POINTER_ATTRIBUTES{flags, width, height, 8, 1, 10, 10, {}}, 24);
}
std::vector<uint8_t> Memory(ULONG first, ULONG second = 0) {
  const std::array<VIDEO_MEMORY, 2> records = {
      {{reinterpret_cast<PVOID>(first)}, {reinterpret_cast<PVOID>(second)}}};
  return Bytes(records, second ? 8 : 4);
}
std::vector<uint8_t> Share(ULONG size) {
  return Bytes(VIDEO_SHARE_MEMORY{nullptr, 0, size, nullptr});
}
const std::vector<uint8_t> kCursorShape = Bytes(VIDEO_CURSOR_ATTRIBUTES{15, 14, 1, 0, 0, 0});

struct Case {
  const char* name;
  ULONG code;
  Start start;
  ULONG inLength;
  ULONG outLength;
  std::vector<uint8_t> record;  // in front of the input (or the one buffer)
  VP_STATUS status;
  ULONG information;
  bool oneBuffer = false;
  Dynamic dynamic = Dynamic::None;  // a record made on the case's machine instead
};

constexpr VP_STATUS kOk = NO_ERROR;
constexpr VP_STATUS kInvalid = ERROR_INVALID_PARAMETER;
constexpr VP_STATUS kShort = ERROR_INSUFFICIENT_BUFFER;
constexpr VP_STATUS kMore = ERROR_MORE_DATA;
constexpr VP_STATUS kNoFunction = ERROR_INVALID_FUNCTION;

// clang-format off
const Case kCases[] = {
    // VDM enable carries no buffers: any lengths, any state.
    {"VdmNoBuffers", IOCTL_VIDEO_ENABLE_VDM, kNo, 0, 0, {}, kOk, 0},

    // Save: the VIDEO_HARDWARE_STATE record is 8 bytes.
    {"SaveOut7", IOCTL_VIDEO_SAVE_HARDWARE_STATE, kText, 0, 7, {}, kShort, 0},
    {"SaveOut8", IOCTL_VIDEO_SAVE_HARDWARE_STATE, kText, 0, 8, {}, kOk, 8, false, Dynamic::SaveRecord},

    // Restore: 8 bytes of record, then a StateLength of at least 264359.
    {"RestoreIn7", IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 7, 0, {}, kShort, 0},
    {"RestoreStateShort", IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 8, 0, {}, kShort, 0, false, Dynamic::StateShort},
    {"RestoreIn8", IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 8, 0, {}, kOk, 0, false, Dynamic::State},

    // Mode list: 80 bytes per offered mode, Information set before the test.
    {"ModesOutOneShort", IOCTL_VIDEO_QUERY_AVAIL_MODES, kText, 0, kModeList - 1, {}, kShort, kModeList},
    {"ModesOutExact", IOCTL_VIDEO_QUERY_AVAIL_MODES, kNo, 0, kModeList, {}, kOk, kModeList},
    {"ModesOneBuffer", IOCTL_VIDEO_QUERY_AVAIL_MODES, kText, 8, kModeList - 1, {}, kShort, kModeList, true},

    // Mode count: VIDEO_NUM_MODES is 8 bytes.
    {"CountOut7", IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kText, 0, 7, {}, kShort, 8},
    {"CountOut8", IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kText, 0, 8, {}, kOk, 8},

    // Current mode: 80 bytes; before any mode set there is nothing to describe.
    {"CurrentNoMode", IOCTL_VIDEO_QUERY_CURRENT_MODE, kNo, 0, 80, {}, kInvalid, 0},
    {"CurrentOut79", IOCTL_VIDEO_QUERY_CURRENT_MODE, kGfx, 0, 79, {}, kShort, 80},
    {"CurrentOut80", IOCTL_VIDEO_QUERY_CURRENT_MODE, kText, 0, 80, {}, kOk, 80},
    {"CurrentOneBuffer79", IOCTL_VIDEO_QUERY_CURRENT_MODE, kText, 79, 79, {}, kShort, 80, true},

    // Mode set: VIDEO_MODE is 4 bytes; a refused number still loses bit 31.
    {"SetIn3", IOCTL_VIDEO_SET_CURRENT_MODE, kText, 3, 0, {}, kShort, 0},
    {"SetMode96", IOCTL_VIDEO_SET_CURRENT_MODE, kNo, 4, 0, Mode(0x80000060), kInvalid, 0},
    {"SetMode96OneBuffer", IOCTL_VIDEO_SET_CURRENT_MODE, kText, 4, 4, Mode(0x80000060), kInvalid, 0, true},
    {"SetIn4", IOCTL_VIDEO_SET_CURRENT_MODE, kText, 4, 0, Mode(kTextMode), kOk, 0},

    // Reset: a VIDEO_MODE of its own, so the caller's lengths do not matter.
    {"ResetLargeBuffers", IOCTL_VIDEO_RESET_DEVICE, kText, kLarge, kLarge, {}, kOk, 0},

    // Font: text modes only; 12 bytes of fixed part, then FontSize + 11.
    {"FontNoMode", IOCTL_VIDEO_LOAD_AND_SET_FONT, kNo, 4107, 0, Font(8, 16, 4096), kInvalid, 0},
    {"FontGraphics", IOCTL_VIDEO_LOAD_AND_SET_FONT, kGfx, 4107, 0, Font(8, 16, 4096), kInvalid, 0},
    {"FontIn11", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 11, 0, Font(8, 16, 4096), kShort, 0},
    {"FontOneShort", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4106, 0, Font(8, 16, 4096), kShort, 0},
    {"FontExact", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Font(8, 16, 4096), kOk, 0},
    {"FontHeight33", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 8459, 0, Font(8, 33, 8448), kInvalid, 0},
    {"FontWidth7", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Font(7, 16, 4096), kInvalid, 0},
    {"FontHeight0", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Font(8, 0, 4096), kInvalid, 0},
    {"FontSizeWraps", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Font(8, 16, 0xFFFFFFFF), kShort, 0},
    {"FontSizeShort", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4106, 0, Font(8, 16, 4095), kShort, 0},

    // Palette registers: 6 bytes at least, then NumEntries * 2 + 4; any state.
    {"PaletteIn5", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 5, 0, Entries(0, 0), kShort, 0},
    {"PaletteNone", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 6, 0, Entries(0, 0), kInvalid, 0},
    {"PaletteIn6", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 6, 0, Entries(1, 0), kOk, 0},
    {"PaletteFirstAbove255", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 6, 0, Entries(1, 256), kInvalid, 0},
    {"PaletteSizeBeforeRange", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kGfx, 8, 0, Entries(3, 300), kShort, 0},
    {"Palette16From1", IOCTL_VIDEO_SET_PALETTE_REGISTERS, kNo, 36, 0, Entries(16, 1), kInvalid, 0},

    // Colour table: 4 bytes at least, then NumEntries * 4 + 4; any state.
    {"ClutIn3", IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, 3, 0, Entries(1, 0), kShort, 0},
    {"ClutNone", IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx, 4, 0, Entries(0, 0), kInvalid, 0},
    {"ClutOneEntryIn7", IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx, 7, 0, Entries(1, 0), kShort, 0},
    {"ClutTwoEntriesIn8", IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, 8, 0, Entries(2, 0), kShort, 0},
    {"ClutIn8", IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx, 8, 0, Entries(1, 0), kOk, 0},
    {"ClutFirstAbove255", IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, 8, 0, Entries(1, 256), kInvalid, 0},
    {"ClutSizeBeforeRange", IOCTL_VIDEO_SET_COLOR_REGISTERS, kNo, 12, 0, Entries(4, 300), kShort, 0},
    {"ClutPast255", IOCTL_VIDEO_SET_COLOR_REGISTERS, kNo, 12, 0, Entries(2, 255), kInvalid, 0},

    // Cursor attributes: text modes only, 10 bytes; no font loaded yet, so
    // every height is refused.
    {"CursorAttrNoMode", IOCTL_VIDEO_SET_CURSOR_ATTR, kNo, 10, 0, kCursorShape, kInvalid, 0},
    {"CursorAttrGraphics", IOCTL_VIDEO_SET_CURSOR_ATTR, kGfx, 0, 0, {}, kInvalid, 0},
    {"CursorAttrIn9", IOCTL_VIDEO_SET_CURSOR_ATTR, kText, 9, 0, kCursorShape, kShort, 0},
    {"CursorAttrNoFont", IOCTL_VIDEO_SET_CURSOR_ATTR, kText, 10, 0, kCursorShape, kInvalid, 0},

    {"QueryAttrNoMode", IOCTL_VIDEO_QUERY_CURSOR_ATTR, kNo, 0, 10, {}, kInvalid, 0},
    {"QueryAttrGraphics", IOCTL_VIDEO_QUERY_CURSOR_ATTR, kGfx, 0, 10, {}, kInvalid, 0},
    {"QueryAttrOut9", IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, 9, {}, kShort, 0},
    {"QueryAttrOut10", IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, 10, {}, kOk, 10},

    // Cursor position: text modes only, 4 bytes.
    {"CursorPosNoMode", IOCTL_VIDEO_SET_CURSOR_POSITION, kNo, 4, 0, Position(0, 0), kInvalid, 0},
    {"CursorPosGraphics", IOCTL_VIDEO_SET_CURSOR_POSITION, kGfx, 4, 0, Position(0, 0), kInvalid, 0},
    {"CursorPosIn3", IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 3, 0, Position(0, 0), kShort, 0},
    {"CursorPosIn4", IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 4, 0, Position(0, 0), kOk, 0},
    {"CursorPosColumn80", IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 4, 0, Position(80, 0), kInvalid, 0},

    {"QueryPosNoMode", IOCTL_VIDEO_QUERY_CURSOR_POSITION, kNo, 0, 4, {}, kInvalid, 0},
    {"QueryPosGraphics", IOCTL_VIDEO_QUERY_CURSOR_POSITION, kGfx, 0, 4, {}, kInvalid, 0},
    {"QueryPosOut3", IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 0, 3, {}, kShort, 0},
    {"QueryPosOut4", IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 0, 4, {}, kOk, 4},

    // Pointer enable and disable: a graphics mode's hardware pointer only.
    {"PointerOnNoMode", IOCTL_VIDEO_ENABLE_POINTER, kNo, 0, 0, {}, kInvalid, 0},
    {"PointerOnText", IOCTL_VIDEO_ENABLE_POINTER, kText, kLarge, kLarge, {}, kInvalid, 0},
    {"PointerOn", IOCTL_VIDEO_ENABLE_POINTER, kGfx, 0, 0, {}, kOk, 0},
    {"PointerOffText", IOCTL_VIDEO_DISABLE_POINTER, kText, 0, 0, {}, kInvalid, 0},
    {"PointerOff", IOCTL_VIDEO_DISABLE_POINTER, kGfx, kLarge, kLarge, {}, kOk, 0},

    // Pointer shape: 1052 bytes (28 of record, 1024 of masks).
    {"ShapeNoMode", IOCTL_VIDEO_SET_POINTER_ATTR, kNo, 1052, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32), kInvalid, 0},
    {"ShapeText", IOCTL_VIDEO_SET_POINTER_ATTR, kText, 1052, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32), kInvalid, 0},
    {"ShapeIn1051", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1051, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32), kShort, 0},
    {"ShapeIn1052", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1052, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32), kOk, 0},
    {"ShapeWidth65", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1052, 0, Pointer(VIDEO_MODE_MONO_POINTER, 65), kInvalid, 0},
    {"ShapeHeight65", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1052, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32, 65), kInvalid, 0},
    {"ShapeColour", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1052, 0, Pointer(VIDEO_MODE_COLOR_POINTER, 32), kInvalid, 0},
    {"ShapeColourAnimated", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, 1052, 0, Pointer(VIDEO_MODE_COLOR_POINTER | VIDEO_MODE_ANIMATE_UPDATE, 32), kInvalid, 0},

    {"PointerPosNoMode", IOCTL_VIDEO_SET_POINTER_POSITION, kNo, 4, 0, Position(100, 50), kInvalid, 0},
    {"PointerPosIn3", IOCTL_VIDEO_SET_POINTER_POSITION, kGfx, 3, 0, Position(100, 50), kShort, 0},
    {"PointerPosIn4", IOCTL_VIDEO_SET_POINTER_POSITION, kGfx, 4, 0, Position(100, 50), kOk, 0},

    {"QueryPointerNoMode", IOCTL_VIDEO_QUERY_POINTER_POSITION, kNo, 0, 4, {}, kInvalid, 0},
    {"QueryPointerOut3", IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx, 0, 3, {}, kShort, 0},
    {"QueryPointerOut4", IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx, 0, 4, {}, kOk, 4},

    // Pointer capabilities: 20 bytes, whatever the mode.
    {"CapsOut19", IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kText, 0, 19, {}, kShort, 0},
    {"CapsOut20NoMode", IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kNo, 0, 20, {}, kOk, 20},

    // Bank select: 52 bytes of record, 102 with the code block.
    {"BankNoMode", IOCTL_VIDEO_GET_BANK_SELECT_CODE, kNo, 0, 102, {}, kInvalid, 0},
    {"BankOut51", IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx, 0, 51, {}, kShort, 0},
    {"BankOut52", IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx, 0, 52, {}, kMore, 52},
    {"BankOut101OneBuffer", IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx, 101, 101, {}, kMore, 52, true},

    // Map: an input VIDEO_MEMORY (4) and an output VIDEO_MEMORY_INFORMATION
    // (16); shorter buffers are refused like the share service's. Before the
    // first mode set there is no window to map, whatever the buffers.
    {"MapNoMode", IOCTL_VIDEO_MAP_VIDEO_MEMORY, kNo, 4, 16, {}, kInvalid, 0},
    {"MapIn3", IOCTL_VIDEO_MAP_VIDEO_MEMORY, kText, 3, 16, {}, kShort, 0},
    {"MapOut15", IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx, 4, 15, {}, kShort, 0},
    {"MapExactOneBuffer", IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx, 4, 16, {}, kOk, 16, true},

    // Unmap: 4 bytes; an address the platform never mapped is its refusal.
    {"UnmapIn3", IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kGfx, 3, 0, {}, kShort, 0, false, Dynamic::Mapped},
    {"UnmapUnknown", IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kText, 4, 0, Memory(0x12345000), kInvalid, 0},

    // Public ranges: two VIDEO_PUBLIC_ACCESS_RANGES, 24 bytes, Information 24 first.
    {"PublicOut23", IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kText, 0, 23, {}, kShort, 24},

    // Free public ranges: two VIDEO_MEMORY records, 8 bytes.
    {"FreeIn7", IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kText, 7, 0, {}, kShort, 0, false, Dynamic::Mapped2},
    {"FreeUnknown", IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kGfx, 8, 0, Memory(0x12345000, 0x12346000), kInvalid, 0},

    // Share: VIDEO_SHARE_MEMORY in (16), VIDEO_SHARE_MEMORY_INFORMATION out (12).
    {"ShareOut11", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx, 16, 11, Share(0x1000), kShort, 0},
    {"ShareIn15", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kText, 15, 12, Share(0x1000), kShort, 0},
    {"ShareExactOneBuffer", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx, 16, 16, Share(0x1000), kOk, 12, true},

    // Unshare: VIDEO_SHARE_MEMORY, 16 bytes.
    {"UnshareIn15", IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kGfx, 15, 0, {}, kShort, 0, false, Dynamic::Shared},
    {"UnshareUnknown", IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kText, 16, 0, {}, kInvalid, 0},

    // Codes beside the accepted ones, the four the driver does not serve among them.
    {"EnableCursor", 0x230420, kText, 16, 16, {}, kNoFunction, 0},
    {"QueryPointerAttr", 0x230444, kGfx, 0, 1052, {}, kNoFunction, 0},
    {"ColorCapabilities", 0x230468, kGfx, 0, 64, {}, kNoFunction, 0},
    {"DisableVdm", 0x230004, kNo, 0, 0, {}, kNoFunction, 0},
    {"OffByOne", 0x230401, kText, 0, 8192, {}, kNoFunction, 0},
    {"AllOnes", 0xFFFFFFFF, kGfx, 64, 64, {}, kNoFunction, 0},
    // Buffers larger than the records: accepted, and Information counts the
    // record, never the buffer.
    {"VdmLargeBuffers", IOCTL_VIDEO_ENABLE_VDM, kText, kLarge, kLarge, {}, kOk, 0},
    {"SaveOutLarge", IOCTL_VIDEO_SAVE_HARDWARE_STATE, kGfx, 0, kLarge, {}, kOk, 8, false, Dynamic::SaveRecord},
    {"RestoreInLarge", IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kGfx, kLarge, 0, {}, kOk, 0, false, Dynamic::State},
    {"ModesOutLarge", IOCTL_VIDEO_QUERY_AVAIL_MODES, kGfx, 0, kLarge, {}, kOk, kModeList},
    {"CountOutLarge", IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kGfx, 0, kLarge, {}, kOk, 8},
    {"SetInLarge", IOCTL_VIDEO_SET_CURRENT_MODE, kGfx, kLarge, 0, Mode(kGraphicsMode), kOk, 0},
    {"FontLarge", IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, kLarge, 0, Font(8, 16, 4096), kOk, 0},
    {"ShapeLarge", IOCTL_VIDEO_SET_POINTER_ATTR, kGfx, kLarge, 0, Pointer(VIDEO_MODE_MONO_POINTER, 32), kOk, 0},
    {"CapsOutLarge", IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kText, 0, kLarge, {}, kOk, 20},
    {"BankOutLarge", IOCTL_VIDEO_GET_BANK_SELECT_CODE, kText, 0, kLarge, {}, kOk, 102},
    {"MapLarge", IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx, kLarge, kLarge, {}, kOk, 16},
    {"PublicOutLarge", IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kNo, 0, kLarge, {}, kOk, 24},
    {"ShareLarge", IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx, kLarge, kLarge, Share(0x1000), kOk, 12},
};
// clang-format on

// The adapter straight after its POST, shared by every case: each case
// builds its own machine from a copy.
const sim::Adapter& Booted() {
  static const std::unique_ptr<sim::Adapter> adapter = [] {
    test::ReserveTopOfAddressSpace();
    sim::Machine first;
    return std::make_unique<sim::Adapter>(first.adapter());
  }();
  return *adapter;
}

// One case on a machine of its own, started in the case's state.
void RunCase(const Case& c) {
  sim::Machine m(sim::Profile::Default(), Booted());
  ASSERT_EQ(m.Load(), 0u);
  if (c.start != kNo) {
    ULONG mode = c.start == kText ? kTextMode : kGraphicsMode;
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status, NO_ERROR);
  }
  auto map = [&m] {
    ULONG in = 0;
    VIDEO_MEMORY_INFORMATION out{};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &in, 4, &out, 16).status, NO_ERROR);
    return static_cast<ULONG>(reinterpret_cast<uintptr_t>(out.VideoRamBase));
  };
  std::vector<uint8_t> state;  // the hardware state buffer a case points at
  auto save = [&m, &state](ULONG length) {
    state.assign(kStateSize, 0);
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()), 0};
    EXPECT_EQ(m.Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 8).status, NO_ERROR);
    state.resize(length);
    return Bytes(VIDEO_HARDWARE_STATE{record.StateHeader, length});
  };
  std::vector<uint8_t> record = c.record;
  const Dynamic d = c.dynamic;
  if (d == Dynamic::State) record = save(kStateSize);
  if (d == Dynamic::StateShort) record = save(kStateSize - 1);
  if (d == Dynamic::SaveRecord) {
    state.assign(kStateSize, 0);
    record = Bytes(reinterpret_cast<PVOID>(state.data()));
  }
  if (d == Dynamic::Mapped) record = Memory(map());
  if (d == Dynamic::Mapped2) record = Memory(map(), map());
  if (d == Dynamic::Shared) {
    VIDEO_SHARE_MEMORY in{nullptr, 0, 0x1000, nullptr};
    VIDEO_SHARE_MEMORY_INFORMATION out{};
    ASSERT_EQ(m.Ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &in, 16, &out, 12).status, NO_ERROR);
    record = Bytes(VIDEO_SHARE_MEMORY{nullptr, 0, 0x1000, out.VirtualAddress});
  }

  // Buffers of exactly the stated lengths: one of the larger length when
  // input and output are one buffer. A save's record sits in the output
  // buffer, everything else's in the input.
  std::vector<uint8_t> in(c.oneBuffer ? std::max(c.inLength, c.outLength) : c.inLength, kFill);
  std::vector<uint8_t> out(c.oneBuffer ? 0 : c.outLength, kFill);
  std::vector<uint8_t>& front = c.oneBuffer || c.code != IOCTL_VIDEO_SAVE_HARDWARE_STATE ? in : out;
  std::copy_n(record.begin(), std::min(record.size(), front.size()), front.begin());

  const std::vector<uint8_t> inBefore = in, outBefore = out, stateBefore = state;
  test::MachineState before;
  test::Capture(m, before);
  const size_t mark = m.trace().Start();
  void* inPointer = in.empty() ? nullptr : in.data();
  void* outPointer =
      c.oneBuffer ? (c.outLength ? in.data() : nullptr) : (out.empty() ? nullptr : out.data());
  const sim::Machine::Result result =
      m.Ioctl(c.code, inPointer, c.inLength, outPointer, c.outLength);

  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.information, c.information);
  if (!test::Refused(result.status) && result.status != ERROR_MORE_DATA) return;

  // The one refusal that touches the adapter hides the pointer first: SR06
  // bit 6 cleared by read-modify-write, the sequencer index left at 0x06.
  test::MachineState expected = before;
  std::vector<sim::TraceEntry> accesses;
  if (test::RefusalHidesPointer(c.code, result.status,
                                std::span<const uint8_t>(inBefore).first(c.inLength),
                                c.start == kGfx)) {
    test::HidePointer(expected);
    accesses = test::SeqModify(0x06, before.seq[0x06], before.seq[0x06] & 0xBF);
  }
  EXPECT_TRACE(m.trace().Since(mark), accesses);
  for (const std::string& line : test::ChangesSince(expected, m))
    ADD_FAILURE() << "changed by the refusal: " << line;
  const test::CallerBuffers buffers{inBefore, in, outBefore, out, c.oneBuffer};
  for (const std::string& line : test::UnallowedBufferWrites(c.code, result.status, buffers))
    ADD_FAILURE() << "caller's " << line;
  EXPECT_TRUE(state == stateBefore) << "the hardware state buffer changed";
}

// The map service answers no bytes by itself, whatever the status block
// held before.
TEST(Refusals, MapBeforeAnyModeSetSetsInformationItself) {
  test::DriverSession s;
  VIDEO_MEMORY request{nullptr};
  VIDEO_MEMORY_INFORMATION answer;
  ULONG information = 0xFFFFFFFF;
  EXPECT_EQ(VgaMapVideoMemory(&s.ext(), &request, 4, &answer, 16, &information),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(information, 0u);
}

// Every case names itself in any failure.
TEST(Refusals, EveryCodeBeforeAnyModeSetInTextAndInGraphics) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RunCase(c);
  }
}

}  // namespace
