#include <iostream>

#include "support/process_heap.h"
#include "vorlan.h"

int main(int argc, char** argv) {
  vorlan::support::ReturnFreedHeapPromptly();
  std::vector<std::string> args(argv + 1, argv + argc);
  return vorlan::cli::RunVorlan(args, std::cout, std::cerr);
}
