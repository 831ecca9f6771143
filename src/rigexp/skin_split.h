// Splitting a mesh part into blocks that each use at most five bones.
//
// The engine skins one block per draw call with a palette of five bone matrices. Faces are
// taken in order into the block being built as long as the block's bones and the bones of
// the face's vertices new to the block number five or fewer; the faces that do not fit wait
// for the next block. A face that alone needs more than five bones opens a block of its own
// that keeps the five bones with the largest summed weight over its vertices: the weights of
// the other bones are cut, and the split reports what it cut.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vorlan::rigexp {

inline constexpr std::size_t kMaxBlockBones = 5;
inline constexpr std::size_t kMaxInfluences = 16;

// One bone's weight on a vertex; `bone` is the bone's position in the exported bone list.
struct Influence {
  uint32_t bone = 0;
  float weight = 0.0f;
  friend bool operator==(const Influence&, const Influence&) = default;
};

// A part as the split sees it: per vertex its influences (in bone-list order, at most
// kMaxInfluences, no bone twice) and the faces as three part-vertex indices.
struct SplitInput {
  std::vector<std::vector<Influence>> influences;  // one entry per part vertex
  std::vector<std::array<uint32_t, 3>> faces;
};

struct SplitBlock {
  std::vector<uint32_t> bones;                // at most kMaxBlockBones, in the order they joined
  std::vector<uint32_t> vertices;             // part vertex of each block-local index
  std::vector<std::array<uint32_t, 3>> faces;  // block-local indices
  friend bool operator==(const SplitBlock&, const SplitBlock&) = default;
};

// What the five-bone rule took away.
struct SplitCuts {
  uint32_t reducedFaces = 0;  // faces that needed more than five bones
  float largestCut = 0.0f;    // the largest weight of a bone left out of such a face's block
};

struct SplitResult {
  std::vector<SplitBlock> blocks;
  SplitCuts cuts;
  // Faces were left over that no block could take; the blocks built so far stand.
  bool failed = false;
};

// Faces index vertices below influences.size() (precondition).
SplitResult SplitPart(const SplitInput& input);

}  // namespace vorlan::rigexp
