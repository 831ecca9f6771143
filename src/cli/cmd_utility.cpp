// `vorlan utility`: opens a utility plug-in's panel on a scene and presses its buttons, as a
// person does in the Utilities panel. Each page is printed after the utility opens and after
// every press.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "command.h"
#include "plugin_folder.h"
#include "scene_loading.h"
#include "workbench/plugin_loader.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct UtilityOptions {
  std::string name;
  std::string scene;
  std::vector<std::string> presses;
  bool interactive = false;
  bool yes = false;
  bool no = false;
  InterchangeOptions interchange;
};

void PrintPages(Context& ctx, workbench::UtilitiesPanel& panel) {
  for (host::RollupPage* page : panel.Pages()) {
    const host::DialogModel& m = page->Model();
    ctx.Out() << "[" << m.title << "]\n";
    for (const host::DialogControl& c : m.controls) {
      if (c.label.empty() && c.text.empty()) continue;
      ctx.Out() << "  " << (c.kind == host::ControlKind::Button ? "button " : "       ") << c.label;
      if (!c.text.empty()) ctx.Out() << ": " << c.text;
      if (!c.enabled) ctx.Out() << " (disabled)";
      ctx.Out() << "\n";
    }
  }
}

int RunUtility(Context& ctx, const UtilityOptions& o) {
  const CommonOptions& common = ctx.Common();
  workbench::Scene scene;
  if (!o.scene.empty()) {
    // The panel writes no scene, so images embedded in an interchange file stay unwritten.
    LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(common, o.interchange, ""));
    for (const std::string& w : loaded.warnings) ctx.Warn(w);
    if (!loaded) return ctx.Fail(loaded.error);
  }
  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) ctx.Detail(e);

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

  workbench::UtilitiesPanel& panel = wb.Utilities();
  if (!panel.Open(o.name)) {
    std::string names;
    for (const workbench::LoadedClass* c : panel.List(""))
      names += (names.empty() ? "" : ", ") + c->className;
    return ctx.Fail("no utility named \"" + o.name + "\" (utilities: " + (names.empty() ? "none" : names) +
                    ")");
  }
  PrintPages(ctx, panel);
  for (const std::string& label : o.presses) {
    if (!panel.Press(label)) return ctx.Fail("the panel has no enabled control \"" + label + "\"");
    ctx.Detail("pressed \"" + label + "\"");
    PrintPages(ctx, panel);
  }
  panel.Close();
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<UtilityOptions>();
  app.add_option("name", o->name, "The utility's class name, as `vorlan plugins` lists it")->required();
  app.add_option("--scene", o->scene, "Scene document (.vscene) or interchange file to open first");
  app.add_option("--press", o->presses, "A button of the panel to press, by its label; may repeat");
  app.add_flag("--interactive", o->interactive, "Show the utility's dialogs and ask on the console");
  auto* yes = app.add_flag("--yes", o->yes, "Answer every question with Yes");
  app.add_flag("--no", o->no, "Answer every question with No")->excludes(yes);
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunUtility(ctx, *o); };
}

const CommandRegistration registration{{"utility", "Open a utility's panel and press its buttons", Setup,
                                        "a scene (optional)", "the panel's pages, on standard output"}};

}  // namespace

}  // namespace vorlan::cli
