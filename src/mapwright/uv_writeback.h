// Writing edited texture coordinates back into the host's mesh ("Update Max UVWs").
#pragma once

#include "host/mesh.h"
#include "mapwright/uv_model.h"

namespace vorlan::mapwright {

// Makes the mesh support a map channel: a channel it lacks gets one map vertex per mesh
// vertex at the vertex's position and map faces like the mesh faces, as the host does.
void EnableMapChannel(host::Mesh& mesh, int channel);

// Writes the texture's coordinates of the group's faces into the texture's map channel:
// u = x / width and v = -y / height, times the texture's output factor. A map vertex keeps
// its index while every corner that uses it gets the same value; a corner that needs another
// value than its neighbours, or than faces outside the group, gets a map vertex of its own.
// Corners whose value did not change keep their map vertex untouched, bit for bit.
// False when the channel is out of range.
bool WriteBack(const UvModel& model, int group, int texture, host::Mesh& mesh);

}  // namespace vorlan::mapwright
