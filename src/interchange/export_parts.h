// The glTF exporter's second half: what the file gets beyond what Assimp's exporter writes
// (cameras, lights, node names and extras, texture-coordinate sets of textures, material
// factors), added to the JSON of the GLB Assimp made. Internal to the exporter.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/math3d.h"

namespace vorlan::workbench::interchange {

struct GltfNodeExtras {
  std::string name;
  std::string userProps;
  int camera = -1;  // index into GltfAdditions::cameras
  int light = -1;   // index into GltfAdditions::lights
};

struct GltfCamera {
  float yfov = 0.6f;
  float aspectRatio = 4.0f / 3.0f;
  float znear = 0.01f;
};

struct GltfLight {
  std::string type;  // "point", "spot" or "directional"
  host::Point3 color{1, 1, 1};
  float intensity = 1.0f;
  float range = 0.0f;  // 0: none
  float innerConeAngle = 0.0f, outerConeAngle = 0.7853982f;
};

struct GltfMaterialExtras {
  std::string name;
  host::Point3 baseColor{0.5f, 0.5f, 0.5f};
  float opacity = 1.0f;
  bool doubleSided = false;
  // Texture-coordinate set of each texture kind the exporter wrote ("baseColorTexture",
  // "normalTexture", "emissiveTexture", "occlusionTexture"); -1 where there is none.
  int baseColorSet = -1, normalSet = -1, emissiveSet = -1, occlusionSet = -1;
};

struct GltfAdditions {
  std::vector<GltfNodeExtras> nodes;  // by the number each node's name carries in Assimp's output
  std::vector<GltfCamera> cameras;
  std::vector<GltfLight> lights;
  std::vector<GltfMaterialExtras> materials;  // in the order of the exporter's materials
};

// Applies the additions to the JSON text of Assimp's GLB, whose binary chunk holds `binSize`
// bytes, and leaves out what Assimp declares without using (extensions, an empty buffer).
// False with `error` when the JSON is not what Assimp writes (a node name that is no
// number, a material that is missing).
bool AddToGltfJson(std::string& json, const GltfAdditions& additions, std::size_t binSize,
                   std::string& error);

// Node extras from a user-defined properties text: each "key = value" line gives a member
// (numbers and true/false as JSON values, anything else as text); a line without "=" gives
// its text as a key with the value true. Empty lines are skipped; a later key wins.
nlohmann::json ExtrasFromUserProps(const std::string& text);

}  // namespace vorlan::workbench::interchange
