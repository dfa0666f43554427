// The two doors between this process and a loaded NT image (i386, AT&T).
//
// ZelThunkCall: the platform calls a routine of the image. The image is NT
// code, so it meets the stack as NT may leave it (ESP = 4 mod 16 at the call,
// not the 16 the Linux ABI keeps) and the callee-saved registers carry known
// marks; after the return the frame records ESP and those registers so that
// the caller can tell a routine that popped the wrong number of argument
// bytes or did not preserve EBX, ESI, EDI or EBP.
//
// ZelImportGate: the image calls a platform service through a stub that
// pushes the service's descriptor. The service is Linux code, so the gate
// copies the arguments to a 16-byte aligned block first, then returns to the
// image popping the arguments as a stdcall routine does.

#define FRAME_ROUTINE 0
#define FRAME_ARG_COUNT 4
#define FRAME_ARGS 8
#define FRAME_SAVED_ESP 12
#define FRAME_SAVED_EBP 16
#define FRAME_PREVIOUS 20
#define FRAME_ESP_AT_CALL 24
#define FRAME_EAX 28
#define FRAME_EDX 32
#define FRAME_ESP_AFTER 36
#define FRAME_EBX_AFTER 40
#define FRAME_ESI_AFTER 44
#define FRAME_EDI_AFTER 48
#define FRAME_EBP_AFTER 52

#define MARK_EBX 0xb0b0b0b0
#define MARK_ESI 0x51515151
#define MARK_EDI 0xd1d1d1d1
#define MARK_EBP 0xbeefbeef

// Slack below the saved registers, so that a routine that pops too much
// does not make the return path overwrite them.
#define OVERPOP_SLACK 64

  .text

// void ZelThunkCall(ZelThunkFrame* frame)   (cdecl)
  .globl ZelThunkCall
  .type ZelThunkCall, @function
ZelThunkCall:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 8(%ebp), %eax
  movl %esp, FRAME_SAVED_ESP(%eax)
  movl %ebp, FRAME_SAVED_EBP(%eax)

  // Frames nest (an image routine calls a service that calls the image
  // again): the innermost is found through a chain, not through registers
  // the routine may have broken.
  call 1f
1:
  popl %ecx
  addl $_GLOBAL_OFFSET_TABLE_ + (. - 1b), %ecx
  movl zel_thunk_innermost@GOTOFF(%ecx), %edx
  movl %edx, FRAME_PREVIOUS(%eax)
  movl %eax, zel_thunk_innermost@GOTOFF(%ecx)

  movl FRAME_ARG_COUNT(%eax), %ecx
  leal 0(,%ecx,4), %edx
  movl %esp, %edi
  subl %edx, %edi
  subl $OVERPOP_SLACK, %edi
  andl $-16, %edi
  addl $4, %edi
  movl %edi, FRAME_ESP_AT_CALL(%eax)
  movl %edi, %esp
  movl FRAME_ARGS(%eax), %esi
  cld
  rep movsl

  movl FRAME_ROUTINE(%eax), %eax
  movl $MARK_EBX, %ebx
  movl $MARK_ESI, %esi
  movl $MARK_EDI, %edi
  movl $MARK_EBP, %ebp
  call *%eax

  // Nothing but EIP can be trusted here; ECX is free (caller-saved), and the
  // call below pushes at ESP - 4 and pops it again, leaving ESP as returned.
  call 2f
2:
  popl %ecx
  addl $_GLOBAL_OFFSET_TABLE_ + (. - 2b), %ecx
  movl zel_thunk_innermost@GOTOFF(%ecx), %ecx
  movl %eax, FRAME_EAX(%ecx)
  movl %edx, FRAME_EDX(%ecx)
  movl %esp, FRAME_ESP_AFTER(%ecx)
  movl %ebx, FRAME_EBX_AFTER(%ecx)
  movl %esi, FRAME_ESI_AFTER(%ecx)
  movl %edi, FRAME_EDI_AFTER(%ecx)
  movl %ebp, FRAME_EBP_AFTER(%ecx)
  movl FRAME_SAVED_ESP(%ecx), %esp
  movl FRAME_SAVED_EBP(%ecx), %ebp
  movl FRAME_PREVIOUS(%ecx), %edx
  call 3f
3:
  popl %eax
  addl $_GLOBAL_OFFSET_TABLE_ + (. - 3b), %eax
  movl %edx, zel_thunk_innermost@GOTOFF(%eax)
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
  .size ZelThunkCall, . - ZelThunkCall

// Reached by `jmp` from an import stub: (%esp) the descriptor
// {service, argument bytes}, 4(%esp) the return address into the image,
// 8(%esp) the arguments.
  .globl ZelImportGate
  .type ZelImportGate, @function
ZelImportGate:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  pushl %edi
  movl 4(%ebp), %edx
  movl 4(%edx), %ecx
  subl %ecx, %esp
  andl $-16, %esp
  movl %esp, %edi
  leal 12(%ebp), %esi
  shrl $2, %ecx
  cld
  rep movsl
  call *(%edx)                 // stdcall: the service pops the copy

  movl 4(%ebp), %ecx
  movl 4(%ecx), %ecx           // argument bytes
  leal -8(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebp
  // (%esp) descriptor, 4(%esp) return address, then ECX bytes of arguments:
  // move the return address onto the last argument and return from there.
  movl %edx, (%esp)
  movl 4(%esp), %edx
  movl %edx, 4(%esp,%ecx)
  movl (%esp), %edx
  leal 4(%esp,%ecx), %esp
  ret
  .size ZelImportGate, . - ZelImportGate

  .bss
  .align 4
  .local zel_thunk_innermost
zel_thunk_innermost:
  .zero 4

  .section .note.GNU-stack, "", @progbits
