// `vorlan shots`: ShotEditor's work without a person. `export-cameras` loads a shot list onto
// a scene and has KeyExport write the used cameras' animation, as the Save Wizard does;
// `play` plays the list and prints, per frame, which camera the viewport shows.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "command.h"
#include "output_safety.h"
#include "plugin_folder.h"
#include "scene_loading.h"
#include "shoteditor/shd_io.h"
#include "shoteditor/shot_editor_window.h"
#include "workbench/plugin_loader.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

using shoteditor::LoadOutcome;

struct ShotsOptions {
  std::string scene;
  std::string shd;
  std::string out;
  std::string frames;  // "A:B"
  bool yes = false;
  bool no = false;
  InterchangeOptions interchange;
};

// Everything a shots command runs in: the scene, the plug-ins, a console that answers the
// questions by --yes / --no, and the workbench over them.
struct Session {
  workbench::Scene scene;
  workbench::PluginLoader loader;
  std::unique_ptr<workbench::ConsoleUI> ui;
  std::unique_ptr<workbench::Workbench> wb;
};

int Open(Context& ctx, const ShotsOptions& o, Session& s, const std::string& outFolder) {
  const CommonOptions& common = ctx.Common();
  LoadResult loaded = LoadScene(o.scene, s.scene, MakeLoadOptions(common, o.interchange, outFolder));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) return ctx.Fail(loaded.error);
  s.loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : s.loader.errors()) ctx.Detail(e);
  workbench::ConsoleOptions uiOptions;
  if (o.yes) uiOptions.policy = workbench::AnswerPolicy::Yes;
  if (o.no) uiOptions.policy = workbench::AnswerPolicy::No;
  uiOptions.progress = ctx.ShowProgress();
  s.ui = std::make_unique<workbench::ConsoleUI>(uiOptions, ctx.Err(), std::cin);
  s.wb = std::make_unique<workbench::Workbench>(s.scene, *s.ui);
  s.wb->SetPlugins(&s.loader);
  if (!common.configDir.empty()) s.wb->SetPlugCfgDir(common.configDir);
  if (!common.logDir.empty()) s.wb->SetLogDir(common.logDir);
  return kExitOk;
}

int LoadList(Context& ctx, const ShotsOptions& o, Session& s, shoteditor::EditorState& state,
             shoteditor::ShotList& list) {
  switch (shoteditor::LoadShotFile(*s.wb, state, list, o.shd)) {
    case LoadOutcome::Loaded:
      return kExitOk;
    case LoadOutcome::CannotOpen:
      return ctx.Fail("cannot open \"" + o.shd + "\"");
    case LoadOutcome::WrongMagic:
      return ctx.Fail("\"" + o.shd + "\" is not a .shd file");
    case LoadOutcome::Corrupted:
      return ctx.Fail("\"" + o.shd + "\" is damaged");
    case LoadOutcome::Stopped:
      return ctx.Fail("loading \"" + o.shd + "\" stopped at a camera the scene lacks");
    case LoadOutcome::Cancelled:
      break;
  }
  return kExitFailure;
}

int RunExportCameras(Context& ctx, const ShotsOptions& o) {
  const std::string inputs[] = {o.scene, o.shd};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);
  Session s;
  if (int rc = Open(ctx, o, s, OutputFolder(o.out)); rc != kExitOk) return rc;
  if (!s.loader.ByClassId(host::kKeyExportClassId))
    return ctx.Fail("the KeyExport plug-in is not loaded (see `vorlan plugins`)");
  shoteditor::EditorState state;
  shoteditor::ShotList list;
  if (int rc = LoadList(ctx, o, s, state, list); rc != kExitOk) return rc;
  std::vector<std::string> dummies;
  for (const auto& row : state.keptRows) dummies.push_back(row.dummyName);
  shoteditor::ExportUsedCameras(*s.wb, list, dummies, o.out);
  if (!s.wb->LastExportError().empty()) return ctx.Fail(s.wb->LastExportError());
  ctx.Say("exported the animation of " + std::to_string(s.wb->GetSelNodeCount()) +
          " cameras and dummies of \"" + o.shd + "\" to \"" + o.out + "\"");
  return kExitOk;
}

int RunPlay(Context& ctx, const ShotsOptions& o) {
  int first = 0, last = 0;
  bool segment = !o.frames.empty();
  if (segment) {
    char colon = 0, extra = 0;
    if (std::sscanf(o.frames.c_str(), "%d%c%d%c", &first, &colon, &last, &extra) != 3 || colon != ':')
      return ctx.Usage("--frames takes FIRST:LAST, two whole frames");
    if (first >= last) return ctx.Usage("--frames: the first frame must come before the last");
  }
  Session s;
  if (int rc = Open(ctx, o, s, "."); rc != kExitOk) return rc;
  shoteditor::EditorState state;
  shoteditor::ShotEditorWindow window(*s.wb, state);
  if (int rc = LoadList(ctx, o, s, state, window.MutableList()); rc != kExitOk) return rc;

  const auto& commands = window.List().Commands();
  const host::Node* anyCamera = nullptr;
  for (const auto& c : commands)
    if (!anyCamera && c.camera) anyCamera = c.camera;
  if (!anyCamera) return ctx.Fail("no command of \"" + o.shd + "\" shows a camera of the scene");
  // Cuts show in a camera view only.
  s.wb->GetActiveViewport()->SetViewCamera(const_cast<host::Node*>(anyCamera));

  if (segment) {
    window.MutableList().SetSegmentBegin(first);
    window.MutableList().SetSegmentEnd(last);
  } else if (!commands.empty()) {
    first = commands.front().begin;
    last = commands.back().end;
  }
  // The host plays within its animation range; the frames asked for must lie inside it.
  const int tpf = s.wb->GetTicksPerFrame();
  host::Interval range = s.wb->GetAnimRange();
  s.wb->SetAnimRange({std::min<host::TimeValue>(range.start, first * tpf),
                      std::max<host::TimeValue>(range.end, last * tpf)});
  if (!window.Play(segment ? shoteditor::PlayMode::Segment : shoteditor::PlayMode::All, true))
    return ctx.Fail("nothing to play: the shot list's frames run backwards or have no length");

  for (int frame = first; frame < last; ++frame) {
    if (frame > first) s.wb->StepPlayback();
    host::ViewExp* view = s.wb->GetActiveViewport();
    host::Node* camera = view->GetViewCamera();
    ctx.Out() << "frame " << s.wb->GetTime() / tpf << ": " << (camera ? camera->GetName() : "-") << "\n";
    s.wb->ReleaseViewport(view);
  }
  window.Play(shoteditor::PlayMode::Stopped, false);
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ShotsOptions>();
  app.require_subcommand(1, 1);
  auto answers = [&](CLI::App* cmd) {
    auto* yes = cmd->add_flag("--yes", o->yes, "Answer every question with Yes (the default)");
    cmd->add_flag("--no", o->no, "Answer every question with No: a camera the scene lacks stops the load")
        ->excludes(yes);
    AddInterchangeOptions(*cmd, o->interchange);
  };
  CLI::App* exportCmd = app.add_subcommand(
      "export-cameras", "Write the animation of the cameras and dummies a shot list uses to a .manm file");
  exportCmd->add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  exportCmd->add_option("shd", o->shd, "The shot list (.shd)")->required();
  exportCmd->add_option("out", o->out, "The animation file to write (.manm)")->required();
  answers(exportCmd);
  CLI::App* playCmd = app.add_subcommand("play", "Print which camera the viewport shows at each frame");
  playCmd->add_option("scene", o->scene, "Scene document (.vscene) or interchange file")->required();
  playCmd->add_option("shd", o->shd, "The shot list (.shd)")->required();
  playCmd->add_option("--frames", o->frames,
                      "Play only frames FIRST:LAST (the last not shown), as the active segment");
  answers(playCmd);
  return [o, exportCmd](Context& ctx) { return *exportCmd ? RunExportCameras(ctx, *o) : RunPlay(ctx, *o); };
}

const CommandRegistration registration{
    {"shots", "Export a shot list's cameras, or play its cuts frame by frame", Setup, ".shd with a scene",
     ".manm (export-cameras); frame lines (play)"}};

}  // namespace

}  // namespace vorlan::cli
