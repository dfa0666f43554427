// The fuzzer's bytes read front to back as the choices of one run. Past the
// end every read gives 0, so any input, even an empty one, is a whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzz {

class Input {
 public:
  explicit Input(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool Empty() const { return at_ >= bytes_.size(); }
  size_t Remaining() const { return Empty() ? 0 : bytes_.size() - at_; }

  uint8_t U8() { return Empty() ? 0 : bytes_[at_++]; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
  bool Bool() { return (U8() & 1) != 0; }
  // A value below `count` (count > 0).
  uint32_t Below(uint32_t count) { return count <= 256 ? U8() % count : U32() % count; }
  template <typename T, size_t N>
  const T& Pick(const T (&choices)[N]) {
    return choices[Below(N)];
  }
  // Up to `count` bytes, fewer when the input runs out.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = count < Remaining() ? count : Remaining();
    std::vector<uint8_t> out(bytes_.begin() + at_, bytes_.begin() + at_ + n);
    at_ += n;
    return out;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

}  // namespace fuzz
