#include "sim/platform/memory_windows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "sim/platform/inaccessible_region.h"

namespace sim::platform {
namespace {

bool Inside(uintptr_t address, uintptr_t start, uint32_t length) {
  return address >= start && address - start < std::max<uint32_t>(length, 1);
}

}  // namespace

MemoryWindows::~MemoryWindows() {
  Reset();
}

void MemoryWindows::Reset() {
  auto& region = InaccessibleRegion::Instance();
  for (const auto& view : views_) {
    if (!view.inIoSpace) region.Release(view.address);
  }
  for (const auto& mapping : mappings_) {
    const auto address = reinterpret_cast<uintptr_t>(mapping.virtualAddress);
    if (region.Contains(address)) region.Release(address);
  }
  views_.clear();
  mappings_.clear();
}

uintptr_t MemoryWindows::MapView(uint64_t physical, uint32_t length, bool inIoSpace) {
  // On x86 an I/O-space base is the port number itself.
  const uintptr_t address = inIoSpace ? static_cast<uintptr_t>(physical)
                                      : InaccessibleRegion::Instance().Allocate(length);
  views_.push_back(Machine::View{address, physical, length, inIoSpace});
  return address;
}

void MemoryWindows::FreeView(uintptr_t address) {
  const auto it = std::find_if(views_.begin(), views_.end(),
                               [&](const Machine::View& v) { return v.address == address; });
  if (it == views_.end()) return;  // the video port ignores bases it never made
  if (!it->inIoSpace) InaccessibleRegion::Instance().Release(address);
  views_.erase(it);
}

const Machine::Mapping& MemoryWindows::MapForCaller(uint64_t physical, uint32_t length,
                                                    bool inIoSpace, uintptr_t process) {
  Machine::Mapping mapping{nullptr, physical, length, false, inIoSpace, process};
  const std::optional<uint32_t> aperture = adapter_.ApertureBase();
  const uint64_t end = physical + length;
  if (inIoSpace) {
    mapping.virtualAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(physical));
  } else if (aperture && physical >= *aperture &&
             end <= uint64_t{*aperture} + adapter_.ApertureLength() &&
             end - *aperture <= adapter_.Vram().size()) {
    // The linear aperture is ordinary memory to the caller: the adapter's own
    // video memory, shared with the planar window.
    mapping.virtualAddress = adapter_.Vram().data() + (physical - *aperture);
    mapping.plainMemory = true;
  } else {
    mapping.virtualAddress =
        reinterpret_cast<void*>(InaccessibleRegion::Instance().Allocate(length));
  }
  mappings_.push_back(mapping);
  return mappings_.back();
}

std::optional<Machine::Mapping> MemoryWindows::FindMapping(uintptr_t address) const {
  for (const auto& m : mappings_) {
    if (reinterpret_cast<uintptr_t>(m.virtualAddress) == address) return m;
  }
  return std::nullopt;
}

bool MemoryWindows::UnmapForCaller(uintptr_t address) {
  const auto it = std::find_if(mappings_.begin(), mappings_.end(), [&](const Machine::Mapping& m) {
    return reinterpret_cast<uintptr_t>(m.virtualAddress) == address;
  });
  if (it == mappings_.end()) return false;
  if (InaccessibleRegion::Instance().Contains(address)) {
    InaccessibleRegion::Instance().Release(address);
  }
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

uint8_t MemoryWindows::Read8(uintptr_t address) {
  if (!InRegion(address)) return *reinterpret_cast<const volatile uint8_t*>(address);
  const Target t = Resolve(address);
  const uint8_t value = adapter_.MemRead8(t.base + t.offset);
  trace_.Record(io::MemRead8(t.base, t.offset, value));
  return value;
}

void MemoryWindows::Write8(uintptr_t address, uint8_t value) {
  if (!InRegion(address)) {
    *reinterpret_cast<volatile uint8_t*>(address) = value;
    return;
  }
  const Target t = Resolve(address);
  trace_.Record(io::MemWrite8(t.base, t.offset, value));
  adapter_.MemWrite8(t.base + t.offset, value);
}

}  // namespace sim::platform
