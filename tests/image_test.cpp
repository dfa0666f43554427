// The driver as a Windows NT image: what the request suites' re-runs on the
// image (ZEL_DRIVER_IMAGE) cannot see. NT pages the PAGE section, so code
// that runs at raised IRQL must stay in .text; and the image's own port
// instructions must be trapped by the platform, not run on the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/driver_image.h"
#include "sim/machine.h"
#include "sim/pe/pe_file.h"
#include "sim/trace.h"

namespace {

#if defined(ZEL_IMAGE_PATH)
constexpr const char* kImage = ZEL_IMAGE_PATH;
#define REQUIRE_IMAGE() (void)0
#else
constexpr const char* kImage = "";
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

// zel.sys reaches SR3E by its own in/out instructions, trapped and traced:
// the index written, then SR3E read back before it is changed.
TEST(ZelImageOnMachine, ModeSetRunsTheImagesOwnPortInstructions) {
  REQUIRE_IMAGE();
  sim::Machine nt;
  ASSERT_EQ(nt.Load(sim::LoadDriverImage(kImage)), NO_ERROR);
  const size_t mark = nt.trace().Start();
  ULONG mode = 12;
  ASSERT_EQ(nt.Ioctl(IOCTL_VIDEO_SET_CURRENT_MODE, &mode, 4, nullptr, 0).status, NO_ERROR);
  const auto accesses = nt.trace().Since(mark);
  const auto sr3e = std::find(accesses.begin(), accesses.end(), sim::io::Out8(0x3C4, 0x3E));
  ASSERT_NE(sr3e, accesses.end()) << "no SR3E index written";
  ASSERT_NE(sr3e + 1, accesses.end());
  EXPECT_EQ(sr3e[1].kind, sim::AccessKind::In) << sim::Format(sr3e[1]);
  EXPECT_EQ(sr3e[1].address, 0x3C5u);
}

}  // namespace
