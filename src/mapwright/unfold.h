// Unfolding: faces laid flat one by one across their shared edges, each keeping its true
// edge lengths.
//
// The first face is laid with corner 0 at (0, 0) and corner 1 on the positive x axis, on the
// side that keeps its orientation as seen along the projection. Then, depth first from each
// face just laid, for its edges 0-1, 1-2 and 2-0 in turn, the first face in list order that
// is not laid yet and has two different corners exactly at the edge's two corners is laid
// across that edge, its third corner on the far side. Faces never reached keep their
// projection and are reported as not laid.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "host/math3d.h"

namespace vorlan::mapwright {

using Tri = std::array<host::Point3, 3>;
struct Flat {
  double x = 0, y = 0;
};
using FlatTri = std::array<Flat, 3>;

struct UnfoldResult {
  std::vector<FlatTri> flat;  // one per face; meaningful where `laid`
  std::vector<bool> laid;
};

// The layout described above. Neighbours are found through a table of edges, so the whole
// unfold takes time proportional to the number of faces.
UnfoldResult Unfold(std::span<const Tri> faces);

// The steps of the layout, shared with reference implementations.
FlatTri LayFirstFace(const Tri& face);
// `from` is the laid face across whose edge (a, b) the new face goes; `i` and `j` are the
// new face's corners at `from`'s corners a and b.
FlatTri LayAcrossEdge(const Tri& face, int i, int j, const FlatTri& from, int a, int b);
// Corners (i, j), i != j, of `face` at exactly the points `pa` and `pb`; false if none.
bool FindEdgeCorners(const Tri& face, host::Point3 pa, host::Point3 pb, int& i, int& j);

}  // namespace vorlan::mapwright
