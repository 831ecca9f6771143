// A workbench host for the animation exporter and importer tests: a scene, a scripted user
// interface and private configuration and log folders, plus scenes with every controller
// kind.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/file_io.h"
#include "workbench/controllers.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::testing {

struct AnimHostParts {
  workbench::Scene scene;
  workbench::ScriptedUI ui;
};

class AnimHost : public AnimHostParts, public workbench::Workbench {
 public:
  AnimHost() : workbench::Workbench(scene, ui) {
    char tmpl[] = "/tmp/vorlan_anim_XXXXXX";
    dir = ::mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/cfg");
    SetPlugCfgDir(dir + "/cfg");
    SetLogDir(dir + "/logs");
  }
  ~AnimHost() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::vector<uint8_t> Read(const std::string& path) const {
    std::vector<uint8_t> bytes;
    support::ReadWholeFile(path, bytes);
    return bytes;
  }
  std::string ReadText(const std::string& path) const {
    auto b = Read(path);
    return std::string(b.begin(), b.end());
  }
  std::string Log() const { return ReadText(dir + "/logs/keyImport.log"); }

  std::string dir;
};

// A keyframe controller of `id` holding `keys`.
template <class K>
std::unique_ptr<host::Control> Keyed(host::ClassId id, std::vector<K> keys) {
  auto c = workbench::CreateControl(id);
  auto* kc = dynamic_cast<workbench::KeyframeControl<K>*>(c.get());
  if (kc) kc->keys = std::move(keys);
  return c;
}

// Fills a scene with nodes named after their controller kinds ("linear", "tcb", "bezier"),
// each animated on all three channels, and a moving target camera with an animated field of
// view ("camera"). Keys lie on frames of 160 ticks and carry distinctive flags and
// parameters.
inline void BuildAnimatedScene(workbench::Scene& scene) {
  using namespace host;
  auto& linear = scene.CreateNode("linear");
  linear.GetTMController()->SetPositionController(Keyed<LinearPoint3Key>(
      kLinearPositionClassId, {{0, 0, {0, 0, 0}}, {480, 0, {10, 5, -2}}, {1600, 0, {3, 3, 3}}}));
  linear.GetTMController()->SetRotationController(
      Keyed<LinearRotKey>(kLinearRotationClassId, {{0, 0, {}},
                                                   {800, 0, QuatFromAngAxis({{0, 0, 1}, 1.2f})},
                                                   {1600, 0, QuatFromAngAxis({{1, 0, 0}, 0.5f})}}));
  linear.GetTMController()->SetScaleController(
      Keyed<LinearScaleKey>(kLinearScaleClassId, {{0, 0, {{1, 1, 1}, {}}}, {960, 0, {{2, 0.5f, 1}, {}}}}));

  auto& tcb = scene.CreateNode("tcb", &linear);
  tcb.GetTMController()->SetPositionController(
      Keyed<TCBPoint3Key>(kTCBPositionClassId, {{0, 0, {1, 0, 0}, {0.5f, -0.25f, 0.1f, 0, 0.3f}},
                                                {320, 0, {2, 4, 0}, {}},
                                                {960, 0, {-3, 1, 1}, {-0.5f, 0.5f, 0, 0.2f, 0}},
                                                {1280, 0, {0, 0, 6}, {}}}));
  tcb.GetTMController()->SetRotationController(
      Keyed<TCBRotKey>(kTCBRotationClassId, {{0, 0, {{0, 0, 1}, 0.3f}, {}},
                                             {640, 0, {{0, 1, 0}, 2.5f}, {0.2f, 0, 0, 0.5f, 0.5f}},
                                             {1280, 0, {{0, 0, 1}, 4.0f}, {}}}));
  tcb.GetTMController()->SetScaleController(Keyed<TCBScaleKey>(
      kTCBScaleClassId,
      {{0, 0, {{1, 1, 1}, {}}, {}}, {640, 0, {{1.5f, 1.5f, 1.5f}, {}}, {0, 0, 0.5f, 0, 0}}}));

  auto& bezier = scene.CreateNode("bezier");
  BezPoint3Key b0, b1, b2;
  b0.time = 0;
  b0.flags = 0x400;
  b0.val = {0, 1, 2};
  b0.outTan = {0.01f, 0, -0.02f};
  b1.time = 800;
  b1.flags = 0x10000;
  b1.val = {5, 1, 0};
  b1.inTan = {0.02f, 0, 0};
  b1.outTan = {-0.01f, 0.005f, 0};
  b1.inLength = {0.5f, 0.2f, 0.1f};
  b2.time = 1600;
  b2.val = {0, 0, 0};
  b2.outLength = {0.9f, 0.9f, 0.9f};
  bezier.GetTMController()->SetPositionController(Keyed<BezPoint3Key>(kBezierPositionClassId, {b0, b1, b2}));
  bezier.GetTMController()->SetRotationController(Keyed<BezQuatKey>(
      kBezierRotationClassId, {{0, 3, {}}, {800, 0, QuatFromAngAxis({{0, 1, 0}, 1.0f})}, {1600, 0x200, {}}}));
  BezScaleKey s0, s1;
  s0.flags = 0x7;
  s1.time = 1120;
  s1.val = {{0.5f, 2, 1}, {}};
  s1.inTan = {0.001f, 0, 0};
  bezier.GetTMController()->SetScaleController(Keyed<BezScaleKey>(kBezierScaleClassId, {s0, s1}));

  auto& camera = scene.CreateNode("camera");
  auto cam = std::make_shared<workbench::CameraObject>(true);
  auto fov = std::make_shared<workbench::LinearFloatControl>(kLinearFloatClassId, kCtrlFloatClass);
  fov->keys = {{320, 0, 0.8f}, {960, 0, 1.1f}};
  cam->fovControl = fov;
  camera.SetObject(cam);
  camera.GetTMController()->SetPositionController(Keyed<BezPoint3Key>(kBezierPositionClassId, {b0, b1}));
  camera.GetTMController()->SetRotationController(workbench::CreateControl(kLookAtRotationClassId));
}

}  // namespace vorlan::testing
