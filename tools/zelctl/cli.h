// The zelctl command line: `zelctl run FILE`, `zelctl --help`.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string_view>

namespace zelctl {

// args excludes the program name; `in` is standard input for `run -`.
int Main(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
         std::ostream& err);

}  // namespace zelctl
