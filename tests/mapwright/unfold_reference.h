// The unfold as first written: for every edge of a face just laid, a scan of the whole face
// list for the first face not laid yet that shares the edge. Quadratic; the tests compare the
// fast unfold with it.
#pragma once

#include <vector>

#include "mapwright/unfold.h"

namespace vorlan::mapwright::reference {

inline UnfoldResult UnfoldByScanning(std::span<const Tri> faces) {
  UnfoldResult r;
  r.flat.resize(faces.size());
  r.laid.assign(faces.size(), false);
  if (faces.empty()) return r;
  struct Frame {
    int face, edge;
  };
  std::vector<Frame> stack{{0, 0}};
  r.flat[0] = LayFirstFace(faces[0]);
  r.laid[0] = true;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.edge == 3) {
      stack.pop_back();
      continue;
    }
    int f = top.face, a = top.edge++, b = (a + 1) % 3;
    for (std::size_t g = 0; g < faces.size(); ++g) {
      int i = 0, j = 0;
      if (r.laid[g] || !FindEdgeCorners(faces[g], faces[f][a], faces[f][b], i, j)) continue;
      r.flat[g] = LayAcrossEdge(faces[g], i, j, r.flat[f], a, b);
      r.laid[g] = true;
      stack.push_back({int(g), 0});
      break;
    }
  }
  return r;
}

}  // namespace vorlan::mapwright::reference
