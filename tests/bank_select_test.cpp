// IOCTL_VIDEO_GET_BANK_SELECT_CODE: the record of the current mode and the
// bank-switch code block after it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "services/services.h"
#include "support/driver_session.h"

namespace {

constexpr ULONG kTextMode = 0;
constexpr ULONG k1024x768x8At60 = 12;  // banked: one read and one write window
constexpr ULONG k640x480x16At60 = 40;  // not banked
constexpr size_t kBlockSize = 50;

VIDEO_BANK_SELECT Record(const std::vector<uint8_t>& output) {
  VIDEO_BANK_SELECT record;
  std::memcpy(&record, output.data(), sizeof(record));
  return record;
}

TEST(BankSelect, BeforeAnyModeThereIsNothingToDescribe) {
  test::DriverSession s;
  const auto result = s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, 200);
  EXPECT_EQ(result.status, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(result.information, 0u);
  EXPECT_EQ(s.Output(), std::vector<uint8_t>(200, 0xCC));
}

TEST(BankSelect, BufferLengthsAtTheirBoundaries) {
  test::DriverSession s;
  ASSERT_EQ(s.SetMode(k1024x768x8At60), NO_ERROR);
  ASSERT_EQ(static_cast<size_t>(BankSwitchEnd - BankSwitchStart), kBlockSize);

  auto result = s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, 51);
  EXPECT_EQ(result.status, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(result.information, 0u);
  EXPECT_EQ(s.Output(), std::vector<uint8_t>(51, 0xCC));

  for (const ULONG length : {52u, 101u}) {
    SCOPED_TRACE(length);
    result = s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, length);
    EXPECT_EQ(result.status, ERROR_MORE_DATA);
    EXPECT_EQ(result.information, 52u);
    const VIDEO_BANK_SELECT record = Record(s.Output());
    EXPECT_EQ(record.Length, 52u);
    EXPECT_EQ(record.Size, 102u);
    EXPECT_EQ(record.CodeOffset, 0xCCCCCCCCu);  // not written without room for the code
    EXPECT_EQ(std::vector<uint8_t>(s.Output().begin() + 52, s.Output().end()),
              std::vector<uint8_t>(length - 52, 0xCC));
  }

  for (const ULONG length : {102u, 150u}) {
    SCOPED_TRACE(length);
    result = s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, length);
    EXPECT_EQ(result.status, NO_ERROR);
    EXPECT_EQ(result.information, 102u);
    const VIDEO_BANK_SELECT record = Record(s.Output());
    EXPECT_EQ(record.CodeOffset, 52u);
    EXPECT_EQ(std::memcmp(s.Output().data() + 52, BankSwitchStart, kBlockSize), 0);
  }
}

struct KindCase {
  ULONG mode;
  ULONG bankingType;
  ULONG stride;
  ULONG bitmapSize;
};

TEST(BankSelect, RecordDescribesTheCurrentMode) {
  const KindCase cases[] = {
      {kTextMode, VideoNotBanked, 160, 0x10000},
      {k1024x768x8At60, VideoBanked1R1W, 1024, 0xC0000},
      {k640x480x16At60, VideoNotBanked, 2048, 0x100000},
  };
  test::DriverSession s;
  for (const KindCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode);
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    ASSERT_EQ(s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, 102).status, NO_ERROR);
    const VIDEO_BANK_SELECT record = Record(s.Output());
    EXPECT_EQ(record.BankingFlags, 0u);
    EXPECT_EQ(record.BankingType, c.bankingType);
    EXPECT_EQ(record.PlanarHCBankingType, static_cast<ULONG>(VideoNotBanked));
    EXPECT_EQ(record.BitmapWidthInBytes, c.stride);
    EXPECT_EQ(record.BitmapSize, c.bitmapSize);
    EXPECT_EQ(record.Granularity, 0x10000u);
    // The planar high-colour fields are not written.
    EXPECT_EQ(record.PlanarHCGranularity, 0xCCCCCCCCu);
    EXPECT_EQ(record.PlanarHCBankCodeOffset, 0xCCCCCCCCu);
  }
}

// The block's routines start on 4-byte boundaries: bank select at 0,
// planar high-colour enable at 12, disable at 32.
TEST(BankSelect, BlockLayout) {
  EXPECT_EQ(PlanarHCBankSwitchStart, BankSwitchStart);
  EXPECT_EQ(EnablePlanarHCStart - BankSwitchStart, 12);
  EXPECT_EQ(DisablePlanarHCStart - BankSwitchStart, 32);
}

}  // namespace
