// Block builders for the node kinds other than geometry. Each writes at the scene buffer's
// offset, advances it and returns the bytes written; 0 means the node has nothing the
// engine can use and the driver drops it.
#pragma once

#include <cstdint>

#include "host/node.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

uint32_t BuildCameraBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object);
uint32_t BuildLightBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object);
uint32_t BuildHelperBlocks(ExportContext& ctx, const host::Node& node, const host::Object& object);

}  // namespace vorlan::zefexport
