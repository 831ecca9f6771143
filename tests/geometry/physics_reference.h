// Plain versions of the physics shape's search stages: linear first-match welding, edge and
// plane searches, and a ray from every lattice point against every primitive. They are the
// oracle the hashed and column-based stages must match byte for byte.
#pragma once

#include <span>
#include <vector>

#include "geometry/collision_model.h"
#include "geometry/physics_shape.h"

namespace vorlan::geometry::reference {

void SampleInterior(std::span<const ShapePrimitive> primitives, const SampleLattice& lattice,
                    std::vector<host::Point3>& inside);

void BuildCollisionTopology(std::span<const host::Point3> corners, CollisionTopology& out);

inline ShapeStages Stages() {
  return ShapeStages{.sample = &SampleInterior, .build_topology = &BuildCollisionTopology};
}

}  // namespace vorlan::geometry::reference
