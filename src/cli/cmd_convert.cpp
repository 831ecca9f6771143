#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <system_error>

#include "command.h"
#include "file_checks.h"
#include "interchange/export.h"
#include "output_safety.h"
#include "report.h"
#include "scene_loading.h"
#include "workbench/scene_document.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct ConvertOptions {
  std::string in;
  std::string out;     // .vscene or .glb
  std::string report;  // --report FILE.json
  InterchangeOptions interchange;
};

constexpr std::string_view kScratchPrefix = "vorlan_convert_";

// A folder of its own for the images a file embeds while they are on their way into a .glb;
// removed on every way out of the command. Its name carries the process id, so that the
// folders of a killed run are removed by the next one.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    RemoveStale(temp);
    std::string tmpl =
        (temp / (std::string(kScratchPrefix) + std::to_string(::getpid()) + "_XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  static void RemoveStale(const std::filesystem::path& temp) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(temp, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.rfind(kScratchPrefix, 0) != 0) continue;
      const long pid = std::strtol(name.c_str() + kScratchPrefix.size(), nullptr, 10);
      if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
        continue;
      std::error_code removeError;
      std::filesystem::remove_all(it->path(), removeError);
    }
  }

  std::string path_;
};

int RunConvert(Context& ctx, const ConvertOptions& o) {
  std::optional<Report> report;
  if (!o.report.empty()) report.emplace("convert", o.in, o.out);
  // Every way out after the checks goes through here, so the report records how it ended.
  auto finish = [&](int code, const std::string& error = {}) {
    return FinishCommand(ctx, report, o.report, code, error);
  };

  const std::string ext = LowerExtension(o.out);
  if (ext != "vscene" && ext != "vscb" && ext != "glb")
    // Like an extension no exporter writes: the line is well formed, the output is impossible.
    return ctx.Fail("\"" + o.out + "\": convert writes .vscene, .vscb or .glb files");
  const std::string inputs[] = {o.in};
  for (const std::string& out : {o.out, o.report})
    if (auto problem = OutputIsAnInput(out, inputs)) return ctx.Fail(*problem);
  // A document names its textures, so embedded images go beside it; a .glb embeds them again.
  std::optional<ScratchFolder> scratch;
  if (ext == "glb") scratch.emplace();
  const std::string textureDir = scratch ? scratch->Path() : OutputFolder(o.out);

  workbench::Scene scene;
  // Reading takes most of the time on big scenes; the steps are what can be told apart.
  ctx.Progress(0, "reading " + o.in);
  LoadResult loaded = LoadScene(o.in, scene, MakeLoadOptions(ctx.Common(), o.interchange, textureDir));
  NoteLoading(ctx, loaded, o.in, report ? &*report : nullptr);
  if (!loaded) return finish(kExitFailure, loaded.error);
  if (report) report->SetScene(scene);

  ctx.Progress(60, "writing " + o.out);
  if (ext == "vscene" || ext == "vscb") {
    if (auto r = workbench::SaveSceneDocument(scene, o.out); !r) return finish(kExitFailure, r.error);
  } else {
    // The .glb is written in the scene's own units and glTF's Y-up axes.
    workbench::GlbExportResult r = workbench::ExportGlb(scene, o.out, {});
    for (const std::string& w : r.warnings) {
      ctx.Warn(w);
      if (report) report->Lost(w);
    }
    // What the file could not hold goes into the interchange log too, beside the import.
    const std::string logDir = ctx.Common().logDir.empty() ? workbench::DefaultLogDir() : ctx.Common().logDir;
    std::string logError;
    if (!workbench::AppendInterchangeLog(logDir, workbench::ExportLogLine(o.out, {}, r), logError))
      ctx.Warn(logError);
    if (!r) return finish(kExitFailure, r.error);
  }
  if (report) report->Step("write");
  // Reading back loads the file once more: the scene is not needed any longer, and holding it
  // meanwhile would double the command's peak memory on a large scene.
  scene.Clear();
  ctx.Progress(90, "reading back " + o.out);
  const FileCheck check = CheckFile(o.out, report.has_value());
  if (check.known && !check.Ok())
    return finish(kExitFailure,
                  "\"" + o.out + "\" was written but does not read back: " + check.problems.front());
  if (report) {
    report->Step("readBack");
    report->SetOutput(o.out, check);
  }
  ctx.Progress(100, "done");
  ctx.Say("converted \"" + o.in + "\" to \"" + o.out + "\"");
  return finish(kExitOk);
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ConvertOptions>();
  app.add_option("in", o->in, "Scene document or interchange file")->required();
  app.add_option("out", o->out, "Output: .vscene, .vscb or .glb")->required();
  app.add_option("--report", o->report, "Write a JSON report: counts, warnings, what was lost, timings");
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunConvert(ctx, *o); };
}

const CommandRegistration registration{{"convert", "Convert a scene to a scene document or binary glTF",
                                        Setup, ".vscene, .vscb, .zef, .gltf, .glb, .fbx, .obj, .dae, .3ds",
                                        ".vscene, .vscb, .glb"}};

}  // namespace

}  // namespace vorlan::cli
