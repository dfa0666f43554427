// The state the video BIOS leaves in the adapter after INT 10h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sim/adapter.h"
#include "sim/bios/video_bios.h"
#include "sim/profile.h"

namespace sim {
namespace {

struct Board {
  explicit Board(const Profile& p = Profile::Default())
      : adapter(DerivePowerOn(p)), bios(adapter) {}
  VP_STATUS SetMode(uint32_t eax) {
    VIDEO_X86_BIOS_ARGUMENTS args{};
    args.Eax = eax;
    return bios.Int10(args);
  }
  Adapter adapter;
  VideoBios bios;
};

std::string Hex(unsigned v) {
  char text[8];
  snprintf(text, sizeof text, "0x%02x", v);
  return text;
}

// Byte loops over megabytes are slow under the emulator; these are not.
void FillVram(Adapter& a, uint8_t value) {
  std::memset(a.Vram().data(), value, a.Vram().size());
}

// Offset of the first video memory byte that is not `value`, or -1.
long FirstNot(const Adapter& a, uint8_t value) {
  const auto vram = a.Vram();
  const std::vector<uint8_t> expected(vram.size(), value);
  if (std::memcmp(vram.data(), expected.data(), vram.size()) == 0) return -1;
  return std::ranges::mismatch(vram, expected).in1 - vram.begin();
}

// ---- mode 0x03

TEST(BiosTextMode, ProgramsTheStandardVgaRegisters) {
  Board board;
  board.adapter.Out8(0x3CD, 0x21);  // a bank a display driver left
  ASSERT_EQ(board.SetMode(0x0003), NO_ERROR);
  const Adapter& a = board.adapter;

  EXPECT_EQ(a.Misc(), 0x67);
  const uint8_t seq[] = {0x03, 0x00, 0x03, 0x00, 0x02};
  for (uint8_t i = 0; i < 5; ++i)
    EXPECT_EQ(a.Seq(i), seq[i]) << "SR" << Hex(i);
  const uint8_t crtc[0x19] = {0x5F, 0x4F, 0x50, 0x82, 0x55, 0x81, 0xBF, 0x1F, 0x00,
                              0x4F, 0x0D, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x9C, 0x8E,
                              0x8F, 0x28, 0x1F, 0x96, 0xB9, 0xA3, 0xFF};
  for (uint8_t i = 0; i < 0x19; ++i)
    EXPECT_EQ(a.Crtc(i), crtc[i]) << "CR" << Hex(i);
  const uint8_t gc[9] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x0E, 0x00, 0xFF};
  for (uint8_t i = 0; i < 9; ++i)
    EXPECT_EQ(a.Gc(i), gc[i]) << "GR" << Hex(i);
  const uint8_t attr[0x15] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x14, 0x07, 0x38, 0x39, 0x3A,
                              0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x0C, 0x00, 0x0F, 0x08, 0x00};
  for (uint8_t i = 0; i < 0x15; ++i)
    EXPECT_EQ(a.Attr(i), attr[i]) << "AR" << Hex(i);

  EXPECT_EQ(a.Seq(0x07), 0x00) << "pixel format: VGA";
  EXPECT_EQ(a.Seq(0x0E) & 0x05, 0x00) << "not interlaced, no line bit 10";
  EXPECT_EQ(a.Seq(0x0A) & 0xF0, 0x00) << "no pitch bits above CR13";
  EXPECT_FALSE(a.ExtendedUnlocked()) << "locked again, as the BIOS found them";
  EXPECT_EQ(a.BankSelect(), 0x21) << "the bank select register is the driver's";
  EXPECT_EQ(a.PelMask(), 0xFF);
}

// Format, width, height, pitch and clock polarity of a mode per pixel
// format, 1600 x 1200 with line bit 10 (the mode sweep checks CR01 and the
// pitch of every mode the driver offers against its mode table); chain 4
// packed-pixel addressing, and the extended registers left as found.
TEST(BiosGraphics, ProgramsFormatResolutionAndPitch) {
  struct Case {
    uint8_t mode, sr07, cr01, cr12, cr07Bits6And1, sr0eBit0, cr13, sr0aHigh, misc;
  };
  const Case cases[] = {
      // mode fmt  CR01  CR12  CR07 SR0E CR13 SR0A misc
      {0x2E, 0x01, 0x4F, 0xDF, 0x02, 0, 0x80, 0, 0xEF},  // 640x480x8, 1024
      {0x3C, 0x01, 0xC7, 0xAF, 0x00, 1, 0x00, 1, 0x2F},  // 1600x1200x8, 2048
      {0x4C, 0x02, 0x9F, 0xFF, 0x42, 0, 0x40, 1, 0x2F},  // 1280x1024x15, 2560
      {0x47, 0x03, 0x63, 0x57, 0x40, 0, 0x00, 1, 0x2F},  // 800x600x16, 2048
      {0x4B, 0x04, 0x7F, 0xFF, 0x40, 0, 0x80, 1, 0xEF},  // 1024x768x24, 3072
      {0x66, 0x05, 0xC7, 0xAF, 0x00, 1, 0x20, 3, 0x2F},  // 1600x1200x32, 6400
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + Hex(c.mode));
    Board board;
    board.adapter.Out16(0x3C4, 0x8605);  // opened by the driver before the call
    ASSERT_EQ(board.SetMode(c.mode), NO_ERROR);
    const Adapter& a = board.adapter;
    EXPECT_EQ(a.Seq(0x07), c.sr07);
    EXPECT_EQ(a.Crtc(0x01), c.cr01);
    EXPECT_EQ(a.Crtc(0x12), c.cr12);
    EXPECT_EQ(a.Crtc(0x07) & 0x42, c.cr07Bits6And1);
    EXPECT_EQ(a.Seq(0x0E) & 0x05, c.sr0eBit0) << "line bit 10; progressive";
    EXPECT_EQ(a.Crtc(0x13), c.cr13);
    EXPECT_EQ(a.Seq(0x0A) >> 4, c.sr0aHigh);
    EXPECT_EQ(a.Misc(), c.misc);
    EXPECT_EQ((std::vector<uint8_t>{a.Seq(0x02), a.Seq(0x04), a.Gc(0x05), a.Gc(0x06), a.Attr(0x10),
                                    a.Crtc(0x0C), a.Crtc(0x0D), a.PelMask()}),
              (std::vector<uint8_t>{0x0F, 0x0E, 0x40, 0x05, 0x41, 0x00, 0x00, 0xFF}))
        << "SR02, SR04, GR05, GR06, AR10, CR0C, CR0D, pixel mask";
    EXPECT_TRUE(a.ExtendedUnlocked()) << "left open, as the BIOS found them";
  }
}

// Mode 3 clears the 32 KB text window to grey blanks, a graphics mode all of
// video memory; bit 7 of the mode keeps memory as it was (the font loads).
TEST(Bios, ClearsVideoMemoryUnlessBitSevenAsksToKeepIt) {
  for (uint32_t eax : {0x03u, 0x83u, 0x3Cu, 0xBCu}) {
    SCOPED_TRACE("mode " + Hex(eax));
    Board board;
    FillVram(board.adapter, 0xA5);
    ASSERT_EQ(board.SetMode(eax), NO_ERROR);
    const bool kept = eax & 0x80;
    if ((eax & 0x7F) == 0x03) {
      for (uint32_t offset : {0x0000u, 0x0F9Eu, 0x7FFEu}) {
        EXPECT_EQ(board.adapter.MemRead8(0xB8000 + offset), kept ? 0xA5 : 0x20) << offset;
        EXPECT_EQ(board.adapter.MemRead8(0xB8001 + offset), kept ? 0xA5 : 0x07) << offset;
      }
      EXPECT_EQ(board.adapter.PlaneByte(0, 0x8000), 0xA5) << "past the text window";
      EXPECT_EQ(board.adapter.PlaneByte(2, 32 * 0x41 + 2), 0x10) << "the font is loaded";
    } else {
      const long odd = FirstNot(board.adapter, kept ? 0xA5 : 0x00);
      EXPECT_EQ(odd, -1) << "byte " << odd;
    }
  }
}

// The index in SR37 (the mode sweep sets every interlaced mode that way),
// else the per-resolution fields: SR0F and SR25 at 1024, SR10 at 1280.
TEST(BiosInterlace, FollowsTheRefreshSelection) {
  struct Case {
    const char* name;
    std::map<uint8_t, uint8_t> seq;  // SR37, SR0F, SR25, SR10 as the driver left them
    uint8_t mode;
    bool interlaced;
    uint8_t cr13, sr0aHigh;  // pitch in 4-byte units when interlaced
  };
  const Case cases[] = {
      {"index 1 at 800", {{0x37, 0x84}}, 0x30, false, 0x80, 0},
      {"fields clear at 1024", {{0x37, 0x00}, {0x0F, 0x03}}, 0x38, true, 0x00, 1},
      {"SR0F 60 Hz at 1024", {{0x37, 0x00}, {0x0F, 0x04}}, 0x38, false, 0x80, 0},
      {"SR25 85 Hz at 1024", {{0x37, 0x00}, {0x25, 0x04}}, 0x38, false, 0x80, 0},
      {"fields clear at 1280", {{0x37, 0x00}, {0x10, 0x03}}, 0x3A, true, 0x00, 2},
      {"SR0F ignored at 1280", {{0x37, 0x00}, {0x0F, 0x00}, {0x10, 0x08}}, 0x3A, false, 0x00, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Profile p;
    p.seqOverrides = c.seq;
    Board board(p);
    ASSERT_EQ(board.SetMode(c.mode), NO_ERROR);
    EXPECT_EQ((board.adapter.Seq(0x0E) & 0x04) != 0, c.interlaced);
    EXPECT_EQ(board.adapter.Crtc(0x13), c.cr13);
    EXPECT_EQ(board.adapter.Seq(0x0A) >> 4, c.sr0aHigh);
  }
}

// ---- other functions, unknown modes, failures

// Function 15h answers supported; unknown modes and functions leave the
// adapter (locked), memory and the caller's other registers alone.
TEST(Bios, WhatItDoesNotServeTouchesNothing) {
  struct Case {
    uint32_t eax, eaxAfter;
  };
  for (const Case& c : {Case{0x1500, 0x004F}, Case{0x0013, 0x0013}, Case{0x002F, 0x002F},
                        Case{0x0067, 0x0067}, Case{0x4F02, 0x4F02}}) {
    SCOPED_TRACE("eax " + Hex(c.eax));
    Board board;
    FillVram(board.adapter, 0x5A);
    const VgaState before = board.adapter.WholeState();
    VIDEO_X86_BIOS_ARGUMENTS args{};
    args.Eax = c.eax;
    args.Ebx = 0x1234;
    args.Edi = 0x55AA;
    EXPECT_EQ(board.bios.Int10(args), NO_ERROR);
    EXPECT_EQ(args.Eax, c.eaxAfter);
    EXPECT_EQ(args.Ebx, 0x1234u);
    EXPECT_EQ(args.Edi, 0x55AAu);
    const auto diff = Diff(before, board.adapter.WholeState());
    EXPECT_TRUE(diff.empty()) << diff.front();
    EXPECT_FALSE(board.adapter.ExtendedUnlocked());
    EXPECT_EQ(board.adapter.Seq(0x07), 0x00);
    EXPECT_EQ(board.adapter.Vram()[0x3FFFFF], 0x5A);
  }
}

}  // namespace
}  // namespace sim
