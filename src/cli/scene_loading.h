// Loads any scene the workbench understands into a scene model, chosen by extension: scene
// documents (.vscene) and interchange files (glTF/GLB, FBX, OBJ, Collada, 3DS).
#pragma once

#include <string>
#include <vector>

#include "command.h"
#include "interchange/import.h"
#include "workbench/scene.h"

namespace CLI {
class App;
}

namespace vorlan::cli {

// How interchange scenes (glTF, FBX, OBJ, Collada, 3DS) are read: --scale and --up.
struct InterchangeOptions {
  float scale = 1.0f;
  std::string up = "y";
};

// Declares --scale and --up on a command that reads scenes.
void AddInterchangeOptions(CLI::App& app, InterchangeOptions& options);

struct SceneLoadOptions {
  workbench::ImportOptions import;  // how interchange files are read
  // Where each interchange import is logged ("interchange.log"); empty: the workbench's
  // default log folder.
  std::string logDir;
  // The options were given by the user (they mean nothing to a scene document).
  bool importOptionsGiven = false;
  // Files read by an importer plug-in (.zef): where the modules and their settings are.
  std::string pluginDir, configDir;
};

struct LoadResult {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;  // what the scene lost on the way in, one line each
  explicit operator bool() const { return ok; }
};

LoadResult LoadScene(const std::string& path, workbench::Scene& scene, const SceneLoadOptions& options = {});

// Reads a file through the importer plug-in of its extension (cmd_import.cpp). What the
// importer told the user becomes the warnings.
LoadResult ImportWithPlugin(const std::string& path, workbench::Scene& scene, const SceneLoadOptions& options);

// The load options of a command: --scale and --up, the log folder, and the folder that
// takes the images embedded in an interchange file. An --up other than y or z gives the
// default (AddInterchangeOptions refuses it before).
SceneLoadOptions MakeLoadOptions(const CommonOptions& common, const InterchangeOptions& interchange,
                                 const std::string& textureDir);

// The folder of an output file ("." for a bare name).
std::string OutputFolder(const std::string& outPath);

std::string LowerExtension(const std::string& path);
// The path with its extension lower-cased, as the scene exporter writes it.
std::string WithLowerExtension(const std::string& path);

}  // namespace vorlan::cli
