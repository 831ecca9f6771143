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
#include "interchange/export.h"
#include "output_safety.h"
#include "scene_loading.h"
#include "workbench/scene_document.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

namespace {

struct ConvertOptions {
  std::string in;
  std::string out;  // .vscene or .glb
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
  const std::string ext = LowerExtension(o.out);
  if (ext != "vscene" && ext != "vscb" && ext != "glb")
    // Like an extension no exporter writes: the line is well formed, the output is impossible.
    return ctx.Fail("\"" + o.out + "\": convert writes .vscene, .vscb or .glb files");
  const std::string inputs[] = {o.in};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);
  // A document names its textures, so embedded images go beside it; a .glb embeds them again.
  std::optional<ScratchFolder> scratch;
  if (ext == "glb") scratch.emplace();
  const std::string textureDir = scratch ? scratch->Path() : OutputFolder(o.out);

  workbench::Scene scene;
  LoadResult loaded = LoadScene(o.in, scene, MakeLoadOptions(ctx.Common(), o.interchange, textureDir));
  for (const std::string& w : loaded.warnings) ctx.Warn(w);
  if (!loaded) return ctx.Fail(loaded.error);

  if (ext == "vscene" || ext == "vscb") {
    if (auto r = workbench::SaveSceneDocument(scene, o.out); !r) return ctx.Fail(r.error);
  } else {
    // The .glb is written in the scene's own units and glTF's Y-up axes.
    workbench::GlbExportResult r = workbench::ExportGlb(scene, o.out, {});
    for (const std::string& w : r.warnings) ctx.Warn(w);
    // What the file could not hold goes into the interchange log too, beside the import.
    const std::string logDir = ctx.Common().logDir.empty() ? workbench::DefaultLogDir() : ctx.Common().logDir;
    std::string logError;
    if (!workbench::AppendInterchangeLog(logDir, workbench::ExportLogLine(o.out, {}, r), logError))
      ctx.Warn(logError);
    if (!r) return ctx.Fail(r.error);
  }
  ctx.Say("converted \"" + o.in + "\" to \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ConvertOptions>();
  app.add_option("in", o->in, "Scene document or interchange file")->required();
  app.add_option("out", o->out, "Output: .vscene, .vscb or .glb")->required();
  AddInterchangeOptions(app, o->interchange);
  return [o](Context& ctx) { return RunConvert(ctx, *o); };
}

const CommandRegistration registration{{"convert", "Convert a scene to a scene document or binary glTF",
                                        Setup, ".vscene, .vscb, .gltf, .glb, .fbx, .obj, .dae, .3ds",
                                        ".vscene, .vscb, .glb"}};

}  // namespace

}  // namespace vorlan::cli
