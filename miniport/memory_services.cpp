// The memory-mapping services: video memory and frame buffer into the
// caller, the public access ranges, and shared views of the frame.
#include "miniport/address_map.h"
#include "miniport/miniport.h"
#include "miniport/range.h"

// The first 36 KB of the VGA window.
#define PUBLIC_RANGE_LENGTH 0x9000

VP_STATUS VPAPI VgaMapVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength,
                                  PVOID output, ULONG outputLength, PULONG information) {
  *information = 0;
  // Before the first mode set there is no video memory window to map.
  if (ext->CurrentMode == nullptr) return ERROR_INVALID_PARAMETER;
  if (inputLength < sizeof(VIDEO_MEMORY) || outputLength < sizeof(VIDEO_MEMORY_INFORMATION)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  // Input and output may be one buffer: take the request before answering.
  void* const requested = static_cast<VIDEO_MEMORY*>(input)->RequestedVirtualAddress;
  VIDEO_MEMORY_INFORMATION* memory = static_cast<VIDEO_MEMORY_INFORMATION*>(output);

  *information = sizeof(VIDEO_MEMORY_INFORMATION);
  memory->VideoRamBase = requested;
  memory->VideoRamLength = ext->VideoMemoryLength;
  ULONG inIoSpace = 0;
  const VP_STATUS status = VideoPortMapMemory(
      ext, ext->VideoMemoryPhysical, &memory->VideoRamLength, &inIoSpace, &memory->VideoRamBase);

  // The frame lies inside the window just mapped (at 0x18000 in text modes,
  // at its start in linear modes); filled whatever the mapping said.
  const ULONG frameOffset = ext->FramePhysical.LowPart - ext->VideoMemoryPhysical.LowPart;
  // In integers: after a failed mapping the base may be null, and no
  // pointer may be offset from null.
  memory->FrameBufferBase = reinterpret_cast<PVOID>(  // NOLINT(performance-no-int-to-ptr)
      reinterpret_cast<ULONG_PTR>(memory->VideoRamBase) + frameOffset);
  memory->FrameBufferLength = ext->FrameLength;
  return status;
}

VP_STATUS VPAPI VgaUnmapVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (inputLength < sizeof(VIDEO_MEMORY)) return ERROR_INSUFFICIENT_BUFFER;
  return VideoPortUnmapMemory(ext, static_cast<VIDEO_MEMORY*>(input)->RequestedVirtualAddress,
                              nullptr);
}

// Two ranges: the first 36 KB of the graphics window, then the BIOS ROM.
VP_STATUS VPAPI VgaQueryPublicAccessRanges(VgaDeviceExtension* ext, PVOID output,
                                           ULONG outputLength, PULONG information) {
  *information = 2 * sizeof(VIDEO_PUBLIC_ACCESS_RANGES);
  if (outputLength < 2 * sizeof(VIDEO_PUBLIC_ACCESS_RANGES)) return ERROR_INSUFFICIENT_BUFFER;
  VIDEO_PUBLIC_ACCESS_RANGES* ranges = static_cast<VIDEO_PUBLIC_ACCESS_RANGES*>(output);

  ext->PublicRangePhysical = PhysicalAddress(kVgaWindowPhysical);
  ext->PublicRangeLength = PUBLIC_RANGE_LENGTH;
  ext->PublicRangeInIoSpace = 0;

  ranges[0].VirtualAddress = nullptr;
  ranges[0].InIoSpace = ext->PublicRangeInIoSpace;
  ranges[0].MappedInIoSpace = ext->PublicRangeInIoSpace;
  ULONG length = ext->PublicRangeLength;
  VP_STATUS status = VideoPortMapMemory(ext, ext->PublicRangePhysical, &length,
                                        &ranges[0].MappedInIoSpace, &ranges[0].VirtualAddress);
  if (status != NO_ERROR) return status;

  ranges[1].VirtualAddress = nullptr;
  ranges[1].InIoSpace = 0;
  ranges[1].MappedInIoSpace = 0;
  length = ext->RomLength;
  status = VideoPortMapMemory(ext, ext->RomPhysical, &length, &ranges[1].MappedInIoSpace,
                              &ranges[1].VirtualAddress);
  return status;
}

VP_STATUS VPAPI VgaFreePublicAccessRanges(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (inputLength < 2 * sizeof(VIDEO_MEMORY)) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_MEMORY* ranges = static_cast<const VIDEO_MEMORY*>(input);

  const VP_STATUS status = VideoPortUnmapMemory(ext, ranges[0].RequestedVirtualAddress, nullptr);
  if (status != NO_ERROR) return status;
  return VideoPortUnmapMemory(ext, ranges[1].RequestedVirtualAddress, nullptr);
}

// A view of the current mode's frame for another process. The whole frame is
// mapped from its start; the offset only travels back to the caller.
VP_STATUS VPAPI VgaShareVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength,
                                    PVOID output, ULONG outputLength, PULONG information) {
  if (outputLength < sizeof(VIDEO_SHARE_MEMORY_INFORMATION) ||
      inputLength < sizeof(VIDEO_SHARE_MEMORY)) {
    return ERROR_INSUFFICIENT_BUFFER;
  }
  // Input and output may be one buffer: take the request before answering.
  const VIDEO_SHARE_MEMORY request = *static_cast<const VIDEO_SHARE_MEMORY*>(input);

  if (!RangeFits(request.ViewOffset, request.ViewSize, ext->VideoMemorySize)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (!RangeFits(request.ViewOffset, request.ViewSize, ext->FrameLength)) {
    return ERROR_INVALID_PARAMETER;
  }

  *information = sizeof(VIDEO_SHARE_MEMORY_INFORMATION);
  ULONG length = request.ViewSize;
  ULONG inIoSpace = 0;
  PVOID virtualAddress = request.ProcessHandle;
  const VP_STATUS status =
      VideoPortMapMemory(ext, ext->FramePhysical, &length, &inIoSpace, &virtualAddress);

  VIDEO_SHARE_MEMORY_INFORMATION* shared = static_cast<VIDEO_SHARE_MEMORY_INFORMATION*>(output);
  shared->SharedViewOffset = request.ViewOffset;
  shared->VirtualAddress = virtualAddress;
  shared->SharedViewSize = length;
  return status;
}

VP_STATUS VPAPI VgaUnshareVideoMemory(VgaDeviceExtension* ext, PVOID input, ULONG inputLength) {
  if (inputLength < sizeof(VIDEO_SHARE_MEMORY)) return ERROR_INSUFFICIENT_BUFFER;
  const VIDEO_SHARE_MEMORY* request = static_cast<const VIDEO_SHARE_MEMORY*>(input);
  return VideoPortUnmapMemory(ext, request->RequestedVirtualAddress, request->ProcessHandle);
}
