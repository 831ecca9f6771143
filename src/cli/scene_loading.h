// Loads any scene the workbench understands into a scene model, chosen by extension: scene
// documents (.vscene) and interchange files (glTF/GLB, FBX, OBJ, Collada, 3DS).
#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "interchange/import.h"
#include "workbench/scene.h"

namespace vorlan::cli {

struct SceneLoadOptions {
  workbench::ImportOptions import;  // how interchange files are read
  // Where each interchange import is logged ("interchange.log"); empty: the workbench's
  // default log folder.
  std::string logDir;
  // The options were given by the user (they mean nothing to a scene document).
  bool importOptionsGiven = false;
};

struct LoadResult {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;  // what the scene lost on the way in, one line each
  explicit operator bool() const { return ok; }
};

LoadResult LoadScene(const std::string& path, workbench::Scene& scene, const SceneLoadOptions& options = {});

// The load options of a command: --scale and --up, the log folder, and the folder that
// takes the images embedded in an interchange file. An --up other than y or z gives the
// default (vorlan.cpp refuses it before).
SceneLoadOptions MakeLoadOptions(const CommonOptions& common, const InterchangeOptions& interchange,
                                 const std::string& textureDir);

// The folder of an output file ("." for a bare name).
std::string OutputFolder(const std::string& outPath);

std::string LowerExtension(const std::string& path);

}  // namespace vorlan::cli
