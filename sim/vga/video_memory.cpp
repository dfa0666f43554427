#include "sim/vga/video_memory.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace sim::vga {
namespace {

// Memories of adapters gone, kept for the next adapter of the same size:
// tests and fuzz runs build machines by the thousand, and fresh megabytes
// from the system cost a page fault every 4 KB (under AddressSanitizer
// every large block is a new mapping).
class Spares {
 public:
  // Never destroyed: adapters held by other statics die after it would.
  static Spares& Instance() {
    static Spares* const spares = new Spares;
    return *spares;
  }
  std::unique_ptr<uint8_t[]> Take(uint32_t size) {
    std::lock_guard lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
      if (it->size != size) continue;
      std::unique_ptr<uint8_t[]> data = std::move(it->data);
      kept_.erase(it);
      return data;
    }
    return std::unique_ptr<uint8_t[]>(new uint8_t[size]);
  }
  void Give(uint32_t size, std::unique_ptr<uint8_t[]> data) {
    if (!data) return;
    std::lock_guard lock(mutex_);
    if (kept_.size() == kMaxKept) kept_.erase(kept_.begin());
    kept_.push_back({size, std::move(data)});
  }

 private:
  static constexpr size_t kMaxKept = 4;
  struct Kept {
    uint32_t size;
    std::unique_ptr<uint8_t[]> data;
  };
  std::mutex mutex_;
  std::vector<Kept> kept_;
};

}  // namespace

VideoMemory::VideoMemory(uint32_t bytes) : size_(bytes), data_(Spares::Instance().Take(bytes)) {
  std::memset(data_.get(), 0, size_);
}

VideoMemory::VideoMemory(const VideoMemory& other)
    : size_(other.size_), data_(Spares::Instance().Take(other.size_)) {
  std::memcpy(data_.get(), other.data_.get(), size_);
}

VideoMemory& VideoMemory::operator=(const VideoMemory& other) {
  if (this == &other) return *this;
  if (size_ != other.size_) {
    Spares::Instance().Give(size_, std::move(data_));
    size_ = other.size_;
    data_ = Spares::Instance().Take(size_);
    slot_.clear();
  }
  std::memcpy(data_.get(), other.data_.get(), size_);
  StopRecord();
  return *this;
}

VideoMemory::~VideoMemory() {
  Spares::Instance().Give(size_, std::move(data_));
}

bool VideoMemory::operator==(const VideoMemory& other) const {
  return size_ == other.size_ && std::memcmp(data_.get(), other.data_.get(), size_) == 0;
}

void VideoMemory::KeepRange(uint32_t at, uint32_t length) {
  if (length == 0) return;
  const uint32_t last = (at + length - 1) >> kPageShift;
  for (uint32_t page = at >> kPageShift; page <= last; ++page) {
    if (slot_[page] == 0) Keep(page);
  }
}

std::span<uint8_t> VideoMemory::Unfollowed() {
  if (recording_) writtenWhole_ = true;
  return {data_.get(), size_};
}

void VideoMemory::StartRecord() {
  slot_.resize((size_ + kPageBytes - 1) >> kPageShift, 0);
  for (uint32_t page : written_)
    slot_[page] = 0;
  written_.clear();
  before_.clear();
  writtenWhole_ = false;
  recording_ = true;
}

void VideoMemory::StopRecord() {
  StartRecord();
  recording_ = false;
}

uint32_t VideoMemory::PageLength(uint32_t page) const {
  return std::min(kPageBytes, size_ - (page << kPageShift));
}

void VideoMemory::Keep(uint32_t page) {
  const uint8_t* bytes = data_.get() + (size_t{page} << kPageShift);
  before_.insert(before_.end(), bytes, bytes + PageLength(page));
  before_.resize(written_.size() * kPageBytes + kPageBytes);
  written_.push_back(page);
  slot_[page] = static_cast<uint32_t>(written_.size());
}

std::vector<VideoMemory::WrittenPage> VideoMemory::WrittenPages() const {
  std::vector<WrittenPage> pages;
  pages.reserve(written_.size());
  for (size_t i = 0; i < written_.size(); ++i) {
    const uint32_t offset = written_[i] << kPageShift;
    const uint32_t length = PageLength(written_[i]);
    pages.push_back(
        {offset, {before_.data() + i * kPageBytes, length}, {data_.get() + offset, length}});
  }
  return pages;
}

}  // namespace sim::vga
