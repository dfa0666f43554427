// The little of a PC's system BIOS that a session's video BIOS and a DOS
// program lean on, laid into the session's 1 MB: the vector table, the BIOS
// data area, and at 0xF0000 one stub per vector. A vector left as laid out
// is answered here, by the host, as the real firmware or DOS would answer it;
// a vector the session's own code installed is run as code.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sim::session {

// Offsets in the system BIOS segment (0xF000).
inline constexpr uint16_t kSystemBiosSegment = 0xF000;
inline constexpr uint16_t kHostVectorStubs = 0xE000;  // stub of vector n at 0xE000 + n
inline constexpr uint16_t kHostReturn = 0xE100;       // where a call the host makes returns to
inline constexpr uint16_t kUnhandledStub = 0xFF53;    // a vector nothing handles

// Lays the vector table, the BIOS data area and the stubs into `memory`
// (the whole 1 MB, zeroed).
void LayOutSystemBios(std::span<uint8_t> memory);

// The registers a host-answered service reads and writes.
struct ServiceRegisters {
  uint32_t eax, ebx, ecx, edx;
  bool carry;
};

// What the host made of a software interrupt whose vector still points at
// its stub.
struct Service {
  enum class Kind : uint8_t { Answered, Exit, Unprovided } kind;
  uint8_t exitCode = 0;
  std::string what{};  // for Unprovided: the function nobody provides
};

// Vector `n` points at the host's own stub for it.
bool HostVector(std::span<const uint8_t> memory, uint8_t n);
// Whether the table sends vector `n` nowhere.
bool Unhandled(std::span<const uint8_t> memory, uint8_t n);

// Answers INT n as the firmware (11h, 12h, 15h, 1Ah) or DOS (20h, 21h) would.
Service Serve(uint8_t n, ServiceRegisters& regs, std::span<uint8_t> memory);

}  // namespace sim::session
