// The `vorlan` command line as a library: main() only forwards its arguments here, so the
// end-to-end tests can run every command in-process as well as through the program.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "command.h"

namespace vorlan::cli {

// Runs one command line (without the program name). Returns the process exit code:
// kExitOk, kExitFailure or kExitUsage (command.h).
int RunVorlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// "vorlan 1.2.3"
std::string VersionLine();
// The overview: usage, every command with its summary, the global options, the exit codes.
std::string OverallHelp();
// One command's own help: its arguments and options.
std::string CommandHelp(const Command& command);

}  // namespace vorlan::cli
