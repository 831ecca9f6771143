// The plain first-match searches of the glass pane adjacency, kept as the oracle of the tests
// and the baseline of the benchmark: every edge against every later edge of its pane, every
// outline edge against every outline edge of every later pane.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/glass_adjacency.h"
#include "support/bytes.h"

namespace vorlan::geometry::reference {

using host::Point3;

inline bool RefNear(Point3 a, Point3 b) {
  float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz < 1e-6f;
}
inline bool RefMatch(const GlassEdge& e, const GlassEdge& f) {
  return (RefNear(e.start, f.start) && RefNear(e.end, f.end)) ||
         (RefNear(e.start, f.end) && RefNear(e.end, f.start));
}

struct RefResult {
  std::vector<uint8_t> payload;
  std::vector<std::vector<GlassEdge>> panes;
};

inline RefResult ReferenceBuild(std::vector<std::vector<GlassEdge>> panes) {
  const std::size_t n = panes.size();
  std::vector<std::vector<std::size_t>> outline(n);
  for (std::size_t p = 0; p < n; ++p) {
    auto& edges = panes[p];
    for (std::size_t e = 0; e < edges.size(); ++e) {
      if (edges[e].state != GlassEdgeState::kUnresolved) continue;
      bool found = false;
      for (std::size_t f = e + 1; f < edges.size() && !found; ++f) {
        if (edges[f].state == GlassEdgeState::kUnresolved && RefMatch(edges[e], edges[f])) {
          edges[e].state = edges[f].state = GlassEdgeState::kInterior;
          found = true;
        }
      }
      if (!found) {
        edges[e].state = GlassEdgeState::kOutline;
        outline[p].push_back(e);
      }
    }
  }
  std::vector<uint8_t> adjacency(n * n, 0), open(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      auto& li = outline[i];
      auto& lj = outline[j];
      for (std::size_t pos = 0; pos < li.size();) {
        GlassEdge& e = panes[i][li[pos]];
        bool found = false;
        for (std::size_t q = 0; q < lj.size(); ++q) {
          GlassEdge& f = panes[j][lj[q]];
          if (!RefMatch(e, f)) continue;
          e.state = f.state = GlassEdgeState::kShared;
          li[pos] = li.back();
          li.pop_back();
          lj[q] = lj.back();
          lj.pop_back();
          adjacency[i * n + j] = adjacency[j * n + i] = 1;
          found = true;
          break;
        }
        if (!found) ++pos;
      }
    }
    open[i] = outline[i].empty() ? 0 : 1;
  }
  RefResult r;
  r.payload.assign(4 + n * n + n, 0);
  support::ByteWriter::StoreU32(r.payload.data(), static_cast<uint32_t>(n));
  std::copy(adjacency.begin(), adjacency.end(), r.payload.begin() + 4);
  std::copy(open.begin(), open.end(), r.payload.begin() + 4 + static_cast<std::ptrdiff_t>(n * n));
  r.panes = std::move(panes);
  return r;
}

}  // namespace vorlan::geometry::reference
