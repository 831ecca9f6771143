#include "geometry/collision_model.h"

#include <algorithm>
#include <cmath>

#include "support/bytes.h"

namespace vorlan::geometry {

using host::Point3;

Point3 TriangleUnitNormal(Point3 p0, Point3 p1, Point3 p2) {
  return host::Normalize(host::Cross(p1 - p0, p2 - p0));
}

bool LiesInPlane(const CollisionPlane& plane, Point3 p0, Point3 n) {
  if (!(host::Dot(n, plane.normal) >= kCoplanarDot)) return false;
  // A zero offset vector stays zero through Normalize and so counts as in the plane.
  return std::fabs(host::Dot(plane.normal, host::Normalize(p0 - plane.point))) <= kInPlaneDot;
}

namespace {

// Membership in a vertex's plane list. Lists are short except around fan centres, where a
// sorted copy keeps the edge pairing from turning quadratic.
class PlaneLists {
 public:
  explicit PlaneLists(const std::vector<CollisionVertex>& vertices) : vertices_(vertices) {
    sorted_.resize(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
      if (vertices[i].planes.size() > kLinear) {
        sorted_[i] = vertices[i].planes;
        std::sort(sorted_[i].begin(), sorted_[i].end());
      }
  }

  bool Holds(uint32_t vertex, uint32_t plane) const {
    const std::vector<uint32_t>& list = vertices_[vertex].planes;
    if (list.size() <= kLinear) return std::find(list.begin(), list.end(), plane) != list.end();
    return std::binary_search(sorted_[vertex].begin(), sorted_[vertex].end(), plane);
  }

 private:
  static constexpr std::size_t kLinear = 16;
  const std::vector<CollisionVertex>& vertices_;
  std::vector<std::vector<uint32_t>> sorted_;
};

bool PairHolds(const CollisionEdge& e, uint32_t plane) {
  return e.planes[0] == plane || e.planes[1] == plane;
}

}  // namespace

void CompleteCollisionModel(CollisionTopology& topology) {
  CollisionModel& model = topology.model;
  {
    PlaneLists lists(model.vertices);
    for (CollisionEdge& e : model.edges) {
      // Every edge belongs to a triangle whose plane both its ends hold, so one common plane
      // always exists; the fallback only keeps the record defined.
      const std::vector<uint32_t>& a = model.vertices[e.a].planes;
      int found = 0;
      for (std::size_t i = 0; i < a.size() && found < 2; ++i)
        if (lists.Holds(e.b, a[i])) e.planes[found++] = a[i];
      if (found == 0) e.planes[0] = a.empty() ? 0 : a[0];
      if (found < 2) e.planes[1] = e.planes[0];
    }
  }

  for (std::size_t t = 0; t < model.triangles.size(); ++t) {
    CollisionTriangle& tri = model.triangles[t];
    const CollisionEdge& e0 = model.edges[tri.e[0]];
    const CollisionEdge& e1 = model.edges[tri.e[1]];
    const CollisionEdge& e2 = model.edges[tri.e[2]];
    // Strongly non-manifold input can leave the three pairs without a common plane; the
    // triangle then keeps the plane it was found to lie in.
    tri.plane = topology.triangle_planes[t];
    for (uint32_t p : e0.planes)
      if (PairHolds(e1, p) && PairHolds(e2, p)) {
        tri.plane = p;
        break;
      }
  }

  for (CollisionEdge& e : model.edges) {
    Point3 c = host::Cross(model.planes[e.planes[0]].normal, model.planes[e.planes[1]].normal);
    e.crease = host::Dot(c, c) > 0.0f ? 1 : 0;
    if (e.crease) model.vertices[e.a].crease = model.vertices[e.b].crease = 1;
  }

  for (CollisionVertex& v : model.vertices)
    for (uint32_t& p : v.planes) p = model.planes[p].first_triangle;

  model.bounds = host::Box3{};
  for (const CollisionVertex& v : model.vertices) model.bounds.Include(v.position);
  for (const CollisionSphere& s : model.spheres) {
    model.bounds.Include(s.center - Point3{s.radius, s.radius, s.radius});
    model.bounds.Include(s.center + Point3{s.radius, s.radius, s.radius});
  }
}

void WriteCollisionModel(const CollisionModel& model, const std::array<float, 9>& written_inertia,
                         std::vector<uint8_t>& out) {
  support::ByteWriter w(out);
  w.U32(kCollisionModelMagic);
  w.U32(static_cast<uint32_t>(model.vertices.size()));
  w.U32(static_cast<uint32_t>(model.edges.size()));
  w.U32(static_cast<uint32_t>(model.triangles.size()));
  w.U32(static_cast<uint32_t>(model.spheres.size()));
  for (const CollisionVertex& v : model.vertices) {
    w.F32(v.position.x);
    w.F32(v.position.y);
    w.F32(v.position.z);
    std::size_t n = std::min(v.planes.size(), kMaxVertexPlanes);
    w.U8(static_cast<uint8_t>(n));
    for (std::size_t i = 0; i < n; ++i) w.U32(v.planes[i]);
    w.U8(v.crease);
  }
  for (const CollisionEdge& e : model.edges) {
    w.U32(e.a);
    w.U32(e.b);
    w.U32(e.planes[0]);
    w.U32(e.planes[1]);
    w.U8(e.crease);
  }
  for (const CollisionTriangle& t : model.triangles) {
    for (uint32_t v : t.v) w.U32(v);
    for (uint32_t e : t.e) w.U32(e);
    w.U32(t.plane);
    w.U32(t.surface);
  }
  for (const CollisionSphere& s : model.spheres) {
    w.F32(s.center.x);
    w.F32(s.center.y);
    w.F32(s.center.z);
    w.F32(s.radius);
    w.U32(s.surface);
  }
  for (float f : {model.bounds.min.x, model.bounds.min.y, model.bounds.min.z, model.bounds.max.x,
                  model.bounds.max.y, model.bounds.max.z})
    w.F32(f);
  for (float f : written_inertia) w.F32(f);
}

namespace {

bool Fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

Point3 ReadPoint(support::ByteReader& r) {
  float x = r.F32().value_or(0), y = r.F32().value_or(0), z = r.F32().value_or(0);
  return {x, y, z};
}

bool ReadBody(support::ByteReader& r, CollisionModel& m, std::string* error) {
  auto magic = r.U32();
  if (!magic) return Fail(error, "collision model: shorter than its header");
  if (*magic != kCollisionModelMagic) return Fail(error, "collision model: wrong magic number");
  uint32_t counts[4];
  for (uint32_t& c : counts) {
    auto v = r.U32();
    if (!v) return Fail(error, "collision model: shorter than its header");
    c = *v;
  }
  const uint32_t nv = counts[0], ne = counts[1], nt = counts[2], ns = counts[3];
  // Smallest record sizes: a count that cannot fit in what is left is refused before any
  // table is allocated.
  if (nv > r.Remaining() / 14) return Fail(error, "collision model: vertex count exceeds the data");
  m.vertices.resize(nv);
  for (CollisionVertex& v : m.vertices) {
    v.position = ReadPoint(r);
    uint8_t n = r.U8().value_or(0);
    if (r.Failed() || n > r.Remaining() / 4) return Fail(error, "collision model: vertex record cut short");
    v.planes.resize(n);
    for (uint32_t& p : v.planes) p = r.U32().value_or(0);
    v.crease = r.U8().value_or(0);
    if (r.Failed()) return Fail(error, "collision model: vertex record cut short");
  }
  if (ne > r.Remaining() / 17) return Fail(error, "collision model: edge count exceeds the data");
  m.edges.resize(ne);
  for (CollisionEdge& e : m.edges) {
    e.a = r.U32().value_or(0);
    e.b = r.U32().value_or(0);
    e.planes[0] = r.U32().value_or(0);
    e.planes[1] = r.U32().value_or(0);
    e.crease = r.U8().value_or(0);
    if (e.a >= nv || e.b >= nv) return Fail(error, "collision model: edge names a missing vertex");
  }
  if (nt > r.Remaining() / 32) return Fail(error, "collision model: triangle count exceeds the data");
  m.triangles.resize(nt);
  for (CollisionTriangle& t : m.triangles) {
    for (uint32_t& v : t.v) v = r.U32().value_or(0);
    for (uint32_t& e : t.e) e = r.U32().value_or(0);
    t.plane = r.U32().value_or(0);
    t.surface = r.U32().value_or(0);
    for (uint32_t v : t.v)
      if (v >= nv) return Fail(error, "collision model: triangle names a missing vertex");
    for (uint32_t e : t.e)
      if (e >= ne) return Fail(error, "collision model: triangle names a missing edge");
  }
  if (ns > r.Remaining() / 20) return Fail(error, "collision model: sphere count exceeds the data");
  m.spheres.resize(ns);
  for (CollisionSphere& s : m.spheres) {
    s.center = ReadPoint(r);
    s.radius = r.F32().value_or(0);
    s.surface = r.U32().value_or(0);
  }
  m.bounds.min = ReadPoint(r);
  m.bounds.max = ReadPoint(r);
  for (float& f : m.inertia) f = r.F32().value_or(0);
  if (r.Failed()) return Fail(error, "collision model: cut short before the inertia ends");
  // There are never more planes than triangles: vertices name a plane by the first triangle
  // that made it, edges and triangles by its ordinal.
  for (const CollisionVertex& v : m.vertices)
    for (uint32_t p : v.planes)
      if (p >= nt) return Fail(error, "collision model: vertex names a missing triangle");
  for (const CollisionEdge& e : m.edges)
    if (e.planes[0] >= nt || e.planes[1] >= nt)
      return Fail(error, "collision model: edge names a missing plane");
  for (const CollisionTriangle& t : m.triangles)
    if (t.plane >= nt) return Fail(error, "collision model: triangle names a missing plane");
  if (r.Remaining() != 0) return Fail(error, "collision model: bytes left after the inertia");
  return true;
}

}  // namespace

std::optional<CollisionModel> ReadCollisionModel(std::span<const uint8_t> data, std::string* error) {
  support::ByteReader r(data);
  CollisionModel m;
  if (!ReadBody(r, m, error)) return std::nullopt;
  return m;
}

}  // namespace vorlan::geometry
