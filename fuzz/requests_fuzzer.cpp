// Request harness: an adapter profile, then a run of requests with any
// control code, any buffer lengths and contents, and input and output as one
// buffer or two, each checked against the invariants.
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in({data, size});
  sim::Machine* machine = fuzz::LoadMachine(fuzz::ReadProfile(in), "requests");
  if (!machine) return 0;
  // Most runs start from a mode (one of the 96 rows), so that the handlers
  // of text and graphics modes are reached without the fuzzer first finding
  // a valid mode number.
  if (const uint8_t start = in.U8(); start != 0) fuzz::SetMode(*machine, start % 96, "requests");
  for (int step = 0; step < 24 && !in.Empty(); ++step)
    fuzz::Send(*machine, fuzz::ReadRequest(in), "requests step " + std::to_string(step));
  return 0;
}
