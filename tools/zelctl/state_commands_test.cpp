// The console's hardware state buffer: save, restore, peek, poke and the
// StateLength a restore passes.
#include <gtest/gtest.h>

#include <string>

#include "tools/zelctl/test_support.h"

namespace {

using zelctl::testing::Outcome;
using zelctl::testing::Play;

TEST(StateCommands, SaveFillsTheHeaderAndRestoreGivesTheColourBack) {
  const Outcome o = Play(
      "start\nv86 out8 0x3c8 0x07\nv86 out8 0x3c9 0x2a\nv86 out8 0x3c9 0x15\n"
      "v86 out8 0x3c9 0x3f\nsave\nstate-peek 0 4\nstate-peek 128 4\n"
      "ioctl SET_CURRENT_MODE in=0c000000\nrestore\ndac 0x07\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "start status=0\nstatus=0 info=8\n9c000000\n05000000\nstatus=0 info=0\n"
            "status=0 info=0\n0x2a 0x15 0x3f\n");
}

struct Case {
  const char* script;
  const char* out;
};

class StateChecks : public testing::TestWithParam<Case> {};

// A restore of the fresh, zeroed buffer: every offset 0 fits, except the
// length check and what the console pokes in.
TEST_P(StateChecks, ReachTheDriverThroughTheConsole) {
  const Outcome o = Play(std::string("start\n") + GetParam().script);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, std::string("start status=0\n") + GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, StateChecks,
    testing::Values(Case{"state-length 264358\nrestore\n", "status=122 info=0\n"},
                    // Plane4Offset 0x40000 with PlaneLength 0x10000: ends past 264359.
                    Case{"state-poke 108 00000100\nstate-poke 124 00000400\nrestore\n",
                         "status=87 info=0\n"},
                    Case{"state-poke 264357 abcd\nstate-peek 264356 3\n", "00abcd\n"}));

TEST(StateCommands, PokePastTheBufferAndLongLengthsAreRefused) {
  EXPECT_NE(Play("start\nstate-poke 264358 abcd\n").status, 0);
  EXPECT_NE(Play("start\nstate-length 264360\n").status, 0);
}

}  // namespace
