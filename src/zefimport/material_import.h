// The MatList block: one host material per record, with its textures found on disk.
#pragma once

#include "zefimport/import_context.h"

namespace vorlan::zefimport {

// Reads the MatList at the reader's cursor into ctx.materials (one entry per record, so a
// GBlock's index always finds its own record; a record that makes no material leaves an
// empty entry). Leaves the cursor past the block; false when the block cannot be read.
bool ImportMatList(ImportContext& ctx);

}  // namespace vorlan::zefimport
