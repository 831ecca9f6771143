#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
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
  // The columns are as wide as their longest entry, so a long list never runs into the next.
  size_t nameWidth = 7, readsWidth = 5;
  for (const Command& c : Commands()) {
    if (c.reads.empty() && c.writes.empty()) continue;
    nameWidth = std::max(nameWidth, c.name.size());
    readsWidth = std::max(readsWidth, c.reads.size());
  }
  auto row = [&](std::string_view name, std::string_view reads, std::string_view writes) {
    out << fmt::format("{:<{}}  {:<{}}  {}\n", name, nameWidth, reads, readsWidth, writes);
  };
  row("command", "reads", "writes");
  for (const Command& c : Commands()) {
    if (c.reads.empty() && c.writes.empty()) continue;
    row(c.name, c.reads.empty() ? std::string_view("-") : c.reads,
        c.writes.empty() ? std::string_view("-") : c.writes);
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
