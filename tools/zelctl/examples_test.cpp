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
    std::filesystem::path expected = entry.path();
    if (expected.extension() != ".zel") continue;
    SCOPED_TRACE(expected.filename().string());
    const std::string script = expected.string();
    std::ifstream file(expected.replace_extension(".out"));
    ASSERT_TRUE(file) << "no " << expected.filename();
    std::stringstream text;
    text << file.rdbuf();
    const std::string_view args[] = {"run", script};
    std::istringstream in;
    std::ostringstream out, err;
    const int status = Main(args, in, out, err);
    std::string got = out.str() + err.str();
    if (status != 0) got += "exit status " + std::to_string(status) + "\n";
    EXPECT_EQ(FirstDifference(text.str(), got), "");
    ++checked;
  }
  EXPECT_GE(checked, 9);
}

}  // namespace
}  // namespace zelctl
