// Geometric nodes as .zef blocks: the face list of one node and the GObj built from it.
//
// A node is exported in two steps. BuildFaceList converts the node's object into a list of
// triangles with three unshared corner vertices each (position in the node's pivot space,
// normal, the texture coordinates the face's material needs) and the MatList index of every
// triangle. BuildGObj then splits that list by material into GBlocks and appends the GObj to
// the scene buffer. Identical corners are welded later, while the file is written.
//
// Both steps run on the exporting thread; they report their operation ("Mesh", "Smooth",
// "Converting") through the context's progress sink and every artist message through the
// host's user interface.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/material.h"
#include "host/math3d.h"
#include "host/node.h"
#include "zef/progress.h"
#include "zef/scene_buffer.h"
#include "zefexport/export_context.h"
#include "zefexport/face_list.h"

namespace vorlan::zefexport {

// Block IDs this builder writes.
inline constexpr uint32_t kGObjId = 0x30;
inline constexpr uint32_t kGBlockId = 0x31;
inline constexpr uint32_t kVerticesId = 0x32;
inline constexpr uint32_t kFacesId = 0x33;
inline constexpr uint32_t kUserPropsId = 0x34;
inline constexpr uint32_t kTransformId = 0x35;
inline constexpr uint32_t kInstanceId = 0x36;

inline constexpr uint32_t kTransformBlockSize = 108;
// Position and normal; the number of texture-coordinate pairs goes into bits 8 to 11.
inline constexpr uint32_t kVertexFormatPosNormal = 0x12;
// Texture-coordinate pairs a vertex record can carry: the vertex format's limit.
inline constexpr uint32_t kMaxTexturePairs = 8;
// Positions in a material's texture-channel list (map slots, engine layers).
inline constexpr int kTextureSlots = 20;

// Converts the node's object at time `t` into `out` (cleared first). `objectOffset` is the
// node's object-offset matrix as the driver builds it; positions end up in the node's pivot
// space. With ctx.options.resmoothSingleObjects set, corners at the same position whose
// triangles share a smoothing group get one common normal.
// Returns false, with nothing in `out`, when the node's object is not geometry that converts
// to a valid triangle mesh ("Convert...() - bad object pObj") or when memory runs out.
// Preconditions: the material list has been built and ctx.materials indexed.
bool BuildFaceList(ExportContext& ctx, const host::Node& node, host::TimeValue t,
                   const host::Matrix3& objectOffset, FaceList& out);
// The same from a mesh the caller already converted (null: the object could not be
// converted), so that the driver's check and the face list share one copy. The mesh's
// normals are built; it is otherwise left as it was.
bool BuildFaceList(ExportContext& ctx, const host::Node& node, host::TimeValue t,
                   const host::Matrix3& objectOffset, host::Mesh* mesh, FaceList& out);

// Appends the node's GObj at ctx.buffer's offset: Transform, UserProps, Instance (for a
// shared object) and one GBlock per MatList index in order of first use, each vertex moved
// by -offset. The second and later nodes of a shared object get only the three small
// blocks and a GBlock count of 0. Adds the triangles written to ctx.triangleTotal and
// returns the GObj's size (the offset has advanced by it). Returns 0 when the buffer refused
// the image (ctx.buffer.Fits() turns false) or, after a message and with the offset back
// where it was, when memory for the parts runs out.
uint32_t BuildGObj(ExportContext& ctx, const host::Node& node, const FaceList& faces, host::Point3 offset);

// The 108-byte Transform block of the node's transform at time 0, at the buffer's offset.
// Returns its size.
uint32_t WriteTransformBlock(zef::SceneBuffer& buffer, const host::Node& node);
// The same of any transform.
uint32_t WriteTransformBlock(zef::SceneBuffer& buffer, const host::Matrix3& tm);

// The node's user-defined properties text as a UserProps block. Returns its size.
uint32_t WriteUserPropsBlock(zef::SceneBuffer& buffer, const host::Node& node);
// The same of a text the caller took from a node.
uint32_t WriteUserPropsBlock(zef::SceneBuffer& buffer, const std::string& text);

// Gives corners that lie at exactly the same position, and whose triangles share a
// smoothing-group bit, the normalised sum of their normals, visiting corners in order so
// that a corner already merged contributes its merged normal. Triangles without smoothing
// groups are left alone. Reports its advance on the second bar of `progress` (may be null).
void ResmoothFaceList(FaceList& faces, zef::ExportProgress* progress = nullptr);

}  // namespace vorlan::zefexport
