#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "command.h"
#include "file_checks.h"
#include "output_safety.h"
#include "plugin_folder.h"
#include "report.h"
#include "scene_loading.h"
#include "support/file_io.h"
#include "workbench/plugin_loader.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

// KeyExport.cfg: version 1, then the "selected only" and "hierarchy" bytes.
bool WriteKeyExportChoice(const std::string& cfgDir, bool selectedOnly, bool hierarchy) {
  const std::vector<uint8_t> bytes = {1, 0, 0, 0, uint8_t(selectedOnly ? 1 : 0), uint8_t(hierarchy ? 1 : 0)};
  return support::WriteFileAtomic(support::NativePath(cfgDir + "/KeyExport.cfg"), bytes).ok;
}

struct ExportOptions {
  std::string scene;
  std::string out;
  std::string plugin;  // class name or internal name; empty: by the output's extension
  bool selected = false;
  bool hierarchy = false;  // KeyExport: the selected nodes with their descendants
  bool interactive = false;
  bool yes = false;
  bool no = false;
  std::string report;  // --report FILE.json
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
  // Several exporters may share an extension: scenes and characters both write .zef, and a
  // character file of a scene without a skeleton fails. The scene exporter is the default;
  // --plugin names another.
  static const std::pair<std::string_view, std::string_view> kDefaults[] = {{"zef", "ZefExport"}};
  for (const auto& [extension, name] : kDefaults)
    if (ext == extension)
      for (const workbench::LoadedClass* c : matches)
        if (c->className == name) return c;
  return matches.front();
}

bool AnySelected(workbench::Scene& scene) {
  for (const workbench::SceneNode* node : scene.AllNodes())
    if (node->Selected()) return true;
  return false;
}

// The file the exporter wrote: the scene exporter lower-cases the extension.
std::string WrittenPath(const std::string& out) {
  const std::string lower = WithLowerExtension(out);
  return lower != out && support::FileExists(lower) ? lower : out;
}

int RunExport(Context& ctx, const ExportOptions& o) {
  const CommonOptions& common = ctx.Common();
  std::optional<Report> report;
  if (!o.report.empty()) report.emplace("export", o.scene, o.out);
  // Every way out goes through here, so that the report records how the command ended.
  auto finish = [&](int code, const std::string& error = {}) {
    return FinishCommand(ctx, report, o.report, code, error);
  };

  // The scene exporter lower-cases the extension it writes, so that name counts as well.
  const std::string inputs[] = {o.scene};
  for (const std::string& out : {o.out, WithLowerExtension(o.out), o.report})
    if (auto problem = OutputIsAnInput(out, inputs)) return ctx.Fail(*problem);

  workbench::Scene scene;
  LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(common, o.interchange, OutputFolder(o.out)));
  NoteLoading(ctx, loaded, o.scene, report ? &*report : nullptr);
  if (!loaded) return finish(kExitFailure, loaded.error);
  if (report) report->SetScene(scene);
  if (o.selected && !AnySelected(scene)) {
    const std::string warning = "--selected: nothing is selected in \"" + o.scene + "\"";
    ctx.Warn(warning);
    if (report) report->Warning(warning);
  }

  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) ctx.Warn(e);

  std::string error;
  const workbench::LoadedClass* exporterClass = ChooseExporter(loader, o, error);
  if (!exporterClass) return finish(kExitFailure, error);
  ctx.Detail("exporter " + exporterClass->className + " from " + exporterClass->modulePath);
  if (report) report->SetTool(exporterClass->className);

  workbench::ConsoleOptions uiOptions;
  uiOptions.interactive = o.interactive;
  if (o.yes) uiOptions.policy = workbench::AnswerPolicy::Yes;
  if (o.no) uiOptions.policy = workbench::AnswerPolicy::No;
  uiOptions.progress = ctx.ShowProgress();
  workbench::ConsoleUI console(uiOptions, ctx.Err(), std::cin);
  ReportingUI ui(console, report ? &*report : nullptr);
  workbench::Workbench wb(scene, ui);
  wb.SetPlugins(&loader);
  if (!common.configDir.empty()) wb.SetPlugCfgDir(common.configDir);
  if (!common.logDir.empty()) wb.SetLogDir(common.logDir);

  auto exporter = loader.CreateExporter(*exporterClass);
  if (!exporter)
    return finish(kExitFailure, "the exporter \"" + exporterClass->className + "\" could not be created");
  if (exporterClass->classId == host::kKeyExportClassId) {
    // KeyExport takes its choice of nodes from its configuration file, not the call: the
    // command line's flags are written there, so every run exports what it says.
    if (!WriteKeyExportChoice(wb.GetPlugCfgDir(), o.selected || o.hierarchy, o.hierarchy))
      return finish(kExitFailure, "cannot write the exporter settings in \"" + wb.GetPlugCfgDir() + "\"");
  } else if (o.hierarchy) {
    ctx.Warn("--hierarchy: " + exporterClass->className + " has no such option");
  }
  uint32_t options = o.selected ? 1u : 0u;
  int ok = exporter->DoExport(o.out.c_str(), wb, !o.interactive, options);
  if (report) {
    report->Step("export");
    for (const auto& [source, json] : wb.Reports()) report->Plugin(source, json);
  }
  if (!ok) return finish(kExitFailure, exporterClass->className + " failed to export \"" + o.out + "\"");

  // A file that our own reader refuses is a failed export, whatever the exporter said.
  const std::string written = WrittenPath(o.out);
  const FileCheck check = CheckFile(written, report.has_value());
  if (check.known && !check.Ok())
    return finish(kExitFailure,
                  "\"" + written + "\" was written but does not read back: " + check.problems.front());
  if (report) {
    report->Step("readBack");
    report->SetOutput(written, check);
  }
  ctx.Say("exported \"" + o.scene + "\" to \"" + o.out + "\" with " + exporterClass->className);
  return finish(kExitOk);
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ExportOptions>();
  app.add_option("scene", o->scene, "Scene document (.vscene, .vscb) or interchange file")->required();
  app.add_option("out", o->out, "Output file; its extension chooses the exporter")->required();
  app.add_option("--plugin", o->plugin, "Exporter by class name");
  app.add_flag("--selected", o->selected, "Export the selected nodes only");
  app.add_flag("--hierarchy", o->hierarchy, "With KeyExport: the selected nodes and all their descendants");
  app.add_flag("--interactive", o->interactive, "Show the exporter's dialogs and ask on the console");
  auto* yes = app.add_flag("--yes", o->yes, "Answer every question with Yes");
  app.add_flag("--no", o->no, "Answer every question with No")->excludes(yes);
  app.add_option("--report", o->report, "Write a JSON report: counts, warnings, what was lost, timings");
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunExport(ctx, *o); };
}

const CommandRegistration registration{{"export", "Export a scene with an exporter plug-in", Setup,
                                        ".vscene, .vscb, .zef, .gltf, .glb, .fbx, .obj, .dae, .3ds",
                                        "what the exporter plug-ins write (see below)"}};

}  // namespace

}  // namespace vorlan::cli
