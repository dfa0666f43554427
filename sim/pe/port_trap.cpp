#include "sim/pe/port_trap.h"

#include <signal.h>
#include <ucontext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim::pe {
namespace {

constexpr uint8_t kOperandSizePrefix = 0x66;
constexpr uint8_t kInImm = 0xE4;   // E4 in al,imm8; E5 in (e)ax,imm8
constexpr uint8_t kOutImm = 0xE6;  // E6 out imm8,al; E7 out imm8,(e)ax
constexpr uint8_t kInDx = 0xEC;    // EC in al,dx; ED in (e)ax,dx
constexpr uint8_t kOutDx = 0xEE;   // EE out dx,al; EF out dx,(e)ax

struct sigaction previous;
bool installed = false;
PortRoute route;

struct PortInstruction {
  bool in;
  unsigned size;
  uint16_t port;
  unsigned length;  // bytes to step over
};

// Decodes the instruction at `ip`, or returns false if it is not a port
// instruction this handler emulates.
bool Decode(const uint8_t* ip, uint32_t edx, PortInstruction& insn) {
  unsigned at = 0;
  bool operand16 = false;
  if (ip[at] == kOperandSizePrefix) {
    operand16 = true;
    ++at;
  }
  const uint8_t op = ip[at++];
  const unsigned wide = operand16 ? 2 : 4;
  switch (op & 0xFE) {
    case kInImm:
    case kOutImm:
      insn.port = ip[at++];
      break;
    case kInDx:
    case kOutDx:
      insn.port = static_cast<uint16_t>(edx);
      break;
    default:
      return false;
  }
  insn.in = (op & 0xFE) == kInImm || (op & 0xFE) == kInDx;
  insn.size = (op & 1) ? wide : 1;
  insn.length = at;
  return true;
}

void Chain(int signal, siginfo_t* info, void* context) {
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    // Back to the default action; the faulting instruction runs again and
    // the process stops as it would have without this handler.
    sigaction(SIGSEGV, &previous, nullptr);
  }
}

// qemu's user-mode emulation aligns a signal frame to 8 bytes only, where the
// code generated here assumes 16: realign on entry.
__attribute__((force_align_arg_pointer)) void OnSegv(int signal, siginfo_t* info, void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
  greg_t* regs = uc->uc_mcontext.gregs;
  // A port instruction without I/O permission is a general protection
  // fault, reported by the kernel itself; page faults carry their address.
  PortInstruction insn{};
  if (info->si_code != SI_KERNEL || !Decode(reinterpret_cast<const uint8_t*>(regs[REG_EIP]),
                                            static_cast<uint32_t>(regs[REG_EDX]), insn)) {
    Chain(signal, info, context);
    return;
  }
  if (!route.in || !route.out) {
    std::fprintf(stderr, "port instruction at 0x%x (%s%u port 0x%x) with no port route set\n",
                 static_cast<unsigned>(regs[REG_EIP]), insn.in ? "in" : "out", 8 * insn.size,
                 insn.port);
    std::abort();
  }
  const auto eax = static_cast<uint32_t>(regs[REG_EAX]);
  if (insn.in) {
    const uint32_t value = route.in(insn.size, insn.port);
    const uint32_t keep = insn.size == 1 ? 0xFFFFFF00u : insn.size == 2 ? 0xFFFF0000u : 0u;
    regs[REG_EAX] = static_cast<greg_t>((eax & keep) | (value & ~keep));
  } else {
    const uint32_t mask = insn.size == 1 ? 0xFFu : insn.size == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    route.out(insn.size, insn.port, eax & mask);
  }
  regs[REG_EIP] += insn.length;
}

}  // namespace

PortRoute RoutePortInstructions(PortRoute next) {
  if (!installed) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnSegv;
    // NODEFER: a fault inside the route still reaches a handler.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, &previous) != 0) {
      std::perror("sigaction(SIGSEGV)");
      std::abort();
    }
    installed = true;
  }
  const PortRoute before = route;
  route = next;
  return before;
}

}  // namespace sim::pe
