// Physical properties: user properties and child-name conventions, the artist messages and
// the Physics block.
#include "zefexport/physics_export.h"

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "test_host.h"
#include "workbench/materials.h"
#include "zef/blocks.h"
#include "zef/material_records.h"

namespace vorlan::testing {
namespace {

using workbench::HelperObject;
using workbench::MeshObject;

// A closed box of 12 triangles around the origin with half size h.
host::Mesh Box(float h) {
  host::Mesh m;
  m.verts = {{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h},
             {-h, -h, h},  {h, -h, h},  {h, h, h},  {-h, h, h}};
  const uint32_t q[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                            {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
  for (const auto& f : q) {
    m.faces.push_back({.v = {f[0], f[1], f[2]}, .smGroup = 1});
    m.faces.push_back({.v = {f[0], f[2], f[3]}, .smGroup = 1});
  }
  return m;
}

// A strip of n triangles (not closed; only the count matters to the messages).
host::Mesh Strip(int n) {
  host::Mesh m;
  for (int i = 0; i < n + 2; ++i)
    m.verts.push_back({static_cast<float>(i / 2), static_cast<float>(i % 2), 0});
  for (int i = 0; i < n; ++i)
    m.faces.push_back(
        {.v = {static_cast<uint32_t>(i), static_cast<uint32_t>(i + 1), static_cast<uint32_t>(i + 2)}});
  return m;
}

std::shared_ptr<host::Mtl> SurfaceMaterial(const char* surface) {
  auto m = workbench::CreateMaterialByClassId(host::kVexaMatClassId, "hull");
  static_cast<workbench::ParamMtl&>(*m).Params().Set("PRM_COLLISION_TYPE", surface);
  return m;
}

class PhysicsExportTest : public ExportFixture {
 protected:
  const zef::BlockInfo* Physics(std::string_view node) const {
    const zef::BlockInfo* n = Node(node);
    return n ? FindChild(*n, zef::kPhysics) : nullptr;
  }
  uint32_t U(const zef::BlockInfo& b, std::size_t at) const {
    return support::LoadU32(bytes.data() + b.offset + at);
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const auto& m : host.ui.messages) c.push_back(m.caption);
    return c;
  }
};

TEST(PhysicsUserProperties, WeightNeedsTheKeyAndAnEqualsSign) {
  EXPECT_EQ(zefexport::ParsePhysicsWeight("Phy_weight = 12.5\nhydro"), 12.5f);
  EXPECT_EQ(zefexport::ParsePhysicsWeight("x=1\r\nPhy_weight=0"), 0.0f);
  EXPECT_FALSE(zefexport::ParsePhysicsWeight("Phy_weight"));
  EXPECT_FALSE(zefexport::ParsePhysicsWeight("weight=3"));
  EXPECT_TRUE(zefexport::HasUserProperty("a=1\nhydro\n", "hydro"));
  EXPECT_TRUE(zefexport::HasUserProperty("hydro=1", "hydro"));
  EXPECT_FALSE(zefexport::HasUserProperty("nothydro=1", "hydro"));
  EXPECT_EQ(zefexport::UserPropertyValue("Phy_defmat = wood \n", "Phy_defmat"), "wood");
}

TEST_F(PhysicsExportTest, WeightAloneWarnsAndWritesNoBlock) {
  auto& n = host.scene.CreateNode("crate");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=3");
  ASSERT_EQ(Export(), 1);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text,
            "Object crate does have physical properties set, but there's no collision object linked (\"^K\", "
            "ExtDummy) or collision material set :-(");
  EXPECT_EQ(host.ui.messages[0].caption, "Warning");
  EXPECT_EQ(Physics("crate"), nullptr);
}

TEST_F(PhysicsExportTest, ZeroWeightStillGetsABlockAndKChildIsNotExported) {
  auto& n = host.scene.CreateNode("crate");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=0");
  host.scene.CreateNode("^Khull", &n).SetObject(std::make_shared<MeshObject>(Box(0.9f)));
  host.scene.CreateNode("!visible", &n).SetObject(std::make_shared<MeshObject>(Box(0.5f)));
  ASSERT_EQ(Export(), 1);
  const zef::BlockInfo* p = Physics("crate");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(U(*p, 8), 2u);
  EXPECT_EQ(U(*p, 12), 0u);  // no "^B" record
  EXPECT_GT(U(*p, 16), 0u);
  EXPECT_EQ(U(*p, 20), 0u);  // no "hydro"
  EXPECT_EQ(p->size, 39 + U(*p, 16));
  EXPECT_EQ(Node("^Khull"), nullptr);
  // Only the first "^K"/"!" child is the collision object; "!" names stay nodes of their own.
  EXPECT_NE(Node("!visible"), nullptr);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
}

TEST_F(PhysicsExportTest, BangChildServesAndIsExportedToo) {
  auto& n = host.scene.CreateNode("crate");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=1");
  host.scene.CreateNode("!hull", &n).SetObject(std::make_shared<MeshObject>(Box(0.9f)));
  ASSERT_EQ(Export(), 1);
  EXPECT_NE(Physics("crate"), nullptr);
  EXPECT_NE(Node("!hull"), nullptr);
}

TEST_F(PhysicsExportTest, LowFaceWarningComparesWithTheNodesTriangles) {
  for (int nodeFaces : {80, 200}) {
    host.ui.messages.clear();
    workbench::Scene fresh;
    auto& n = host.scene.CreateNode("body" + std::to_string(nodeFaces));
    n.SetObject(std::make_shared<MeshObject>(Strip(nodeFaces)));
    n.SetUserProps("Phy_weight=1");
    host.scene.CreateNode("^Kbody" + std::to_string(nodeFaces), &n)
        .SetObject(std::make_shared<MeshObject>(Strip(60)));
  }
  ASSERT_EQ(Export(), 1);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(
      host.ui.messages[0].text,
      "Hey dude, your nice \"^Kbody80\" does have a collision object linked, but the object should be more "
      "low-face. \nPlease make it more simple, it's for physics and if you'll do it, it will be faster. "
      "\nAnd "
      "you will never see this annoying message again ;-)");
  EXPECT_EQ(host.ui.messages[0].icon, host::Icon::Warning);
}

TEST_F(PhysicsExportTest, CollisionObjectWithoutMeshIsReported) {
  auto& n = host.scene.CreateNode("crate");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=1");
  host.scene.CreateNode("^Kempty", &n).SetObject(std::make_shared<MeshObject>());
  ASSERT_EQ(Export(), 1);
  ASSERT_FALSE(host.ui.messages.empty());
  EXPECT_EQ(host.ui.messages[0].text, "Object \"^Kempty\" doesn't have MESH!");
  EXPECT_EQ(host.ui.messages[0].caption, "Error");
}

TEST_F(PhysicsExportTest, SurfaceMaterialOnAHeavyMeshAsksAndScoldsOnNo) {
  auto& n = host.scene.CreateNode("rock");
  n.SetObject(std::make_shared<MeshObject>(Strip(51)));
  n.SetMtl(SurfaceMaterial("ston"));
  n.SetUserProps("Phy_weight=1");
  host.ui.QueueAnswer(host::Answer::No);
  ASSERT_EQ(Export(), 1);
  ASSERT_EQ(host.ui.messages.size(), 2u);
  EXPECT_EQ(
      host.ui.messages[0].text,
      "Hey man, make a special collision object (\"^K\") for the object \"rock\".\nIt has 51 faces now and "
      "it's not good for physics.\nNOT good! Do you understand?");
  EXPECT_EQ(host.ui.messages[0].buttons, host::Buttons::YesNo);
  EXPECT_EQ(host.ui.messages[1].caption, "Error - intelligence not found");
  EXPECT_EQ(host.ui.messages[1].text.substr(0, 13), "Mily artist,\n");
  EXPECT_NE(Physics("rock"), nullptr);
}

TEST_F(PhysicsExportTest, GlassBodyUsesItsShrunkBox) {
  auto& n = host.scene.CreateNode("pane");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetMtl(SurfaceMaterial("glas"));
  n.SetUserProps("Phy_weight=2\nglass");
  ASSERT_EQ(Export(), 1);
  ASSERT_NE(Physics("pane"), nullptr);
  EXPECT_TRUE(host.ui.messages.empty());

  // The same through the shape directly: 12 triangles, corners 0.97 from the centre.
  zefexport::ExportContext ctx{.ip = host, .buffer = *new zef::SceneBuffer()};
  std::unique_ptr<zef::SceneBuffer> owned(&ctx.buffer);
  zefexport::FaceList faces;
  ctx.materials.Collect(&n, n.GetMtl());
  ASSERT_EQ(zef::ExportMaterialList(ctx.buffer, ctx.materials, host), 0);
  ASSERT_TRUE(zefexport::BuildFaceList(ctx, n, 0, host::Matrix3(), faces));
  auto src = zefexport::GatherPhysics(ctx, n, faces);
  ASSERT_TRUE(src.shape);
  auto prims = src.shape->Primitives();
  ASSERT_EQ(prims.size(), 12u);
  for (const auto& p : prims)
    for (const auto& c : p.corners) {
      EXPECT_FLOAT_EQ(std::fabs(c.x), 0.97f);
      EXPECT_EQ(p.surface, zef::Code4Value(zef::MakeCode4("glas")));
    }
  zef::RemoveMaterialMarks(ctx.materials);
}

TEST_F(PhysicsExportTest, HydroBodyCarriesADesignAndBNodeARecord) {
  auto& n = host.scene.CreateNode("boat");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=5\nhydro");
  auto& hull = host.scene.CreateNode("^Khull", &n);
  hull.SetObject(std::make_shared<MeshObject>(Box(1)));
  auto& deck = host.scene.CreateNode("deck", &n);
  auto& b = host.scene.CreateNode("^Bdeck", &deck);
  b.SetObject(std::make_shared<MeshObject>(Strip(2)));
  b.SetTransform(host::Matrix3::Translation({0, 0, 3}));
  ASSERT_EQ(Export(), 1);
  const zef::BlockInfo* p = Physics("boat");
  ASSERT_NE(p, nullptr);
  uint32_t a = U(*p, 12), bSize = U(*p, 16), c = U(*p, 20);
  EXPECT_EQ(a, 8u + 2 * 12 + 4 * 12);  // counts, two triangles, four vertices
  EXPECT_GT(c, 0u);
  EXPECT_EQ(p->size, 39 + a + bSize + c);
  EXPECT_EQ(U(*p, 36), 2u);  // record A: triangles, then vertices
  EXPECT_EQ(U(*p, 40), 4u);
  EXPECT_EQ(support::LoadF32(bytes.data() + p->offset + 36 + 8 + 24 + 8), 3.0f);  // first vertex z, moved up
  EXPECT_EQ(Node("^Bdeck"), nullptr);
  EXPECT_NE(Node("deck"), nullptr);
}

TEST_F(PhysicsExportTest, SphereHelpersGiveSpheresWithTheirMaterialCode) {
  auto& n = host.scene.CreateNode("ball");
  n.SetObject(std::make_shared<MeshObject>(Box(1)));
  n.SetUserProps("Phy_weight=1");
  auto sphere = HelperObject::Create(host::kExtDummyClassId);
  auto* pb = static_cast<workbench::ParamBlockImpl*>(sphere->FindParamBlock("ExtDummyObjParams"));
  ASSERT_NE(pb, nullptr);
  pb->Set("Radius", 0.5f);
  auto& s = host.scene.CreateNode("sphere", &n);
  s.SetObject(sphere);
  s.SetUserProps("Phy_defmat=rubber");
  s.SetTransform(host::Matrix3::Translation({1, 0, 0}));

  zefexport::ExportContext ctx{.ip = host, .buffer = *new zef::SceneBuffer()};
  std::unique_ptr<zef::SceneBuffer> owned(&ctx.buffer);
  zefexport::FaceList faces;
  ASSERT_EQ(zef::ExportMaterialList(ctx.buffer, ctx.materials, host), 0);
  ASSERT_TRUE(zefexport::BuildFaceList(ctx, n, 0, host::Matrix3(), faces));
  auto src = zefexport::GatherPhysics(ctx, n, faces);
  ASSERT_TRUE(src.shape);
  ASSERT_EQ(src.shape->Primitives().size(), 1u);
  const auto& p = src.shape->Primitives()[0];
  EXPECT_EQ(p.kind, geometry::PrimitiveKind::kSphere);
  EXPECT_EQ(p.radius, 0.5f);
  // The shape keeps its primitives about the centre of mass.
  host::Point3 world = p.center + src.shape->CenterOfMass();
  EXPECT_NEAR(world.x, 1.0f, 1e-4f);
  EXPECT_NEAR(world.y, 0.0f, 1e-4f);
  EXPECT_EQ(p.surface, zef::Code4Value(zef::MakeCode4("rubb")));
}

}  // namespace
}  // namespace vorlan::testing
