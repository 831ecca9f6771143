// The state of one character export, shared by the passes and the file writer.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/interface.h"
#include "rigexp/rig_mesh.h"
#include "rigexp/rig_model.h"
#include "zef/scene_buffer.h"
#include "zefexport/export_context.h"

namespace vorlan::rigexp {

// Application data on a node that keeps it out of the export: a morph target.
inline constexpr uint32_t kExclusionSub = 1;

// The names of the forearm twist nubs, which get bone records whatever drives them.
inline constexpr const char* kTwistNubs[] = {"LForeTwist1Nub", "RForeTwist1Nub"};

struct RigState {
  RigState(host::Interface& i, zef::SceneBuffer& b)
      : ip(i), buffer(b), ctx{.ip = i, .buffer = b, .options = {.smoothWholeScene = false}} {}

  host::Interface& ip;
  zef::SceneBuffer& buffer;  // header, Info, root head and MatList; the rest is written at the end
  zefexport::ExportContext ctx;  // materials and face lists

  bool selectedOnly = false;
  bool cancelled = false;
  uint32_t nodeCounter = 0, totalNodes = 0;
  uint32_t faceTotal = 0;
  uint32_t pointCounter = 0;  // the bone point counter

  std::vector<RigMesh> meshes;
  std::vector<MeshWeights> weights;  // per mesh
  std::vector<RigBone> bones;        // in export order
  std::vector<uint32_t> topBones;    // records directly inside the skeleton data
  std::set<std::pair<const host::Node*, uint32_t>> weightedPairs;  // (weight node, mesh) handled

  const host::Node* skeletonRoot = nullptr;
  host::Matrix3 skeletonOffset;
  uint32_t skeletonChildren = 0;  // top-level nodes whose enumeration succeeded

  // Polls the host's cancel button; once cancelled, stays cancelled.
  bool CheckCancel();
  void Progress(uint32_t counter);
  void Message(const std::string& text, const std::string& caption, host::Icon icon = host::Icon::None);
};

// Whether the node carries the exclusion mark.
bool IsExcluded(const host::Node& node);
// Marks the node excluded, replacing any earlier mark.
void MarkExcluded(host::Node& node);

// Class of the node's transform controller.
bool IsBipedBone(const host::Node& node);
bool IsFootstep(const host::Node& node);
// Whether a node below `node` (not the node itself) is a bone of the skeleton.
bool HasBipedDescendant(const host::Node& node);

// Marks the target node of every channel with points of every Morpher in the scene.
void MarkMorphTargets(host::Node& root);
// The first node, depth first from `root`, whose object is geometry with a bone below it.
const host::Node* FindSkeletonRoot(const host::Node& root);
// Scene nodes below `root`, the root included.
uint32_t CountNodes(const host::Node& root);

// The mesh pass over one node and its subtree. True when the enumeration succeeded.
bool EnumerateNode(RigState& state, const host::Node& node);
// The bone pass over the skeleton root's children.
void ExportBones(RigState& state);

}  // namespace vorlan::rigexp
