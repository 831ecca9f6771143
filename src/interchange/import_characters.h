// Characters from interchange files: Assimp's bones become a skeleton (bone nodes under one
// skeleton root) and a skin modifier on each skinned mesh; its morph targets become a Morpher
// with one channel and one target node per target.
#pragma once

#include <assimp/scene.h>

#include <vector>

#include "interchange/convert.h"
#include "interchange/import_parts.h"
#include "workbench/scene.h"

namespace vorlan::workbench::interchange {

// A mesh node and the aiMeshes its mesh was built from, in BuildMesh's order.
struct CharacterMesh {
  SceneNode* node = nullptr;
  std::vector<unsigned> parts;
};

struct CharacterCounts {
  uint32_t skins = 0;
  uint32_t bones = 0;
  uint32_t morphChannels = 0;
};

// Whether any of the aiMeshes has bones or morph targets.
bool HasCharacterData(const aiScene& scene, const std::vector<unsigned>& parts);

// Builds the skeleton, skins and Morphers of `meshes` once every node exists. Lengths are
// multiplied by the frame's scale, as BuildMesh does; the skins' bind poses come from the
// bones' offset matrices.
CharacterCounts BuildCharacters(const aiScene& ai, const std::vector<CharacterMesh>& meshes, Scene& scene,
                                const Frame& frame, WarningSink& warnings);

}  // namespace vorlan::workbench::interchange
