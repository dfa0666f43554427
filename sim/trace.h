// The ordered record of every hardware access made by the driver or by a
// full-screen session: port in/out, window and aperture reads and writes,
// BIOS calls and trap-set changes. Nothing is recorded until someone asks
// (Trace::Start): a trace nobody reads costs nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace sim {

// MoveToBuffer, MoveFromBuffer and Fill are one memory service call over a
// run of consecutive bytes of one view (VideoPortMoveMemory between a view
// and plain memory, VideoPortWriteRegisterBufferUchar, VideoPortZeroMemory):
// one entry for the whole run, whose bytes went through the adapter one
// after the other exactly as that many byte accesses would.
enum class AccessKind : uint8_t {
  In,
  Out,
  MemRead,
  MemWrite,
  Bios,
  Traps,
  MoveToBuffer,
  MoveFromBuffer,
  Fill
};

struct TraceEntry {
  AccessKind kind;
  uint8_t size = 1;      // 1, 2 or 4 bytes for port and memory accesses
  uint32_t address = 0;  // port, or physical base of the mapping for memory
  uint32_t offset = 0;   // memory: offset from the base (of the first byte)
  uint32_t value = 0;    // data; BIOS: EAX on entry; traps: row count; moves: digest; fill: byte
  uint32_t status = 0;   // BIOS: the returned status
  uint32_t length = 0;   // moves and fills: bytes

  bool operator==(const TraceEntry&) const = default;
};

// "io out8 0x3c4 0x05", "io in16 0x3c4 0x8605", "mem write8 0xa0000+0xffff 0x00",
// "bios int10 eax=0x00000003 status=0", "traps 4",
// "mem move 0xa0000+0x0 len=0x10000 to-buffer digest=0xc8509dc5" (the bytes
// read from the view into plain memory), "mem move 0xa0000+0x0 len=0x10000
// from-buffer digest=0x..." (the bytes written to the view from plain
// memory), "mem fill 0xa0000+0x20 len=0x10 0x00".
std::string Format(const TraceEntry& entry);

// The digest of a move's bytes: 32-bit FNV-1a (offset basis 0x811c9dc5,
// prime 0x01000193, each byte XORed in, then multiplied).
uint32_t Digest(std::span<const uint8_t> bytes);

// Builders for expected sequences in tests.
namespace io {
TraceEntry In8(uint16_t port, uint8_t value);
TraceEntry In16(uint16_t port, uint16_t value);
TraceEntry In32(uint16_t port, uint32_t value);
TraceEntry Out8(uint16_t port, uint8_t value);
TraceEntry Out16(uint16_t port, uint16_t value);
TraceEntry Out32(uint16_t port, uint32_t value);
TraceEntry MemRead8(uint32_t base, uint32_t offset, uint8_t value);
TraceEntry MemWrite8(uint32_t base, uint32_t offset, uint8_t value);
TraceEntry Bios(uint32_t eax, uint32_t status);
TraceEntry Traps(uint32_t rows);
// A move of exactly these bytes between the view and plain memory.
TraceEntry MoveToBuffer(uint32_t base, uint32_t offset, std::span<const uint8_t> bytes);
TraceEntry MoveFromBuffer(uint32_t base, uint32_t offset, std::span<const uint8_t> bytes);
TraceEntry Fill(uint32_t base, uint32_t offset, uint32_t length, uint8_t value);
}  // namespace io

class Trace {
 public:
  // What a recording keeps: every access, or the port accesses alone (no
  // memory entries, whose digests cost a pass over the bytes moved).
  enum class Detail : uint8_t { Everything, Ports };

  // Recording is off until started; Size() and Since() count recorded
  // entries. Start returns the mark of what is recorded from then on.
  Trace() = default;
  // A copy holds the entries recorded, not the room kept for more.
  Trace(const Trace& other);
  Trace& operator=(const Trace& other);

  size_t Start(Detail detail = Detail::Everything) {
    recording_ = true;
    detail_ = detail;
    return count_;
  }
  void Stop() { recording_ = false; }
  // Whether an access of this kind is recorded now.
  bool Recording(AccessKind kind = AccessKind::In) const {
    return recording_ &&
           (detail_ == Detail::Everything || kind == AccessKind::In || kind == AccessKind::Out);
  }
  void Record(const TraceEntry& entry) {
    if (Recording(entry.kind)) Append(entry);
  }
  std::span<const TraceEntry> Entries() const { return {buffer_, count_}; }
  size_t Size() const { return count_; }
  void Clear() { count_ = 0; }
  // Entries from position `mark` on (a mark is a Size() taken earlier).
  std::vector<TraceEntry> Since(size_t mark) const;
  // Called for every entry as it is recorded (zelctl's live trace).
  void SetListener(std::function<void(const TraceEntry&)> listener);

 private:
  void Append(const TraceEntry& entry);

  bool recording_ = false;
  Detail detail_ = Detail::Everything;
  void Grow();

  // The entries are the first count_ of a buffer that doubles when full:
  // every port access of a fuzz run lands here, written in place.
  std::vector<TraceEntry> entries_;
  size_t count_ = 0;
  // entries_.data() and entries_.size(), kept beside it for Append.
  TraceEntry* buffer_ = nullptr;
  size_t room_ = 0;
  std::function<void(const TraceEntry&)> listener_;
  bool listening_ = false;  // listener_ is set
};

// Empty when the sequences match; otherwise names the first differing entry
// with both sides, e.g. "access #5: expected out16 0x3c4 0x0100, got out8 0x3c4 0x00",
// or the first missing or extra entry.
std::string CompareTraces(std::span<const TraceEntry> expected, std::span<const TraceEntry> actual);

// Port writes only (out8/out16/out32), for tests that do not care about reads.
std::vector<TraceEntry> Writes(std::span<const TraceEntry> entries);

}  // namespace sim
