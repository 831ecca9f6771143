// The character parts of a scene document: a node's modifier stack (skin and Morpher).
//
//   "modifiers": [                         top of the stack first
//     {"type": "Morpher", "channels": [
//        {"name": "smile", "target": "Smile", "value": 0,
//         "points": [[x, y, z], ...], "deltas": [[dx, dy, dz], ...]}]},
//     {"type": "Skin", "bones": ["Spine", "Thigh"],
//      "vertices": [0, [[0, 0.25], [1, 0.75]], [], ...],   per mesh vertex: a rigid bone
//      "bindPoses": [[0, [[1, 0, 0], ...4 rows]], ...]}    index, blended [bone, weight]
//   ]                                                        pairs, or none; bind poses
//                                                            (optional) per bone
// Bones and targets name nodes, which may come later in the document; they are set once
// every node exists.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/modifier.h"
#include "workbench/document_json.h"
#include "workbench/scene.h"

namespace vorlan::workbench::docjson {

// A node reference inside a modifier, set once all nodes exist.
struct ModifierNodeRef {
  std::function<void(host::Node*)> set;
  std::string name;
  std::string path;
};

// Reads the "modifiers" array at `path`, top first. Throws DocumentError.
std::vector<std::shared_ptr<host::Modifier>> ReadModifiers(const Json& j, const std::string& path,
                                                           std::vector<ModifierNodeRef>& refs);
// The array for a node's stack; modifiers of other classes are left out.
Json WriteModifiers(const SceneNode& node);

}  // namespace vorlan::workbench::docjson
