// Windows onto physical memory: the views the driver makes with
// VideoPortGetDeviceBase and the mappings it hands to callers with
// VideoPortMapMemory.
//
// A memory-space view lives in the inaccessible region: only the register
// and memory services reach it, byte by byte through the adapter, each access
// traced against the view's physical base. An I/O-space view is the port
// number. A caller mapping that lies in the linear aperture (and in installed
// video memory) is plain memory, the adapter's own video memory; any other
// caller mapping lives in the inaccessible region like a view.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/adapter.h"
#include "sim/platform/port_bus.h"
#include "sim/platform_types.h"
#include "sim/trace.h"

namespace sim::platform {

class MemoryWindows {
 public:
  MemoryWindows(Adapter& adapter, Trace& trace, PortBus& ports)
      : adapter_(adapter), trace_(trace), ports_(ports) {}
  ~MemoryWindows();
  MemoryWindows(const MemoryWindows&) = delete;
  MemoryWindows& operator=(const MemoryWindows&) = delete;

  // ---- views
  uintptr_t MapView(uint64_t physical, uint32_t length, bool inIoSpace);
  void FreeView(uintptr_t address);
  const std::vector<View>& Views() const { return views_; }

  // ---- caller mappings
  const Mapping& MapForCaller(uint64_t physical, uint32_t length, bool inIoSpace,
                              uintptr_t process);
  std::optional<Mapping> FindMapping(uintptr_t address) const;
  bool UnmapForCaller(uintptr_t address);
  const std::vector<Mapping>& Mappings() const { return mappings_; }
  uint8_t ReadMapped(uintptr_t address);
  void WriteMapped(uintptr_t address, uint8_t value);

  // ---- byte access by any address: the inaccessible region goes to the
  // adapter, everything else is plain memory
  bool InRegion(uintptr_t address) const;
  // Some byte of [address, address + length) lies in the inaccessible region.
  bool TouchesRegion(uintptr_t address, size_t length) const;
  uint8_t Read8(uintptr_t address);
  void Write8(uintptr_t address, uint8_t value);

  // ---- a run of bytes from a region address on, between one view (or
  // mapping) and plain memory: through the adapter as one span and traced
  // as one entry. Where the run leaves its view, or the plain side is the
  // adapter's own video memory, byte by byte as Read8 and Write8 (the bytes
  // in order: the run's own writes could change its later reads).
  void ReadSpan(uintptr_t address, std::span<uint8_t> out);
  void WriteSpan(uintptr_t address, std::span<const uint8_t> bytes);
  void FillSpan(uintptr_t address, uint32_t length, uint8_t value);

  // Drops every view and mapping (a fresh driver load).
  void Reset();

  // ---- snapshots: the views and mappings as they are now. The blocks of
  // the inaccessible region they take stay with this machine until it dies,
  // so that a state of it finds its addresses its own again.
  struct State {
    std::vector<View> views;
    std::vector<Mapping> mappings;
  };
  State Save() const { return {views_, mappings_}; }
  void Restore(const State& state);

 private:
  struct Target {
    uint32_t base;    // physical base of the window
    uint32_t offset;  // of the address within it
  };
  Target Resolve(uintptr_t address) const;  // a region address; aborts when in no window
  // The window holding all of [address, address + length), if one does.
  std::optional<Target> ResolveRun(uintptr_t address, size_t length) const;
  bool InVideoMemory(const void* plain, size_t length) const;
  // A block of the region of at least `length` bytes that no view or
  // mapping of this machine takes: one it had, else a new one.
  uintptr_t TakeBlock(uint32_t length);
  bool BlockInUse(uintptr_t address) const;

  Adapter& adapter_;
  Trace& trace_;
  PortBus& ports_;
  std::vector<View> views_;
  std::vector<Mapping> mappings_;
  struct Block {
    uintptr_t address;
    uint32_t length;
  };
  std::vector<Block> blocks_;  // of the inaccessible region, this machine's
};

}  // namespace sim::platform
