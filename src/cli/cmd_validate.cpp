#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "command.h"
#include "file_checks.h"
#include "scene_loading.h"

namespace vorlan::cli {

namespace {

int RunValidate(Context& ctx, const std::vector<std::string>& files) {
  int status = kExitOk;
  for (const std::string& file : files) {
    FileCheck check = CheckFile(file);
    if (!check.known) {
      ctx.Fail("\"" + file + "\": no check reads \"." + LowerExtension(file) +
               "\" files (checked: " + CheckedExtensions() + ")");
      status = kExitFailure;
      continue;
    }
    if (check.Ok()) {
      ctx.Say(file + ": ok");
      continue;
    }
    // Findings are the command's result: on the output, one line each, for scripts to read.
    for (const std::string& p : check.problems) ctx.Out() << file << ": " << p << "\n";
    status = kExitFailure;
  }
  return status;
}

RunFunction Setup(CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  app.add_option("files", *files, "Files to check")->required();
  return [files](Context& ctx) { return RunValidate(ctx, *files); };
}

const CommandRegistration registration{
    {"validate",
     "Check files with every reader and structural check we have; status 1 on "
     "any violation",
     Setup, ".zef, .vscene, .glb, .gltf", "one line per violation"}};

}  // namespace

}  // namespace vorlan::cli
