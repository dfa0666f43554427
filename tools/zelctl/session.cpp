#include "tools/zelctl/session.h"

#include <stdexcept>
#include <utility>

#include "sim/trace.h"
#include "tools/zelctl/parse.h"

namespace zelctl {

Session::~Session() {
  // The listener prints to out_, which may not outlive the session.
  if (machine_) machine_->trace().SetListener(nullptr);
}

WriteBehind::int_type WriteBehind::overflow(int_type c) {
  before_();
  if (!traits_type::eq_int_type(c, traits_type::eof())) target_.put(traits_type::to_char_type(c));
  return target_ ? traits_type::not_eof(c) : traits_type::eof();
}

std::streamsize WriteBehind::xsputn(const char* s, std::streamsize n) {
  before_();
  target_.write(s, n);
  return target_ ? n : 0;
}

int WriteBehind::sync() {
  before_();
  target_.flush();
  return target_ ? 0 : -1;
}

Session::Session(std::ostream& out)
    : out_(out),
      behind_(out,
              [this] {
                if (decoder_) decoder_->Flush();
              }),
      results_(&behind_) {}

sim::Profile& Session::ProfileBeforeStart() {
  if (machine_) throw ScriptError("adapter: the adapter cannot change after start");
  return profile_;
}

ULONG Session::Start() {
  if (machine_) throw ScriptError("start: the driver is already loaded");
  states_ = StateStore{};
  machine_ = std::make_unique<sim::Machine>(profile_);
  if (tracing_ != TraceStyle::Off) InstallListener();
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

sim::session::Vdm& Session::FullScreen() {
  if (vdm_) return *vdm_;
  sim::Machine& machine = Driver();
  const sim::Machine::Result enabled =
      machine.Ioctl(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0);
  if (enabled.status != NO_ERROR) {
    throw std::runtime_error("session: ENABLE_VDM returned status " +
                             std::to_string(enabled.status));
  }
  vdm_ = std::make_unique<sim::session::Vdm>(machine);
  vdm_->OnPortAccess([this, &machine](const sim::session::PortAccess& access) {
    if (access.port < sim::Adapter::kFirstPort || access.port > sim::Adapter::kLastPort) return;
    ++counts_.vga;
    if (machine.Trapped(access.port)) ++counts_.trapped;
  });
  return *vdm_;
}

Session::SessionCounts Session::TakeCounts() {
  return std::exchange(counts_, SessionCounts{});
}

void Session::SetTracing(TraceStyle style) {
  if (decoder_) decoder_->Flush();
  tracing_ = style;
  if (!machine_) return;
  if (style == TraceStyle::Off) {
    machine_->trace().SetListener(nullptr);
    machine_->trace().Stop();
    decoder_.reset();
  } else {
    InstallListener();
  }
}

void Session::InstallListener() {
  machine_->trace().Start();
  if (tracing_ == TraceStyle::Plain) {
    decoder_.reset();
    machine_->trace().SetListener(
        [this](const sim::TraceEntry& entry) { out_ << sim::Format(entry) << '\n'; });
    return;
  }
  decoder_ = std::make_unique<TraceDecoder>(
      machine_->adapter(), [this](const std::string& line) { out_ << line << '\n'; });
  machine_->trace().SetListener([this](const sim::TraceEntry& entry) { decoder_->Add(entry); });
}

}  // namespace zelctl
