#include "vorlan.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <map>
#include <ostream>

#include "workbench/materials_document.h"

#ifndef VORLAN_VERSION
#define VORLAN_VERSION "0.0.0"
#endif

namespace vorlan::cli {

namespace {

struct GlobalOption {
  const char* flags;
  const char* help;
  bool takesValue;
};

// Options every command accepts, before or after the command's name.
constexpr GlobalOption kGlobalOptions[] = {
    {"--plugin-dir", "Folder of the plug-in modules", true},
    {"--config-dir", "Folder of the plug-ins' configuration files", true},
    {"--log-dir", "Folder of the plug-ins' log files", true},
    {"-q,--quiet", "Print errors only", false},
    {"-v,--verbose", "Print what is done, step by step, on standard error", false},
    {"--version", "Print the version and stop", false},
};

void AddGlobalOptions(CLI::App& app, CommonOptions& common, bool& quiet, bool& verbose, bool& version) {
  app.add_option("--plugin-dir", common.pluginDir, kGlobalOptions[0].help);
  app.add_option("--config-dir", common.configDir, kGlobalOptions[1].help);
  app.add_option("--log-dir", common.logDir, kGlobalOptions[2].help);
  app.add_flag("-q,--quiet", quiet, kGlobalOptions[3].help);
  app.add_flag("-v,--verbose", verbose, kGlobalOptions[4].help);
  app.add_flag("--version", version, kGlobalOptions[5].help);
}

bool TakesValue(const std::string& arg) {
  for (const GlobalOption& o : kGlobalOptions)
    if (o.takesValue && arg == o.flags) return true;
  return false;
}

// The first word that is not an option or a global option's value: the command's name.
std::optional<std::string> CommandWord(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") return i + 1 < args.size() ? std::optional(args[i + 1]) : std::nullopt;
    if (TakesValue(args[i])) {
      ++i;
      continue;
    }
    if (!args[i].empty() && args[i][0] == '-') continue;
    return args[i];
  }
  return std::nullopt;
}

bool Has(const std::vector<std::string>& args, std::initializer_list<const char*> flags) {
  for (const std::string& a : args)
    for (const char* f : flags)
      if (a == f) return true;
  return false;
}

}  // namespace

std::string VersionLine() { return std::string("vorlan ") + VORLAN_VERSION; }

std::string OverallHelp() {
  std::string text =
      "vorlan: runs the Vorlan pipeline's plug-ins on scenes, headless\n\n"
      "Usage: vorlan [GLOBAL OPTIONS] COMMAND [ARGUMENTS]\n"
      "       vorlan help COMMAND      the arguments and options of one command\n\n"
      "Commands:\n";
  for (const Command& c : Commands()) text += fmt::format("  {:<12}{}\n", c.name, c.summary);
  text += "\nGlobal options (before or after the command):\n";
  for (const GlobalOption& o : kGlobalOptions)
    text += fmt::format("  {:<22}{}\n", std::string(o.flags) + (o.takesValue ? " DIR" : ""), o.help);
  text +=
      "\nExit status: 0 success, 1 the command failed (the message names the file or the cause),\n"
      "2 the command line is wrong (nothing was done).\n";
  return text;
}

std::string CommandHelp(const Command& command) {
  CLI::App app{std::string(command.summary), "vorlan " + std::string(command.name)};
  command.setup(app);
  return app.help() + "\nGlobal options (-q, -v, --plugin-dir, ...) and exit codes: see `vorlan help`.\n";
}

int RunVorlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // Scene documents carry materials; the workbench reads them through this codec.
  workbench::RegisterMaterialDocumentCodec();

  std::optional<std::string> word = CommandWord(args);
  const Command* command = word ? FindCommand(*word) : nullptr;
  if (!command) {
    if (Has(args, {"--version"})) {
      out << VersionLine() << "\n";
      return kExitOk;
    }
    if (Has(args, {"-h", "--help"})) {
      out << OverallHelp();
      return kExitOk;
    }
    if (word)
      err << "vorlan: unknown command \"" << *word << "\" (commands: " << CommandNames() << ")\n";
    else
      err << "vorlan: no command given (commands: " << CommandNames() << ")\n";
    err << SeeHelp("") << "\n";
    return kExitUsage;
  }

  CLI::App app{"vorlan", "vorlan"};
  CommonOptions common;
  bool quiet = false, verbose = false, version = false;
  AddGlobalOptions(app, common, quiet, verbose, version);
  CLI::App* sub = app.add_subcommand(std::string(command->name), std::string(command->summary));
  sub->fallthrough();
  RunFunction run = command->setup(*sub);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    // `vorlan shots play --help` asks about play, not about shots.
    const CLI::App* asked = sub;
    std::string words = "vorlan " + std::string(command->name);
    while (!asked->get_subcommands().empty()) {
      asked = asked->get_subcommands().front();
      words += " " + asked->get_name();
    }
    if (asked != sub) {
      std::string text = asked->help();
      // The help names the subcommand alone; the usage line shows the whole command to type.
      const std::string usage = "Usage: " + asked->get_name();
      if (size_t at = text.find(usage); at != std::string::npos)
        text.replace(at, usage.size(), "Usage: " + words);
      out << text << "\nGlobal options (-q, -v, --plugin-dir, ...) and exit codes: see `vorlan help`.\n";
    } else
      out << CommandHelp(*command);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    err << "vorlan " << command->name << ": " << e.what() << "\n" << SeeHelp(command->name) << "\n";
    return kExitUsage;
  }
  if (version) {
    out << VersionLine() << "\n";
    return kExitOk;
  }
  std::string name(command->name);
  if (quiet && verbose) {
    err << "vorlan " << name << ": --quiet and --verbose exclude each other\n" << SeeHelp(name) << "\n";
    return kExitUsage;
  }
  common.verbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;

  Context ctx(name, common, out, err);
  // No exception leaves a command: anything unexpected is a failure with its message.
  try {
    return run(ctx);
  } catch (const std::exception& e) {
    return ctx.Fail(e.what());
  }
}

}  // namespace vorlan::cli
