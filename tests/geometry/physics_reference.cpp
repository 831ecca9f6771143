#include "geometry/physics_reference.h"

#include <algorithm>
#include <cmath>

#include "geometry/physics_ray.h"

namespace vorlan::geometry::reference {

using host::Point3;

namespace {

bool Inside(std::span<const ShapePrimitive> primitives, Point3 p) {
  const Point3 up{0, 0, 1};
  std::vector<float> hits;
  for (const ShapePrimitive& prim : primitives) {
    if (prim.kind == PrimitiveKind::kSphere) {
      if (InsideSphere(p, prim.center, prim.radius)) return true;
      continue;
    }
    float t;
    if (!RayHitsTriangle(p, up, prim.corners[0], prim.corners[1], prim.corners[2], &t)) continue;
    bool again = false;
    for (float h : hits)
      if (std::fabs(t - h) < 0.001f) again = true;
    if (!again) hits.push_back(t);
  }
  return hits.size() % 2 == 1;
}

}  // namespace

void SampleInterior(std::span<const ShapePrimitive> primitives, const SampleLattice& lattice,
                    std::vector<Point3>& inside) {
  for (float x : lattice.x)
    for (float y : lattice.y)
      for (float z : lattice.z)
        if (Inside(primitives, {x, y, z})) inside.push_back({x, y, z});
}

void BuildCollisionTopology(std::span<const Point3> corners, CollisionTopology& out) {
  out = CollisionTopology{};
  CollisionModel& m = out.model;
  const std::size_t count = corners.size() / 3;
  m.triangles.resize(count);
  for (std::size_t t = 0; t < count; ++t) {
    CollisionTriangle& tri = m.triangles[t];
    for (int k = 0; k < 3; ++k) {
      Point3 c = corners[3 * t + std::size_t(k)];
      std::size_t i = 0;
      while (i < m.vertices.size()) {
        Point3 d = m.vertices[i].position - c;
        if (host::Dot(d, d) <= 1e-6f) break;
        ++i;
      }
      if (i == m.vertices.size()) m.vertices.push_back(CollisionVertex{.position = c});
      tri.v[k] = static_cast<uint32_t>(i);
    }
    for (int k = 0; k < 3; ++k) {
      uint32_t a = tri.v[k], b = tri.v[(k + 1) % 3];
      std::size_t i = 0;
      while (i < m.edges.size() &&
             !((m.edges[i].a == a && m.edges[i].b == b) || (m.edges[i].a == b && m.edges[i].b == a)))
        ++i;
      if (i == m.edges.size()) m.edges.push_back(CollisionEdge{.a = a, .b = b});
      tri.e[k] = static_cast<uint32_t>(i);
    }
    for (uint32_t v : tri.v) tri.bounds.Include(m.vertices[v].position);
  }
  out.triangle_planes.resize(count);
  for (std::size_t t = 0; t < count; ++t) {
    const CollisionTriangle& tri = m.triangles[t];
    Point3 p0 = m.vertices[tri.v[0]].position;
    Point3 n = TriangleUnitNormal(p0, m.vertices[tri.v[1]].position, m.vertices[tri.v[2]].position);
    std::size_t i = 0;
    while (i < m.planes.size() && !LiesInPlane(m.planes[i], p0, n)) ++i;
    if (i == m.planes.size())
      m.planes.push_back(
          CollisionPlane{.point = p0, .normal = n, .first_triangle = static_cast<uint32_t>(t)});
    out.triangle_planes[t] = static_cast<uint32_t>(i);
    for (uint32_t v : tri.v) {
      std::vector<uint32_t>& list = m.vertices[v].planes;
      if (std::find(list.begin(), list.end(), uint32_t(i)) == list.end()) list.push_back(uint32_t(i));
    }
  }
}

}  // namespace vorlan::geometry::reference
