// Physical properties of geometric nodes: the Physics block written after the GObj.
#pragma once

#include <cstdint>

#include "host/node.h"
#include "zefexport/export_context.h"
#include "zefexport/mesh_export.h"

namespace vorlan::zefexport {

// What a node's user properties and child nodes say about its physics, gathered before the
// GObj is written (collision objects get their marks here).
struct PhysicsSources {
  bool hasWeight = false;
  float weight = 0.0f;
};

PhysicsSources GatherPhysics(ExportContext& ctx, host::Node& node, const FaceList& faces);

// Writes the Physics block when the node has physical properties; returns its size or 0.
uint32_t WritePhysicsBlock(ExportContext& ctx, host::Node& node, const FaceList& faces,
                           const PhysicsSources& sources);

}  // namespace vorlan::zefexport
