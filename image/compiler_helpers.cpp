// What the compiler calls on its own in a kernel image with no C runtime:
// block copies and fills for aggregate copies and zeroed locals, and 64-bit
// division. Linked statically, so the image imports nothing for them.
// Resident: resident code may reach them too.
#include <cstddef>
#include <cstdint>

// Loops that look like a copy or a fill must stay loops here, or the
// compiler turns memcpy into a call to memcpy.
#define ZEL_PLAIN_LOOPS __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

ZEL_PLAIN_LOOPS void* memcpy(void* destination, const void* source, size_t length) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  while (length--)
    *d++ = *s++;
  return destination;
}

ZEL_PLAIN_LOOPS void* memmove(void* destination, const void* source, size_t length) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  if (d < s) {
    while (length--)
      *d++ = *s++;
  } else {
    while (length--)
      d[length] = s[length];
  }
  return destination;
}

ZEL_PLAIN_LOOPS void* memset(void* destination, int value, size_t length) {
  auto* d = static_cast<unsigned char*>(destination);
  while (length--)
    *d++ = static_cast<unsigned char>(value);
  return destination;
}

ZEL_PLAIN_LOOPS int memcmp(const void* left, const void* right, size_t length) {
  const auto* l = static_cast<const unsigned char*>(left);
  const auto* r = static_cast<const unsigned char*>(right);
  for (; length; --length, ++l, ++r) {
    if (*l != *r) return *l < *r ? -1 : 1;
  }
  return 0;
}

}  // extern "C"

namespace {

// Restoring shift-and-subtract: one quotient bit per round, with only
// shifts, compares and subtractions, which i386 does inline on 64 bits.
uint64_t DivideUnsigned(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  if (divisor == 0) {
    // The hardware would trap on a zero divisor; a kernel must not, and the
    // driver never divides by zero. Give a defined answer.
    *remainder = dividend;
    return ~uint64_t{0};
  }
  uint64_t quotient = 0;
  uint64_t rest = 0;
  for (int bit = 63; bit >= 0; --bit) {
    rest = (rest << 1) | ((dividend >> bit) & 1);
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  *remainder = rest;
  return quotient;
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

}  // namespace

extern "C" {

uint64_t __udivdi3(uint64_t dividend, uint64_t divisor) {
  uint64_t rest;
  return DivideUnsigned(dividend, divisor, &rest);
}

uint64_t __umoddi3(uint64_t dividend, uint64_t divisor) {
  uint64_t rest;
  DivideUnsigned(dividend, divisor, &rest);
  return rest;
}

// Truncating division: the quotient is negative when the signs differ, the
// remainder takes the dividend's sign.
int64_t __divdi3(int64_t dividend, int64_t divisor) {
  uint64_t rest;
  const uint64_t q = DivideUnsigned(Magnitude(dividend), Magnitude(divisor), &rest);
  return static_cast<int64_t>((dividend < 0) != (divisor < 0) ? uint64_t{0} - q : q);
}

int64_t __moddi3(int64_t dividend, int64_t divisor) {
  uint64_t rest;
  DivideUnsigned(Magnitude(dividend), Magnitude(divisor), &rest);
  return static_cast<int64_t>(dividend < 0 ? uint64_t{0} - rest : rest);
}

}  // extern "C"
