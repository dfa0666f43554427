// Calls between this process and a loaded NT image. Every call into the image
// runs on a thunk that gives the routine the stack as NT may leave it and
// then checks the stdcall contract: the routine popped exactly its argument
// bytes and preserved EBX, ESI, EDI and EBP.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace sim::pe {

struct CallOutcome {
  uint32_t eax = 0;
  uint32_t edx = 0;
  uint32_t espAtCall = 0;  // ESP just before the call instruction
  // Empty when the routine kept the contract; otherwise every breach, e.g.
  // "popped 0 of its 4 argument bytes; EBX 0x00001234, should be 0xb0b0b0b0".
  std::string breach;
};

// Calls the stdcall routine at `routine` with 32-bit stack arguments, first
// argument first.
CallOutcome CallStdcall(const void* routine, std::span<const uint32_t> args);

// An import stub: 16 bytes of i386 code that enter `service` (a Linux stdcall
// function popping `argumentBytes`) on a 16-byte aligned copy of the arguments.
// `descriptor` must stay where it is for as long as the stub is used.
struct ImportDescriptor {
  const void* service;
  uint32_t argumentBytes;
};
inline constexpr size_t kImportStubSize = 16;
void WriteImportStub(uint8_t* stub, const ImportDescriptor* descriptor);

}  // namespace sim::pe
