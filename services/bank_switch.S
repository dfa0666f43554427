// The bank-switch code block handed to display drivers that reach video
// memory through 64 KB windows. The display driver runs a copy of it, so it
// is position-independent: no calls, no data, only immediates, registers and
// the stack. Each routine starts on a 4-byte boundary; padding is nops.

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
// EAX: read bank, EDX: write bank (64 KB units, 0 to 15). Port 0x3CD takes
// the read bank in bits 7..4 and the write bank in bits 3..0.
SYMBOL(BankSwitchStart):
SYMBOL(PlanarHCBankSwitchStart):
        shll    $4, %eax
        orb     %dl, %al
        movw    $0x3cd, %dx
        outb    %al, %dx
        ret
        .p2align 2, 0x90

// Chain 4 off (SR04 bit 3 clear): memory addressed as planes. The sequencer
// index is kept.
SYMBOL(EnablePlanarHCStart):
        movw    $0x3c4, %dx
        inb     %dx, %al
        pushl   %eax
        movb    $0x04, %al
        outb    %al, %dx
        incl    %edx
        inb     %dx, %al
        andb    $0xf7, %al
        outb    %al, %dx
        decl    %edx
        popl    %eax
        outb    %al, %dx
        ret
        .p2align 2, 0x90

// Chain 4 on (SR04 bit 3 set). The sequencer index is kept.
SYMBOL(DisablePlanarHCStart):
        movw    $0x3c4, %dx
        inb     %dx, %al
        pushl   %eax
        movb    $0x04, %al
        outb    %al, %dx
        incl    %edx
        inb     %dx, %al
        orb     $0x08, %al
        outb    %al, %dx
        decl    %edx
        popl    %eax
        outb    %al, %dx
        ret
SYMBOL(BankSwitchEnd):

#if defined(__linux__)
        .section .note.GNU-stack, "", @progbits
#endif
