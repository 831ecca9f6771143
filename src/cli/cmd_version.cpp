#include <CLI/CLI.hpp>
#include <ostream>

#include "vorlan.h"

namespace vorlan::cli {

namespace {

RunFunction Setup(CLI::App&) {
  return [](Context& ctx) {
    ctx.Out() << VersionLine() << "\n";
    return kExitOk;
  };
}

const CommandRegistration registration{
    {"version", "Print the version (also `vorlan --version`)", Setup, "", ""}};

}  // namespace

}  // namespace vorlan::cli
