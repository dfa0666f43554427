// Plays a zelctl request script: one command a line, results on `out`,
// errors on `err`.
#pragma once

#include <istream>
#include <ostream>

namespace zelctl {

// Exit statuses of a run.
constexpr int kExitOk = 0;       // the script ran to its end
constexpr int kExitFailure = 1;  // the simulated machine failed
constexpr int kExitMisuse = 2;   // an unknown command or a malformed line

int RunScript(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zelctl
