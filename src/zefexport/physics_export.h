// Physical properties of geometric nodes: the collision shape, the collision mesh record,
// the buoyancy design and the Physics block written after the GObj.
//
// Artists steer them with the node's user properties ("Phy_weight", "hydro", "glass") and
// with child nodes named by convention ("^K" and "!" collision objects, "^T" centre, "^B"
// collision mesh) and sphere helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/collision_design.h"
#include "geometry/physics_shape.h"
#include "host/node.h"
#include "zefexport/export_context.h"
#include "zefexport/mesh_export.h"

namespace vorlan::zefexport {

// The number after "Phy_weight" and the next "=", or nothing when the node has no weight.
std::optional<float> ParsePhysicsWeight(std::string_view userProps);
// The value of a "key=value" user property line (trimmed), or nothing.
std::optional<std::string> UserPropertyValue(std::string_view userProps, std::string_view key);
// Whether a user property "key" is present (as a word at the start of a line).
bool HasUserProperty(std::string_view userProps, std::string_view key);

// What the exporter found for one node, gathered before its GObj is written (collision
// objects get their marks here, before the walk reaches them).
struct PhysicsSources {
  bool hasWeight = false;
  float weight = 0.0f;
  std::unique_ptr<geometry::PhysicsShape> shape;
  std::vector<uint8_t> collisionMesh;  // record A with its leading size word; empty if none
  std::unique_ptr<geometry::CollisionDesign> design;
};

PhysicsSources GatherPhysics(ExportContext& ctx, host::Node& node, const FaceList& faces);

// Writes the Physics block when the node has a finished shape; returns its size or 0.
uint32_t WritePhysicsBlock(ExportContext& ctx, host::Node& node, const FaceList& faces,
                           const PhysicsSources& sources);

// The collision mesh record of a "^B" node in the space of `owner`: total size, triangle
// count, vertex count, indices, positions.
std::vector<uint8_t> MakeCollisionMeshRecord(const host::Node& owner, const host::Node& meshNode);

}  // namespace vorlan::zefexport
