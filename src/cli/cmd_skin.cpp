// vorlan skin save|apply: the SkinTools utility's "Save Physique" and "Apply", headless.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "command.h"
#include "output_safety.h"
#include "scene_loading.h"
#include "skintools/skin_actions.h"
#include "skintools/skin_host.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct SkinOptions {
  std::string scene;
  std::string file;  // the .skd
  std::string node;                // save: the one skinned node
  std::vector<std::string> nodes;  // apply: every node it is applied to
  std::string out;
  bool selected = false;
  bool noExact = false;
  std::optional<float> nearest, interpolate;
  InterchangeOptions interchange;
};

// Counts the error boxes the utility shows, so that a failure is never an exit status of 0.
class CountingUI : public workbench::ConsoleUI {
 public:
  using ConsoleUI::ConsoleUI;
  host::Answer MessageBox(const host::MessageBoxRequest& request) override {
    if (request.icon == host::Icon::Error) ++errors;
    return ConsoleUI::MessageBox(request);
  }
  int errors = 0;
};

struct Session {
  explicit Session(Context& ctx) : ui(Options(), ctx.Err(), std::cin), wb(scene, ui) {
    if (!ctx.Common().configDir.empty()) wb.SetPlugCfgDir(ctx.Common().configDir);
    if (!ctx.Common().logDir.empty()) wb.SetLogDir(ctx.Common().logDir);
  }
  static workbench::ConsoleOptions Options() {
    workbench::ConsoleOptions o;
    o.progress = false;
    return o;
  }
  workbench::Scene scene;
  CountingUI ui;
  workbench::Workbench wb;
};

bool Load(Context& ctx, const SkinOptions& o, workbench::Scene& scene) {
  // Images embedded in an interchange file go beside the document that `apply` writes; the
  // other subcommands write no scene and leave them unwritten, not in the current folder.
  const std::string textureDir = o.out.empty() ? std::string() : OutputFolder(o.out);
  LoadResult loaded = LoadScene(o.scene, scene, MakeLoadOptions(ctx.Common(), o.interchange, textureDir));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) {
    ctx.Fail(loaded.error);
    return false;
  }
  return true;
}

int RunSave(Context& ctx, const SkinOptions& o) {
  const std::string inputs[] = {o.scene};
  if (auto problem = OutputIsAnInput(o.file, inputs)) return ctx.Fail(*problem);
  Session s(ctx);
  if (!Load(ctx, o, s.scene)) return kExitFailure;
  workbench::SceneNode* node = s.scene.FindNode(o.node);
  if (!node) return ctx.Fail("no node named \"" + o.node + "\" in \"" + o.scene + "\"");
  if (!skintools::FindPhysique(*node))
    return ctx.Fail("There is no Physique modifier on '" + node->GetName() + "'.");
  if (!skintools::SaveSkd(s.wb, *node, o.file, o.selected) || s.ui.errors)
    return ctx.Fail("the skin of \"" + node->GetName() + "\" could not be saved to \"" + o.file + "\"");
  ctx.Say("saved the skin of \"" + node->GetName() + "\" to \"" + o.file + "\"");
  return kExitOk;
}

int RunApply(Context& ctx, const SkinOptions& o) {
  const std::string inputs[] = {o.scene, o.file};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);
  Session s(ctx);
  if (!Load(ctx, o, s.scene)) return kExitFailure;
  std::vector<host::Node*> nodes;
  for (const std::string& name : o.nodes) {
    workbench::SceneNode* node = s.scene.FindNode(name);
    if (!node) return ctx.Fail("no node named \"" + name + "\" in \"" + o.scene + "\"");
    nodes.push_back(node);
  }
  skintools::ApplySettings settings;
  settings.flags = o.noExact ? 0 : skintools::kApplyExact;
  if (o.interpolate) {
    settings.flags |= skintools::kApplyInterpolate;
    settings.threshold = *o.interpolate;
  } else {
    settings.flags |= skintools::kApplyNearest;
    if (o.nearest) settings.maxDistance = *o.nearest;
  }
  int applied = skintools::ApplyToNodes(s.wb, o.file, nodes, settings);
  if (applied != static_cast<int>(nodes.size()))
    return ctx.Fail(std::to_string(nodes.size() - static_cast<std::size_t>(applied)) + " of " +
                    std::to_string(nodes.size()) + " object(s) were not changed; \"" + o.out +
                    "\" is not written");
  if (auto r = workbench::SaveSceneDocument(s.scene, o.out); !r) return ctx.Fail(r.error);
  ctx.Say("applied \"" + o.file + "\" to " + std::to_string(applied) + " object(s); wrote \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<SkinOptions>();
  app.require_subcommand(1);
  auto* save = app.add_subcommand("save", "Save a node's skin weights to a .skd file (Save Physique)");
  save->add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  save->add_option("node", o->node, "The skinned node")->required();
  save->add_option("out", o->file, "The .skd file to write")->required();
  save->add_flag("--selected", o->selected, "Only the vertices selected in the mesh (Save selected only)");
  AddInterchangeOptions(*save, o->interchange);
  auto* apply = app.add_subcommand("apply", "Apply a .skd file to skinned nodes and write the scene (Apply)");
  apply->add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  apply->add_option("file", o->file, "The .skd file")->required();
  apply->add_option("nodes", o->nodes, "The nodes to apply it to")->required();
  apply->add_flag("--no-exact", o->noExact, "Do not try the exact match first");
  auto* nearest =
      apply
          ->add_option("--nearest", o->nearest,
                       "Find Nearest (the default); the value is Max dist: for files of selected vertices")
          ->check(NumberInRange(0.00001, 1000));
  apply->add_option("--interpolate", o->interpolate, "Interpolate Weights with this Treshold:")
      ->check(NumberInRange(1, 1000))
      ->excludes(nearest);
  apply->add_option("-o,--out", o->out, "The scene document to write (.vscene)")->required();
  AddInterchangeOptions(*apply, o->interchange);
  return [o, save](Context& ctx) { return save->parsed() ? RunSave(ctx, *o) : RunApply(ctx, *o); };
}

const CommandRegistration registration{{"skin",
                                        "Save skin weights to a .skd file, or apply one to other meshes",
                                        Setup, ".vscene and interchange scenes, .skd", ".skd, .vscene"}};

}  // namespace

}  // namespace vorlan::cli
