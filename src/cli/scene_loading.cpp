#include "scene_loading.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <filesystem>

#include "workbench/scene_document.h"
#include "workbench/workbench.h"

namespace vorlan::cli {

void AddInterchangeOptions(CLI::App& app, InterchangeOptions& o) {
  app.add_option("--scale", o.scale, "Interchange input: multiply every length by this")
      ->check(NumberAbove(0));
  app.add_option("--up", o.up, "Interchange input: its up axis, y (default) or z")
      ->check(OneOf({"y", "z", "Y", "Z"}));
}

std::string LowerExtension(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string WithLowerExtension(const std::string& path) {
  std::string ext = LowerExtension(path);
  if (ext.empty()) return path;
  return path.substr(0, path.size() - ext.size()) + ext;
}

std::string OutputFolder(const std::string& outPath) {
  std::filesystem::path parent = std::filesystem::path(outPath).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

SceneLoadOptions MakeLoadOptions(const CommonOptions& common, const InterchangeOptions& interchange,
                                 const std::string& textureDir) {
  SceneLoadOptions o;
  o.import.scale = interchange.scale;
  workbench::ParseUpAxis(interchange.up, o.import.upAxis);
  o.import.textureDir = textureDir;
  o.logDir = common.logDir;
  o.pluginDir = common.pluginDir;
  o.configDir = common.configDir;
  o.importOptionsGiven = interchange.scale != 1.0f || o.import.upAxis != workbench::ImportOptions::Y;
  return o;
}

LoadResult LoadScene(const std::string& path, workbench::Scene& scene, const SceneLoadOptions& options) {
  std::string ext = LowerExtension(path);
  if (ext == "vscene" || ext == "vscb") {
    auto r = workbench::LoadSceneDocument(path, scene);
    LoadResult out{r.ok, r.error, {}};
    // A document is the scene's own file: utilities name their outputs after it.
    if (r.ok) scene.fileName = path;
    if (options.importOptionsGiven)
      out.warnings.push_back("--scale and --up apply to interchange files only");
    return out;
  }
  if (workbench::IsInterchangeExtension(ext)) {
    workbench::ImportResult r = workbench::ImportInterchange(path, scene, options.import);
    LoadResult out{r.ok, r.error, r.warnings};
    // Every import is logged with its options, so a scene's scale can be traced later.
    const std::string logDir = options.logDir.empty() ? workbench::DefaultLogDir() : options.logDir;
    std::string logError;
    if (!workbench::AppendInterchangeLog(logDir, workbench::ImportLogLine(path, options.import, r), logError))
      out.warnings.push_back(logError);
    return out;
  }
  if (ext == "zef") return ImportWithPlugin(path, scene, options);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return {false, "\"" + path + "\" is a folder, not a scene file", {}};
  if (ext.empty())
    return {false,
            "\"" + path +
                "\": a scene file needs its extension (.vscene, .vscb, .zef, .gltf, .glb, .fbx, .obj, .dae "
                "or .3ds)",
            {}};
  return {false,
          "\"" + path + "\": unknown scene format \"." + ext +
              "\" (expected .vscene, .vscb, .zef, .gltf, .glb, .fbx, .obj, .dae or .3ds)",
          {}};
}

}  // namespace vorlan::cli
