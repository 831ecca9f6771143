#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "command.h"
#include "output_safety.h"
#include "plugin_folder.h"
#include "scene_loading.h"
#include "workbench/plugin_loader.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct ExportOptions {
  std::string scene;
  std::string out;
  std::string plugin;  // class name or internal name; empty: by the output's extension
  bool selected = false;
  bool interactive = false;
  bool yes = false;
  bool no = false;
  InterchangeOptions interchange;
};

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

bool AnySelected(workbench::Scene& scene) {
  for (const workbench::SceneNode* node : scene.AllNodes())
    if (node->Selected()) return true;
  return false;
}

int RunExport(Context& ctx, const ExportOptions& o) {
  const CommonOptions& common = ctx.Common();
  // The scene exporter lower-cases the extension it writes, so that name counts as well.
  const std::string inputs[] = {o.scene};
  for (const std::string& out : {o.out, WithLowerExtension(o.out)})
    if (auto problem = OutputIsAnInput(out, inputs)) return ctx.Fail(*problem);

  workbench::Scene scene;
  LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(common, o.interchange, OutputFolder(o.out)));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) return ctx.Fail(loaded.error);
  if (o.selected && !AnySelected(scene)) ctx.Warn("--selected: nothing is selected in \"" + o.scene + "\"");

  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) ctx.Warn(e);

  std::string error;
  const workbench::LoadedClass* exporterClass = ChooseExporter(loader, o, error);
  if (!exporterClass) return ctx.Fail(error);
  ctx.Detail("exporter " + exporterClass->className + " from " + exporterClass->modulePath);

  workbench::ConsoleOptions uiOptions;
  uiOptions.interactive = o.interactive;
  if (o.yes) uiOptions.policy = workbench::AnswerPolicy::Yes;
  if (o.no) uiOptions.policy = workbench::AnswerPolicy::No;
  uiOptions.progress = ctx.ShowProgress();
  workbench::ConsoleUI ui(uiOptions, ctx.Err(), std::cin);
  workbench::Workbench wb(scene, ui);
  wb.SetPlugins(&loader);
  if (!common.configDir.empty()) wb.SetPlugCfgDir(common.configDir);
  if (!common.logDir.empty()) wb.SetLogDir(common.logDir);

  auto exporter = loader.CreateExporter(*exporterClass);
  if (!exporter) return ctx.Fail("the exporter \"" + exporterClass->className + "\" could not be created");
  uint32_t options = o.selected ? 1u : 0u;
  int ok = exporter->DoExport(o.out.c_str(), wb, !o.interactive, options);
  if (!ok) return ctx.Fail(exporterClass->className + " failed to export \"" + o.out + "\"");
  ctx.Say("exported \"" + o.scene + "\" to \"" + o.out + "\" with " + exporterClass->className);
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ExportOptions>();
  app.add_option("scene", o->scene, "Scene document (.vscene, .vscb) or interchange file")->required();
  app.add_option("out", o->out, "Output file; its extension chooses the exporter")->required();
  app.add_option("--plugin", o->plugin, "Exporter by class name");
  app.add_flag("--selected", o->selected, "Export the selected nodes only");
  app.add_flag("--interactive", o->interactive, "Show the exporter's dialogs and ask on the console");
  auto* yes = app.add_flag("--yes", o->yes, "Answer every question with Yes");
  app.add_flag("--no", o->no, "Answer every question with No")->excludes(yes);
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunExport(ctx, *o); };
}

const CommandRegistration registration{{"export", "Export a scene with an exporter plug-in", Setup,
                                        ".vscene, .vscb, .gltf, .glb, .fbx, .obj, .dae, .3ds",
                                        "what the exporter plug-ins write (see below)"}};

}  // namespace

}  // namespace vorlan::cli
