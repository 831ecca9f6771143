// Controllers and their evaluation, checked against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "workbench/controllers.h"
#include "workbench/scene.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {
namespace {

using host::Interval;
using host::Point3;
using host::Quat;

constexpr float kTol = 1e-4f;

void ExpectNear(Point3 a, Point3 b, float tol = kTol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// The rotation angle about +Z of a quaternion that turns about Z.
float AngleAboutZ(Quat q) { return 2.0f * std::atan2(q.z, q.w); }

Point3 CatmullRom(Point3 p0, Point3 p1, Point3 p2, Point3 p3, float u) {
  float u2 = u * u, u3 = u2 * u;
  return (p1 * 2 + (p2 - p0) * u + (p0 * 2 - p1 * 5 + p2 * 4 - p3) * u2 + (p1 * 3 - p0 - p2 * 3 + p3) * u3) *
         0.5f;
}

TEST(Interpolation, LinearHoldsEndsAndLerpsBetween) {
  std::vector<host::LinearPoint3Key> keys = {{0, 0, {0, 0, 0}}, {100, 0, {10, -20, 4}}};
  Interval v = Interval::Forever();
  ExpectNear(EvalTrack(keys, 25, &v), {2.5f, -5, 1});
  EXPECT_EQ(v, (Interval{25, 25}));
  v = Interval::Forever();
  ExpectNear(EvalTrack(keys, 500, &v), {10, -20, 4});
  EXPECT_EQ(v, (Interval{100, Interval::Forever().end}));
  v = Interval::Forever();
  ExpectNear(EvalTrack(keys, -3, &v), {0, 0, 0});
  EXPECT_EQ(v, (Interval{Interval::Forever().start, 0}));

  // A quarter turn about Z slerped half way is an eighth of a turn.
  std::vector<host::LinearRotKey> rot = {{0, 0, {}},
                                         {160, 0, host::QuatFromAngAxis({{0, 0, 1}, 1.5707963f})}};
  EXPECT_NEAR(AngleAboutZ(EvalTrack(rot, 80, nullptr)), 0.7853982f, kTol);
}

TEST(Interpolation, NeutralTcbIsCatmullRomOnEvenKeys) {
  Point3 p[] = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 0, -2}, {6, 1, 0}};
  std::vector<host::TCBPoint3Key> keys;
  for (int i = 0; i < 5; ++i) keys.push_back({i * 160, 0, p[i], {}});
  for (int seg = 1; seg <= 2; ++seg) {
    for (float u : {0.0f, 0.25f, 0.5f, 0.8f}) {
      Point3 want = CatmullRom(p[seg - 1], p[seg], p[seg + 1], p[seg + 2], u);
      ExpectNear(EvalTrack(keys, seg * 160 + int(u * 160), nullptr), want);
    }
  }
  // Tension 1 flattens the tangents: half way between keys 1 and 2 is the midpoint.
  for (auto& k : keys) k.tcb.tens = 1;
  ExpectNear(EvalTrack(keys, 240, nullptr), (p[1] + p[2]) * 0.5f);
}

TEST(Interpolation, TcbEaseSlowsTheStartButKeepsTheKeys) {
  std::vector<host::TCBPoint3Key> keys = {{0, 0, {0, 0, 0}, {}}, {100, 0, {10, 0, 0}, {}}};
  // Two keys: a straight line, and a full ease out of the first key with none into the
  // second gives u' = u^2 / (2 - 1) ... k = 1, u' = u^2 while u < 1.
  keys[0].tcb.easeOut = 1;
  EXPECT_NEAR(EvalTrack(keys, 50, nullptr).x, 2.5f, kTol);
  EXPECT_NEAR(EvalTrack(keys, 100, nullptr).x, 10.0f, kTol);
  keys[0].tcb.easeOut = 0;
  EXPECT_NEAR(EvalTrack(keys, 50, nullptr).x, 5.0f, kTol);
}

TEST(Interpolation, BezierWithThirdHandlesOnTheSlopeIsLinear) {
  host::BezPoint3Key a, b;
  a.time = 0;
  a.val = {0, 0, 0};
  b.time = 300;
  b.val = {30, -60, 3};
  Point3 slope = (b.val - a.val) / 300.0f;
  a.outTan = b.inTan = a.inTan = b.outTan = slope;
  std::vector<host::BezPoint3Key> keys = {a, b};
  for (int t : {30, 100, 150, 299}) ExpectNear(EvalTrack(keys, t, nullptr), b.val * (t / 300.0f), 1e-3f);

  // Flat tangents: a smooth step, 0.5 at the middle and 0.15625 at a quarter (3u^2 - 2u^3).
  keys[0].outTan = keys[1].inTan = {};
  keys[1].val = {1, 1, 1};
  EXPECT_NEAR(EvalTrack(keys, 150, nullptr).x, 0.5f, kTol);
  EXPECT_NEAR(EvalTrack(keys, 75, nullptr).y, 0.15625f, kTol);
}

// Keys read from a file may lie further apart than a TimeValue counts: the curves still
// evaluate between them (a regression: the span overflowed).
TEST(Interpolation, KeysAtTheEndsOfTimeStillEvaluate) {
  constexpr int kFar = 2'000'000'000;
  host::BezPoint3Key a, b;
  a.time = -kFar;
  b.time = kFar;
  b.val = {4, 4, 4};
  a.outTan = b.inTan = b.val / 4e9f;
  a.outLength = b.inLength = {1.0f / 3, 1.0f / 3, 1.0f / 3};
  ExpectNear(EvalTrack(std::vector<host::BezPoint3Key>{a, b}, 0, nullptr), {2, 2, 2}, 1e-2f);
  std::vector<host::TCBPoint3Key> tcb(3);
  tcb[0].time = -kFar;
  tcb[1].time = 0;
  tcb[2].time = kFar;
  tcb[1].val = {1, 1, 1};
  tcb[2].val = {2, 2, 2};
  ExpectNear(EvalTrack(tcb, kFar / 2, nullptr), {1.5f, 1.5f, 1.5f}, 1e-2f);
}

TEST(Interpolation, TcbRotationKeysAreTurnsAndMaySpin) {
  // Three keys about Z: +90 degrees, then two more turns of 270 degrees each. The
  // summed angles 90, 360, 630 on even keys follow Catmull-Rom in the angle.
  const float q = std::numbers::pi_v<float> / 2;
  std::vector<host::TCBRotKey> keys = {
      {0, 0, {{0, 0, 1}, q}, {}}, {100, 0, {{0, 0, 1}, 3 * q}, {}}, {200, 0, {{0, 0, 1}, 3 * q}, {}}};
  auto angleAt = [&](int t) { return EvalTrack(keys, t, nullptr); };
  EXPECT_NEAR(AngleAboutZ(angleAt(0)), q, kTol);
  // Key 1 sits at 360 degrees: the identity (sign aside).
  Quat k1 = angleAt(100);
  EXPECT_NEAR(std::abs(k1.w), 1.0f, kTol);
  // Two keys ahead and natural ends: the first segment's middle, worked by hand. Points
  // 0, 3q, 6q; outgoing tangent at 0 = (3*3q - in1)/2 with in1 = (3q + 3q)/2 = 3q -> 3q.
  // Hermite at u = 1/2: 3q/2 + 3q/8 - 3q/8 = 1.5q (plus the first key's q): 2.5q = 225 deg.
  Quat mid = angleAt(50);
  float want = 2.5f * q;
  EXPECT_NEAR(std::cos(AngleAboutZ(mid)), std::cos(want), kTol);
  EXPECT_NEAR(std::sin(AngleAboutZ(mid)), std::sin(want), kTol);
}

TEST(Controllers, TransformControllerTakesOnlyItsKindAndCreatesByClass) {
  TransformControl prs;
  EXPECT_EQ(prs.GetClassId(), host::kPRSControlClassId);
  EXPECT_FALSE(prs.SetPositionController(CreateControl(host::kTCBRotationClassId)));
  EXPECT_TRUE(prs.SetPositionController(CreateControl(host::kTCBPositionClassId)));
  EXPECT_TRUE(prs.SetRotationController(CreateControl(host::kLookAtRotationClassId)));
  EXPECT_EQ(prs.GetPositionController()->GetClassId(), host::kTCBPositionClassId);
  EXPECT_EQ(prs.GetRotationController()->GetKeyControl(), nullptr);
  EXPECT_EQ(CreateControl({0x1234, 5}), nullptr);

  auto c = CreateControl(host::kBezierScaleClassId);
  host::IKeyControl* keys = c->GetKeyControl();
  keys->SetNumKeys(2);
  host::BezScaleKey k;
  k.time = 80;
  EXPECT_TRUE(keys->SetKey(0, k));
  EXPECT_FALSE(keys->SetKey(1, host::LinearScaleKey{}));
  EXPECT_FALSE(keys->SetKey(2, k));
  keys->SortKeys();
  EXPECT_EQ(keys->GetKeyAs<host::BezScaleKey>(1)->time, 80);
  EXPECT_FALSE(keys->GetKeyAs<host::LinearScaleKey>(0));
}

TEST(Controllers, NodesFollowKeysAndParentsWhileStillNodesKeepTheirTransform) {
  Scene scene;
  SceneNode& parent = scene.CreateNode("parent");
  SceneNode& child = scene.CreateNode("child", &parent);
  parent.SetTransform(host::Matrix3::Translation({0, 0, 5}));
  child.SetTransform(host::Matrix3::Translation({1, 0, 5}));
  EXPECT_FALSE(child.IsAnimated());
  ASSERT_NE(parent.GetTMController(), nullptr);
  EXPECT_EQ(scene.Root().GetTMController(), nullptr);

  // Moving the parent along X; the child keeps its offset and static Z.
  auto pos = CreateControl(host::kLinearPositionClassId);
  pos->GetKeyControl()->SetNumKeys(2);
  pos->GetKeyControl()->SetKey(0, host::LinearPoint3Key{0, 0, {0, 0, 5}});
  pos->GetKeyControl()->SetKey(1, host::LinearPoint3Key{160, 0, {10, 0, 5}});
  ASSERT_TRUE(parent.GetTMController()->SetPositionController(std::move(pos)));
  EXPECT_TRUE(child.IsAnimated());
  ExpectNear(child.GetNodeTM(80).GetTrans(), {6, 0, 5});
  EXPECT_EQ(child.NodeTMValidity(80), (Interval{80, 80}));
  EXPECT_EQ(child.NodeTMValidity(400), (Interval{160, Interval::Forever().end}));

  // An empty keyframe controller leaves the channel at the static value.
  parent.GetTMController()->SetRotationController(CreateControl(host::kTCBRotationClassId));
  ExpectNear(parent.GetNodeTM(0).GetTrans(), {0, 0, 5});
}

TEST(Controllers, WorkbenchClockAndCameraFieldOfView) {
  Scene scene;
  ScriptedUI ui;
  Workbench wb(scene, ui);
  wb.SetFrameRate(25);
  EXPECT_EQ(wb.GetTicksPerFrame(), 192);
  wb.SetTicksPerFrame(160);
  EXPECT_EQ(wb.GetFrameRate(), 25);
  wb.SetAnimRange({-160, 3200});
  EXPECT_EQ(wb.GetAnimRange(), (Interval{-160, 3200}));
  wb.SetTime(480);
  EXPECT_EQ(wb.GetTime(), 480);
  EXPECT_EQ(wb.CreateControl(host::kBezierRotationClassId)->GetSuperClassId(), host::kCtrlRotationClass);

  CameraObject cam;
  EXPECT_EQ(cam.ObjectValidity(0), Interval::Forever());
  auto fov = std::make_shared<LinearFloatControl>(host::kLinearFloatClassId, host::kCtrlFloatClass);
  fov->keys = {{0, 0, 1.0f}, {100, 0, 0.5f}};
  cam.fovControl = fov;
  EXPECT_NEAR(cam.EvalCameraState(50)->fov, 0.75f, kTol);
  EXPECT_EQ(cam.ObjectValidity(100), (Interval{100, Interval::Forever().end}));
}

TEST(AnimationDocument, ControllersKeysAndClockReadBackBitForBit) {
  Scene a;
  a.animStart = -320;
  a.animEnd = 9600;
  a.frameRate = 25;
  a.ticksPerFrame = 160;  // set apart from the rate, as an import may leave it
  a.currentTime = 480;
  auto& n = a.CreateNode("n");
  auto pos = std::make_unique<BezierPositionControl>(host::kBezierPositionClassId, host::kCtrlPositionClass);
  host::BezPoint3Key k;
  k.time = 160;
  k.flags = 0x80000401;
  k.val = {0.1f, -1e-30f, 3.4e38f};
  k.inTan = {std::nextafter(1.0f, 2.0f), 0, -0.0f};
  pos->keys = {k};
  n.GetTMController()->SetPositionController(std::move(pos));
  auto rot = std::make_unique<TCBRotationControl>(host::kTCBRotationClassId, host::kCtrlRotationClass);
  rot->keys = {{0, 7, {{0, 0, 1}, 12.5f}, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}}};
  n.GetTMController()->SetRotationController(std::move(rot));
  n.GetTMController()->SetScaleController(CreateControl(host::kScaleExpressionClassId));
  auto& bone = a.CreateNode("bone", &n);
  bone.TMControl()->SetClassId({0x9154, 0});
  auto& camNode = a.CreateNode("cam");
  auto cam = std::make_shared<CameraObject>();
  auto fov = std::make_shared<LinearFloatControl>(host::kLinearFloatClassId, host::kCtrlFloatClass);
  fov->keys = {{0, 0, 0.7f}, {160, 0, 1.3f}};
  cam->fovControl = fov;
  camNode.SetObject(cam);

  std::string error;
  std::string text = SceneDocumentText(a, error);
  ASSERT_TRUE(error.empty()) << error;
  Scene b;
  auto r = ParseSceneDocument(text, b);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(b.animStart, -320);
  EXPECT_EQ(b.ticksPerFrame, 160);
  EXPECT_EQ(b.frameRate, 25);
  EXPECT_EQ(b.currentTime, 480);
  auto* bn = b.FindNode("n");
  auto* keys = bn->GetTMController()->GetPositionController()->GetKeyControl();
  ASSERT_EQ(keys->GetNumKeys(), 1);
  EXPECT_EQ(*keys->GetKeyAs<host::BezPoint3Key>(0), k);
  EXPECT_TRUE(std::signbit(keys->GetKeyAs<host::BezPoint3Key>(0)->inTan.z));
  EXPECT_EQ(*bn->GetTMController()->GetRotationController()->GetKeyControl()->GetKeyAs<host::TCBRotKey>(0),
            (host::TCBRotKey{0, 7, {{0, 0, 1}, 12.5f}, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}}));
  EXPECT_EQ(bn->GetTMController()->GetScaleController()->GetClassId(), host::kScaleExpressionClassId);
  EXPECT_EQ(b.FindNode("bone")->GetTMController()->GetClassId(), (host::ClassId{0x9154, 0}));
  auto* bcam = dynamic_cast<CameraObject*>(b.FindNode("cam")->ObjectPtr().get());
  EXPECT_NEAR(bcam->EvalCameraState(80)->fov, 1.0f, kTol);
  EXPECT_EQ(SceneDocumentText(b, error), text);

  // A controller of the wrong channel is refused with its path.
  Scene c;
  auto bad = ParseSceneDocument(
      R"({"version": 1, "nodes": [{"name": "x", "controller": {"position": {"class": [8195, 0]}}}]})", c,
      "d");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error, "d: nodes[0].controller.position.class: expected a controller class of this channel");
}

}  // namespace
}  // namespace vorlan::workbench
