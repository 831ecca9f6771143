// The plain loops that the collision design's searches replace, kept as the oracle of the
// tests and the baseline of the benchmark: every ray against every triangle, every centre
// against every later centre.
#pragma once

#include <cstddef>
#include <vector>

#include "geometry/collision_design.h"
#include "geometry/physics_ray.h"

namespace vorlan::geometry::reference {

using host::Point3;

// The rays of one sweep in walk order, each keeping its nearest hit below 1e20.
inline void PlainSweep(const CollisionModel& m, const DesignSweepLattice& lattice, int sweep,
                       std::vector<Point3>& hits) {
  static const int outer_axis[6] = {0, 0, 1, 1, 0, 0}, inner_axis[6] = {1, 1, 2, 2, 2, 2};
  const auto& outer = lattice.walk[static_cast<std::size_t>(outer_axis[sweep])];
  const auto& inner = lattice.walk[static_cast<std::size_t>(inner_axis[sweep])];
  for (std::size_t i = 0; i < outer.size(); ++i)
    for (std::size_t j = 0; j < inner.size(); ++j) {
      DesignRay ray = DesignSweepRay(m.bounds, lattice, sweep, i, j);
      float best = 1e20f;
      for (const CollisionTriangle& t : m.triangles) {
        float tt;
        if (RayHitsTriangle(ray.origin, ray.dir, m.vertices[t.v[0]].position, m.vertices[t.v[1]].position,
                            m.vertices[t.v[2]].position, &tt) &&
            tt < best)
          best = tt;
      }
      if (best < 1e20f) hits.push_back(ray.origin + ray.dir * best);
    }
}

inline std::size_t PlainMerge(std::vector<Point3>& c, float r) {
  std::size_t n = c.size(), merges = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n;) {
      float dx = c[i].x - c[j].x, dy = c[i].y - c[j].y, dz = c[i].z - c[j].z;
      if (dx * dx + dy * dy + dz * dz < r * r) {
        c[i] = (c[i] + c[j]) * 0.5f;
        c[j] = c[n - 1];
        --n;
        ++merges;
      } else {
        ++j;
      }
    }
  c.resize(n);
  return merges;
}

inline std::size_t PlainRemove(std::vector<Point3>& points, const std::vector<Point3>& centers, float r) {
  std::size_t removed = 0;
  for (std::size_t pos = 0; pos < points.size();) {
    bool near = false;
    for (Point3 c : centers) {
      float dx = points[pos].x - c.x, dy = points[pos].y - c.y, dz = points[pos].z - c.z;
      near = near || dx * dx + dy * dy + dz * dz < r * r;
    }
    if (near) {
      points[pos] = points.back();
      points.pop_back();
      ++removed;
    } else {
      ++pos;
    }
  }
  return removed;
}

}  // namespace vorlan::geometry::reference
