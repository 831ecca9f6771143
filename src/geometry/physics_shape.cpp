#include "geometry/physics_shape.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vorlan::geometry {

using host::Point3;

namespace {

constexpr float kMinCell = 1e-5f;
constexpr float kMinCellVolume = 1e-5f;
constexpr float kMinVolume = 1e-5f;
constexpr float kSmallPivot = 1e-5f;
// A pivot this small against the largest entry means the matrix has no usable inverse: the
// samples lie on a line or in one point, and what is left is rounding.
constexpr float kSingularPivot = 1e-6f;

bool Usable(float v) { return std::isfinite(v) && std::fabs(v) <= PhysicsShape::kMaxCoordinate; }
bool Usable(Point3 p) { return Usable(p.x) && Usable(p.y) && Usable(p.z); }

}  // namespace

std::vector<float> LatticeAxis(float min, float max, float cell) {
  std::vector<float> axis;
  for (float v = min + cell / 2; v <= max;) {
    axis.push_back(v);
    float next = v + cell;
    if (!(next > v)) break;
    v = next;
  }
  return axis;
}

std::array<float, 9> SampleInertia(std::span<const Point3> samples) {
  std::array<float, 9> m{};
  if (samples.empty()) return m;
  float xx = 0, yy = 0, zz = 0, xy = 0, xz = 0, yz = 0;
  for (const Point3& p : samples) {
    xx += p.y * p.y + p.z * p.z;
    yy += p.x * p.x + p.z * p.z;
    zz += p.x * p.x + p.y * p.y;
    xy += p.x * p.y;
    xz += p.x * p.z;
    yz += p.y * p.z;
  }
  const auto n = static_cast<float>(samples.size());
  m = {xx / n, -(xy / n), -(xz / n), -(xy / n), yy / n, -(yz / n), -(xz / n), -(yz / n), zz / n};
  return m;
}

std::array<float, 9> WrittenInertia(const std::array<float, 9>& inertia, float volume) {
  if (!(volume > kMinVolume)) return inertia;
  float a[3][6];
  float scale = 0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      a[r][c] = inertia[std::size_t(r * 3 + c)];
      a[r][c + 3] = r == c ? 1.0f : 0.0f;
      scale = std::max(scale, std::fabs(a[r][c]));
    }
  const std::array<float, 9> singular{};
  for (int c = 0; c < 3; ++c) {
    if (std::fabs(a[c][c]) < kSmallPivot) {
      for (int r = 2; r > c; --r)
        if (std::fabs(a[r][c]) > kSmallPivot) {
          for (int k = 0; k < 6; ++k) a[c][k] += a[r][k];
          break;
        }
    }
    const float pivot = a[c][c];
    if (!(std::fabs(pivot) > kSingularPivot * scale)) return singular;
    for (int k = 0; k < 6; ++k) a[c][k] /= pivot;
    for (int r = 0; r < 3; ++r) {
      if (r == c) continue;
      const float f = a[r][c];
      for (int k = 0; k < 6; ++k) a[r][k] -= f * a[c][k];
    }
  }
  std::array<float, 9> inverse;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      inverse[std::size_t(r * 3 + c)] = a[r][c + 3];
      if (!std::isfinite(a[r][c + 3])) return singular;
    }
  return inverse;
}

bool PhysicsShape::Begin(int resolution_x, int resolution_y, int resolution_z) {
  if (begun_) return false;
  if (resolution_x < 1 || resolution_y < 1 || resolution_z < 1) return false;
  if (static_cast<long long>(resolution_x) * resolution_y > kMaxLatticePoints / resolution_z) return false;
  *this = PhysicsShape{};
  begun_ = true;
  resolution_[0] = resolution_x;
  resolution_[1] = resolution_y;
  resolution_[2] = resolution_z;
  return true;
}

bool PhysicsShape::AddTriangle(Point3 p0, Point3 p1, Point3 p2, uint32_t surface) {
  if (!begun_ || !Usable(p0) || !Usable(p1) || !Usable(p2)) return false;
  try {
    primitives_.push_back(
        ShapePrimitive{.kind = PrimitiveKind::kTriangle, .corners = {p0, p1, p2}, .surface = surface});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool PhysicsShape::AddSphere(Point3 center, float radius, uint32_t surface) {
  if (!begun_ || !Usable(center) || !Usable(radius) || radius < 0.0f) return false;
  try {
    primitives_.push_back(ShapePrimitive{
        .kind = PrimitiveKind::kSphere, .center = center, .radius = radius, .surface = surface});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool PhysicsShape::SetCenterOfMass(Point3 point) {
  if (!begun_ || !Usable(point)) return false;
  center_of_mass_ = point;
  center_explicit_ = true;
  return true;
}

bool PhysicsShape::Finish(float skin_width) { return Finish(skin_width, FastShapeStages()); }

bool PhysicsShape::Finish(float skin_width, const ShapeStages& stages) {
  if (!begun_ || !Usable(skin_width)) return false;
  begun_ = false;
  if (primitives_.empty()) return true;
  try {
    // Bounds and lattice.
    host::Box3 bounds;
    for (const ShapePrimitive& p : primitives_) {
      if (p.kind == PrimitiveKind::kTriangle) {
        for (const Point3& c : p.corners) bounds.Include(c);
      } else {
        bounds.Include(p.center - Point3{p.radius, p.radius, p.radius});
        bounds.Include(p.center + Point3{p.radius, p.radius, p.radius});
      }
    }
    Point3 extent = bounds.max - bounds.min;
    cell_ = {extent.x / float(resolution_[0]), extent.y / float(resolution_[1]),
             extent.z / float(resolution_[2])};
    if (cell_.x >= kMinCell && cell_.y >= kMinCell && cell_.z >= kMinCell) {
      SampleLattice lattice{LatticeAxis(bounds.min.x, bounds.max.x, cell_.x),
                            LatticeAxis(bounds.min.y, bounds.max.y, cell_.y),
                            LatticeAxis(bounds.min.z, bounds.max.z, cell_.z)};
      stages.sample(primitives_, lattice, samples_);
    }

    // Mass properties.
    volume_ = float(samples_.size()) * cell_.x * cell_.y * cell_.z;
    if (!center_explicit_) {
      if (cell_.x * cell_.y * cell_.z >= kMinCellVolume) {
        Point3 sum;
        for (const Point3& p : samples_) sum += p;
        center_of_mass_ = volume_ > kMinVolume ? sum / float(samples_.size()) : Point3{};
      } else {
        center_of_mass_ = bounds.Center();
      }
    }
    const Point3 com = center_of_mass_;
    for (ShapePrimitive& p : primitives_) {
      for (Point3& c : p.corners) c -= com;
      p.center -= com;
    }
    bounds.min -= com;
    bounds.max -= com;
    bounds_ = bounds;
    for (Point3& p : samples_) p -= com;
    inertia_ = SampleInertia(samples_);

    // Collision model.
    std::vector<Point3> corners;
    for (const ShapePrimitive& p : primitives_)
      if (p.kind == PrimitiveKind::kTriangle)
        corners.insert(corners.end(), std::begin(p.corners), std::end(p.corners));
    CollisionTopology topology;
    stages.build_topology(corners, topology);
    std::size_t t = 0;
    for (const ShapePrimitive& p : primitives_) {
      if (p.kind == PrimitiveKind::kTriangle)
        topology.model.triangles[t++].surface = p.surface;
      else
        topology.model.spheres.push_back(
            CollisionSphere{.center = p.center, .radius = p.radius, .surface = p.surface});
    }
    CompleteCollisionModel(topology);
    model_ = std::move(topology.model);
    model_.inertia = inertia_;
    // A failed skin leaves the model as it was, which is still a valid collision surface.
    ApplySkin(model_, skin_width);

    WriteCollisionModel(model_, WrittenInertia(inertia_, volume_), buffer_);
    has_model_ = true;
  } catch (const std::bad_alloc&) {
    const int r[3] = {resolution_[0], resolution_[1], resolution_[2]};
    *this = PhysicsShape{};
    std::copy(r, r + 3, resolution_);
    return false;
  }
  return true;
}

}  // namespace vorlan::geometry
