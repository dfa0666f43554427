// Multiboot entry of the bare-metal harness. The loader (QEMU's -kernel)
// leaves us in 32-bit protected mode with paging off; we load our own flat
// segments, since the loader's GDT may be gone, clear .bss (the stack lives
// there) and call the C++ side with the multiboot information record.
#define MULTIBOOT_MAGIC 0x1BADB002
#define MULTIBOOT_FLAGS 0x00000000

        .section .multiboot, "a"
        .balign 4
        .long MULTIBOOT_MAGIC
        .long MULTIBOOT_FLAGS
        .long -(MULTIBOOT_MAGIC + MULTIBOOT_FLAGS)

        .section .rodata
        .balign 8
gdt:
        .quad 0x0000000000000000
        .quad 0x00CF9A000000FFFF        // 0x08: code, base 0, 4 GB
        .quad 0x00CF92000000FFFF        // 0x10: data, base 0, 4 GB
gdt_end:
gdt_descriptor:
        .word gdt_end - gdt - 1
        .long gdt

        .section .bss
        .balign 16
stack:
        .skip 0x10000
stack_top:

        .section .text
        .globl _start
_start:
        cli
        lgdt gdt_descriptor
        ljmp $0x08, $1f
1:      movw $0x10, %ax
        movw %ax, %ds
        movw %ax, %es
        movw %ax, %fs
        movw %ax, %gs
        movw %ax, %ss
        movl $__bss_start, %edi
        movl $__bss_end, %ecx
        subl %edi, %ecx
        xorl %eax, %eax
        cld
        rep stosb
        movl $stack_top, %esp
        pushl %ebx
        call BareMetalEntry
2:      hlt
        jmp 2b

        .section .note.GNU-stack, "", @progbits
