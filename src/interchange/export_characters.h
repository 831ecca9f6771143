// Characters in the glTF writer: a mesh node's skin modifier becomes a glTF skin (its bones
// the joints, JOINTS_0 and WEIGHTS_0 on every primitive), its Morpher the mesh's morph
// targets (POSITION deltas, NORMAL deltas where the target nodes carry normals, default
// weights, `extras.targetNames`).
//
// - The bind pose is the scene without its keys: each node's static transform. That is the
//   pose an imported character arrives in (the file's node transforms), and the one its
//   mesh's vertices are in.
// - glTF takes four bones per vertex: the four heaviest are kept and renormalised to sum
//   1; a vertex whose bones were cut is counted in a warning naming the mesh.
// - A skinned vertex without any bone follows the skin's first joint, the topmost bone in
//   scene order (glTF has no unbound vertex in a skinned mesh); counted in a warning.
// - glTF ignores a skinned mesh node's transform (its joints place it). A skinned mesh
//   node at the top of the scene, without children or keys, is written without one and its
//   vertices in the world; others keep theirs, which the bind matrices take into account.
// - Nodes that are only the targets of channels written as morph targets are left out:
//   their shape is in the file as the targets.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <span>
#include <vector>

#include "host/math3d.h"
#include "host/morpher.h"
#include "interchange/convert.h"
#include "interchange/gltf_builder.h"
#include "interchange/import_parts.h"
#include "workbench/character.h"
#include "workbench/scene.h"

namespace vorlan::workbench::interchange {

inline constexpr std::size_t kGltfInfluences = 4;

// One vertex's bones as glTF writes them: joint numbers and weights summing to 1; unused
// slots hold joint 0 with weight 0.
struct GltfInfluence {
  std::array<uint16_t, kGltfInfluences> joints{};
  std::array<float, kGltfInfluences> weights{};
};

// The four heaviest of a vertex's (joint, weight) pairs, renormalised. Weights that are not
// finite or not above zero are ignored; a joint named twice adds its weights. Of equal
// weights the lower joint number is kept. `cut` is the largest weight left out (after
// normalising over all bones), 0 when none was. False when no weight is usable.
bool ReduceInfluences(std::span<const std::pair<uint16_t, float>> bones, GltfInfluence& out, float& cut);

// What a mesh node's skin and Morpher give the writer.
struct GltfCharacter {
  // The skin's bones in scene order (the glTF joints), and each host vertex's influences.
  std::vector<const SceneNode*> joints;
  std::vector<GltfInfluence> influences;
  const SkinModifierImpl* skin = nullptr;
  // Channels written as morph targets, in the Morpher's order.
  std::vector<const host::MorphChannel*> morphs;
  // Per written channel, the mesh of its target node, whose corner normals give NORMAL
  // deltas; empty when no target turns a normal (or when one cannot say how it does).
  std::vector<const host::Mesh*> normalShapes;

  bool Skinned() const { return !joints.empty(); }
  bool Empty() const { return joints.empty() && morphs.empty(); }
};

// The per-vertex arrays of one primitive.
struct GltfCharacterStreams {
  std::vector<uint16_t> joints;
  std::vector<float> weights;
  std::vector<std::vector<float>> deltas;  // per morph target, 3 floats per vertex
  std::vector<std::vector<float>> normalDeltas;
};

class GltfCharacterWriter {
 public:
  GltfCharacterWriter(GltfBuilder& gltf, WarningSink& warnings, const Frame& frame)
      : gltf_(gltf), warnings_(warnings), frame_(frame) {}

  // Before any node is written: finds the nodes that are only morph targets.
  void Prepare(const Scene& scene);
  bool LeftOut(const SceneNode& node) const { return leftOut_.count(&node) > 0; }

  // Whether a mesh node is written in the world: at the top of the scene with an identity
  // transform, its world transform baked into its vertices.
  static bool InWorld(const SceneNode& node);

  // The skin and morph targets of a mesh node with its mesh (normals built); reports what
  // glTF cannot hold.
  GltfCharacter Read(const SceneNode& node, const host::Mesh& mesh);

  // Appends the data of host vertex `vert`, corner `corner` of face `face` with the unit
  // normal `normal`, to a primitive's streams: positioned by `offset` and turned by
  // `normalTm` when `moved`, lengths times `inv`.
  void AddVertex(const GltfCharacter& c, GltfCharacterStreams& s, uint32_t vert, uint32_t face, int corner,
                 host::Point3 normal, bool moved, const host::Matrix3& offset, const host::Matrix3& normalTm,
                 float inv) const;
  // The primitive's JOINTS_0, WEIGHTS_0 and targets.
  void AddAttributes(const GltfCharacter& c, const GltfCharacterStreams& s, nlohmann::json& primitive);
  // The mesh's default morph weights and target names.
  static void AddMeshProperties(const GltfCharacter& c, nlohmann::json& mesh);

  // Every written node tells its number; a skinned mesh node asks for its skin.
  void NodeWritten(const SceneNode& node, int index) { nodeIndex_[&node] = index; }
  void SkinNode(const SceneNode& node, int index, const GltfCharacter& c);
  // Adds the skins once every node has its number.
  void Finish();

 private:
  struct PendingSkin {
    const SceneNode* node;
    int index;
    const SkinModifierImpl* skin;
    std::vector<const SceneNode*> joints;
  };

  std::vector<const host::Mesh*> NormalShapes(const GltfCharacter& c, const host::Mesh& mesh,
                                              const std::string& name);

  GltfBuilder& gltf_;
  WarningSink& warnings_;
  const Frame& frame_;
  std::set<const SceneNode*> leftOut_;
  std::map<const SceneNode*, int> nodeIndex_;
  std::vector<PendingSkin> skins_;
};

}  // namespace vorlan::workbench::interchange
