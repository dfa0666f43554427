// The `adapter KEY=VALUE` settings: each key changes one field of the
// simulated adapter's profile.
#pragma once

#include <span>
#include <string_view>

#include "sim/profile.h"

namespace zelctl {

struct AdapterKey {
  std::string_view name;
  std::string_view meaning;  // for the help text
  void (*apply)(sim::Profile& profile, std::string_view value);
};

// The named keys; srXX=VALUE (XX a hex sequencer index) is handled beside them.
std::span<const AdapterKey> AdapterKeys();

// Applies one KEY=VALUE word; throws ScriptError naming the key.
void ApplyAdapterSetting(sim::Profile& profile, std::string_view word);

}  // namespace zelctl
