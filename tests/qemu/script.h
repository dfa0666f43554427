// Scripts of VGA port and window accesses, kept as data and played by one
// loop on any bus: the bare-metal kernel's (QEMU's emulated VGA) and the
// simulated adapter's. A read carries the value the VGA documentation gives
// and the bits of it that the documentation defines. Freestanding: the
// kernel and the host test include it alike.
#pragma once

#include <cstdint>

namespace qemu {

enum class Kind : uint8_t {
  End,
  Row,         // a battery row begins: the baseline is played first
  Call,        // plays another script
  Out8,        // port, value
  Out16,       // port, word
  Pair,        // two byte writes to one port (the attribute controller's index, data)
  In8,         // port; expected value under mask (mask 0: read, nothing expected)
  IndexedIn,   // index to port, then a read of port + 1, as In8
  Write,       // window byte at a physical address
  Read,        // window byte, as In8
  Poll,        // reads port up to kPollLimit times until (value & bits) == wanted; 1 if seen
  Planes,      // the byte at a physical address in planes 0-3 (read mode 0, map select 0-3)
  FillPlanes,  // every byte of the four planes from a pattern (planar access already set up)
  FillDac,     // every DAC entry from a pattern, through 0x3C8/0x3C9
};

// Reads a status bit gets to take a value.
inline constexpr uint32_t kPollLimit = 1000;

struct Op {
  Kind kind;
  uint32_t at = 0;  // port or physical address
  uint32_t value = 0;
  uint8_t mask = 0;
  const void* ref = nullptr;  // Row: the name; Call: the script
};

// clang-format off
constexpr auto End = [] { return Op{Kind::End}; };
constexpr auto Row = [](const char* name) { return Op{Kind::Row, 0, 0, 0, name}; };
constexpr auto Call = [](const Op* script) { return Op{Kind::Call, 0, 0, 0, script}; };
constexpr auto Out8 = [](uint16_t port, uint8_t value) { return Op{Kind::Out8, port, value}; };
constexpr auto Out16 = [](uint16_t port, uint16_t word) { return Op{Kind::Out16, port, word}; };
constexpr auto In8 = [](uint16_t port, uint8_t expected = 0, uint8_t mask = 0xFF) {
  return Op{Kind::In8, port, expected, mask};
};
constexpr auto Load = [](uint16_t port) { return Op{Kind::In8, port}; };
constexpr auto Write = [](uint32_t at, uint8_t value) { return Op{Kind::Write, at, value}; };
constexpr auto Read = [](uint32_t at, uint8_t expected) {
  return Op{Kind::Read, at, expected, 0xFF};
};
constexpr auto Latch = [](uint32_t at) { return Op{Kind::Read, at}; };
constexpr auto Poll = [](uint16_t port, uint8_t bits, uint8_t wanted) {
  return Op{Kind::Poll, port, static_cast<uint32_t>(wanted << 8 | bits), 0xFF};
};
// Expected bytes of planes 0, 1, 2, 3; leaves GR05 = 0x00 and GR04 = 3.
constexpr auto Planes = [](uint32_t at, uint8_t p0, uint8_t p1, uint8_t p2, uint8_t p3) {
  return Op{Kind::Planes, at, p0 | p1 << 8 | p2 << 16 | static_cast<uint32_t>(p3) << 24, 0xFF};
};
constexpr auto FillPlanes = [](uint8_t seed) { return Op{Kind::FillPlanes, 0, seed}; };
constexpr auto FillDac = [](uint8_t seed) { return Op{Kind::FillDac, 0, seed}; };

// The indexed register files, each written as one 16-bit access (index low,
// value high) and read as index then data; the attribute controller's as
// index then data (the flip-flop must be at the index).
constexpr auto Indexed = [](Kind kind, uint16_t port, uint8_t index, uint8_t value,
                            uint8_t mask = 0xFF) {
  return Op{kind, port, static_cast<uint32_t>(value << 8 | index), mask};
};
constexpr auto Sr = [](uint8_t i, uint8_t v) { return Indexed(Kind::Out16, 0x3C4, i, v); };
constexpr auto Gr = [](uint8_t i, uint8_t v) { return Indexed(Kind::Out16, 0x3CE, i, v); };
constexpr auto Cr = [](uint8_t i, uint8_t v, uint16_t port = 0x3D4) {
  return Indexed(Kind::Out16, port, i, v);
};
constexpr auto Ar = [](uint8_t i, uint8_t v) { return Indexed(Kind::Pair, 0x3C0, i, v); };
constexpr auto InSr = [](uint8_t i, uint8_t v) { return Indexed(Kind::IndexedIn, 0x3C4, i, v); };
constexpr auto InGr = [](uint8_t i, uint8_t v) { return Indexed(Kind::IndexedIn, 0x3CE, i, v); };
constexpr auto InAr = [](uint8_t i, uint8_t v) { return Indexed(Kind::IndexedIn, 0x3C0, i, v); };
constexpr auto InCr = [](uint8_t i, uint8_t v, uint8_t mask = 0xFF, uint16_t port = 0x3D4) {
  return Indexed(Kind::IndexedIn, port, i, v, mask);
};
// clang-format on

// The patterns of the fills: every plane byte and DAC component from its
// place and a seed, so that two fills with different seeds differ almost
// everywhere and the DAC entries are all different (six bits each).
inline uint8_t PlaneByte(uint8_t seed, unsigned plane, uint32_t offset) {
  return static_cast<uint8_t>((offset * 0x9D) ^ (offset >> 7) ^ (plane * 0x47) ^ seed);
}
inline uint8_t DacComponent(uint8_t seed, unsigned entry, unsigned component) {
  const unsigned values[3] = {entry, (entry >> 6) | (seed << 2), entry * 5 + seed};
  return static_cast<uint8_t>(values[component] & 0x3F);
}

// What a bus gives the player; a check receives every row start and every
// read that expects something (the expected value, IndexedIn's above its
// index, and what the bus gave).
//   Bus:   uint8_t In8(uint16_t); void Out8(uint16_t, uint8_t);
//          void Out16(uint16_t, uint16_t); uint8_t Read(uint32_t);
//          void Write(uint32_t, uint8_t); void FillPlane(uint8_t seed, unsigned plane);
//   Check: void Row(const Op&); void Got(const Op&, uint8_t expected, uint8_t got);
// `baseline` is played at every Row.
template <class Bus, class Check>
void Play(Bus& bus, const Op* op, Check& check, const Op* baseline = nullptr) {
  for (; op->kind != Kind::End; ++op) {
    const auto port = static_cast<uint16_t>(op->at);
    const auto value = static_cast<uint8_t>(op->value), high = static_cast<uint8_t>(op->value >> 8);
    if (op->kind == Kind::Row) check.Row(*op);
    if (op->kind == Kind::Row && baseline != nullptr) Play(bus, baseline, check);
    if (op->kind == Kind::Call) Play(bus, static_cast<const Op*>(op->ref), check, baseline);
    if (op->kind == Kind::Out8 || op->kind == Kind::Pair || op->kind == Kind::IndexedIn)
      bus.Out8(port, value);
    if (op->kind == Kind::Pair) bus.Out8(port, high);
    if (op->kind == Kind::Out16) bus.Out16(port, static_cast<uint16_t>(op->value));
    if (op->kind == Kind::In8 && op->mask != 0) check.Got(*op, value, bus.In8(port));
    if (op->kind == Kind::In8 && op->mask == 0) bus.In8(port);
    if (op->kind == Kind::IndexedIn) check.Got(*op, high, bus.In8(port + 1));
    if (op->kind == Kind::Write) bus.Write(op->at, value);
    if (op->kind == Kind::Read && op->mask != 0) check.Got(*op, value, bus.Read(op->at));
    if (op->kind == Kind::Read && op->mask == 0) bus.Read(op->at);
    if (op->kind == Kind::Poll) {
      uint32_t n = 0;
      while (n < kPollLimit && (bus.In8(port) & value) != high)
        ++n;
      check.Got(*op, 1, n < kPollLimit ? 1 : 0);
    }
    if (op->kind == Kind::Planes) bus.Out16(0x3CE, 0x0005);
    for (unsigned p = 0; p < 4 && op->kind == Kind::Planes; ++p) {
      bus.Out16(0x3CE, static_cast<uint16_t>(p << 8 | 0x04));
      check.Got(*op, static_cast<uint8_t>(op->value >> (8 * p)), bus.Read(op->at));
    }
    for (unsigned p = 0; p < 4 && op->kind == Kind::FillPlanes; ++p) {
      bus.Out16(0x3C4, static_cast<uint16_t>((1u << p) << 8 | 0x02));
      bus.FillPlane(value, p);
    }
    if (op->kind == Kind::FillDac) bus.Out8(0x3C8, 0x00);
    for (unsigned i = 0; i < 3 * 256 && op->kind == Kind::FillDac; ++i)
      bus.Out8(0x3C9, DacComponent(value, i / 3, i % 3));
  }
}

// A read agrees with its expected value in the bits the mask names.
constexpr bool Matches(const Op& op, uint8_t expected, uint8_t got) {
  return ((got ^ expected) & op.mask) == 0;
}

// The battery of VGA facts (battery.cpp), rows of reads with the values the
// VGA documentation gives; kBaseline puts the adapter in planar graphics
// before each row.
extern const Op kBaseline[];
extern const Op kBattery[];

// Battery reads on which QEMU's VGA models give another value than the VGA
// documentation (qemu_deviations.cpp): the models, the row (the start of its
// name, which only that row has), the reads' numbers in it (from 1), QEMU's
// value; why, in a comment. The kernel's battery accepts exactly these.
enum Model : uint8_t { kStd = 1, kCirrus = 2, kBoth = 3 };
struct Deviation {
  uint8_t models;
  const char* row;
  uint8_t first, last;
  uint8_t qemu;
};
extern const Deviation kDeviations[];  // ends with a null row

}  // namespace qemu
