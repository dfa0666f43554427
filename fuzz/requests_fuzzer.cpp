// Request harness: an adapter profile, then a run of requests with any
// control code, any buffer lengths and contents, and input and output as one
// buffer or two, each checked against the invariants.
#include <cstdint>
#include <string>

#include "fuzz/harness.h"
#include "fuzz/input.h"

namespace {

constexpr int kMaxSteps = 24;
constexpr uint32_t kModeRows = 96;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in({data, size});
  const sim::Profile profile = fuzz::ReadProfile(in);
  auto machine = fuzz::LoadMachine(profile, "requests");
  if (!machine) return 0;

  // Most runs start from a mode, so that the handlers of text and graphics
  // modes are reached without the fuzzer first finding a valid mode number.
  const uint8_t start = in.U8();
  if (start != 0) fuzz::SetMode(*machine, start % kModeRows, "requests, first");
  for (int step = 0; step < kMaxSteps && !in.Empty(); ++step) {
    const fuzz::Request request = fuzz::ReadRequest(in);
    fuzz::Send(*machine, request, "requests step " + std::to_string(step));
  }
  return 0;
}
