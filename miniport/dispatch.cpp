// VgaStartIO: every request of the display driver and of the full-screen
// console arrives here and goes to its handler by control code.
#include "miniport/miniport.h"
#include "modes/mode_set.h"
#include "modes/modes.h"
#include "services/services.h"
#include "vdm/vdm.h"

namespace {

// What a handler takes from the request.
enum class RequestKind : UCHAR {
  None,         // the device extension only
  Input,        // input buffer and length
  Output,       // output buffer, length and the Information to set
  InputOutput,  // both
};

typedef VP_STATUS(VPAPI* NoBufferHandler)(VgaDeviceExtension* ext);
typedef VP_STATUS(VPAPI* InputHandler)(VgaDeviceExtension* ext, PVOID input, ULONG inputLength);
typedef VP_STATUS(VPAPI* OutputHandler)(VgaDeviceExtension* ext, PVOID output, ULONG outputLength,
                                        PULONG information);
typedef VP_STATUS(VPAPI* InputOutputHandler)(VgaDeviceExtension* ext, PVOID input,
                                             ULONG inputLength, PVOID output, ULONG outputLength,
                                             PULONG information);

union RequestHandler {
  NoBufferHandler none;
  InputHandler input;
  OutputHandler output;
  InputOutputHandler inputOutput;
};

struct DispatchRow {
  ULONG code;
  RequestKind kind;
  RequestHandler handler;
};

VP_STATUS VPAPI VgaEnableVdmRequest(VgaDeviceExtension* ext) {
  return VgaEnableVdm(ext);
}

// Codes absent from the table answer ERROR_INVALID_FUNCTION.
// clang-format off
constexpr DispatchRow kDispatch[] = {
    {IOCTL_VIDEO_ENABLE_VDM,                 RequestKind::None,        {.none = VgaEnableVdmRequest}},
    {IOCTL_VIDEO_QUERY_AVAIL_MODES,          RequestKind::Output,      {.output = VgaQueryAvailableModes}},
    {IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES,      RequestKind::Output,      {.output = VgaQueryNumberOfAvailableModes}},
    {IOCTL_VIDEO_QUERY_CURRENT_MODE,         RequestKind::Output,      {.output = VgaQueryCurrentMode}},
    {IOCTL_VIDEO_SET_CURRENT_MODE,           RequestKind::Input,       {.input = VgaSetMode}},
    {IOCTL_VIDEO_RESET_DEVICE,               RequestKind::None,        {.none = VgaResetDevice}},
    {IOCTL_VIDEO_LOAD_AND_SET_FONT,          RequestKind::Input,       {.input = VgaLoadAndSetFont}},
    {IOCTL_VIDEO_SET_PALETTE_REGISTERS,      RequestKind::Input,       {.input = VgaSetPaletteReg}},
    {IOCTL_VIDEO_SET_COLOR_REGISTERS,        RequestKind::Input,       {.input = VgaSetColorLookup}},
    {IOCTL_VIDEO_SET_CURSOR_ATTR,            RequestKind::Input,       {.input = VgaSetCursorAttributes}},
    {IOCTL_VIDEO_QUERY_CURSOR_ATTR,          RequestKind::Output,      {.output = VgaQueryCursorAttributes}},
    {IOCTL_VIDEO_SET_CURSOR_POSITION,        RequestKind::Input,       {.input = VgaSetCursorPosition}},
    {IOCTL_VIDEO_QUERY_CURSOR_POSITION,      RequestKind::Output,      {.output = VgaQueryCursorPosition}},
    {IOCTL_VIDEO_ENABLE_POINTER,             RequestKind::None,        {.none = ZelEnablePointer}},
    {IOCTL_VIDEO_DISABLE_POINTER,            RequestKind::None,        {.none = ZelDisablePointer}},
    {IOCTL_VIDEO_SET_POINTER_ATTR,           RequestKind::Input,       {.input = ZelSetPointerAttributes}},
    {IOCTL_VIDEO_SET_POINTER_POSITION,       RequestKind::Input,       {.input = ZelSetPointerPosition}},
    {IOCTL_VIDEO_QUERY_POINTER_POSITION,     RequestKind::Output,      {.output = ZelQueryPointerPosition}},
    {IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, RequestKind::Output,      {.output = ZelQueryPointerCapabilities}},
    {IOCTL_VIDEO_GET_BANK_SELECT_CODE,       RequestKind::Output,      {.output = VgaGetBankSelectCode}},
    {IOCTL_VIDEO_MAP_VIDEO_MEMORY,           RequestKind::InputOutput, {.inputOutput = VgaMapVideoMemory}},
    {IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,         RequestKind::Input,       {.input = VgaUnmapVideoMemory}},
    {IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, RequestKind::Output,      {.output = VgaQueryPublicAccessRanges}},
    {IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES,  RequestKind::Input,       {.input = VgaFreePublicAccessRanges}},
    {IOCTL_VIDEO_SAVE_HARDWARE_STATE,        RequestKind::Output,      {.output = VgaSaveHardwareState}},
    {IOCTL_VIDEO_RESTORE_HARDWARE_STATE,     RequestKind::Input,       {.input = VgaRestoreHardwareState}},
    {IOCTL_VIDEO_SHARE_VIDEO_MEMORY,         RequestKind::InputOutput, {.inputOutput = VgaShareVideoMemory}},
    {IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY,       RequestKind::Input,       {.input = VgaUnshareVideoMemory}},
};
// clang-format on

const DispatchRow* FindRow(ULONG code) {
  for (const DispatchRow& row : kDispatch) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

BOOLEAN VPAPI VgaStartIO(PVOID HwDeviceExtension, PVIDEO_REQUEST_PACKET RequestPacket) {
  VgaDeviceExtension* ext = static_cast<VgaDeviceExtension*>(HwDeviceExtension);
  VIDEO_REQUEST_PACKET* request = RequestPacket;
  PULONG information = &request->StatusBlock->Information;

  VP_STATUS status = ERROR_INVALID_FUNCTION;
  const DispatchRow* row = FindRow(request->IoControlCode);
  if (row != nullptr) {
    switch (row->kind) {
      case RequestKind::None:
        status = row->handler.none(ext);
        break;
      case RequestKind::Input:
        status = row->handler.input(ext, request->InputBuffer, request->InputBufferLength);
        break;
      case RequestKind::Output:
        status = row->handler.output(ext, request->OutputBuffer, request->OutputBufferLength,
                                     information);
        break;
      case RequestKind::InputOutput:
        status = row->handler.inputOutput(ext, request->InputBuffer, request->InputBufferLength,
                                          request->OutputBuffer, request->OutputBufferLength,
                                          information);
        break;
    }
  }

  request->StatusBlock->Status = status;
  return TRUE;
}
