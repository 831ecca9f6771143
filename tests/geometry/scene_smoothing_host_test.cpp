// The pass against a small stand-in host: nodes found by name, their transforms and
// boxes, and the whole pass as the exporter runs it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geometry/scene_smoothing.h"
#include "host/interface.h"
#include "scene_smoothing_reference.h"
#include "zef_image_builder.h"

namespace vorlan::geometry {
namespace {

using host::Box3;
using host::Matrix3;
using host::Point3;
using zeftest::MakeCube;
using zeftest::NormalAt;

class BoxObject : public host::Object {
 public:
  explicit BoxObject(Box3 box) : box_(box) {}
  host::ClassId GetClassId() const override { return {}; }
  host::SuperClassId GetSuperClassId() const override { return host::kGeomObjectClass; }
  const std::vector<uint8_t>* GetAppData(host::ClassId, host::SuperClassId, uint32_t) const override {
    return nullptr;
  }
  void SetAppData(host::ClassId, host::SuperClassId, uint32_t, std::vector<uint8_t>) override {}
  void RemoveAppData(host::ClassId, host::SuperClassId, uint32_t) override {}
  Box3 GetBoundingBox(host::TimeValue) const override { return box_; }
  std::string ClassName() const override { return "Box"; }

 private:
  Box3 box_;
};

class StubNode : public host::Node {
 public:
  StubNode(std::string name, Matrix3 tm, std::unique_ptr<host::Object> object = nullptr)
      : name_(std::move(name)), tm_(tm), object_(std::move(object)) {}
  StubNode* Add(std::unique_ptr<StubNode> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
  }
  // The object may sit off the pivot; the object transform then differs from the node's.
  Matrix3 objectOffset;

  host::ClassId GetClassId() const override { return {}; }
  const std::vector<uint8_t>* GetAppData(host::ClassId, host::SuperClassId, uint32_t) const override {
    return nullptr;
  }
  void SetAppData(host::ClassId, host::SuperClassId, uint32_t, std::vector<uint8_t>) override {}
  void RemoveAppData(host::ClassId, host::SuperClassId, uint32_t) override {}
  std::string GetName() const override { return name_; }
  Node* GetParentNode() const override { return parent_; }
  int NumberOfChildren() const override { return static_cast<int>(children_.size()); }
  Node* GetChildNode(int i) const override { return children_[static_cast<std::size_t>(i)].get(); }
  bool IsRootNode() const override { return parent_ == nullptr; }
  bool Selected() const override { return false; }
  Matrix3 GetNodeTM(host::TimeValue) const override { return tm_; }
  Matrix3 GetObjTMAfterWSM(host::TimeValue) const override { return objectOffset * tm_; }
  Matrix3 GetObjectTM(host::TimeValue) const override { return objectOffset * tm_; }
  Point3 GetObjOffsetPos() const override { return objectOffset.GetTrans(); }
  host::Quat GetObjOffsetRot() const override { return {}; }
  Point3 GetObjOffsetScale() const override { return {1, 1, 1}; }
  host::Object* EvalWorldState(host::TimeValue) const override { return object_.get(); }
  const void* GetObjectRef() const override { return object_.get(); }
  host::Mtl* GetMtl() const override { return nullptr; }
  std::string GetUserPropBuffer() const override { return {}; }
  void SetUserPropBuffer(std::string) override {}

 private:
  std::string name_;
  Matrix3 tm_;
  std::unique_ptr<host::Object> object_;
  StubNode* parent_ = nullptr;
  std::vector<std::unique_ptr<StubNode>> children_;
};

class StubHost : public host::Interface {
 public:
  StubNode root{"Scene Root", Matrix3()};
  zeftest::RecordingUI ui;

  host::UserInterface& UI() override { return ui; }
  host::Node* GetRootNode() override { return &root; }
  host::Node* GetINodeByName(const std::string&) override { return nullptr; }
  uint32_t GetHostVersion() const override { return 0; }
  std::string GetPlugCfgDir() const override { return {}; }
  std::string GetComputerName() const override { return {}; }
  std::string GetUserName() const override { return {}; }
  std::optional<host::SceneProperty> GetSceneProperty(const std::string&) const override { return {}; }
  std::optional<host::ViewportImage> GrabViewport() override { return {}; }
  bool ExportToFile(const std::string&, host::ClassId, bool, uint32_t) override { return false; }
};

std::unique_ptr<StubNode> CubeNode(const std::string& name, Point3 at) {
  return std::make_unique<StubNode>(
      name, Matrix3::Translation(at),
      std::make_unique<BoxObject>(Box3{{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}}));
}

TEST(ResolveSmoothItems, TakesPlacementFromTheFirstNodeOfTheName) {
  StubHost host;
  StubNode* group = host.root.Add(std::make_unique<StubNode>("group", Matrix3()));
  StubNode* deep = group->Add(CubeNode("wall", {1, 2, 3}));
  host.root.Add(CubeNode("wall", {9, 9, 9}));  // later in depth-first order
  StubNode* turned = host.root.Add(
      std::make_unique<StubNode>("turned", Matrix3::RotationZ(0.5f) * Matrix3::Translation({0, 0, 4}),
                                 std::make_unique<BoxObject>(Box3{{0, 0, 0}, {1, 1, 1}})));
  turned->objectOffset = Matrix3::Translation({1, 0, 0});
  host.root.Add(std::make_unique<StubNode>("empty", Matrix3()));  // no object: no box

  std::vector<SmoothItem> items(4);
  items[0].name = "wall";
  items[1].name = "missing";
  items[2].name = "turned";
  items[3].name = "empty";
  ResolveSmoothItems(items, host.root);
  ASSERT_EQ(items.size(), 3u) << "a node the host does not know takes no part";

  EXPECT_EQ(items[0].positionTM, deep->GetNodeTM(0));
  EXPECT_EQ(items[0].directionTM, Matrix3()) << "the direction transform has no translation";
  EXPECT_EQ(items[0].worldBox.min, (Point3{0.5f, 1.5f, 2.5f}));
  EXPECT_EQ(items[0].worldBox.max, (Point3{1.5f, 2.5f, 3.5f}));

  Matrix3 objectTM = turned->GetObjTMAfterWSM(0);
  Box3 want;
  for (int c = 0; c < 8; ++c)
    want.Include(objectTM.PointTransform({float(c & 1), float((c >> 1) & 1), float(c >> 2)}));
  EXPECT_EQ(items[1].name, "turned");
  EXPECT_EQ(items[1].worldBox.min, want.min) << "the box follows the object, offset included";
  EXPECT_EQ(items[1].worldBox.max, want.max);
  Matrix3 linear = turned->GetNodeTM(0);
  linear.NoTrans();
  EXPECT_EQ(items[1].directionTM, linear);

  EXPECT_TRUE(items[2].worldBox.IsEmpty());
}

TEST(SmoothWholeScene, MergesPlacedNodesAndReportsProgress) {
  // Two unit cubes stored around their own pivots, placed side by side by the host.
  StubHost host;
  host.root.Add(CubeNode("left", {0.5f, 0.5f, 0.5f}));
  host.root.Add(CubeNode("right", {1.5f, 0.5f, 0.5f}));
  host.root.Add(CubeNode("far", {1.5f, 0.5f, 0.5f}));  // same place, but no entry
  zeftest::ZefImageBuilder b;
  std::size_t off[3];
  const char* names[] = {"left", "right", "far"};
  for (int i = 0; i < 3; ++i) {
    b.BeginNode(names[i]);
    b.BeginGObj(i < 2 ? "SMOOTH=1.0,7" : "");
    off[i] = b.AddGBlock(MakeCube({-0.5f, -0.5f, -0.5f}, 1));
    b.EndGObj();
    b.EndNode();
  }
  auto image = b.Finish(3);
  auto before = image;

  std::vector<std::pair<std::string, std::string>> steps;
  int r = SmoothWholeScene(image, host, false,
                           [&](const char* node, const char* op) { steps.emplace_back(node, op); });
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(host.ui.shown.empty());
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0], (std::pair<std::string, std::string>{"Whole Scene", "Smooth"}));

  // The left cube's +x top corner and the right cube's -x top corner now agree.
  auto cube = MakeCube({-0.5f, -0.5f, -0.5f}, 1);
  Point3 leftTop{}, rightTop{};
  for (std::size_t i = 0; i < 36; ++i) {
    if (cube[i].normal.z < 0.9f) continue;
    if (cube[i].position == Point3{0.5f, -0.5f, 0.5f}) leftTop = NormalAt(image, off[0], i);
    if (cube[i].position == Point3{-0.5f, -0.5f, 0.5f}) rightTop = NormalAt(image, off[1], i);
  }
  EXPECT_EQ(leftTop, rightTop);
  EXPECT_NEAR(leftTop.x, 0.0f, 0.1f);
  EXPECT_TRUE(std::equal(image.begin() + off[2], image.begin() + off[2] + 36 * 24, before.begin() + off[2]));

  // Without the header there is nothing to do, and nothing is shown.
  image[0] = 0;
  auto untouched = image;
  EXPECT_EQ(SmoothWholeScene(image, host, true), 0);
  EXPECT_EQ(image, untouched);
}

}  // namespace
}  // namespace vorlan::geometry
