// Welding, edge and plane searches of the collision model through hash grids.
//
// Each search must give exactly what a plain scan over everything built so far gives: the
// first (lowest-numbered) match. A grid only narrows the candidates; every candidate still
// goes through the very same comparison as the scan, and the lowest matching number wins.
// What has to be proved is that no match can hide outside the cells that are looked at, and
// the bounds for that are worked out beside each grid.
#include <algorithm>
#include <cmath>

#include "geometry/collision_model.h"
#include "geometry/physics_cell_table.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
constexpr uint32_t kNone = UINT32_MAX;

// Each grid below uses cells more than twice as wide as the largest coordinate difference a
// match can have. A point then shares its cell with every match, or the match lies in the
// neighbouring cell on the side of the cell's middle the point is on: two cells per axis.
struct CellSpan {
  int64_t cell;
  int64_t side;  // -1 or +1: the neighbour that can hold a match
};

CellSpan Locate(double value, double width) {
  double q = value / width;
  double cell = std::floor(q);
  return {static_cast<int64_t>(cell), q - cell < 0.5 ? -1 : 1};
}

// Welding. Two points match when their single-precision squared distance is at most 1e-6;
// rounding lets that pass only for true distances below 0.0011 on every axis, less than half
// of the 0.0025 cells. Coordinates are at most 1e9, so cell indices fit easily.
constexpr double kWeldCell = 0.0025;

class Welder {
 public:
  Welder(std::vector<CollisionVertex>& vertices, std::size_t expected)
      : vertices_(vertices), cells_(expected) {}

  uint32_t Weld(Point3 p) {
    const CellSpan x = Locate(p.x, kWeldCell), y = Locate(p.y, kWeldCell), z = Locate(p.z, kWeldCell);
    uint32_t best = kNone;
    for (int64_t dx : {int64_t{0}, x.side})
      for (int64_t dy : {int64_t{0}, y.side})
        for (int64_t dz : {int64_t{0}, z.side})
          for (uint32_t i = cells_.Find({x.cell + dx, y.cell + dy, z.cell + dz}); i != kNone; i = next_[i])
            if (i < best && Matches(vertices_[i].position, p)) best = i;
    if (best != kNone) return best;
    auto index = static_cast<uint32_t>(vertices_.size());
    vertices_.push_back(CollisionVertex{.position = p});
    next_.push_back(cells_.Push({x.cell, y.cell, z.cell}, index));
    return index;
  }

  static bool Matches(Point3 a, Point3 b) {
    Point3 d = a - b;
    return host::Dot(d, d) <= kWeldDistanceSq;
  }

 private:
  std::vector<CollisionVertex>& vertices_;
  CellTable<3> cells_;
  std::vector<uint32_t> next_;
};

// Edges: one per unordered vertex pair, so an exact key finds the only possible match.
class EdgeFinder {
 public:
  EdgeFinder(std::vector<CollisionEdge>& edges, std::size_t expected) : edges_(edges), table_(expected) {}

  uint32_t Find(uint32_t a, uint32_t b) {
    uint64_t lo = std::min(a, b), hi = std::max(a, b);
    CellTable<1>::Key key{static_cast<int64_t>((lo << 32) | hi)};
    uint32_t found = table_.Find(key);
    if (found != kNone) return found;
    auto index = static_cast<uint32_t>(edges_.size());
    edges_.push_back(CollisionEdge{.a = a, .b = b});
    table_.Push(key, index);
    return index;
  }

 private:
  std::vector<CollisionEdge>& edges_;
  CellTable<1> table_;
};

// Planes. A triangle (first corner p0, unit normal n) lies in plane P when
//   Dot(n, P.n) >= 0.999998  and  |Dot(P.n, Normalize(p0 - P.point))| <= 1e-6.
// Normals whose squared length is within 1e-5 of 1 ("unit" below) are hashed by their
// components and by the plane offset Dot(n, point), on a 4-D grid:
// - For two unit normals passing the first test, |n - P.n|^2 = |n|^2 + |P.n|^2 - 2 Dot
//   <= 2.00002 - 1.999996 + rounding < 2.5e-5, so |n - P.n| < 0.005: each component differs
//   by less than half the normal cell of 0.012.
// - With M the largest absolute vertex coordinate (|p| <= sqrt(3) M for any vertex), the
//   second test bounds |Dot(P.n, p0 - P.point)| by about 1.5e-6 |p0 - P.point| <= 6e-6 M
//   (below 1e-20 when the difference is so small that its length underflows), and
//   |Dot(n - P.n, p0)| < 0.005 sqrt(3) M < 0.0087 M. The query offset Dot(n, p0) is thus
//   within 0.0088 M + 1e-20 of the plane's offset Dot(P.n, P.point): less than half the
//   offset cell of 0.02 M + 2e-20.
// So 16 cells around the query hold every unit-normal plane it can lie in. Planes with
// other normals (lengths distorted by underflow in the normalisation) are kept in a short
// list that every query scans, and such a query scans all planes. An exactly zero normal
// (a degenerate triangle) can never pass the first test, either way round.
constexpr double kNormalCell = 0.012;

enum class NormalClass { kZero, kUnit, kOther };

NormalClass Classify(Point3 n) {
  if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) return NormalClass::kZero;
  double len2 = double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z;
  return std::fabs(len2 - 1.0) <= 1e-5 ? NormalClass::kUnit : NormalClass::kOther;
}

class PlaneFinder {
 public:
  PlaneFinder(std::vector<CollisionPlane>& planes, double max_coordinate, std::size_t expected)
      : planes_(planes), offset_cell_(0.02 * max_coordinate + 2e-20), cells_(expected) {}

  // The ordinal of the first plane the triangle lies in, or a new plane made from it.
  uint32_t Find(Point3 p0, Point3 n, uint32_t triangle) {
    NormalClass kind = Classify(n);
    uint32_t best = kNone;
    if (kind == NormalClass::kOther) {
      for (uint32_t i = 0; i < planes_.size() && best == kNone; ++i)
        if (LiesInPlane(planes_[i], p0, n)) best = i;
    } else if (kind == NormalClass::kUnit) {
      const Cell4 c = Locate4(p0, n);
      for (int64_t a : {int64_t{0}, c[0].side})
        for (int64_t b : {int64_t{0}, c[1].side})
          for (int64_t d : {int64_t{0}, c[2].side})
            for (int64_t e : {int64_t{0}, c[3].side})
              for (uint32_t i = cells_.Find({c[0].cell + a, c[1].cell + b, c[2].cell + d, c[3].cell + e});
                   i != kNone; i = next_[i])
                if (i < best && LiesInPlane(planes_[i], p0, n)) best = i;
      for (uint32_t i : others_)
        if (i < best && LiesInPlane(planes_[i], p0, n)) best = i;
    }
    if (best != kNone) return best;

    auto index = static_cast<uint32_t>(planes_.size());
    planes_.push_back(CollisionPlane{.point = p0, .normal = n, .first_triangle = triangle});
    next_.push_back(kNone);
    if (kind == NormalClass::kUnit) {
      const Cell4 c = Locate4(p0, n);
      next_[index] = cells_.Push({c[0].cell, c[1].cell, c[2].cell, c[3].cell}, index);
    } else if (kind == NormalClass::kOther)
      others_.push_back(index);
    return index;
  }

 private:
  using Cell4 = std::array<CellSpan, 4>;
  Cell4 Locate4(Point3 p, Point3 n) const {
    double offset = double(n.x) * p.x + double(n.y) * p.y + double(n.z) * p.z;
    return {Locate(n.x, kNormalCell), Locate(n.y, kNormalCell), Locate(n.z, kNormalCell),
            Locate(offset, offset_cell_)};
  }

  std::vector<CollisionPlane>& planes_;
  double offset_cell_;
  CellTable<4> cells_;
  std::vector<uint32_t> next_;
  std::vector<uint32_t> others_;
};

void AddUnique(std::vector<uint32_t>& list, uint32_t value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

}  // namespace

void BuildCollisionTopology(std::span<const Point3> corners, CollisionTopology& out) {
  out = CollisionTopology{};
  CollisionModel& model = out.model;
  std::size_t triangle_count = corners.size() / 3;
  model.triangles.resize(triangle_count);

  Welder welder(model.vertices, corners.size());
  EdgeFinder edges(model.edges, corners.size());
  for (std::size_t t = 0; t < triangle_count; ++t) {
    CollisionTriangle& tri = model.triangles[t];
    for (int k = 0; k < 3; ++k) tri.v[k] = welder.Weld(corners[3 * t + k]);
    for (int k = 0; k < 3; ++k) tri.e[k] = edges.Find(tri.v[k], tri.v[(k + 1) % 3]);
    for (uint32_t v : tri.v) tri.bounds.Include(model.vertices[v].position);
  }

  double max_coordinate = 0;
  for (const CollisionVertex& v : model.vertices)
    for (int k = 0; k < 3; ++k) max_coordinate = std::max(max_coordinate, std::fabs(double(v.position[k])));

  PlaneFinder planes(model.planes, max_coordinate, triangle_count);
  out.triangle_planes.resize(triangle_count);
  for (std::size_t t = 0; t < triangle_count; ++t) {
    CollisionTriangle& tri = model.triangles[t];
    Point3 p0 = model.vertices[tri.v[0]].position;
    Point3 n = TriangleUnitNormal(p0, model.vertices[tri.v[1]].position, model.vertices[tri.v[2]].position);
    uint32_t plane = planes.Find(p0, n, static_cast<uint32_t>(t));
    out.triangle_planes[t] = plane;
    for (uint32_t v : tri.v) AddUnique(model.vertices[v].planes, plane);
  }
}

}  // namespace vorlan::geometry
