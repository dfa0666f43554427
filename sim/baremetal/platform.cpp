// Entry from the boot code, COM1 output, the exit device, and the few
// library routines the compiler may call on its own in freestanding code.
#include <cstdarg>
#include <cstddef>

#include "sim/baremetal/baremetal.h"

namespace baremetal {

namespace {

constexpr uint16_t kCom1 = 0x3F8;
constexpr uint16_t kCom1LineStatus = kCom1 + 5;
constexpr uint8_t kTransmitterEmpty = 0x20;
// QEMU's isa-debug-exit, placed at this port by the harness's command line;
// it exits with (value << 1) | 1.
constexpr uint16_t kDebugExit = 0xF4;

void Put(char c) {
  while (!(In8(kCom1LineStatus) & kTransmitterEmpty)) {
  }
  Out8(kCom1, static_cast<uint8_t>(c));
}

void PutNumber(uint32_t value, unsigned base, unsigned width, char pad) {
  char digits[12];
  unsigned n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0);
  for (; width > n; --width)
    Put(pad);
  while (n > 0)
    Put(digits[--n]);
}

// The multiboot information record, as far as the command line.
struct MultibootInfo {
  uint32_t flags;
  uint32_t memLower, memUpper, bootDevice;
  uint32_t commandLine;
};
constexpr uint32_t kHasCommandLine = 0x04;

}  // namespace

void Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      Put(*p);
      continue;
    }
    const char pad = p[1] == '0' ? '0' : ' ';
    unsigned width = 0;
    while (p[1] >= '0' && p[1] <= '9')
      width = width * 10 + static_cast<unsigned>(*++p - '0');
    switch (*++p) {
      case 's':
        for (const char* s = va_arg(args, const char*); *s != '\0'; ++s)
          Put(*s);
        break;
      case 'c':
        Put(static_cast<char>(va_arg(args, int)));
        break;
      case 'd': {
        const int value = va_arg(args, int);
        if (value < 0) Put('-');
        PutNumber(static_cast<uint32_t>(value < 0 ? -value : value), 10, width, pad);
        break;
      }
      case 'u':
        PutNumber(va_arg(args, unsigned), 10, width, pad);
        break;
      case 'x':
        PutNumber(va_arg(args, unsigned), 16, width, pad);
        break;
      default:
        Put(*p);
        break;
    }
  }
  va_end(args);
}

void Exit(bool passed) {
  Out8(kDebugExit, passed ? 0 : 1);
  // Without the exit device: stop here.
  for (;;)
    __asm__ __volatile__("cli; hlt");
}

void Stop(const char* why) {
  Printf("stopped: %s\n", why);
  Exit(false);
}

}  // namespace baremetal

extern "C" [[noreturn]] void BareMetalEntry(const baremetal::MultibootInfo* info) {
  const char* line = "";
  if (info->flags & baremetal::kHasCommandLine) {
    line = reinterpret_cast<const char*>(static_cast<uintptr_t>(info->commandLine));
  }
  baremetal::Exit(HarnessMain(line));
}

// What the compiler may call for copies and clears of its own.
extern "C" {
void* memcpy(void* to, const void* from, size_t n) {
  auto* d = static_cast<unsigned char*>(to);
  const auto* s = static_cast<const unsigned char*>(from);
  for (size_t i = 0; i < n; ++i)
    d[i] = s[i];
  return to;
}
void* memmove(void* to, const void* from, size_t n) {
  auto* d = static_cast<unsigned char*>(to);
  const auto* s = static_cast<const unsigned char*>(from);
  if (d < s) return memcpy(to, from, n);
  while (n-- > 0)
    d[n] = s[n];
  return to;
}
void* memset(void* to, int value, size_t n) {
  auto* d = static_cast<unsigned char*>(to);
  for (size_t i = 0; i < n; ++i)
    d[i] = static_cast<unsigned char>(value);
  return to;
}
int memcmp(const void* a, const void* b, size_t n) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}
}
