// Node animation through interchange files: glTF samplers and Assimp channels into the
// workbench's keyframe controllers, and the workbench's keys back out as glTF animation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "interchange/channel_change.h"
#include "interchange/export.h"
#include "interchange/gltf_animation.h"
#include "interchange/import.h"
#include "test_files.h"
#include "workbench/controllers.h"

namespace vorlan::testing {
namespace {

using host::Point3;
using host::Quat;
using nlohmann::json;
using workbench::ImportResult;
using workbench::Scene;
using workbench::SceneNode;

std::string Warnings(const std::vector<std::string>& w) {
  std::string s;
  for (const auto& line : w) s += line + "\n";
  return s;
}
bool Has(const std::vector<std::string>& w, const std::string& text) {
  return std::any_of(w.begin(), w.end(),
                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

template <class C>
const C* Channel(const SceneNode* n, int which) {
  if (!n) return nullptr;
  const host::Control* c = which == 0   ? n->TMControl()->GetPositionController()
                           : which == 1 ? n->TMControl()->GetRotationController()
                                        : n->TMControl()->GetScaleController();
  return dynamic_cast<const C*>(c);
}

// The host's axes from a Y-up file's: (x, y, z) -> (x, -z, y).
Point3 ZUp(float x, float y, float z) { return {x, -z, y}; }

// ---- into the workbench ---------------------------------------------------------------------

TEST(InterchangeAnimation, GltfSamplersBecomeKeysOfTheirKind) {
  Scene scene;
  ImportResult r =
      workbench::ImportInterchange(AssetPath("gltf/InterpolationTest/InterpolationTest.glb"), scene, {});
  ASSERT_TRUE(r.ok) << r.error;

  // STEP: every key after the first is preceded, one tick earlier, by the value before it.
  const auto* step = Channel<workbench::LinearPositionControl>(scene.FindNode("Cube.006"), 0);
  ASSERT_NE(step, nullptr);
  ASSERT_EQ(step->keys.size(), 9u);
  EXPECT_EQ(step->keys[0].time, 0);
  EXPECT_EQ(step->keys[0].val, ZUp(0.0f, 6.665226459503174f, -0.0f));
  EXPECT_EQ(step->keys[1].time, 2200 - 1);  // 0.458333 s
  EXPECT_EQ(step->keys[1].val, step->keys[0].val);
  EXPECT_EQ(step->keys[2].time, 2200);
  EXPECT_EQ(step->keys[2].val, ZUp(0.0f, 10.0f, -0.0f));
  // Held until just before the step, then the new value.
  SceneNode* stepNode = scene.FindNode("Cube.006");
  EXPECT_EQ(stepNode->GetNodeTM(2100).GetTrans(), ZUp(0.0f, 6.665226459503174f, 0.0f));

  // LINEAR: one key per key, evaluated linearly between them.
  const auto* linear = Channel<workbench::LinearPositionControl>(scene.FindNode("Cube.009"), 0);
  ASSERT_NE(linear, nullptr);
  ASSERT_EQ(linear->keys.size(), 5u);
  EXPECT_EQ(linear->keys[1].time, 2000);
  const Point3 mid = scene.FindNode("Cube.009")->GetNodeTM(1000).GetTrans();
  const Point3 want = ZUp(-3.2975807189941406f, (6.621014595031738f + 10.0f) / 2, 0);
  EXPECT_NEAR(mid.x, want.x, 1e-5f);
  EXPECT_NEAR(mid.y, want.y, 1e-5f);
  EXPECT_NEAR(mid.z, want.z, 1e-5f);

  // CUBICSPLINE: Bezier keys whose tangents are the file's per tick, with handles at a third.
  const auto* cubic = Channel<workbench::BezierPositionControl>(scene.FindNode("Cube.008"), 0);
  ASSERT_NE(cubic, nullptr);
  ASSERT_EQ(cubic->keys.size(), 5u);
  EXPECT_EQ(cubic->keys[0].val, ZUp(3.3051798343658447f, 6.640117168426514f, -0.0f));
  RawGltf raw = ReadRawGltf(AssetPath("gltf/InterpolationTest/InterpolationTest.glb"));
  json sampler;
  for (const auto& a : raw.doc["animations"])
    if (a["name"] == "CubicSpline Translation") sampler = a["samplers"][0];
  const std::vector<float> out = AccessorFloats(raw, sampler["output"].get<int>());
  for (std::size_t k = 0; k < 5; ++k) {
    const Point3 in = ZUp(out[k * 9 + 0], out[k * 9 + 1], out[k * 9 + 2]) / 4800.0f;
    const Point3 outTan = ZUp(out[k * 9 + 6], out[k * 9 + 7], out[k * 9 + 8]) / 4800.0f;
    EXPECT_EQ(cubic->keys[k].inTan, in) << k;
    EXPECT_EQ(cubic->keys[k].outTan, outTan) << k;
    EXPECT_NEAR(cubic->keys[k].inLength.x, 1.0f / 3, 1e-7f);
  }

  // Scale and rotation channels of every kind arrive on their nodes.
  EXPECT_NE((Channel<workbench::LinearScaleControl>(scene.FindNode("Cube"), 2)), nullptr);
  EXPECT_NE((Channel<workbench::BezierScaleControl>(scene.FindNode("Cube.002"), 2)), nullptr);
  EXPECT_NE((Channel<workbench::LinearRotationControl>(scene.FindNode("Cube.003"), 1)), nullptr);
  EXPECT_NE((Channel<workbench::BezierRotationControl>(scene.FindNode("Cube.004"), 1)), nullptr);
  EXPECT_TRUE(Has(r.warnings, "cubic-spline rotations imported as smooth rotations")) << Warnings(r.warnings);
  // Nine animations of different nodes all fit on the one timeline.
  EXPECT_FALSE(Has(r.warnings, "animations not imported")) << Warnings(r.warnings);
  EXPECT_EQ(scene.animStart, 0);
  EXPECT_EQ(scene.animEnd, 8200);  // 1.708333 s
}

TEST(InterchangeAnimation, OneTimelineAndWhatCannotBeImportedIsSaid) {
  Scene fox;
  ImportResult f = workbench::ImportInterchange(AssetPath("gltf/Fox/Fox.glb"), fox, {});
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_TRUE(Has(f.warnings,
                  "2 animations not imported: they animate nodes an earlier animation animates "
                  "(one timeline): Walk, Run"))
      << Warnings(f.warnings);
  int animated = 0;
  for (const SceneNode* n : fox.AllNodes()) animated += n->TMControl()->HasKeys() ? 1 : 0;
  EXPECT_GT(animated, 10);

  Scene morph;
  ImportResult m =
      workbench::ImportInterchange(AssetPath("gltf/AnimatedMorphCube/AnimatedMorphCube.glb"), morph, {});
  EXPECT_TRUE(Has(m.warnings, "1 morph target weight animations not imported: Square"))
      << Warnings(m.warnings);

  // Collada comes through Assimp: linear keys, and the same motion as the glTF file.
  Scene dae, gltf;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("dae/BoxAnimated/BoxAnimated.dae"), dae, {}).ok);
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/BoxAnimated/BoxAnimated.glb"), gltf, {}).ok);
  int linear = 0;
  for (const SceneNode* n : dae.AllNodes())
    if (Channel<workbench::LinearPositionControl>(n, 0) || Channel<workbench::LinearRotationControl>(n, 1))
      ++linear;
  EXPECT_GT(linear, 0);
  EXPECT_GT(dae.animEnd, 0);
}

// A glTF file made here: its sampler data decides what the reader takes.
// The transform a glTF node's `matrix` or TRS gives, in the host's row-vector convention.
host::Matrix3 GltfLocal(const json& node) {
  if (node.contains("matrix")) {
    std::vector<float> m = node["matrix"].get<std::vector<float>>();
    return host::Matrix3({m[0], m[1], m[2]}, {m[4], m[5], m[6]}, {m[8], m[9], m[10]}, {m[12], m[13], m[14]});
  }
  std::vector<float> t = node.value("translation", std::vector<float>{0, 0, 0});
  std::vector<float> r = node.value("rotation", std::vector<float>{0, 0, 0, 1});
  std::vector<float> k = node.value("scale", std::vector<float>{1, 1, 1});
  return host::Matrix3::Scale({k[0], k[1], k[2]}) * host::Matrix3::Rotation({r[0], r[1], r[2], r[3]}) *
         host::Matrix3::Translation({t[0], t[1], t[2]});
}

// A bone that the importer moves under a skeleton (or anywhere else) still moves as the file
// says: its keys are relative to the parent it ends up with.
TEST(InterchangeAnimation, AnimatedNodesMoveAsTheFileSaysWhereverTheyHang) {
  const std::string path = AssetPath("gltf/CesiumMan/CesiumMan.glb");
  RawGltf raw = ReadRawGltf(path);
  Scene scene;
  ASSERT_TRUE(workbench::ImportInterchange(path, scene, {}).ok);
  const json& nodes = raw.doc["nodes"];
  std::map<int, int> parent;
  for (std::size_t i = 0; i < nodes.size(); ++i)
    for (const auto& c : nodes[i].value("children", json::array()))
      parent[c.get<int>()] = static_cast<int>(i);
  // The top joint (animated on all three channels, below two turned nodes) at some keys.
  const int joint = 3;
  ASSERT_EQ(nodes[joint]["name"], "Skeleton_torso_joint_1");
  const json& anim = raw.doc["animations"][0];
  std::map<std::string, json> channel;
  for (const auto& c : anim["channels"])
    if (c["target"]["node"] == joint)
      channel[c["target"]["path"]] = anim["samplers"][c["sampler"].get<int>()];
  ASSERT_EQ(channel.size(), 3u);
  const std::vector<float> times = AccessorFloats(raw, channel["translation"]["input"]);
  for (std::size_t k : {std::size_t(0), std::size_t(7), times.size() - 1}) {
    json posed = nodes[joint];
    posed.erase("matrix");
    for (const auto& [p, sampler] : channel) {
      ASSERT_EQ(AccessorFloats(raw, sampler["input"]), times);
      const std::vector<float> v = AccessorFloats(raw, sampler["output"]);
      const std::size_t n = p == "rotation" ? 4 : 3;
      posed[p] = std::vector<float>(v.begin() + static_cast<std::ptrdiff_t>(k * n),
                                    v.begin() + static_cast<std::ptrdiff_t>((k + 1) * n));
    }
    host::Matrix3 world = GltfLocal(posed);
    for (int p = parent[joint];; p = parent[p]) {
      world = world * GltfLocal(nodes[p]);
      if (!parent.count(p)) break;
    }
    const host::Matrix3 want = world * host::Matrix3({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 0});
    const host::Matrix3 got = scene.FindNode("Skeleton_torso_joint_1")
                                  ->GetNodeTM(static_cast<host::TimeValue>(std::lround(times[k] * 4800)));
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.GetRow(r)[c], want.GetRow(r)[c], 1e-4f) << "key " << k;
  }
}

TEST(InterchangeAnimation, DamagedSamplersAreLeftOutAndNamed) {
  GltfWriter w;
  w.doc["nodes"] = json::array({{{"name", "A"}}, {{"name", "B"}}});
  w.doc["scenes"] = json::array({{{"nodes", {0, 1}}}});
  const int times = w.Floats({0.0f, 1.0f}, "SCALAR");
  const int moves = w.Floats({0, 0, 0, 1, 2, 3}, "VEC3");
  const int shortTimes = w.Floats({0.5f}, "SCALAR");
  const int backwards = w.Floats({1.0f, 0.5f}, "SCALAR");
  w.doc["accessors"].push_back(
      {{"bufferView", 0}, {"componentType", 5126}, {"count", 1000000}, {"type", "VEC3"}});
  const int huge = static_cast<int>(w.doc["accessors"].size()) - 1;
  w.doc["animations"] =
      json::array({{{"name", "clip"},
                    {"samplers",
                     {{{"input", times}, {"output", moves}, {"interpolation", "STEP"}},
                      {{"input", shortTimes}, {"output", moves}},
                      {{"input", times}, {"output", huge}},
                      {{"input", backwards}, {"output", moves}},
                      {{"input", times}, {"output", moves}, {"interpolation", "SMOOTH"}}}},
                    {"channels",
                     {{{"sampler", 0}, {"target", {{"node", 0}, {"path", "translation"}}}},
                      {{"sampler", 1}, {"target", {{"node", 1}, {"path", "translation"}}}},
                      {{"sampler", 2}, {"target", {{"node", 1}, {"path", "scale"}}}},
                      {{"sampler", 3}, {"target", {{"node", 1}, {"path", "translation"}}}},
                      {{"sampler", 4}, {"target", {{"node", 1}, {"path", "translation"}}}},
                      {{"sampler", 9}, {"target", {{"node", 1}, {"path", "translation"}}}},
                      {{"sampler", 0}, {"target", {{"node", 7}, {"path", "translation"}}}}}}}});
  const std::string text = w.Text();
  workbench::interchange::GltfAnimationFile file;
  std::string error;
  ASSERT_TRUE(workbench::interchange::ReadGltfAnimations(
      std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), "", file, error));
  ASSERT_EQ(file.clips.size(), 1u);
  ASSERT_EQ(file.clips[0].tracks.size(), 1u);
  EXPECT_EQ(file.clips[0].tracks[0].interpolation, workbench::interchange::GltfInterpolation::Step);
  EXPECT_EQ(file.clips[0].tracks[0].values, (std::vector<float>{0, 0, 0, 1, 2, 3}));
  ASSERT_EQ(file.clips[0].problems.size(), 6u);
  EXPECT_NE(file.clips[0].problems[0].find("counts do not match"), std::string::npos);
  EXPECT_NE(file.clips[0].problems[1].find("runs past its buffer view"), std::string::npos);
  EXPECT_NE(file.clips[0].problems[2].find("times do not increase"), std::string::npos);

  // Assimp refuses what breaks its own reading (the accessor past its data, the missing
  // sampler); without those the file imports and the unusable channels are named.
  auto& channels = w.doc["animations"][0]["channels"];
  channels = json::array({channels[0], channels[1], channels[3]});
  w.doc["animations"][0]["samplers"][2]["output"] = moves;
  w.doc["accessors"].erase(static_cast<std::size_t>(huge));
  TempDir dir;
  WriteText(dir.File("clip.gltf"), w.Text());
  Scene scene;
  ImportResult r = workbench::ImportInterchange(dir.File("clip.gltf"), scene, {});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(Has(r.warnings, "2 animation channels that cannot be read dropped: animations[0].channels[1]"))
      << Warnings(r.warnings);
  EXPECT_TRUE(scene.FindNode("A")->TMControl()->HasKeys());
  EXPECT_FALSE(scene.FindNode("B")->TMControl()->HasKeys());

  // Bytes that are no glTF at all.
  const uint8_t junk[] = {'g', 'l', 'T', 'F', 2, 0, 0, 0, 40, 0, 0, 0, 12, 0, 0, 0, 'J', 'S', 'O', 'N', '{'};
  EXPECT_FALSE(workbench::interchange::ReadGltfAnimations(junk, "", file, error));
}

TEST(InterchangeAnimation, ChangesOfFrameCopyExactlyWhereTheyCan) {
  using workbench::interchange::ChannelChange;
  const host::Matrix3 local = host::Matrix3::Rotation(host::QuatFromAngAxis({{0, 1, 0}, 0.3f})) *
                              host::Matrix3::Translation({1, 2, 3});
  auto same = ChannelChange::Between(local, local, 1.0f);
  ASSERT_TRUE(same);
  const Quat q{0.1f, 0.2f, 0.3f, 0.9273618f};
  EXPECT_EQ(same->Rotation(q), q);
  EXPECT_EQ(same->Position({0.1f, -7.3f, 1e-8f}), (Point3{0.1f, -7.3f, 1e-8f}));
  // The change of up axis swaps components: still exact.
  const host::Matrix3 up({1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {0, 0, 0});
  auto turned = ChannelChange::Between(local, local * up, 2.0f);
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->Position({0.1f, -7.3f, 0.7f}), (Point3{0.2f, -1.4f, -14.6f}));
  EXPECT_EQ(turned->Scale({0.5f, 2, 3}), (Point3{0.5f, 2, 3}));
  // A shear is no change a key can follow.
  const host::Matrix3 shear({1, 0.5f, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0});
  EXPECT_FALSE(ChannelChange::Between(local, local * shear, 1.0f));
}

// ---- out of the workbench ---------------------------------------------------------------------

struct WrittenChannel {
  std::string path, interpolation;
  std::vector<float> times, values;
};

// The written channels by node name and path.
std::map<std::pair<std::string, std::string>, WrittenChannel> Channels(const RawGltf& g,
                                                                       std::size_t clip = 0) {
  std::map<std::pair<std::string, std::string>, WrittenChannel> out;
  if (!g.doc.contains("animations") || clip >= g.doc["animations"].size()) return out;
  const auto& a = g.doc["animations"][clip];
  for (const auto& c : a["channels"]) {
    const auto& s = a["samplers"][c["sampler"].get<int>()];
    const std::string node = g.doc["nodes"][c["target"]["node"].get<int>()].value("name", "");
    WrittenChannel w{c["target"]["path"], s.value("interpolation", "LINEAR"), AccessorFloats(g, s["input"]),
                     AccessorFloats(g, s["output"])};
    out[{node, w.path}] = std::move(w);
  }
  return out;
}

// Each named node's parent's name ("" at the top).
std::map<std::string, std::string> ParentNames(const json& doc) {
  std::map<std::string, std::string> out;
  const json& nodes = doc["nodes"];
  for (const auto& n : nodes)
    for (const auto& c : n.value("children", json::array()))
      out[nodes[c.get<std::size_t>()].value("name", "")] = n.value("name", "");
  return out;
}

TEST(InterchangeAnimation, GltfThroughTheWorkbenchKeepsLinearAndCubicKeyValues) {
  for (const char* file : {"gltf/InterpolationTest/InterpolationTest.glb", "gltf/CesiumMan/CesiumMan.glb",
                           "gltf/RiggedSimple/RiggedSimple.glb", "gltf/CesiumMilkTruck/CesiumMilkTruck.glb",
                           "gltf/Fox/Fox.glb"}) {
    SCOPED_TRACE(file);
    RawGltf original = ReadRawGltf(AssetPath(file));
    std::set<int> topLevel;
    for (const auto& n : original.doc["scenes"][0]["nodes"]) topLevel.insert(n.get<int>());
    Scene scene;
    ASSERT_TRUE(workbench::ImportInterchange(AssetPath(file), scene, {}).ok);
    std::vector<uint8_t> glb;
    workbench::GlbExportResult w = workbench::BuildGlb(scene, {}, glb);
    ASSERT_TRUE(w.ok) << w.error;
    TempDir dir;
    support::WriteFileAtomic(dir.File("out.glb"), glb);
    RawGltf written = ReadRawGltf(dir.File("out.glb"));
    auto channels = Channels(written);
    // Keys are relative to the parent: a node the importer hangs elsewhere (a top bone under
    // the skeleton) has other values for the same motion.
    auto parentsBefore = ParentNames(original.doc), parentsAfter = ParentNames(written.doc);
    int compared = 0;
    // Only the first animation of the Fox is on the timeline.
    for (const auto& a : original.doc["animations"]) {
      for (const auto& c : a["channels"]) {
        const auto& s = a["samplers"][c["sampler"].get<int>()];
        const std::string interpolation = s.value("interpolation", "LINEAR");
        const std::string path = c["target"]["path"];
        if (interpolation == "STEP" || path == "weights") continue;
        const int node = c["target"]["node"];
        const std::string name = original.doc["nodes"][node].value("name", "");
        if (name.empty() || parentsBefore[name] != parentsAfter[name]) continue;
        auto it = channels.find({name, path});
        ASSERT_NE(it, channels.end()) << name << " " << path;
        const WrittenChannel& got = it->second;
        const std::vector<float> times = AccessorFloats(original, s["input"]);
        const std::vector<float> values = AccessorFloats(original, s["output"]);
        ASSERT_EQ(got.times.size(), times.size()) << name << " " << path;
        ASSERT_EQ(got.values.size(), values.size()) << name << " " << path;
        EXPECT_EQ(got.interpolation, interpolation) << name << " " << path;
        for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(got.times[i], times[i], 0.5f / 4800);
        const std::size_t stride = path == "rotation" ? 4 : 3;
        for (std::size_t i = 0; i < values.size(); ++i) {
          const bool isValue = interpolation == "LINEAR" || (i / stride) % 3 == 1;
          // A top-level node's rotation takes the quarter turn of the up axis there and back.
          // Smooth rotations keep no tangents of their own.
          if (path == "rotation" && !isValue) continue;
          if (path == "rotation" && topLevel.count(node)) {
            EXPECT_NEAR(got.values[i], values[i], 3e-7f) << name << " " << path << " " << i;
          } else if (isValue) {
            EXPECT_EQ(got.values[i], values[i]) << name << " " << path << " " << i;
          } else if (path != "rotation") {  // tangents: per second -> per tick -> per second
            EXPECT_NEAR(got.values[i], values[i], 1e-6f * std::max(1.0f, std::abs(values[i])));
          }
        }
        ++compared;
      }
      if (std::string(file).find("Fox") != std::string::npos) break;
    }
    EXPECT_GT(compared, 0);
  }
}

// Hermite interpolation of a written cubic-spline channel at time `t` (seconds).
Point3 GltfCubicAt(const WrittenChannel& c, float t) {
  std::size_t k = 0;
  while (k + 2 < c.times.size() && c.times[k + 1] <= t) ++k;
  const float dt = c.times[k + 1] - c.times[k], u = (t - c.times[k]) / dt;
  const float u2 = u * u, u3 = u2 * u;
  auto at = [&](std::size_t key, int part) {
    const float* p = &c.values[key * 9 + static_cast<std::size_t>(part) * 3];
    return Point3{p[0], p[1], p[2]};
  };
  return at(k, 1) * (2 * u3 - 3 * u2 + 1) + at(k, 2) * (dt * (u3 - 2 * u2 + u)) +
         at(k + 1, 1) * (-2 * u3 + 3 * u2) + at(k + 1, 0) * (dt * (u3 - u2));
}

TEST(InterchangeAnimation, HostKeysBecomeTheCurvesTheWorkbenchDraws) {
  Scene scene;
  SceneNode& parent = scene.CreateNode("Parent");
  SceneNode& node = scene.CreateNode("Mover", &parent);
  node.SetTransform(host::Matrix3::Translation({1, 2, 3}));
  auto tcb =
      std::make_unique<workbench::TCBPositionControl>(host::kTCBPositionClassId, host::kCtrlPositionClass);
  tcb->keys = {{0, 0, {0, 0, 0}, {}},
               {960, 0, {10, 0, 5}, {0.5f, 0.2f, -0.3f, 0, 0}},
               {1600, 0, {10, 20, 0}, {-0.2f, 0, 0.4f, 0, 0}},
               {3200, 0, {0, 5, 5}, {}}};
  node.TMControl()->SetPositionController(std::move(tcb));
  auto bez =
      std::make_unique<workbench::BezierScaleControl>(host::kBezierScaleClassId, host::kCtrlScaleClass);
  host::BezScaleKey a, b;
  a.time = 0, a.val.s = {1, 1, 1}, a.outTan = {0.001f, 0, -0.0005f};
  b.time = 1600, b.val.s = {2, 1, 0.5f}, b.inTan = {0, 0.002f, 0};
  bez->keys = {a, b};
  node.TMControl()->SetScaleController(std::move(bez));
  auto rot =
      std::make_unique<workbench::TCBRotationControl>(host::kTCBRotationClassId, host::kCtrlRotationClass);
  rot->keys = {{0, 0, {{0, 0, 1}, 0}, {}}, {800, 0, {{0, 0, 1}, 1.5f}, {}}};
  node.TMControl()->SetRotationController(std::move(rot));
  SceneNode& eased = scene.CreateNode("Eased");
  auto easedKeys =
      std::make_unique<workbench::TCBPositionControl>(host::kTCBPositionClassId, host::kCtrlPositionClass);
  easedKeys->keys = {{0, 0, {0, 0, 0}, {0, 0, 0, 0, 0.5f}}, {1600, 0, {3, 0, 0}, {}}};
  eased.TMControl()->SetPositionController(std::move(easedKeys));
  SceneNode& cam = scene.CreateNode("Cam");
  auto camera = std::make_shared<workbench::CameraObject>(false);
  auto fov =
      std::make_unique<workbench::LinearFloatControl>(host::kLinearFloatClassId, host::kCtrlFloatClass);
  fov->keys = {{0, 0, 0.5f}, {1600, 0, 1.0f}};
  camera->fovControl = std::move(fov);
  cam.SetObject(camera);

  std::vector<uint8_t> glb;
  workbench::GlbExportResult w = workbench::BuildGlb(scene, {}, glb);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(Has(w.warnings, "1 TCB rotations written as one key per frame: Mover")) << Warnings(w.warnings);
  EXPECT_TRUE(Has(w.warnings, "1 TCB keys with ease written as one key per frame: Eased"))
      << Warnings(w.warnings);
  EXPECT_TRUE(Has(w.warnings, "1 camera field-of-view animations not exported (glTF has none): Cam"))
      << Warnings(w.warnings);
  TempDir dir;
  support::WriteFileAtomic(dir.File("out.glb"), glb);
  RawGltf g = ReadRawGltf(dir.File("out.glb"));
  auto channels = Channels(g);
  // Animated nodes carry their parts, not a matrix.
  for (const auto& n : g.doc["nodes"])
    if (n.value("name", "") == "Mover") {
      EXPECT_FALSE(n.contains("matrix"));
    }

  const WrittenChannel& pos = channels[{"Mover", "translation"}];
  ASSERT_EQ(pos.interpolation, "CUBICSPLINE");
  ASSERT_EQ(pos.times.size(), 4u);
  const WrittenChannel& scl = channels[{"Mover", "scale"}];
  ASSERT_EQ(scl.interpolation, "CUBICSPLINE");
  const host::Control* p = node.TMControl()->GetPositionController();
  const host::Control* s = node.TMControl()->GetScaleController();
  for (host::TimeValue t : {0, 100, 500, 959, 1200, 1599, 2000, 3100}) {
    SCOPED_TRACE(t);
    // Below the top level the file keeps the host's axes.
    const Point3 want = p->GetPoint3(t), got = GltfCubicAt(pos, float(t) / 4800);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 2e-4f * std::max(1.0f, std::abs(want[c])));
    if (t <= 1600) {
      const Point3 wantS = s->GetScale(t).s, gotS = GltfCubicAt(scl, float(t) / 4800);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(gotS[c], wantS[c], 1e-4f);
    }
  }
  // Sampled: a key per frame of 160 ticks, first to last key.
  const WrittenChannel& turn = channels[{"Mover", "rotation"}];
  const WrittenChannel& easedPos = channels[{"Eased", "translation"}];
  EXPECT_EQ(turn.times.size(), 6u);
  EXPECT_EQ(easedPos.times.size(), 11u);
  EXPECT_EQ(easedPos.interpolation, "LINEAR");
}

}  // namespace
}  // namespace vorlan::testing
