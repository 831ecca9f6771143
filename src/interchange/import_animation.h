// The animations of an interchange file as keyframe controllers on the nodes made from it.
// Internal to the importer (import.cpp); docs/interchange.md tells the artist the rules:
//
// - glTF samplers are read from the file itself: LINEAR keys become Linear keys, STEP keys
//   Linear keys with a second key one tick before each step holding the previous value, and
//   CUBICSPLINE keys Bezier keys whose tangents are the file's (per tick instead of per
//   second, handles at a third of the segment: the same curve). Rotations have no tangents
//   in the host's smooth rotation keys: cubic-spline rotations keep their key values.
// - FBX and Collada channels come through Assimp as Linear keys.
// - Times are rounded to the host's ticks (4800 per second). The host has one timeline:
//   several animations are all imported when they animate different nodes; one that
//   animates a node an earlier one animates is left out, with a warning.
#pragma once

#include <assimp/scene.h>

#include <string>
#include <unordered_map>

#include "host/math3d.h"
#include "interchange/import_parts.h"
#include "workbench/scene.h"

namespace vorlan::workbench::interchange {

// The host node made from an Assimp node, and the turn in front of its transform that its
// camera or light added (the identity for other nodes).
struct AnimationTarget {
  SceneNode* node = nullptr;
  host::Matrix3 pre;
};
using AnimationTargets = std::unordered_map<const aiNode*, AnimationTarget>;

// Gives the targets the file's keys and widens the scene's animation range to them. Call
// once the hierarchy is final: keys are relative to each node's parent in the scene.
void BuildAnimations(const aiScene& ai, const AnimationTargets& targets, const std::string& path, bool gltf,
                     float scale, Scene& scene, WarningSink& warnings);

}  // namespace vorlan::workbench::interchange
