#include "sim/session/system_bios.h"

#include <cstdio>
#include <cstring>

namespace sim::session {

namespace {

constexpr uint32_t kBiosBase = uint32_t{kSystemBiosSegment} << 4;
constexpr uint8_t kIret = 0xCF;

// BIOS data area fields (offsets from 0x400).
constexpr uint32_t kBdaEquipment = 0x410;  // bits 5-4: 10 = 80 x 25 colour at power-on
constexpr uint32_t kBdaMemoryKb = 0x413;
constexpr uint32_t kBdaTicks = 0x46C;
constexpr uint32_t kBdaMidnight = 0x470;

constexpr uint16_t kEquipmentColour80 = 0x0020;
constexpr uint16_t kConventionalKb = 640;

// The vectors the host answers while they point at its stubs.
constexpr uint8_t kHostVectors[] = {0x11, 0x12, 0x15, 0x1A, 0x20, 0x21};

uint16_t Get16(std::span<const uint8_t> memory, uint32_t at) {
  return static_cast<uint16_t>(memory[at] | memory[at + 1] << 8);
}

void Put16(std::span<uint8_t> memory, uint32_t at, uint16_t value) {
  memory[at] = static_cast<uint8_t>(value);
  memory[at + 1] = static_cast<uint8_t>(value >> 8);
}

void SetVector(std::span<uint8_t> memory, uint8_t n, uint16_t segment, uint16_t offset) {
  Put16(memory, 4u * n, offset);
  Put16(memory, 4u * n + 2, segment);
}

bool VectorIs(std::span<const uint8_t> memory, uint8_t n, uint16_t offset) {
  return Get16(memory, 4u * n) == offset && Get16(memory, 4u * n + 2) == kSystemBiosSegment;
}

void SetAh(ServiceRegisters& r, uint8_t ah) {
  r.eax = (r.eax & ~0xFF00u) | uint32_t{ah} << 8;
}

std::string Function(uint8_t n, uint8_t ah) {
  char text[48];
  std::snprintf(text, sizeof text, "INT %02Xh function %02Xh", n, ah);
  return text;
}

}  // namespace

void LayOutSystemBios(std::span<uint8_t> memory) {
  for (unsigned n = 0; n < 256; ++n)
    SetVector(memory, static_cast<uint8_t>(n), kSystemBiosSegment, kUnhandledStub);
  for (unsigned n = 0; n < 256; ++n)
    memory[kBiosBase + kHostVectorStubs + n] = kIret;
  memory[kBiosBase + kUnhandledStub] = kIret;
  memory[kBiosBase + kHostReturn] = 0xF4;  // hlt: never reached, the run stops first
  for (const uint8_t n : kHostVectors)
    SetVector(memory, n, kSystemBiosSegment, static_cast<uint16_t>(kHostVectorStubs + n));
  Put16(memory, kBdaEquipment, kEquipmentColour80);
  Put16(memory, kBdaMemoryKb, kConventionalKb);
}

bool HostVector(std::span<const uint8_t> memory, uint8_t n) {
  return VectorIs(memory, n, static_cast<uint16_t>(kHostVectorStubs + n));
}

bool Unhandled(std::span<const uint8_t> memory, uint8_t n) {
  return VectorIs(memory, n, kUnhandledStub);
}

Service Serve(uint8_t n, ServiceRegisters& r, std::span<uint8_t> memory) {
  const auto ah = static_cast<uint8_t>(r.eax >> 8);
  switch (n) {
    case 0x11:  // equipment list
      r.eax = (r.eax & ~0xFFFFu) | Get16(memory, kBdaEquipment);
      return {Service::Kind::Answered};
    case 0x12:  // conventional memory in KB
      r.eax = (r.eax & ~0xFFFFu) | Get16(memory, kBdaMemoryKb);
      return {Service::Kind::Answered};
    case 0x15:
      // A wait (86h) ends at once: no timer runs in a session. Everything
      // else is the answer of a BIOS without the function: CF, AH = 86h.
      if (ah == 0x86) {
        SetAh(r, 0x00);
        r.carry = false;
      } else {
        SetAh(r, 0x86);
        r.carry = true;
      }
      return {Service::Kind::Answered};
    case 0x1A:
      // The tick count (it never advances); no real-time clock, no PCI BIOS.
      if (ah == 0x00) {
        r.ecx = (r.ecx & ~0xFFFFu) | Get16(memory, kBdaTicks + 2);
        r.edx = (r.edx & ~0xFFFFu) | Get16(memory, kBdaTicks);
        r.eax = (r.eax & ~0xFFu) | memory[kBdaMidnight];
        r.carry = false;
      } else {
        SetAh(r, ah == 0xB1 ? 0x81 : 0x86);
        r.carry = true;
      }
      return {Service::Kind::Answered};
    case 0x20:
      return {Service::Kind::Exit, 0};
    case 0x21:
      if (ah == 0x4C) return {Service::Kind::Exit, static_cast<uint8_t>(r.eax)};
      return {Service::Kind::Unprovided, 0, Function(n, ah) + " (DOS offers only 4Ch here)"};
    default:
      return {Service::Kind::Unprovided, 0, Function(n, ah)};
  }
}

}  // namespace sim::session
