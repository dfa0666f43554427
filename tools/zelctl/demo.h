// `zelctl demo`: the driver doing its whole job on the simulated adapter,
// step by step, with screenshots of what the monitor would show and a check
// of each against what was drawn.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelctl {

struct DemoOptions {
  std::string outDirectory = "zel-demo";
  // The desktop's graphics mode.
  unsigned width = 800;
  unsigned height = 600;
  unsigned bitsPerPixel = 8;
  // adapter KEY=VALUE settings, as the `adapter` script command takes them
  std::vector<std::string> adapterSettings;
};

// The words after `demo`; throws ScriptError on misuse.
DemoOptions ParseDemoArguments(std::span<const std::string_view> args);

// Plays the demo: kExitOk when every step did what it should, kExitFailure
// naming the step otherwise.
int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zelctl
