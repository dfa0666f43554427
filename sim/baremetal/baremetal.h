// The bare-metal platform under the QEMU harness: a second implementation of
// what the simulated platform gives the driver, on a real (emulated) PC.
// Flat protected mode without paging, so physical addresses, the 0xA0000
// window included, are the addresses the code uses; ports through the
// processor's port instructions; output on COM1; the run ends through
// QEMU's isa-debug-exit device.
#pragma once

#include <cstdint>

namespace baremetal {

inline uint8_t In8(uint16_t port) {
  uint8_t value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
  return value;
}
inline uint16_t In16(uint16_t port) {
  uint16_t value;
  __asm__ __volatile__("inw %w1, %w0" : "=a"(value) : "Nd"(port));
  return value;
}
inline uint32_t In32(uint16_t port) {
  uint32_t value;
  __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(port));
  return value;
}
inline void Out8(uint16_t port, uint8_t value) {
  __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
}
inline void Out16(uint16_t port, uint16_t value) {
  __asm__ __volatile__("outw %w0, %w1" : : "a"(value), "Nd"(port));
}
inline void Out32(uint16_t port, uint32_t value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port));
}

// A byte of physical memory: identity-mapped.
inline volatile uint8_t* Physical(uint32_t address) {
  return reinterpret_cast<volatile uint8_t*>(static_cast<uintptr_t>(address));
}

// COM1, formatted: %s %c %d %u %x with an optional 0 flag and width.
void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Ends the run; QEMU exits with status 1 when passed, 3 when not.
[[noreturn]] void Exit(bool passed);

// A message on COM1, then the run ends as failed.
[[noreturn]] void Stop(const char* why);

}  // namespace baremetal

// The harness: runs what the kernel command line names and says whether it
// passed.
bool HarnessMain(const char* commandLine);
