// Scenes of other tools (glTF/GLB, FBX, OBJ, Collada, 3DS) read through Assimp into the
// workbench's scene model. docs/interchange.md tells the artist what maps to what.
//
// What the model holds comes across: the node hierarchy with world transforms, meshes with
// their normals, up to eight texture-coordinate sets and one vertex-colour set, materials as
// Standard materials (Multi/Sub-Object where a node's meshes use several), bitmap textures,
// cameras, lights, node user properties and node animations (keyframe controllers, see
// import_animation.h). What it cannot hold (points and lines, morph weight animations, ...)
// is dropped with one warning line per kind, never silently.
//
// Conventions:
// - Transforms: Assimp's scenes are Y-up (its importers turn Z-up files into Y-up ones); the
//   host is Z-up. A node's world transform W becomes W * C with the translation scaled, where
//   C turns +Y into +Z (and +Z into -Y). Vertices stay in the node's own space, scaled. So a
//   Z-up file whose root Assimp rotated comes out with the transforms it was made with, and
//   cameras and lights keep their -Z view direction and +Y up.
// - Texture coordinates: v as Assimp gives it, origin at the bottom left of the image (glTF's
//   v is 1 - this). The .zef exporter stores 1 - v, so glTF's own v reaches the engine.
// - Embedded textures are written as files into `ImportOptions::textureDir` and the maps
//   name those files; with no folder they are named but not written (one warning).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/scene.h"

namespace vorlan::workbench {

struct ImportOptions {
  enum UpAxis { Y, Z };

  // Multiplies every length (vertices and translations); must be finite and above zero.
  float scale = 1.0f;
  // The up axis of the scene as Assimp hands it over. Y (the default) suits every format
  // Assimp reads; Z is for files that were written Z-up without saying so.
  UpAxis upAxis = Y;
  // Folder for the images embedded in the file (created when needed). Empty: not written.
  std::string textureDir;
};

struct ImportCounts {
  uint32_t nodes = 0;      // nodes created
  uint32_t meshes = 0;     // mesh objects (an instanced one counts once)
  uint64_t triangles = 0;  // triangles of those objects
  uint32_t materials = 0;  // Standard materials created
  uint32_t textures = 0;   // bitmap textures created
  uint32_t cameras = 0;
  uint32_t lights = 0;
};

struct ImportResult {
  bool ok = false;
  std::string error;                  // names the file and the reason
  std::vector<std::string> warnings;  // one line each, no line breaks
  ImportCounts counts;
  explicit operator bool() const { return ok; }
};

// Adds the file's nodes under the scene's root. Intended for an empty scene; on failure the
// scene is left as it was. Never throws.
ImportResult ImportInterchange(const std::string& path, Scene& scene, const ImportOptions& options);

// Whether a file extension (lower case, without the dot) names a format ImportInterchange reads.
bool IsInterchangeExtension(std::string_view ext);

// "y" or "z".
const char* UpAxisName(ImportOptions::UpAxis axis);
// Parses "y"/"z" in either case; false for anything else.
bool ParseUpAxis(std::string_view text, ImportOptions::UpAxis& out);

// One line of the interchange log (no line break at the end): time, file, options, counts
// and warnings.
std::string ImportLogLine(const std::string& path, const ImportOptions& options, const ImportResult& result);
// Appends `line` to "interchange.log" in `logDir`, creating the folder. False with `error`
// naming the file when it cannot be written.
bool AppendInterchangeLog(const std::string& logDir, const std::string& line, std::string& error);

}  // namespace vorlan::workbench
