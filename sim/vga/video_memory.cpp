#include "sim/vga/video_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace sim::vga {

// Memories of adapters gone, kept for the next adapter of the same size:
// tests and fuzz runs build machines by the thousand, and fresh megabytes
// from the system cost a page fault every 4 KB (under AddressSanitizer
// every large block is a new mapping). A fresh memory comes zeroed from
// calloc, its pages faulted in only where written; a kept one is cleared.
class Spares {
 public:
  // Never destroyed: adapters held by other statics die after it would.
  static Spares& Instance() {
    static Spares* const spares = new Spares;
    return *spares;
  }
  VideoMemory::Buffer Take(uint32_t size, bool zeroed) {
    {
      std::lock_guard lock(mutex_);
      for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->size != size) continue;
        VideoMemory::Buffer data = std::move(it->data);
        kept_.erase(it);
        if (zeroed) std::memset(data.get(), 0, size);
        return data;
      }
    }
    auto* bytes = static_cast<uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
    if (bytes == nullptr) throw std::bad_alloc();
    return VideoMemory::Buffer(bytes);
  }
  void Give(uint32_t size, VideoMemory::Buffer data) {
    if (!data) return;
    std::lock_guard lock(mutex_);
    const auto sameSize =
        std::count_if(kept_.begin(), kept_.end(), [size](const Kept& k) { return k.size == size; });
    if (sameSize == kMaxKeptOfASize) return;  // freed
    kept_.push_back({size, std::move(data)});
  }

 private:
  static constexpr long kMaxKeptOfASize = 8;
  struct Kept {
    uint32_t size;
    VideoMemory::Buffer data;
  };
  std::mutex mutex_;
  std::vector<Kept> kept_;
};

void VideoMemory::Free::operator()(uint8_t* bytes) const {
  std::free(bytes);
}

VideoMemory::VideoMemory(uint32_t bytes)
    : size_(bytes), data_(Spares::Instance().Take(bytes, /*zeroed=*/true)) {}

VideoMemory::VideoMemory(const VideoMemory& other)
    : size_(other.size_), data_(Spares::Instance().Take(other.size_, /*zeroed=*/false)) {
  std::memcpy(data_.get(), other.data_.get(), size_);
}

VideoMemory& VideoMemory::operator=(const VideoMemory& other) {
  if (this == &other) return *this;
  StopRecord();
  if (size_ != other.size_) {
    Spares::Instance().Give(size_, std::move(data_));
    Spares::Instance().Give(size_, std::move(before_));
    size_ = other.size_;
    data_ = Spares::Instance().Take(size_, /*zeroed=*/false);
    written_.clear();
  }
  std::memcpy(data_.get(), other.data_.get(), size_);
  return *this;
}

VideoMemory::~VideoMemory() {
  Spares::Instance().Give(size_, std::move(data_));
  Spares::Instance().Give(size_, std::move(before_));
}

bool VideoMemory::operator==(const VideoMemory& other) const {
  return size_ == other.size_ && std::memcmp(data_.get(), other.data_.get(), size_) == 0;
}

void VideoMemory::KeepRange(uint32_t at, uint32_t length) {
  if (length == 0) return;
  const uint32_t last = (at + length - 1) >> kPageShift;
  for (uint32_t page = at >> kPageShift; page <= last; ++page)
    Note(page);
}

std::span<uint8_t> VideoMemory::Unfollowed() {
  if (recording_) writtenWhole_ = true;
  return {data_.get(), size_};
}

void VideoMemory::StartRecord() {
  if (!before_) {
    before_ = Spares::Instance().Take(size_, /*zeroed=*/false);
    written_.assign((size_ + kPageBytes - 1) >> kPageShift, 0);
  }
  for (uint32_t page : order_)
    written_[page] = 0;
  order_.clear();
  writtenWhole_ = false;
  recording_ = true;
}

void VideoMemory::StopRecord() {
  if (before_) StartRecord();
  recording_ = false;
}

uint32_t VideoMemory::PageLength(uint32_t page) const {
  return std::min(kPageBytes, size_ - (page << kPageShift));
}

void VideoMemory::Keep(uint32_t page) {
  const size_t offset = size_t{page} << kPageShift;
  std::memcpy(before_.get() + offset, data_.get() + offset, PageLength(page));
  written_[page] = 1;
  order_.push_back(page);
}

std::vector<VideoMemory::WrittenPage> VideoMemory::WrittenPages() const {
  std::vector<WrittenPage> pages;
  pages.reserve(order_.size());
  for (uint32_t page : order_) {
    const uint32_t offset = page << kPageShift;
    const uint32_t length = PageLength(page);
    pages.push_back({offset, {before_.get() + offset, length}, {data_.get() + offset, length}});
  }
  return pages;
}

}  // namespace sim::vga
