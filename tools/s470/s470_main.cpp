// s470: the DLL's work from the command line, for service benches, production lines and scripts.
//
//   s470 read-setup --port PORT FILE       the gauge's setup into the setup file
//   s470 write-setup --port PORT FILE      the setup file into the gauge
//   s470 analyse --port PORT [--json] [--report FILE]
//   s470 scramble|unscramble IN OUT        plain Intel HEX <-> scrambled firmware file
//
// Under the name fwscramble (a copy of the program) only scramble and unscramble are offered.
#include <cstdio>
#include <exception>
#include <iostream>

#include "tool.h"
#include "tool_platform.h"

using namespace s470::tool;

int main(int argc, char** argv) {
  try {
    return RunTool(Utf8Arguments(argc, argv), std::cout, std::cerr, IsTerminal(stderr));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", ProgramName().c_str(), e.what());
    return kExitDevice;
  }
}
