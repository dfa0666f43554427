// The access trace: recording, the one-line form of an access, and the
// comparison that names the first place two sequences part.
#include "sim/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {
namespace {

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

int DigitsForSize(uint8_t size) {
  return size == 4 ? 8 : size == 2 ? 4 : 2;
}

unsigned BitsForSize(uint8_t size) {
  return 8u * size;
}

// BIOS statuses are small error codes, written in decimal like the platform's
// error numbers; NT status codes (0xCxxxxxxx) read better in hex.
std::string Status(uint32_t status) {
  return status < 0x10000 ? std::to_string(status) : Hex(status, 8);
}

// The body of an entry without its "io " prefix, as CompareTraces names accesses.
std::string Body(const TraceEntry& e) {
  const int digits = DigitsForSize(e.size);
  const std::string bits = std::to_string(BitsForSize(e.size));
  switch (e.kind) {
    case AccessKind::In:
      return "in" + bits + " " + Hex(e.address, 0) + " " + Hex(e.value, digits);
    case AccessKind::Out:
      return "out" + bits + " " + Hex(e.address, 0) + " " + Hex(e.value, digits);
    case AccessKind::MemRead:
      return "mem read" + bits + " " + Hex(e.address, 0) + "+" + Hex(e.offset, 0) + " " +
             Hex(e.value, digits);
    case AccessKind::MemWrite:
      return "mem write" + bits + " " + Hex(e.address, 0) + "+" + Hex(e.offset, 0) + " " +
             Hex(e.value, digits);
    case AccessKind::Bios:
      return "bios int10 eax=" + Hex(e.value, 8) + " status=" + Status(e.status);
    case AccessKind::Traps:
      return "traps " + std::to_string(e.value);
    case AccessKind::MoveToBuffer:
    case AccessKind::MoveFromBuffer:
      return "mem move " + Hex(e.address, 0) + "+" + Hex(e.offset, 0) + " len=" + Hex(e.length, 0) +
             (e.kind == AccessKind::MoveToBuffer ? " to-buffer" : " from-buffer") +
             " digest=" + Hex(e.value, 8);
    case AccessKind::Fill:
      return "mem fill " + Hex(e.address, 0) + "+" + Hex(e.offset, 0) + " len=" + Hex(e.length, 0) +
             " " + Hex(e.value, 2);
  }
  return "unknown access";
}

bool IsPort(const TraceEntry& e) {
  return e.kind == AccessKind::In || e.kind == AccessKind::Out;
}

TraceEntry Port(AccessKind kind, uint8_t size, uint16_t port, uint32_t value) {
  return TraceEntry{.kind = kind, .size = size, .address = port, .value = value};
}

TraceEntry Memory(AccessKind kind, uint32_t base, uint32_t offset, uint8_t value) {
  return TraceEntry{.kind = kind, .size = 1, .address = base, .offset = offset, .value = value};
}

TraceEntry Block(AccessKind kind, uint32_t base, uint32_t offset, std::span<const uint8_t> bytes) {
  return TraceEntry{.kind = kind,
                    .size = 1,
                    .address = base,
                    .offset = offset,
                    .value = Digest(bytes),
                    .length = static_cast<uint32_t>(bytes.size())};
}

}  // namespace

std::string Format(const TraceEntry& entry) {
  return IsPort(entry) ? "io " + Body(entry) : Body(entry);
}

namespace io {
TraceEntry In8(uint16_t port, uint8_t value) {
  return Port(AccessKind::In, 1, port, value);
}
TraceEntry In16(uint16_t port, uint16_t value) {
  return Port(AccessKind::In, 2, port, value);
}
TraceEntry In32(uint16_t port, uint32_t value) {
  return Port(AccessKind::In, 4, port, value);
}
TraceEntry Out8(uint16_t port, uint8_t value) {
  return Port(AccessKind::Out, 1, port, value);
}
TraceEntry Out16(uint16_t port, uint16_t value) {
  return Port(AccessKind::Out, 2, port, value);
}
TraceEntry Out32(uint16_t port, uint32_t value) {
  return Port(AccessKind::Out, 4, port, value);
}
TraceEntry MemRead8(uint32_t base, uint32_t offset, uint8_t value) {
  return Memory(AccessKind::MemRead, base, offset, value);
}
TraceEntry MemWrite8(uint32_t base, uint32_t offset, uint8_t value) {
  return Memory(AccessKind::MemWrite, base, offset, value);
}
TraceEntry Bios(uint32_t eax, uint32_t status) {
  return TraceEntry{.kind = AccessKind::Bios, .size = 0, .value = eax, .status = status};
}
TraceEntry Traps(uint32_t rows) {
  return TraceEntry{.kind = AccessKind::Traps, .size = 0, .value = rows};
}
TraceEntry MoveToBuffer(uint32_t base, uint32_t offset, std::span<const uint8_t> bytes) {
  return Block(AccessKind::MoveToBuffer, base, offset, bytes);
}
TraceEntry MoveFromBuffer(uint32_t base, uint32_t offset, std::span<const uint8_t> bytes) {
  return Block(AccessKind::MoveFromBuffer, base, offset, bytes);
}
TraceEntry Fill(uint32_t base, uint32_t offset, uint32_t length, uint8_t value) {
  return TraceEntry{.kind = AccessKind::Fill,
                    .size = 1,
                    .address = base,
                    .offset = offset,
                    .value = value,
                    .length = length};
}
}  // namespace io

uint32_t Digest(std::span<const uint8_t> bytes) {
  constexpr uint32_t kPrime = 0x01000193u;
  uint32_t hash = 0x811C9DC5u;
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  // Four bytes a load (planes are 64 KB), each still hashed in its turn.
  for (; n >= 4; n -= 4, p += 4) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    for (int i = 0; i < 4; ++i, word >>= 8)
      hash = (hash ^ (word & 0xFF)) * kPrime;
  }
  for (; n > 0; --n, ++p)
    hash = (hash ^ *p) * kPrime;
  return hash;
}

Trace::Trace(const Trace& other)
    : recording_(other.recording_),
      detail_(other.detail_),
      entries_(other.Entries().begin(), other.Entries().end()),
      count_(other.count_),
      buffer_(entries_.data()),
      room_(entries_.size()),
      listener_(other.listener_),
      listening_(other.listening_) {}

Trace& Trace::operator=(const Trace& other) {
  if (this == &other) return *this;
  recording_ = other.recording_;
  detail_ = other.detail_;
  if (entries_.size() < other.count_) entries_.resize(other.count_);
  std::copy_n(other.buffer_, other.count_, entries_.begin());
  buffer_ = entries_.data();
  room_ = entries_.size();
  count_ = other.count_;
  listener_ = other.listener_;
  listening_ = other.listening_;
  return *this;
}

// Every port access of a traced run comes here. The entry is written in
// place without AddressSanitizer's check of the copy, a call into its
// runtime for every access: the room is there, the buffer was grown first.
__attribute__((no_sanitize("address"))) void Trace::Append(const TraceEntry& entry) {
  if (count_ == room_) Grow();
  buffer_[count_++] = entry;
  if (listening_) listener_(entry);
}

void Trace::Grow() {
  entries_.resize(std::max<size_t>(256, 2 * entries_.size()));
  buffer_ = entries_.data();
  room_ = entries_.size();
}

std::vector<TraceEntry> Trace::Since(size_t mark) const {
  const std::span<const TraceEntry> entries = Entries();
  if (mark >= entries.size()) return {};
  return {entries.begin() + static_cast<std::ptrdiff_t>(mark), entries.end()};
}

void Trace::SetListener(std::function<void(const TraceEntry&)> listener) {
  listener_ = std::move(listener);
  listening_ = static_cast<bool>(listener_);
}

// Accesses are numbered from 0, as positions in the vectors compared.
std::string CompareTraces(std::span<const TraceEntry> expected,
                          std::span<const TraceEntry> actual) {
  const size_t common = std::min(expected.size(), actual.size());
  for (size_t i = 0; i < common; ++i) {
    if (!(expected[i] == actual[i])) {
      return "access #" + std::to_string(i) + ": expected " + Body(expected[i]) + ", got " +
             Body(actual[i]);
    }
  }
  if (expected.size() > common) {
    return "access #" + std::to_string(common) + ": expected " + Body(expected[common]) +
           ", got nothing";
  }
  if (actual.size() > common) {
    return "access #" + std::to_string(common) + ": expected nothing, got " + Body(actual[common]);
  }
  return {};
}

std::vector<TraceEntry> Writes(std::span<const TraceEntry> entries) {
  std::vector<TraceEntry> writes;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(writes),
               [](const TraceEntry& e) { return e.kind == AccessKind::Out; });
  return writes;
}

}  // namespace sim
