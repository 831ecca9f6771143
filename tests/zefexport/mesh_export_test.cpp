#include "zefexport/mesh_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "zefexport/mesh_export_fixture.h"

namespace vorlan::zefexport::testing {
namespace {

using host::Point3;

// One triangle in the XY plane, facing +Z.
host::Mesh Triangle() { return MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}); }

// ---------------------------------------------------------------------------------------
// Layout of the blocks

TEST(MeshExportLayout, GObjOfOneTriangleWithoutMaterial) {
  ExportFixture f;
  auto& node = f.AddMeshNode("Tri", Triangle());
  node.SetUserProps("a=1");
  const uint32_t at = f.Export(node);
  const auto& b = f.buffer;

  // GObj: head, Transform (108), UserProps (12 + 4), one GBlock (12 + Vertices 20 + 3 * 24 +
  // Faces 12 + 12).
  EXPECT_EQ(U32At(b, at), 0x30u);
  EXPECT_EQ(U32At(b, at + 4), 12u + 108 + 16 + 128);
  EXPECT_EQ(U32At(b, at + 8), 1u);
  EXPECT_EQ(U32At(b, at + 12), 0x35u);
  EXPECT_EQ(U32At(b, at + 16), 108u);
  const uint32_t up = at + 12 + 108;
  EXPECT_EQ(U32At(b, up), 0x34u);
  EXPECT_EQ(U32At(b, up + 4), 16u);
  EXPECT_EQ(U32At(b, up + 8), 4u);
  EXPECT_EQ(U32At(b, up + 12), 0x00313D61u);  // "a=1\0"
  const uint32_t gb = up + 16;
  EXPECT_EQ(U32At(b, gb), 0x31u);
  EXPECT_EQ(U32At(b, gb + 4), 128u);
  EXPECT_EQ(U32At(b, gb + 8), 0xFFFFFFFFu);
  const uint32_t vb = gb + 12;
  EXPECT_EQ(U32At(b, vb), 0x32u);
  EXPECT_EQ(U32At(b, vb + 4), 92u);
  EXPECT_EQ(U32At(b, vb + 8), 3u);
  EXPECT_EQ(U32At(b, vb + 12), 24u);
  EXPECT_EQ(U32At(b, vb + 16), 0x12u);
  const float expected[3][6] = {{0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 0, 1}};
  for (uint32_t v = 0; v < 3; ++v)
    for (uint32_t k = 0; k < 6; ++k)
      EXPECT_EQ(F32At(b, vb + 20 + 24 * v + 4 * k), expected[v][k]) << v << "," << k;
  const uint32_t fb = vb + 92;
  EXPECT_EQ(U32At(b, fb), 0x33u);
  EXPECT_EQ(U32At(b, fb + 4), 24u);
  EXPECT_EQ(U32At(b, fb + 8), 1u);
  EXPECT_EQ(U32At(b, fb + 12), 0u);
  EXPECT_EQ(U32At(b, fb + 16), 1u);
  EXPECT_EQ(U32At(b, fb + 20), 2u);
  EXPECT_EQ(f.buffer.Offset(), at + 264);
  EXPECT_EQ(f.ctx.triangleTotal, 1u);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(MeshExportLayout, TransformBlockGoldenBytes) {
  ExportFixture f;
  auto& node = f.AddMeshNode("N", Triangle());
  node.SetTransform(host::Matrix3({2, 0, 0}, {0, 3, 0}, {0, 0, 4}, {1, 2, 3}));
  EXPECT_EQ(WriteTransformBlock(f.buffer, node), 108u);
  const uint32_t expected[27] = {0x35,       108,        0x3F800000, 0x40000000,
                                 0x40400000,                             // position 1, 2, 3
                                 0,          0,          0,              // rotation
                                 0x40000000, 0x40400000, 0x40800000,     // scale 2, 3, 4
                                 0x40000000, 0,          0,          0,  // X axis row
                                 0,          0x40400000, 0,          0,  // Y axis row
                                 0,          0,          0x40800000, 0,  // Z axis row
                                 0x3F800000, 0x40000000, 0x40400000, 0x3F800000};
  ASSERT_EQ(f.buffer.Offset(), 108u);
  for (uint32_t i = 0; i < 27; ++i) EXPECT_EQ(U32At(f.buffer, 4 * i), expected[i]) << "word " << i;
}

TEST(MeshExportLayout, TransformBlockDecomposesRotation) {
  ExportFixture f;
  auto& node = f.AddMeshNode("N", Triangle());
  const float half = std::numbers::pi_v<float> / 2;
  node.SetTransform(host::Matrix3::Scale({2, 2, 2}) * host::Matrix3::RotationZ(half) *
                    host::Matrix3::Translation({5, 0, -1}));
  WriteTransformBlock(f.buffer, node);
  EXPECT_FLOAT_EQ(F32At(f.buffer, 8), 5);
  EXPECT_FLOAT_EQ(F32At(f.buffer, 16), -1);
  EXPECT_NEAR(F32At(f.buffer, 20), 0, 1e-6);
  EXPECT_NEAR(F32At(f.buffer, 24), 0, 1e-6);
  EXPECT_NEAR(F32At(f.buffer, 28), half, 1e-6);
  for (uint32_t k = 0; k < 3; ++k) EXPECT_NEAR(F32At(f.buffer, 32 + 4 * k), 2, 1e-6);
}

TEST(MeshExportLayout, UserPropsTextEndsAtTheFirstZero) {
  ExportFixture f;
  auto& node = f.AddMeshNode("N", Triangle());
  node.SetUserProps(std::string("Phy_weight=2\r\nx\0hidden", 22));
  EXPECT_EQ(WriteUserPropsBlock(f.buffer, node), 12u + 16);
  EXPECT_EQ(U32At(f.buffer, 8), 16u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.buffer.Written().data()) + 12), "Phy_weight=2\r\nx");

  node.SetUserProps("");
  const uint32_t at = f.buffer.Offset();
  EXPECT_EQ(WriteUserPropsBlock(f.buffer, node), 13u);
  EXPECT_EQ(U32At(f.buffer, at + 8), 1u);
}

// ---------------------------------------------------------------------------------------
// Geometry

TEST(MeshExportGeometry, MirroredNodeReversesCorners) {
  for (bool mirrored : {false, true}) {
    ExportFixture f;
    auto& node = f.AddMeshNode("M", Triangle());
    node.SetTransform(host::Matrix3::Scale({mirrored ? -1.0f : 1.0f, 1, 1}));
    const GBlockView g = ReadGBlock(f.buffer, GObjView{f.buffer, f.Export(node)}.FirstGBlock());
    ASSERT_EQ(g.count, 3u);
    const Point3 expect[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int k = 0; k < 3; ++k) {
      const Point3 want = expect[mirrored ? 2 - k : k];
      EXPECT_EQ(g.verts[k][0], want.x) << mirrored << " corner " << k;
      EXPECT_EQ(g.verts[k][1], want.y) << mirrored << " corner " << k;
    }
    EXPECT_EQ(g.indices, (std::vector<uint32_t>{0, 1, 2}));
  }
}

TEST(MeshExportGeometry, PositionsLandInPivotSpaceAndMoveByTheOffsetVector) {
  ExportFixture f;
  auto& node = f.AddMeshNode("O", Triangle());
  node.SetTransform(host::Matrix3::RotationX(0.7f) * host::Matrix3::Translation({10, 20, 30}));
  node.SetObjectOffset({1, 0, 0}, {}, {1, 1, 2});
  host::Matrix3 offset;
  offset.PreTranslate(node.GetObjOffsetPos());
  offset.PreRotate(node.GetObjOffsetRot());
  offset.ApplyScale(node.GetObjOffsetScale());

  FaceList faces;
  ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, offset, faces));
  ASSERT_EQ(faces.NumCorners(), 3u);
  const Point3 expect[3] = {{1, 0, 0}, {2, 0, 0}, {1, 1, 0}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(faces.positions[k].x, expect[k].x, 1e-5);
    EXPECT_NEAR(faces.positions[k].y, expect[k].y, 1e-5);
    EXPECT_NEAR(faces.positions[k].z, expect[k].z, 1e-5);
    EXPECT_NEAR(faces.normals[k].z, 1, 1e-5);
  }

  const uint32_t at = f.buffer.Offset();
  BuildGObj(f.ctx, node, faces, {1, 0, 0});
  const GBlockView g = ReadGBlock(f.buffer, GObjView{f.buffer, at}.FirstGBlock());
  EXPECT_NEAR(g.verts[1][0], 1, 1e-5);
  EXPECT_NEAR(g.verts[2][0], 0, 1e-5);
}

TEST(MeshExportGeometry, NormalsFollowSmoothingGroupsOrExplicitNormals) {
  // Two triangles folded along the shared edge 1-2.
  const std::vector<Point3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
  for (uint32_t sg2 : {1u, 2u}) {
    ExportFixture f;
    auto& node = f.AddMeshNode("S", MakeMesh(v, {{0, 1, 2, 1}, {1, 3, 2, sg2}}));
    FaceList faces;
    ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, host::Matrix3(), faces));
    // Corner 1 of triangle 0 and corner 0 of triangle 1 are vertex 1.
    if (sg2 == 1)
      EXPECT_EQ(faces.normals[1], faces.normals[3]);
    else
      EXPECT_NE(faces.normals[1], faces.normals[3]);
    EXPECT_NEAR(host::Length(faces.normals[1]), 1, 1e-6);
  }

  ExportFixture f;
  host::Mesh m = Triangle();
  m.explicitNormals = {{0, 0, 2}, {1, 0, 0}};
  m.normalFaces = {{1, 0, 0}};
  auto& node = f.AddMeshNode("E", std::move(m));
  FaceList faces;
  ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, host::Matrix3(), faces));
  EXPECT_EQ(faces.normals[0], (Point3{1, 0, 0}));
  EXPECT_EQ(faces.normals[1], (Point3{0, 0, 1}));
}

TEST(MeshExportGeometry, ResmoothJoinsSplitCornersThatShareAGroup) {
  // The same fold, but with the shared edge's vertices split: only resmoothing can join them.
  const std::vector<Point3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}, {0, 1, 0}};
  struct Case {
    bool option;
    uint32_t sg2;
    bool joined;
  };
  for (Case c : {Case{true, 1, true}, Case{true, 3, true}, Case{true, 2, false}, Case{false, 1, false}}) {
    ExportFixture f;
    f.ctx.options.resmoothSingleObjects = c.option;
    auto& node = f.AddMeshNode("R", MakeMesh(v, {{0, 1, 2, 1}, {3, 4, 5, c.sg2}}));
    FaceList faces;
    ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, host::Matrix3(), faces));
    const Point3 own0 = host::Normalize(Point3{0, 0, 1});
    if (c.joined) {
      EXPECT_EQ(faces.normals[1], faces.normals[3]) << c.sg2;
      EXPECT_EQ(faces.normals[2], faces.normals[5]) << c.sg2;
      EXPECT_NEAR(host::Length(faces.normals[1]), 1, 1e-6);
      EXPECT_NE(faces.normals[1], own0);
      // The corner at (0, 0, 0) has no partner and keeps its own normal.
      EXPECT_EQ(faces.normals[0], own0);
    } else {
      EXPECT_EQ(faces.normals[1], own0) << c.sg2;
      EXPECT_NE(faces.normals[3], faces.normals[1]) << c.sg2;
    }
  }
}

TEST(MeshExportGeometry, ObjectsThatAreNotMeshesAreRefused) {
  ExportFixture f;
  auto& cam = f.AddNode("Cam", std::make_shared<workbench::CameraObject>());
  auto& nurbs = f.AddNode("Nurbs", std::make_shared<workbench::UnconvertibleGeomObject>());
  host::Mesh broken = Triangle();
  broken.faces[0].v[2] = 9;
  auto& bad = f.AddMeshNode("Bad", std::move(broken));
  for (const host::Node* n : {static_cast<const host::Node*>(&cam), static_cast<const host::Node*>(&nurbs),
                              static_cast<const host::Node*>(&bad)}) {
    FaceList faces;
    faces.triangles.resize(1);
    EXPECT_FALSE(BuildFaceList(f.ctx, *n, 0, host::Matrix3(), faces)) << n->GetName();
    EXPECT_EQ(faces.NumTriangles(), 0u);
  }
  ASSERT_EQ(f.ui.messages.size(), 3u);
  EXPECT_EQ(f.ui.messages[0].text, "Convert...() - bad object pObj");
  EXPECT_EQ(f.ui.messages[0].caption, "Error");
}

// ---------------------------------------------------------------------------------------
// Materials and parts

std::shared_ptr<workbench::MultiMtl> Multi(int count, bool holeAt1 = false) {
  auto multi = std::make_shared<workbench::MultiMtl>("Multi", count);
  for (int i = 0; i < count; ++i)
    if (!(holeAt1 && i == 1))
      multi->subs[i] = std::make_shared<workbench::StandardMtl>("Sub" + std::to_string(i));
  return multi;
}

TEST(MeshExportMaterials, ThreeMaterialsGiveThreeGBlocksInOrderOfFirstUse) {
  ExportFixture f;
  auto multi = Multi(3);
  const std::vector<Point3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  auto& node = f.AddMeshNode(
      "Box",
      MakeMesh(v, {{0, 1, 2, 0, 2}, {1, 3, 2, 0, 0}, {0, 1, 3, 0, 5}, {0, 3, 2, 0, 1}, {2, 1, 0, 0, 3}}),
      multi);
  f.RegisterSlots(node, {{5, multi->subs[0].get()}, {6, multi->subs[1].get()}, {7, multi->subs[2].get()}});
  FaceList faces;
  const GObjView gobj{f.buffer, f.Export(node, &faces)};
  EXPECT_EQ(gobj.BlockCount(), 3u);
  EXPECT_EQ(f.ctx.triangleTotal, 5u);

  // Material ids 2, 0, 5 (= 2), 1, 3 (= 0): records 7, 5, 7, 6, 5.
  const int32_t wantIndex[3] = {7, 5, 6};
  const std::vector<std::vector<uint32_t>> wantTris = {{0, 2}, {1, 4}, {3}};
  uint32_t at = gobj.FirstGBlock();
  for (int p = 0; p < 3; ++p) {
    const GBlockView g = ReadGBlock(f.buffer, at);
    EXPECT_EQ(g.matIndex, wantIndex[p]);
    ASSERT_EQ(g.count, 3 * wantTris[p].size());
    for (uint32_t i = 0; i < g.count; ++i) {
      EXPECT_EQ(g.indices[i], i);
      const Point3 pos = faces.positions[3 * wantTris[p][i / 3] + i % 3];
      EXPECT_EQ(g.verts[i][0], pos.x);
      EXPECT_EQ(g.verts[i][1], pos.y);
    }
    at = gobj.NextBlock(at);
  }
  EXPECT_EQ(at, gobj.at + gobj.Size());
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(MeshExportMaterials, FaceOnAnEmptySlotGetsTheDefaultMaterialAndOneMessage) {
  ExportFixture f;
  auto multi = Multi(3, /*holeAt1=*/true);
  const std::vector<Point3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  auto& node = f.AddMeshNode(
      "Box", MakeMesh(v, {{0, 1, 2, 0, 0}, {0, 1, 2, 0, 1}, {0, 1, 2, 0, 4}, {0, 1, 2, 0, 2}}), multi);
  f.RegisterSlots(node, {{0, multi->subs[0].get()}, {}, {1, multi->subs[2].get()}});
  FaceList faces;
  f.Export(node, &faces);
  EXPECT_EQ(faces.triangles[0].matIndex, 0);
  EXPECT_EQ(faces.triangles[1].matIndex, -1);
  EXPECT_EQ(faces.triangles[1].mtl, nullptr);
  EXPECT_EQ(faces.triangles[2].matIndex, -1);
  EXPECT_EQ(faces.triangles[3].matIndex, 1);
  // Faces 1 and 4 % 3 hit the same empty slot: one box for the slot, not one per face.
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].text,
            "Material error: data inconsistency found in material 'Multi'.\nNode: 'Box', Face: 1, MtlId: 1\n"
            "Assigning default material to this face.");
  EXPECT_EQ(f.ui.messages[0].caption, "Error");
  EXPECT_EQ(f.ui.messages[0].icon, host::Icon::Error);
  EXPECT_EQ((GObjView{f.buffer, 0}.BlockCount()), 3u);
}

TEST(MeshExportMaterials, NodesWithoutUsableSlotsUseTheDefaultMaterialSilently) {
  // No material at all; a material the list writer skipped (no slots); a material the
  // table never saw.
  for (int variant = 0; variant < 3; ++variant) {
    ExportFixture f;
    host::Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0, 3}, {0, 2, 1, 0, 1}});
    AddMapMirroringVerts(m, 1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    std::shared_ptr<host::Mtl> mtl;
    if (variant > 0)
      mtl = std::make_shared<workbench::OtherMtl>(host::ClassId{0x999, 0}, "Raytrace", "Glassy");
    auto& node = f.AddMeshNode("N", std::move(m), mtl);
    if (variant == 1) f.RegisterSlots(node, {});
    const GObjView gobj{f.buffer, f.Export(node)};
    ASSERT_EQ(gobj.BlockCount(), 1u) << variant;
    const GBlockView g = ReadGBlock(f.buffer, gobj.FirstGBlock());
    EXPECT_EQ(g.matIndex, -1);
    EXPECT_EQ(g.stride, 24u);
    EXPECT_EQ(g.format, 0x12u);
    EXPECT_EQ(g.count, 6u);
    EXPECT_TRUE(f.ui.messages.empty()) << variant;
  }
}

TEST(MeshExportMaterials, SharedObjectIsWrittenOnceThenReferenced) {
  ExportFixture f;
  auto object = std::make_shared<workbench::MeshObject>(Triangle());
  auto& lone = f.AddMeshNode("Lone", Triangle());
  auto& first = f.AddNode("First", object);
  auto& second = f.AddNode("Second", object);
  second.SetUserProps("k");

  const GObjView l{f.buffer, f.Export(lone)};
  EXPECT_NE(U32At(f.buffer, l.AfterUserProps()), kInstanceId);

  const GObjView a{f.buffer, f.Export(first)};
  EXPECT_EQ(a.BlockCount(), 1u);
  EXPECT_EQ(U32At(f.buffer, a.AfterUserProps()), kInstanceId);
  EXPECT_EQ(U32At(f.buffer, a.AfterUserProps() + 4), 12u);
  EXPECT_EQ(U32At(f.buffer, a.AfterUserProps() + 8), 1u);

  const GObjView b{f.buffer, f.Export(second)};
  EXPECT_EQ(b.BlockCount(), 0u);
  EXPECT_EQ(b.Size(), 12u + 108 + 14 + 12);
  EXPECT_EQ(U32At(f.buffer, b.AfterUserProps()), kInstanceId);
  EXPECT_EQ(U32At(f.buffer, b.AfterUserProps() + 8), 1u);
  EXPECT_EQ(f.buffer.Offset(), b.at + b.Size());
  EXPECT_EQ(f.ctx.triangleTotal, 2u);  // the repeat adds no triangles
}

// ---------------------------------------------------------------------------------------
// Texture coordinates

struct TexturedQuad {
  ExportFixture f;
  workbench::SceneNode* node = nullptr;

  // One triangle whose map vertices on channels 1 to 3 are given per corner.
  TexturedQuad(std::shared_ptr<host::Mtl> mtl, std::vector<Point3> ch1, std::vector<Point3> ch2 = {},
               std::vector<Point3> ch3 = {}) {
    host::Mesh m = Triangle();
    if (!ch1.empty()) AddMapMirroringVerts(m, 1, std::move(ch1));
    if (!ch2.empty()) AddMapMirroringVerts(m, 2, std::move(ch2));
    if (!ch3.empty()) AddMapMirroringVerts(m, 3, std::move(ch3));
    node = &f.AddMeshNode("T", std::move(m), mtl);
    f.RegisterSlots(*node, {{0, mtl.get()}});
  }
  GBlockView Export() { return ReadGBlock(f.buffer, GObjView{f.buffer, f.Export(*node)}.FirstGBlock()); }
};

const std::vector<Point3> kUV = {{0.5f, 0.25f, 0.125f}, {1, 0, 0.5f}, {0, 1, 0.75f}};

TEST(MeshExportTextures, VIsStoredFlipped) {
  auto mtl = std::make_shared<workbench::StandardMtl>("Wood");
  mtl->SetMap(1, Bitmap(1));
  TexturedQuad q(mtl, kUV);
  const GBlockView g = q.Export();
  EXPECT_EQ(g.stride, 32u);
  EXPECT_EQ(g.format, 0x112u);
  EXPECT_EQ(g.verts[0][6], 0.5f);
  EXPECT_EQ(g.verts[0][7], 0.75f);
  EXPECT_EQ(g.verts[1][7], 1.0f);
  EXPECT_EQ(g.verts[2][7], 0.0f);
  EXPECT_TRUE(q.f.ui.messages.empty());
}

TEST(MeshExportTextures, AxisSettingOfTheDiffuseMapPicksTheComponents) {
  // (x, y, z) = (0.5, 0.25, 0.125): axis 1 takes (y, z), axis 2 takes (z, x).
  const float want[3][2] = {{0.5f, 0.75f}, {0.25f, 0.875f}, {0.125f, 0.5f}};
  for (int axis = 0; axis < 3; ++axis) {
    auto mtl = std::make_shared<workbench::StandardMtl>("Wood", 20);
    // The axis comes from the diffuse map even when another slot holds the coordinates;
    // without a diffuse map, from slot 12.
    mtl->SetMap(axis == 2 ? 12 : 1, Bitmap(1, axis), /*on=*/axis != 2);
    mtl->SetMap(8, Bitmap(1, 0));
    TexturedQuad q(mtl, kUV);
    const GBlockView g = q.Export();
    ASSERT_EQ(g.stride, axis == 2 ? 32u : 40u) << axis;
    const std::size_t at = axis == 2 ? 6 : 8;  // slot 8 follows slot 1
    EXPECT_EQ(g.verts[0][at], want[axis][0]) << axis;
    EXPECT_EQ(g.verts[0][at + 1], want[axis][1]) << axis;
    EXPECT_TRUE(q.f.ui.messages.empty());
  }
}

TEST(MeshExportTextures, MissingCoordinateGeneratorIsReportedOncePerMaterial) {
  auto mtl = std::make_shared<workbench::StandardMtl>("Bumpy");
  mtl->SetMap(8, Bitmap(1));
  host::Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}});
  AddMapMirroringVerts(m, 1, kUV);
  ExportFixture f;
  auto& node = f.AddMeshNode("T", std::move(m), mtl);
  f.RegisterSlots(node, {{0, mtl.get()}});
  const GBlockView g = ReadGBlock(f.buffer, GObjView{f.buffer, f.Export(node)}.FirstGBlock());
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].text, "Something is wrong");
  EXPECT_EQ(f.ui.messages[0].caption, "Error");
  EXPECT_EQ(g.verts[0][7], 0.75f);  // (x, y) as a fallback

  // A material without any texture needs no axis and says nothing.
  TexturedQuad plain(std::make_shared<workbench::StandardMtl>("Plain"), kUV);
  EXPECT_EQ(plain.Export().stride, 24u);
  EXPECT_TRUE(plain.f.ui.messages.empty());
}

TEST(MeshExportTextures, PairsFollowSlotOrderAndSkipOffOrOpacityMaps) {
  auto mtl = std::make_shared<workbench::StandardMtl>("Many");
  mtl->SetMap(1, Bitmap(1));
  mtl->SetMap(0, Bitmap(2));
  mtl->SetMap(6, Bitmap(1));                // opacity: never a record texture
  mtl->SetMap(4, Bitmap(1), /*on=*/false);  // switched off
  mtl->SetMap(11, Bitmap(3));
  TexturedQuad q(mtl, kUV, {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}},
                 {{0.25f, 0.25f, 0}, {0.25f, 0.25f, 0}, {0.25f, 0.25f, 0}});
  const GBlockView g = q.Export();
  ASSERT_EQ(g.stride, 24u + 3 * 8);
  EXPECT_EQ(g.format, 0x312u);
  // Slot 0 (channel 2), slot 1 (channel 1), slot 11 (channel 3).
  EXPECT_EQ(g.verts[0][6], 0.5f);
  EXPECT_EQ(g.verts[0][8], 0.5f);
  EXPECT_EQ(g.verts[0][9], 0.75f);
  EXPECT_EQ(g.verts[0][10], 0.25f);
  EXPECT_EQ(g.verts[0][11], 0.75f);
}

TEST(MeshExportTextures, EmptyChannelStopsThePairsExceptSlot11FallsBackToSlot1) {
  // Slot 11's channel 5 has no coordinates: it takes slot 1's channel instead.
  auto mtl = std::make_shared<workbench::StandardMtl>("Second");
  mtl->SetMap(1, Bitmap(1));
  mtl->SetMap(11, Bitmap(5));
  TexturedQuad q(mtl, kUV);
  GBlockView g = q.Export();
  ASSERT_EQ(g.stride, 40u);
  EXPECT_EQ(g.verts[0][8], g.verts[0][6]);
  EXPECT_EQ(g.verts[0][9], g.verts[0][7]);

  // An empty channel elsewhere stops the corner's pairs: the rest stay zero, the count stays.
  auto stop = std::make_shared<workbench::StandardMtl>("Stop");
  stop->SetMap(0, Bitmap(7));
  stop->SetMap(1, Bitmap(1));
  TexturedQuad s(stop, kUV);
  g = s.Export();
  ASSERT_EQ(g.stride, 40u);
  for (std::size_t k = 6; k < 10; ++k) EXPECT_EQ(g.verts[0][k], 0.0f);
}

TEST(MeshExportTextures, CropAndSecondTextureTiling) {
  auto mtl = std::make_shared<workbench::StandardMtl>("Cropped");
  mtl->SetMap(1, Bitmap(1));
  mtl->SetMap(11, Bitmap(1), true, /*amount=*/0.5f);
  for (bool applied : {false, true}) {
    TexturedQuad q(mtl, kUV);
    q.f.ctx.materials.CropList().push_back({0, applied, 0.25f, 0.125f, 0.5f, 0.5f});
    q.f.ctx.materials.Index();
    const GBlockView g = q.Export();
    // (u, v) = (0.5, 0.25). Applied: x = 0.5 * 0.5 + 0.25, y = 0.5 * 0.75 + 0.125; slot 11
    // scaled by its amount x 100.
    const float x = applied ? 0.5f : 0.5f, y = applied ? 0.5f : 0.75f, s = applied ? 50.0f : 1.0f;
    EXPECT_EQ(g.verts[0][6], x) << applied;
    EXPECT_EQ(g.verts[0][7], y) << applied;
    EXPECT_FLOAT_EQ(g.verts[0][8], x * s) << applied;
    EXPECT_FLOAT_EQ(g.verts[0][9], y * s) << applied;
  }
}

TEST(MeshExportTextures, VexaMatChannelsComeInOrder12_14_13WithTheSecondTiling) {
  auto mtl = std::static_pointer_cast<workbench::ParamMtl>(
      workbench::CreateMaterialByClassId(host::kVexaMatClassId, "Vm"));
  auto& std20 = static_cast<workbench::StandardMtl&>(*mtl->reference0);
  std20.SetMap(12, Bitmap(1));
  std20.SetMap(13, Bitmap(2), true, /*amount=*/4.0f);
  std20.SetMap(14, Bitmap(3));
  TexturedQuad q(mtl, kUV, {{0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}},
                 {{0.25f, 0.25f, 0}, {0.25f, 0.25f, 0}, {0.25f, 0.25f, 0}});
  const GBlockView g = q.Export();
  ASSERT_EQ(g.stride, 48u);
  EXPECT_EQ(g.verts[0][6], 0.5f);  // channel 12 -> map channel 1
  EXPECT_EQ(g.verts[0][7], 0.75f);
  EXPECT_EQ(g.verts[0][8], 0.25f);  // channel 14 -> map channel 3
  EXPECT_EQ(g.verts[0][9], 0.75f);
  EXPECT_EQ(g.verts[0][10], 2.0f);  // channel 13 -> map channel 2, times its amount
  EXPECT_EQ(g.verts[0][11], 2.0f);
  EXPECT_TRUE(q.f.ui.messages.empty());
}

TEST(MeshExportTextures, VexaLayerUsesItsLayerTable) {
  auto mtl = workbench::CreateMaterialByClassId(host::kVexaLayerClassId, "Layers");
  TexturedQuad q(mtl, kUV, {{0.25f, 0.5f, 0}, {0.25f, 0.5f, 0}, {0.25f, 0.5f, 0}});
  zef::LayerTable table;
  table.layers[0] = {.used = true, .channel = 1};
  table.layers[2] = {.used = true,
                     .channel = 2,
                     .crop = true,
                     .tilingU = 2,
                     .tilingV = 0,
                     .clipUV = {0.5f, 0, 0},
                     .clipWH = {1, 1, 0}};
  table.layers[4] = {.used = true, .channel = 1};
  table.waterSlot = 4;  // the water layer carries no coordinates
  q.f.ctx.materials.LayerTables()[mtl.get()] = table;
  const GBlockView g = q.Export();
  ASSERT_EQ(g.stride, 40u);
  EXPECT_EQ(g.verts[0][6], 0.5f);
  EXPECT_EQ(g.verts[0][7], 0.75f);
  // Layer 2: x = 0.25 + 0.5 = 0.75, tiled by 2 about the centre: 2 * 0.75 - 1 + 0.5 + 1;
  // y = 1 - 0.5 untiled (a zero tiling means none).
  EXPECT_EQ(g.verts[0][8], 2.0f);
  EXPECT_EQ(g.verts[0][9], 0.5f);
}

TEST(MeshExportTextures, MoreThanEightChannelsAreCutWithAWarning) {
  auto mtl = std::make_shared<workbench::StandardMtl>("Full");
  for (int slot : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11}) mtl->SetMap(slot, Bitmap(1));
  TexturedQuad q(mtl, kUV);
  const GBlockView g = q.Export();
  EXPECT_EQ(g.stride, 24u + 8 * 8);
  EXPECT_EQ(g.format, 0x812u);
  ASSERT_EQ(q.f.ui.messages.size(), 1u);
  EXPECT_EQ(q.f.ui.messages[0].caption, "Warning");
}

TEST(MeshExportTextures, PartsWithDifferentPairCountsArePaddedToOneStride) {
  // Two materials that share a record but not their texture channels.
  auto a = std::make_shared<workbench::StandardMtl>("A");
  a->SetMap(1, Bitmap(1));
  auto b = std::make_shared<workbench::StandardMtl>("B");
  auto multi = std::make_shared<workbench::MultiMtl>("M", 2);
  multi->subs = {a, b};
  ExportFixture f;
  host::Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0, 1}, {0, 1, 2, 0, 0}});
  AddMapMirroringVerts(m, 1, kUV);
  auto& node = f.AddMeshNode("P", std::move(m), multi);
  f.RegisterSlots(node, {{0, a.get()}, {0, b.get()}});
  const GBlockView g = ReadGBlock(f.buffer, GObjView{f.buffer, f.Export(node)}.FirstGBlock());
  ASSERT_EQ(g.stride, 32u);
  EXPECT_EQ(g.verts[0][6], 0.0f);
  EXPECT_EQ(g.verts[0][7], 0.0f);
  EXPECT_EQ(g.verts[3][7], 0.75f);
}

// A mesh large enough to be listed on two threads gives every face what the same face gives
// in a small mesh of a few faces around it, at the split between the threads too.
TEST(MeshExportGeometry, ALargeMeshListsEachFaceAsASmallMeshDoes) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> coord(-5.0f, 5.0f);
  host::Mesh big;
  for (int i = 0; i < 3000; ++i) big.verts.push_back({coord(rng), coord(rng), coord(rng)});
  for (int i = 0; i < 500; ++i) big.explicitNormals.push_back({coord(rng), coord(rng), coord(rng)});
  host::MapChannel& uv = big.Map(1);
  for (int i = 0; i < 700; ++i) uv.tverts.push_back({coord(rng), coord(rng), 0});
  std::uniform_int_distribution<uint32_t> vert(0, 2999), normal(0, 499), tvert(0, 699), mat(0, 1);
  const uint32_t faceCount = 40000;
  for (uint32_t i = 0; i < faceCount; ++i) {
    big.faces.push_back({{vert(rng), vert(rng), vert(rng)}, 1, static_cast<uint16_t>(mat(rng)), 7});
    big.normalFaces.push_back({normal(rng), normal(rng), normal(rng)});
    uv.tfaces.push_back({tvert(rng), tvert(rng), tvert(rng)});
  }
  // Faces of the first material carry a texture pair, the others none.
  auto textured = std::make_shared<workbench::StandardMtl>("T");
  textured->SetMap(1, Bitmap(1));
  auto plain = std::make_shared<workbench::StandardMtl>("P");
  auto multi = std::make_shared<workbench::MultiMtl>("M", 2);
  multi->subs = {textured, plain};
  const host::Matrix3 mirror = host::Matrix3::Scale({-1, 1, 1}) * host::Matrix3::Translation({1, 2, 3});

  auto list = [&](host::Mesh mesh, FaceList& faces) {
    ExportFixture f;
    auto& node = f.AddMeshNode("N", std::move(mesh), multi);
    node.SetTransform(mirror);
    f.RegisterSlots(node, {{0, textured.get()}, {1, plain.get()}});
    ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, host::Matrix3(), faces));
  };
  FaceList all;
  list(big, all);
  ASSERT_EQ(all.NumTriangles(), faceCount);
  for (uint32_t first : {0u, 7u, faceCount / 2 - 3, faceCount / 2 + 1, faceCount - 5}) {
    host::Mesh window = big;
    const auto from = std::ptrdiff_t(first), to = std::ptrdiff_t(std::min(first + 5, faceCount));
    window.faces.assign(big.faces.begin() + from, big.faces.begin() + to);
    window.normalFaces.assign(big.normalFaces.begin() + from, big.normalFaces.begin() + to);
    window.Map(1).tfaces.assign(uv.tfaces.begin() + from, uv.tfaces.begin() + to);
    FaceList few;
    list(window, few);
    for (std::size_t t = 0; t < few.NumTriangles(); ++t) {
      const std::size_t f = first + t;
      SCOPED_TRACE("face " + std::to_string(f));
      EXPECT_EQ(few.triangles[t].matIndex, all.triangles[f].matIndex);
      ASSERT_EQ(few.triangles[t].pairCount, all.triangles[f].pairCount);
      for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(few.positions[3 * t + k], all.positions[3 * f + k]);
        EXPECT_EQ(few.normals[3 * t + k], all.normals[3 * f + k]);
        EXPECT_EQ(few.hostVerts[3 * t + k], all.hostVerts[3 * f + k]);
        const auto a = few.CornerUVs(3 * t + k), b = all.CornerUVs(3 * f + k);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
      }
    }
  }
}

// Each corner takes its vertex and its normal moved into pivot space, worked out corner by
// corner here: hand-set normals and smoothing groups, under a mirroring, rotating node with
// an object offset.
TEST(MeshExportGeometry, CornersTakeTheirVertexAndNormalInPivotSpace) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> coord(-5.0f, 5.0f);
  for (bool handSet : {true, false}) {
    SCOPED_TRACE(handSet ? "hand-set normals" : "smoothing groups");
    host::Mesh mesh;
    for (int i = 0; i < 400; ++i) mesh.verts.push_back({coord(rng), coord(rng), coord(rng)});
    std::uniform_int_distribution<uint32_t> vert(0, 399), normal(0, 99), group(0, 3);
    for (int i = 0; i < 100; ++i) mesh.explicitNormals.push_back({coord(rng), coord(rng), coord(rng)});
    for (uint32_t i = 0; i < 3000; ++i) {
      mesh.faces.push_back({{vert(rng), vert(rng), vert(rng)}, group(rng), 0, 7});
      mesh.normalFaces.push_back({normal(rng), normal(rng), normal(rng)});
    }
    if (!handSet) mesh.explicitNormals.clear(), mesh.normalFaces.clear();
    ExportFixture f;
    auto& node = f.AddMeshNode("N", mesh);
    node.SetTransform(host::Matrix3::RotationX(0.7f) * host::Matrix3::Scale({-1, 2, 1}) *
                      host::Matrix3::Translation({3, -2, 1}));
    const host::Matrix3 offset = host::Matrix3::RotationX(-0.3f) * host::Matrix3::Translation({0.5f, 0, 2});
    FaceList faces;
    ASSERT_TRUE(BuildFaceList(f.ctx, node, 0, offset, faces));
    const host::Matrix3 objTM = node.GetObjTMAfterWSM(0);
    const host::Matrix3 toPivot = objTM * host::Inverse(node.GetObjectTM(0)) * offset;
    ASSERT_TRUE(objTM.Mirrors());
    mesh.BuildNormals();
    for (std::size_t fi = 0; fi < mesh.faces.size(); ++fi)
      for (std::size_t k = 0; k < 3; ++k) {
        const int c = 2 - int(k);  // mirrored: corners in reverse
        const std::size_t corner = 3 * fi + k;
        ASSERT_EQ(faces.positions[corner],
                  toPivot.PointTransform(mesh.verts[mesh.faces[fi].v[std::size_t(c)]]))
            << "face " << fi;
        ASSERT_EQ(faces.normals[corner],
                  host::Normalize(toPivot.VectorTransform(mesh.CornerNormal(static_cast<int>(fi), c))))
            << "face " << fi;
      }
  }
}

}  // namespace
}  // namespace vorlan::zefexport::testing
