// The pieces of the glTF writer: materials and textures, and node extras from user
// properties. Internal to the writer; BuildGlb and ExportGlb (export.h) are the entry.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/material.h"
#include "interchange/gltf_builder.h"
#include "interchange/import_parts.h"

namespace vorlan::workbench::interchange {

// glTF materials made from the host's materials, once each, with their textures embedded.
class GltfMaterials {
 public:
  GltfMaterials(GltfBuilder& gltf, WarningSink& warnings) : gltf_(gltf), warnings_(warnings) {}

  // The glTF material a face showing `m` uses (null: a plain grey one).
  int Index(const host::Mtl* m);

 private:
  nlohmann::json Make(const host::Mtl* m);
  // A texture reference {"index", "texCoord", extensions} for a map, or null when the map
  // cannot be written (with a warning).
  nlohmann::json TextureInfo(const host::Texmap* t, const std::string& mtlName, int slot);
  int Image(const std::string& file, const std::string& mtlName);
  int Sampler(int tilingFlags);

  GltfBuilder& gltf_;
  WarningSink& warnings_;
  std::map<const host::Mtl*, int> index_;
  std::map<std::string, int> images_;            // file -> image index, -1 when it cannot be embedded
  std::map<std::pair<int, int>, int> textures_;  // (image, sampler) -> texture
  std::map<int, int> samplers_;                  // tiling flags -> sampler
};

// Node extras from a user-defined properties text: each "key = value" line gives a member
// (numbers and true/false as JSON values, anything else as text); a line without "=" gives
// its text as a key with the value true. Empty lines are skipped; a later key wins.
nlohmann::json ExtrasFromUserProps(const std::string& text);

}  // namespace vorlan::workbench::interchange
