// The driver as a Windows NT image: what the linked zel.sys must look like,
// and what the request suites' re-runs on the image (ZEL_DRIVER_IMAGE) cannot
// see of the loader that runs it: relocation away from the preferred base,
// refused imports, the stdcall checks of the call thunk, every encoding of a
// trapped port instruction and the compiler's helpers, proved on a probe
// image; then zel.sys's statics and its own port instructions on a machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/driver_image.h"
#include "sim/machine.h"
#include "sim/pe/loader.h"
#include "sim/pe/pe_file.h"
#include "sim/pe/port_trap.h"
#include "sim/trace.h"

namespace {

using sim::pe::LoadedImage;
using sim::pe::PeError;
using sim::pe::PeFile;
namespace io = sim::io;

#if defined(ZEL_IMAGE_PATH)
constexpr const char* kImage = ZEL_IMAGE_PATH;
constexpr const char* kProbe = ZEL_PROBE_PATH;
constexpr const char* kForeign = ZEL_FOREIGN_PATH;
#define REQUIRE_IMAGES() (void)0
#else
constexpr const char* kImage = "";
constexpr const char* kProbe = "";
constexpr const char* kForeign = "";
#define REQUIRE_IMAGES() GTEST_SKIP() << "built without the i686-w64-mingw32 toolchain"
#endif

// ---------------------------------------------------------------------------
// zel.sys as linked

// The section a linked symbol lies in, by a part of its (decorated) name.
std::string SectionOf(const PeFile& file, const std::string& part) {
  for (const auto& symbol : file.Symbols()) {
    if (symbol.name.find(part) == std::string::npos || symbol.section < 1) continue;
    return file.Sections()[symbol.section - 1].name;
  }
  return "<no symbol containing " + part + ">";
}

// Native i386, entered at DriverEntry, base relocations kept (the mode table
// alone holds dozens of command-stream pointers). Its imports: the loader
// binds nothing but the video port services, which the image runs of the
// request suites load it with.
TEST(ZelImage, IsANativeI386DriverWithItsRelocations) {
  REQUIRE_IMAGES();
  const PeFile file = PeFile::Read(kImage);
  EXPECT_EQ(file.Machine(), 0x014C);
  EXPECT_EQ(file.Subsystem(), 1) << "subsystem must be native";
  const auto driverEntry = file.SymbolRva("_DriverEntry@8");
  ASSERT_TRUE(driverEntry) << "no _DriverEntry@8 in the symbol table";
  EXPECT_EQ(file.EntryRva(), *driverEntry) << "entry point is " << file.Describe(file.EntryRva());
  EXPECT_EQ(file.Characteristics() & 0x0001, 0) << "relocations stripped";
  size_t addresses = 0;
  for (const auto& r : file.Relocations()) {
    EXPECT_TRUE(r.type == 3 || r.type == 0) << "relocation type " << int(r.type) << " at " << r.rva;
    addresses += r.type == 3;
  }
  EXPECT_GT(addresses, 50u);
}

struct Placement {
  const char* symbol;
  const char* section;
};

TEST(ZelImage, ResidentCodeIsInTextAndTheRestIsPageable) {
  REQUIRE_IMAGES();
  const PeFile file = PeFile::Read(kImage);
  const auto* page = file.FindSection("PAGE");
  ASSERT_NE(page, nullptr) << "no PAGE section";
  EXPECT_EQ(page->characteristics & 0x20000020u, 0x20000020u) << "PAGE is not executable code";
  for (const Placement& p :
       {Placement{"VgaPlaybackValidatorData", ".text"}, Placement{"_memcpy", ".text"},
        Placement{"___udivdi3", ".text"}, Placement{"_DriverEntry@8", "PAGE"},
        Placement{"VgaStartIO", "PAGE"}, Placement{"VgaFindAdapter", "PAGE"},
        Placement{"VgaValidatorUcharEntry", "PAGE"}, Placement{"_BankSwitchStart", ".text"},
        Placement{"_DisablePlanarHCStart", ".text"}}) {
    EXPECT_EQ(SectionOf(file, p.symbol), p.section) << p.symbol;
  }
}

// ---------------------------------------------------------------------------
// The loader on the probe image, with test services behind its imports

std::vector<uint32_t> portsRead;

ULONG VPAPI TestInitialize(PVOID, PVOID, PVIDEO_HW_INITIALIZATION_DATA, PVOID) {
  return 0x1234;
}

UCHAR VPAPI TestReadPortUchar(PUCHAR port) {
  portsRead.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(port)));
  return 0x67;
}

VOID VPAPI TestZeroMemory(PVOID destination, ULONG length) {
  std::memset(destination, 0, length);
}

std::optional<sim::pe::Service> TestServices(const std::string& name) {
  if (name == "VideoPortInitialize")
    return sim::pe::Service{reinterpret_cast<const void*>(&TestInitialize), 16};
  if (name == "VideoPortReadPortUchar")
    return sim::pe::Service{reinterpret_cast<const void*>(&TestReadPortUchar), 4};
  if (name == "VideoPortZeroMemory")
    return sim::pe::Service{reinterpret_cast<const void*>(&TestZeroMemory), 8};
  return std::nullopt;
}

std::shared_ptr<LoadedImage> LoadProbe() {
  return LoadedImage::Load(kProbe, TestServices);
}

uint32_t Call(const LoadedImage& image, const char* name,
              std::initializer_list<uint32_t> args = {}) {
  void* routine = image.Export(name);
  EXPECT_NE(routine, nullptr) << name << " is not exported";
  if (!routine) return 0;
  const auto outcome = image.Call(routine, args);
  EXPECT_EQ(outcome.breach, "") << name;
  return outcome.eax;
}

// Addresses in code and data are relocated, imports bound by name, and a
// restore brings the statics back to the file's contents, relocated again;
// a second load has statics of its own.
TEST(Loader, RelocatesBindsAndRestoresTheProbe) {
  REQUIRE_IMAGES();
  auto image = LoadProbe();
  ASSERT_EQ(image->File().ImageBase(), 0x10000u);
  ASSERT_NE(image->Base(), 0x10000u) << "mapped at the preferred base: relocation untested";
  const auto* counter = reinterpret_cast<const ULONG*>(Call(*image, "ProbeCounterAddress"));
  ASSERT_TRUE(image->Contains(counter)) << "address in code not relocated: " << counter;
  EXPECT_EQ(*counter, 5u);
  EXPECT_EQ(Call(*image, "ProbeReadThroughTable", {1}), 7u) << "addresses in data not relocated";
  portsRead.clear();
  EXPECT_EQ(Call(*image, "ProbeReadMisc"), 0x67u);
  EXPECT_EQ(portsRead, std::vector<uint32_t>{0x3CC});
  EXPECT_EQ(Call(*image, "ProbeBumpCounter"), 6u);
  EXPECT_EQ(Call(*image, "ProbeBumpCounter"), 7u);
  image->Restore();
  EXPECT_EQ(Call(*image, "ProbeBumpCounter"), 6u);
  EXPECT_EQ(Call(*image, "ProbeReadThroughTable", {0}), 6u)
      << "restored image lost its relocations";
  EXPECT_EQ(Call(*LoadProbe(), "ProbeBumpCounter"), 6u)
      << "a second load shares the first one's statics";
}

struct Refusal {
  const char* image;
  sim::pe::ImportResolver resolver;
  const char* error;
};

// A service that returns its ESP on entry (the return address on top): the
// import gate must have aligned the stack as Linux code expects it, 16 bytes
// at the call.
extern "C" UCHAR VPAPI ZelTestEntryStack(PUCHAR);
__asm__(R"(
  .pushsection .text
  .globl ZelTestEntryStack
  .type ZelTestEntryStack, @function
ZelTestEntryStack:
  movl %esp, %eax
  ret $4
  .popsection
)");

TEST(Loader, ImportGateAlignsTheStackForTheService) {
  REQUIRE_IMAGES();
  auto image =
      LoadedImage::Load(kProbe, [](const std::string& name) -> std::optional<sim::pe::Service> {
        if (name == "VideoPortReadPortUchar")
          return sim::pe::Service{reinterpret_cast<const void*>(&ZelTestEntryStack), 4};
        return TestServices(name);
      });
  // ProbeReadMisc returns the service's UCHAR: the low byte of that ESP.
  EXPECT_EQ(Call(*image, "ProbeReadMisc") % 16, 12u);
}

TEST(Loader, RefusesImportsItCannotBindAndNamesThem) {
  REQUIRE_IMAGES();
  const Refusal cases[] = {
      {kForeign, TestServices, "HAL.DLL!READ_PORT_UCHAR: only VIDEOPRT.SYS services are bound"},
      {kProbe,
       [](const std::string& name) {
         return name == "VideoPortInitialize" ? std::nullopt : TestServices(name);
       },
       "VIDEOPRT.SYS!VideoPortInitialize: not a service the platform provides"},
  };
  for (const Refusal& r : cases) {
    try {
      LoadedImage::Load(r.image, r.resolver);
      ADD_FAILURE() << r.image << " loaded";
    } catch (const PeError& e) {
      EXPECT_NE(std::string(e.what()).find(r.error), std::string::npos) << e.what();
    }
  }
}

// ---------------------------------------------------------------------------
// The call thunk

struct Contract {
  const char* routine;
  std::vector<uint32_t> args;
  const char* breach;
};

TEST(CallThunk, ReportsEveryBreachOfTheStdcallContract) {
  REQUIRE_IMAGES();
  auto image = LoadProbe();
  const Contract cases[] = {
      {"ProbeAdd", {2, 3}, ""},
      {"ProbeUnbalanced", {9}, "popped 0 of its 4 argument bytes"},
      {"ProbeOverPops", {9}, "popped 8 of its 4 argument bytes"},
      {"ProbeClobbersEbx", {}, "EBX 0x00001234, should be 0xb0b0b0b0"},
      {"ProbeClobbersEsi", {}, "ESI 0x00005678, should be 0x51515151"},
      {"ProbeClobbersEdi", {}, "EDI 0x00009abc, should be 0xd1d1d1d1"},
      {"ProbeClobbersEbp", {}, "EBP 0x0000def0, should be 0xbeefbeef"},
  };
  for (const Contract& c : cases) {
    const auto outcome = sim::pe::CallStdcall(image->Export(c.routine), c.args);
    EXPECT_EQ(outcome.breach, c.breach) << c.routine;
  }
}

TEST(CallThunk, GateKeepsOnlyAlOfAByteResultAndStopsOnABreach) {
  REQUIRE_IMAGES();
  const PeFile file = PeFile::Read(kProbe);
  const sim::DriverImage driver = sim::LoadDriverImage(kProbe);
  const uintptr_t base = reinterpret_cast<uintptr_t>(driver.entry) - file.EntryRva();
  const void* dirtyFalse = reinterpret_cast<const void*>(base + *file.ExportRva("ProbeDirtyFalse"));
  EXPECT_EQ(driver.callGate(dirtyFalse, {}, true), 0u);
  EXPECT_EQ(driver.callGate(dirtyFalse, {}, false), 0xabcdef00u);

  GTEST_FLAG_SET(death_test_style, "fast");
  const void* clobbers = reinterpret_cast<const void*>(base + *file.ExportRva("ProbeClobbersEbx"));
  EXPECT_DEATH(
      driver.callGate(clobbers, {}, false),
      R"(probe\.sys\+0x[0-9a-f]+ \(_ProbeClobbersEbx\) broke the stdcall contract: EBX 0x00001234)");
}

// ---------------------------------------------------------------------------
// Port instructions

sim::Trace* portTrace = nullptr;

uint32_t Mask(unsigned size) {
  return size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}
uint32_t TraceIn(unsigned size, uint16_t port) {
  const uint32_t value = 0x11223344u & Mask(size);
  portTrace->Record(
      {.kind = sim::AccessKind::In, .size = uint8_t(size), .address = port, .value = value});
  return value;
}
void TraceOut(unsigned size, uint16_t port, uint32_t value) {
  portTrace->Record(
      {.kind = sim::AccessKind::Out, .size = uint8_t(size), .address = port, .value = value});
}

struct PortCase {
  const char* routine;
  std::vector<uint32_t> args;
  sim::TraceEntry access;
  uint32_t eax;  // reads: what the instruction left in EAX (0xaabbccdd before)
};

TEST(PortTrap, EmulatesEveryEncodingAndSize) {
  REQUIRE_IMAGES();
  auto image = LoadProbe();
  sim::Trace trace;
  trace.Start();
  portTrace = &trace;
  const auto before = sim::pe::RoutePortInstructions({.in = TraceIn, .out = TraceOut});
  const PortCase cases[] = {
      {"ProbeInImm8", {}, io::In8(0x61, 0x44), 0xaabbcc44},
      {"ProbeInImm16", {}, io::In16(0x62, 0x3344), 0xaabb3344},
      {"ProbeInImm32", {}, io::In32(0x64, 0x11223344), 0x11223344},
      {"ProbeInDx8", {0x3c5}, io::In8(0x3c5, 0x44), 0xaabbcc44},
      {"ProbeInDx16", {0x3c4}, io::In16(0x3c4, 0x3344), 0xaabb3344},
      {"ProbeInDx32", {0xcfc}, io::In32(0xcfc, 0x11223344), 0x11223344},
      {"ProbeOutImm8", {0x1234}, io::Out8(0x80, 0x34), 0},
      {"ProbeOutImm16", {0x56781234}, io::Out16(0x82, 0x1234), 0},
      {"ProbeOutImm32", {0x56781234}, io::Out32(0x84, 0x56781234), 0},
      {"ProbeOutDx8", {0x3c4, 0x1205}, io::Out8(0x3c4, 0x05), 0},
      {"ProbeOutDx16", {0x3c4, 0xff8605}, io::Out16(0x3c4, 0x8605), 0},
      {"ProbeOutDx32", {0xcf8, 0x80001000}, io::Out32(0xcf8, 0x80001000), 0},
  };
  for (const PortCase& c : cases) {
    trace.Clear();
    const auto outcome = sim::pe::CallStdcall(image->Export(c.routine), c.args);
    EXPECT_EQ(outcome.breach, "") << c.routine;
    EXPECT_EQ(sim::CompareTraces({c.access}, trace.Entries()), "") << c.routine;
    if (c.access.kind == sim::AccessKind::In) {
      EXPECT_EQ(outcome.eax, c.eax) << std::hex << c.routine;
    }
  }
  sim::pe::RoutePortInstructions(before);
  portTrace = nullptr;
}

// ---------------------------------------------------------------------------
// The compiler's helpers, as linked into an image

uint64_t Call64(const LoadedImage& image, const char* routine, uint64_t a, uint64_t b) {
  const auto outcome = image.Call(image.Export(routine),
                                  {uint32_t(a), uint32_t(a >> 32), uint32_t(b), uint32_t(b >> 32)});
  EXPECT_EQ(outcome.breach, "") << routine;
  return uint64_t{outcome.edx} << 32 | outcome.eax;
}

// 64-bit division: divisors above 32 bits, quotients above 32 bits, the
// signed ones truncating toward zero with the remainder taking the
// dividend's sign.
TEST(CompilerHelpers, SixtyFourBitDivision) {
  REQUIRE_IMAGES();
  auto image = LoadProbe();
  struct Division {
    bool isSigned;
    uint64_t a, b, quotient, remainder;
  };
  const Division cases[] = {
      {false, 5, 0x100000000, 0, 5},
      {false, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 1, 0},
      {false, 0x123456789ABCDEF0, 0x100000000, 0x12345678, 0x9ABCDEF0},
      {false, 0xFEDCBA9876543210, 0x12345, 0xE0004FA01C4D, 0x10A4F},
      {false, 0xFFFFFFFFFFFFFFFF, 0x80000001, 0x1FFFFFFFC, 3},
      {true, uint64_t(-7), 2, uint64_t(-3), uint64_t(-1)},
      {true, 7, uint64_t(-2), uint64_t(-3), 1},
      {true, uint64_t(-7), uint64_t(-2), 3, uint64_t(-1)},
      {true, uint64_t(INT64_MIN), 2, 0xC000000000000000, 0},
      {true, uint64_t(INT64_MAX), uint64_t(-0x100000000), uint64_t(-0x7FFFFFFF), 0xFFFFFFFF},
  };
  for (const Division& d : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << d.a << " by " << d.b);
    EXPECT_EQ(Call64(*image, d.isSigned ? "ProbeSdiv64" : "ProbeUdiv64", d.a, d.b), d.quotient);
    EXPECT_EQ(Call64(*image, d.isSigned ? "ProbeSmod64" : "ProbeUmod64", d.a, d.b), d.remainder);
  }
}

// Copy, fill (the low byte of the value), moves that overlap either way.
TEST(CompilerHelpers, BlockCopyFillAndOverlappingMove) {
  REQUIRE_IMAGES();
  auto image = LoadProbe();
  auto slot = [](const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8}, copy(8);
  Call(*image, "ProbeCopy", {slot(copy.data()), slot(bytes.data()), 8});
  Call(*image, "ProbeFill", {slot(copy.data() + 2), 0x1A5, 3});
  EXPECT_EQ(copy, (std::vector<uint8_t>{1, 2, 0xA5, 0xA5, 0xA5, 6, 7, 8}));
  Call(*image, "ProbeMove", {slot(bytes.data() + 2), slot(bytes.data()), 5});
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 5, 8}));
  Call(*image, "ProbeMove", {slot(bytes.data()), slot(bytes.data() + 3), 5});
  EXPECT_EQ(bytes, (std::vector<uint8_t>{2, 3, 4, 5, 8, 4, 5, 8}));
}

// ---------------------------------------------------------------------------
// zel.sys on the simulated machine

// A second load runs on the image's statics as the file has them, not as the
// first load's validation left them (rows marked, pitches narrowed).
TEST(ZelImageOnMachine, EveryLoadStartsFromTheImagesStatics) {
  REQUIRE_IMAGES();
  const sim::DriverImage image = sim::LoadDriverImage(kImage);
  sim::Profile large;
  large.memoryMB = 8;
  sim::Profile small;
  small.memoryMB = 1;
  auto modes = [](sim::Machine& m) {
    std::vector<uint8_t> list(96 * sizeof(VIDEO_MODE_INFORMATION));
    const auto r =
        m.Ioctl(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, list.data(), ULONG(list.size()));
    EXPECT_EQ(r.status, NO_ERROR);
    list.resize(r.information);
    return list;
  };
  sim::Machine first(large), linked(small), second(small);
  ASSERT_EQ(first.Load(image), NO_ERROR);
  ASSERT_EQ(linked.Load(), NO_ERROR);
  ASSERT_EQ(second.Load(image), NO_ERROR);
  ASSERT_NE(modes(first), modes(linked)) << "8 MB and 1 MB offer the same modes: nothing to tell";
  EXPECT_TRUE(modes(second) == modes(linked)) << "the second load kept the first one's statics";
}

// zel.sys reaches SR3E by its own in/out instructions, trapped and traced.
TEST(ZelImageOnMachine, ModeSetRunsTheImagesOwnPortInstructions) {
  REQUIRE_IMAGES();
  sim::Machine nt;
  ASSERT_EQ(nt.Load(sim::LoadDriverImage(kImage)), NO_ERROR);
  const size_t mark = nt.trace().Start();
  ULONG mode = 12;
  ASSERT_EQ(nt.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status, NO_ERROR);
  const auto accesses = nt.trace().Since(mark);
  const auto sr3e = std::find(accesses.begin(), accesses.end(), io::Out8(0x3C4, 0x3E));
  ASSERT_NE(sr3e, accesses.end()) << "no SR3E index written";
  ASSERT_NE(sr3e + 1, accesses.end());
  EXPECT_EQ(sr3e[1].kind, sim::AccessKind::In)
      << "SR3E is read back before it is changed: " << sim::Format(sr3e[1]);
  EXPECT_EQ(sr3e[1].address, 0x3C5u);
}

}  // namespace
