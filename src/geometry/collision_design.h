// The collision design of a floating body: equal spheres ("globes") whose volumes add up to
// the body's volume, placed at the collision model's vertices and sphere centres and at
// points of its surface, for the engine's water physics.
//
// `build` takes the finished collision model of the body's physics shape and its volume:
//  - base centres are the model's vertices, then its sphere centres;
//  - surface points come from six sweeps of axis-parallel rays (+z, -z, +x, -x, +y, -y) over
//    the model's bounds shrunk by 0.1, each ray keeping its nearest triangle hit;
//  - the globe radius makes the globes' total volume equal the body's volume; centres closer
//    than one radius are merged into their midpoint, surface points closer than one radius to
//    a base centre are dropped, and the radius is recomputed until nothing changes;
//  - the section mask of a globe is a fixed 4 x 4 cross of 12 cells.
//
// Save buffer (little-endian, no padding): f32 volume, f32 bounding radius, f32 globe volume,
// f32 globe radius, u32 globe count, the centres as f32 x, y, z (base centres, then surface
// points), u32 section count, u8[16] section mask (row-major). Coordinates are those of the
// model, relative to the body's centre of mass.
//
// The ray sweeps and the merging reproduce the plain loops exactly: the sweeps scatter each
// triangle over the rays that pass its box, widened by the farthest that rounding in the
// ray test can carry a hit outside it; the merging looks up neighbours in a hash grid.
//
// Choices of this builder where the geometry gives no answer (each fails the build with its
// own text, so that nothing non-finite and nothing unbounded is ever written):
//  - a volume that is not finite or above kMaxVolume;
//  - a model coordinate, sphere centre or bound that is not finite or beyond kMaxCoordinate,
//    bounds with a minimum above the maximum, or a triangle naming a missing vertex;
//  - a sweep that would cast more than kMaxRaysPerSweep rays (a body much longer than it is
//    thick, where the walk along the long side would practically never end).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "geometry/collision_model.h"
#include "host/math3d.h"

namespace vorlan::geometry {

class CollisionDesign {
 public:
  static constexpr float kMaxVolume = 1e30f;
  static constexpr float kMaxCoordinate = 1e18f;
  static constexpr std::size_t kMaxRaysPerSweep = std::size_t{1} << 20;
  static constexpr std::size_t kMaxErrorText = 1023;

  // Computes the design and its save buffer from the model (read only, not kept) and the
  // body's volume. Does nothing once the design has failed; otherwise starts afresh. On
  // failure sets the failed flag and the error text, and the save buffer stays empty.
  void build(const CollisionModel& model, float volume);

  // Internal appenders, public because the node export and the tests name them. False when
  // memory runs out; the list or buffer is then unchanged.
  bool insert_point_to_inter_center_list(host::Point3 point);
  bool write_to_save_buffer(const uint8_t* bytes, std::size_t count);

  bool failed() const { return failed_; }
  const std::string& error_text() const { return error_; }

  // Empty when the build failed or did not run.
  std::span<const uint8_t> save_buffer() const { return failed_ ? std::span<const uint8_t>{} : buffer_; }
  std::size_t save_buffer_size() const { return save_buffer().size(); }

  // Results of the last build (as far as it got).
  std::span<const host::Point3> base_centers() const { return base_; }
  std::span<const host::Point3> inter_centers() const { return inter_; }
  host::Point3 ray_steps() const { return ray_steps_; }
  float globe_radius() const { return globe_radius_; }
  float globe_volume() const { return globe_volume_; }
  float design_volume() const { return design_volume_; }
  float bounding_radius() const { return bounding_radius_; }
  std::span<const uint8_t, 16> section_mask() const { return section_mask_; }
  uint32_t section_count() const { return section_count_; }

 private:
  void fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool build_steps(const CollisionModel& model, float volume);

  std::vector<host::Point3> base_;
  std::vector<host::Point3> inter_;
  host::Point3 ray_steps_;
  float globe_volume_ = 0, globe_radius_ = 0, design_volume_ = 0, bounding_radius_ = 0;
  std::array<uint8_t, 16> section_mask_{};
  uint32_t section_count_ = 0;
  bool failed_ = false;
  std::string error_;
  std::vector<uint8_t> buffer_;
};

// ---- Building blocks of `build`, exposed so that the tests can hold each one against the
// plain algorithm it replaces ---------------------------------------------------------------

// The lattice of the ray sweeps: the model's bounds shrunk by 0.1 per side (a minimum above
// its maximum is set to the maximum), the ray step per axis, and the coordinates walked per
// axis (from the minimum while <= the maximum, adding the step to a running float).
struct DesignSweepLattice {
  host::Box3 sweep_box;
  host::Point3 steps;
  std::array<std::vector<float>, 3> walk;
};

// Fills the lattice for finite bounds with min <= max. Returns false, with walk incomplete,
// when one sweep would cast more than max_rays_per_sweep rays or a walk stops advancing.
bool PlanDesignSweeps(const host::Box3& bounds, std::size_t max_rays_per_sweep, DesignSweepLattice& lattice);

// The ray of sweep `sweep` (0..5: +z, -z, +x, -x, +y, -y) at walk indices (outer, inner) of
// the sweep's two axes: +-z over x then y, +-x over y then z, +-y over x then z. It starts
// 0.1 outside the bounds.
struct DesignRay {
  host::Point3 origin, dir;
};
DesignRay DesignSweepRay(const host::Box3& bounds, const DesignSweepLattice& lattice, int sweep,
                         std::size_t outer, std::size_t inner);

// Appends, for every ray of sweep `sweep` (0..5) in walk order, origin + dir * t of its
// nearest hit (t below 1e20; the first triangle keeps a tie). The lattice must
// come from a successful PlanDesignSweeps on model.bounds, and every triangle must name
// existing vertices.
void SweepDesignSurface(const CollisionModel& model, const DesignSweepLattice& lattice, int sweep,
                        std::vector<host::Point3>& hits);

// Globe radius for the body volume spread over `count` globes: (3 V / (count x 12.566))^(1/3)
// in double precision, stored as float. count > 0.
float DesignGlobeRadius(float volume, std::size_t count);

// One merging pass: for each centre i in order, every later centre j closer than r (squared
// distance below r * r) is merged into it (i becomes the midpoint, j is replaced by the last
// centre and examined again). Returns the number of merges.
std::size_t MergeDesignCenters(std::vector<host::Point3>& centers, float r);

// Removes, in order, every point closer than r to any of the fixed centres (the last point
// takes its place and is examined again). Returns the number removed.
std::size_t RemoveDesignPointsNear(std::vector<host::Point3>& points, std::span<const host::Point3> centers,
                                   float r);

}  // namespace vorlan::geometry
