// A mesh of the character as parts, and what its modifiers give each part: the Morpher's
// deltas and the skin's weights per bone.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "host/morpher.h"
#include "host/skin.h"
#include "rigexp/rig_model.h"
#include "zefexport/mesh_export.h"

namespace vorlan::rigexp {

// Groups the triangles by material in order of first use and shares, within each part, the
// corners whose whole record (mesh vertex, pair count, position, normal, pairs) is equal.
std::vector<RigPart> BuildParts(const zefexport::FaceList& faces);

// The Morpher's deltas for one part, times 100, when some exported channel moves a vertex
// of the part by more than 0.001; otherwise the part gets none. Exported channels are those
// with points and a target node, in channel order. Logs what it finds.
void BuildMorphDeltas(const host::MorphModifier& morpher, const std::string& nodeName, RigPart& part);

// The skin of one mesh as the exporter reads it: per bone node, the mesh vertices it moves
// with their weights (a vertex once, its entries added), in vertex order.
struct MeshWeights {
  bool skinned = false;
  std::unordered_map<const host::Node*, std::vector<std::pair<uint32_t, float>>> byNode;
};
MeshWeights ReadMeshWeights(host::SkinModifier& skin, const host::Node& meshNode);

// The first-pass point lists of a weight node for one mesh: one per part that has vertices
// of the node, entries in mesh-vertex order and then part-vertex order. Each entry also
// becomes an influence of bone `bone` on its part vertex (up to kMaxInfluences per vertex).
std::vector<PointList> FirstPassLists(const MeshWeights& weights, const host::Node& weightNode, uint32_t meshIndex,
                                      uint32_t bone, RigMesh& mesh);

}  // namespace vorlan::rigexp
