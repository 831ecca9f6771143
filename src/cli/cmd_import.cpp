// `vorlan import`: a file read by an importer plug-in into a new or a merged scene, written
// as a scene document or a .glb; and the same import for any command that loads a .zef.
#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "command.h"
#include "interchange/export.h"
#include "output_safety.h"
#include "plugin_folder.h"
#include "scene_loading.h"
#include "support/file_io.h"
#include "workbench/plugin_loader.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zefimport/import_config.h"
#include "zefimport/import_context.h"

namespace vorlan::cli {

namespace {

struct ImportOptions {
  std::string in;
  std::string out;
  std::optional<std::string> merge;  // the scene to merge into
  std::optional<std::string> into;   // the scene whose nodes take the file (animation keys)
  std::string plugin;                // the importer by class name; empty: by extension
  std::string search;                // the texture search folder
  bool textureCaseInsensitive = false;
  bool interactive = false;
  bool yes = false, no = false;
};

struct ImportRun {
  bool ok = false;
  std::string error;
};

// Runs the importer that reads `path` on `scene` with the settings of `o`. The importer's
// questions and dialogs go to `err`.
ImportRun RunImporter(const CommonOptions& common, const ImportOptions& o, const std::string& path,
                      workbench::Scene& scene, std::ostream& err, bool progress,
                      const std::function<void(const std::string&)>& warn) {
  workbench::PluginLoader loader;
  loader.LoadFolder(ResolvePluginDir(common.pluginDir));
  for (const std::string& e : loader.errors()) warn(e);
  const workbench::LoadedClass* chosen = nullptr;
  if (!o.plugin.empty()) {
    chosen = loader.ByName(o.plugin);
    if (!chosen || chosen->superClass != host::kSceneImportClass)
      return {false, "no importer named \"" + o.plugin + "\" (see `vorlan plugins`)"};
  } else {
    const std::string ext = LowerExtension(path);
    auto importers = loader.ByExtension(ext, host::kSceneImportClass);
    if (importers.empty()) return {false, "no importer reads \"." + ext + "\" files (see `vorlan plugins`)"};
    chosen = importers.front();
  }
  const workbench::LoadedClass& c = *chosen;

  workbench::ConsoleOptions uiOptions;
  uiOptions.interactive = o.interactive;
  if (o.yes) uiOptions.policy = workbench::AnswerPolicy::Yes;
  if (o.no) uiOptions.policy = workbench::AnswerPolicy::No;
  uiOptions.progress = progress;
  workbench::ConsoleUI ui(uiOptions, err, std::cin);
  workbench::Workbench wb(scene, ui);
  wb.SetPlugins(&loader);
  if (!common.configDir.empty()) wb.SetPlugCfgDir(common.configDir);
  if (!common.logDir.empty()) wb.SetLogDir(common.logDir);

  // Without prompts the importer takes its saved settings: the command line sets them first.
  const std::string cfg = wb.GetPlugCfgDir() + "/" + zefimport::kConfigFileName;
  zefimport::ImportSettings settings;
  if (c.classId == host::kZefImportClassId && zefimport::LoadConfig(cfg, settings) == zefimport::ConfigStatus::kOk) {
    settings.newScene = !o.merge && !o.into;
    if (!o.search.empty()) settings.searchFolder = o.search;
    zefimport::SaveConfig(cfg, settings);
  }
  if (o.textureCaseInsensitive) scene.properties[zefimport::kCaseInsensitiveProperty] = 1;

  auto importer = loader.CreateImporter(c);
  if (!importer) return {false, "the importer \"" + c.className + "\" could not be created"};
  const int ok = importer->DoImport(path.c_str(), wb, !o.interactive);
  scene.properties.erase(zefimport::kCaseInsensitiveProperty);
  if (ok != 1) return {false, c.className + " failed to import \"" + path + "\""};
  return {true, {}};
}

// Texture files a material names that are not on disk, one line each with the material.
std::vector<std::string> MissingTextures(const workbench::Scene& scene) {
  std::vector<std::string> lines;
  std::set<const host::Mtl*> seen;
  auto note = [&](const std::string& file, const host::Mtl& m) {
    if (!file.empty() && !support::FileExists(file))
      lines.push_back("texture \"" + file + "\" of material \"" + m.GetName() + "\" not found");
  };
  std::function<void(const host::Mtl*)> visit = [&](const host::Mtl* m) {
    if (!m || !seen.insert(m).second) return;
    for (int i = 0; i < m->NumSubMtls(); ++i) visit(m->GetSubMtl(i));
    for (int s = 0; s < m->NumSubTexmaps(); ++s)
      if (const host::Texmap* t = m->GetSubTexmap(s)) note(t->GetMapFileName(), *m);
    if (host::ParamRef p = m->FindParam("layerFilename"))
      for (int k = 0; k < p.block->Count(p.index); ++k) note(p.block->GetString(p.index, 0, k), *m);
  };
  for (const workbench::SceneNode* n : scene.AllNodes()) visit(n->GetMtl());
  return lines;
}

int RunImport(Context& ctx, const ImportOptions& o) {
  const std::string ext = LowerExtension(o.out);
  if (ext != "vscene" && ext != "vscb" && ext != "glb")
    return ctx.Fail("\"" + o.out + "\": import writes .vscene or .glb files");
  if (o.merge && o.into) return ctx.Fail("--merge and --into name the same thing: give one");
  const std::optional<std::string>& base = o.merge ? o.merge : o.into;
  std::vector<std::string> inputs{o.in};
  if (base) inputs.push_back(*base);
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);

  workbench::Scene scene;
  if (base) {
    LoadResult loaded = LoadScene(*base, scene, MakeLoadOptions(ctx.Common(), {}, OutputFolder(o.out)));
    for (const std::string& w : loaded.warnings) ctx.Warn(w);
    if (!loaded) return ctx.Fail(loaded.error);
  }
  ImportRun run = RunImporter(ctx.Common(), o, o.in, scene, ctx.Err(), ctx.ShowProgress(),
                              [&](const std::string& w) { ctx.Warn(w); });
  if (!run.ok) return ctx.Fail(run.error);
  // Textures that were not found do not fail the import; the user hears which they are.
  for (const std::string& line : MissingTextures(scene)) ctx.Err() << "vorlan import: " << line << "\n";

  if (ext == "vscene" || ext == "vscb") {
    if (auto r = workbench::SaveSceneDocument(scene, o.out); !r) return ctx.Fail(r.error);
  } else {
    workbench::GlbExportResult r = workbench::ExportGlb(scene, o.out, {});
    for (const std::string& w : r.warnings) ctx.Warn(w);
    if (!r) return ctx.Fail(r.error);
  }
  ctx.Say("imported \"" + o.in + "\" into \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ImportOptions>();
  app.add_option("file", o->in, "The file to import; its extension chooses the importer")->required();
  app.add_option("out", o->out, "Output: .vscene or .glb")->required();
  app.add_option("--merge", o->merge, "Merge into this scene instead of a new one");
  app.add_option("--into", o->into, "Scene whose nodes take the file's animation (.manm)");
  app.add_option("--plugin", o->plugin, "Importer by class name");
  app.add_option("--search", o->search, "Folder where the texture search starts");
  app.add_flag("--texture-case-insensitive", o->textureCaseInsensitive,
               "Match texture file names without regard to case");
  app.add_flag("--interactive", o->interactive, "Show the importer's dialogs and ask on the console");
  auto* yes = app.add_flag("--yes", o->yes, "Answer every question with Yes");
  app.add_flag("--no", o->no, "Answer every question with No")->excludes(yes);
  return [o](Context& ctx) { return RunImport(ctx, *o); };
}

const CommandRegistration registration{
    {"import", "Import a file with an importer plug-in into a scene", Setup, ".zef, .manm (--into a scene)",
     ".vscene, .glb"}};

}  // namespace

LoadResult ImportWithPlugin(const std::string& path, workbench::Scene& scene,
                            const SceneLoadOptions& options) {
  CommonOptions common;
  common.pluginDir = options.pluginDir;
  common.configDir = options.configDir;
  common.logDir = options.logDir;
  std::vector<std::string> warnings;
  ImportRun run = RunImporter(common, ImportOptions{}, path, scene, std::cerr, false,
                              [&](const std::string& w) { warnings.push_back(w); });
  return {run.ok, run.error, warnings};
}

}  // namespace vorlan::cli
