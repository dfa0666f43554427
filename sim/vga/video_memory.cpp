#include "sim/vga/video_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

namespace sim::vga {

// Memories of adapters gone, kept for the next adapter of the same size:
// tests and fuzz runs build machines by the thousand, and fresh megabytes
// from the system cost a page fault every 4 KB (under AddressSanitizer
// every large block is a new mapping). A fresh memory comes zeroed from
// calloc, its pages faulted in only where written; a kept one comes with
// the pages that may hold data, and only those are cleared.
class Spares {
 public:
  // Never destroyed: adapters held by other statics die after it would.
  static Spares& Instance() {
    static Spares* const spares = new Spares;
    return *spares;
  }
  // `size` bytes of zeros.
  VideoMemory::Buffer Take(uint32_t size) {
    {
      std::lock_guard lock(mutex_);
      for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->size != size) continue;
        Kept kept = std::move(*it);
        kept_.erase(it);
        if (kept.all) {
          std::memset(kept.data.get(), 0, size);
        } else {
          for (uint32_t page : kept.pages) {
            const size_t at = size_t{page} << VideoMemory::kPageShift;
            std::memset(kept.data.get() + at, 0,
                        std::min<size_t>(VideoMemory::kPageBytes, size - at));
          }
        }
        return std::move(kept.data);
      }
    }
    auto* bytes = static_cast<uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
    if (bytes == nullptr) throw std::bad_alloc();
    return VideoMemory::Buffer(bytes);
  }
  // A memory given back with the pages that may hold data (`all`: any may).
  void Give(uint32_t size, VideoMemory::Buffer data, std::vector<uint32_t> pages, bool all) {
    if (!data) return;
    std::lock_guard lock(mutex_);
    const auto sameSize =
        std::count_if(kept_.begin(), kept_.end(), [size](const Kept& k) { return k.size == size; });
    if (sameSize == kMaxKeptOfASize) return;  // freed
    kept_.push_back({size, std::move(data), std::move(pages), all});
  }

 private:
  static constexpr long kMaxKeptOfASize = 8;
  struct Kept {
    uint32_t size;
    VideoMemory::Buffer data;
    std::vector<uint32_t> pages;
    bool all;
  };
  std::mutex mutex_;
  std::vector<Kept> kept_;
};

namespace {

// Which capture an image is; 0 is no image.
uint64_t NextSerial() {
  static uint64_t serial = 0;
  return ++serial;
}

bool AllZero(const uint8_t* bytes, size_t length) {
  return length == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, length - 1) == 0);
}

}  // namespace

void VideoMemory::Free::operator()(uint8_t* bytes) const {
  std::free(bytes);
}

VideoMemory::VideoMemory(uint32_t bytes)
    : size_(bytes), data_(Spares::Instance().Take(bytes)), flags_(Pages(), 0) {}

VideoMemory::VideoMemory(const VideoMemory& other)
    : size_(other.size_), data_(Spares::Instance().Take(other.size_)), flags_(Pages(), 0) {
  if (other.exposed_) {
    // Written by hand: any page may hold data.
    std::memcpy(data_.get(), other.data_.get(), size_);
    std::fill(flags_.begin(), flags_.end(), kMayHoldData);
    for (uint32_t page = 0; page < Pages(); ++page)
      mayHold_.push_back(page);
    return;
  }
  // Every other page is zeros on both sides.
  for (uint32_t page : other.mayHold_) {
    std::memcpy(Page(page), other.Page(page), PageLength(page));
    flags_[page] = kMayHoldData;
  }
  mayHold_ = other.mayHold_;
}

VideoMemory& VideoMemory::operator=(const VideoMemory& other) {
  if (this == &other) return *this;
  StopTouchList();
  VideoMemory copy(other);
  std::swap(size_, copy.size_);
  std::swap(data_, copy.data_);
  std::swap(flags_, copy.flags_);
  std::swap(mayHold_, copy.mayHold_);
  std::swap(exposed_, copy.exposed_);
  StopRecord();
  written_.clear();
  base_ = Image{};
  watch_ = kMayHoldData | kWrittenSince;
  return *this;
}

VideoMemory::~VideoMemory() {
  Spares::Instance().Give(size_, std::move(data_), std::move(mayHold_), exposed_);
}

bool VideoMemory::operator==(const VideoMemory& other) const {
  return size_ == other.size_ && std::memcmp(data_.get(), other.data_.get(), size_) == 0;
}

uint32_t VideoMemory::PageLength(uint32_t page) const {
  return std::min(kPageBytes, size_ - (page << kPageShift));
}

void VideoMemory::Mark(uint32_t page) {
  const uint8_t f = flags_[page];
  if (!(f & kMayHoldData)) mayHold_.push_back(page);
  if (!(f & kWrittenSince)) written_.push_back(page);
  if (touching_ && !(f & kTouched)) touched_.push_back(page);
  if (recording_ && !(f & kKeptForRecord)) {
    // A page not written since the base image (and no hand that writes
    // past the bus) still holds the image's bytes.
    if (base_.serial_ != 0 && !(f & kWrittenSince) && !exposed_) {
      before_.push_back(BasePage(page));
    } else {
      if (copies_.size() == copied_)
        copies_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kPageBytes));
      std::memcpy(copies_[copied_].get(), Page(page), PageLength(page));
      before_.push_back(copies_[copied_++].get());
    }
    order_.push_back(page);
  }
  flags_[page] = f | watch_;
}

const uint8_t* VideoMemory::BasePage(uint32_t page) const {
  static const uint8_t zeros[kPageBytes] = {};
  const int32_t slot = (*base_.slot_)[page];
  return slot < 0 ? zeros : base_.bytes_.get() + slot;
}

void VideoMemory::OutsideMemory(uint64_t at, uint64_t length) const {
  std::fprintf(stderr, "video memory: a run of %llu bytes at 0x%llx lies beyond its %u bytes\n",
               static_cast<unsigned long long>(length), static_cast<unsigned long long>(at), size_);
  std::abort();
}

void VideoMemory::NoteRange(uint32_t at, uint32_t length) {
  if (length == 0) return;
  const uint32_t last = (at + length - 1) >> kPageShift;
  for (uint32_t page = at >> kPageShift; page <= last; ++page)
    Note(page);
}

// Every page may hold data and counts as written; the record cannot tell
// what any held before.
void VideoMemory::MarkAll() {
  for (uint32_t page = 0; page < Pages(); ++page) {
    const uint8_t f = flags_[page];
    if (!(f & kMayHoldData)) mayHold_.push_back(page);
    if (!(f & kWrittenSince)) written_.push_back(page);
    flags_[page] = f | kMayHoldData | kWrittenSince;
  }
}

void VideoMemory::Clear() {
  if (exposed_) {
    MarkAll();
    if (recording_) writtenWhole_ = true;
    std::memset(data_.get(), 0, size_);
  } else {
    for (uint32_t page : mayHold_) {
      Note(page);
      std::memset(Page(page), 0, PageLength(page));
    }
  }
  for (uint32_t page : mayHold_)
    flags_[page] &= static_cast<uint8_t>(~kMayHoldData);
  mayHold_.clear();
}

std::span<uint8_t> VideoMemory::Unfollowed() {
  if (recording_) writtenWhole_ = true;
  exposed_ = true;
  MarkAll();
  return {data_.get(), size_};
}

uint8_t* VideoMemory::Exposed() {
  exposed_ = true;
  MarkAll();
  return data_.get();
}

// ---- the change record

void VideoMemory::StartRecord() {
  for (uint32_t page : order_)
    flags_[page] &= static_cast<uint8_t>(~kKeptForRecord);
  order_.clear();
  before_.clear();
  copied_ = 0;
  writtenWhole_ = false;
  recording_ = true;
  Watch(kMayHoldData | kWrittenSince | kKeptForRecord);
}

void VideoMemory::StopRecord() {
  StartRecord();
  recording_ = false;
  Watch(kMayHoldData | kWrittenSince);
}

std::vector<VideoMemory::WrittenPage> VideoMemory::WrittenPages() const {
  std::vector<WrittenPage> pages;
  pages.reserve(order_.size());
  for (size_t i = 0; i < order_.size(); ++i) {
    const uint32_t page = order_[i], length = PageLength(page);
    pages.push_back({page << kPageShift, {before_[i], length}, {Page(page), length}});
  }
  return pages;
}

// ---- images

VideoMemory::Image VideoMemory::Capture() {
  // Bytes written by hand may be anywhere.
  if (exposed_) MarkAll();
  Image image;
  image.size_ = size_;
  image.serial_ = NextSerial();
  image.slot_ = std::make_shared<std::vector<int32_t>>(Pages(), -1);
  std::sort(mayHold_.begin(), mayHold_.end());
  std::vector<uint32_t> holding;
  size_t bytes = 0;
  for (uint32_t page : mayHold_) {
    if (AllZero(Page(page), PageLength(page))) {
      flags_[page] &= static_cast<uint8_t>(~kMayHoldData);
      continue;
    }
    holding.push_back(page);
    bytes += PageLength(page);
  }
  image.bytes_ = std::make_shared_for_overwrite<uint8_t[]>(bytes);
  for (uint32_t page : holding) {
    (*image.slot_)[page] = static_cast<int32_t>(image.stored_);
    std::memcpy(image.bytes_.get() + image.stored_, Page(page), PageLength(page));
    image.stored_ += PageLength(page);
  }
  mayHold_ = holding;
  image.pages_ = std::move(holding);
  for (uint32_t page : written_)
    flags_[page] &= static_cast<uint8_t>(~kWrittenSince);
  written_.clear();
  base_ = image;
  return image;
}

void VideoMemory::Rollback(const Image& image) {
  StopRecord();
  StopTouchList();
  if (image.size_ != size_) {
    // Another adapter's: this one takes its size, zeros to start from.
    Spares::Instance().Give(size_, std::move(data_), std::move(mayHold_), exposed_);
    size_ = image.size_;
    data_ = Spares::Instance().Take(size_);
    flags_.assign(Pages(), 0);
    mayHold_.clear();
    written_.clear();
    base_ = Image{};
    exposed_ = false;
  }
  if (exposed_) MarkAll();
  auto restore = [&](uint32_t page) {
    const int32_t slot = (*image.slot_)[page];
    if (slot < 0) {
      std::memset(Page(page), 0, PageLength(page));
    } else {
      std::memcpy(Page(page), image.bytes_.get() + slot, PageLength(page));
    }
  };
  // From its own image, only what was written since differs; from another,
  // any page that either side may hold.
  for (uint32_t page : written_)
    restore(page);
  if (image.serial_ != base_.serial_) {
    for (uint32_t page : mayHold_)
      restore(page);
    for (uint32_t page : image.pages_)
      restore(page);
  }
  for (uint32_t page : mayHold_)
    flags_[page] &= static_cast<uint8_t>(~kMayHoldData);
  for (uint32_t page : written_)
    flags_[page] &= static_cast<uint8_t>(~(kMayHoldData | kWrittenSince));
  for (uint32_t page : image.pages_)
    flags_[page] |= kMayHoldData;
  mayHold_ = image.pages_;
  written_.clear();
  base_ = image;
  exposed_ = false;
}

std::optional<uint32_t> VideoMemory::FirstDifference(const Image& image) const {
  if (image.size_ != size_) return 0;
  for (uint32_t page = 0; page < Pages(); ++page) {
    const uint8_t* now = Page(page);
    const uint32_t length = PageLength(page);
    const int32_t slot = (*image.slot_)[page];
    const uint8_t* then = slot < 0 ? nullptr : image.bytes_.get() + slot;
    if (then ? std::memcmp(now, then, length) == 0 : AllZero(now, length)) continue;
    for (uint32_t i = 0; i < length; ++i) {
      if (now[i] != (then ? then[i] : 0)) return (page << kPageShift) + i;
    }
  }
  return std::nullopt;
}

// ---- the touch list

void VideoMemory::StartTouchList() {
  StopTouchList();
  touching_ = true;
  watch_ |= kTouched;
}

void VideoMemory::StopTouchList() {
  for (uint32_t page : touched_)
    flags_[page] &= static_cast<uint8_t>(~kTouched);
  touched_.clear();
  touching_ = false;
  watch_ &= static_cast<uint8_t>(~kTouched);
}

std::vector<uint32_t> VideoMemory::TouchedPages() const {
  if (!exposed_) return touched_;
  std::vector<uint32_t> all(Pages());
  for (uint32_t page = 0; page < Pages(); ++page)
    all[page] = page;
  return all;
}

void VideoMemory::CopyPages(std::span<const uint32_t> pages, uint32_t from, PageCopy& copy) const {
  copy.pages.clear();
  for (uint32_t page : pages) {
    if (page >= from >> kPageShift) copy.pages.push_back(page);
  }
  copy.bytes.resize(copy.pages.size() * size_t{kPageBytes});
  uint8_t* to = copy.bytes.data();
  for (uint32_t page : copy.pages) {
    std::memcpy(to, Page(page), PageLength(page));
    to += kPageBytes;
  }
}

const uint8_t* VideoMemory::PageCopy::Page(uint32_t page) const {
  const auto it = std::lower_bound(pages.begin(), pages.end(), page);
  if (it == pages.end() || *it != page) return nullptr;
  return bytes.data() + size_t(it - pages.begin()) * kPageBytes;
}

uint8_t VideoMemory::PageCopy::At(uint32_t at) const {
  const uint8_t* page = Page(at >> kPageShift);
  return page ? page[at & (kPageBytes - 1)] : 0;
}

void VideoMemory::CopyHeld(PageCopy& copy) const {
  std::vector<uint32_t> pages = mayHold_;
  std::sort(pages.begin(), pages.end());
  CopyPages(pages, 0, copy);
}

std::optional<uint32_t> VideoMemory::FirstDifference(const PageCopy& held) const {
  std::vector<uint32_t> pages = mayHold_;
  pages.insert(pages.end(), held.pages.begin(), held.pages.end());
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  for (uint32_t page : pages) {
    if (page >= Pages()) return page << kPageShift;
    const uint8_t* theirs = held.Page(page);
    const uint8_t* mine = Page(page);
    const uint32_t length = PageLength(page);
    if (theirs ? std::memcmp(mine, theirs, length) == 0 : AllZero(mine, length)) continue;
    uint32_t i = 0;
    while (mine[i] == (theirs ? theirs[i] : 0))
      ++i;
    return (page << kPageShift) + i;
  }
  return std::nullopt;
}

void VideoMemory::Assign(const PageCopy& copy) {
  const uint8_t* from = copy.bytes.data();
  for (uint32_t page : copy.pages) {
    const uint32_t length = PageLength(page);
    if (std::memcmp(Page(page), from, length) != 0)
      std::memcpy(Writable(page << kPageShift, length), from, length);
    from += kPageBytes;
  }
}

std::optional<uint32_t> VideoMemory::FirstDifference(const VideoMemory& other) const {
  if (other.size_ != size_) return 0;
  std::vector<uint32_t> pages = mayHold_;
  pages.insert(pages.end(), other.mayHold_.begin(), other.mayHold_.end());
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  for (uint32_t page : pages) {
    const uint8_t *mine = Page(page), *theirs = other.Page(page);
    if (std::memcmp(mine, theirs, PageLength(page)) == 0) continue;
    uint32_t i = 0;
    while (mine[i] == theirs[i])
      ++i;
    return (page << kPageShift) + i;
  }
  return std::nullopt;
}

}  // namespace sim::vga
