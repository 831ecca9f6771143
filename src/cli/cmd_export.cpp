#include <ostream>

#include "commands.h"
#include "scene_loading.h"
#include "workbench/plugin_loader.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

// The exporter the user asked for: by name, or the one that writes the output's extension.
const workbench::LoadedClass* ChooseExporter(const workbench::PluginLoader& loader, const ExportOptions& o,
                                             std::string& error) {
  if (!o.plugin.empty()) {
    const workbench::LoadedClass* c = loader.ByName(o.plugin);
    if (!c || c->superClass != host::kSceneExportClass) {
      error = "no exporter named \"" + o.plugin + "\" (see `vorlan plugins`)";
      return nullptr;
    }
    return c;
  }
  std::string ext = LowerExtension(o.out);
  auto matches = loader.ByExtension(ext, host::kSceneExportClass);
  if (matches.empty()) {
    error = "no exporter writes \"." + ext + "\" files (see `vorlan plugins`)";
    return nullptr;
  }
  // Several exporters may share an extension (scenes and characters both write .zef); the
  // first loaded one wins unless --plugin names another.
  return matches.front();
}

}  // namespace

int RunExport(const CommonOptions& common, const ExportOptions& o, std::ostream& out, std::ostream& err) {
  workbench::Scene scene;
  LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(common, o.interchange, OutputFolder(o.out)));
  for (const std::string& w : loaded.warnings) err << "vorlan export: warning: " << w << "\n";
  // A scene that cannot be read is bad input, like a bad argument: nothing was exported.
  if (!loaded) {
    err << "vorlan export: " << loaded.error << "\n";
    return 2;
  }

  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) err << "vorlan: " << e << "\n";

  std::string error;
  const workbench::LoadedClass* exporterClass = ChooseExporter(loader, o, error);
  if (!exporterClass) {
    err << "vorlan export: " << error << "\n";
    return 1;
  }

  workbench::ConsoleOptions uiOptions;
  uiOptions.interactive = o.interactive;
  if (o.answer) uiOptions.policy = *o.answer ? workbench::AnswerPolicy::Yes : workbench::AnswerPolicy::No;
  workbench::ConsoleUI ui(uiOptions);
  workbench::Workbench wb(scene, ui);
  wb.SetPlugins(&loader);
  if (!common.configDir.empty()) wb.SetPlugCfgDir(common.configDir);
  if (!common.logDir.empty()) wb.SetLogDir(common.logDir);

  auto exporter = loader.CreateExporter(*exporterClass);
  if (!exporter) {
    err << "vorlan export: the exporter \"" << exporterClass->className << "\" could not be created\n";
    return 1;
  }
  uint32_t options = o.selected ? 1u : 0u;
  int ok = exporter->DoExport(o.out.c_str(), wb, !o.interactive, options);
  if (!ok) {
    err << "vorlan export: " << exporterClass->className << " failed to export \"" << o.out << "\"\n";
    return 1;
  }
  out << "exported \"" << o.scene << "\" to \"" << o.out << "\" with " << exporterClass->className << "\n";
  return 0;
}

}  // namespace vorlan::cli
