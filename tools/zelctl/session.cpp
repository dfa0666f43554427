#include "tools/zelctl/session.h"

#include "sim/trace.h"
#include "tools/zelctl/parse.h"

namespace zelctl {

Session::~Session() {
  // The listener prints to out_, which may not outlive the session.
  if (machine_) machine_->trace().SetListener(nullptr);
}

sim::Profile& Session::ProfileBeforeStart() {
  if (machine_) throw ScriptError("adapter: the adapter cannot change after start");
  return profile_;
}

ULONG Session::Start() {
  if (machine_) throw ScriptError("start: the driver is already loaded");
  machine_ = std::make_unique<sim::Machine>(profile_);
  if (tracing_) InstallListener();
  return machine_->Load();
}

sim::Machine& Session::StartedMachine() {
  if (!machine_) throw ScriptError("the driver is not loaded yet (no start before this line)");
  return *machine_;
}

sim::Machine& Session::Driver() {
  sim::Machine& machine = StartedMachine();
  if (!machine.Started()) throw ScriptError("the driver found no adapter at start");
  return machine;
}

void Session::SetTracing(bool on) {
  tracing_ = on;
  if (!machine_) return;
  if (on) {
    InstallListener();
  } else {
    machine_->trace().SetListener(nullptr);
    machine_->trace().Stop();
  }
}

void Session::InstallListener() {
  machine_->trace().Start();
  machine_->trace().SetListener(
      [this](const sim::TraceEntry& entry) { out_ << sim::Format(entry) << '\n'; });
}

}  // namespace zelctl
