// The animation section of scene documents: a node's "controller" with its sub-controllers,
// their keys, and a camera's field-of-view keys. Every float is written as the shortest
// text that reads back as the same float, so keys come back bit for bit.
#pragma once

#include <memory>
#include <optional>

#include "workbench/controllers.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench::docjson {

// What a node's "controller" holds, read and checked before the scene changes.
struct ControllerDesc {
  std::shared_ptr<TransformControl> transform;
  std::shared_ptr<ControlBase> fov;  // for the node's camera
};

// The node's "controller" member, or nothing when the node has the plain transform
// controller without sub-controllers and no field-of-view keys.
std::optional<Json> WriteNodeController(const SceneNode& node);
// Throws DocumentError at `path`.
ControllerDesc ReadNodeController(const Json& j, const std::string& path);
// Puts what was read onto a built node.
void ApplyNodeController(const ControllerDesc& desc, SceneNode& node);

}  // namespace vorlan::workbench::docjson
