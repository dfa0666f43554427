// Runs a script on string streams for the zelctl tests.
#pragma once

#include <sstream>
#include <string>

#include "tools/zelctl/script.h"

namespace zelctl::testing {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline Outcome Play(const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  const int status = RunScript(in, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace zelctl::testing
