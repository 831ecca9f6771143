#include "interchange/smoothing_groups.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <numeric>
#include <vector>

namespace vorlan::workbench::interchange {

namespace {

uint32_t Find(std::vector<uint32_t>& parent, uint32_t f) {
  while (parent[f] != f) {
    parent[f] = parent[parent[f]];
    f = parent[f];
  }
  return f;
}

void Unite(std::vector<uint32_t>& parent, uint32_t a, uint32_t b) {
  a = Find(parent, a);
  b = Find(parent, b);
  // The lower face stays the root, so surfaces are numbered by their first face.
  if (a < b) parent[b] = a;
  if (b < a) parent[a] = b;
}

// Items grouped by a key below `keys`, in the order given: members[start[k]..start[k+1]).
struct Buckets {
  std::vector<uint32_t> start;
  std::vector<uint64_t> members;
};

}  // namespace

void GroupSmoothFaces(host::Mesh& mesh) {
  const auto numFaces = static_cast<uint32_t>(mesh.faces.size());
  const std::size_t numVerts = mesh.verts.size();
  if (mesh.normalFaces.size() != numFaces) return;
  auto smooth = [&](uint32_t f) { return mesh.faces[f].smGroup != 0; };
  auto corner = [&](uint32_t f, std::size_t k) { return mesh.faces[f].v[k]; };

  // The smooth corners at each vertex as (normal, face), so that equal normals sort together.
  Buckets at;
  at.start.assign(numVerts + 1, 0);
  for (uint32_t f = 0; f < numFaces; ++f)
    if (smooth(f))
      for (std::size_t k = 0; k < 3; ++k)
        if (corner(f, k) < numVerts) ++at.start[corner(f, k) + 1];
  std::partial_sum(at.start.begin(), at.start.end(), at.start.begin());
  at.members.resize(at.start.back());
  {
    std::vector<uint32_t> fill(at.start.begin(), at.start.end() - 1);
    for (uint32_t f = 0; f < numFaces; ++f)
      if (smooth(f))
        for (std::size_t k = 0; k < 3; ++k)
          if (corner(f, k) < numVerts)
            at.members[fill[corner(f, k)]++] = uint64_t(mesh.normalFaces[f][k]) << 32 | f;
  }

  std::vector<uint32_t> parent(numFaces);
  std::iota(parent.begin(), parent.end(), 0u);
  for (std::size_t v = 0; v < numVerts; ++v) {
    const auto first = at.members.begin() + at.start[v], last = at.members.begin() + at.start[v + 1];
    std::sort(first, last);
    for (auto it = first; it != last && it + 1 != last; ++it)
      if ((*it >> 32) == (*(it + 1) >> 32)) Unite(parent, uint32_t(*it), uint32_t(*(it + 1)));
  }

  // The faces of each surface, listed under its first face.
  Buckets surface;
  surface.start.assign(std::size_t(numFaces) + 1, 0);
  for (uint32_t f = 0; f < numFaces; ++f)
    if (smooth(f)) ++surface.start[Find(parent, f) + 1];
  std::partial_sum(surface.start.begin(), surface.start.end(), surface.start.begin());
  surface.members.resize(surface.start.back());
  {
    std::vector<uint32_t> fill(surface.start.begin(), surface.start.end() - 1);
    for (uint32_t f = 0; f < numFaces; ++f)
      if (smooth(f)) surface.members[fill[Find(parent, f)]++] = f;
  }

  // The bits taken by the surfaces at each vertex so far.
  std::vector<uint32_t> taken(numVerts, 0);
  for (uint32_t root = 0; root < numFaces; ++root) {
    const auto first = surface.members.begin() + surface.start[root];
    const auto last = surface.members.begin() + surface.start[root + 1];
    if (first == last) continue;
    uint32_t around = 0;
    for (auto it = first; it != last; ++it)
      for (std::size_t k = 0; k < 3; ++k)
        if (corner(uint32_t(*it), k) < numVerts) around |= taken[corner(uint32_t(*it), k)];
    const uint32_t bit = around == UINT32_MAX ? 1u : uint32_t(1) << std::countr_one(around);
    for (auto it = first; it != last; ++it) {
      mesh.faces[*it].smGroup = bit;
      for (std::size_t k = 0; k < 3; ++k)
        if (corner(uint32_t(*it), k) < numVerts) taken[corner(uint32_t(*it), k)] |= bit;
    }
  }
}

}  // namespace vorlan::workbench::interchange
