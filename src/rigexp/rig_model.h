// What the character exporter gathers before it writes: the meshes with their parts, and
// the bones in export order with their point lists.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/math3d.h"
#include "host/node.h"
#include "rigexp/skin_split.h"

namespace vorlan::rigexp {

// Bit 30 marks a point list's block index as an index into the mesh's split blocks.
inline constexpr uint32_t kBlockIndexFlag = 0x40000000;

// One material part of a mesh: its vertices shared within the part, as the scene exporter
// lays them out (position, normal, texture pairs), each with the mesh vertex it came from.
struct RigPart {
  int32_t material = -1;  // MatList index, -1 for the default material
  uint32_t pairs = 0;     // texture-coordinate pairs per vertex
  std::vector<float> vertices;      // (6 + 2 * pairs) floats per vertex
  std::vector<uint32_t> hostVerts;  // per vertex
  std::vector<std::array<uint32_t, 3>> faces;
  // Morph targets that follow the part (empty when it does not move): per vertex, per
  // exported target, the delta times 100.
  uint32_t morphTargets = 0;
  std::vector<host::Point3> morphDeltas;
  // Per vertex, the bones that hold it in their first-pass lists, in bone-list order.
  std::vector<std::vector<Influence>> influences;
  // The part vertices made from mesh vertex h: byHost[hostStart[h] .. hostStart[h + 1]), ascending.
  std::vector<uint32_t> hostStart, byHost;

  uint32_t FloatsPerVertex() const { return 6 + 2 * pairs; }
  uint32_t NumVertices() const { return static_cast<uint32_t>(hostVerts.size()); }
};

// A block of a split part, ready to be written.
struct RigBlock {
  uint32_t part = 0;
  SplitBlock split;
};

struct RigMesh {
  std::string name;
  const host::Node* node = nullptr;
  host::Matrix3 transform;  // node transform times the skeleton offset
  std::string userProps;
  std::vector<RigPart> parts;
  std::vector<RigBlock> blocks;  // filled by the split
  SplitCuts cuts;
  bool splitFailed = false;
};

// A bone's point list: the vertices of one block (or, before the split, of one part) that
// the bone moves, with their weights.
struct PointList {
  uint32_t mesh = 0;
  uint32_t block = 0;  // block index within the mesh (part index before the split)
  std::vector<uint32_t> vertices;
  std::vector<float> weights;
};

struct RigBone {
  std::string name;
  const host::Node* node = nullptr;
  uint32_t sceneChildren = 0;  // all children of the bone's node
  host::Point3 offset;         // from the parent node, at time 0
  host::Point3 position;       // relative to the skeleton: the offsets summed down the records
  std::array<uint32_t, 3> pointsA{}, pointsB{};
  uint32_t firstPassLists = 0;
  uint32_t firstPassBytes = 0;  // what those lists take in the record before the split
  std::vector<PointList> blockLists;
  std::vector<uint32_t> children;  // bone-list indices of the records nested in this one
};

}  // namespace vorlan::rigexp
