// The state of one script run and the table of its commands.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <streambuf>
#include <string_view>
#include <vector>

#include "sim/machine.h"
#include "sim/profile.h"
#include "sim/session/vdm.h"
#include "tools/zelctl/trace_decoder.h"

namespace zelctl {

enum class TraceStyle : uint8_t { Off, Plain, Decoded };

// A stream onto another that runs `before` ahead of every write, whenever
// the stream itself was fetched.
class WriteBehind : public std::streambuf {
 public:
  WriteBehind(std::ostream& target, std::function<void()> before)
      : target_(target), before_(std::move(before)) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  std::ostream& target_;
  std::function<void()> before_;
};

// The hardware state buffer the console holds between a save and a restore.
struct StateStore {
  static constexpr uint32_t kSize = 264359;  // the driver's HardwareStateSize
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kSize, 0);
  ULONG restoreLength = kSize;  // the StateLength the next restore passes
};

class Session {
 public:
  explicit Session(std::ostream& out);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The stream for results: what is written to it comes after the trace
  // lines of every access made so far, held ones included.
  std::ostream& out() { return results_; }

  // The adapter profile; only before start.
  sim::Profile& ProfileBeforeStart();
  // Builds the machine, with a fresh, zeroed state buffer, and loads the
  // driver; returns DriverEntry's status.
  ULONG Start();
  // The machine once `start` has run (the adapter and the registry can be
  // looked at even when the driver found no adapter).
  sim::Machine& StartedMachine();
  // The machine with a driver that found the adapter: requests and sessions.
  sim::Machine& Driver();

  void SetTracing(TraceStyle style);

  // The full-screen session on the loaded driver, made at its first use: VDM
  // enabled, the session's video BIOS initialised. Counts the VGA port
  // accesses its code makes and how many of them the trap set in force sent
  // to the driver.
  struct SessionCounts {
    uint64_t vga = 0, trapped = 0;
  };
  sim::session::Vdm& FullScreen();
  bool HasFullScreen() const { return vdm_ != nullptr; }
  SessionCounts TakeCounts();

  StateStore& States() { return states_; }

 private:
  void InstallListener();

  std::ostream& out_;
  WriteBehind behind_;
  std::ostream results_;
  sim::Profile profile_ = sim::Profile::Default();
  std::unique_ptr<sim::Machine> machine_;
  TraceStyle tracing_ = TraceStyle::Off;
  std::unique_ptr<TraceDecoder> decoder_;
  StateStore states_;
  std::unique_ptr<sim::session::Vdm> vdm_;
  SessionCounts counts_;
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
