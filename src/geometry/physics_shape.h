// The rigid-body description of one exported node: mass properties (volume, centre of mass,
// inertia per unit mass) found by sampling the interior on a regular lattice, and the
// collision model with its save buffer.
//
// Use: Begin(20, 20, 20); AddTriangle / AddSphere for every collision primitive, each with
// its material's surface code; optionally SetCenterOfMass; Finish(skin width). The results
// are then read through the accessors until the next Begin. Finish moves everything so that
// the centre of mass is the origin: the model, the samples and the bounds are all relative
// to it.
//
// Interior test: a lattice point is inside when it lies in or on a sphere, or when a ray from
// it along +Z crosses the triangles an odd number of times (hits closer than 0.001 to an
// earlier counted hit of the same ray count once). Sampling needs every cell size to be at
// least 1e-5; a flat shape is not sampled and has volume 0. The centre of mass is the mean of
// the samples when a cell holds at least 1e-5 of volume (the origin when nothing is inside),
// else the centre of the bounds.
//
// The planes and the skin work on the welded vertex positions (each the first corner that
// made the vertex), so the model agrees with itself. A skin whose weight solve fails at some
// vertex (opposite or degenerate planes meet there) is skipped as a whole: vertices and
// spheres keep their places and sizes.
//
// Choices of this builder where the geometry gives no answer:
// - A primitive with a coordinate or radius that is not finite, outside +-1e9, or a negative
//   radius is refused by AddTriangle / AddSphere (false, nothing added); a skin width that is
//   not finite or beyond 1e9 is refused by Finish. So every result is finite.
// - Running out of memory makes AddTriangle, AddSphere or Finish return false (no exception
//   escapes; see Finish).
// - A singular inertia with a volume above 1e-5 (the samples lie on a line or in one point)
//   cannot be inverted; its inverse is written as zeros, which the engine reads as a body
//   that does not rotate.
// - A triangle whose edges share no plane takes the plane it was put in when planes were
//   found. A vertex touching more than 255 planes is listed with its first 255 in the buffer,
//   and the skin step is then skipped (the weight solve is not meant for such fans).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/collision_model.h"
#include "host/math3d.h"

namespace vorlan::geometry {

enum class PrimitiveKind : uint8_t { kTriangle, kSphere };

struct ShapePrimitive {
  PrimitiveKind kind = PrimitiveKind::kTriangle;
  host::Point3 corners[3];  // triangle
  host::Point3 center;      // sphere
  float radius = 0;         // sphere
  uint32_t surface = 0;     // surface code of the primitive's material
};

// The lattice walked by the sampling: on each axis from min + cell / 2 while <= max, adding
// the cell size to a running single-precision value.
struct SampleLattice {
  std::vector<float> x, y, z;
};
// The coordinates of one axis. Stops early if adding the cell no longer changes the value, so
// that a cell tiny against the coordinates cannot loop forever.
std::vector<float> LatticeAxis(float min, float max, float cell);

// Inside or on the sphere: squared distance to the centre at most the radius squared.
inline bool InsideSphere(host::Point3 p, host::Point3 center, float radius) {
  host::Point3 d = p - center;
  return host::Dot(d, d) <= radius * radius;
}

// The two search-heavy stages of Finish. They can be swapped so that the plain algorithms run
// through the very same pipeline (the tests compare the two).
struct ShapeStages {
  // Appends the lattice points inside the shape to inside, x outermost and z innermost.
  void (*sample)(std::span<const ShapePrimitive> primitives, const SampleLattice& lattice,
                 std::vector<host::Point3>& inside);
  // Welding, edges and planes (corners three per triangle, in triangle order).
  void (*build_topology)(std::span<const host::Point3> corners, CollisionTopology& out);
};
// The hash-grid and lattice-column versions used by Finish(skin_width).
ShapeStages FastShapeStages();

class PhysicsShape {
 public:
  // Coordinates and radii are accepted up to this magnitude; beyond it squares and sums of
  // the mass properties would overflow single precision.
  static constexpr float kMaxCoordinate = 1e9f;
  // Largest product of the three lattice resolutions (the samples are kept in memory).
  static constexpr long long kMaxLatticePoints = 1ll << 24;

  // Starts a new shape with the lattice resolution per axis (each at least 1, their product
  // at most kMaxLatticePoints). Returns false and changes nothing when already begun or when
  // a resolution is out of range. Releases the primitives and all results of an earlier
  // shape.
  bool Begin(int resolution_x, int resolution_y, int resolution_z);

  // False (and nothing added) when not begun or when the input is refused (see above).
  bool AddTriangle(host::Point3 p0, host::Point3 p1, host::Point3 p2, uint32_t surface);
  bool AddSphere(host::Point3 center, float radius, uint32_t surface);

  // Uses this point instead of the sampled centre of mass. False when not begun or refused.
  bool SetCenterOfMass(host::Point3 point);

  // Computes the mass properties, the collision model (with the skin when skin_width > 0) and
  // the save buffer, and ends the shape. With no primitives it succeeds and builds nothing:
  // no model, an empty buffer. False when not begun or when skin_width is refused (the shape
  // then stays begun and unchanged), and when memory runs out (the shape is then ended with
  // no primitives and no results).
  bool Finish(float skin_width);
  bool Finish(float skin_width, const ShapeStages& stages);

  bool IsBegun() const { return begun_; }
  std::span<const ShapePrimitive> Primitives() const { return primitives_; }

  float Volume() const { return volume_; }
  host::Point3 CenterOfMass() const { return center_of_mass_; }
  bool CenterOfMassIsExplicit() const { return center_explicit_; }
  // Inertia per unit mass about the centre of mass, row-major.
  const std::array<float, 9>& Inertia() const { return inertia_; }
  // Box of all primitives, moved with the centre of mass.
  const host::Box3& Bounds() const { return bounds_; }
  host::Point3 CellSize() const { return cell_; }
  std::span<const host::Point3> Samples() const { return samples_; }

  // Present after a Finish with at least one primitive. Part of the shape: valid until the
  // next Begin.
  bool HasModel() const { return has_model_; }
  const CollisionModel& Model() const { return model_; }

  std::span<const uint8_t> Buffer() const { return buffer_; }
  std::size_t BufferSize() const { return buffer_.size(); }

 private:
  bool begun_ = false;
  int resolution_[3] = {0, 0, 0};
  std::vector<ShapePrimitive> primitives_;
  host::Box3 bounds_;
  host::Point3 cell_;
  std::vector<host::Point3> samples_;
  float volume_ = 0;
  host::Point3 center_of_mass_;
  bool center_explicit_ = false;
  std::array<float, 9> inertia_{};
  bool has_model_ = false;
  CollisionModel model_;
  std::vector<uint8_t> buffer_;
};

// Inertia per unit mass of point samples about the origin: Ixx = mean(y^2 + z^2) ...,
// products of inertia negated. All zero without samples.
std::array<float, 9> SampleInertia(std::span<const host::Point3> samples);

// What the buffer stores for the inertia: its inverse when the volume is above 1e-5, else the
// matrix itself. The inverse comes from Gauss-Jordan elimination whose small pivots (below
// 1e-5) are repaired by adding the last later row that has a usable entry in that column; a
// matrix that stays singular gives zeros.
std::array<float, 9> WrittenInertia(const std::array<float, 9>& inertia, float volume);

}  // namespace vorlan::geometry
