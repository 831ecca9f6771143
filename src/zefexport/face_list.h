// The triangles of one node as the .zef exporter lists them before writing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/material.h"
#include "host/math3d.h"

namespace vorlan::zefexport {

// The triangles of one node, each with three corner vertices of its own. Corner k of
// triangle f is corner 3f + k. All corners of a triangle carry the same number of
// texture-coordinate pairs.
struct FaceList {
  struct Triangle {
    uint32_t smGroups = 0;     // smoothing-group bits of the host face
    int32_t matIndex = -1;     // MatList index, -1 for the default material
    host::Mtl* mtl = nullptr;  // the host (sub-)material the index came from; not owned
    uint32_t pairCount = 0;    // texture-coordinate pairs of each corner
    uint32_t uvStart = 0;      // first float of corner 3f in `uvs`
  };

  std::vector<Triangle> triangles;
  std::vector<host::Point3> positions;  // per corner, in the node's pivot space
  std::vector<host::Point3> normals;    // per corner, unit length
  std::vector<uint32_t> hostVerts;      // per corner, the mesh vertex it was made from
  // Per triangle, its three corners' pairs back to back: corner k holds pairCount (u, v)
  // pairs starting at uvStart + 2 * pairCount * k. v is already flipped (1 - v).
  std::vector<float> uvs;

  std::size_t NumTriangles() const { return triangles.size(); }
  std::size_t NumCorners() const { return positions.size(); }
  std::span<const float> CornerUVs(std::size_t corner) const {
    const Triangle& t = triangles[corner / 3];
    return {uvs.data() + t.uvStart + 2 * t.pairCount * (corner % 3), 2 * t.pairCount};
  }
  void Clear();
};

}  // namespace vorlan::zefexport
