// A workbench scene written as binary glTF 2.0 (.glb) through Assimp's exporter.
//
// The scene's world transforms become local ones, its meshes one glTF primitive per
// material (Multi/Sub-Object materials pick their sub-material by material ID, as the host
// does), with normals, up to eight texture-coordinate sets (map channels 1..8) and vertex
// colours (channel 0). Standard materials give their diffuse colour, opacity, two-sided
// switch and the diffuse, bump, self-illumination and ambient maps (as base colour,
// normal, emissive and occlusion textures); readable PNG and JPEG texture files are
// embedded. Cameras, lights (KHR_lights_punctual) and user properties (node extras) are
// added to the JSON Assimp writes, since its exporter has no place for them.
//
// The conventions are those of the importer (interchange_import.h), undone: the file is
// Y-up unless the options say Z, lengths are divided by the scale, and texture
// coordinates keep the host's v (Assimp's exporter turns them into glTF's 1 - v).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interchange/import.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

struct GlbExportOptions {
  // The options a file would be imported with to give this scene back.
  float scale = 1.0f;
  ImportOptions::UpAxis upAxis = ImportOptions::Y;
};

struct GlbExportResult {
  bool ok = false;
  std::string error;
  std::vector<std::string> warnings;  // what the file could not hold, one line per kind
  explicit operator bool() const { return ok; }
};

// The .glb bytes of the scene. Never throws.
GlbExportResult BuildGlb(const Scene& scene, const GlbExportOptions& options, std::vector<uint8_t>& out);
// Writes them to `path` atomically: a failed export leaves the previous file as it was.
GlbExportResult ExportGlb(const Scene& scene, const std::string& path, const GlbExportOptions& options);

}  // namespace vorlan::workbench
