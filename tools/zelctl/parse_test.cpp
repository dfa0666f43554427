// The script's lexical rules: numbers, sizes, hex bytes, words and comments.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zelctl/ioctl_names.h"
#include "tools/zelctl/parse.h"

namespace zelctl {
namespace {

struct NumberCase {
  const char* text;
  uint64_t expected;
};

TEST(Parse, NumbersAreDecimalOrPrefixedHex) {
  const NumberCase cases[] = {
      {"0", 0},
      {"10", 10},
      {"010", 10},  // no octal
      {"0x10", 16},
      {"0X10", 16},
      {"0xabCD", 0xABCD},
      {"4294967295", 4294967295u},
      {"0xffffffffffffffff", UINT64_MAX},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(ParseNumber(c.text, "n"), c.expected) << c.text;
  }
}

TEST(Parse, MalformedNumbersAreRefusedWithTheirText) {
  const char* cases[] = {"",   "x10", "0x",   "12a",   "-1",
                         "+1", "1.5", "0x1g", "1_000", "18446744073709551616"};
  for (const char* text : cases) {
    try {
      ParseNumber(text, "port");
      ADD_FAILURE() << "'" << text << "' was accepted";
    } catch (const ScriptError& e) {
      EXPECT_NE(std::string(e.what()).find("port: '" + std::string(text) + "'"), std::string::npos)
          << e.what();
    }
  }
}

TEST(Parse, RangeLimitIsInclusive) {
  EXPECT_EQ(ParseNumber("0xff", "value", 0xFF), 0xFFu);
  EXPECT_THROW(ParseNumber("256", "value", 0xFF), ScriptError);
  EXPECT_EQ(ParseNumber("0", "value", 0), 0u);
  EXPECT_THROW(ParseNumber("1", "value", 0), ScriptError);
}

TEST(Parse, SizesTakeKAndMUnits) {
  const NumberCase cases[] = {
      {"4", 4},  {"4K", 4096},    {"4k", 4096},           {"4M", 4194304}, {"0x10K", 16384},
      {"0K", 0}, {"1m", 1048576}, {"4095M", 4293918720u}, {"0xB", 11},  // B is a hex digit, not a
                                                                        // unit
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(ParseSize(c.text, "size", 0xFFFFFFFF), c.expected) << c.text;
  }
}

TEST(Parse, SizesBeyondTheLimitOrWithoutDigitsAreRefused) {
  const char* cases[] = {"4096M", "4194304K", "4294967296", "K", "M", "4G", "4KK", "0xM"};
  for (const char* text : cases) {
    EXPECT_THROW(ParseSize(text, "size", 0xFFFFFFFF), ScriptError) << text;
  }
}

struct HexCase {
  const char* text;
  std::vector<uint8_t> expected;
};

TEST(Parse, HexBytesIgnoreUnderscores) {
  const HexCase cases[] = {
      {"", {}},
      {"00", {0x00}},
      {"0a1B", {0x0A, 0x1B}},
      {"dead_beef", {0xDE, 0xAD, 0xBE, 0xEF}},
      {"_01__02_", {0x01, 0x02}},
      {"0_1", {0x01}},  // '_' may even split a pair
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(ParseHexBytes(c.text, "in"), c.expected) << c.text;
  }
}

TEST(Parse, HexBytesNeedWholePairsOfHexDigits) {
  const char* cases[] = {"0", "abc", "0x01", "01 02", "0g", "01-02"};
  for (const char* text : cases) {
    EXPECT_THROW(ParseHexBytes(text, "in"), ScriptError) << text;
  }
}

struct WordsCase {
  const char* line;
  std::vector<std::string_view> expected;
};

TEST(Parse, WordsStopAtAComment) {
  const WordsCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"# start", {}},
      {"start", {"start"}},
      {"  reg  sr\t0x05  ", {"reg", "sr", "0x05"}},
      {"start# no blank before the comment", {"start"}},
      {"vram 0 16 # first bytes", {"vram", "0", "16"}},
      {"modes\r", {"modes"}},  // a script saved with CRLF line ends
  };
  for (const WordsCase& c : cases) {
    EXPECT_EQ(SplitWords(c.line), c.expected) << c.line;
  }
}

struct CodeCase {
  const char* text;
  uint32_t expected;
};

TEST(Parse, ControlCodesByNumberOrNameWithOrWithoutPrefix) {
  const CodeCase cases[] = {
      {"0x230404", 0x230404},
      {"2294784", 0x230400},
      {"QUERY_NUM_AVAIL_MODES", 0x230404},
      {"IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES", 0x230404},
      {"ioctl_video_enable_vdm", 0x230000},
      {"enable_vdm", 0x230000},
      {"DISABLE_VDM", 0x230004},
      {"REGISTER_VDM", 0x230008},
      {"SAVE_HARDWARE_STATE", 0x230200},
      {"RESET_DEVICE", 0x230410},
      {"ENABLE_CURSOR", 0x230420},
      {"QUERY_POINTER_ATTR", 0x230444},
      {"MAP_VIDEO_MEMORY", 0x230458},
      {"QUERY_COLOR_CAPABILITIES", 0x230468},
      {"UNSHARE_VIDEO_MEMORY", 0x230478},
      {"0x12345", 0x12345},  // a number the driver does not know still goes out
  };
  for (const CodeCase& c : cases) {
    EXPECT_EQ(ParseIoctlCode(c.text), c.expected) << c.text;
  }
  EXPECT_EQ(IoctlNames().size(), 34u);
}

TEST(Parse, UnknownControlCodeNamesAreRefused) {
  const char* cases[] = {"IOCTL_VIDEO_",     "QUERY_MODES", "IOCTL_VIDEO_IOCTL_VIDEO_ENABLE_VDM",
                         "VIDEO_ENABLE_VDM", "0x100000000", "ENABLE_VDM_"};
  for (const char* text : cases) {
    EXPECT_THROW(ParseIoctlCode(text), ScriptError) << text;
  }
}

}  // namespace
}  // namespace zelctl
