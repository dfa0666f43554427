// The adapter's video memory: its bytes, and a record of the writes made to
// them. While a record runs, each 4 KB page keeps what it held before its
// first write, so that what a stretch of activity changed is found by
// looking at those pages alone instead of copying and comparing megabytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace sim::vga {

class VideoMemory {
 public:
  static constexpr uint32_t kPageShift = 12;
  static constexpr uint32_t kPageBytes = 1u << kPageShift;

  // `bytes` of zeros.
  explicit VideoMemory(uint32_t bytes);
  // A copy holds the bytes; no record runs in it.
  VideoMemory(const VideoMemory& other);
  VideoMemory& operator=(const VideoMemory& other);
  ~VideoMemory();

  uint32_t Size() const { return size_; }
  std::span<const uint8_t> Bytes() const { return {data_.get(), size_}; }
  uint8_t operator[](uint32_t at) const { return data_[at]; }
  // The bytes alone count, not the record.
  bool operator==(const VideoMemory& other) const;

  // ---- writes the record follows
  void Store(uint32_t at, uint8_t value) {
    Note(at >> kPageShift);
    data_[at] = value;
  }
  // The byte into each plane of `planes` (bits 0-3) at bytes at to at + 3,
  // one 4-byte group (at a multiple of 4, inside the memory).
  [[gnu::always_inline]] void StorePlanes(uint32_t at, uint8_t planes, uint8_t value) {
    Note(at >> kPageShift);
    // One masked store of the group: plane bit p becomes byte lane p.
    const uint32_t lanes = ((planes & 0x0Fu) * 0x00204081u & 0x01010101u) * 0xFFu;
    uint32_t group;
    std::memcpy(&group, data_.get() + at, 4);
    group = (group & ~lanes) | (value * 0x01010101u & lanes);
    std::memcpy(data_.get() + at, &group, 4);
  }
  // Bytes [at, at + length) for writing, all inside the memory.
  uint8_t* Writable(uint32_t at, uint32_t length) {
    if (recording_) KeepRange(at, length);
    return data_.get() + at;
  }

  // ---- writes it cannot follow
  // The whole memory for a hand that writes it directly (the BIOS's clear,
  // a test setting up): while a record runs, every page counts as written
  // from here on, with nothing known of what it held.
  std::span<uint8_t> Unfollowed();
  // Where the bytes live, for a caller mapping of the linear aperture: its
  // writes are a caller's plain memory stores, outside the bus.
  uint8_t* Storage() { return data_.get(); }

  // ---- the record
  void StartRecord();  // forgets the previous one
  void StopRecord();
  bool Recording() const { return recording_; }
  // Something wrote the memory as a whole while recording.
  bool WrittenWhole() const { return writtenWhole_; }
  struct WrittenPage {
    uint32_t offset;
    std::span<const uint8_t> before, now;
  };
  // The pages written since the record started, in the order first written.
  std::vector<WrittenPage> WrittenPages() const;

 private:
  [[gnu::always_inline]] void Note(uint32_t page) {
    if (recording_ && !written_[page]) Keep(page);
  }
  uint32_t PageLength(uint32_t page) const;
  void Keep(uint32_t page);
  void KeepRange(uint32_t at, uint32_t length);

  struct Free {
    void operator()(uint8_t* bytes) const;
  };
  using Buffer = std::unique_ptr<uint8_t[], Free>;
  friend class Spares;

  uint32_t size_;
  Buffer data_;
  bool recording_ = false;
  bool writtenWhole_ = false;
  // While recording: per page whether it was written, the pages in the
  // order first written, and beside the memory what each held before (at
  // the page's own offset).
  std::vector<uint8_t> written_;
  std::vector<uint32_t> order_;
  Buffer before_;
};

}  // namespace sim::vga
