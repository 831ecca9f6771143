// A scene, a recording user interface and an export context for the mesh export tests,
// with readers for the bytes the builders leave in the scene buffer.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/interface.h"
#include "support/bytes.h"
#include "workbench/materials.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zef/scene_buffer.h"
#include "zefexport/export_context.h"
#include "zefexport/mesh_export.h"

namespace vorlan::zefexport::testing {

// Little-endian reads from the written part of a scene buffer.
inline uint32_t U32At(const zef::SceneBuffer& b, uint32_t at) {
  auto w = b.Written();
  EXPECT_LE(uint64_t(at) + 4, w.size());
  if (uint64_t(at) + 4 > w.size()) return 0;
  return support::LoadU32(w.data() + at);
}
inline float F32At(const zef::SceneBuffer& b, uint32_t at) { return std::bit_cast<float>(U32At(b, at)); }

// A triangle mesh made of the given vertices and faces (each face: three vertex indices,
// smoothing groups, material id).
struct FaceCorners {
  uint32_t a, b, c;
  uint32_t sg = 0;
  uint16_t matId = 0;
};
inline host::Mesh MakeMesh(std::vector<host::Point3> verts, const std::vector<FaceCorners>& faces) {
  host::Mesh m;
  m.verts = std::move(verts);
  for (const FaceCorners& f : faces) m.faces.push_back({{f.a, f.b, f.c}, f.sg, f.matId, 7});
  return m;
}

// Texture coordinates on map channel `channel`: one map vertex per mesh vertex, map faces
// equal to the mesh faces.
inline void AddMapMirroringVerts(host::Mesh& m, int channel, std::vector<host::Point3> tverts) {
  host::MapChannel& ch = m.Map(channel);
  ch.tverts = std::move(tverts);
  ch.tfaces.clear();
  for (const host::MeshFace& f : m.faces) ch.tfaces.push_back(f.v);
}

inline std::shared_ptr<workbench::BitmapTex> Bitmap(int channel = 1, int axis = 0) {
  auto tex = std::make_shared<workbench::BitmapTex>("C:\\maps\\wood.tga");
  tex->uvGen.mapChannel = channel;
  tex->uvGen.axis = axis;
  return tex;
}

struct ExportFixture {
  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench ip{scene, ui};
  zef::SceneBuffer buffer{1 << 16};
  ExportContext ctx{ip, buffer};

  workbench::SceneNode& AddMeshNode(const std::string& name, host::Mesh mesh,
                                    std::shared_ptr<host::Mtl> mtl = nullptr) {
    auto object = std::make_shared<workbench::MeshObject>(std::move(mesh));
    return AddNode(name, object, std::move(mtl));
  }
  workbench::SceneNode& AddNode(const std::string& name, std::shared_ptr<workbench::SceneObject> object,
                                std::shared_ptr<host::Mtl> mtl = nullptr) {
    workbench::SceneNode& n = scene.CreateNode(name);
    n.SetObject(std::move(object));
    if (mtl) n.SetMtl(std::move(mtl));
    ctx.instances.Note(n.GetObjectRef());
    return n;
  }
  // Registers the node's material in the material table with the given slots, as the
  // material list writer would have: (record index, host material) per slot.
  void RegisterSlots(const host::Node& node, std::vector<zef::MaterialSlot> slots) {
    ctx.materials.Collect(&node, node.GetMtl());
    zef::MaterialSlotMap map;
    map.slotCount = static_cast<uint32_t>(slots.size());
    for (const auto& s : slots) map.registered += s.mtl ? 1 : 0;
    map.slots = std::move(slots);
    ctx.materials.SlotMaps().push_back(std::move(map));
    ctx.materials.Index();
  }

  // Face list and GObj of a node with an identity object offset; returns the GObj's start.
  uint32_t Export(const host::Node& node, FaceList* keep = nullptr) {
    FaceList faces;
    EXPECT_TRUE(BuildFaceList(ctx, node, 0, host::Matrix3(), faces));
    const uint32_t start = buffer.Offset();
    const uint32_t size = BuildGObj(ctx, node, faces, {});
    EXPECT_EQ(buffer.Offset(), start + size);
    if (keep) *keep = std::move(faces);
    return start;
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : ui.messages) out.push_back(m.text);
    return out;
  }
};

// Offsets of the blocks inside a GObj that the tests walk.
struct GObjView {
  const zef::SceneBuffer& b;
  uint32_t at;

  uint32_t Size() const { return U32At(b, at + 4); }
  uint32_t BlockCount() const { return U32At(b, at + 8); }
  // The nested block after Transform and UserProps (Instance or the first GBlock).
  uint32_t AfterUserProps() const {
    uint32_t p = at + 12 + kTransformBlockSize;
    return p + U32At(b, p + 4);
  }
  uint32_t FirstGBlock() const {
    uint32_t p = AfterUserProps();
    return U32At(b, p) == kInstanceId ? p + 12 : p;
  }
  uint32_t NextBlock(uint32_t p) const { return p + U32At(b, p + 4); }
};

// One GBlock's contents as numbers.
struct GBlockView {
  int32_t matIndex = 0;
  uint32_t count = 0, stride = 0, format = 0;
  std::vector<std::vector<float>> verts;  // per vertex: stride / 4 floats
  std::vector<uint32_t> indices;
};
inline GBlockView ReadGBlock(const zef::SceneBuffer& b, uint32_t at) {
  GBlockView v;
  EXPECT_EQ(U32At(b, at), kGBlockId);
  v.matIndex = static_cast<int32_t>(U32At(b, at + 8));
  const uint32_t vb = at + 12;
  EXPECT_EQ(U32At(b, vb), kVerticesId);
  v.count = U32At(b, vb + 8);
  v.stride = U32At(b, vb + 12);
  v.format = U32At(b, vb + 16);
  EXPECT_EQ(U32At(b, vb + 4), 20 + v.count * v.stride);
  for (uint32_t i = 0; i < v.count; ++i) {
    std::vector<float> f;
    for (uint32_t k = 0; k < v.stride / 4; ++k) f.push_back(F32At(b, vb + 20 + i * v.stride + 4 * k));
    v.verts.push_back(std::move(f));
  }
  const uint32_t fb = vb + U32At(b, vb + 4);
  EXPECT_EQ(U32At(b, fb), kFacesId);
  const uint32_t tris = U32At(b, fb + 8);
  EXPECT_EQ(U32At(b, fb + 4), 12 + 12 * tris);
  for (uint32_t i = 0; i < 3 * tris; ++i) v.indices.push_back(U32At(b, fb + 12 + 4 * i));
  EXPECT_EQ(U32At(b, at + 4), 12 + U32At(b, vb + 4) + U32At(b, fb + 4));
  return v;
}

}  // namespace vorlan::zefexport::testing
