// The exporter's two walks over the scene: the pre-pass that counts nodes, numbers shared
// objects and collects materials, and the main pass that writes one Node block per node.
#pragma once

#include <cstdint>

#include "host/node.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

// Visits `node` and, when it passes the selection test, its subtree. Returns the number of
// nodes counted (the header's node count).
uint32_t PrePass(ExportContext& ctx, const host::Node& node);

// Writes `node` and its subtree. Returns how many Node blocks now stand at the caller's
// level in its place: 1 for a written node; 0 for a skipped one; for a node that is dropped
// (no exportable kind) or that serves as a collision object, the number of its children
// written in its place, so that the parent's child count always matches the blocks.
uint32_t MainPass(ExportContext& ctx, host::Node& node);

// Removes the exporter's collision marks from `node` and its subtree.
void RemoveNodeMarks(host::Node& node);

bool HasCollisionMark(const host::Node& node);

}  // namespace vorlan::zefexport
