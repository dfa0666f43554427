// Hand-written probe routines, in the ELF assembly the driver's own
// assembly uses: the image build converts the object, so these also prove
// that path. Some break the stdcall rules on purpose; the rest execute one
// port instruction each, in each encoding. Port reads start from
// EAX = 0xAABBCCDD so that a test sees which bytes the instruction replaced.
  .text
  .globl ProbeUnbalanced
  .type ProbeUnbalanced, @function
ProbeUnbalanced:          // stdcall by name, but leaves its argument
  movl $1, %eax
  ret
  .size ProbeUnbalanced, . - ProbeUnbalanced
  .globl ProbeOverPops
  .type ProbeOverPops, @function
ProbeOverPops:            // pops one argument too many
  movl $1, %eax
  ret $8
  .globl ProbeClobbersEbx
  .type ProbeClobbersEbx, @function
ProbeClobbersEbx:
  movl $0x1234, %ebx
  ret
  .globl ProbeClobbersEsi
  .type ProbeClobbersEsi, @function
ProbeClobbersEsi:
  movl $0x5678, %esi
  ret
  .globl ProbeClobbersEdi
  .type ProbeClobbersEdi, @function
ProbeClobbersEdi:
  movl $0x9abc, %edi
  ret
  .globl ProbeClobbersEbp
  .type ProbeClobbersEbp, @function
ProbeClobbersEbp:
  movl $0xdef0, %ebp
  ret
  .globl ProbeEntryStack
  .type ProbeEntryStack, @function
ProbeEntryStack:          // ESP on entry, return address on top
  movl %esp, %eax
  ret
  .globl ProbeDirtyFalse
  .type ProbeDirtyFalse, @function
ProbeDirtyFalse:          // a BOOLEAN FALSE: only AL is defined
  movl $0xabcdef00, %eax
  ret

  .globl ProbeInImm8
  .type ProbeInImm8, @function
ProbeInImm8:
  movl $0xaabbccdd, %eax
  inb $0x61, %al
  ret
  .globl ProbeInImm16
  .type ProbeInImm16, @function
ProbeInImm16:
  movl $0xaabbccdd, %eax
  inw $0x62, %ax
  ret
  .globl ProbeInImm32
  .type ProbeInImm32, @function
ProbeInImm32:
  movl $0xaabbccdd, %eax
  inl $0x64, %eax
  ret
  .globl ProbeOutImm8
  .type ProbeOutImm8, @function
ProbeOutImm8:
  movl 4(%esp), %eax
  outb %al, $0x80
  ret $4
  .globl ProbeOutImm16
  .type ProbeOutImm16, @function
ProbeOutImm16:
  movl 4(%esp), %eax
  outw %ax, $0x82
  ret $4
  .globl ProbeOutImm32
  .type ProbeOutImm32, @function
ProbeOutImm32:
  movl 4(%esp), %eax
  outl %eax, $0x84
  ret $4
  .globl ProbeInDx8
  .type ProbeInDx8, @function
ProbeInDx8:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inb %dx, %al
  ret $4
  .globl ProbeInDx16
  .type ProbeInDx16, @function
ProbeInDx16:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inw %dx, %ax
  ret $4
  .globl ProbeInDx32
  .type ProbeInDx32, @function
ProbeInDx32:
  movl 4(%esp), %edx
  movl $0xaabbccdd, %eax
  inl %dx, %eax
  ret $4
  .globl ProbeOutDx8
  .type ProbeOutDx8, @function
ProbeOutDx8:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outb %al, %dx
  ret $8
  .globl ProbeOutDx16
  .type ProbeOutDx16, @function
ProbeOutDx16:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outw %ax, %dx
  ret $8
  .globl ProbeOutDx32
  .type ProbeOutDx32, @function
ProbeOutDx32:
  movl 4(%esp), %edx
  movl 8(%esp), %eax
  outl %eax, %dx
  ret $8

  .section .note.GNU-stack, "", @progbits
