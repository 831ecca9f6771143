// The table of `vorlan` commands.
//
// How to add a command:
//  1. Create src/cli/cmd_<name>.cpp (the build picks it up by itself).
//  2. In it, write a setup function that declares the command's arguments and options on the
//     CLI::App it is given and returns a RunFunction owning what they are parsed into:
//
//       RunFunction Setup(CLI::App& app) {
//         auto file = std::make_shared<std::string>();
//         app.add_option("file", *file, "The file to read")->required();
//         return [file](Context& ctx) { ... return kExitOk; };
//       }
//       const CommandRegistration registration{
//           {"name", "One-line summary", Setup, "what it reads", "what it writes"}};
//
//  3. Follow the conventions, which `vorlan` itself already keeps for parsing errors:
//     - exit codes: kExitOk (0), kExitFailure (1) when the work failed, kExitUsage (2) when
//       the command line is wrong (return ctx.Usage("...") for checks made after parsing);
//     - messages through the Context: ctx.Fail / ctx.Warn / ctx.Detail go to standard error
//       prefixed "vorlan <name>: ", ctx.Say prints a result line unless --quiet;
//     - numeric options take NumberAbove / NumberInRange / IntegerInRange (command.h), so a
//       bad value is refused with its range in words;
//     - progress only when ctx.ShowProgress() (a terminal, not --quiet);
//     - an output file never replaces an input (see output_safety.h) and is written through
//       a temporary file (support/file_io.h).
//  4. Add the command to docs/cli.md and an end-to-end test of its exit codes to tests/e2e.
//
// Commands register themselves while the program starts, so this file never changes when
// one is added and parallel additions do not collide.
#include <algorithm>

#include "command.h"

namespace vorlan::cli {

namespace {

std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) { Table().push_back(command); }

std::vector<Command> Commands() {
  std::vector<Command> sorted = Table();
  std::sort(sorted.begin(), sorted.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
  return sorted;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : Table())
    if (c.name == name) return &c;
  return nullptr;
}

std::string CommandNames() {
  std::string names;
  for (const Command& c : Commands()) {
    if (!names.empty()) names += ", ";
    names += c.name;
  }
  return names;
}

}  // namespace vorlan::cli
