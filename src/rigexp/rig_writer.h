// The character file after the passes: the split of every mesh into five-bone blocks, the
// sizes recomputed bottom up, and the bytes of the mesh nodes, the skeleton data and the
// bone records.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "rigexp/rig_state.h"

namespace vorlan::rigexp {

// Sizes of the three containers: before the split (as the passes laid them out) or after.
struct RigSizes {
  uint32_t skeletonData = 0;
  uint32_t skeletonObj = 0;
  uint32_t root = 0;
};

// `prefixBytes` is what lies in front of the skeleton object: header, Info, root head and
// MatList; `rootHead` is where the root node's head starts.
RigSizes FirstPassSizes(const RigState& state, uint32_t prefixBytes, uint32_t rootHead);

// Splits every mesh part (logging each mesh) and gives every bone its block point lists.
// A part that cannot be split shows "Can't split block: too many bones per face found!" and
// ends that mesh's split; the mesh keeps the blocks built before.
void SplitMeshes(RigState& state);

// The file: `prefix` (header to MatList, with the header's node count, the Info block's face
// total and the root node's size already patched by the caller from the returned sizes)
// followed by the skeleton object. Logs the recomputed bone sizes.
RigSizes RecomputeSizes(RigState& state, uint32_t prefixBytes, uint32_t rootHead);
void AppendSkeleton(const RigState& state, const RigSizes& sizes, std::vector<uint8_t>& out);

// One split block as the engine reads it: GBlock head, Vertices with the blend weights,
// Faces, MorphDeltas when the part has them, BoneList.
void AppendBlock(const RigPart& part, const SplitBlock& block, std::vector<uint8_t>& out);
uint32_t BlockBytes(const RigPart& part, const SplitBlock& block);
// The vertex format with the position bits replaced by the blended code for `bones` bones.
uint32_t BlendedFormat(uint32_t format, std::size_t bones);

}  // namespace vorlan::rigexp
