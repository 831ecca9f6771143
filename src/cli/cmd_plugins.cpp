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
    if (c.superClass == host::kSceneExportClass || c.superClass == host::kSceneImportClass) {
      std::string shortDesc, longDesc;
      if (c.superClass == host::kSceneExportClass) {
        if (auto p = loader.CreateExporter(c)) shortDesc = p->ShortDesc(), longDesc = p->LongDesc();
      } else if (auto p = loader.CreateImporter(c)) {
        shortDesc = p->ShortDesc(), longDesc = p->LongDesc();
      }
      for (const std::string& ext : c.extensions) out << "  extension   ." << ext << "\n";
      out << "  short       " << shortDesc << "\n  long        " << longDesc << "\n";
    }
  }
  return 0;
}

}  // namespace vorlan::cli
