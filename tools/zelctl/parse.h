// The lexical side of a zelctl script: words, numbers, sizes and hex bytes.
// Every parser throws ScriptError with a message that names what was wrong;
// the runner adds the line number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelctl {

// A malformed line or a misuse of a command: the script stops with status 2.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words of one line, separated by blanks; '#' starts a comment that runs
// to the end of the line.
std::vector<std::string_view> SplitWords(std::string_view line);

// Decimal or 0x hexadecimal, no sign. `what` names the value in messages.
uint64_t ParseNumber(std::string_view text, std::string_view what);
// A number that must not exceed `max`.
uint64_t ParseNumber(std::string_view text, std::string_view what, uint64_t max);

// A number with an optional K (x 1024) or M (x 1048576) suffix.
uint64_t ParseSize(std::string_view text, std::string_view what, uint64_t max);

// Hex pairs ("0a1B"), '_' may separate groups and is ignored.
std::vector<uint8_t> ParseHexBytes(std::string_view text, std::string_view what);

// Splits "key=value"; the value may be empty, the key may not.
struct KeyValue {
  std::string_view key;
  std::string_view value;
};
KeyValue SplitKeyValue(std::string_view word, std::string_view what);

}  // namespace zelctl
