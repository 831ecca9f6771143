// The Khronos glTF validator, run by node on files the tests wrote (scripts/install-deps
// puts it in build-tools/node_modules; VORLAN_GLTF_VALIDATOR_MODULES names another place).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "interchange/test_files.h"

namespace vorlan::testing {

struct Command {
  int exitCode = -1;
  std::string out;
};

// Runs a shell command; its output and error output together.
inline Command Run(const std::string& cmd) {
  Command r;
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p)) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string ValidatorModules() {
  if (const char* env = std::getenv("VORLAN_GLTF_VALIDATOR_MODULES")) return env;
  return std::string(VORLAN_SOURCE_DIR) + "/build-tools/node_modules";
}

// Runs the validator script of the corpus on the files (a "--json" among them asks for the
// whole reports); fails the test when node or the validator is missing, since CI installs
// both.
inline Command Validate(const std::vector<std::string>& files) {
  Command node = Run("node --version");
  if (node.exitCode != 0) {
    ADD_FAILURE() << "node is not installed; run scripts/install-deps (" << node.out << ")";
    return node;
  }
  const std::string modules = ValidatorModules();
  if (!std::filesystem::exists(modules + "/gltf-validator/package.json")) {
    ADD_FAILURE() << "the glTF validator is not installed in " << modules << "; run scripts/install-deps";
    return {};
  }
  std::string cmd = "NODE_PATH='" + modules + "' node '" + AssetPath("validate-gltf.js") + "'";
  for (const auto& f : files) cmd += " '" + f + "'";
  return Run(cmd);
}

}  // namespace vorlan::testing
