#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "vorlan.h"

namespace vorlan::cli {

namespace {

RunFunction Setup(CLI::App& app) {
  auto topic = std::make_shared<std::string>();
  app.add_option("command", *topic, "The command to describe; none: the overview");
  return [topic](Context& ctx) {
    if (topic->empty()) {
      ctx.Out() << OverallHelp();
      return kExitOk;
    }
    const Command* command = FindCommand(*topic);
    if (!command) return ctx.Usage("unknown command \"" + *topic + "\" (commands: " + CommandNames() + ")");
    ctx.Out() << CommandHelp(*command);
    return kExitOk;
  };
}

const CommandRegistration registration{{"help", "Describe vorlan or one of its commands", Setup, "", ""}};

}  // namespace

}  // namespace vorlan::cli
