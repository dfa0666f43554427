// The VGA general registers: miscellaneous output (write 0x3C2, read 0x3CC),
// feature control (write 0x3DA/0x3BA, read 0x3CA), input status 0 (0x3C2),
// input status 1 (0x3DA/0x3BA) with its display timing, and the video
// subsystem enable at 0x3C3.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::vga {

inline constexpr uint16_t kMiscWritePort = 0x3C2;  // read: input status 0
inline constexpr uint16_t kVideoEnablePort = 0x3C3;
inline constexpr uint16_t kFeatureReadPort = 0x3CA;
inline constexpr uint16_t kMiscReadPort = 0x3CC;
inline constexpr uint16_t kStatus1MonoPort = 0x3BA;   // write: feature control
inline constexpr uint16_t kStatus1ColorPort = 0x3DA;  // write: feature control

inline constexpr uint8_t kMiscColorAddressing = 0x01;
inline constexpr uint8_t kMiscRamEnable = 0x02;    // processor access to display memory
inline constexpr uint8_t kMiscClockSelect = 0x0C;  // bits 3-2
inline constexpr uint8_t kMiscHSyncNegative = 0x40;
inline constexpr uint8_t kMiscVSyncNegative = 0x80;
inline constexpr uint8_t kStatusDisplayDisabled = 0x01;
inline constexpr uint8_t kStatusVerticalRetrace = 0x08;

class General {
 public:
  // Status reads one frame lasts; the last kRetraceReads of them are in
  // vertical retrace.
  static constexpr uint32_t kReadsPerFrame = 64;
  static constexpr uint32_t kRetraceReads = 8;

  uint8_t Misc() const { return misc_; }
  void WriteMisc(uint8_t value) { misc_ = value; }
  bool ColorAddressing() const { return misc_ & kMiscColorAddressing; }
  bool RamEnabled() const { return misc_ & kMiscRamEnable; }
  uint8_t FeatureControl() const { return feature_; }
  void WriteFeatureControl(uint8_t value) { feature_ = value; }
  uint8_t VideoEnable() const { return videoEnable_; }
  void WriteVideoEnable(uint8_t value) { videoEnable_ = value; }

  // No switch sense and no pending vertical interrupt.
  uint8_t InputStatus0() const { return 0x00; }
  // Every read moves the display on by one step.
  uint8_t ReadInputStatus1();
  // Input status 1 as the next read would return it.
  uint8_t PeekInputStatus1() const;
  void StickStatusBits(uint8_t mask, uint8_t value);
  bool operator==(const General&) const = default;

 private:
  uint8_t misc_ = 0;
  uint8_t feature_ = 0;
  uint8_t videoEnable_ = 0;
  uint32_t statusReads_ = 0;
  uint8_t stuckMask_ = 0;
  uint8_t stuckValue_ = 0;
};

}  // namespace sim::vga
