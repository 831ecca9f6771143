#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <ostream>

#include "command.h"
#include "plugin_folder.h"
#include "workbench/plugin_loader.h"

namespace vorlan::cli {

namespace {

std::string Extensions(const workbench::LoadedClass& c) {
  std::string list;
  for (const std::string& e : c.extensions) list += (list.empty() ? "." : ", .") + e;
  return list;
}

int RunFormats(Context& ctx) {
  std::ostream& out = ctx.Out();
  out << fmt::format("{:<12}{:<48}{}\n", "command", "reads", "writes");
  for (const Command& c : Commands()) {
    if (c.reads.empty() && c.writes.empty()) continue;
    out << fmt::format("{:<12}{:<48}{}\n", c.name, c.reads.empty() ? "-" : c.reads,
                       c.writes.empty() ? "-" : c.writes);
  }
  // What `export` (and any command that runs plug-ins) can write depends on the modules found.
  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(ctx.Common().pluginDir));
  bool heading = false;
  for (const workbench::LoadedClass& c : loader.classes()) {
    const char* kind = c.superClass == host::kSceneExportClass   ? "writes"
                       : c.superClass == host::kSceneImportClass ? "reads"
                                                                 : nullptr;
    if (!kind || c.extensions.empty()) continue;
    if (!heading) out << "\nplug-ins:\n";
    heading = true;
    out << fmt::format("  {:<22}{} {}\n", c.className, kind, Extensions(c));
  }
  return kExitOk;
}

RunFunction Setup(CLI::App&) { return RunFormats; }

const CommandRegistration registration{
    {"formats", "List what each command and plug-in reads and writes", Setup, "", ""}};

}  // namespace

}  // namespace vorlan::cli
