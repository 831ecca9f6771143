// The plain weld, kept as the oracle for the hash weld: for every corner, a linear search
// from the start of the kept list for a vertex with all bytes equal; report after every
// triangle. Quadratic, so only for tests and the benchmark's baseline.
#pragma once

#include <climits>
#include <cstring>
#include <vector>

#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/flush.h"

namespace vorlan::zef::reference {

inline uint32_t WeldGBlock(const GBlockMesh& mesh, std::vector<uint8_t>& out, ExportProgress* progress,
                           int bar2Max) {
  std::vector<const uint8_t*> kept;
  std::vector<uint32_t> indices;
  for (uint32_t f = 0; f < mesh.faceCount; ++f) {
    for (int k = 0; k < 3; ++k) {
      uint32_t old = support::LoadU32(mesh.faces.data() + 12 * f + 4 * k);
      const uint8_t* v = mesh.vertices.data() + std::size_t{old} * mesh.stride;
      uint32_t found = 0;
      while (found < kept.size() && std::memcmp(kept[found], v, mesh.stride) != 0) ++found;
      if (found == kept.size()) kept.push_back(v);
      indices.push_back(found);
    }
    if (progress) {
      uint64_t bytes = uint64_t{kept.size()} * mesh.stride;
      progress->SetBar2(-1, bar2Max, bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes));
    }
  }
  const uint32_t verticesSize = 20 + static_cast<uint32_t>(kept.size()) * mesh.stride;
  const uint32_t facesSize = 12 + 12 * mesh.faceCount;
  const uint32_t gblockSize = 12 + verticesSize + facesSize;
  support::ByteWriter w(out);
  w.U32(kGBlock);
  w.U32(gblockSize);
  w.U32(mesh.materialIndex);
  w.U32(kVertices);
  w.U32(verticesSize);
  w.U32(static_cast<uint32_t>(kept.size()));
  w.U32(mesh.stride);
  w.U32(mesh.format);
  for (const uint8_t* v : kept) w.Bytes(v, mesh.stride);
  w.U32(kFaces);
  w.U32(facesSize);
  w.U32(mesh.faceCount);
  for (uint32_t i : indices) w.U32(i);
  return mesh.size - gblockSize;
}

}  // namespace vorlan::zef::reference
