// vorlan kit: the KitExport utility's "Generate Eqps" on a scene, headless.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "command.h"
#include "kitexport/kit_run.h"
#include "scene_loading.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct KitOptions {
  std::string scene;
  kitexport::KitSettings settings;
  InterchangeOptions interchange;
};

// Counts what the run showed, so the exit code can tell a failed file from a clean run.
class CountingUI : public workbench::ConsoleUI {
 public:
  using ConsoleUI::ConsoleUI;
  host::Answer MessageBox(const host::MessageBoxRequest& request) override {
    if (request.icon == host::Icon::Error && request.caption == "Error") ++errors;
    return ConsoleUI::MessageBox(request);
  }
  int errors = 0;
};

int RunKit(Context& ctx, const KitOptions& o) {
  workbench::Scene scene;
  // The run writes no scene, so images embedded in an interchange file stay unwritten.
  LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(ctx.Common(), o.interchange, ""));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) return ctx.Fail(loaded.error);
  workbench::ConsoleOptions uiOptions;
  uiOptions.progress = false;
  CountingUI ui(uiOptions, ctx.Err(), std::cin);
  workbench::Workbench wb(scene, ui);
  if (!ctx.Common().configDir.empty()) wb.SetPlugCfgDir(ctx.Common().configDir);
  if (!ctx.Common().logDir.empty()) wb.SetLogDir(ctx.Common().logDir);
  kitexport::KitRunResult r = kitexport::RunKitExport(wb, o.settings, o.scene);
  for (const std::string& name : r.generated) ctx.Say(name);
  if (!r.indexPath.empty())
    ctx.Detail("index " + r.indexPath + ": " + std::to_string(r.indexSections) + " sections");
  if (ui.errors) return ctx.Fail(std::to_string(ui.errors) + " file(s) could not be written");
  if (r.generated.empty()) ctx.Warn("no selected object hangs on a bone: nothing was written");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<KitOptions>();
  app.add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  app.add_option("--engine", o->settings.enginePath, "The engine's data root (Engine path)")->required();
  app.add_option("--export", o->settings.exportPath, "Folder of the .eqp files, relative to the engine path")
      ->required();
  app.add_option("--zef", o->settings.zefPath,
                 "Model folder searched for .zef files, relative to the engine path")
      ->required();
  app.add_flag("--index", o->settings.generateIndex, "Also write the index file (Generate .ini file)");
  app.add_flag("--rewrite", o->settings.rewrite,
               "Reuse .eqp files of earlier runs (Rewrite existing .eqp files)");
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunKit(ctx, *o); };
}

const CommandRegistration registration{
    {"kit", "Write .eqp files for the selected equipment on characters' bones", Setup,
     ".vscene and interchange scenes, .zef (searched)", ".eqp, the index .ini, kitExport.log"}};

}  // namespace

}  // namespace vorlan::cli
