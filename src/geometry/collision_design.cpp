#include "geometry/collision_design.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <new>

#include "geometry/grid_hash.h"
#include "geometry/physics_ray.h"
#include "support/bytes.h"

namespace vorlan::geometry {
namespace {

using host::Box3;
using host::Point3;

constexpr float kGlobeFactor = 12.566f;  // 4 pi as the engine rounds it
constexpr float kNoHit = 1e20f;

// Ray axis, outer walk axis and inner walk axis of each sweep.
constexpr int kSweepAxes[6][3] = {{2, 0, 1}, {2, 0, 1}, {0, 1, 2}, {0, 1, 2}, {1, 0, 2}, {1, 0, 2}};

inline float Dist2(Point3 a, Point3 b) {
  float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

inline bool Usable(Point3 p) {
  constexpr float kMax = CollisionDesign::kMaxCoordinate;
  return std::fabs(p.x) <= kMax && std::fabs(p.y) <= kMax && std::fabs(p.z) <= kMax;  // false for NaN
}

// How far outside a triangle's box (on the two walk axes) the ray test can still report a
// hit through rounding. The test's u and v signs are decided within a few units of rounding
// of |o| (o = ray point - first corner); the u + v <= 1 side also suffers the rounding of
// the determinant, which matters for slivers; a side pushed out by delta moves the corners
// out by at most delta / sin(angle), with sin(angle) >= det / L^2. The bound below is that
// reasoning with generous constants; a triangle whose determinant is not clearly above its
// own rounding error gets an unbounded margin and is tried against every ray.
double HitMargin(const RayTriangleSetup& s, Point3 a, Point3 b, Point3 c, double reach) {
  constexpr double kEps = 0x1p-24;
  auto len = [](Point3 p, Point3 q) {
    double dx = double(p.x) - q.x, dy = double(p.y) - q.y, dz = double(p.z) - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
  };
  const double inv = std::fabs(static_cast<double>(s.inv_det));
  if (!(inv > 0) || !std::isfinite(inv)) return std::numeric_limits<double>::infinity();
  const double l = std::max({len(a, b), len(a, c), len(b, c)});
  const double det = (1.0 / inv) * (1 - 1e-6) - 2.01 * kEps * l * l;
  if (!(det > 0)) return std::numeric_limits<double>::infinity();
  const double side_uv = 3 * kEps * reach;
  const double side_w = kEps * l * (6.01 * l * l + 4.01 * reach * l) / det;
  const double corners = 2 * std::max(side_uv, side_w) * l * l / det;
  return 2 * (corners + kEps * (reach + l)) + 1e-30;
}

// Hash grid over a fixed set of points for neighbour searches within one radius r. Two
// points whose single-precision squared distance is below r * r differ by less than
// r * (1 + 1e-7) on every axis, so the cells overlapping p +- reach (reach a little above r)
// hold every candidate; with cells of 2 r those are at most two per axis. Collisions and
// repeated buckets only add candidates, which the callers' exact tests sort out.
class PointGrid {
 public:
  PointGrid(std::span<const Point3> points, float radius) {
    reach_ = static_cast<double>(radius) * (1 + 1e-5);
    inv_cell_ = 1.0 / (2 * reach_);
    if (!std::isfinite(reach_) || !std::isfinite(inv_cell_)) reach_ = inv_cell_ = 0;  // one cell for all
    std::size_t buckets = 16;
    while (buckets < points.size() * 2) buckets *= 2;
    mask_ = buckets - 1;
    start_.assign(buckets + 1, 0);
    std::vector<uint32_t> bucket_of(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      bucket_of[i] = static_cast<uint32_t>(Bucket(Cell(points[i], 0)));
      ++start_[bucket_of[i] + 1];
    }
    for (std::size_t b = 0; b < buckets; ++b) start_[b + 1] += start_[b];
    ids_.resize(points.size());
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < points.size(); ++i) ids_[fill[bucket_of[i]]++] = static_cast<uint32_t>(i);
  }

  // Calls visit(id) for every point in the buckets of the cells around p; an id may come
  // more than once.
  template <class Visit>
  void ForEachNear(Point3 p, Visit&& visit) const {
    const Key lo = Cell(p, -reach_), hi = Cell(p, reach_);
    for (int64_t x = lo.x; x <= hi.x; ++x)
      for (int64_t y = lo.y; y <= hi.y; ++y)
        for (int64_t z = lo.z; z <= hi.z; ++z) {
          const std::size_t b = Bucket({x, y, z});
          for (uint32_t k = start_[b]; k < start_[b + 1]; ++k) visit(ids_[k]);
        }
  }

 private:
  struct Key {
    int64_t x, y, z;
  };
  // Clamped so that far-away points share the outermost cells instead of overflowing; floor
  // and the arithmetic before it are monotone, so the cell range around p stays ordered.
  int64_t Coord(double v) const {
    constexpr double kLimit = 4.0e18;
    const double q = std::floor(v * inv_cell_);
    return q == q ? static_cast<int64_t>(std::clamp(q, -kLimit, kLimit)) : 0;  // NaN never matches anyway
  }
  Key Cell(Point3 p, double shift) const {
    return {Coord(double(p.x) + shift), Coord(double(p.y) + shift), Coord(double(p.z) + shift)};
  }
  std::size_t Bucket(Key k) const { return HashGridCell(k.x, k.y, k.z) & mask_; }

  double reach_ = 0, inv_cell_ = 0;
  std::size_t mask_ = 0;
  std::vector<uint32_t> start_, ids_;
};

// Indices [first, last) of the ascending walk values within [lo, hi].
void WalkRange(const std::vector<float>& walk, double lo, double hi, std::size_t& first, std::size_t& last) {
  first = static_cast<std::size_t>(
      std::lower_bound(walk.begin(), walk.end(), lo, [](float w, double v) { return w < v; }) - walk.begin());
  last = static_cast<std::size_t>(
      std::upper_bound(walk.begin(), walk.end(), hi, [](double v, float w) { return v < w; }) - walk.begin());
  if (last < first) last = first;
}

}  // namespace

// ---- Building blocks ----------------------------------------------------------------------

bool PlanDesignSweeps(const Box3& bounds, std::size_t max_rays_per_sweep, DesignSweepLattice& lattice) {
  Box3& s = lattice.sweep_box;
  Point3 extent;
  for (int k = 0; k < 3; ++k) {
    s.min[k] = bounds.min[k] + 0.1f;
    s.max[k] = bounds.max[k] - 0.1f;
    if (s.min[k] > s.max[k]) s.min[k] = s.max[k];
    extent[k] = s.max[k] - s.min[k];
  }
  float h = std::min({extent.x, extent.y, extent.z}) / 2.0f;
  if (h < 0.3f) h = 0.3f;
  for (int k = 0; k < 3; ++k) {
    float step = extent[k];
    while (h - 0.001f <= step / 2.0f) step /= 2.0f;
    if (step < 0.001f) step = 0.001f;
    lattice.steps[k] = step;
  }
  for (int k = 0; k < 3; ++k) {
    auto& walk = lattice.walk[static_cast<std::size_t>(k)];
    walk.clear();
    for (float v = s.min[k]; v <= s.max[k];) {
      if (walk.size() >= max_rays_per_sweep) return false;
      walk.push_back(v);
      float next = v + lattice.steps[k];
      if (next == v) return false;  // the walk would never end
      v = next;
    }
  }
  const std::size_t nx = lattice.walk[0].size(), ny = lattice.walk[1].size(), nz = lattice.walk[2].size();
  // Each count is at most the limit, so the products below cannot overflow 64 bits.
  return nx * ny <= max_rays_per_sweep && ny * nz <= max_rays_per_sweep && nx * nz <= max_rays_per_sweep;
}

DesignRay DesignSweepRay(const Box3& bounds, const DesignSweepLattice& lattice, int sweep, std::size_t outer,
                         std::size_t inner) {
  assert(sweep >= 0 && sweep < 6);
  const int* axes = kSweepAxes[sweep];
  DesignRay ray;
  ray.origin[axes[1]] = lattice.walk[static_cast<std::size_t>(axes[1])][outer];
  ray.origin[axes[2]] = lattice.walk[static_cast<std::size_t>(axes[2])][inner];
  const bool forward = sweep % 2 == 0;
  ray.origin[axes[0]] = forward ? bounds.min[axes[0]] - 0.1f : bounds.max[axes[0]] + 0.1f;
  ray.dir[axes[0]] = forward ? 1.0f : -1.0f;
  return ray;
}

void SweepDesignSurface(const CollisionModel& model, const DesignSweepLattice& lattice, int sweep,
                        std::vector<Point3>& hits) {
  const int* axes = kSweepAxes[sweep];
  const auto& outer = lattice.walk[static_cast<std::size_t>(axes[1])];
  const auto& inner = lattice.walk[static_cast<std::size_t>(axes[2])];
  const std::size_t n_outer = outer.size(), n_inner = inner.size();
  if (n_outer == 0 || n_inner == 0) return;
  const Box3& bounds = model.bounds;
  const Point3 dir = DesignSweepRay(bounds, lattice, sweep, 0, 0).dir;
  // The farthest a ray point can be from a triangle corner on the walk axes. A finished
  // model keeps its vertices within its bounds, but the box of both is taken so that the
  // margins hold for any model.
  Box3 extent = bounds;
  for (const CollisionVertex& v : model.vertices) extent.Include(v.position);
  const double span1 = double(extent.max[axes[1]]) - extent.min[axes[1]];
  const double span2 = double(extent.max[axes[2]]) - extent.min[axes[2]];
  const double reach = std::sqrt(span1 * span1 + span2 * span2);

  // Scatter each triangle over the rays near its box, in triangle order, so that the first
  // triangle keeps a tie exactly as the plain loop over triangles per ray does.
  std::vector<float> best(n_outer * n_inner, kNoHit);
  for (const CollisionTriangle& tri : model.triangles) {
    const Point3 a = model.vertices[tri.v[0]].position;
    const Point3 b = model.vertices[tri.v[1]].position;
    const Point3 c = model.vertices[tri.v[2]].position;
    const RayTriangleSetup setup = SetUpRayTriangle(dir, a, b, c);
    if (!setup.determinant_ok) continue;  // no ray of this sweep can hit it
    const double m = HitMargin(setup, a, b, c, reach);
    std::size_t i0, i1, j0, j1;
    WalkRange(outer, double(std::min({a[axes[1]], b[axes[1]], c[axes[1]]})) - m,
              double(std::max({a[axes[1]], b[axes[1]], c[axes[1]]})) + m, i0, i1);
    WalkRange(inner, double(std::min({a[axes[2]], b[axes[2]], c[axes[2]]})) - m,
              double(std::max({a[axes[2]], b[axes[2]], c[axes[2]]})) + m, j0, j1);
    for (std::size_t i = i0; i < i1; ++i)
      for (std::size_t j = j0; j < j1; ++j) {
        const DesignRay ray = DesignSweepRay(bounds, lattice, sweep, i, j);
        float t;
        float& slot = best[i * n_inner + j];
        if (RayHitsTriangle(setup, ray.origin, ray.dir, &t) && t < slot) slot = t;
      }
  }
  for (std::size_t i = 0; i < n_outer; ++i)
    for (std::size_t j = 0; j < n_inner; ++j) {
      const float t = best[i * n_inner + j];
      if (t < kNoHit) {
        const DesignRay ray = DesignSweepRay(bounds, lattice, sweep, i, j);
        hits.push_back(ray.origin + ray.dir * t);
      }
    }
}

float DesignGlobeRadius(float volume, std::size_t count) {
  return static_cast<float>(
      std::pow(3.0 * static_cast<double>(volume) / (static_cast<double>(count) * kGlobeFactor), 1.0 / 3.0));
}

std::size_t MergeDesignCenters(std::vector<Point3>& centers, float r) {
  if (!(r > 0) || centers.size() < 2) return 0;
  const float r2 = r * r;
  const PointGrid grid(centers, r);
  // Grid ids are the starting positions; centres keep their place in space while they wait,
  // only the merging centre moves, and it has left the grid by then.
  const std::size_t n0 = centers.size();
  std::vector<uint32_t> id_at(n0), pos_of(n0);
  std::vector<uint8_t> waiting(n0, 1);
  for (uint32_t k = 0; k < n0; ++k) id_at[k] = pos_of[k] = k;

  std::size_t n = n0, merges = 0;
  for (std::size_t i = 0; i < n; ++i) {
    waiting[id_at[i]] = 0;
    std::size_t cursor = i + 1;
    for (;;) {
      // The plain scan goes on from the cursor against the current (moved) centre i: the
      // first position at or after it that is close enough is the next merge.
      std::size_t found = n;
      grid.ForEachNear(centers[i], [&](uint32_t id) {
        if (!waiting[id]) return;
        const std::size_t p = pos_of[id];
        if (p >= cursor && p < found && Dist2(centers[i], centers[p]) < r2) found = p;
      });
      if (found == n) break;
      centers[i] = (centers[i] + centers[found]) * 0.5f;
      waiting[id_at[found]] = 0;
      centers[found] = centers[n - 1];
      id_at[found] = id_at[n - 1];
      pos_of[id_at[found]] = static_cast<uint32_t>(found);
      --n;
      ++merges;
      cursor = found;
    }
  }
  centers.resize(n);
  return merges;
}

std::size_t RemoveDesignPointsNear(std::vector<Point3>& points, std::span<const Point3> centers, float r) {
  if (!(r > 0) || points.empty() || centers.empty()) return 0;
  const float r2 = r * r;
  const PointGrid grid(centers, r);
  std::size_t removed = 0;
  for (std::size_t pos = 0; pos < points.size();) {
    bool near = false;
    grid.ForEachNear(points[pos], [&](uint32_t id) { near = near || Dist2(points[pos], centers[id]) < r2; });
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

// ---- The builder ----------------------------------------------------------------------------

void CollisionDesign::fail(const char* format, ...) {
  if (failed_) return;
  failed_ = true;
  char text[kMaxErrorText + 1];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  error_ = text;
  buffer_.clear();
}

bool CollisionDesign::insert_point_to_inter_center_list(Point3 point) {
  try {
    if (inter_.size() == inter_.capacity()) inter_.reserve(inter_.size() + 10 + inter_.size() / 2);
    inter_.push_back(point);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CollisionDesign::write_to_save_buffer(const uint8_t* bytes, std::size_t count) {
  try {
    if (buffer_.size() + count > buffer_.capacity()) buffer_.reserve(buffer_.size() + count + 500);
    buffer_.insert(buffer_.end(), bytes, bytes + count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CollisionDesign::build(const CollisionModel& model, float volume) {
  if (failed_) return;
  base_.clear();
  inter_.clear();
  buffer_.clear();
  ray_steps_ = {};
  globe_volume_ = globe_radius_ = bounding_radius_ = 0;
  section_mask_.fill(0);
  section_count_ = 0;
  design_volume_ = volume;
  if (!build_steps(model, volume)) buffer_.clear();
}

bool CollisionDesign::build_steps(const CollisionModel& model, float volume) {
  if (!(volume > 0)) {
    fail("build() - volume of collision design is wrong (%.2f <= 0)", static_cast<double>(volume));
    return false;
  }
  if (!(volume <= kMaxVolume)) {
    fail("build() - volume of collision design is not finite or too large (%.2f)",
         static_cast<double>(volume));
    return false;
  }
  const std::size_t nv = model.vertices.size(), ns = model.spheres.size();
  if (nv + ns < 1) {
    fail("build() - condition for collision design 'num_vertices + num_globes >= 1' failed (%d + %d < 1)",
         static_cast<int>(nv), static_cast<int>(ns));
    return false;
  }

  bool usable = Usable(model.bounds.min) && Usable(model.bounds.max);
  for (int k = 0; k < 3; ++k) usable = usable && model.bounds.min[k] <= model.bounds.max[k];
  for (const CollisionVertex& v : model.vertices) usable = usable && Usable(v.position);
  for (const CollisionSphere& s : model.spheres) usable = usable && Usable(s.center);
  if (!usable) {
    fail("build() - collision model of collision design has coordinates that are not finite or beyond %.0e",
         static_cast<double>(kMaxCoordinate));
    return false;
  }
  for (const CollisionTriangle& t : model.triangles)
    for (uint32_t v : t.v)
      if (v >= nv) {
        fail("build() - collision model of collision design has a triangle with a missing vertex (%u)", v);
        return false;
      }

  try {
    base_.reserve(nv + ns);
  } catch (const std::bad_alloc&) {
    fail("build() - Out of memory (when allocating 'base_centers_list')");
    return false;
  }
  for (const CollisionVertex& v : model.vertices) base_.push_back(v.position);
  for (const CollisionSphere& s : model.spheres) base_.push_back(s.center);

  try {
    DesignSweepLattice lattice;
    const bool planned = PlanDesignSweeps(model.bounds, kMaxRaysPerSweep, lattice);
    ray_steps_ = lattice.steps;
    if (!planned) {
      fail("build() - collision design needs more than %zu rays in one sweep (ray steps %.3f, %.3f, %.3f)",
           kMaxRaysPerSweep, static_cast<double>(ray_steps_.x), static_cast<double>(ray_steps_.y),
           static_cast<double>(ray_steps_.z));
      return false;
    }
    std::vector<Point3> hits;
    for (int sweep = 0; sweep < 6; ++sweep) {
      hits.clear();
      SweepDesignSurface(model, lattice, sweep, hits);
      for (Point3 p : hits)
        if (!insert_point_to_inter_center_list(p)) throw std::bad_alloc();
    }
  } catch (const std::bad_alloc&) {
    fail("insert_point_to_inter_center_list() - Out of memory (when allocating 'poi')");
    return false;
  }

  float r;
  try {
    r = DesignGlobeRadius(volume, base_.size() + inter_.size());
    MergeDesignCenters(base_, r);
    for (;;) {
      r = DesignGlobeRadius(volume, base_.size() + inter_.size());
      const std::size_t removed = RemoveDesignPointsNear(inter_, base_, r);
      const std::size_t merged = MergeDesignCenters(inter_, r);
      if (removed == 0 && merged == 0) break;
    }
  } catch (const std::bad_alloc&) {
    fail("build() - Out of memory (when allocating 'base_centers_list')");
    return false;
  }

  globe_radius_ = r;
  globe_volume_ = kGlobeFactor * r * r * r / 3.0f;
  bounding_radius_ = host::Length(model.bounds.max - model.bounds.min) / 2.0f + r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      const float x = static_cast<float>(i) * r / 2.0f + (r / 4.0f - r);
      const float y = static_cast<float>(j) * r / 2.0f + (r / 4.0f - r);
      const bool set = x * x + y * y < r * r;
      section_mask_[static_cast<std::size_t>(i * 4 + j)] = set ? 1 : 0;
      section_count_ += set ? 1 : 0;
    }

  std::vector<uint8_t> bytes;
  try {
    bytes.reserve(20 + 12 * (base_.size() + inter_.size()) + 20);
    support::ByteWriter w(bytes);
    w.F32(volume);
    w.F32(bounding_radius_);
    w.F32(globe_volume_);
    w.F32(globe_radius_);
    w.U32(static_cast<uint32_t>(base_.size() + inter_.size()));
    for (const auto* list : {&base_, &inter_})
      for (Point3 p : *list) {
        w.F32(p.x);
        w.F32(p.y);
        w.F32(p.z);
      }
    w.U32(section_count_);
    w.Bytes(section_mask_.data(), section_mask_.size());
  } catch (const std::bad_alloc&) {
    bytes.clear();
    bytes.shrink_to_fit();
  }
  if (bytes.empty() || !write_to_save_buffer(bytes.data(), bytes.size())) {
    fail("write_to_save_buffer(() - Out of memory (when allocating 'poi')");
    return false;
  }
  return true;
}

}  // namespace vorlan::geometry
