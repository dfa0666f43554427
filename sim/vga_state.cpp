// Diff: the differences between two VGA states as lines a person can read.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/adapter.h"

namespace sim {

namespace {

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
  return text;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string RgbText(const Rgb& c) {
  return "(" + Hex2(c.r) + ", " + Hex2(c.g) + ", " + Hex2(c.b) + ")";
}

class Lines {
 public:
  explicit Lines(size_t limit) : limit_(limit) {}

  void Byte(const std::string& what, unsigned expected, unsigned actual) {
    if (expected != actual) Add(what + ": expected " + Hex2(expected) + ", got " + Hex2(actual));
  }
  void Flag(const std::string& what, bool expected, bool actual) {
    if (expected != actual) {
      Add(what + ": expected " + (expected ? "1" : "0") + ", got " + (actual ? "1" : "0"));
    }
  }
  template <size_t N>
  void Registers(const char* prefix, const std::array<uint8_t, N>& expected,
                 const std::array<uint8_t, N>& actual) {
    for (size_t i = 0; i < N; ++i) {
      Byte(prefix + Hex2(static_cast<unsigned>(i)).substr(2), expected[i], actual[i]);
    }
  }
  void Add(std::string line) {
    ++count_;
    if (lines_.size() < limit_) lines_.push_back(std::move(line));
  }

  std::vector<std::string> Take() {
    // Keep within the limit and say how much was left out.
    if (count_ > lines_.size() && limit_ > 0) {
      lines_.resize(limit_ - 1);
      lines_.push_back("... and " + std::to_string(count_ - lines_.size()) + " more differences");
    }
    return std::move(lines_);
  }

 private:
  size_t limit_;
  size_t count_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> Diff(const VgaState& expected, const VgaState& actual, size_t limit) {
  Lines out(limit);
  out.Registers("SR", expected.seq, actual.seq);
  out.Byte("SR index", expected.seqIndex, actual.seqIndex);
  out.Registers("CR", expected.crtc, actual.crtc);
  out.Byte("CR index", expected.crtcIndex, actual.crtcIndex);
  out.Registers("GR", expected.gc, actual.gc);
  out.Byte("GR index", expected.gcIndex, actual.gcIndex);
  out.Registers("AR", expected.attr, actual.attr);
  out.Byte("AR index", expected.attrIndex, actual.attrIndex);
  out.Flag("AR flip-flop in data state", expected.attrFlipFlopData, actual.attrFlipFlopData);
  out.Byte("misc output", expected.misc, actual.misc);
  out.Byte("feature control", expected.featureControl, actual.featureControl);
  out.Byte("video enable 0x3c3", expected.videoEnable, actual.videoEnable);
  for (size_t i = 0; i < expected.dac.size(); ++i) {
    if (expected.dac[i] != actual.dac[i]) {
      out.Add("DAC " + Hex2(static_cast<unsigned>(i)) + ": expected " + RgbText(expected.dac[i]) +
              ", got " + RgbText(actual.dac[i]));
    }
  }
  out.Byte("DAC address", expected.dacAddress, actual.dacAddress);
  out.Flag("DAC read mode", expected.dacReadMode, actual.dacReadMode);
  out.Byte("DAC position", expected.dacPosition, actual.dacPosition);
  for (size_t i = 0; i < 3; ++i) {
    out.Byte("DAC pending component " + std::to_string(i), expected.dacPending[i],
             actual.dacPending[i]);
  }
  out.Byte("pixel mask", expected.pelMask, actual.pelMask);
  for (size_t p = 0; p < 4; ++p) {
    out.Byte("latch " + std::to_string(p), expected.latches[p], actual.latches[p]);
  }
  for (size_t p = 0; p < 4; ++p) {
    const auto& e = expected.planes[p];
    const auto& a = actual.planes[p];
    if (e.size() != a.size()) {
      out.Add("plane " + std::to_string(p) + " size: expected " + Hex(e.size()) + ", got " +
              Hex(a.size()));
      continue;
    }
    for (size_t o = 0; o < e.size(); ++o) {
      if (e[o] != a[o]) {
        out.Byte("plane " + std::to_string(p) + " offset " + Hex(static_cast<unsigned>(o)), e[o],
                 a[o]);
      }
    }
  }
  return out.Take();
}

}  // namespace sim
