// Cameras, lights, dummies, glass and the engine's helpers, as they reach the file.
#include <gtest/gtest.h>

#include <cmath>

#include "support/bytes.h"
#include "test_host.h"
#include "zef/blocks.h"

namespace vorlan::testing {
namespace {

using workbench::HelperObject;
using workbench::LightObject;
using workbench::MeshObject;

class NodeBuildersTest : public ExportFixture {
 protected:
  // The bytes of a block of a node.
  std::span<const uint8_t> Block(const zef::BlockInfo& b) const { return {bytes.data() + b.offset, b.size}; }
  static std::vector<uint32_t> Ids(const zef::BlockInfo& node) {
    std::vector<uint32_t> ids;
    for (const auto& c : node.children) ids.push_back(c.id);
    return ids;
  }
  float F(std::span<const uint8_t> b, std::size_t at) const { return support::LoadF32(b.data() + at); }
  uint32_t U(std::span<const uint8_t> b, std::size_t at) const { return support::LoadU32(b.data() + at); }
};

TEST_F(NodeBuildersTest, TargetSpotHasItsConeAndOmniHasNone) {
  auto spot = std::make_shared<LightObject>(host::kSpotLightClassId);
  spot->hotspot = 30;
  spot->falloff = 40;
  spot->color = {1, 0.5f, 0.25f};
  spot->multiplier = 2;
  spot->attenEnd = 100;
  spot->shadow = true;
  auto& s = host.scene.CreateNode("spot");
  s.SetObject(spot);
  s.SetTransform(host::Matrix3::Translation({1, 2, 3}));
  auto omni = std::make_shared<LightObject>(host::kOmniLightClassId);
  host.scene.CreateNode("omni").SetObject(omni);
  ASSERT_EQ(Export(), 1);

  auto spotBlock = Block(*FindChild(*Node("spot"), zef::kLight));
  ASSERT_EQ(spotBlock.size(), 112u);
  EXPECT_EQ(U(spotBlock, 8), 3u);
  EXPECT_EQ(U(spotBlock, 12), 1u);
  EXPECT_EQ(U(spotBlock, 16), 1u);
  EXPECT_EQ(F(spotBlock, 24), 0.5f);
  EXPECT_EQ(F(spotBlock, 32), 2.0f);
  EXPECT_EQ(F(spotBlock, 36), 100.0f);
  EXPECT_EQ(F(spotBlock, 40), 30.0f);
  EXPECT_EQ(F(spotBlock, 44), 40.0f);
  // Matrix rows with their fourth column: X axis (1,0,0,0) ... translation (1,2,3,1).
  EXPECT_EQ(F(spotBlock, 48), 1.0f);
  EXPECT_EQ(F(spotBlock, 60), 0.0f);
  EXPECT_EQ(F(spotBlock, 96), 1.0f);
  EXPECT_EQ(F(spotBlock, 104), 3.0f);
  EXPECT_EQ(F(spotBlock, 108), 1.0f);

  auto omniBlock = Block(*FindChild(*Node("omni"), zef::kLight));
  EXPECT_EQ(U(omniBlock, 8), 1u);
  EXPECT_EQ(F(omniBlock, 40), 0.0f);
  EXPECT_EQ(F(omniBlock, 44), 0.0f);
}

TEST_F(NodeBuildersTest, CameraCarriesFieldOfViewPositionAndAngles) {
  auto cam = std::make_shared<workbench::CameraObject>(true);
  cam->fov = 1.0f;
  auto& n = host.scene.CreateNode("cam");
  n.SetObject(cam);
  n.SetTransform(host::Matrix3::RotationZ(0.5f) * host::Matrix3::Translation({4, 5, 6}));
  ASSERT_EQ(Export(), 1);
  auto b = Block(*FindChild(*Node("cam"), zef::kCamera));
  ASSERT_EQ(b.size(), 36u);
  EXPECT_EQ(F(b, 8), 1.0f);
  EXPECT_EQ(F(b, 12), 4.0f);
  EXPECT_EQ(F(b, 20), 6.0f);
  EXPECT_NEAR(F(b, 24), 0.0f, 1e-5f);
  EXPECT_NEAR(F(b, 32), 0.5f, 1e-5f);
}

TEST_F(NodeBuildersTest, UnknownHelpersAndEngineLightsWithoutEnabledAreDropped) {
  host.scene.CreateNode("point").SetObject(HelperObject::Point());
  auto bare = std::make_shared<HelperObject>(host::kVexaLightClassId, "Vexa Light", host::kLightClass);
  bare->AddParamBlock("params").AddParam({.internalName = "type", .type = host::ParamType::Int});
  host.scene.CreateNode("vexa-off").SetObject(bare);
  auto lit = HelperObject::Create(host::kVexaLightClassId);
  host.scene.CreateNode("vexa-on").SetObject(lit);
  ASSERT_EQ(Export(), 1);
  EXPECT_EQ(Node("point"), nullptr);
  EXPECT_EQ(Node("vexa-off"), nullptr);
  ASSERT_NE(Node("vexa-on"), nullptr);
  auto b = Block(*FindChild(*Node("vexa-on"), zef::kVexaLight));
  ASSERT_EQ(b.size(), 120u);
  EXPECT_EQ(U(b, 8), 1u);     // enabled
  EXPECT_EQ(F(b, 16), 1.0f);  // rgb red
  EXPECT_EQ(F(b, 44), 1.0f);  // multiplier
  EXPECT_EQ(FieldValue(*Root(), "children"), "1");
}

TEST_F(NodeBuildersTest, DummyWithoutGlassHasExactlyThreeBlocks) {
  host::Box3 box;
  box.Include({-1, -2, -3});
  box.Include({1, 2, 3});
  auto& d = host.scene.CreateNode("dummy");
  d.SetObject(HelperObject::Dummy(box));
  d.SetUserProps("note=1");
  ASSERT_EQ(Export(), 1);
  const auto* n = Node("dummy");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(Ids(*n), (std::vector<uint32_t>{zef::kTransform, zef::kUserProps, zef::kDummy}));
  auto b = Block(*FindChild(*n, zef::kDummy));
  EXPECT_EQ(F(b, 8), 2.0f);
  EXPECT_EQ(F(b, 12), 4.0f);
  EXPECT_EQ(F(b, 16), 6.0f);
}

host::Mesh Square(float x0, uint16_t matId) {
  host::Mesh m;
  m.verts = {{x0, 0, 0}, {x0 + 1, 0, 0}, {x0 + 1, 1, 0}, {x0, 1, 0}};
  m.faces.push_back({.v = {0, 1, 2}, .matId = matId});
  m.faces.push_back({.v = {0, 2, 3}, .matId = matId});
  return m;
}

TEST_F(NodeBuildersTest, GlassDummyTakesOnlyFacesOfTheFirstMaterialId) {
  host::Box3 box;
  box.Include({0, 0, 0});
  box.Include({2, 1, 0});
  auto& d = host.scene.CreateNode("panes");
  d.SetObject(HelperObject::Dummy(box));
  d.SetUserProps("glass_dummy");
  host.scene.CreateNode("p0", &d).SetObject(std::make_shared<MeshObject>(Square(0, 4)));
  // Another material id: this pane takes no part, so pane 1 stays empty and there is no payload.
  host.scene.CreateNode("p1", &d).SetObject(std::make_shared<MeshObject>(Square(1, 5)));
  host.scene.CreateNode("p2", &d).SetObject(std::make_shared<MeshObject>(Square(2, 4)));
  ASSERT_EQ(Export(), 1);
  const auto* n = Node("panes");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(Ids(*n)[3], zef::kGlass);
  EXPECT_EQ(Block(*FindChild(*n, zef::kGlass)).size(), 8u);
}

TEST_F(NodeBuildersTest, GlassPayloadOfTwoTouchingPanes) {
  host::Box3 box;
  box.Include({0, 0, 0});
  auto& d = host.scene.CreateNode("panes");
  d.SetObject(HelperObject::Dummy(box));
  d.SetUserProps("x glass_dummy y");
  host.scene.CreateNode("p0", &d).SetObject(std::make_shared<MeshObject>(Square(0, 1)));
  host.scene.CreateNode("p1", &d).SetObject(std::make_shared<MeshObject>(Square(1, 1)));
  ASSERT_EQ(Export(), 1);
  auto b = Block(*FindChild(*Node("panes"), zef::kGlass));
  ASSERT_EQ(b.size(), 18u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 8, b.end()),
            (std::vector<uint8_t>{2, 0, 0, 0, 0, 1, 1, 0, 1, 1}));
}

TEST_F(NodeBuildersTest, JointWithUnsetObjectsHasTwoEmptyNames) {
  auto joint = HelperObject::Create(host::kVexaIKJointClassId);
  auto* pb = static_cast<workbench::ParamBlockImpl*>(joint->GetParamBlock(0));
  pb->Set("spin_on", 1);  // names match without regard to case
  pb->Set("PLANE_ZY_B_POINT_Y", 0.75f);
  host.scene.CreateNode("joint").SetObject(joint);
  ASSERT_EQ(Export(), 1);
  const auto* n = Node("joint");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(Ids(*n), (std::vector<uint32_t>{zef::kTransform, zef::kIKJoint}));
  auto b = Block(*FindChild(*n, zef::kIKJoint));
  ASSERT_EQ(b.size(), 138u);
  EXPECT_EQ(U(b, 8), 2u);
  EXPECT_EQ(U(b, 12), 1u);
  EXPECT_EQ(F(b, 132), 0.75f);
  EXPECT_EQ(b[136], 0);
  EXPECT_EQ(b[137], 0);
}

TEST_F(NodeBuildersTest, JointNamesItsObjects) {
  auto& a = host.scene.CreateNode("arm");
  a.SetObject(std::make_shared<MeshObject>(Triangle()));
  auto joint = HelperObject::Create(host::kVexaIKJointClassId);
  static_cast<workbench::ParamBlockImpl*>(joint->GetParamBlock(0))
      ->Set("OBJECT_A", static_cast<host::Node*>(&a));
  host.scene.CreateNode("joint").SetObject(joint);
  ASSERT_EQ(Export(), 1);
  auto b = Block(*FindChild(*Node("joint"), zef::kIKJoint));
  ASSERT_EQ(b.size(), 141u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 136)), "arm");
  EXPECT_EQ(b[140], 0);
}

TEST_F(NodeBuildersTest, EmittersAreKeptOnlyWithTheirIdParameter) {
  auto sound = HelperObject::Create(host::kVexaSoundEventClassId);
  auto* pb = static_cast<workbench::ParamBlockImpl*>(sound->GetParamBlock(0));
  pb->Set("soundID", 7);
  pb->Set("interval", 2.5f);
  host.scene.CreateNode("sound").SetObject(sound);
  auto other = std::make_shared<HelperObject>(host::kVexaParticleEventClassId, "Vexa ParticleEvent");
  other->AddParamBlock("p").AddParam({.internalName = "particle", .type = host::ParamType::Int});
  host.scene.CreateNode("particles").SetObject(other);
  ASSERT_EQ(Export(), 1);
  EXPECT_EQ(Node("particles"), nullptr);
  auto b = Block(*FindChild(*Node("sound"), zef::kSoundEvent));
  ASSERT_EQ(b.size(), 96u);
  EXPECT_EQ(U(b, 8), 7u);
  EXPECT_EQ(F(b, 24), 2.5f);
  EXPECT_EQ(F(b, 92), 1.0f);
}

}  // namespace
}  // namespace vorlan::testing
