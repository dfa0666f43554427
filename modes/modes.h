// The mode catalogue and the mode services: the mode table, mode validation
// and the mode queries.
#pragma once

#include "miniport/device_extension.h"
#include "miniport/videoport.h"

struct VgaModeEntry {
  USHORT ModeType;  // VIDEO_MODE_COLOR, plus VIDEO_MODE_GRAPHICS in the graphics rows
  USHORT NumPlanes;
  USHORT BitsPerPlane;
  SHORT TextColumns;
  SHORT TextRows;
  USHORT XResolution;
  USHORT YResolution;
  USHORT ScreenStride;
  ULONG MemoryPerPlane;
  ULONG RefreshRate;
  ULONG Interlaced;
  ULONG BankingKind;  // 0 not banked, 1 one read and one write window of 64 KB
  ULONG MemoryMapIndex;
  ULONG ValidMode;  // only the low byte is written and tested
  ULONG Int10ModeNumber;
  const USHORT* CmdStream;
};

struct VgaMemoryMap {
  ULONG Length;
  ULONG Start;
};

// A text row's cells as its BIOS mode sets them up. A font load rewrites
// the current row's TextColumns and TextRows; the row's next mode set puts
// these back.
struct VgaTextGeometry {
  SHORT Columns;
  SHORT Rows;
};

// By mode number; the text rows are the first rows of the table.
#define VGA_NUM_TEXT_MODES 2
extern const VgaTextGeometry VgaBiosTextGeometry[VGA_NUM_TEXT_MODES];

#define VGA_NUM_MEMORY_MAPS 4
#define VGA_LINEAR_MEMORY_MAP 3

extern VgaModeEntry ModesVGA[];
extern const ULONG NumVideoModes;
extern VgaMemoryMap MemoryMaps[VGA_NUM_MEMORY_MAPS];
extern ULONG AdapterMemorySize;
extern const USHORT ZEL_1K_WIDE[];

// One row of a minimum-memory-clock table; a row of zeros ends each table.
struct MinMClkEntry {
  USHORT BytesPerPixel;
  USHORT RefreshRate;
  USHORT Interlaced;     // informational: the lookup goes by refresh rate
  USHORT MinMClkMHz[3];  // by memory column
};

extern const MinMClkEntry ZelMartenMinMClk_640x480[];
extern const MinMClkEntry ZelMartenMinMClk_800x600[];
extern const MinMClkEntry ZelMartenMinMClk_1024x768[];
extern const MinMClkEntry ZelMartenMinMClk_1280x1024[];
extern const MinMClkEntry ZelMartenMinMClk_1600x1200[];

VOID VgaValidateModes(VgaDeviceExtension* ext);

VP_STATUS VPAPI VgaQueryAvailableModes(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                       PULONG information);
VP_STATUS VPAPI VgaQueryNumberOfAvailableModes(VgaDeviceExtension* ext, PVOID output,
                                               ULONG outputLength, PULONG information);
VP_STATUS VPAPI VgaQueryCurrentMode(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                    PULONG information);
