// A workbench scene written as binary glTF 2.0 (.glb), by our own writer: the time it takes
// grows in proportion to the scene.
//
// The scene's world transforms become local ones, its meshes one glTF primitive per
// material (Multi/Sub-Object materials pick their sub-material by material ID, as the host
// does), with normals, tangents (where the mesh carries them), up to eight
// texture-coordinate sets (map channels 1..8) and vertex colours (channel 0). Materials give
// their base colour and opacity, metallic and roughness factors, self-illumination as the
// emissive factor (with KHR_materials_emissive_strength), alpha mode and cutoff,
// double-sidedness and the base colour, metallic-roughness, normal (with its scale),
// occlusion (with its strength) and emissive textures with their texture-coordinate set,
// wrap modes and KHR_texture_transform; readable PNG and JPEG files are embedded. Cameras,
// lights (KHR_lights_punctual) keep their nodes' names; user properties become node extras.
// Whatever the file cannot hold is named in the warnings, one line per kind.
//
// The conventions are those of the importer (import.h), undone: the file is Y-up unless the
// options say Z, lengths are divided by the scale, and texture coordinates become glTF's
// (v turned into 1 - v).
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

// One line of the interchange log (no line break) for a written file: its options and
// every warning.
std::string ExportLogLine(const std::string& path, const GlbExportOptions& options,
                          const GlbExportResult& result);

}  // namespace vorlan::workbench
