// The "materials" array of scene documents: the workbench's material classes as JSON
// (docs/scene-format.md, section "Materials").
#pragma once

#include "workbench/scene_document.h"

namespace vorlan::workbench {

// The codec for Standard, Multi/Sub-Object, VexaMat, VexaLayer and other-class materials with
// bitmap and other textures. Reading refuses anything it does not know, naming the JSON path;
// writing refuses a material it cannot express (a parameter block the class does not have).
MaterialCodec MaterialDocumentCodec();

// Makes MaterialDocumentCodec the codec scene documents use when their options name none.
// Programs call it once at start-up, before loading or saving documents.
void RegisterMaterialDocumentCodec();

}  // namespace vorlan::workbench
