// Every accepted request at the edges of its buffer lengths, before any mode
// set, in the 80 x 25 text mode and in a graphics mode: the status and the
// Information each case gets, and for every refusal that nothing changed
// beyond what a refusal may write (device extension, registers, video
// memory, trap set, the caller's buffers) and that no port or memory was
// touched at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "miniport/videoport.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "tests/support/address_space.h"
#include "tests/support/side_effects.h"

namespace {

enum class Start { NoMode, Text, Graphics };

constexpr ULONG kTextMode = 0;      // 80 x 25 text at 720 x 400
constexpr ULONG kGraphicsMode = 2;  // 640 x 480, 8 bits, 60 Hz, linear
constexpr ULONG kStateSize = 264359;
constexpr ULONG kLarge = 65536;
constexpr ULONG kModeList = 62 * 80;  // the default adapter (4 MB, 64-bit, type 2) offers 62
constexpr ULONG kVideoMemory = 0x400000;
constexpr uint8_t kFill = 0xCC;

// What a case puts in front of its input (or the one buffer).
enum class Record {
  Zero,            // zeros
  ModeTooLarge,    // VIDEO_MODE 96 with bit 31 set
  ModeSame,        // the mode the case starts in
  Font,            // 8 x 16, FontSize 4096
  FontHeight0,     // 8 x 0, FontSize 4096
  FontHeight33,    // 8 x 33, FontSize 8448
  FontWidth7,      // 7 x 16, FontSize 4096
  FontShort,       // 8 x 16, FontSize 4095
  Palette1,        // one entry at 0
  Palette16At1,    // 16 entries from 1
  Palette0,        // no entries
  Clut1,           // one colour at 0
  Clut2,           // two colours at 0
  Clut0,           // no colours
  Clut255x2,       // two colours from 255
  CursorAttr,      // height 14, width 15, shown
  CursorOrigin,    // column 0, row 0
  CursorColumn80,  // column 80, row 0
  PointerMono,     // 32 x 32 monochrome at (10, 10)
  PointerWide,     // 65 x 32
  PointerTall,     // 32 x 65
  PointerColour,   // colour flags only: hidden, then refused
  PointerPos,      // (100, 50)
  State,           // VIDEO_HARDWARE_STATE at a genuine save of exactly its size
  StateShort,      // VIDEO_HARDWARE_STATE whose StateLength is one byte short
  SaveRecord,      // VIDEO_HARDWARE_STATE at an empty buffer of the save's size
  Mapped,          // VIDEO_MEMORY naming a mapping made just before
  Unmapped,        // VIDEO_MEMORY naming an address nothing maps
  MappedTwice,     // two VIDEO_MEMORY records naming two mappings
  UnmappedTwice,   // two addresses nothing maps
  ShareStart,      // ViewOffset 0, ViewSize 0x1000
  ShareAll,        // ViewOffset 0, ViewSize = video memory
  ShareAllPlus1,   // ViewOffset 0, ViewSize = video memory + 1
  ShareMapped,     // VIDEO_SHARE_MEMORY naming a mapping made just before
};

struct Case {
  const char* name;
  ULONG code;
  Start start;
  ULONG inLength;
  ULONG outLength;
  Record record;
  VP_STATUS status;
  ULONG information;
  bool oneBuffer = false;
};

std::string StartName(Start s) {
  switch (s) {
    case Start::NoMode:
      return "NoMode";
    case Start::Text:
      return "Text";
    case Start::Graphics:
      return "Graphics";
  }
  return "?";
}

constexpr Start kNo = Start::NoMode;
constexpr Start kText = Start::Text;
constexpr Start kGfx = Start::Graphics;
constexpr VP_STATUS kOk = NO_ERROR;
constexpr VP_STATUS kInvalid = ERROR_INVALID_PARAMETER;
constexpr VP_STATUS kShort = ERROR_INSUFFICIENT_BUFFER;
constexpr VP_STATUS kMore = ERROR_MORE_DATA;
constexpr VP_STATUS kNoFunction = ERROR_INVALID_FUNCTION;

// clang-format off
const Case kCases[] = {
    // VDM enable carries no buffers: any lengths, any state.
    {"VdmNoBuffers",          IOCTL_VIDEO_ENABLE_VDM, kNo,   0, 0, Record::Zero, kOk, 0},
    {"VdmLargeBuffers",       IOCTL_VIDEO_ENABLE_VDM, kText, kLarge, kLarge, Record::Zero, kOk, 0},
    {"VdmGraphics",           IOCTL_VIDEO_ENABLE_VDM, kGfx,  0, 0, Record::Zero, kOk, 0},

    // Save: the VIDEO_HARDWARE_STATE record is 8 bytes.
    {"SaveOut0",              IOCTL_VIDEO_SAVE_HARDWARE_STATE, kNo,   0, 0, Record::Zero, kShort, 0},
    {"SaveOut7",              IOCTL_VIDEO_SAVE_HARDWARE_STATE, kText, 0, 7, Record::Zero, kShort, 0},
    {"SaveOut7Graphics",      IOCTL_VIDEO_SAVE_HARDWARE_STATE, kGfx,  0, 7, Record::Zero, kShort, 0},
    {"SaveOut8",              IOCTL_VIDEO_SAVE_HARDWARE_STATE, kText, 0, 8, Record::SaveRecord, kOk, 8},
    {"SaveOut8NoMode",        IOCTL_VIDEO_SAVE_HARDWARE_STATE, kNo,   0, 8, Record::SaveRecord, kOk, 8},
    {"SaveOutLarge",          IOCTL_VIDEO_SAVE_HARDWARE_STATE, kGfx,  0, kLarge, Record::SaveRecord, kOk, 8},

    // Restore: 8 bytes of record, then a StateLength of at least 264359.
    {"RestoreIn0",            IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kNo,   0, 0, Record::Zero, kShort, 0},
    {"RestoreIn7",            IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 7, 0, Record::Zero, kShort, 0},
    {"RestoreStateShort",     IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 8, 0, Record::StateShort, kShort, 0},
    {"RestoreStateShortGfx",  IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kGfx,  8, 0, Record::StateShort, kShort, 0},
    {"RestoreIn8",            IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kText, 8, 0, Record::State, kOk, 0},
    {"RestoreInLarge",        IOCTL_VIDEO_RESTORE_HARDWARE_STATE, kGfx,  kLarge, 0, Record::State, kOk, 0},

    // Mode list: 80 bytes per offered mode, Information set before the test.
    {"ModesOut0",             IOCTL_VIDEO_QUERY_AVAIL_MODES, kNo,   0, 0, Record::Zero, kShort, kModeList},
    {"ModesOutOneShort",      IOCTL_VIDEO_QUERY_AVAIL_MODES, kText, 0, kModeList - 1, Record::Zero, kShort, kModeList},
    {"ModesOutOneShortGfx",   IOCTL_VIDEO_QUERY_AVAIL_MODES, kGfx,  0, kModeList - 1, Record::Zero, kShort, kModeList},
    {"ModesOutExact",         IOCTL_VIDEO_QUERY_AVAIL_MODES, kNo,   0, kModeList, Record::Zero, kOk, kModeList},
    {"ModesOutLarge",         IOCTL_VIDEO_QUERY_AVAIL_MODES, kGfx,  0, kLarge, Record::Zero, kOk, kModeList},
    {"ModesOneBuffer",        IOCTL_VIDEO_QUERY_AVAIL_MODES, kText, 8, kModeList - 1, Record::Zero, kShort, kModeList, true},

    // Mode count: VIDEO_NUM_MODES is 8 bytes.
    {"CountOut0",             IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kNo,   0, 0, Record::Zero, kShort, 8},
    {"CountOut7",             IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kText, 0, 7, Record::Zero, kShort, 8},
    {"CountOut7Graphics",     IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kGfx,  0, 7, Record::Zero, kShort, 8},
    {"CountOut8",             IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kText, 0, 8, Record::Zero, kOk, 8},
    {"CountOutLarge",         IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, kGfx,  0, kLarge, Record::Zero, kOk, 8},

    // Current mode: 80 bytes; before any mode set there is nothing to describe.
    {"CurrentNoMode",         IOCTL_VIDEO_QUERY_CURRENT_MODE, kNo,   0, 80, Record::Zero, kInvalid, 0},
    {"CurrentNoModeOut0",     IOCTL_VIDEO_QUERY_CURRENT_MODE, kNo,   0, 0, Record::Zero, kInvalid, 0},
    {"CurrentOut0",           IOCTL_VIDEO_QUERY_CURRENT_MODE, kText, 0, 0, Record::Zero, kShort, 80},
    {"CurrentOut79",          IOCTL_VIDEO_QUERY_CURRENT_MODE, kGfx,  0, 79, Record::Zero, kShort, 80},
    {"CurrentOut80",          IOCTL_VIDEO_QUERY_CURRENT_MODE, kText, 0, 80, Record::Zero, kOk, 80},
    {"CurrentOutLarge",       IOCTL_VIDEO_QUERY_CURRENT_MODE, kGfx,  0, kLarge, Record::Zero, kOk, 80},
    {"CurrentOneBuffer79",    IOCTL_VIDEO_QUERY_CURRENT_MODE, kText, 79, 79, Record::Zero, kShort, 80, true},

    // Mode set: VIDEO_MODE is 4 bytes; a refused number still loses bit 31.
    {"SetIn0",                IOCTL_VIDEO_SET_CURRENT_MODE, kNo,   0, 0, Record::Zero, kShort, 0},
    {"SetIn3",                IOCTL_VIDEO_SET_CURRENT_MODE, kText, 3, 0, Record::Zero, kShort, 0},
    {"SetIn3Graphics",        IOCTL_VIDEO_SET_CURRENT_MODE, kGfx,  3, 0, Record::Zero, kShort, 0},
    {"SetMode96",             IOCTL_VIDEO_SET_CURRENT_MODE, kNo,   4, 0, Record::ModeTooLarge, kInvalid, 0},
    {"SetMode96Graphics",     IOCTL_VIDEO_SET_CURRENT_MODE, kGfx,  4, 0, Record::ModeTooLarge, kInvalid, 0},
    {"SetMode96OneBuffer",    IOCTL_VIDEO_SET_CURRENT_MODE, kText, 4, 4, Record::ModeTooLarge, kInvalid, 0, true},
    {"SetIn4",                IOCTL_VIDEO_SET_CURRENT_MODE, kText, 4, 0, Record::ModeSame, kOk, 0},
    {"SetInLarge",            IOCTL_VIDEO_SET_CURRENT_MODE, kGfx,  kLarge, 0, Record::ModeSame, kOk, 0},

    // Reset: a VIDEO_MODE of its own, so the caller's lengths do not matter.
    {"ResetNoBuffers",        IOCTL_VIDEO_RESET_DEVICE, kNo,   0, 0, Record::Zero, kOk, 0},
    {"ResetLargeBuffers",     IOCTL_VIDEO_RESET_DEVICE, kText, kLarge, kLarge, Record::Zero, kOk, 0},

    // Font: text modes only; 12 bytes of fixed part, then FontSize + 11.
    {"FontNoMode",            IOCTL_VIDEO_LOAD_AND_SET_FONT, kNo,   4107, 0, Record::Font, kInvalid, 0},
    {"FontGraphics",          IOCTL_VIDEO_LOAD_AND_SET_FONT, kGfx,  4107, 0, Record::Font, kInvalid, 0},
    {"FontGraphicsIn0",       IOCTL_VIDEO_LOAD_AND_SET_FONT, kGfx,  0, 0, Record::Zero, kInvalid, 0},
    {"FontIn0",               IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 0, 0, Record::Zero, kShort, 0},
    {"FontIn11",              IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 11, 0, Record::Font, kShort, 0},
    {"FontIn12",              IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 12, 0, Record::Font, kShort, 0},
    {"FontOneShort",          IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4106, 0, Record::Font, kShort, 0},
    {"FontExact",             IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Record::Font, kOk, 0},
    {"FontLarge",             IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, kLarge, 0, Record::Font, kOk, 0},
    {"FontHeight0",           IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Record::FontHeight0, kInvalid, 0},
    {"FontHeight33",          IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 8459, 0, Record::FontHeight33, kInvalid, 0},
    {"FontWidth7",            IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4107, 0, Record::FontWidth7, kInvalid, 0},
    {"FontSizeShort",         IOCTL_VIDEO_LOAD_AND_SET_FONT, kText, 4106, 0, Record::FontShort, kShort, 0},

    // Palette registers: 6 bytes at least, then NumEntries * 2 + 4; any state.
    {"PaletteIn0",            IOCTL_VIDEO_SET_PALETTE_REGISTERS, kNo,   0, 0, Record::Zero, kShort, 0},
    {"PaletteIn5",            IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 5, 0, Record::Palette0, kShort, 0},
    {"PaletteIn5Graphics",    IOCTL_VIDEO_SET_PALETTE_REGISTERS, kGfx,  5, 0, Record::Palette1, kShort, 0},
    {"PaletteNone",           IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 6, 0, Record::Palette0, kInvalid, 0},
    {"PaletteIn6",            IOCTL_VIDEO_SET_PALETTE_REGISTERS, kText, 6, 0, Record::Palette1, kOk, 0},
    {"Palette16From1",        IOCTL_VIDEO_SET_PALETTE_REGISTERS, kNo,   36, 0, Record::Palette16At1, kInvalid, 0},
    {"PaletteLarge",          IOCTL_VIDEO_SET_PALETTE_REGISTERS, kGfx,  kLarge, 0, Record::Palette1, kOk, 0},

    // Colour table: 4 bytes at least, then NumEntries * 4 + 4; any state.
    {"ClutIn0",               IOCTL_VIDEO_SET_COLOR_REGISTERS, kNo,   0, 0, Record::Zero, kShort, 0},
    {"ClutIn3",               IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, 3, 0, Record::Clut1, kShort, 0},
    {"ClutNone",              IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx,  4, 0, Record::Clut0, kInvalid, 0},
    {"ClutOneEntryIn7",       IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx,  7, 0, Record::Clut1, kShort, 0},
    {"ClutTwoEntriesIn8",     IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, 8, 0, Record::Clut2, kShort, 0},
    {"ClutIn8",               IOCTL_VIDEO_SET_COLOR_REGISTERS, kGfx,  8, 0, Record::Clut1, kOk, 0},
    {"ClutPast255",           IOCTL_VIDEO_SET_COLOR_REGISTERS, kNo,   12, 0, Record::Clut255x2, kInvalid, 0},
    {"ClutLarge",             IOCTL_VIDEO_SET_COLOR_REGISTERS, kText, kLarge, 0, Record::Clut1, kOk, 0},

    // Cursor attributes: text modes only, 10 bytes; no font loaded yet, so
    // every height is refused.
    {"CursorAttrNoMode",      IOCTL_VIDEO_SET_CURSOR_ATTR, kNo,   10, 0, Record::CursorAttr, kInvalid, 0},
    {"CursorAttrGraphics",    IOCTL_VIDEO_SET_CURSOR_ATTR, kGfx,  0, 0, Record::Zero, kInvalid, 0},
    {"CursorAttrIn0",         IOCTL_VIDEO_SET_CURSOR_ATTR, kText, 0, 0, Record::Zero, kShort, 0},
    {"CursorAttrIn9",         IOCTL_VIDEO_SET_CURSOR_ATTR, kText, 9, 0, Record::CursorAttr, kShort, 0},
    {"CursorAttrNoFont",      IOCTL_VIDEO_SET_CURSOR_ATTR, kText, 10, 0, Record::CursorAttr, kInvalid, 0},
    {"CursorAttrLargeNoFont", IOCTL_VIDEO_SET_CURSOR_ATTR, kText, kLarge, 0, Record::CursorAttr, kInvalid, 0},

    {"QueryAttrNoMode",       IOCTL_VIDEO_QUERY_CURSOR_ATTR, kNo,   0, 10, Record::Zero, kInvalid, 0},
    {"QueryAttrGraphics",     IOCTL_VIDEO_QUERY_CURSOR_ATTR, kGfx,  0, 10, Record::Zero, kInvalid, 0},
    {"QueryAttrOut0",         IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, 0, Record::Zero, kShort, 0},
    {"QueryAttrOut9",         IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, 9, Record::Zero, kShort, 0},
    {"QueryAttrOut10",        IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, 10, Record::Zero, kOk, 10},
    {"QueryAttrOutLarge",     IOCTL_VIDEO_QUERY_CURSOR_ATTR, kText, 0, kLarge, Record::Zero, kOk, 10},

    // Cursor position: text modes only, 4 bytes.
    {"CursorPosNoMode",       IOCTL_VIDEO_SET_CURSOR_POSITION, kNo,   4, 0, Record::CursorOrigin, kInvalid, 0},
    {"CursorPosGraphics",     IOCTL_VIDEO_SET_CURSOR_POSITION, kGfx,  4, 0, Record::CursorOrigin, kInvalid, 0},
    {"CursorPosIn0",          IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 0, 0, Record::Zero, kShort, 0},
    {"CursorPosIn3",          IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 3, 0, Record::CursorOrigin, kShort, 0},
    {"CursorPosIn4",          IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 4, 0, Record::CursorOrigin, kOk, 0},
    {"CursorPosColumn80",     IOCTL_VIDEO_SET_CURSOR_POSITION, kText, 4, 0, Record::CursorColumn80, kInvalid, 0},
    {"CursorPosLarge",        IOCTL_VIDEO_SET_CURSOR_POSITION, kText, kLarge, 0, Record::CursorOrigin, kOk, 0},

    {"QueryPosNoMode",        IOCTL_VIDEO_QUERY_CURSOR_POSITION, kNo,   0, 4, Record::Zero, kInvalid, 0},
    {"QueryPosGraphics",      IOCTL_VIDEO_QUERY_CURSOR_POSITION, kGfx,  0, 4, Record::Zero, kInvalid, 0},
    {"QueryPosOut0",          IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 0, 0, Record::Zero, kShort, 0},
    {"QueryPosOut3",          IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 0, 3, Record::Zero, kShort, 0},
    {"QueryPosOut4",          IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 0, 4, Record::Zero, kOk, 4},
    {"QueryPosOneBuffer3",    IOCTL_VIDEO_QUERY_CURSOR_POSITION, kText, 3, 3, Record::Zero, kShort, 0, true},

    // Pointer enable and disable: a graphics mode's hardware pointer only.
    {"PointerOnNoMode",       IOCTL_VIDEO_ENABLE_POINTER, kNo,   0, 0, Record::Zero, kInvalid, 0},
    {"PointerOnText",         IOCTL_VIDEO_ENABLE_POINTER, kText, kLarge, kLarge, Record::Zero, kInvalid, 0},
    {"PointerOn",             IOCTL_VIDEO_ENABLE_POINTER, kGfx,  0, 0, Record::Zero, kOk, 0},
    {"PointerOffNoMode",      IOCTL_VIDEO_DISABLE_POINTER, kNo,   0, 0, Record::Zero, kInvalid, 0},
    {"PointerOffText",        IOCTL_VIDEO_DISABLE_POINTER, kText, 0, 0, Record::Zero, kInvalid, 0},
    {"PointerOff",            IOCTL_VIDEO_DISABLE_POINTER, kGfx,  kLarge, kLarge, Record::Zero, kOk, 0},

    // Pointer shape: 1052 bytes (28 of record, 1024 of masks).
    {"ShapeNoMode",           IOCTL_VIDEO_SET_POINTER_ATTR, kNo,   1052, 0, Record::PointerMono, kInvalid, 0},
    {"ShapeText",             IOCTL_VIDEO_SET_POINTER_ATTR, kText, 1052, 0, Record::PointerMono, kInvalid, 0},
    {"ShapeColourText",       IOCTL_VIDEO_SET_POINTER_ATTR, kText, 1052, 0, Record::PointerColour, kInvalid, 0},
    {"ShapeIn0",              IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  0, 0, Record::Zero, kShort, 0},
    {"ShapeIn1051",           IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  1051, 0, Record::PointerMono, kShort, 0},
    {"ShapeIn1052",           IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  1052, 0, Record::PointerMono, kOk, 0},
    {"ShapeWidth65",          IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  1052, 0, Record::PointerWide, kInvalid, 0},
    {"ShapeHeight65",         IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  1052, 0, Record::PointerTall, kInvalid, 0},
    {"ShapeColour",           IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  1052, 0, Record::PointerColour, kInvalid, 0},
    {"ShapeLarge",            IOCTL_VIDEO_SET_POINTER_ATTR, kGfx,  kLarge, 0, Record::PointerMono, kOk, 0},

    {"PointerPosNoMode",      IOCTL_VIDEO_SET_POINTER_POSITION, kNo,   4, 0, Record::PointerPos, kInvalid, 0},
    {"PointerPosText",        IOCTL_VIDEO_SET_POINTER_POSITION, kText, 4, 0, Record::PointerPos, kInvalid, 0},
    {"PointerPosIn0",         IOCTL_VIDEO_SET_POINTER_POSITION, kGfx,  0, 0, Record::Zero, kShort, 0},
    {"PointerPosIn3",         IOCTL_VIDEO_SET_POINTER_POSITION, kGfx,  3, 0, Record::PointerPos, kShort, 0},
    {"PointerPosIn4",         IOCTL_VIDEO_SET_POINTER_POSITION, kGfx,  4, 0, Record::PointerPos, kOk, 0},
    {"PointerPosLarge",       IOCTL_VIDEO_SET_POINTER_POSITION, kGfx,  kLarge, 0, Record::PointerPos, kOk, 0},

    {"QueryPointerNoMode",    IOCTL_VIDEO_QUERY_POINTER_POSITION, kNo,   0, 4, Record::Zero, kInvalid, 0},
    {"QueryPointerText",      IOCTL_VIDEO_QUERY_POINTER_POSITION, kText, 0, 4, Record::Zero, kInvalid, 0},
    {"QueryPointerOut0",      IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx,  0, 0, Record::Zero, kShort, 0},
    {"QueryPointerOut3",      IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx,  0, 3, Record::Zero, kShort, 0},
    {"QueryPointerOut4",      IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx,  0, 4, Record::Zero, kOk, 4},
    {"QueryPointerOneBuffer", IOCTL_VIDEO_QUERY_POINTER_POSITION, kGfx,  3, 3, Record::Zero, kShort, 0, true},

    // Pointer capabilities: 20 bytes, whatever the mode.
    {"CapsOut0",              IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kNo,   0, 0, Record::Zero, kShort, 0},
    {"CapsOut19",             IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kText, 0, 19, Record::Zero, kShort, 0},
    {"CapsOut19Graphics",     IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kGfx,  0, 19, Record::Zero, kShort, 0},
    {"CapsOut20NoMode",       IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kNo,   0, 20, Record::Zero, kOk, 20},
    {"CapsOutLarge",          IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, kText, 0, kLarge, Record::Zero, kOk, 20},

    // Bank select: 52 bytes of record, 102 with the code block.
    {"BankNoMode",            IOCTL_VIDEO_GET_BANK_SELECT_CODE, kNo,   0, 102, Record::Zero, kInvalid, 0},
    {"BankOut0",              IOCTL_VIDEO_GET_BANK_SELECT_CODE, kText, 0, 0, Record::Zero, kShort, 0},
    {"BankOut51",             IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx,  0, 51, Record::Zero, kShort, 0},
    {"BankOut52",             IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx,  0, 52, Record::Zero, kMore, 52},
    {"BankOut101",            IOCTL_VIDEO_GET_BANK_SELECT_CODE, kText, 0, 101, Record::Zero, kMore, 52},
    {"BankOut101OneBuffer",   IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx,  101, 101, Record::Zero, kMore, 52, true},
    {"BankOut102",            IOCTL_VIDEO_GET_BANK_SELECT_CODE, kGfx,  0, 102, Record::Zero, kOk, 102},
    {"BankOutLarge",          IOCTL_VIDEO_GET_BANK_SELECT_CODE, kText, 0, kLarge, Record::Zero, kOk, 102},

    // Map: an input VIDEO_MEMORY (4) and an output VIDEO_MEMORY_INFORMATION
    // (16); shorter buffers are refused like the share service's. Before the
    // first mode set there is no window to map, whatever the buffers.
    {"MapIn0NoMode",          IOCTL_VIDEO_MAP_VIDEO_MEMORY, kNo,   0, 16, Record::Zero, kInvalid, 0},
    {"MapNoMode",             IOCTL_VIDEO_MAP_VIDEO_MEMORY, kNo,   4, 16, Record::Zero, kInvalid, 0},
    {"MapIn0",                IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx,  0, 16, Record::Zero, kShort, 0},
    {"MapIn3",                IOCTL_VIDEO_MAP_VIDEO_MEMORY, kText, 3, 16, Record::Zero, kShort, 0},
    {"MapOut15",              IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx,  4, 15, Record::Zero, kShort, 0},
    {"MapOut15OneBuffer",     IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx,  4, 15, Record::Zero, kShort, 0, true},
    {"MapExact",              IOCTL_VIDEO_MAP_VIDEO_MEMORY, kText, 4, 16, Record::Zero, kOk, 16},
    {"MapExactOneBuffer",     IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx,  4, 16, Record::Zero, kOk, 16, true},
    {"MapLarge",              IOCTL_VIDEO_MAP_VIDEO_MEMORY, kGfx,  kLarge, kLarge, Record::Zero, kOk, 16},

    // Unmap: 4 bytes; an address the platform never mapped is its refusal.
    {"UnmapIn0",              IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kNo,   0, 0, Record::Zero, kShort, 0},
    {"UnmapIn3",              IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kGfx,  3, 0, Record::Mapped, kShort, 0},
    {"UnmapUnknown",          IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kText, 4, 0, Record::Unmapped, kInvalid, 0},
    {"UnmapIn4",              IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kGfx,  4, 0, Record::Mapped, kOk, 0},
    {"UnmapLarge",            IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, kText, kLarge, 0, Record::Mapped, kOk, 0},

    // Public ranges: two VIDEO_PUBLIC_ACCESS_RANGES, 24 bytes, Information 24 first.
    {"PublicOut0",            IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kNo,   0, 0, Record::Zero, kShort, 24},
    {"PublicOut23",           IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kText, 0, 23, Record::Zero, kShort, 24},
    {"PublicOut23Graphics",   IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kGfx,  0, 23, Record::Zero, kShort, 24},
    {"PublicOut24",           IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kGfx,  0, 24, Record::Zero, kOk, 24},
    {"PublicOutLarge",        IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, kNo,   0, kLarge, Record::Zero, kOk, 24},

    // Free public ranges: two VIDEO_MEMORY records, 8 bytes.
    {"FreeIn0",               IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kNo,   0, 0, Record::Zero, kShort, 0},
    {"FreeIn7",               IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kText, 7, 0, Record::MappedTwice, kShort, 0},
    {"FreeUnknown",           IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kGfx,  8, 0, Record::UnmappedTwice, kInvalid, 0},
    {"FreeIn8",               IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kText, 8, 0, Record::MappedTwice, kOk, 0},
    {"FreeLarge",             IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, kGfx,  kLarge, 0, Record::MappedTwice, kOk, 0},

    // Share: VIDEO_SHARE_MEMORY in (16), VIDEO_SHARE_MEMORY_INFORMATION out (12).
    {"ShareNone",             IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kNo,   0, 0, Record::Zero, kShort, 0},
    {"ShareOut11",            IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  16, 11, Record::ShareStart, kShort, 0},
    {"ShareIn15",             IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kText, 15, 12, Record::ShareStart, kShort, 0},
    {"ShareIn15OneBuffer",    IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  15, 12, Record::ShareStart, kShort, 0, true},
    {"ShareExact",            IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  16, 12, Record::ShareStart, kOk, 12},
    {"ShareExactOneBuffer",   IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  16, 16, Record::ShareStart, kOk, 12, true},
    {"ShareWholeMemory",      IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  16, 12, Record::ShareAll, kOk, 12},
    {"SharePastMemory",       IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  16, 12, Record::ShareAllPlus1, kInvalid, 0},
    {"SharePastMemoryText",   IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kText, 16, 12, Record::ShareAllPlus1, kInvalid, 0},
    {"ShareLarge",            IOCTL_VIDEO_SHARE_VIDEO_MEMORY, kGfx,  kLarge, kLarge, Record::ShareStart, kOk, 12},

    // Unshare: VIDEO_SHARE_MEMORY, 16 bytes.
    {"UnshareIn0",            IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kNo,   0, 0, Record::Zero, kShort, 0},
    {"UnshareIn15",           IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kGfx,  15, 0, Record::ShareMapped, kShort, 0},
    {"UnshareUnknown",        IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kText, 16, 0, Record::Zero, kInvalid, 0},
    {"UnshareIn16",           IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, kGfx,  16, 0, Record::ShareMapped, kOk, 0},

    // Codes beside the accepted ones, the four the driver does not serve among them.
    {"EnableCursor",          0x230420, kText, 16, 16, Record::Zero, kNoFunction, 0},
    {"DisableCursor",         0x230424, kText, 16, 16, Record::Zero, kNoFunction, 0},
    {"QueryPointerAttr",      0x230444, kGfx,  0, 1052, Record::Zero, kNoFunction, 0},
    {"ColorCapabilities",     0x230468, kGfx,  0, 64, Record::Zero, kNoFunction, 0},
    {"DisableVdm",            0x230004, kNo,   0, 0, Record::Zero, kNoFunction, 0},
    {"BelowSave",             0x2301FC, kText, 8, 8, Record::Zero, kNoFunction, 0},
    {"PastRestore",           0x230208, kText, 8, 8, Record::Zero, kNoFunction, 0},
    {"BetweenFreeAndShare",   0x23046C, kGfx,  16, 16, Record::Zero, kNoFunction, 0},
    {"BetweenFreeAndShare2",  0x230470, kGfx,  16, 16, Record::Zero, kNoFunction, 0},
    {"PastUnshare",           0x23047C, kGfx,  16, 16, Record::Zero, kNoFunction, 0},
    {"OtherDevice",           0x220000, kNo,   0, 0, Record::Zero, kNoFunction, 0},
    {"OffByOne",              0x230401, kText, 0, 8192, Record::Zero, kNoFunction, 0},
};
// clang-format on

uint8_t Low(ULONG v, int byte) {
  return static_cast<uint8_t>(v >> (8 * byte));
}

void Put32(std::vector<uint8_t>& b, size_t at, ULONG v) {
  std::memcpy(b.data() + at, &v, 4);
}

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
class CaseRun {
 public:
  explicit CaseRun(const Case& c) : c_(c) {}

  void Prepare() {
    machine_ = std::make_unique<sim::Machine>(sim::Profile::Default(), Booted());
    ASSERT_EQ(machine_->Load(), 0u);
    ASSERT_TRUE(machine_->Started());
    const Start start = c_.start;
    if (start != Start::NoMode) {
      ULONG mode = start == Start::Text ? kTextMode : kGraphicsMode;
      ASSERT_EQ(machine_->Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status,
                NO_ERROR);
    }
  }

  // A fresh caller mapping of the current video memory; its address.
  ULONG MapSomething() {
    ULONG in = 0;
    VIDEO_MEMORY_INFORMATION out{};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &in, 4, &out, 16).status, NO_ERROR);
    return static_cast<ULONG>(reinterpret_cast<uintptr_t>(out.VideoRamBase));
  }

  ULONG ShareSomething() {
    std::vector<uint8_t> in(16, 0);
    Put32(in, 8, 0x1000);  // ViewSize
    VIDEO_SHARE_MEMORY_INFORMATION out{};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_SHARE_VIDEO_MEMORY, in.data(), 16, &out, 12).status,
              NO_ERROR);
    return static_cast<ULONG>(reinterpret_cast<uintptr_t>(out.VirtualAddress));
  }

  std::vector<uint8_t> GenuineState() {
    std::vector<uint8_t> state(kStateSize, 0);
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state.data()), 0};
    EXPECT_EQ(machine_->Ioctl(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, 8).status,
              NO_ERROR);
    return state;
  }

  // The case's record written over the front of `bytes` (as far as it goes).
  void Fill(const Case& c, std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> r;
    auto u16 = [&r](uint16_t v) {
      r.push_back(Low(v, 0));
      r.push_back(Low(v, 1));
    };
    auto u32 = [&r](ULONG v) {
      for (int i = 0; i < 4; ++i)
        r.push_back(Low(v, i));
    };
    auto pointer = [&](ULONG flags, ULONG width, ULONG height = 32) {
      u32(flags);
      u32(width);
      u32(height);
      u32(8);
      u32(1);
      u16(10);
      u16(10);
    };
    switch (c.record) {
      case Record::Zero:
        break;
      case Record::ModeTooLarge:
        u32(0x80000060);
        break;
      case Record::ModeSame:
        u32(c.start == Start::Graphics ? kGraphicsMode : kTextMode);
        break;
      case Record::Font:
        u16(8), u16(16), u32(4096);
        break;
      case Record::FontHeight0:
        u16(8), u16(0), u32(4096);
        break;
      case Record::FontHeight33:
        u16(8), u16(33), u32(8448);
        break;
      case Record::FontWidth7:
        u16(7), u16(16), u32(4096);
        break;
      case Record::FontShort:
        u16(8), u16(16), u32(4095);
        break;
      case Record::Palette1:
        u16(1), u16(0), u16(5);
        break;
      case Record::Palette16At1:
        u16(16), u16(1);
        break;
      case Record::Palette0:
        u16(0), u16(0);
        break;
      case Record::Clut1:
        u16(1), u16(0), u32(0x00102030);
        break;
      case Record::Clut2:
        u16(2), u16(0);
        break;
      case Record::Clut0:
        u16(0), u16(0);
        break;
      case Record::Clut255x2:
        u16(2), u16(255);
        break;
      case Record::CursorAttr:
        u16(15), u16(14), u16(1), u16(0), u16(0);
        break;
      case Record::CursorOrigin:
        u16(0), u16(0);
        break;
      case Record::CursorColumn80:
        u16(80), u16(0);
        break;
      case Record::PointerMono:
        pointer(VIDEO_MODE_MONO_POINTER, 32);
        break;
      case Record::PointerWide:
        pointer(VIDEO_MODE_MONO_POINTER, 65);
        break;
      case Record::PointerTall:
        pointer(VIDEO_MODE_MONO_POINTER, 32, 65);
        break;
      case Record::PointerColour:
        pointer(VIDEO_MODE_COLOR_POINTER, 32);
        break;
      case Record::PointerPos:
        u16(100), u16(50);
        break;
      case Record::State:
        state_ = GenuineState();
        u32(static_cast<ULONG>(reinterpret_cast<uintptr_t>(state_.data()))), u32(kStateSize);
        break;
      case Record::StateShort:
        state_ = GenuineState();
        state_.resize(kStateSize - 1);
        u32(static_cast<ULONG>(reinterpret_cast<uintptr_t>(state_.data()))), u32(kStateSize - 1);
        break;
      case Record::SaveRecord:
        state_.assign(kStateSize, 0);
        u32(static_cast<ULONG>(reinterpret_cast<uintptr_t>(state_.data())));
        break;
      case Record::Mapped:
        u32(MapSomething());
        break;
      case Record::Unmapped:
        u32(0x12345000);
        break;
      case Record::MappedTwice:
        u32(MapSomething()), u32(MapSomething());
        break;
      case Record::UnmappedTwice:
        u32(0x12345000), u32(0x12346000);
        break;
      // VIDEO_SHARE_MEMORY: ProcessHandle, ViewOffset, ViewSize, RequestedVirtualAddress.
      case Record::ShareStart:
        u32(0), u32(0), u32(0x1000), u32(0);
        break;
      case Record::ShareAll:
        u32(0), u32(0), u32(kVideoMemory), u32(0);
        break;
      case Record::ShareAllPlus1:
        u32(0), u32(0), u32(kVideoMemory + 1), u32(0);
        break;
      case Record::ShareMapped:
        u32(0), u32(0), u32(0x1000), u32(ShareSomething());
        break;
    }
    for (size_t i = 0; i < r.size() && i < bytes.size(); ++i)
      bytes[i] = r[i];
  }

  void Check() {
    const Case& c = c_;
    // Buffers of exactly the stated lengths: one of the larger length when
    // input and output are one buffer.
    std::vector<uint8_t> in(c.oneBuffer ? std::max(c.inLength, c.outLength) : c.inLength, kFill);
    std::vector<uint8_t> out(c.oneBuffer ? 0 : c.outLength, kFill);
    // A save's record sits in the output buffer, everything else's in the input.
    Fill(c, c.oneBuffer || c.code != IOCTL_VIDEO_SAVE_HARDWARE_STATE ? in : out);

    const std::vector<uint8_t> inBefore = in;
    const std::vector<uint8_t> outBefore = out;
    const std::vector<uint8_t> stateBefore = state_;
    const test::MachineState before = test::Capture(*machine_);
    const size_t mark = machine_->trace().Start();

    void* inPointer = in.empty() ? nullptr : in.data();
    void* outPointer =
        c.oneBuffer ? (c.outLength ? in.data() : nullptr) : (out.empty() ? nullptr : out.data());
    const sim::Machine::Result result =
        machine_->Ioctl(c.code, inPointer, c.inLength, outPointer, c.outLength);

    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.information, c.information);
    if (!test::Refused(result.status) && result.status != ERROR_MORE_DATA) return;

    test::MachineState expected = before;
    std::vector<sim::TraceEntry> accesses;
    const bool hides = test::RefusalHidesPointer(
        c.code, result.status, std::span<const uint8_t>(inBefore).first(c.inLength),
        c.start == Start::Graphics);
    if (hides) {
      // The pointer is hidden before the shape is refused: SR06 bit 6 cleared
      // by read-modify-write, the sequencer index left at 0x06.
      test::HidePointer(expected);
      const uint8_t sr06 = before.seq[0x06];
      accesses = {sim::io::Out8(0x3C4, 0x06), sim::io::In8(0x3C5, sr06),
                  sim::io::Out8(0x3C5, static_cast<uint8_t>(sr06 & 0xBF))};
    }
    EXPECT_EQ(sim::CompareTraces(accesses, machine_->trace().Since(mark)), "")
        << "a refusal touches no port or memory beyond what it may";
    for (const std::string& line : test::ChangesSince(expected, *machine_))
      ADD_FAILURE() << "changed by the refusal: " << line;
    test::CallerBuffers buffers{inBefore, in, outBefore, out, c.oneBuffer};
    for (const std::string& line : test::UnallowedBufferWrites(c.code, result.status, buffers))
      ADD_FAILURE() << "caller's " << line;
    EXPECT_TRUE(state_ == stateBefore) << "the hardware state buffer changed";
  }

 private:
  const Case& c_;
  std::unique_ptr<sim::Machine> machine_;
  std::vector<uint8_t> state_;  // the hardware state buffer a case points at
};

// A refused mode number comes back with bit 31 clear: 0x80000060 becomes 0x60.
TEST(RefusalWrites, ModeNumberLosesBit31) {
  sim::Machine machine(sim::Profile::Default(), Booted());
  ASSERT_EQ(machine.Load(), 0u);
  std::vector<uint8_t> in = {0x60, 0x00, 0x00, 0x80};
  EXPECT_EQ(machine.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, in.data(), 4, nullptr, 0).status,
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(in, (std::vector<uint8_t>{0x60, 0x00, 0x00, 0x00}));
}

// ERROR_MORE_DATA fills the fixed part of the bank-select record but for
// CodeOffset: Length 52, Size 102, Granularity 65536.
TEST(RefusalWrites, BankSelectFixedPart) {
  sim::Machine machine(sim::Profile::Default(), Booted());
  ASSERT_EQ(machine.Load(), 0u);
  ULONG mode = kGraphicsMode;
  ASSERT_EQ(machine.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status, NO_ERROR);
  std::vector<uint8_t> out(60, kFill);
  const auto result = machine.Ioctl(IOCTL_VIDEO_GET_BANK_SELECT_CODE, nullptr, 0, out.data(), 60);
  EXPECT_EQ(result.status, ERROR_MORE_DATA);
  ULONG length, size, granularity, codeOffset;
  std::memcpy(&length, out.data(), 4);
  std::memcpy(&size, out.data() + 4, 4);
  std::memcpy(&granularity, out.data() + 28, 4);
  std::memcpy(&codeOffset, out.data() + 36, 4);
  EXPECT_EQ(length, 52u);
  EXPECT_EQ(size, 102u);
  EXPECT_EQ(granularity, 65536u);
  EXPECT_EQ(codeOffset, 0xCCCCCCCCu) << "CodeOffset is not written";
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 52, out.end()), std::vector<uint8_t>(8, kFill));
}

// The checker itself: a write it must see, and one it must let pass.
TEST(RefusalChecker, SeesAnyOtherByte) {
  const std::vector<uint8_t> before = {1, 2, 3, 4};
  const std::vector<uint8_t> after = {1, 2, 9, 4};
  const test::CallerBuffers changed{before, after, {}, {}, false};
  const auto lines = test::UnallowedBufferWrites(IOCTL_VIDEO_QUERY_CURSOR_POSITION,
                                                 ERROR_INVALID_PARAMETER, changed);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "input buffer byte 2: expected 0x03, got 0x09");
  const std::vector<uint8_t> mode = {0x60, 0, 0, 0x80};
  const std::vector<uint8_t> cleared = {0x60, 0, 0, 0x00};
  const test::CallerBuffers written{mode, cleared, {}, {}, false};
  EXPECT_TRUE(
      test::UnallowedBufferWrites(IOCTL_VIDEO_SET_CURRENT_MODE, ERROR_INVALID_PARAMETER, written)
          .empty());
}

// Each state's cases in one test: a case names itself in any failure.
void RunCases(Start start) {
  for (const Case& c : kCases) {
    if (c.start != start) continue;
    SCOPED_TRACE(std::string(c.name) + " (" + StartName(start) + ")");
    CaseRun run(c);
    run.Prepare();
    if (::testing::Test::HasFatalFailure()) return;
    run.Check();
  }
}

TEST(Refusals, EveryCodeBeforeAnyModeSet) {
  RunCases(Start::NoMode);
}

TEST(Refusals, EveryCodeInTheTextMode) {
  RunCases(Start::Text);
}

TEST(Refusals, EveryCodeInAGraphicsMode) {
  RunCases(Start::Graphics);
}

}  // namespace
