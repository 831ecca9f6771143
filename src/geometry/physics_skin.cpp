// The skin: a movable body's collision surface is pulled inward by the skin width, so that the
// engine's contact tolerance does not leave visible gaps between resting bodies.
//
// Each vertex moves along a combination of the inward normals of the planes it touches, with
// weights chosen so that every one of those planes moves in by the vertex's current distance.
// Where the full distance would fold a triangle over or collapse one of its edges, the
// vertices of that triangle search their largest safe distance by bisection.
#include <algorithm>
#include <cmath>

#include "geometry/collision_model.h"

namespace vorlan::geometry {

using host::Point3;

namespace {

constexpr int kMaxWeightPasses = 256;
constexpr float kWeightTolerance = 0.001f;
constexpr float kDistanceTolerance = 0.001f;
constexpr float kShortEdgeSq = 1e-4f;
constexpr float kMinSphereRadius = 0.001f;

enum class VertexState : uint8_t { kOpen, kFinal };

struct VertexSearch {
  float lo = 0, hi = 0, c = 0;
  VertexState state = VertexState::kOpen;
  bool too_far = false;
  bool can_go_further = false;
};

Point3 RawNormal(Point3 a, Point3 b, Point3 c) { return host::Cross(b - a, c - a); }

bool StaysValid(const Point3 (&before)[3], const Point3 (&after)[3]) {
  if (!(host::Dot(RawNormal(before[0], before[1], before[2]), RawNormal(after[0], after[1], after[2])) >=
        0.0f))
    return false;
  for (int k = 0; k < 3; ++k) {
    Point3 e0 = before[(k + 1) % 3] - before[k];
    Point3 e1 = after[(k + 1) % 3] - after[k];
    if (host::Dot(e0, e0) > kShortEdgeSq && host::Dot(e1, e1) < kShortEdgeSq) return false;
  }
  return true;
}

}  // namespace

bool SolveSkinWeights(std::span<const float> gram, std::size_t k, float target, std::vector<float>& weights) {
  weights.assign(k, 0.0f);
  std::vector<float> x(k, 0.0f);
  for (int pass = 0; pass < kMaxWeightPasses; ++pass) {
    bool changed = false;
    for (std::size_t i = 0; i < k; ++i) {
      if (!(x[i] < target - kWeightTolerance)) continue;
      float delta = target - x[i];
      weights[i] += delta;
      for (std::size_t j = 0; j < k; ++j) x[j] += delta * gram[j * k + i];
      changed = true;
    }
    if (!changed) return true;
  }
  return false;
}

bool ApplySkin(CollisionModel& model, float skin_width) {
  if (!(skin_width > 0.0f)) return true;
  const std::size_t nv = model.vertices.size();
  for (const CollisionVertex& v : model.vertices)
    if (v.planes.size() > kMaxVertexPlanes) return false;

  std::vector<Point3> original(nv);
  for (std::size_t i = 0; i < nv; ++i) original[i] = model.vertices[i].position;
  // Vertices name their planes by the plane's first triangle; its normal is the plane's.
  std::vector<Point3> inward(model.triangles.size());
  for (std::size_t t = 0; t < model.triangles.size(); ++t) {
    const CollisionTriangle& tri = model.triangles[t];
    inward[t] = -TriangleUnitNormal(original[tri.v[0]], original[tri.v[1]], original[tri.v[2]]);
  }

  std::vector<VertexSearch> search(nv, VertexSearch{.lo = 0, .hi = skin_width, .c = skin_width});
  std::vector<Point3> moved = original;
  std::vector<float> gram, weights;
  for (;;) {
    for (std::size_t i = 0; i < nv; ++i) {
      VertexSearch& s = search[i];
      if (s.state != VertexState::kOpen) continue;
      const std::vector<uint32_t>& planes = model.vertices[i].planes;
      const std::size_t k = planes.size();
      gram.resize(k * k);
      for (std::size_t a = 0; a < k; ++a)
        for (std::size_t b = 0; b < k; ++b) gram[a * k + b] = host::Dot(inward[planes[a]], inward[planes[b]]);
      if (!SolveSkinWeights(gram, k, s.c, weights)) return false;
      Point3 p = original[i];
      for (std::size_t a = 0; a < k; ++a) p = p + inward[planes[a]] * weights[a];
      moved[i] = p;
      s.too_far = s.can_go_further = false;
    }

    for (const CollisionTriangle& tri : model.triangles) {
      bool open = false;
      for (uint32_t v : tri.v) open = open || search[v].state == VertexState::kOpen;
      if (!open) continue;
      const Point3 before[3] = {original[tri.v[0]], original[tri.v[1]], original[tri.v[2]]};
      const Point3 after[3] = {moved[tri.v[0]], moved[tri.v[1]], moved[tri.v[2]]};
      bool valid = StaysValid(before, after);
      for (uint32_t v : tri.v) {
        VertexSearch& s = search[v];
        if (!valid && s.c - s.lo > kDistanceTolerance) s.too_far = true;
        if (valid && s.hi - s.c > kDistanceTolerance) s.can_go_further = true;
      }
    }

    bool changed = false;
    for (VertexSearch& s : search) {
      if (s.state != VertexState::kOpen) continue;
      const float before = s.c;
      if (s.too_far) {
        s.hi = s.c;
        s.c = (s.lo + s.hi) / 2;
      } else if (s.can_go_further) {
        s.lo = s.c;
        s.c = (s.lo + s.hi) / 2;
      }
      // Above a few thousand units neighbouring floats are more than 0.001 apart, and the
      // midpoint can round back onto c: the search cannot get closer and stops where it is.
      if (s.c == before) s.state = VertexState::kFinal;
      changed = true;
    }
    if (!changed) break;
  }

  for (std::size_t i = 0; i < nv; ++i) model.vertices[i].position = moved[i];
  // The triangle boxes follow the vertices (they are not stored); the model bounds do not.
  for (CollisionTriangle& tri : model.triangles) {
    tri.bounds = host::Box3{};
    for (uint32_t v : tri.v) tri.bounds.Include(moved[v]);
  }
  for (CollisionSphere& s : model.spheres)
    s.radius = s.radius - skin_width > 0.0f ? s.radius - skin_width : std::max(s.radius, kMinSphereRadius);
  return true;
}

}  // namespace vorlan::geometry
