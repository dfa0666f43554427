// The state of one script run and the table of its commands.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <string_view>

#include "sim/machine.h"
#include "sim/profile.h"

namespace zelctl {

class Session {
 public:
  explicit Session(std::ostream& out) : out_(out) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::ostream& out() { return out_; }

  // The adapter profile; only before start.
  sim::Profile& ProfileBeforeStart();
  // Builds the machine and loads the driver; returns DriverEntry's status.
  ULONG Start();
  // The machine once `start` has run (the adapter and the registry can be
  // looked at even when the driver found no adapter).
  sim::Machine& StartedMachine();
  // The machine with a driver that found the adapter: requests and sessions.
  sim::Machine& Driver();

  void SetTracing(bool on);

 private:
  void InstallListener();

  std::ostream& out_;
  sim::Profile profile_ = sim::Profile::Default();
  std::unique_ptr<sim::Machine> machine_;
  bool tracing_ = false;
};

using Args = std::span<const std::string_view>;

struct Command {
  std::string_view name;
  std::string_view synopsis;  // the command line as the help shows it
  std::string_view summary;
  void (*run)(Session& session, Args args);  // args without the command word
};

std::span<const Command> Commands();
const Command* FindCommand(std::string_view name);

}  // namespace zelctl
