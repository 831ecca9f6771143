#include "workbench/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vorlan::workbench {
namespace {

using host::ClassId;
using host::Matrix3;
using host::ParamType;
using host::Point3;

void ExpectNear(Point3 a, Point3 b, float eps = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

std::vector<std::string> Names(const std::vector<SceneNode*>& nodes) {
  std::vector<std::string> out;
  for (auto* n : nodes) out.push_back(n->GetName());
  return out;
}

TEST(SceneTree, RootChildrenOrderAndDepthFirstWalk) {
  Scene s;
  EXPECT_EQ(s.Root().GetName(), "Scene Root");
  EXPECT_TRUE(s.Root().IsRootNode());
  EXPECT_EQ(s.Root().GetParentNode(), nullptr);

  auto& a = s.CreateNode("a");
  auto& b = s.CreateNode("b");
  s.CreateNode("a1", &a);
  s.CreateNode("a2", &a);
  s.CreateNode("b1", &b);
  EXPECT_EQ(a.GetParentNode(), &s.Root());
  EXPECT_FALSE(a.IsRootNode());
  EXPECT_EQ(Names(s.AllNodes()), (std::vector<std::string>{"a", "a1", "a2", "b", "b1"}));
  EXPECT_EQ(s.Root().NumberOfChildren(), 2);
  EXPECT_EQ(s.Root().GetChildNode(1), &b);
  EXPECT_EQ(s.Root().GetChildNode(2), nullptr);
  EXPECT_EQ(s.Root().GetChildNode(-1), nullptr);
  EXPECT_EQ(s.NodeCount(), 6u);

  EXPECT_EQ(s.FindNode("b1")->GetParentNode(), &b);
  EXPECT_EQ(s.FindNode("Scene Root"), &s.Root());
  EXPECT_EQ(s.FindNode("nope"), nullptr);
}

TEST(SceneTree, FindNodeReturnsFirstInDepthFirstOrder) {
  Scene s;
  auto& a = s.CreateNode("a");
  auto& deep = s.CreateNode("twin", &a);
  s.CreateNode("twin");
  EXPECT_EQ(s.FindNode("twin"), &deep);
}

TEST(SceneTree, ReparentMovesSubtreeAndRefusesCycles) {
  Scene s;
  auto& a = s.CreateNode("a");
  auto& b = s.CreateNode("b");
  auto& a1 = s.CreateNode("a1", &a);
  EXPECT_FALSE(a.Reparent(&a1));  // into its own subtree
  EXPECT_FALSE(a.Reparent(&a));
  EXPECT_FALSE(s.Root().Reparent(&a));
  EXPECT_TRUE(a.Reparent(&b));
  EXPECT_EQ(Names(s.AllNodes()), (std::vector<std::string>{"b", "a", "a1"}));
  EXPECT_TRUE(a.Reparent(nullptr));
  EXPECT_EQ(Names(s.AllNodes()), (std::vector<std::string>{"b", "a", "a1"}));
  EXPECT_EQ(b.NumberOfChildren(), 0);
}

TEST(SceneTree, DeleteNodeRemovesSubtreeAndClearsReferences) {
  Scene s;
  auto& a = s.CreateNode("a");
  auto& a1 = s.CreateNode("a1", &a);
  auto& joint = s.CreateNode("joint");
  auto helper = HelperObject::Create(host::kVexaIKJointClassId);
  helper->paramBlocks[0]->Set("OBJECT_A", &a1);
  joint.SetObject(helper);
  s.DeleteNode(a);
  EXPECT_EQ(Names(s.AllNodes()), (std::vector<std::string>{"joint"}));
  EXPECT_EQ(s.NodeCount(), 2u);
  auto ref = helper->FindParam("OBJECT_A");
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref.block->GetNode(ref.index, 0), nullptr);
}

TEST(SceneTree, DeepChainDoesNotExhaustTheStack) {
  Scene s;
  SceneNode* parent = nullptr;
  for (int i = 0; i < 200000; ++i) parent = &s.CreateNode("n", parent);
  parent->SetName("last");
  EXPECT_EQ(s.AllNodes().size(), 200000u);
  EXPECT_EQ(s.FindNode("last"), parent);
}

TEST(SceneNodeTransforms, ObjectTmAppliesScaleRotationTranslationThenNodeTm) {
  Scene s;
  auto& n = s.CreateNode("n");
  n.SetTransform(Matrix3::Translation({10, 0, 0}));
  // Quarter turn about Z.
  float h = std::sqrt(0.5f);
  n.SetObjectOffset({0, 0, 5}, host::Quat{0, 0, h, h}, {2, 2, 2});
  // (1,0,0) -> scale (2,0,0) -> rotate (0,2,0) -> offset (0,2,5) -> node (10,2,5).
  ExpectNear(n.GetObjectTM(0).PointTransform({1, 0, 0}), {10, 2, 5});
  EXPECT_EQ(n.GetObjTMAfterWSM(0), n.GetObjectTM(0));
  ExpectNear(n.GetNodeTM(0).PointTransform({1, 0, 0}), {11, 0, 0});
  EXPECT_EQ(n.GetObjOffsetScale(), (Point3{2, 2, 2}));
}

TEST(SceneNodeTransforms, TrackOverridesStaticTransform) {
  Scene s;
  auto& n = s.CreateNode("n");
  n.SetTransform(Matrix3::Translation({1, 0, 0}));
  n.SetTransformTrack([](host::TimeValue t) { return Matrix3::Translation({float(t), 0, 0}); });
  EXPECT_EQ(n.GetNodeTM(160).GetTrans(), (Point3{160, 0, 0}));
  n.SetTransformTrack({});
  EXPECT_EQ(n.GetNodeTM(160).GetTrans(), (Point3{1, 0, 0}));
}

TEST(SceneObjects, InstancesShareTheObjectReference) {
  Scene s;
  auto mesh = std::make_shared<MeshObject>();
  auto& a = s.CreateNode("a");
  auto& b = s.CreateNode("b");
  auto& c = s.CreateNode("c");
  a.SetObject(mesh);
  b.SetObject(mesh);
  c.SetObject(std::make_shared<MeshObject>());
  EXPECT_EQ(a.GetObjectRef(), b.GetObjectRef());
  EXPECT_NE(a.GetObjectRef(), c.GetObjectRef());
  EXPECT_EQ(s.AllObjects().size(), 2u);
  EXPECT_EQ(s.Root().GetObjectRef(), nullptr);
  EXPECT_EQ(s.Root().EvalWorldState(0), nullptr);
}

TEST(SceneObjects, MeshConvertsToAnIndependentCopy) {
  MeshObject m;
  m.mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}};
  m.mesh.faces.push_back({.v = {0, 1, 2}});
  EXPECT_TRUE(m.CanConvertToTriMesh());
  auto copy = m.ConvertToTriMesh(0);
  ASSERT_TRUE(copy);
  copy->verts[0] = {5, 5, 5};
  EXPECT_EQ(m.mesh.verts[0], (Point3{0, 0, 0}));
  EXPECT_EQ(m.GetBoundingBox(0).max, (Point3{1, 2, 0}));
  EXPECT_EQ(m.GetSuperClassId(), host::kGeomObjectClass);
  EXPECT_EQ(m.GetClassId(), host::kTriObjectClassId);

  UnconvertibleGeomObject u;
  EXPECT_FALSE(u.CanConvertToTriMesh());
  EXPECT_FALSE(u.ConvertToTriMesh(0));
  EXPECT_EQ(u.GetSuperClassId(), host::kGeomObjectClass);
  EXPECT_EQ(ShapeObject().GetSuperClassId(), host::kShapeClass);
}

TEST(SceneObjects, LightKindFollowsClass) {
  struct Case {
    ClassId id;
    host::LightKind kind;
    bool target;
  };
  for (auto c : {Case{host::kOmniLightClassId, host::LightKind::Omni, false},
                 Case{host::kSpotLightClassId, host::LightKind::Spot, true},
                 Case{host::kFreeSpotLightClassId, host::LightKind::Spot, false},
                 Case{host::kDirectionalLightClassId, host::LightKind::Directional, true},
                 Case{host::kFreeDirectionalLightClassId, host::LightKind::Directional, false},
                 Case{host::kAmbientLightClassId, host::LightKind::Ambient, false}}) {
    LightObject l(c.id);
    l.multiplier = 2.5f;
    auto st = l.EvalLightState(0);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->kind, c.kind);
    EXPECT_EQ(l.IsTarget(), c.target);
    EXPECT_EQ(st->intensity, 2.5f);
    EXPECT_EQ(l.GetSuperClassId(), host::kLightClass);
  }
  EXPECT_FALSE(IsHostLightClass(host::kVexaLightClassId));
  CameraObject cam(true);
  EXPECT_TRUE(cam.EvalCameraState(0)->isTarget);
  EXPECT_EQ(cam.GetClassId(), host::kTargetCameraClassId);
}

TEST(SceneObjects, EngineHelpersCarryTheirParameters) {
  auto light = HelperObject::Create(host::kVexaLightClassId);
  EXPECT_EQ(light->GetSuperClassId(), host::kLightClass);
  for (const char* name : {"enabled", "type", "rgb", "showFarAtten", "castShadows", "castSHMShadows",
                           "farAttenEnd", "multiplier", "hotspot", "falloff"})
    EXPECT_TRUE(light->FindParam(name)) << name;

  auto joint = HelperObject::Create(host::kVexaIKJointClassId);
  EXPECT_EQ(joint->GetSuperClassId(), host::kHelperClass);
  EXPECT_EQ(joint->paramBlocks[0]->NumParams(), 7 + 24 + 2);
  EXPECT_TRUE(joint->FindParam("plane_zy_b_point_y"));

  EXPECT_TRUE(HelperObject::Create(host::kVexaSoundEventClassId)->FindParam("soundID"));
  EXPECT_TRUE(HelperObject::Create(host::kVexaParticleEventClassId)->FindParam("particleGroup"));
  auto sphere = HelperObject::Create(host::kExtDummyClassId);
  ASSERT_TRUE(sphere->FindParamBlock("ExtDummyObjParams"));
  auto r = sphere->FindParam("Radius");
  EXPECT_EQ(r.block->GetFloat(r.index, 0), 1.0f);

  auto unknown = HelperObject::Create({0x1234, 0x5678});
  EXPECT_EQ(unknown->NumParamBlocks(), 0);
  EXPECT_EQ(unknown->GetClassId(), (ClassId{0x1234, 0x5678}));

  host::Box3 box;
  box.Include({-1, -2, -3});
  box.Include({1, 2, 3});
  auto dummy = HelperObject::Dummy(box);
  EXPECT_EQ(dummy->GetBoundingBox(0).Width(), (Point3{2, 4, 6}));
}

TEST(SceneAppData, KeyedByOwnerSuperClassAndSub) {
  Scene s;
  auto& n = s.CreateNode("n");
  ClassId owner{1, 2};
  n.SetAppData(owner, 0xA20, 3, {1});
  n.SetAppData(owner, 0xA20, 4, {2});
  n.SetAppData({1, 3}, 0xA20, 3, {3});
  ASSERT_TRUE(n.GetAppData(owner, 0xA20, 3));
  EXPECT_EQ(*n.GetAppData(owner, 0xA20, 3), std::vector<uint8_t>{1});
  EXPECT_EQ(n.GetAppData(owner, 0xA10, 3), nullptr);
  n.RemoveAppData(owner, 0xA20, 3);
  EXPECT_EQ(n.GetAppData(owner, 0xA20, 3), nullptr);
  EXPECT_EQ(n.appData.All().size(), 2u);
}

class ParamBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pb.AddParam({.internalName = "count", .type = ParamType::Int});
    pb.AddParam({.internalName = "flag", .type = ParamType::Bool});
    pb.AddParam({.internalName = "amount", .type = ParamType::Float});
    pb.AddParam({.internalName = "label", .type = ParamType::String});
    pb.AddParam({.internalName = "rgb", .type = ParamType::Colour});
    pb.AddParam({.internalName = "target", .type = ParamType::Node});
    pb.AddParam({.internalName = "weights", .type = ParamType::Float, .isTable = true});
  }
  ParamBlockImpl pb{"TestParams"};
};

TEST_F(ParamBlockTest, ReadersConvertBetweenNumericKinds) {
  EXPECT_TRUE(pb.Set("count", 7));
  EXPECT_TRUE(pb.Set("flag", 5));  // stored as 1
  EXPECT_TRUE(pb.Set("amount", 2.75f));
  EXPECT_EQ(pb.GetFloat(0, 0), 7.0f);
  EXPECT_EQ(pb.GetInt(1, 0), 1);
  EXPECT_EQ(pb.GetInt(2, 0), 2);
  EXPECT_TRUE(pb.Set("AMOUNT", 3));  // an int into a float parameter, any case
  EXPECT_EQ(pb.GetFloat(2, 0), 3.0f);
  // Readers of the wrong kind see zero or empty.
  EXPECT_EQ(pb.GetPoint(0, 0), Point3{});
  EXPECT_EQ(pb.GetString(0, 0), "");
  EXPECT_EQ(pb.GetNode(0, 0), nullptr);
  EXPECT_EQ(pb.GetInt(3, 0), 0);
}

TEST_F(ParamBlockTest, NonFiniteAndHugeFloatsReadAsSafeInts) {
  pb.Set("amount", std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(pb.GetInt(2, 0), 0);
  pb.Set("amount", std::numeric_limits<float>::infinity());
  EXPECT_EQ(pb.GetInt(2, 0), 0);
  pb.Set("amount", 1e20f);
  EXPECT_EQ(pb.GetInt(2, 0), std::numeric_limits<int>::max());
  pb.Set("amount", -1e20f);
  EXPECT_EQ(pb.GetInt(2, 0), std::numeric_limits<int>::min());
}

TEST_F(ParamBlockTest, WritersRefuseWrongKindsAndBadIndices) {
  EXPECT_FALSE(pb.Set("count", 1.5f));
  EXPECT_FALSE(pb.Set("label", 1));
  EXPECT_FALSE(pb.Set("rgb", "red"));
  EXPECT_FALSE(pb.Set("missing", 1));
  EXPECT_FALSE(pb.Set("count", 1, 1));  // a plain parameter has only entry 0
  EXPECT_FALSE(pb.SetInt(-1, 1));
  EXPECT_FALSE(pb.SetInt(99, 1));
  EXPECT_FALSE(pb.SetInt(0, 1, -1));
  EXPECT_EQ(pb.Count(99), 0);
  EXPECT_EQ(pb.Def(99).internalName, "");
  EXPECT_EQ(pb.GetInt(0, 0, 5), 0);
  EXPECT_TRUE(pb.Set("label", "hello"));
  EXPECT_EQ(pb.GetString(3, 0), "hello");
  EXPECT_TRUE(pb.Set("rgb", Point3{1, 0.5f, 0}));
  EXPECT_EQ(pb.GetPoint(4, 0), (Point3{1, 0.5f, 0}));
}

TEST_F(ParamBlockTest, TablesGrowAndAreBounded) {
  EXPECT_EQ(pb.Count(6), 0);
  EXPECT_TRUE(pb.Set("weights", 0.5f, 2));
  EXPECT_EQ(pb.Count(6), 3);
  EXPECT_EQ(pb.GetFloat(6, 0, 0), 0.0f);
  EXPECT_EQ(pb.GetFloat(6, 0, 2), 0.5f);
  EXPECT_TRUE(pb.SetCount(6, 1));
  EXPECT_EQ(pb.Count(6), 1);
  EXPECT_FALSE(pb.SetCount(6, -1));
  EXPECT_FALSE(pb.SetCount(6, std::numeric_limits<int>::max()));
  EXPECT_FALSE(pb.SetFloat(6, 1.0f, std::numeric_limits<int>::max()));
  EXPECT_EQ(pb.Count(6), 1);
  EXPECT_TRUE(pb.SetCount(0, 1));  // a plain parameter always has one entry
  EXPECT_FALSE(pb.SetCount(0, 2));
}

TEST_F(ParamBlockTest, CloneRemapsNodeReferences) {
  Scene s;
  auto& a = s.CreateNode("a");
  auto& b = s.CreateNode("b");
  pb.Set("target", &a);
  pb.Set("label", "x");
  auto copy = pb.Clone([&](host::Node* n) -> host::Node* { return n == &a ? &b : n; });
  EXPECT_EQ(copy->GetNode(5, 0), &b);
  EXPECT_EQ(pb.GetNode(5, 0), &a);
  EXPECT_EQ(copy->GetString(3, 0), "x");
  EXPECT_EQ(copy->BlockName(), "TestParams");
}

}  // namespace
}  // namespace vorlan::workbench
