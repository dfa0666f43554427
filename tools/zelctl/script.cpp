#include "tools/zelctl/script.h"

#include <exception>
#include <string>

#include "tools/zelctl/parse.h"
#include "tools/zelctl/session.h"

namespace zelctl {

int RunScript(std::istream& in, std::ostream& out, std::ostream& err) {
  Session session(out);
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.empty()) continue;
    const auto fail = [&](const char* what, int status) {
      session.out().flush();
      err << "zelctl: line " << number << ": " << what << '\n';
      return status;
    };
    try {
      const Command* command = FindCommand(words[0]);
      if (command == nullptr) {
        throw ScriptError("unknown command '" + std::string(words[0]) + "'");
      }
      command->run(session, Args(words).subspan(1));
    } catch (const ScriptError& e) {
      return fail(e.what(), kExitMisuse);
    } catch (const std::exception& e) {
      return fail(e.what(), kExitFailure);
    }
  }
  session.out().flush();
  return kExitOk;
}

}  // namespace zelctl
