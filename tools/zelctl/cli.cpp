#include "tools/zelctl/cli.h"

#include <fstream>
#include <string>

#include "sim/machine.h"
#include "tools/zelctl/adapter_keys.h"
#include "tools/zelctl/demo.h"
#include "tools/zelctl/parse.h"
#include "tools/zelctl/script.h"
#include "tools/zelctl/session.h"

namespace zelctl {
namespace {

constexpr std::string_view kUsage =
    "usage: zelctl [--image zel.sys] demo [--out DIR] [--mode WxHxBITS] [KEY=VALUE ...]\n"
    "                            the driver's whole job on the simulated adapter, step\n"
    "                            by step, with screenshots in DIR (default zel-demo);\n"
    "                            the desktop mode defaults to 800x600x8, the adapter\n"
    "                            to the embedded one (keys as 'zelctl run --help' lists)\n"
    "       zelctl [--image zel.sys] run FILE\n"
    "                            play a request script on the simulated machine\n"
    "                            (FILE '-' reads standard input); with --image the\n"
    "                            NT image is loaded instead of the linked-in driver\n"
    "       zelctl run --help    the script commands\n"
    "       zelctl --help        this text\n";

void PrintRunHelp(std::ostream& out) {
  out << "usage: zelctl run FILE\n"
         "\n"
         "Sets up the simulated machine with a Zel adapter, plays the script and prints\n"
         "the results. One command a line; '#' starts a comment; blank lines are ignored.\n"
         "Numbers are decimal or 0x hexadecimal; sizes may end in K (x 1024) or M\n"
         "(x 1048576). Control codes are numbers or names of the platform's\n"
         "IOCTL_VIDEO_ codes, with or without that prefix. Every command but adapter\n"
         "and trace needs the driver loaded by start.\n"
         "\n"
         "Commands:\n";
  for (const Command& command : Commands()) {
    out << "  " << command.synopsis << "\n      " << command.summary << '\n';
  }
  out << "\n"
         "ioctl: in=HEX gives the input bytes as hex pairs ('_' separates groups);\n"
         "out=N an output buffer of N bytes filled with 0xcc; 'same' passes one buffer\n"
         "as input and output (input bytes first, the rest 0xcc). Prints\n"
         "'status=N info=N' and, with an output buffer, ' out=HEX'.\n"
         "\n"
         "adapter keys (not given: a Zel B1, revision 0x1a, 4 MB, 64-bit bus, memory\n"
         "type 2, 100 MHz, strap 0, 32 KB ROM, PCI 1:0, BAR 0xe0000008):\n";
  for (const AdapterKey& key : AdapterKeys()) {
    out << "  " << key.name << "=VALUE\n      " << key.meaning << '\n';
  }
  out << "  srXX=VALUE\n"
         "      power-on value of extended sequencer register XX (hex index, 06 to ff);\n"
         "      overrides what the other keys derive\n"
         "\n"
         "Exit status: 0 when the script ran to its end, 2 for an unknown command or a\n"
         "malformed line (the message names the line), 1 when the simulator failed.\n";
}

}  // namespace

int Main(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
         std::ostream& err) {
  if (args.size() >= 2 && args[0] == "--image") {
    sim::UseDriverImage(std::string(args[1]));
    args = args.subspan(2);
  }
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return kExitOk;
  }
  if (args.size() == 2 && args[0] == "run" && (args[1] == "--help" || args[1] == "-h")) {
    PrintRunHelp(out);
    return kExitOk;
  }
  if (!args.empty() && args[0] == "demo") {
    try {
      return RunDemo(ParseDemoArguments(args.subspan(1)), out, err);
    } catch (const ScriptError& e) {
      err << "zelctl " << e.what() << '\n' << kUsage;
      return kExitMisuse;
    }
  }
  if (args.size() != 2 || args[0] != "run") {
    err << kUsage;
    return kExitMisuse;
  }
  if (args[1] == "-") return RunScript(in, out, err);
  std::ifstream file{std::string(args[1])};
  if (!file) {
    err << "zelctl: cannot open '" << args[1] << "'\n";
    return kExitMisuse;
  }
  return RunScript(file, out, err);
}

}  // namespace zelctl
