// Expected traces written as a bus log, one register operation per line, and
// the checks that compare them: a failure names the first differing access
// (or byte) with both sides.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "sim/trace.h"

namespace test {

using sim::TraceEntry;

// One line of an expected trace: a single access or a register operation
// that expands to several.
struct Op {
  Op(const TraceEntry& entry) : entries{entry} {}                         // NOLINT: implicit
  Op(std::vector<TraceEntry> expanded) : entries(std::move(expanded)) {}  // NOLINT: implicit
  std::vector<TraceEntry> entries;
};

inline std::vector<TraceEntry> Bus(std::initializer_list<Op> ops) {
  std::vector<TraceEntry> all;
  for (const Op& op : ops)
    all.insert(all.end(), op.entries.begin(), op.entries.end());
  return all;
}
// An expected trace built elsewhere (a template: a braced list never lands here).
template <typename Entries>
std::vector<TraceEntry> Bus(const Entries& entries) {
  return {entries.begin(), entries.end()};
}

// Index/data pairs: sequencer 0x3C4, CRTC 0x3D4 (colour), graphics 0x3CE.
inline TraceEntry IndexWrite16(uint16_t port, uint8_t index, uint8_t value) {
  return sim::io::Out16(port, static_cast<uint16_t>(value << 8 | index));
}
inline std::vector<TraceEntry> IndexModify(uint16_t port, uint8_t index, uint8_t read,
                                           uint8_t write) {
  return {sim::io::Out8(port, index), sim::io::In8(port + 1, read), sim::io::Out8(port + 1, write)};
}
inline TraceEntry SeqWrite16(uint8_t index, uint8_t value) {
  return IndexWrite16(0x3C4, index, value);
}
inline std::vector<TraceEntry> SeqRead(uint8_t index, uint8_t value) {
  return {sim::io::Out8(0x3C4, index), sim::io::In8(0x3C5, value)};
}
inline std::vector<TraceEntry> SeqModify(uint8_t index, uint8_t read, uint8_t write) {
  return IndexModify(0x3C4, index, read, write);
}
inline TraceEntry CrtcWrite16(uint8_t index, uint8_t value) {
  return IndexWrite16(0x3D4, index, value);
}
inline TraceEntry GcWrite16(uint8_t index, uint8_t value) {
  return IndexWrite16(0x3CE, index, value);
}
inline std::vector<TraceEntry> GcModify(uint8_t index, uint8_t read, uint8_t write) {
  return IndexModify(0x3CE, index, read, write);
}

inline testing::AssertionResult TraceIs(const std::vector<TraceEntry>& actual,
                                        const std::vector<TraceEntry>& expected) {
  const std::string diff = sim::CompareTraces(expected, actual);
  if (diff.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << diff;
}

// The first differing byte of two records of the same size, if any.
inline testing::AssertionResult BytesAre(std::span<const uint8_t> actual,
                                         std::span<const uint8_t> expected) {
  for (size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
    if (i >= actual.size() || i >= expected.size() || actual[i] != expected[i]) {
      auto side = [](std::span<const uint8_t> bytes, size_t at) {
        char text[8] = "end";
        if (at < bytes.size()) std::snprintf(text, sizeof text, "0x%02x", bytes[at]);
        return std::string(text);
      };
      const std::string line = "first difference at offset " + std::to_string(i) + ": expected " +
                               side(expected, i) + ", got " + side(actual, i);
      return testing::AssertionFailure() << line;
    }
  }
  return testing::AssertionSuccess();
}
template <typename T>
testing::AssertionResult RecordIs(const T& actual, const T& expected) {
  return BytesAre({reinterpret_cast<const uint8_t*>(&actual), sizeof(T)},
                  {reinterpret_cast<const uint8_t*>(&expected), sizeof(T)});
}

// A request record from the platform's own type, cut or padded with zeros
// to `length` bytes.
template <typename T>
std::vector<uint8_t> Bytes(const T& record, size_t length = sizeof(T)) {
  std::vector<uint8_t> bytes(length, 0);
  std::memcpy(bytes.data(), &record, std::min(length, sizeof(T)));
  return bytes;
}

}  // namespace test

// EXPECT_TRACE(actual, {expected, ...}): the trace as a whole.
#define EXPECT_TRACE(actual, ...) EXPECT_TRUE(::test::TraceIs((actual), ::test::Bus(__VA_ARGS__)))
// EXPECT_RECORD(actual, expected): two records of one type, byte for byte.
#define EXPECT_RECORD(actual, expected) EXPECT_TRUE(::test::RecordIs((actual), (expected)))
