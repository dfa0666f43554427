// The hardware trace as a person reads it (`trace on decoded`): each access
// with what it means, an index write and the data accesses that follow it
// on one line (a read-modify-write reads "SR06 0x00 := 0x80 (...)"), a run
// of input status reads folded into one line with its count, and a run of
// window or aperture bytes summarised by its extent and a digest.
//
//   io out16 0x3c4 0x8605  ; SR05 := 0x86 (extended registers unlocked)
//   io in8 0x3da x12  ; 3DA polled 12 times until retrace
//
// The decoder follows the adapter's index registers, attribute flip-flop,
// DAC position, addressing and extension lock from the accesses it sees;
// it takes them from the adapter at the start and after each BIOS call,
// whose own accesses the trace does not show.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/adapter.h"
#include "sim/trace.h"

namespace zelctl {

class TraceDecoder {
 public:
  using Sink = std::function<void(const std::string& line)>;

  TraceDecoder(const sim::Adapter& adapter, Sink sink);

  // The next access. Lines of earlier accesses may come out now: the last
  // group is held until an access arrives that cannot join it.
  void Add(const sim::TraceEntry& entry);
  // Prints what is held.
  void Flush();

  // What a run of memory bytes did, as one line's meaning: "window
  // 0xa0000+0x0000: 4096 bytes written in 256 runs up to +0x1fef, digest
  // 0x...". A bulk access over a window reads the same.
  static std::string BulkMeaning(uint32_t base, bool write, uint32_t first, uint32_t last,
                                 uint32_t bytes, uint32_t runs, uint32_t digest);

 private:
  // What decoding needs to know of the adapter.
  struct Shadow {
    uint8_t seqIndex = 0, crtcIndex = 0, gcIndex = 0;
    uint8_t attrAddress = 0;
    bool attrData = false;
    uint8_t dacAddress = 0, dacPosition = 0;
    bool dacRead = false;
    bool color = true;
    bool unlocked = false;
  };

  // One byte-sized step of a port access, or one memory, BIOS or trap entry.
  enum class Step : uint8_t {
    Index,     // an index register written (file, index; value: the byte)
    Data,      // an indexed register read or written (file, index)
    Status,    // input status 1 read
    DacIndex,  // the DAC's read index (read) or write index written (index: entry)
    Dac,       // a colour component read or written (index: entry)
    Pci,       // the configuration address written
    PciData,   // the configuration data port
    Memory,    // a window or aperture byte (port: unused; value: the byte)
    Other,     // anything else: `text` says it all
  };
  struct Piece {
    Step step;
    uint8_t file = 0;  // regs::File of Index and Data
    uint8_t index = 0;
    uint8_t component = 0;  // Dac: 0 red, 1 green, 2 blue
    bool read = false;
    uint32_t value = 0;
    uint16_t port = 0;
    std::string text = {};  // Data: the operation (":= 0x86 (...)"); Other: the meaning
  };
  struct Group {
    std::vector<sim::TraceEntry> entries;
    std::vector<Piece> pieces;
  };

  std::vector<Piece> Decode(const sim::TraceEntry& entry);
  void DecodePortByte(bool read, uint16_t port, uint8_t value, std::vector<Piece>& out);
  bool Joins(const sim::TraceEntry& entry, const std::vector<Piece>& pieces) const;
  void Emit(const Group& group);
  std::string Meaning(const Group& group) const;
  void Sync();

  const sim::Adapter& adapter_;
  Sink sink_;
  Shadow shadow_;
  std::optional<Group> held_;
};

}  // namespace zelctl
