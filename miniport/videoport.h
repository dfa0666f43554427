// The video port driver's interface as a miniport sees it: the platform's
// types, records, status and control codes, and the VideoPort* services.
//
// Every record has the i386 Windows NT layout. Linux i386 aligns 64-bit
// members to 4 inside records where NT aligns them to 8, so every
// PHYSICAL_ADDRESS member is marked NT_ALIGN8 and the offsets are pinned below.
#pragma once

#include <cstddef>
#include <cstdint>

// One calling convention for every service, entry point, handler reached
// through a table and validator: stdcall on i386.
#if defined(__i386__)
#define VPAPI __attribute__((stdcall))
#else
#error "the miniport is an i386 driver: build with -m32"
#endif

#define NT_ALIGN8 alignas(8)

typedef void VOID;
typedef void* PVOID;
typedef uint8_t UCHAR;
typedef UCHAR* PUCHAR;
typedef uint8_t BOOLEAN;
typedef BOOLEAN* PBOOLEAN;
typedef uint16_t USHORT;
typedef USHORT* PUSHORT;
typedef int16_t SHORT;
typedef uint32_t ULONG;
typedef ULONG* PULONG;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint32_t ULONG_PTR;
typedef PVOID HANDLE;
// Registry strings are 16-bit characters on NT; wchar_t is 32 bits on Linux.
typedef char16_t WCHAR;
typedef WCHAR* PWSTR;

typedef LONG VP_STATUS;

#define TRUE 1
#define FALSE 0

// ---------------------------------------------------------------------------
// Status codes

#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_DEV_NOT_EXIST 55L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L

// ---------------------------------------------------------------------------
// Control codes: device type FILE_DEVICE_VIDEO (0x23), METHOD_BUFFERED,
// FILE_ANY_ACCESS; the function number sits in bits 13 to 2.

#define IOCTL_VIDEO_ENABLE_VDM 0x230000UL
#define IOCTL_VIDEO_DISABLE_VDM 0x230004UL
#define IOCTL_VIDEO_REGISTER_VDM 0x230008UL
#define IOCTL_VIDEO_SAVE_HARDWARE_STATE 0x230200UL
#define IOCTL_VIDEO_RESTORE_HARDWARE_STATE 0x230204UL
#define IOCTL_VIDEO_QUERY_AVAIL_MODES 0x230400UL
#define IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES 0x230404UL
#define IOCTL_VIDEO_QUERY_CURRENT_MODE 0x230408UL
#define IOCTL_VIDEO_SET_CURRENT_MODE 0x23040CUL
#define IOCTL_VIDEO_RESET_DEVICE 0x230410UL
#define IOCTL_VIDEO_LOAD_AND_SET_FONT 0x230414UL
#define IOCTL_VIDEO_SET_PALETTE_REGISTERS 0x230418UL
#define IOCTL_VIDEO_SET_COLOR_REGISTERS 0x23041CUL
#define IOCTL_VIDEO_ENABLE_CURSOR 0x230420UL
#define IOCTL_VIDEO_DISABLE_CURSOR 0x230424UL
#define IOCTL_VIDEO_SET_CURSOR_ATTR 0x230428UL
#define IOCTL_VIDEO_QUERY_CURSOR_ATTR 0x23042CUL
#define IOCTL_VIDEO_SET_CURSOR_POSITION 0x230430UL
#define IOCTL_VIDEO_QUERY_CURSOR_POSITION 0x230434UL
#define IOCTL_VIDEO_ENABLE_POINTER 0x230438UL
#define IOCTL_VIDEO_DISABLE_POINTER 0x23043CUL
#define IOCTL_VIDEO_SET_POINTER_ATTR 0x230440UL
#define IOCTL_VIDEO_QUERY_POINTER_ATTR 0x230444UL
#define IOCTL_VIDEO_SET_POINTER_POSITION 0x230448UL
#define IOCTL_VIDEO_QUERY_POINTER_POSITION 0x23044CUL
#define IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES 0x230450UL
#define IOCTL_VIDEO_GET_BANK_SELECT_CODE 0x230454UL
#define IOCTL_VIDEO_MAP_VIDEO_MEMORY 0x230458UL
#define IOCTL_VIDEO_UNMAP_VIDEO_MEMORY 0x23045CUL
#define IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES 0x230460UL
#define IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES 0x230464UL
#define IOCTL_VIDEO_QUERY_COLOR_CAPABILITIES 0x230468UL
#define IOCTL_VIDEO_SHARE_VIDEO_MEMORY 0x230474UL
#define IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY 0x230478UL

// ---------------------------------------------------------------------------
// Flags and enumerations

#define VIDEO_MODE_COLOR 0x01
#define VIDEO_MODE_GRAPHICS 0x02
#define VIDEO_MODE_PALETTE_DRIVEN 0x04
#define VIDEO_MODE_MANAGED_PALETTE 0x08
#define VIDEO_MODE_INTERLACED 0x10

#define VIDEO_MODE_ASYNC_POINTER 0x01
#define VIDEO_MODE_MONO_POINTER 0x02
#define VIDEO_MODE_COLOR_POINTER 0x04
#define VIDEO_MODE_ANIMATE_START 0x08
#define VIDEO_MODE_ANIMATE_UPDATE 0x10

#define VIDEO_STATE_NON_STANDARD_VGA 0x01
#define VIDEO_STATE_UNEMULATED_VGA_STATE 0x02
#define VIDEO_STATE_PACKED_CHAIN4_MODE 0x04

#define EMULATOR_READ_ACCESS 0x01
#define EMULATOR_WRITE_ACCESS 0x02

// The record tags are the platform's own names, leading underscore included.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
typedef enum _INTERFACE_TYPE {
  Internal = 0,
  Isa = 1,
  Eisa = 2,
  MicroChannel = 3,
} INTERFACE_TYPE;

typedef enum _KINTERRUPT_MODE { LevelSensitive = 0, Latched = 1 } KINTERRUPT_MODE;

typedef enum _EMULATOR_PORT_ACCESS_TYPE {
  Uchar = 0,
  Ushort = 1,
  Ulong = 2
} EMULATOR_PORT_ACCESS_TYPE;

typedef enum _VIDEO_SYNCHRONIZE_PRIORITY {
  VpLowPriority = 0,
  VpMediumPriority = 1,
  VpHighPriority = 2,
} VIDEO_SYNCHRONIZE_PRIORITY;

typedef enum _VIDEO_BANK_TYPE {
  VideoNotBanked = 0,
  VideoBanked1RW = 1,
  VideoBanked1R1W = 2,
  VideoBanked2RW = 3,
} VIDEO_BANK_TYPE;

// ---------------------------------------------------------------------------
// Records

typedef union _LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER;
typedef LARGE_INTEGER PHYSICAL_ADDRESS;

typedef struct _STATUS_BLOCK {
  union {
    VP_STATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
} STATUS_BLOCK, *PSTATUS_BLOCK;

typedef struct _VIDEO_REQUEST_PACKET {
  ULONG IoControlCode;
  PSTATUS_BLOCK StatusBlock;
  PVOID InputBuffer;
  ULONG InputBufferLength;
  PVOID OutputBuffer;
  ULONG OutputBufferLength;
} VIDEO_REQUEST_PACKET, *PVIDEO_REQUEST_PACKET;

typedef struct _VIDEO_ACCESS_RANGE {
  NT_ALIGN8 PHYSICAL_ADDRESS RangeStart;
  ULONG RangeLength;
  UCHAR RangeInIoSpace;
  UCHAR RangeVisible;
  UCHAR RangeShareable;
  // Padding on NT 3.51 and 4.0; later versions read it as passive-level
  // access flags. This driver leaves it 0.
  UCHAR RangePassive;
} VIDEO_ACCESS_RANGE, *PVIDEO_ACCESS_RANGE;

// A validator the V86 emulator calls for a trapped port.
typedef VP_STATUS(VPAPI* PVIDEO_EMULATOR_ROUTINE)(PVOID Context, ULONG Port, UCHAR AccessMode,
                                                  PVOID Data);

typedef struct _EMULATOR_ACCESS_ENTRY {
  ULONG BasePort;
  ULONG NumConsecutivePorts;
  EMULATOR_PORT_ACCESS_TYPE AccessType;
  UCHAR AccessMode;
  UCHAR StringSupport;
  PVIDEO_EMULATOR_ROUTINE Routine;
} EMULATOR_ACCESS_ENTRY, *PEMULATOR_ACCESS_ENTRY;

typedef struct _VIDEO_PORT_CONFIG_INFO {
  ULONG Length;
  ULONG SystemIoBusNumber;
  INTERFACE_TYPE AdapterInterfaceType;
  ULONG BusInterruptLevel;
  ULONG BusInterruptVector;
  KINTERRUPT_MODE InterruptMode;
  ULONG NumEmulatorAccessEntries;
  PEMULATOR_ACCESS_ENTRY EmulatorAccessEntries;
  ULONG_PTR EmulatorAccessEntriesContext;
  NT_ALIGN8 PHYSICAL_ADDRESS VdmPhysicalVideoMemoryAddress;
  ULONG VdmPhysicalVideoMemoryLength;
  ULONG HardwareStateSize;
  ULONG DmaChannel;
  ULONG DmaPort;
  UCHAR DmaShareable;
  UCHAR InterruptShareable;
} VIDEO_PORT_CONFIG_INFO, *PVIDEO_PORT_CONFIG_INFO;

typedef VP_STATUS(VPAPI* PVIDEO_HW_FIND_ADAPTER)(PVOID HwDeviceExtension, PVOID HwContext,
                                                 PWSTR ArgumentString,
                                                 PVIDEO_PORT_CONFIG_INFO ConfigInfo, PUCHAR Again);
typedef BOOLEAN(VPAPI* PVIDEO_HW_INITIALIZE)(PVOID HwDeviceExtension);
typedef BOOLEAN(VPAPI* PVIDEO_HW_INTERRUPT)(PVOID HwDeviceExtension);
typedef BOOLEAN(VPAPI* PVIDEO_HW_START_IO)(PVOID HwDeviceExtension,
                                           PVIDEO_REQUEST_PACKET RequestPacket);
typedef BOOLEAN(VPAPI* PVIDEO_HW_RESET_HW)(PVOID HwDeviceExtension, ULONG Columns, ULONG Rows);
typedef VOID(VPAPI* PVIDEO_HW_TIMER)(PVOID HwDeviceExtension);
typedef BOOLEAN(VPAPI* PMINIPORT_SYNCHRONIZE_ROUTINE)(PVOID Context);

typedef struct _VIDEO_HW_INITIALIZATION_DATA {
  ULONG HwInitDataSize;
  INTERFACE_TYPE AdapterInterfaceType;
  PVIDEO_HW_FIND_ADAPTER HwFindAdapter;
  PVIDEO_HW_INITIALIZE HwInitialize;
  PVIDEO_HW_INTERRUPT HwInterrupt;
  PVIDEO_HW_START_IO HwStartIO;
  ULONG HwDeviceExtensionSize;
  ULONG StartingDeviceNumber;
  PVIDEO_HW_RESET_HW HwResetHw;
  PVIDEO_HW_TIMER HwTimer;
} VIDEO_HW_INITIALIZATION_DATA, *PVIDEO_HW_INITIALIZATION_DATA;

typedef struct _VIDEO_X86_BIOS_ARGUMENTS {
  ULONG Eax;
  ULONG Ebx;
  ULONG Ecx;
  ULONG Edx;
  ULONG Esi;
  ULONG Edi;
  ULONG Ebp;
} VIDEO_X86_BIOS_ARGUMENTS, *PVIDEO_X86_BIOS_ARGUMENTS;

typedef struct _VIDEO_MODE {
  ULONG RequestedMode;
} VIDEO_MODE, *PVIDEO_MODE;

typedef struct _VIDEO_MODE_INFORMATION {
  ULONG Length;
  ULONG ModeIndex;
  ULONG VisScreenWidth;
  ULONG VisScreenHeight;
  ULONG ScreenStride;
  ULONG NumberOfPlanes;
  ULONG BitsPerPlane;
  ULONG Frequency;
  ULONG XMillimeter;
  ULONG YMillimeter;
  ULONG NumberRedBits;
  ULONG NumberGreenBits;
  ULONG NumberBlueBits;
  ULONG RedMask;
  ULONG GreenMask;
  ULONG BlueMask;
  ULONG AttributeFlags;
  ULONG VideoMemoryBitmapWidth;
  ULONG VideoMemoryBitmapHeight;
  ULONG DriverSpecificAttributeFlags;
} VIDEO_MODE_INFORMATION, *PVIDEO_MODE_INFORMATION;

typedef struct _VIDEO_NUM_MODES {
  ULONG NumModes;
  ULONG ModeInformationLength;
} VIDEO_NUM_MODES, *PVIDEO_NUM_MODES;

typedef struct _VIDEO_MEMORY {
  PVOID RequestedVirtualAddress;
} VIDEO_MEMORY, *PVIDEO_MEMORY;

typedef struct _VIDEO_MEMORY_INFORMATION {
  PVOID VideoRamBase;
  ULONG VideoRamLength;
  PVOID FrameBufferBase;
  ULONG FrameBufferLength;
} VIDEO_MEMORY_INFORMATION, *PVIDEO_MEMORY_INFORMATION;

typedef struct _VIDEO_PUBLIC_ACCESS_RANGES {
  ULONG InIoSpace;
  ULONG MappedInIoSpace;
  PVOID VirtualAddress;
} VIDEO_PUBLIC_ACCESS_RANGES, *PVIDEO_PUBLIC_ACCESS_RANGES;

typedef struct _VIDEO_SHARE_MEMORY {
  HANDLE ProcessHandle;
  ULONG ViewOffset;
  ULONG ViewSize;
  PVOID RequestedVirtualAddress;
} VIDEO_SHARE_MEMORY, *PVIDEO_SHARE_MEMORY;

typedef struct _VIDEO_SHARE_MEMORY_INFORMATION {
  ULONG SharedViewOffset;
  ULONG SharedViewSize;
  PVOID VirtualAddress;
} VIDEO_SHARE_MEMORY_INFORMATION, *PVIDEO_SHARE_MEMORY_INFORMATION;

typedef struct _VIDEO_HARDWARE_STATE_HEADER {
  ULONG Length;
  UCHAR PortValue[0x30];
  ULONG AttribIndexDataState;
  ULONG BasicSequencerOffset;
  ULONG BasicCrtContOffset;
  ULONG BasicGraphContOffset;
  ULONG BasicAttribContOffset;
  ULONG BasicDacOffset;
  ULONG BasicLatchesOffset;
  ULONG ExtendedSequencerOffset;
  ULONG ExtendedCrtContOffset;
  ULONG ExtendedGraphContOffset;
  ULONG ExtendedAttribContOffset;
  ULONG ExtendedDacOffset;
  ULONG ExtendedValidatorStateOffset;
  ULONG ExtendedMiscDataOffset;
  ULONG PlaneLength;
  ULONG Plane1Offset;
  ULONG Plane2Offset;
  ULONG Plane3Offset;
  ULONG Plane4Offset;
  ULONG VGAStateFlags;
  ULONG DIBOffset;
  ULONG DIBBitsPerPixel;
  ULONG DIBXResolution;
  ULONG DIBYResolution;
  ULONG DIBXlatOffset;
  ULONG DIBXlatLength;
} VIDEO_HARDWARE_STATE_HEADER, *PVIDEO_HARDWARE_STATE_HEADER;

typedef struct _VIDEO_HARDWARE_STATE {
  PVIDEO_HARDWARE_STATE_HEADER StateHeader;
  ULONG StateLength;
} VIDEO_HARDWARE_STATE, *PVIDEO_HARDWARE_STATE;

typedef struct _VIDEO_LOAD_FONT_INFORMATION {
  USHORT WidthInPixels;
  USHORT HeightInPixels;
  ULONG FontSize;
  UCHAR Font[1];
} VIDEO_LOAD_FONT_INFORMATION, *PVIDEO_LOAD_FONT_INFORMATION;

typedef struct _VIDEO_CURSOR_POSITION {
  SHORT Column;
  SHORT Row;
} VIDEO_CURSOR_POSITION, *PVIDEO_CURSOR_POSITION;

typedef struct _VIDEO_CURSOR_ATTRIBUTES {
  USHORT Width;
  USHORT Height;
  SHORT Column;
  SHORT Row;
  UCHAR Rate;
  UCHAR Enable;
} VIDEO_CURSOR_ATTRIBUTES, *PVIDEO_CURSOR_ATTRIBUTES;

typedef struct _VIDEO_POINTER_CAPABILITIES {
  ULONG Flags;
  ULONG MaxWidth;
  ULONG MaxHeight;
  ULONG HWPtrBitmapStart;
  ULONG HWPtrBitmapEnd;
} VIDEO_POINTER_CAPABILITIES, *PVIDEO_POINTER_CAPABILITIES;

typedef struct _VIDEO_POINTER_ATTRIBUTES {
  ULONG Flags;
  ULONG Width;
  ULONG Height;
  ULONG WidthInBytes;
  ULONG Enable;
  SHORT Column;
  SHORT Row;
  UCHAR Pixels[1];
} VIDEO_POINTER_ATTRIBUTES, *PVIDEO_POINTER_ATTRIBUTES;

typedef struct _VIDEO_POINTER_POSITION {
  SHORT Column;
  SHORT Row;
} VIDEO_POINTER_POSITION, *PVIDEO_POINTER_POSITION;

typedef struct _VIDEO_PALETTE_DATA {
  USHORT NumEntries;
  USHORT FirstEntry;
  USHORT Colors[1];
} VIDEO_PALETTE_DATA, *PVIDEO_PALETTE_DATA;

typedef struct _VIDEO_CLUTDATA {
  UCHAR Red;
  UCHAR Green;
  UCHAR Blue;
  UCHAR Unused;
} VIDEO_CLUTDATA, *PVIDEO_CLUTDATA;

typedef struct _VIDEO_CLUT {
  USHORT NumEntries;
  USHORT FirstEntry;
  union {
    VIDEO_CLUTDATA RgbArray;
    ULONG RgbLong;
  } LookupTable[1];
} VIDEO_CLUT, *PVIDEO_CLUT;

typedef struct _VIDEO_BANK_SELECT {
  ULONG Length;
  ULONG Size;
  ULONG BankingFlags;
  ULONG BankingType;
  ULONG PlanarHCBankingType;
  ULONG BitmapWidthInBytes;
  ULONG BitmapSize;
  ULONG Granularity;
  ULONG PlanarHCGranularity;
  ULONG CodeOffset;
  ULONG PlanarHCBankCodeOffset;
  ULONG PlanarHCEnableCodeOffset;
  ULONG PlanarHCDisableCodeOffset;
} VIDEO_BANK_SELECT, *PVIDEO_BANK_SELECT;
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

// ---------------------------------------------------------------------------
// The i386 layouts, pinned.

static_assert(sizeof(PVOID) == 4, "i386 pointers");
static_assert(sizeof(WCHAR) == 2, "registry strings are 16-bit characters");
static_assert(sizeof(PHYSICAL_ADDRESS) == 8);
static_assert(sizeof(STATUS_BLOCK) == 8);
static_assert(sizeof(VIDEO_REQUEST_PACKET) == 24);
static_assert(sizeof(VIDEO_ACCESS_RANGE) == 16);
static_assert(offsetof(VIDEO_ACCESS_RANGE, RangeLength) == 8);
static_assert(offsetof(VIDEO_ACCESS_RANGE, RangeInIoSpace) == 12);
static_assert(offsetof(VIDEO_ACCESS_RANGE, RangeShareable) == 14);
static_assert(sizeof(EMULATOR_ACCESS_ENTRY) == 20);
static_assert(offsetof(EMULATOR_ACCESS_ENTRY, AccessMode) == 12);
static_assert(offsetof(EMULATOR_ACCESS_ENTRY, Routine) == 16);
static_assert(sizeof(VIDEO_HW_INITIALIZATION_DATA) == 40);
static_assert(offsetof(VIDEO_HW_INITIALIZATION_DATA, HwStartIO) == 20);
static_assert(offsetof(VIDEO_HW_INITIALIZATION_DATA, HwDeviceExtensionSize) == 24);
static_assert(sizeof(VIDEO_PORT_CONFIG_INFO) >= 72);
static_assert(sizeof(VIDEO_PORT_CONFIG_INFO) == 72);
static_assert(offsetof(VIDEO_PORT_CONFIG_INFO, EmulatorAccessEntriesContext) == 32);
static_assert(offsetof(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryAddress) == 40);
static_assert(offsetof(VIDEO_PORT_CONFIG_INFO, VdmPhysicalVideoMemoryLength) == 48);
static_assert(offsetof(VIDEO_PORT_CONFIG_INFO, HardwareStateSize) == 52);
static_assert(sizeof(VIDEO_X86_BIOS_ARGUMENTS) == 28);
static_assert(sizeof(VIDEO_MODE) == 4);
static_assert(sizeof(VIDEO_MODE_INFORMATION) == 80);
static_assert(sizeof(VIDEO_NUM_MODES) == 8);
static_assert(sizeof(VIDEO_MEMORY) == 4);
static_assert(sizeof(VIDEO_MEMORY_INFORMATION) == 16);
static_assert(offsetof(VIDEO_MEMORY_INFORMATION, FrameBufferBase) == 8);
static_assert(sizeof(VIDEO_PUBLIC_ACCESS_RANGES) == 12);
static_assert(sizeof(VIDEO_SHARE_MEMORY) == 16);
static_assert(offsetof(VIDEO_SHARE_MEMORY, ViewSize) == 8);
static_assert(sizeof(VIDEO_SHARE_MEMORY_INFORMATION) == 12);
static_assert(sizeof(VIDEO_HARDWARE_STATE) == 8);
static_assert(sizeof(VIDEO_HARDWARE_STATE_HEADER) == 156);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, AttribIndexDataState) == 52);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, PortValue) == 4);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, Plane4Offset) == 124);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, VGAStateFlags) == 128);
static_assert(offsetof(VIDEO_HARDWARE_STATE_HEADER, DIBXlatLength) == 152);
static_assert(sizeof(VIDEO_LOAD_FONT_INFORMATION) == 12);
static_assert(offsetof(VIDEO_LOAD_FONT_INFORMATION, Font) == 8);
static_assert(sizeof(VIDEO_CURSOR_POSITION) == 4);
static_assert(sizeof(VIDEO_CURSOR_ATTRIBUTES) == 10);
static_assert(offsetof(VIDEO_CURSOR_ATTRIBUTES, Enable) == 9);
static_assert(sizeof(VIDEO_POINTER_CAPABILITIES) == 20);
static_assert(sizeof(VIDEO_POINTER_ATTRIBUTES) == 28);
static_assert(offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels) == 24);
static_assert(sizeof(VIDEO_POINTER_POSITION) == 4);
static_assert(sizeof(VIDEO_PALETTE_DATA) == 6);
static_assert(sizeof(VIDEO_CLUT) == 8);
static_assert(offsetof(VIDEO_CLUT, LookupTable) == 4);
static_assert(sizeof(VIDEO_BANK_SELECT) == 52);
static_assert(offsetof(VIDEO_BANK_SELECT, CodeOffset) == 36);

// ---------------------------------------------------------------------------
// The services of VIDEOPRT.SYS that the driver calls, and nothing else.

extern "C" {

ULONG VPAPI VideoPortInitialize(PVOID Argument1, PVOID Argument2,
                                PVIDEO_HW_INITIALIZATION_DATA HwInitializationData,
                                PVOID HwContext);

UCHAR VPAPI VideoPortReadPortUchar(PUCHAR Port);
USHORT VPAPI VideoPortReadPortUshort(PUSHORT Port);
ULONG VPAPI VideoPortReadPortUlong(PULONG Port);
VOID VPAPI VideoPortWritePortUchar(PUCHAR Port, UCHAR Value);
VOID VPAPI VideoPortWritePortUshort(PUSHORT Port, USHORT Value);
VOID VPAPI VideoPortWritePortUlong(PULONG Port, ULONG Value);
VOID VPAPI VideoPortWritePortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count);
VOID VPAPI VideoPortWritePortBufferUshort(PUSHORT Port, PUSHORT Buffer, ULONG Count);

UCHAR VPAPI VideoPortReadRegisterUchar(PUCHAR Register);
VOID VPAPI VideoPortWriteRegisterUchar(PUCHAR Register, UCHAR Value);
VOID VPAPI VideoPortWriteRegisterBufferUchar(PUCHAR Register, PUCHAR Buffer, ULONG Count);

VOID VPAPI VideoPortMoveMemory(PVOID Destination, PVOID Source, ULONG Length);
VOID VPAPI VideoPortZeroMemory(PVOID Destination, ULONG Length);

PVOID VPAPI VideoPortGetDeviceBase(PVOID HwDeviceExtension, PHYSICAL_ADDRESS IoAddress,
                                   ULONG NumberOfUchars, UCHAR InIoSpace);
VOID VPAPI VideoPortFreeDeviceBase(PVOID HwDeviceExtension, PVOID MappedAddress);
VP_STATUS VPAPI VideoPortVerifyAccessRanges(PVOID HwDeviceExtension, ULONG NumAccessRanges,
                                            PVIDEO_ACCESS_RANGE AccessRanges);

VP_STATUS VPAPI VideoPortMapMemory(PVOID HwDeviceExtension, PHYSICAL_ADDRESS PhysicalAddress,
                                   PULONG Length, PULONG InIoSpace, PVOID* VirtualAddress);
VP_STATUS VPAPI VideoPortUnmapMemory(PVOID HwDeviceExtension, PVOID VirtualAddress,
                                     HANDLE ProcessHandle);

VP_STATUS VPAPI VideoPortInt10(PVOID HwDeviceExtension, PVIDEO_X86_BIOS_ARGUMENTS BiosArguments);

VP_STATUS VPAPI VideoPortSetRegistryParameters(PVOID HwDeviceExtension, PWSTR ValueName,
                                               PVOID ValueData, ULONG ValueLength);

VP_STATUS VPAPI VideoPortSetTrappedEmulatorPorts(PVOID HwDeviceExtension, ULONG NumAccessRanges,
                                                 PVIDEO_ACCESS_RANGE AccessRange);

BOOLEAN VPAPI VideoPortSynchronizeExecution(PVOID HwDeviceExtension,
                                            VIDEO_SYNCHRONIZE_PRIORITY Priority,
                                            PMINIPORT_SYNCHRONIZE_ROUTINE SynchronizeRoutine,
                                            PVOID Context);

// The driver's own entry point, called once by the system at load.
ULONG VPAPI DriverEntry(PVOID DriverObject, PVOID RegistryPath);

}  // extern "C"

typedef ULONG(VPAPI* PDRIVER_ENTRY)(PVOID DriverObject, PVOID RegistryPath);
