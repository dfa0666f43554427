// Runs the bank-switch code block that IOCTL_VIDEO_GET_BANK_SELECT_CODE hands
// out on a real i386 CPU emulator, placed at arbitrary addresses, with its
// port instructions wired to the simulated adapter, and checks each routine's
// contract: what it writes, what it keeps, a balanced stack, and only EAX and
// EDX changed.
//
// Usage: bank_switch_exec SCRIPT -- ZELCTL-COMMAND...
// The block comes from the driver itself: zelctl plays SCRIPT, whose last
// request is the bank-select query with a 102-byte output buffer.
#include <unicorn/unicorn.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "sim/adapter.h"

namespace {

constexpr uint32_t kCodePage = 0x00735000;
constexpr uint32_t kStackTop = 0x00200F00;
constexpr uint32_t kReturnAddress = 0x00300000;  // mapped, never executed

int failures = 0;
std::string writes;  // "port=value " for each byte the routine called last wrote

void Check(bool ok, const std::string& what) {
  if (!ok) std::cerr << "FAILED: " << what << "\n";
  failures += ok ? 0 : 1;
}

std::string Hex(uint32_t value) {
  return (std::ostringstream() << "0x" << std::hex << value).str();
}

// The 50-byte block after the 52-byte record in zelctl's "status=0 info=102
// out=HEX" line.
std::vector<uint8_t> QueryBlock(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;)
    output += static_cast<char>(c);
  const size_t line = output.rfind("status=0 info=102 out=");
  std::vector<uint8_t> bytes;
  if (!pipe || pclose(pipe) != 0 || line == std::string::npos) return bytes;
  for (size_t i = line + 22 + 2 * 52; i + 1 < output.size() && bytes.size() < 50; i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(output.substr(i, 2), nullptr, 16)));
  return bytes;
}

uint32_t PortIn(uc_engine*, uint32_t port, int size, sim::Adapter* adapter) {
  uint32_t value = 0;
  for (int i = 0; i < size; ++i)
    value |= adapter->In8(static_cast<uint16_t>(port + i)) << (8 * i);
  return value;
}

void PortOut(uc_engine*, uint32_t port, int size, uint32_t value, sim::Adapter* adapter) {
  for (int i = 0; i < size; ++i) {
    adapter->Out8(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
    writes += Hex(port + i) + "=" + Hex((value >> (8 * i)) & 0xFF) + " ";
  }
}

// Copies the block to `placement`, calls the routine at block offset `entry`
// as a near call with EAX and EDX given, and checks the calling contract.
std::string Call(sim::Adapter& adapter, const std::vector<uint8_t>& block, uint32_t placement,
                 uint32_t entry, uint32_t eax, uint32_t edx, const std::string& name) {
  const int ids[] = {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                     UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP, UC_X86_REG_ESP};
  const uint32_t before[] = {eax,        0xB0B0B0B0, 0xC0C0C0C0, edx,
                             0x51515151, 0xD1D1D1D1, 0xBBBBBBBB, kStackTop - 4};
  uc_engine* uc = nullptr;
  Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc) == UC_ERR_OK, "unicorn opens");
  if (!uc) return {};
  uc_mem_map(uc, kCodePage, 0x2000, UC_PROT_ALL);
  uc_mem_map(uc, kStackTop & ~0xFFFu, 0x1000, UC_PROT_READ | UC_PROT_WRITE);
  uc_mem_map(uc, kReturnAddress, 0x1000, UC_PROT_ALL);
  uc_mem_write(uc, placement, block.data(), block.size());
  uc_mem_write(uc, kStackTop - 4, &kReturnAddress, 4);  // a near call
  for (size_t i = 0; i < std::size(ids); ++i)
    uc_reg_write(uc, ids[i], &before[i]);

  writes.clear();
  uc_hook hook;
  void* const a = &adapter;
  uc_hook_add(uc, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(PortIn), a, 1, 0, UC_X86_INS_IN);
  uc_hook_add(uc, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(PortOut), a, 1, 0, UC_X86_INS_OUT);
  const uc_err err = uc_emu_start(uc, placement + entry, kReturnAddress, 0, 1000);
  Check(err == UC_ERR_OK, name + ": runs (" + uc_strerror(err) + ")");
  uint32_t eip = 0;
  uc_reg_read(uc, UC_X86_REG_EIP, &eip);
  Check(eip == kReturnAddress, name + ": returns to its caller, EIP " + Hex(eip));
  for (size_t i : {1, 2, 4, 5, 6, 7}) {  // all but EAX and EDX; ESP popped
    uint32_t after = 0;
    uc_reg_read(uc, ids[i], &after);
    const uint32_t expected = i == 7 ? kStackTop : before[i];
    Check(after == expected, name + ": register #" + std::to_string(i) + " " + Hex(after) +
                                 ", should be " + Hex(expected) + " (only EAX and EDX change)");
  }
  uc_close(uc);
  return writes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::string(argv[2]) != "--") return 2;
  std::string command;
  for (int i = 3; i < argc; ++i)
    command += std::string(argv[i]) + " ";
  command += std::string("run ") + argv[1];
  const std::vector<uint8_t> block = QueryBlock(command);
  if (block.size() != 50) {
    std::cerr << "FAILED: no bank-select record from: " << command << "\n";
    return 1;
  }

  sim::Adapter adapter(sim::DerivePowerOn(sim::Profile{}));
  // Bank select at offset 0: EAX read bank 1, EDX write bank 2 -> 0x12 to
  // 0x3CD. Planar high colour on at 12 (chain 4 off) and off at 32 (on):
  // the other SR04 bits and the sequencer index kept.
  const std::tuple<std::string, uint32_t, uint8_t, uint8_t, uint8_t> routines[] = {
      {"planar enable", 12, 0x0E, 0x02, 0x06}, {"planar disable", 32, 0x06, 0x01, 0x0E}};
  // Two placements, neither the block's own address: the code must not care.
  for (const uint32_t placement : {kCodePage + 0x123u, kCodePage + 0x1001u}) {
    const std::string at = " at " + Hex(placement);
    const std::string writes = Call(adapter, block, placement, 0, 1, 2, "bank select" + at);
    Check(writes == "0x3cd=0x12 ",
          "bank select" + at + ": one write of 0x12 to 0x3cd, not " + writes);
    for (const auto& [name, entry, sr04, index, sr04After] : routines) {
      adapter.Out16(0x3C4, static_cast<uint16_t>(sr04 << 8 | 0x04));
      adapter.Out8(0x3C4, index);
      Call(adapter, block, placement, entry, 0, 0, name + at);
      Check(adapter.Seq(0x04) == sr04After && adapter.WholeState().seqIndex == index,
            name + at + ": SR04 " + Hex(sr04) + " -> " + Hex(adapter.Seq(0x04)) + ", index " +
                Hex(adapter.WholeState().seqIndex));
    }
  }

  if (failures == 0) std::cout << "bank-switch block: all routines keep their contract\n";
  return failures == 0 ? 0 : 1;
}
