// Interior sampling of the physics shape, by lattice columns.
//
// Every lattice point casts its ray along +Z, so all points of one column (same x and y)
// cast along the same line. For such rays the barycentric coordinates u and v of the
// ray-triangle test do not depend on the point's z, so whether the line crosses a triangle
// is decided once per column; only the distance t (and with it t >= 0) differs per point.
//
// Which columns a triangle's line test passes is found row by row without testing every
// column: along a row (fixed y) u and v are each monotone in x, as every rounded step that
// computes them is monotone. So each of u >= 0, u <= 1, v >= 0 and v <= 1 holds on a prefix
// or a suffix of the row, and bisection finds their common interval exactly. A hit needs all
// four (v <= 1 follows from u >= 0 and u + v <= 1, rounding included), so only the columns
// of that interval go through the full test. Each column then keeps its triangles in
// primitive order, and every point runs the full test against its column's triangles in that
// order: the same hits, the same duplicate rule, the same count as testing every triangle.
#include <cmath>

#include "geometry/physics_ray.h"
#include "geometry/physics_shape.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
constexpr Point3 kUp{0, 0, 1};
constexpr float kSameHit = 0.001f;

bool LineCrosses(const RayTriangleResult& r) {
  return r.determinant_ok && r.u >= 0.0f && r.u <= 1.0f && r.v >= 0.0f && r.u + r.v <= 1.0f;
}

// Narrows [lo, hi] to where the monotone predicate holds; false when it holds nowhere there.
template <class Pred>
bool Narrow(int& lo, int& hi, Pred holds) {
  bool first = holds(lo), last = holds(hi);
  if (first && last) return true;
  if (!first && !last) return false;
  int t = first ? lo : hi;  // holds
  int f = first ? hi : lo;  // does not hold
  while (t - f > 1 || f - t > 1) {
    int m = t + (f - t) / 2;
    if (holds(m))
      t = m;
    else
      f = m;
  }
  if (first)
    hi = t;
  else
    lo = t;
  return true;
}

void SampleInterior(std::span<const ShapePrimitive> primitives, const SampleLattice& lattice,
                    std::vector<Point3>& inside) {
  const int nx = static_cast<int>(lattice.x.size());
  const int ny = static_cast<int>(lattice.y.size());
  const std::size_t nz = lattice.z.size();
  if (nx == 0 || ny == 0 || nz == 0) return;

  std::vector<const ShapePrimitive*> spheres;
  std::vector<RayTriangleSetup> triangles;
  for (const ShapePrimitive& p : primitives) {
    if (p.kind == PrimitiveKind::kSphere) {
      spheres.push_back(&p);
    } else {
      RayTriangleSetup s = SetUpRayTriangle(kUp, p.corners[0], p.corners[1], p.corners[2]);
      if (s.determinant_ok) triangles.push_back(s);
    }
  }

  // (column, triangle) pairs in triangle order, then grouped by column keeping that order.
  const std::size_t columns = std::size_t(nx) * std::size_t(ny);
  std::vector<uint32_t> pair_column, pair_triangle;
  const float z0 = lattice.z[0];
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    const RayTriangleSetup& s = triangles[t];
    for (int j = 0; j < ny; ++j) {
      const float y = lattice.y[std::size_t(j)];
      auto at = [&](int i) { return EvaluateRayTriangle(s, Point3{lattice.x[std::size_t(i)], y, z0}, kUp); };
      int lo = 0, hi = nx - 1;
      if (!Narrow(lo, hi, [&](int i) { return at(i).u >= 0.0f; })) continue;
      if (!Narrow(lo, hi, [&](int i) { return at(i).u <= 1.0f; })) continue;
      if (!Narrow(lo, hi, [&](int i) { return at(i).v >= 0.0f; })) continue;
      if (!Narrow(lo, hi, [&](int i) { return at(i).v <= 1.0f; })) continue;
      for (int i = lo; i <= hi; ++i)
        if (LineCrosses(at(i))) {
          pair_column.push_back(static_cast<uint32_t>(std::size_t(i) * std::size_t(ny) + std::size_t(j)));
          pair_triangle.push_back(static_cast<uint32_t>(t));
        }
    }
  }
  std::vector<uint32_t> start(columns + 1, 0);
  for (uint32_t c : pair_column) ++start[c + 1];
  for (std::size_t c = 0; c < columns; ++c) start[c + 1] += start[c];
  std::vector<uint32_t> candidates(pair_column.size());
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < pair_column.size(); ++k)
      candidates[fill[pair_column[k]]++] = pair_triangle[k];
  }

  std::vector<float> hits;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) {
      const std::size_t column = std::size_t(i) * std::size_t(ny) + std::size_t(j);
      for (std::size_t k = 0; k < nz; ++k) {
        const Point3 p{lattice.x[std::size_t(i)], lattice.y[std::size_t(j)], lattice.z[k]};
        bool in = false;
        for (const ShapePrimitive* s : spheres)
          if (InsideSphere(p, s->center, s->radius)) {
            in = true;
            break;
          }
        if (!in) {
          hits.clear();
          for (uint32_t c = start[column]; c < start[column + 1]; ++c) {
            float t;
            if (!RayHitsTriangle(triangles[candidates[c]], p, kUp, &t)) continue;
            bool seen = false;
            for (float h : hits) seen = seen || std::fabs(t - h) < kSameHit;
            if (!seen) hits.push_back(t);
          }
          in = hits.size() % 2 == 1;
        }
        if (in) inside.push_back(p);
      }
    }
}

}  // namespace

ShapeStages FastShapeStages() {
  return ShapeStages{.sample = &SampleInterior, .build_topology = &BuildCollisionTopology};
}

}  // namespace vorlan::geometry
