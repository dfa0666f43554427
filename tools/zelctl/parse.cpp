#include "tools/zelctl/parse.h"

#include <limits>

namespace zelctl {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

std::string Hex(uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + digits;
}

}  // namespace

std::vector<std::string_view> SplitWords(std::string_view line) {
  if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
    line = line.substr(0, hash);
  }
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i]))
      ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i]))
      ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

uint64_t ParseNumber(std::string_view text, std::string_view what) {
  const auto bad = [&] {
    return ScriptError(std::string(what) + ": " + Quoted(text) + " is not a number");
  };
  unsigned base = 10;
  std::string_view digits = text;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text.substr(2);
  }
  if (digits.empty()) throw bad();
  uint64_t value = 0;
  for (const char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) throw bad();
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / base) {
      throw ScriptError(std::string(what) + ": " + Quoted(text) + " is too large");
    }
    value = value * base + digit;
  }
  return value;
}

uint64_t ParseNumber(std::string_view text, std::string_view what, uint64_t max) {
  const uint64_t value = ParseNumber(text, what);
  if (value > max) {
    throw ScriptError(std::string(what) + ": " + Quoted(text) + " is out of range (at most " +
                      Hex(max) + ")");
  }
  return value;
}

uint64_t ParseSize(std::string_view text, std::string_view what, uint64_t max) {
  uint64_t unit = 1;
  std::string_view number = text;
  // A trailing K or M is a unit, never a digit: neither is a hex digit.
  if (!text.empty()) {
    const char last = text.back();
    if (last == 'K' || last == 'k') unit = 1024;
    if (last == 'M' || last == 'm') unit = 1048576;
    if (unit != 1) number = text.substr(0, text.size() - 1);
  }
  const uint64_t count = ParseNumber(number, what);
  if (count > max / unit) {
    throw ScriptError(std::string(what) + ": " + Quoted(text) + " is out of range (at most " +
                      Hex(max) + ")");
  }
  return count * unit;
}

std::vector<uint8_t> ParseHexBytes(std::string_view text, std::string_view what) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (const char c : text) {
    if (c == '_') continue;
    const int digit = HexDigit(c);
    if (digit < 0) {
      throw ScriptError(std::string(what) + ": " + Quoted(std::string_view(&c, 1)) +
                        " is not a hex digit");
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) {
    throw ScriptError(std::string(what) + ": odd number of hex digits in " + Quoted(text));
  }
  return bytes;
}

KeyValue SplitKeyValue(std::string_view word, std::string_view what) {
  const size_t eq = word.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    throw ScriptError(std::string(what) + ": expected KEY=VALUE, got " + Quoted(word));
  }
  return {word.substr(0, eq), word.substr(eq + 1)};
}

}  // namespace zelctl
