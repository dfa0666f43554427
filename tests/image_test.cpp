// The driver as a Windows NT image: what the request suites' re-runs on the
// image (ZEL_DRIVER_IMAGE) cannot see. NT pages the PAGE section, so code
// that runs at raised IRQL must stay in .text; and the loader must stop an
// image that breaks its contract. (The image's own port instructions, SR3E's,
// are on the trace of the mode set suite's re-run.)
#include <gtest/gtest.h>

#include <string>

#include "miniport/videoport.h"
#include "sim/pe/call.h"
#include "sim/pe/loader.h"
#include "sim/pe/pe_file.h"

namespace {

#if defined(ZEL_IMAGE_PATH)
constexpr const char* kImage = ZEL_IMAGE_PATH;
constexpr const char* kProbe = ZEL_PROBE_PATH;
constexpr const char* kForeign = ZEL_FOREIGN_PATH;
#define REQUIRE_IMAGE() (void)0
#else
constexpr const char* kImage = "";
constexpr const char* kProbe = "";
constexpr const char* kForeign = "";
#define REQUIRE_IMAGE() GTEST_SKIP() << "built without the i686-w64-mingw32 toolchain"
#endif

// The section a linked symbol lies in, by a part of its (decorated) name.
std::string SectionOf(const sim::pe::PeFile& file, const std::string& part) {
  for (const auto& symbol : file.Symbols()) {
    if (symbol.name.find(part) == std::string::npos || symbol.section < 1) continue;
    return file.Sections()[symbol.section - 1].name;
  }
  return "<no symbol containing " + part + ">";
}

// A native-subsystem image whose validators, bank-switch blocks and the
// helpers they call are resident, the rest pageable code.
TEST(ZelImage, ResidentCodeIsInTextAndTheRestIsPageable) {
  REQUIRE_IMAGE();
  const sim::pe::PeFile file = sim::pe::PeFile::Read(kImage);
  EXPECT_EQ(file.Subsystem(), 1) << "subsystem must be native";
  const auto* page = file.FindSection("PAGE");
  ASSERT_NE(page, nullptr) << "no PAGE section";
  EXPECT_EQ(page->characteristics & 0x20000020u, 0x20000020u) << "PAGE is not executable code";
  const std::pair<const char*, const char*> placements[] = {{"VgaPlaybackValidatorData", ".text"},
                                                            {"_memcpy", ".text"},
                                                            {"___udivdi3", ".text"},
                                                            {"_BankSwitchStart", ".text"},
                                                            {"_DisablePlanarHCStart", ".text"},
                                                            {"_DriverEntry@8", "PAGE"},
                                                            {"VgaStartIO", "PAGE"},
                                                            {"VgaFindAdapter", "PAGE"},
                                                            {"VgaValidatorUcharEntry", "PAGE"}};
  for (const auto& [symbol, section] : placements)
    EXPECT_EQ(SectionOf(file, symbol), section) << symbol;
}

// The probe image's imports, bound to routines the calls below never reach.
ULONG VPAPI ProbeInitialize(PVOID, PVOID, PVIDEO_HW_INITIALIZATION_DATA, PVOID) {
  return 0;
}
UCHAR VPAPI ProbeReadPort(PUCHAR) {
  return 0;
}
VOID VPAPI ProbeZero(PVOID, ULONG) {}

std::optional<sim::pe::Service> ProbeServices(const std::string& name) {
  if (name == "VideoPortInitialize")
    return sim::pe::Service{reinterpret_cast<const void*>(&ProbeInitialize), 16};
  if (name == "VideoPortReadPortUchar")
    return sim::pe::Service{reinterpret_cast<const void*>(&ProbeReadPort), 4};
  if (name == "VideoPortZeroMemory")
    return sim::pe::Service{reinterpret_cast<const void*>(&ProbeZero), 8};
  return std::nullopt;
}

// The loader's guards, which every run of zel.sys relies on to stop a fault
// of the image rather than run on: an import from outside the video port is
// refused by name, and a routine that breaks the stdcall contract (its
// argument bytes, the callee-saved registers) is reported.
TEST(Loader, RefusesForeignImportsAndReportsStdcallBreaches) {
  REQUIRE_IMAGE();
  try {
    sim::pe::LoadedImage::Load(kForeign, ProbeServices);
    ADD_FAILURE() << "foreign.sys loaded";
  } catch (const sim::pe::PeError& e) {
    EXPECT_NE(
        std::string(e.what()).find("HAL.DLL!READ_PORT_UCHAR: only VIDEOPRT.SYS services are bound"),
        std::string::npos)
        << e.what();
  }
  const auto probe = sim::pe::LoadedImage::Load(kProbe, ProbeServices);
  const struct {
    const char* routine;
    std::vector<uint32_t> args;
    const char* breach;
  } cases[] = {
      {"ProbeAdd", {2, 3}, ""},
      {"ProbeUnbalanced", {9}, "popped 0 of its 4 argument bytes"},
      {"ProbeOverPops", {9}, "popped 8 of its 4 argument bytes"},
      {"ProbeClobbersEbx", {}, "EBX 0x00001234, should be 0xb0b0b0b0"},
      {"ProbeClobbersEsi", {}, "ESI 0x00005678, should be 0x51515151"},
      {"ProbeClobbersEdi", {}, "EDI 0x00009abc, should be 0xd1d1d1d1"},
      {"ProbeClobbersEbp", {}, "EBP 0x0000def0, should be 0xbeefbeef"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sim::pe::CallStdcall(probe->Export(c.routine), c.args).breach, c.breach) << c.routine;
  }
}

}  // namespace
