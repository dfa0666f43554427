// What the session fuzzer runs on the session's processor, read from the
// input: INT 10h calls as DOS programs make them, and small .COM programs
// made of the statements a full-screen program's video code is made of.
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz/harness.h"
#include "sim/session/vdm.h"

namespace fuzz {

// Where INT 10h calls find and leave their tables (ES, and DS): a data
// segment of the session's RAM.
inline constexpr uint16_t kDataSegment = 0x2000;

// An INT 10h call: mostly a function a DOS program uses (mode sets of every
// standard mode, cursor, pages, scrolling, characters, teletype, palette
// and DAC, fonts, alternate select, strings, display combination, state),
// its registers shaped as such a program passes them (counts kept small,
// pointers into the data segment); now and then any AX. `data` gets the
// bytes to put at the call's pointer first (empty: none).
sim::session::Registers ReadInt10(Input& in, std::vector<uint8_t>& data, uint32_t& pointer);

// A .COM image of 1 to 16 statements, ending in hlt: port writes and reads
// of every width, index/data pairs, read-modify-writes, synchronous-reset
// bursts, string port instructions, window reads and writes of every width
// at 0xA0000, 0xB0000 and 0xB8000, repeated stores and moves into the
// window, status polls, DAC and attribute sequences, extended registers and
// the bank select, and INT 10h calls.
std::vector<uint8_t> ReadProgram(Input& in);

}  // namespace fuzz
