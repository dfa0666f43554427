// A probe image that breaks the NT kernel's rules for a miniport on purpose,
// one routine per rule, so that each image check is seen to fail on it and to
// name the routine: an instruction newer than the 80486, x87 arithmetic, a
// frame over the stack budget, and resident code that calls pageable code.
#include "miniport/videoport.h"

extern "C" {

// A Pentium Pro conditional move.
ULONG VPAPI ProbeConditionalMove(ULONG a, ULONG b) {
  ULONG smaller = a;
  asm("cmpl %1, %0\n\tcmova %1, %0" : "+r"(smaller) : "r"(b) : "cc");
  return smaller;
}

// x87 arithmetic on the thread's floating-point state.
ULONG VPAPI ProbeFloatingPoint(ULONG value) {
  asm volatile("fildl %0\n\tfistpl %0" : "+m"(value));
  return value;
}

// 3 KB of locals, beyond a 2 KB budget.
ULONG VPAPI ProbeDeepFrame(ULONG index) {
  volatile UCHAR scratch[3072];
  scratch[index % sizeof scratch] = 1;
  return scratch[(index + 1) % sizeof scratch];
}

// Pageable code, reached from the resident routine below.
__attribute__((section("PAGE"), noinline)) ULONG VPAPI ProbePagedHelper(ULONG value) {
  return value * 3 + 1;
}

// Resident (this object's code is .text), as a routine run at raised
// priority must be.
ULONG VPAPI ProbeRaisedPriority(ULONG value) {
  return ProbePagedHelper(value) + 1;
}

ULONG VPAPI DriverEntry(PVOID, PVOID) {
  return ProbeConditionalMove(1, 2) + ProbeFloatingPoint(3) + ProbeDeepFrame(4) +
         ProbeRaisedPriority(5);
}

}  // extern "C"
