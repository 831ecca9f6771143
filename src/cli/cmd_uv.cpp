// `vorlan uv`: texture-coordinate edits on one node of a scene, the way Mapwright's window
// makes them, applied in the order given and written back.
#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <memory>

#include "command.h"
#include "mapwright/uv_script.h"
#include "output_safety.h"
#include "scene_loading.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct UvOptions {
  std::string scene;
  std::string out;
  mapwright::UvScript script;
  InterchangeOptions interchange;
  // Every operation option's values as parsed; their order comes from the parse order.
  std::map<std::string, std::vector<std::string>> values;
};

constexpr const char* kValueOps[] = {"rotate90", "flip", "move", "scale", "texels"};
constexpr const char* kFlagOps[] = {"merge", "to-origin", "fit"};

int RunUv(Context& ctx, UvOptions& o, CLI::App& app) {
  // The operations in the order they were typed.
  std::map<std::string, std::size_t> used;
  for (const CLI::Option* opt : app.parse_order()) {
    std::string name = opt->get_name(false, true);
    if (name.rfind("--", 0) == 0) name = name.substr(2);
    bool isOp = false;
    for (const char* v : kValueOps) isOp = isOp || name == v;
    for (const char* f : kFlagOps) isOp = isOp || name == f;
    if (!isOp) continue;
    std::string value;
    if (mapwright::UvOperationTakesValue(name)) {
      const auto& results = opt->results();
      std::size_t i = used[name]++;
      if (i < results.size()) value = results[i];
    }
    std::string error;
    std::optional<mapwright::UvOperation> op = mapwright::ParseUvOperation(name, value, error);
    if (!op) return ctx.Usage(error);
    o.script.operations.push_back(*op);
  }

  const std::string inputs[] = {o.scene};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);
  if (LowerExtension(o.out) != "vscene")
    return ctx.Fail("\"" + o.out + "\": uv writes a .vscene scene document");

  workbench::Scene scene;
  LoadResult loaded =
      LoadScene(o.scene, scene, MakeLoadOptions(ctx.Common(), o.interchange, OutputFolder(o.out)));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) return ctx.Fail(loaded.error);

  workbench::ConsoleOptions uiOptions;
  uiOptions.progress = false;
  workbench::ConsoleUI ui(uiOptions, ctx.Err(), std::cin);
  workbench::Workbench wb(scene, ui);
  if (!ctx.Common().configDir.empty()) wb.SetPlugCfgDir(ctx.Common().configDir);
  mapwright::UvScriptResult r = mapwright::RunUvScript(wb, o.script);
  if (!r.ok) return ctx.Fail(r.error);
  if (auto saved = workbench::SaveSceneDocument(scene, o.out); !saved) return ctx.Fail(saved.error);
  ctx.Say("edited " + std::to_string(r.faces) + " faces of \"" + o.script.node + "\" in " +
          std::to_string(r.groups) + " material(s); wrote \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<UvOptions>();
  app.add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  app.add_option("node", o->script.node, "The mesh node to edit")->required();
  app.add_option("-o,--out", o->out, "Output scene document (.vscene)")->required();
  app.add_option("--faces", o->script.faces, "all (default), selected, or face numbers such as 0,4,7-9");
  app.add_option("--map", o->script.map, "planar-x, planar-y, planar-z, mesh (default) or unfold")
      ->check(OneOf({"planar-x", "planar-y", "planar-z", "mesh", "unfold"}));
  app.add_option("--channel", o->script.mapChannel, "Map channel that mesh mapping reads (default 1)")
      ->check(IntegerInRange(1, 99));
  app.add_option("--texture", o->script.texture, "Which bitmap texture of each material (default 0)")
      ->check(IntegerInRange(0, 99));
  app.add_option("--rotate90", o->values["rotate90"], "Rotate by 90 degrees: left or right")
      ->expected(1)
      ->take_all();
  app.add_option("--flip", o->values["flip"], "Mirror: u or v")->expected(1)->take_all();
  app.add_option("--move", o->values["move"], "Move by DX,DY texture pixels")->expected(1)->take_all();
  app.add_option("--scale", o->values["scale"], "Scale by SX,SY (or one factor) about the centre")
      ->expected(1)
      ->take_all();
  app.add_option("--texels", o->values["texels"], "Scale to a texels value (from 1.0)")
      ->expected(1)
      ->take_all();
  app.add_flag("--merge")->description("Move every corner onto the first");
  app.add_flag("--to-origin")->description("Move the rectangle to start at (0, 0)");
  app.add_flag("--fit")->description("Scale so that the coordinates fill the texture");
  // --scale is the operation here; interchange input is read at its own scale and up axis.
  CLI::App* self = &app;
  return [o, self](Context& ctx) { return RunUv(ctx, *o, *self); };
}

const CommandRegistration registration{
    {"uv",
     "Edit the texture coordinates of a node's faces (rotate, flip, move, scale, merge, texels, unfold)",
     Setup, ".vscene, .gltf, .glb, .fbx, .obj, .dae, .3ds, textures .bmp/.tga", ".vscene"}};

}  // namespace

}  // namespace vorlan::cli
