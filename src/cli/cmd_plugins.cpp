#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <ostream>

#include "command.h"
#include "plugin_folder.h"
#include "workbench/plugin_loader.h"

namespace vorlan::cli {

namespace {

const char* SuperClassName(host::SuperClassId sc) {
  switch (sc) {
    case host::kSceneExportClass:
      return "exporter";
    case host::kSceneImportClass:
      return "importer";
    case host::kUtilityClass:
      return "utility";
    default:
      return "other";
  }
}

int RunPlugins(Context& ctx) {
  workbench::PluginLoader loader;
  std::string dir = ResolvePluginDir(ctx.Common().pluginDir);
  loader.LoadFolder(dir);
  for (const std::string& e : loader.errors()) ctx.Warn(e);
  if (loader.classes().empty()) return ctx.Fail("no plug-in modules found in \"" + dir + "\"");
  std::ostream& out = ctx.Out();
  for (const workbench::LoadedClass& c : loader.classes()) {
    out << fmt::format(
        "{}\n  class id    0x{:08X}, 0x{:08X}\n  kind        {} (0x{:X})\n  category    \"{}\"\n",
        c.className, c.classId.a, c.classId.b, SuperClassName(c.superClass), c.superClass, c.category);
    out << "  module      " << c.modulePath << "\n";
    workbench::PluginPtr<host::FileFormatPlugin> format;
    if (c.superClass == host::kSceneExportClass) format.reset(loader.CreateExporter(c).release());
    if (c.superClass == host::kSceneImportClass) format.reset(loader.CreateImporter(c).release());
    if (format) {
      for (const std::string& ext : c.extensions) out << "  extension   ." << ext << "\n";
      // Each answer comes through the module's one string buffer: print it before asking again.
      out << "  short       " << format->ShortDesc() << "\n";
      out << "  long        " << format->LongDesc() << "\n";
    }
  }
  return kExitOk;
}

RunFunction Setup(CLI::App&) { return RunPlugins; }

const CommandRegistration registration{{"plugins", "List every loaded plug-in class", Setup,
                                        "the plug-in folder", "the list, on standard output"}};

}  // namespace

}  // namespace vorlan::cli
