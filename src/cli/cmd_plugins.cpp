#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

#include "commands.h"
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

std::string ProgramDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::string ResolvePluginDir(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("VORLAN_PLUGIN_DIR"); env && *env) return env;
  return ProgramDir() + "/../plugins";
}

int RunPlugins(const CommonOptions& common, std::ostream& out, std::ostream& err) {
  workbench::PluginLoader loader;
  std::string dir = ResolvePluginDir(common.pluginDir);
  loader.LoadFolder(dir);
  for (const std::string& e : loader.errors()) err << "vorlan: " << e << "\n";
  if (loader.classes().empty()) {
    err << "vorlan: no plug-in modules found in \"" << dir << "\"\n";
    return 1;
  }
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
  return 0;
}

}  // namespace vorlan::cli
