#include "sim/platform/memory_windows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "sim/platform/inaccessible_region.h"

namespace sim::platform {
namespace {

bool Inside(uintptr_t address, uintptr_t start, uint32_t length) {
  return address >= start && address - start < std::max<uint32_t>(length, 1);
}

}  // namespace

MemoryWindows::~MemoryWindows() {
  for (const Block& block : blocks_)
    InaccessibleRegion::Instance().Release(block.address);
}

void MemoryWindows::Reset() {
  views_.clear();
  mappings_.clear();
}

bool MemoryWindows::BlockInUse(uintptr_t address) const {
  return std::any_of(views_.begin(), views_.end(),
                     [address](const View& v) { return !v.inIoSpace && v.address == address; }) ||
         std::any_of(mappings_.begin(), mappings_.end(), [address](const Mapping& m) {
           return reinterpret_cast<uintptr_t>(m.virtualAddress) == address;
         });
}

// The smallest free block that holds the length; blocks are kept, not given
// back, so that every state of this machine (see State) finds its own.
uintptr_t MemoryWindows::TakeBlock(uint32_t length) {
  constexpr uint32_t kPage = InaccessibleRegion::kPageSize;
  length = length == 0 ? kPage : (length + kPage - 1) / kPage * kPage;
  const Block* best = nullptr;
  for (const Block& block : blocks_) {
    if (block.length >= length && (!best || block.length < best->length) &&
        !BlockInUse(block.address)) {
      best = &block;
    }
  }
  if (best) return best->address;
  const uintptr_t address = InaccessibleRegion::Instance().Allocate(length);
  blocks_.push_back({address, length});
  return address;
}

uintptr_t MemoryWindows::MapView(uint64_t physical, uint32_t length, bool inIoSpace) {
  // On x86 an I/O-space base is the port number itself.
  const uintptr_t address = inIoSpace ? static_cast<uintptr_t>(physical) : TakeBlock(length);
  views_.push_back(View{address, physical, length, inIoSpace});
  return address;
}

void MemoryWindows::FreeView(uintptr_t address) {
  const auto it = std::find_if(views_.begin(), views_.end(),
                               [&](const View& v) { return v.address == address; });
  if (it == views_.end()) return;  // the video port ignores bases it never made
  views_.erase(it);
}

const Mapping& MemoryWindows::MapForCaller(uint64_t physical, uint32_t length, bool inIoSpace,
                                           uintptr_t process) {
  Mapping mapping{nullptr, physical, length, false, inIoSpace, process};
  const std::optional<uint32_t> aperture = adapter_.ApertureBase();
  const uint64_t end = physical + length;
  if (inIoSpace) {
    mapping.virtualAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(physical));
  } else if (aperture && physical >= *aperture &&
             end <= uint64_t{*aperture} + adapter_.ApertureLength() &&
             end - *aperture <= std::as_const(adapter_).Vram().size()) {
    // The linear aperture is ordinary memory to the caller: the adapter's own
    // video memory, shared with the planar window.
    mapping.virtualAddress = adapter_.LinearMemory() + (physical - *aperture);
    mapping.plainMemory = true;
  } else {
    mapping.virtualAddress = reinterpret_cast<void*>(TakeBlock(length));
  }
  mappings_.push_back(mapping);
  return mappings_.back();
}

std::optional<Mapping> MemoryWindows::FindMapping(uintptr_t address) const {
  for (const auto& m : mappings_) {
    if (reinterpret_cast<uintptr_t>(m.virtualAddress) == address) return m;
  }
  return std::nullopt;
}

bool MemoryWindows::UnmapForCaller(uintptr_t address) {
  const auto it = std::find_if(mappings_.begin(), mappings_.end(), [&](const Mapping& m) {
    return reinterpret_cast<uintptr_t>(m.virtualAddress) == address;
  });
  if (it == mappings_.end()) return false;
  mappings_.erase(it);
  return true;
}

uint8_t MemoryWindows::ReadMapped(uintptr_t address) {
  for (const auto& m : mappings_) {
    const auto start = reinterpret_cast<uintptr_t>(m.virtualAddress);
    if (!Inside(address, start, m.length)) continue;
    if (m.inIoSpace) return static_cast<uint8_t>(ports_.In(1, static_cast<uint16_t>(address)));
    if (m.plainMemory) return *reinterpret_cast<const uint8_t*>(address);
    return Read8(address);
  }
  throw std::out_of_range("ReadMapped: the address lies in no caller mapping");
}

void MemoryWindows::WriteMapped(uintptr_t address, uint8_t value) {
  for (const auto& m : mappings_) {
    const auto start = reinterpret_cast<uintptr_t>(m.virtualAddress);
    if (!Inside(address, start, m.length)) continue;
    if (m.inIoSpace) {
      ports_.Out(1, static_cast<uint16_t>(address), value);
    } else if (m.plainMemory) {
      *reinterpret_cast<uint8_t*>(address) = value;
    } else {
      Write8(address, value);
    }
    return;
  }
  throw std::out_of_range("WriteMapped: the address lies in no caller mapping");
}

bool MemoryWindows::InRegion(uintptr_t address) const {
  return InaccessibleRegion::Instance().Contains(address);
}

MemoryWindows::Target MemoryWindows::Resolve(uintptr_t address) const {
  for (const auto& v : views_) {
    if (!v.inIoSpace && Inside(address, v.address, v.length)) {
      return {static_cast<uint32_t>(v.physical), static_cast<uint32_t>(address - v.address)};
    }
  }
  for (const auto& m : mappings_) {
    const auto start = reinterpret_cast<uintptr_t>(m.virtualAddress);
    if (!m.plainMemory && !m.inIoSpace && Inside(address, start, m.length)) {
      return {static_cast<uint32_t>(m.physical), static_cast<uint32_t>(address - start)};
    }
  }
  std::fprintf(stderr,
               "memory service: address %#lx is in no view or mapping of this machine (freed, "
               "or beyond its length)\n",
               static_cast<unsigned long>(address));
  std::abort();
}

bool MemoryWindows::TouchesRegion(uintptr_t address, size_t length) const {
  return InaccessibleRegion::Instance().Overlaps(address, length);
}

std::optional<MemoryWindows::Target> MemoryWindows::ResolveRun(uintptr_t address,
                                                               size_t length) const {
  auto holds = [&](uintptr_t start, uint32_t windowLength) {
    return Inside(address, start, windowLength) &&
           length <= std::max<uint32_t>(windowLength, 1) - (address - start);
  };
  for (const auto& v : views_) {
    if (!v.inIoSpace && holds(v.address, v.length)) {
      return Target{static_cast<uint32_t>(v.physical), static_cast<uint32_t>(address - v.address)};
    }
  }
  for (const auto& m : mappings_) {
    const auto start = reinterpret_cast<uintptr_t>(m.virtualAddress);
    if (!m.plainMemory && !m.inIoSpace && holds(start, m.length)) {
      return Target{static_cast<uint32_t>(m.physical), static_cast<uint32_t>(address - start)};
    }
  }
  return std::nullopt;
}

bool MemoryWindows::InVideoMemory(const void* plain, size_t length) const {
  const std::span<const uint8_t> vram = std::as_const(adapter_).Vram();
  const auto* p = static_cast<const uint8_t*>(plain);
  return p < vram.data() + vram.size() && vram.data() < p + length;
}

void MemoryWindows::Restore(const State& state) {
  views_ = state.views;
  mappings_ = state.mappings;
  // A caller holding the linear aperture as plain memory may write it.
  for (const auto& mapping : mappings_) {
    if (mapping.plainMemory) adapter_.LinearMemory();
  }
}

uint8_t MemoryWindows::Read8(uintptr_t address) {
  if (!InRegion(address)) return *reinterpret_cast<const volatile uint8_t*>(address);
  const Target t = Resolve(address);
  const uint8_t value = adapter_.MemRead8(t.base + t.offset);
  if (trace_.Recording(AccessKind::MemRead)) trace_.Record(io::MemRead8(t.base, t.offset, value));
  return value;
}

void MemoryWindows::Write8(uintptr_t address, uint8_t value) {
  if (!InRegion(address)) {
    *reinterpret_cast<volatile uint8_t*>(address) = value;
    return;
  }
  const Target t = Resolve(address);
  if (trace_.Recording(AccessKind::MemWrite)) trace_.Record(io::MemWrite8(t.base, t.offset, value));
  adapter_.MemWrite8(t.base + t.offset, value);
}

void MemoryWindows::ReadSpan(uintptr_t address, std::span<uint8_t> out) {
  if (out.empty()) return;
  const std::optional<Target> t = ResolveRun(address, out.size());
  if (!t || InVideoMemory(out.data(), out.size())) {
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = Read8(address + i);
    return;
  }
  adapter_.MemRead(t->base + t->offset, out);
  if (trace_.Recording(AccessKind::MoveToBuffer))
    trace_.Record(io::MoveToBuffer(t->base, t->offset, out));
}

void MemoryWindows::WriteSpan(uintptr_t address, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::optional<Target> t = ResolveRun(address, bytes.size());
  if (!t || InVideoMemory(bytes.data(), bytes.size())) {
    for (size_t i = 0; i < bytes.size(); ++i)
      Write8(address + i, bytes[i]);
    return;
  }
  if (trace_.Recording(AccessKind::MoveFromBuffer)) {
    trace_.Record(io::MoveFromBuffer(t->base, t->offset, bytes));
  }
  adapter_.MemWrite(t->base + t->offset, bytes);
}

void MemoryWindows::FillSpan(uintptr_t address, uint32_t length, uint8_t value) {
  if (length == 0) return;
  const std::optional<Target> t = ResolveRun(address, length);
  if (!t) {
    for (uint32_t i = 0; i < length; ++i)
      Write8(address + i, value);
    return;
  }
  trace_.Record(io::Fill(t->base, t->offset, length, value));
  adapter_.MemFill(t->base + t->offset, length, value);
}

}  // namespace sim::platform
