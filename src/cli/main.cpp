#include <iostream>

#include "vorlan.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vorlan::cli::RunVorlan(args, std::cout, std::cerr);
}
