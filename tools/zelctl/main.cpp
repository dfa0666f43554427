// zelctl: loads the driver on the simulated Zel adapter and plays scripts.
#include <iostream>
#include <string_view>
#include <vector>

#include "tools/zelctl/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return zelctl::Main(args, std::cin, std::cout, std::cerr);
}
