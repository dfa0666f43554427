#include "tools/zelctl/demo.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "sim/machine.h"
#include "sim/screen/screen.h"
#include "sim/session/vdm.h"
#include "tools/zelctl/adapter_keys.h"
#include "tools/zelctl/demo_pictures.h"
#include "tools/zelctl/display_state.h"
#include "tools/zelctl/format.h"
#include "tools/zelctl/ioctl_names.h"
#include "tools/zelctl/parse.h"
#include "tools/zelctl/script.h"

namespace zelctl {

namespace {

using demo::Image;

// A step that did not do what it should; the message says what happened.
class StepFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string RequestName(ULONG code) {
  for (const zelctl::IoctlName& entry : IoctlNames()) {
    if (entry.code == code) return "IOCTL_VIDEO_" + std::string(entry.name);
  }
  return Hex(code, 8);
}

std::string MegabytesOrKilobytes(uint32_t bytes) {
  if (bytes % 1048576 == 0) return std::to_string(bytes / 1048576) + " MB";
  return std::to_string(bytes / 1024) + " KB";
}

// The demo's DOS program (examples/zeldemo.asm, assembled by the build).
constexpr uint8_t kZelDemo[] = {
#include "programs/zeldemo.inc"
};

class Demo {
 public:
  Demo(const DemoOptions& options, std::ostream& out) : options_(options), out_(out) {}

  // Runs the steps, printing a line for each; returns false after a failure.
  bool Run(std::ostream& err) {
    const size_t total = std::size(kSteps);
    for (size_t i = 0; i < total; ++i) {
      const Step& step = kSteps[i];
      const std::string counter = "[" + std::to_string(i + 1) + "/" + std::to_string(total) + "] ";
      try {
        const std::string what = (this->*step.run)();
        out_ << counter << step.name << ": " << what << '\n' << std::flush;
      } catch (const StepFailure& e) {
        out_ << counter << step.name << ": FAILED\n" << std::flush;
        err << "zelctl demo: step " << i + 1 << " (" << step.name << ") failed: " << e.what()
            << '\n';
        return false;
      }
    }
    out_ << Summary();
    return true;
  }

  std::string Summary() const {
    return "demo passed: " + std::to_string(std::size(kSteps)) + " steps, " +
           std::to_string(requests_) + " requests, " + std::to_string(trappedAccesses_) +
           " trapped port accesses; " + std::to_string(screenshots_) + " screenshots in " +
           options_.outDirectory + "/\n";
  }

 private:
  // ---- the steps

  std::string Load() {
    sim::Profile profile = sim::Profile::Default();
    for (const std::string& setting : options_.adapterSettings)
      ApplyAdapterSetting(profile, setting);
    try {
      sim::DerivePowerOn(profile);
    } catch (const std::invalid_argument& e) {
      throw ScriptError(std::string("adapter: ") + e.what());
    }
    machine_ = std::make_unique<sim::Machine>(profile);
    const ULONG status = machine_->Load();
    if (!machine_->Started()) {
      throw StepFailure("the driver found no adapter (DriverEntry returned status " +
                        std::to_string(status) + ")");
    }
    if (status != NO_ERROR) {
      throw StepFailure("DriverEntry returned status " + std::to_string(status));
    }

    // The chip and the memory size as the driver reports them in the
    // registry, where a display driver reads them; the memory's type, bus
    // and clock, which the driver reports nowhere, as the adapter was built.
    std::string chip = "a Zel adapter";
    if (const auto* value = RegistryValue(u"HardwareInformation.ChipType")) {
      if (const auto text = RegistryText(value->data)) chip = *text;
    }
    const auto* size = RegistryValue(u"HardwareInformation.MemorySize");
    if (size == nullptr || size->data.size() != sizeof(ULONG)) {
      throw StepFailure("the driver reported no memory size in the registry");
    }
    ULONG memoryBytes = 0;
    std::memcpy(&memoryBytes, size->data.data(), sizeof memoryBytes);
    const std::string memory = MegabytesOrKilobytes(memoryBytes);
    const std::string bus = std::to_string(profile.busWidth) + "-bit bus";
    const std::string clock = std::to_string(profile.memoryClockMHz) + " MHz";
    adapterLine_ = chip + ", " + memory + ", " + bus + ", " + clock;
    const std::string image = sim::DefaultDriverImagePath();
    return (image.empty() ? "the linked-in driver" : image) + " found a " + chip + " with " +
           memory + " of type " + std::to_string(profile.memoryType) + " memory on a " + bus +
           ", memory clock " + clock;
  }

  // The value as the registry holds it: the driver's last write of it.
  const sim::Machine::RegistryValue* RegistryValue(std::u16string_view name) const {
    const sim::Machine::RegistryValue* last = nullptr;
    for (const sim::Machine::RegistryValue& value : machine_->Registry()) {
      if (value.name == name) last = &value;
    }
    return last;
  }

  std::string Modes() {
    VIDEO_NUM_MODES count{};
    Request(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &count, sizeof count);
    if (count.NumModes == 0 || count.ModeInformationLength != sizeof(VIDEO_MODE_INFORMATION)) {
      throw StepFailure("the driver reports " + std::to_string(count.NumModes) + " modes of " +
                        std::to_string(count.ModeInformationLength) + " bytes");
    }
    std::vector<VIDEO_MODE_INFORMATION> modes(count.NumModes);
    Request(IOCTL_VIDEO_QUERY_AVAIL_MODES, nullptr, 0, modes.data(),
            static_cast<ULONG>(modes.size() * sizeof modes[0]));
    for (const VIDEO_MODE_INFORMATION& mode : modes) {
      const bool graphics = (mode.AttributeFlags & VIDEO_MODE_GRAPHICS) != 0;
      const bool interlaced = (mode.AttributeFlags & VIDEO_MODE_INTERLACED) != 0;
      const bool wanted = graphics && !interlaced && mode.VisScreenWidth == options_.width &&
                          mode.VisScreenHeight == options_.height &&
                          mode.BitsPerPlane * mode.NumberOfPlanes == options_.bitsPerPixel;
      // The first such mode, or 60 Hz where it is offered.
      if (wanted && (!desktopMode_ || mode.Frequency == 60)) desktopMode_ = mode;
    }
    if (!desktopMode_) {
      throw StepFailure("no valid mode of " + DesktopName() + " on this adapter");
    }
    return std::to_string(modes.size()) + " valid modes\n" + ModesTable(modes);
  }

  std::string Desktop() {
    std::string what = ShowDesktop();
    const Image shown = Screenshot("1-desktop.png");
    Expect(shown, ExpectedDesktop(), "the desktop as drawn");
    desktopShot_ = shown;
    return what + "; 1-desktop.png shows it as drawn";
  }

  std::string Session() {
    GiveUpScreen();
    Request(IOCTL_VIDEO_ENABLE_VDM, nullptr, 0, nullptr, 0);
    try {
      return RunSession();
    } catch (const sim::session::SessionError& e) {
      throw StepFailure(std::string("the session's code stopped: ") + e.what());
    }
  }

  // The full-screen session as NT runs it: its own video BIOS sets the text
  // mode and loads the 8 x 16 ROM font, then ZELDEMO.COM draws its screen,
  // places the cursor and reprograms the adapter; every port access through
  // the driver's trap tables.
  std::string RunSession() {
    session_ = std::make_unique<sim::session::Vdm>(*machine_);
    uint32_t accesses = 0, trapped = 0;
    session_->OnPortAccess([&](const sim::session::PortAccess& access) {
      if (access.port < sim::Adapter::kFirstPort || access.port > sim::Adapter::kLastPort) return;
      ++accesses;
      if (machine_->Trapped(access.port)) ++trapped;
    });
    sim::session::Registers call;
    call.eax = 0x0003;
    session_->Int10(call);
    call.eax = 0x1114;  // the 8 x 16 ROM font into block 0
    call.ebx = 0x0000;
    session_->Int10(call);
    // Where the BIOS keeps that font (AX=1130h, BH=06h: ES:BP), as the
    // expected picture's font: read from the ROM, not from the adapter.
    call.eax = 0x1130;
    call.ebx = 0x0600;
    const sim::session::Registers font = session_->Int10(call);
    const uint32_t fontAt = (uint32_t{font.es} << 4) + (font.ebp & 0xFFFF);
    const std::span<const uint8_t> memory = session_->Memory();
    if (fontAt + 256 * demo::kGlyphLines > memory.size()) {
      throw StepFailure("the BIOS names its 8 x 16 font at " + Hex(fontAt, 5));
    }
    const std::vector<uint8_t> romFont(memory.begin() + fontAt,
                                       memory.begin() + fontAt + 256 * demo::kGlyphLines);

    const std::span<const uint8_t> program(kZelDemo);
    const sim::session::Outcome end = session_->RunCom(program, adapterLine_);
    if (end.end != sim::session::End::Exited || end.exitCode != 0) {
      throw StepFailure("ZELDEMO.COM did not exit with code 0");
    }
    trappedAccesses_ += trapped;
    session_->OnPortAccess(nullptr);

    const demo::TextScreen screen = demo::SessionScreen(adapterLine_);
    const Image shown = Screenshot("2-session.png");
    Expect(shown, demo::ExpectedText(screen, romFont, demo::SessionColours(), demo::kSessionCursor),
           "the session's text");
    sessionShot_ = shown;
    const demo::TextCursor cursor = demo::kSessionCursor;
    return "the session's BIOS set 80 x 25 text and loaded its 8 x 16 font; ZELDEMO.COM wrote " +
           std::to_string(screen.characters.size()) +
           " cells at 0xB8000 and by teletype, cursor at column " + std::to_string(cursor.column) +
           " row " + std::to_string(cursor.row) + ", then its own synchronous reset (8-dot " +
           "cells, 25 MHz) and a new colour 1: " + std::to_string(trapped) + " of " +
           std::to_string(accesses) +
           " port accesses trapped; 2-session.png shows the text as written";
  }

  std::string Save() {
    const ULONG size = machine_->ConfigInfo().HardwareStateSize;
    state_.assign(size, 0);
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state_.data()), 0};
    Request(IOCTL_VIDEO_SAVE_HARDWARE_STATE, nullptr, 0, &record, sizeof record);
    if (record.StateLength != size) {
      throw StepFailure("the save reports " + std::to_string(record.StateLength) +
                        " bytes of state, the platform holds " + std::to_string(size));
    }
    savedLength_ = record.StateLength;
    return "the session's hardware state saved: " + std::to_string(savedLength_) +
           " bytes (registers, colour table, latches, four planes)";
  }

  std::string DesktopAgain() {
    const std::string what = ShowDesktop();
    const Image shown = Screenshot("3-desktop-again.png");
    Expect(shown, desktopShot_, "1-desktop.png");
    return what + "; 3-desktop-again.png equals 1-desktop.png";
  }

  std::string Restore() {
    GiveUpScreen();
    VIDEO_HARDWARE_STATE record{reinterpret_cast<PVIDEO_HARDWARE_STATE_HEADER>(state_.data()),
                                savedLength_};
    Request(IOCTL_VIDEO_RESTORE_HARDWARE_STATE, &record, sizeof record, nullptr, 0);
    const Image shown = Screenshot("4-session-restored.png");
    Expect(shown, sessionShot_, "2-session.png");

    VIDEO_MEMORY unmap{frameBuffer_};
    Request(IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, &unmap, sizeof unmap, nullptr, 0);
    return "the session's state restored; 4-session-restored.png equals 2-session.png pixel "
           "for pixel";
  }

  // ---- the display driver's side

  // What a display driver does when it takes the screen: set its mode, map
  // the frame buffer once, draw, load the colour table if the mode has one,
  // and put up its pointer.
  std::string ShowDesktop() {
    const VIDEO_MODE_INFORMATION& mode = *desktopMode_;
    VIDEO_MODE requested{mode.ModeIndex};
    Request(IOCTL_VIDEO_SET_CURRENT_MODE, &requested, sizeof requested, nullptr, 0);

    VIDEO_MODE_INFORMATION current{};
    Request(IOCTL_VIDEO_QUERY_CURRENT_MODE, nullptr, 0, &current, sizeof current);
    if (current.ModeIndex != mode.ModeIndex) {
      throw StepFailure("the current mode is " + std::to_string(current.ModeIndex) +
                        " after setting " + std::to_string(mode.ModeIndex));
    }
    // What the registers send the monitor must be the mode asked for.
    const MonitorMode monitor = DecodeMonitor(machine_->adapter());
    if (monitor.width != mode.VisScreenWidth || monitor.height != mode.VisScreenHeight ||
        monitor.bitsPerPixel != mode.BitsPerPlane || monitor.refreshHz != mode.Frequency ||
        monitor.pitch != mode.ScreenStride) {
      throw StepFailure("the registers give the monitor " + monitor.Text() + " at " +
                        std::to_string(monitor.bitsPerPixel) + " bits, pitch " +
                        std::to_string(monitor.pitch) + ", for mode " +
                        std::to_string(mode.ModeIndex));
    }
    if (frameBuffer_ == nullptr) MapFrameBuffer();
    DrawTestImage(mode);
    std::string what = "mode " + std::to_string(mode.ModeIndex) + " (" + DesktopName() + ", " +
                       std::to_string(mode.Frequency) + " Hz, " +
                       Fixed(monitor.horizontalKHz.value_or(0), 2) +
                       " kHz to the monitor); test image drawn";

    const demo::PixelLayout layout = demo::LayoutOf(mode);
    if (layout.palette) {
      LoadColourTable();
      what += ", 256 colours loaded";
    }

    VIDEO_POINTER_CAPABILITIES capabilities{};
    Request(IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, nullptr, 0, &capabilities, sizeof capabilities);
    if (!(capabilities.Flags & VIDEO_MODE_MONO_POINTER)) {
      throw StepFailure("the mode offers no monochrome hardware pointer");
    }
    ShowPointer();
    return what + ", arrow pointer at (" + std::to_string(PointerColumn()) + ", " +
           std::to_string(PointerRow()) + ")";
  }

  // The display driver lets the console have the screen: pointer off, and
  // the adapter back in its text mode.
  void GiveUpScreen() {
    Request(IOCTL_VIDEO_DISABLE_POINTER, nullptr, 0, nullptr, 0);
    Request(IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0);
  }

  void MapFrameBuffer() {
    VIDEO_MEMORY request{nullptr};
    VIDEO_MEMORY_INFORMATION info{};
    Request(IOCTL_VIDEO_MAP_VIDEO_MEMORY, &request, sizeof request, &info, sizeof info);
    frameBuffer_ = info.FrameBufferBase;
    frameLength_ = info.FrameBufferLength;
  }

  void DrawTestImage(const VIDEO_MODE_INFORMATION& mode) {
    const demo::PixelLayout layout = demo::LayoutOf(mode);
    const int width = static_cast<int>(mode.VisScreenWidth);
    const int height = static_cast<int>(mode.VisScreenHeight);
    if (uint64_t{mode.ScreenStride} * height > frameLength_) {
      throw StepFailure("the frame buffer mapping holds " + std::to_string(frameLength_) +
                        " bytes, the mode needs " +
                        std::to_string(uint64_t{mode.ScreenStride} * height));
    }
    const std::function<void(size_t, uint8_t)> store = FrameBufferStore();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t pixel =
            demo::EncodePixel(layout, demo::TestImageColour(x, y, width, height));
        const size_t at = size_t{mode.ScreenStride} * y + size_t(x) * layout.bytesPerPixel;
        for (int b = 0; b < layout.bytesPerPixel; ++b)
          store(at + b, static_cast<uint8_t>(pixel >> (8 * b)));
      }
    }
  }

  // Plain memory behind the mapping is written as a display driver does;
  // anything else goes through the platform's mapping.
  std::function<void(size_t, uint8_t)> FrameBufferStore() {
    auto* base = static_cast<uint8_t*>(frameBuffer_);
    for (const sim::Machine::Mapping& mapping : machine_->Mappings()) {
      auto* start = static_cast<uint8_t*>(mapping.virtualAddress);
      if (mapping.plainMemory && base >= start && base + frameLength_ <= start + mapping.length) {
        return [base](size_t at, uint8_t value) { base[at] = value; };
      }
    }
    return [this, base](size_t at, uint8_t value) { machine_->WriteMapped(base + at, value); };
  }

  void LoadColourTable() {
    const std::array<VIDEO_CLUTDATA, 256> table = demo::PaletteTable();
    std::vector<uint8_t> clut(offsetof(VIDEO_CLUT, LookupTable) + sizeof table);
    const USHORT header[2] = {static_cast<USHORT>(table.size()), 0};  // NumEntries, FirstEntry
    std::memcpy(clut.data(), header, sizeof header);
    std::memcpy(clut.data() + offsetof(VIDEO_CLUT, LookupTable), table.data(), sizeof table);
    Request(IOCTL_VIDEO_SET_COLOR_REGISTERS, clut.data(), static_cast<ULONG>(clut.size()), nullptr,
            0);
  }

  int PointerColumn() const { return static_cast<int>(options_.width / 2 + 40); }
  int PointerRow() const { return static_cast<int>(options_.height * 7 / 16); }

  void ShowPointer() {
    const demo::PointerShape arrow = demo::ArrowPointer();
    std::vector<uint8_t> record(sizeof(VIDEO_POINTER_ATTRIBUTES) + arrow.andMask.size() +
                                arrow.xorMask.size());
    const VIDEO_POINTER_ATTRIBUTES fixed{
        VIDEO_MODE_MONO_POINTER,          64, 64, 8, 1, static_cast<SHORT>(PointerColumn()),
        static_cast<SHORT>(PointerRow()), {}};
    const size_t pixels = offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels);
    std::memcpy(record.data(), &fixed, pixels);
    std::memcpy(record.data() + pixels, arrow.andMask.data(), arrow.andMask.size());
    std::memcpy(record.data() + pixels + arrow.andMask.size(), arrow.xorMask.data(),
                arrow.xorMask.size());
    Request(IOCTL_VIDEO_SET_POINTER_ATTR, record.data(), static_cast<ULONG>(record.size()), nullptr,
            0);
    VIDEO_POINTER_POSITION position{static_cast<SHORT>(PointerColumn()),
                                    static_cast<SHORT>(PointerRow())};
    Request(IOCTL_VIDEO_SET_POINTER_POSITION, &position, sizeof position, nullptr, 0);
  }

  Image ExpectedDesktop() const {
    const VIDEO_MODE_INFORMATION& mode = *desktopMode_;
    Image image = demo::ExpectedDesktop(demo::LayoutOf(mode), static_cast<int>(mode.VisScreenWidth),
                                        static_cast<int>(mode.VisScreenHeight));
    demo::OverlayPointer(image, demo::ArrowPointer(), PointerColumn(), PointerRow());
    return image;
  }

  std::string DesktopName() const {
    return std::to_string(options_.width) + " x " + std::to_string(options_.height) + " at " +
           std::to_string(options_.bitsPerPixel) + " bits";
  }

  // ---- shared

  void Request(ULONG code, void* in, ULONG inLength, void* out, ULONG outLength) {
    ++requests_;
    const sim::Machine::Result result = machine_->Ioctl(code, in, inLength, out, outLength);
    if (result.status != NO_ERROR) {
      throw StepFailure(RequestName(code) + " returned status " + std::to_string(result.status));
    }
  }

  Image Screenshot(const std::string& file) {
    Image image = sim::screen::RenderScreen(machine_->adapter());
    const std::string path = (std::filesystem::path(options_.outDirectory) / file).string();
    if (!sim::screen::WritePng(image, path)) throw StepFailure("cannot write " + path);
    ++screenshots_;
    return image;
  }

  static void Expect(const Image& shown, const Image& expected, const std::string& what) {
    if (const std::optional<std::string> difference = demo::Difference(shown, expected)) {
      throw StepFailure("the screen differs from " + what + ": " + *difference);
    }
  }

  const DemoOptions& options_;
  std::ostream& out_;
  std::unique_ptr<sim::Machine> machine_;
  std::unique_ptr<sim::session::Vdm> session_;  // on machine_
  std::string adapterLine_;
  std::optional<VIDEO_MODE_INFORMATION> desktopMode_;
  PVOID frameBuffer_ = nullptr;
  ULONG frameLength_ = 0;
  std::vector<uint8_t> state_;
  ULONG savedLength_ = 0;
  Image desktopShot_, sessionShot_;
  uint32_t requests_ = 0, trappedAccesses_ = 0, screenshots_ = 0;

  // Every step in order; a StepFailure names what went wrong in the step.
  struct Step {
    const char* name;
    std::string (Demo::*run)();
  };
  static constexpr Step kSteps[] = {
      {"load", &Demo::Load},       {"modes", &Demo::Modes}, {"desktop", &Demo::Desktop},
      {"session", &Demo::Session}, {"save", &Demo::Save},   {"desktop again", &Demo::DesktopAgain},
      {"restore", &Demo::Restore},
  };
};

}  // namespace

DemoOptions ParseDemoArguments(std::span<const std::string_view> args) {
  DemoOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view word = args[i];
    if (word == "--out" || word == "--mode") {
      if (i + 1 == args.size()) throw ScriptError("demo: " + std::string(word) + " needs a value");
      const std::string_view value = args[++i];
      if (word == "--out") {
        options.outDirectory = std::string(value);
        continue;
      }
      // WIDTHxHEIGHTxBITS
      const size_t first = value.find('x'), second = value.find('x', first + 1);
      if (first == std::string_view::npos || second == std::string_view::npos) {
        throw ScriptError("demo: --mode takes WIDTHxHEIGHTxBITS, like 800x600x8");
      }
      options.width = static_cast<unsigned>(ParseNumber(value.substr(0, first), "width", 4096));
      options.height = static_cast<unsigned>(
          ParseNumber(value.substr(first + 1, second - first - 1), "height", 4096));
      options.bitsPerPixel =
          static_cast<unsigned>(ParseNumber(value.substr(second + 1), "bits", 32));
      continue;
    }
    if (word.find('=') == std::string_view::npos) {
      throw ScriptError("demo: unknown argument '" + std::string(word) + "'");
    }
    sim::Profile check = sim::Profile::Default();
    ApplyAdapterSetting(check, word);  // a bad key is misuse before anything runs
    options.adapterSettings.emplace_back(word);
  }
  return options;
}

int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code error;
  std::filesystem::create_directories(options.outDirectory, error);
  if (error) {
    err << "zelctl demo: cannot make " << options.outDirectory << ": " << error.message() << '\n';
    return kExitFailure;
  }
  Demo demo(options, out);
  try {
    return demo.Run(err) ? kExitOk : kExitFailure;
  } catch (const ScriptError& e) {
    err << "zelctl demo: " << e.what() << '\n';
    return kExitMisuse;
  }
}

}  // namespace zelctl
