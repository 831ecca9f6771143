// Runs the built `vorlan` program as a user would, with the test build's plug-ins.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace vorlan::testing {

struct RunResult {
  int exitCode = -1;
  std::string out;  // standard output and standard error together
};

// `args` is given to the shell as it stands: quote what needs quoting.
inline RunResult RunVorlan(const std::string& args) {
  std::string cmd = std::string(VORLAN_EXE) + " --plugin-dir " + VORLAN_PLUGIN_DIR + " " + args + " 2>&1";
  RunResult r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p)) r.out.append(buf.data(), n);
  int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace vorlan::testing
