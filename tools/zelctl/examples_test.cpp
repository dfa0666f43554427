// The console's test: every examples/NAME.zel played by `zelctl run` must
// print exactly examples/NAME.out (standard output, then standard error, then
// "exit status N" when N is not 0). A difference names its first line. A
// '?' in an expected line stands for one hex digit: the addresses the host
// gives the caller's mappings change from run to run.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/zelctl/cli.h"

namespace zelctl {
namespace {

std::string Contents(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool LineMatches(const std::string& expected, const std::string& got) {
  if (expected.size() != got.size()) return false;
  for (size_t i = 0; i < expected.size(); ++i) {
    const bool anyHex = expected[i] == '?' && std::isxdigit(static_cast<unsigned char>(got[i]));
    if (expected[i] != got[i] && !anyHex) return false;
  }
  return true;
}

// "" when they match, else the first differing line, expected against got.
std::string FirstDifference(const std::string& expected, const std::string& got) {
  std::istringstream e(expected), g(got);
  std::string el, gl;
  for (int line = 1;; ++line) {
    const bool more = static_cast<bool>(std::getline(e, el));
    const bool gotMore = static_cast<bool>(std::getline(g, gl));
    if (!more && !gotMore) return expected.size() == got.size() ? "" : "the last line ends differ";
    if (more && gotMore && LineMatches(el, gl)) continue;
    return "line " + std::to_string(line) + ":\n  expected: " + (more ? el : "(end)") +
           "\n  got:      " + (gotMore ? gl : "(end)");
  }
}

TEST(Examples, EachScriptPrintsItsExpectedOutput) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ZELCTL_EXAMPLES_DIR)) {
    const std::filesystem::path script = entry.path();
    if (script.extension() != ".zel") continue;
    std::filesystem::path expected = script;
    expected.replace_extension(".out");
    SCOPED_TRACE(script.filename().string());
    ASSERT_TRUE(std::filesystem::exists(expected)) << "no " << expected.filename();
    const std::string path = script.string();
    const std::string_view args[] = {"run", path};
    std::istringstream in;
    std::ostringstream out, err;
    const int status = Main(args, in, out, err);
    std::string got = out.str() + err.str();
    if (status != 0) got += "exit status " + std::to_string(status) + "\n";
    EXPECT_EQ(FirstDifference(Contents(expected), got), "");
    ++checked;
  }
  EXPECT_GE(checked, 6);
}

}  // namespace
}  // namespace zelctl
