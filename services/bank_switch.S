// The bank-switch code block handed to display drivers that reach video
// memory through 64 KB windows. The display driver runs a copy of it, so it
// is position-independent: no calls, no data, only immediates, registers and
// the stack. Each routine starts on a 4-byte boundary; padding is nops.

#include "miniport/vga_registers.h"

#if defined(__MINGW32__)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

        .text
        .globl  SYMBOL(BankSwitchStart)
        .globl  SYMBOL(PlanarHCBankSwitchStart)
        .globl  SYMBOL(EnablePlanarHCStart)
        .globl  SYMBOL(DisablePlanarHCStart)
        .globl  SYMBOL(BankSwitchEnd)

        .p2align 2
// EAX: read bank, EDX: write bank (64 KB units, 0 to 15). The bank select
// port takes the read bank in bits 7..4 and the write bank in bits 3..0.
SYMBOL(BankSwitchStart):
SYMBOL(PlanarHCBankSwitchStart):
        shll    $4, %eax
        orb     %dl, %al
        movw    $ZEL_BANK_SELECT, %dx
        outb    %al, %dx
        ret
        .p2align 2, 0x90

// SR04 read, changed by one instruction and written back; the sequencer
// index the caller had is put back.
.macro  SR04_CHANGE change:vararg
        movw    $VGA_SEQ_INDEX, %dx
        inb     %dx, %al
        pushl   %eax
        movb    $SR04_MEMORY_MODE, %al
        outb    %al, %dx
        incl    %edx
        inb     %dx, %al
        \change
        outb    %al, %dx
        decl    %edx
        popl    %eax
        outb    %al, %dx
        ret
.endm

// Chain 4 (SR04 bit 3) off: memory addressed as planes.
SYMBOL(EnablePlanarHCStart):
        SR04_CHANGE andb $0xf7, %al
        .p2align 2, 0x90

// Chain 4 on.
SYMBOL(DisablePlanarHCStart):
        SR04_CHANGE orb $0x08, %al
SYMBOL(BankSwitchEnd):

#if defined(__linux__)
        .section .note.GNU-stack, "", @progbits
#endif
