// Refresh-rate selection before the BIOS sets a graphics mode, and SR3E bit 0
// after it.
#include "miniport/port_io.h"
#include "miniport/registers.h"
#include "modes/mode_set.h"

// Refresh index by width: entry i is the rate of index i + 1; 0 ends a column.
struct RefreshIndexColumn {
  USHORT XResolution;
  USHORT Rates[8];
};

static const RefreshIndexColumn ZelRefreshIndexTable[] = {
    {640, {60, 72, 75, 85, 100, 120, 160, 200}}, {800, {56, 60, 72, 75, 85, 100, 120, 160}},
    {1024, {43, 60, 70, 75, 85, 100, 120, 0}},   {1280, {43, 60, 75, 85, 0, 0, 0, 0}},
    {1600, {60, 65, 70, 75, 85, 0, 0, 0}},
};

// The refresh field of one width and rate: the register read, ANDed with
// Keep and ORed with Set. RefreshRate 0 stands for every rate of that width
// that no earlier row lists.
struct FrameRateRow {
  USHORT XResolution;
  USHORT RefreshRate;
  UCHAR Register;
  UCHAR Keep;
  UCHAR Set;
};

#define ANY_OTHER_RATE 0

// A row of SR0F clears the fields of all three widths there: only the memory
// size stays.
static constexpr FrameRateRow Sr0fRow(USHORT x, USHORT rate, Field field, UCHAR code) {
  return {x, rate, SR0F_SIZE_AND_REFRESH, kSr0fMemorySize.Mask(), field.Place(code)};
}

// A row that changes its own field only.
static constexpr FrameRateRow FieldRow(USHORT x, USHORT rate, UCHAR reg, Field field, UCHAR code) {
  return {x, rate, reg, field.Keep(), field.Place(code)};
}

// clang-format off
static constexpr FrameRateRow ZelFrameRateTable[] = {
    Sr0fRow(640, 72, kSr0fRefresh640, 1),
    Sr0fRow(640, 75, kSr0fRefresh640, 2),
    Sr0fRow(640, 85, kSr0fRefresh640, 3),
    Sr0fRow(640, ANY_OTHER_RATE, kSr0fRefresh640, 0),
    Sr0fRow(800, 60, kSr0fRefresh800, 1),
    Sr0fRow(800, 72, kSr0fRefresh800, 2),
    Sr0fRow(800, 75, kSr0fRefresh800, 3),
    FieldRow(800, 85, SR25_REFRESH_85HZ, kSr25Refresh800At85, 1),
    Sr0fRow(800, ANY_OTHER_RATE, kSr0fRefresh800, 0),
    Sr0fRow(1024, 60, kSr0fRefresh1024, 1),
    Sr0fRow(1024, 70, kSr0fRefresh1024, 2),
    Sr0fRow(1024, 75, kSr0fRefresh1024, 3),
    FieldRow(1024, 85, SR25_REFRESH_85HZ, kSr25Refresh1024At85, 1),
    Sr0fRow(1024, ANY_OTHER_RATE, kSr0fRefresh1024, 0),
    FieldRow(1280, 60, SR10_MEMORY_CONFIG, kSr10Refresh1280, 2),
    FieldRow(1280, 75, SR10_MEMORY_CONFIG, kSr10Refresh1280, 1),
    FieldRow(1280, ANY_OTHER_RATE, SR10_MEMORY_CONFIG, kSr10Refresh1280, 0),
    FieldRow(1600, 65, SR36_REFRESH_1600, kSr36Refresh1600, 1),
    FieldRow(1600, 48, SR36_REFRESH_1600, kSr36Refresh1600, 2),
    FieldRow(1600, ANY_OTHER_RATE, SR36_REFRESH_1600, kSr36Refresh1600, 0),
};
// clang-format on

// Any other width: SR0F's rate fields cleared.
static constexpr FrameRateRow ZelFrameRateDefault = Sr0fRow(0, ANY_OTHER_RATE, kSr0fRefresh640, 0);

VOID ZelSetRefreshIndex(VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  for (const RefreshIndexColumn& column : ZelRefreshIndexTable) {
    if (column.XResolution != mode->XResolution) continue;
    for (UCHAR i = 0; i < 8 && column.Rates[i] != 0; ++i) {
      if (column.Rates[i] != mode->RefreshRate) continue;
      // Bit 7 (the selection method) and bits 1-0 keep their values.
      SeqModifyField(ext, SR37_REFRESH_INDEX, kSr37RefreshIndex, i + 1);
      return;
    }
  }
  // No index for this width and rate: SR37 stays as it is.
}

static const FrameRateRow* LookupFrameRate(const VgaModeEntry* mode) {
  for (const FrameRateRow& row : ZelFrameRateTable) {
    if (row.XResolution == mode->XResolution &&
        (row.RefreshRate == mode->RefreshRate || row.RefreshRate == ANY_OTHER_RATE)) {
      return &row;
    }
  }
  return &ZelFrameRateDefault;
}

VOID ZelSetFrameRate(VgaDeviceExtension* ext, const VgaModeEntry* mode) {
  const FrameRateRow* row = LookupFrameRate(mode);

  SeqWrite16(ext, SR05_UNLOCK, kSr05UnlockKey);
  // The 85 Hz rows of these widths live in SR25: clear them whatever the rate.
  if (mode->XResolution == 800) SeqModifyField(ext, SR25_REFRESH_85HZ, kSr25Refresh800At85, 0);
  if (mode->XResolution == 1024) SeqModifyField(ext, SR25_REFRESH_85HZ, kSr25Refresh1024At85, 0);
  SeqModify(ext, row->Register, row->Keep, row->Set);
}

static BOOLEAN MartenNeedsSr3eD0(USHORT x, USHORT bits, ULONG rate, UCHAR memoryType,
                                 ULONG busWidth) {
  if (bits == 32) return TRUE;
  if (memoryType != 3) return FALSE;
  if (busWidth == 32) {
    return (x == 1280 && bits == 8 && rate >= 75) || (x == 1600 && bits == 8 && rate >= 65);
  }
  if (busWidth == 64) {
    return (x == 800 && bits == 16 && rate == 160) || (x == 1024 && bits == 8 && rate == 120) ||
           (x == 1024 && bits == 16 && rate >= 85) || (x == 1280 && bits == 8 && rate >= 75) ||
           (x == 1280 && bits == 16 && rate >= 60) || (x == 1600 && (bits == 8 || bits == 16));
  }
  return FALSE;
}

// Reaches the sequencer by fixed port number, not through IoBase.
VOID MartenSetSr3eD0(USHORT xResolution, USHORT yResolution, USHORT bitsPerPlane, ULONG refreshRate,
                     UCHAR memoryType, ULONG memoryBusWidth) {
  (void)yResolution;  // the rule does not depend on the height
  PortOut8(VGA_SEQ_INDEX, SR3E_MARTEN_CONTROL);
  const UCHAR value = PortIn8(VGA_SEQ_DATA);
  if (MartenNeedsSr3eD0(xResolution, bitsPerPlane, refreshRate, memoryType, memoryBusWidth)) {
    PortOut8(VGA_SEQ_DATA, value | kSr3eMartenBit0.Mask());
  } else {
    PortOut8(VGA_SEQ_DATA, value & kSr3eMartenBit0.Keep());
  }
}
