// IOCTL_VIDEO_GET_BANK_SELECT_CODE: the record of the current mode and the
// bank-switch code block after it. (Short buffers are in the refusal table.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "services/services.h"
#include "support/bus.h"
#include "support/driver_session.h"

namespace {

// The record, whole, for a text, a banked and two linear modes; the 50-byte
// block follows it at CodeOffset 52. ERROR_MORE_DATA writes the fixed part,
// CodeOffset 0. No planar high-colour banking: its fields are 0, and no byte
// the answer counts keeps what the caller's buffer held.
TEST(BankSelect, RecordDescribesTheCurrentMode) {
  const struct {
    ULONG mode, length;
    VP_STATUS status;
    VIDEO_BANK_SELECT record;
  } cases[] = {
      // clang-format off
      {0, 102, NO_ERROR, {52, 102, 0, VideoNotBanked, VideoNotBanked, 160, 0x10000, 0x10000, 0, 52, 0, 0, 0}},
      {12, 150, NO_ERROR, {52, 102, 0, VideoBanked1R1W, VideoNotBanked, 1024, 0xC0000, 0x10000, 0, 52, 0, 0, 0}},
      {40, 102, NO_ERROR, {52, 102, 0, VideoNotBanked, VideoNotBanked, 2048, 0x100000, 0x10000, 0, 52, 0, 0, 0}},
      {77, 102, NO_ERROR, {52, 102, 0, VideoNotBanked, VideoNotBanked, 3200, 0x1D4C00, 0x10000, 0, 52, 0, 0, 0}},
      {12, 101, ERROR_MORE_DATA, {52, 102, 0, VideoBanked1R1W, VideoNotBanked, 1024, 0xC0000, 0x10000, 0, 0, 0, 0, 0}},
      // clang-format on
  };
  test::DriverSession s;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.length << " bytes");
    ASSERT_EQ(s.SetMode(c.mode), NO_ERROR);
    const auto result = s.Request(IOCTL_VIDEO_GET_BANK_SELECT_CODE, {}, c.length);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.information, c.status == NO_ERROR ? 102u : 52u);
    VIDEO_BANK_SELECT record;
    std::memcpy(&record, s.Output().data(), sizeof record);
    EXPECT_RECORD(record, c.record);
    const std::vector<uint8_t> tail(s.Output().begin() + 52, s.Output().begin() + 101);
    if (c.status == NO_ERROR) {
      EXPECT_TRUE(test::BytesAre(tail, {BankSwitchStart, BankSwitchEnd - 1})) << "the code block";
    } else {
      EXPECT_TRUE(test::BytesAre(tail, std::vector<uint8_t>(49, 0xCC)));
    }
  }
}

}  // namespace
