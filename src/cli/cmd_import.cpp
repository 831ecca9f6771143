#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>

#include "command.h"
#include "interchange/export.h"
#include "output_safety.h"
#include "plugin_folder.h"
#include "scene_loading.h"
#include "workbench/plugin_loader.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct ImportOptions {
  std::string file;
  std::string into;
  std::string out;  // .vscene or .glb
  std::string plugin;
  bool interactive = false;
  bool yes = false;
  bool no = false;
  InterchangeOptions interchange;
};

// The importer the user asked for: by name, or the one that reads the file's extension.
const workbench::LoadedClass* ChooseImporter(const workbench::PluginLoader& loader, const ImportOptions& o,
                                             std::string& error) {
  if (!o.plugin.empty()) {
    const workbench::LoadedClass* c = loader.ByName(o.plugin);
    if (!c || c->superClass != host::kSceneImportClass) {
      error = "no importer named \"" + o.plugin + "\" (see `vorlan plugins`)";
      return nullptr;
    }
    return c;
  }
  std::string ext = LowerExtension(o.file);
  auto matches = loader.ByExtension(ext, host::kSceneImportClass);
  if (matches.empty()) {
    error = "no importer reads \"." + ext + "\" files (see `vorlan plugins`)";
    return nullptr;
  }
  return matches.front();
}

int RunImport(Context& ctx, const ImportOptions& o) {
  const CommonOptions& common = ctx.Common();
  const std::string ext = LowerExtension(o.out);
  if (ext != "vscene" && ext != "glb")
    return ctx.Fail("\"" + o.out + "\": import writes .vscene or .glb files");
  const std::string inputs[] = {o.file, o.into};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);

  workbench::Scene scene;
  if (!o.into.empty()) {
    LoadResult loaded = LoadScene(o.into, scene, MakeLoadOptions(common, o.interchange, OutputFolder(o.out)));
    for (const std::string& w : loaded.warnings) ctx.Warn(w);
    if (!loaded) return ctx.Fail(loaded.error);
  }

  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) ctx.Warn(e);
  std::string error;
  const workbench::LoadedClass* importerClass = ChooseImporter(loader, o, error);
  if (!importerClass) return ctx.Fail(error);
  ctx.Detail("importer " + importerClass->className + " from " + importerClass->modulePath);

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

  auto importer = loader.CreateImporter(*importerClass);
  if (!importer) return ctx.Fail("the importer \"" + importerClass->className + "\" could not be created");
  if (!importer->DoImport(o.file.c_str(), wb, !o.interactive))
    return ctx.Fail(importerClass->className + " failed to import \"" + o.file + "\"");

  if (ext == "vscene") {
    if (auto r = workbench::SaveSceneDocument(scene, o.out); !r) return ctx.Fail(r.error);
  } else {
    workbench::GlbExportResult r = workbench::ExportGlb(scene, o.out, {});
    for (const std::string& w : r.warnings) ctx.Warn(w);
    if (!r) return ctx.Fail(r.error);
  }
  ctx.Say("imported \"" + o.file + "\" with " + importerClass->className + " into \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ImportOptions>();
  app.add_option("file", o->file, "File to import; its extension chooses the importer")->required();
  app.add_option("out", o->out, "Output: .vscene or .glb")->required();
  app.add_option("--into", o->into, "Scene the file is imported into (default: an empty scene)");
  app.add_option("--plugin", o->plugin, "Importer by class name");
  app.add_flag("--interactive", o->interactive, "Show the importer's questions on the console");
  auto* yes = app.add_flag("--yes", o->yes, "Answer every question with Yes");
  app.add_flag("--no", o->no, "Answer every question with No")->excludes(yes);
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunImport(ctx, *o); };
}

const CommandRegistration registration{{"import", "Import a file into a scene with an importer plug-in",
                                        Setup, "what the importer plug-ins read; --into: a scene",
                                        ".vscene, .glb"}};

}  // namespace

}  // namespace vorlan::cli
