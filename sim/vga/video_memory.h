// The adapter's video memory: its bytes, and what is known of the writes
// made to them, page by page (4 KB), so that neither a comparison nor a
// rollback has to go through megabytes that nothing touched:
//
// - which pages may hold anything but zeros (a fresh memory holds none);
// - which pages were written since the memory was last captured into an
//   Image or rolled back to one;
// - while a change record runs, what each page held before its first write.
//
// Every write through the bus side (Store, StorePlanes, Writable, Clear) is
// followed. A hand that writes the bytes directly (Unfollowed, and a caller
// mapping of the linear aperture through Exposed) is not: from then on every
// page counts as written, until a rollback puts the memory back.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace sim::vga {

class VideoMemory {
 public:
  static constexpr uint32_t kPageShift = 12;
  static constexpr uint32_t kPageBytes = 1u << kPageShift;

  // `bytes` of zeros.
  explicit VideoMemory(uint32_t bytes);
  // A copy holds the bytes; no record runs in it, and it belongs to no image.
  VideoMemory(const VideoMemory& other);
  VideoMemory& operator=(const VideoMemory& other);
  ~VideoMemory();

  uint32_t Size() const { return size_; }
  std::span<const uint8_t> Bytes() const { return {data_.get(), size_}; }
  uint8_t operator[](uint32_t at) const { return data_[at]; }
  // The bytes alone count, not what is known of them.
  bool operator==(const VideoMemory& other) const;

  // ---- writes that are followed
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
  // Bytes [at, at + length) for writing, all inside the memory (a run that
  // is not stops the process: loops go through it unchecked).
  uint8_t* Writable(uint32_t at, uint32_t length) {
    CheckInside(at, length);
    NoteRange(at, length);
    return data_.get() + at;
  }
  // Bytes [at, at + length) for reading, the same.
  const uint8_t* Readable(uint64_t at, uint64_t length) const {
    CheckInside(at, length);
    return data_.get() + at;
  }
  // Every byte to zero (the BIOS's clear of a graphics mode), at the cost of
  // the pages that may hold something.
  void Clear();

  // ---- writes that are not followed
  // The whole memory for a hand that writes it directly (a test setting
  // up): every page counts as written from here on.
  std::span<uint8_t> Unfollowed();
  // Where the bytes live, for a caller mapping of the linear aperture: its
  // writes are a caller's plain memory stores, outside the bus, so every
  // page counts as written from here on.
  uint8_t* Exposed();
  // Bytes are written outside the bus (until a rollback says otherwise).
  bool IsExposed() const { return exposed_; }

  // ---- the change record
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

  // ---- images: the memory as it was, to come back to
  // The pages that hold anything but zeros, with their bytes; every other
  // page is zeros. Small for a memory after the POST (the font and the text
  // buffer).
  class Image {
   public:
    uint32_t Size() const { return size_; }
    // Bytes held for the pages that are not zeros.
    size_t StoredBytes() const { return stored_; }

   private:
    friend class VideoMemory;
    uint32_t size_ = 0;
    uint64_t serial_ = 0;          // which capture this is
    std::vector<uint32_t> pages_;  // the pages held, ascending
    // Per page: where its bytes are in bytes_, or -1. Shared with the
    // memory that was captured into the image or rolled back to it.
    std::shared_ptr<std::vector<int32_t>> slot_;
    std::shared_ptr<uint8_t[]> bytes_;
    size_t stored_ = 0;
  };
  // The memory as it is now; from here on the pages written are counted
  // against it.
  Image Capture();
  // Back to `image`: the pages written since the memory was captured into
  // it or last rolled back to it, or, coming from another image, the pages
  // either may hold. An image of a memory of another size gives this one
  // that size. Stops a running change record.
  void Rollback(const Image& image);
  // The first byte at which the memory differs from `image`, if any.
  std::optional<uint32_t> FirstDifference(const Image& image) const;

  // ---- the touch list: which pages were written from StartTouchList on,
  // beside the change record and without copies, for a hand that wants
  // what a stretch of activity wrote.
  void StartTouchList();  // forgets the previous one
  void StopTouchList();
  // The pages written since the list started, in the order first written;
  // every page once a hand writes past the bus.
  std::vector<uint32_t> TouchedPages() const;

  // ---- pages with their bytes, for another memory of this size to take over
  struct PageCopy {
    std::vector<uint32_t> pages{};  // ascending
    std::vector<uint8_t> bytes{};   // theirs, one page after the other

    // A page's bytes, or null where the copy holds none.
    const uint8_t* Page(uint32_t page) const;
    // The byte at `at`, 0 in a page the copy does not hold.
    uint8_t At(uint32_t at) const;
  };
  // `pages` as they are now, those from byte `from` on.
  void CopyPages(std::span<const uint32_t> pages, uint32_t from, PageCopy& copy) const;
  // Every page that may hold anything but zeros, as it is now.
  void CopyHeld(PageCopy& copy) const;
  // The copied pages take the copy's bytes, as followed writes where they differ.
  void Assign(const PageCopy& copy);
  // The first byte that differs from a memory of this size of which `held`
  // is CopyHeld (every page it leaves out is zeros), at the cost of the
  // pages either may hold data in.
  std::optional<uint32_t> FirstDifference(const PageCopy& held) const;
  // The first byte that differs from another memory of this size, at the
  // cost of the pages either may hold data in.
  std::optional<uint32_t> FirstDifference(const VideoMemory& other) const;

 private:
  // Per page: what is known of it.
  enum PageFlag : uint8_t {
    kMayHoldData = 1,    // written since the memory was last all zeros
    kWrittenSince = 2,   // written since the last capture or rollback
    kKeptForRecord = 4,  // its bytes before the record's first write are kept
    kTouched = 8,        // on the touch list
  };

  [[gnu::always_inline]] void Note(uint32_t page) {
    if ((flags_[page] & watch_) != watch_) Mark(page);
  }
  void NoteRange(uint32_t at, uint32_t length);
  void CheckInside(uint64_t at, uint64_t length) const {
    if (at > size_ || length > size_ - at) OutsideMemory(at, length);
  }
  [[noreturn]] void OutsideMemory(uint64_t at, uint64_t length) const;
  void Mark(uint32_t page);
  void MarkAll();
  uint32_t Pages() const { return (size_ + kPageBytes - 1) >> kPageShift; }
  uint32_t PageLength(uint32_t page) const;
  uint8_t* Page(uint32_t page) const { return data_.get() + (size_t{page} << kPageShift); }
  // The flags a write must find set, besides those `base` names.
  void Watch(uint8_t base) { watch_ = base | (touching_ ? kTouched : 0); }

  struct Free {
    void operator()(uint8_t* bytes) const;
  };
  using Buffer = std::unique_ptr<uint8_t[], Free>;
  friend class Spares;

  uint32_t size_;
  Buffer data_;
  std::vector<uint8_t> flags_;                    // PageFlag bits per page
  uint8_t watch_ = kMayHoldData | kWrittenSince;  // the flags a write must find set
  std::vector<uint32_t> mayHold_;                 // the pages with kMayHoldData, in no order
  std::vector<uint32_t> written_;                 // the pages with kWrittenSince, in no order
  // The image written_ counts against (serial 0: none), whose bytes are
  // those of every page not written since.
  Image base_;
  const uint8_t* BasePage(uint32_t page) const;
  bool exposed_ = false;
  // The change record: the pages kept, in the order first written, and
  // where their bytes before are: the base image's page, for a page not
  // written since (nothing to copy), else a copy.
  bool recording_ = false;
  bool writtenWhole_ = false;
  std::vector<uint32_t> order_;
  std::vector<const uint8_t*> before_;
  std::vector<std::unique_ptr<uint8_t[]>> copies_;  // a page each, kept for the next record
  size_t copied_ = 0;
  // The touch list.
  bool touching_ = false;
  std::vector<uint32_t> touched_;
};

}  // namespace sim::vga
