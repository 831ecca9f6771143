// The `vorlan` command line as a library: main() only forwards its arguments here, so the
// end-to-end tests can run every command in-process as well as through the program.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorlan::cli {

// Runs one command line (without the program name). Returns the process exit code:
// 0 success, 1 the command failed, 2 bad usage.
int RunVorlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorlan::cli
