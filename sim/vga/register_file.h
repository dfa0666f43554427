// An index register in front of a file of N data registers, as the
// sequencer, the CRTC and the graphics controller each have one. Every data
// register has a write mask: bits outside it keep their value (reserved bits
// read 0, stuck bits keep what they hold).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim::vga {

template <size_t N>
class IndexedRegisterFile {
 public:
  // indexMask: the bits the index register holds.
  constexpr IndexedRegisterFile(uint8_t indexMask, const std::array<uint8_t, N>& writeMasks)
      : indexMask_(indexMask), writeMasks_(writeMasks) {}

  uint8_t Index() const { return index_; }
  void SetIndex(uint8_t value) { index_ = value & indexMask_; }
  // The selected register exists in this file.
  bool Selected() const { return index_ < N; }

  // Bus view of the selected register: an index beyond the file reads 0.
  uint8_t ReadSelected() const { return Selected() ? regs_[index_] : 0; }
  // Bus write of the selected register, through its write mask.
  void WriteSelected(uint8_t value) {
    if (Selected()) Write(index_, value);
  }
  void Write(size_t index, uint8_t value) {
    const uint8_t mask = writeMasks_[index];
    regs_[index] = static_cast<uint8_t>((regs_[index] & ~mask) | (value & mask));
  }

  // Inspection and wiring: the stored value, no side effects.
  uint8_t Get(size_t index) const { return index < N ? regs_[index] : 0; }
  const std::array<uint8_t, N>& All() const { return regs_; }
  void SetWriteMask(size_t index, uint8_t mask) { writeMasks_[index] = mask; }
  bool operator==(const IndexedRegisterFile&) const = default;

 private:
  uint8_t indexMask_;
  uint8_t index_ = 0;
  std::array<uint8_t, N> writeMasks_;
  std::array<uint8_t, N> regs_{};
};

}  // namespace sim::vga
