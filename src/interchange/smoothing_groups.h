// Smoothing groups from a mesh's explicit normals. Files say where a surface is smooth by
// giving corners that meet the same normal, and where it creases by giving them different
// ones; the host says it with smoothing groups, which the scene exporter turns back into
// normals by averaging the faces that share a vertex and a group bit.
#pragma once

#include "host/mesh.h"

namespace vorlan::workbench::interchange {

// Gives the smooth faces of `mesh` (smGroup != 0; faceted faces keep 0) one group bit per
// surface, so that a crease between two smooth surfaces stays a crease. Faces whose corners
// share a normal at a vertex form one surface; surfaces that meet at a vertex get different
// bits, each the lowest one its neighbours left free. Only a surface with all 32 bits taken
// around it shares one. Needs normalFaces beside faces; does nothing without them.
void GroupSmoothFaces(host::Mesh& mesh);

}  // namespace vorlan::workbench::interchange
