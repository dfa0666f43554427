// What zelctl prints: register values, byte runs, registry values, the mode list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/zelctl/adapter_keys.h"
#include "tools/zelctl/format.h"
#include "tools/zelctl/parse.h"

namespace zelctl {
namespace {

std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

struct RegistryCase {
  std::vector<uint8_t> data;
  const char* expected;
};

TEST(Format, RegistryValuesAsStringsNumbersOrBytes) {
  const RegistryCase cases[] = {
      {Wide(u"Zel B1"), "V = \"Zel B1\" (14 bytes)"},
      {Wide(u"Zel"), "V = \"Zel\" (8 bytes)"},
      {Wide(u"Zel Compatible"), "V = \"Zel Compatible\" (30 bytes)"},
      {{0x00, 0x00, 0x40, 0x00}, "V = 0x00400000 (4 bytes)"},
      {{0x00, 0x00, 0x80, 0x00}, "V = 0x00800000 (4 bytes)"},
      {{0x78, 0x56, 0x34, 0x12}, "V = 0x12345678 (4 bytes)"},
      // One character and its NUL: the text wins over the number.
      {{0x41, 0x00, 0x00, 0x00}, "V = \"A\" (4 bytes)"},
      {Wide(u"a\"b"), "V = \"a\\\"b\" (8 bytes)"},
      // Not NUL-terminated, or a NUL inside: plain bytes.
      {{0x41, 0x00, 0x42, 0x00, 0x43, 0x00}, "V = bytes:410042004300 (6 bytes)"},
      {{0x41, 0x00, 0x00, 0x00, 0x42, 0x00, 0x00, 0x00}, "V = bytes:4100000042000000 (8 bytes)"},
      {{0x01, 0x02}, "V = bytes:0102 (2 bytes)"},
      {{}, "V = bytes: (0 bytes)"},
  };
  for (const RegistryCase& c : cases) {
    EXPECT_EQ(RegistryLine(u"V", c.data), c.expected);
  }
  EXPECT_EQ(RegistryLine(u"HardwareInformation.MemorySize", std::vector<uint8_t>{0, 0, 0x10, 0}),
            "HardwareInformation.MemorySize = 0x00100000 (4 bytes)");
}

VIDEO_MODE_INFORMATION Mode(ULONG index, ULONG width, ULONG height, ULONG planes, ULONG bits,
                            ULONG hz, ULONG flags, ULONG stride) {
  VIDEO_MODE_INFORMATION mode{};
  mode.Length = 80;
  mode.ModeIndex = index;
  mode.VisScreenWidth = width;
  mode.VisScreenHeight = height;
  mode.NumberOfPlanes = planes;
  mode.BitsPerPlane = bits;
  mode.Frequency = hz;
  mode.AttributeFlags = flags;
  mode.ScreenStride = stride;
  return mode;
}

TEST(Format, ModesTableMarksInterlacedAndTextRows) {
  const VIDEO_MODE_INFORMATION modes[] = {
      Mode(0, 720, 400, 4, 1, 0, 0x0D, 160),
      Mode(11, 1024, 768, 1, 8, 43, 0x1F, 1024),
      Mode(12, 1024, 768, 1, 8, 60, 0x0F, 1024),
      Mode(91, 1600, 1200, 1, 32, 65, 0x03, 6400),
  };
  EXPECT_EQ(ModesTable(modes),
            "mode  resolution    bpp  refresh           stride\n"
            "   0  720 x 400       4  -                    160\n"
            "  11  1024 x 768      8  43 Hz interlaced    1024\n"
            "  12  1024 x 768      8  60 Hz               1024\n"
            "  91  1600 x 1200    32  65 Hz               6400\n");
  EXPECT_EQ(ModesTable({}), "mode  resolution    bpp  refresh           stride\n");
}

// ---------------------------------------------------------------------------
// adapter KEY=VALUE

TEST(AdapterKeys, CompoundValuesAndSequencerOverrides) {
  sim::Profile p;
  for (const char* word : {"pci=0:20", "ram=128M", "sr0f=3", "SR2F=0x07"}) {
    ApplyAdapterSetting(p, word);
  }
  EXPECT_EQ(p.pciBus, 0);
  EXPECT_EQ(p.pciDevice, 20);
  EXPECT_EQ(p.ramTop, 0x08000000u);
  EXPECT_EQ(p.seqOverrides, (std::map<uint8_t, uint8_t>{{0x0F, 0x03}, {0x2F, 0x07}}));
}

struct MemoryCase {
  const char* word;
  uint32_t megabytes;
};

TEST(AdapterKeys, MemoryIsMegabytesBareOrAByteSize) {
  const MemoryCase cases[] = {
      {"memory=1", 1}, {"memory=8", 8}, {"memory=4M", 4}, {"memory=2048K", 2}, {"memory=0x2", 2},
  };
  for (const MemoryCase& c : cases) {
    sim::Profile p;
    ApplyAdapterSetting(p, c.word);
    EXPECT_EQ(p.memoryMB, c.megabytes) << c.word;
  }
}

TEST(AdapterKeys, BadSettingsAreRefusedAndNameTheKey) {
  const struct {
    const char* word;
    const char* mentions;
  } cases[] = {
      {"colour=1", "unknown key 'colour'"},
      {"revision", "expected KEY=VALUE"},
      {"revision=0x100", "revision"},
      {"memory=1536K", "whole number of megabytes"},
      {"bus=48", "32 or 64"},
      {"type=4", "type"},
      {"strap=2", "strap"},
      {"pci=1", "BUS:DEVICE"},
      {"pci=1:32", "pci device"},
      {"pci=256:0", "pci bus"},
      {"romvendor=0x10000", "romvendor"},
      {"sr05=0x86", "sr05"},
      {"sr04=0", "not an extended sequencer register"},
      {"sr0f=0x100", "sr0f"},
      {"sr100=1", "unknown key"},
      {"srxy=1", "unknown key"},
  };
  for (const auto& c : cases) {
    sim::Profile p;
    try {
      ApplyAdapterSetting(p, c.word);
      ADD_FAILURE() << c.word << " was accepted";
    } catch (const ScriptError& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos)
          << c.word << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace zelctl
