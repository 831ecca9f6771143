#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {
namespace {

namespace fs = std::filesystem;

class HostServicesTest : public ::testing::Test {
 protected:
  Scene scene;
  ScriptedUI ui;
  Workbench wb{scene, ui};
};

// Records every time it hears and can act on the host while it hears one.
struct TimeRecorder : host::TimeChangeCallback {
  std::vector<host::TimeValue> heard;
  std::function<void(host::TimeValue)> onTime;
  void TimeChanged(host::TimeValue t) override {
    heard.push_back(t);
    if (onTime) onTime(t);
  }
};


TEST_F(HostServicesTest, PlaybackStepsFramesAndWrapsAtTheRangeEnd) {
  TimeRecorder rec;
  wb.RegisterTimeChangeCallback(&rec);
  wb.RegisterTimeChangeCallback(&rec);  // once only
  wb.SetAnimRange({0, 3 * 160});
  EXPECT_FALSE(wb.StepPlayback()) << "not playing yet";
  wb.SetTime(2 * 160);
  wb.StartAnimPlayback();
  EXPECT_TRUE(wb.IsAnimPlaying());
  wb.StepPlayback();
  wb.StepPlayback();
  wb.StepPlayback();
  EXPECT_EQ(rec.heard, (std::vector<host::TimeValue>{320, 480, 0, 160}));
  wb.EndAnimPlayback();
  EXPECT_FALSE(wb.StepPlayback());
  wb.UnRegisterTimeChangeCallback(&rec);
  wb.SetTime(5);
  EXPECT_EQ(rec.heard.size(), 4u);
  EXPECT_EQ(wb.GetTime(), 5);
}

TEST_F(HostServicesTest, ACallbackMayRestartPlaybackAndRemoveOthersWhileItHears) {
  TimeRecorder looper, other;
  // The way a plug-in loops a shorter range: end, go back without redrawing, play again.
  looper.onTime = [&](host::TimeValue t) {
    if (t >= 320) {
      wb.EndAnimPlayback();
      wb.UnRegisterTimeChangeCallback(&other);
      wb.SetTime(160, false);
      wb.StartAnimPlayback();
    }
  };
  wb.RegisterTimeChangeCallback(&looper);
  wb.RegisterTimeChangeCallback(&other);
  wb.SetTime(160);
  wb.StartAnimPlayback();
  wb.StepPlayback();  // 320: back to 160
  wb.StepPlayback();  // 320 again
  EXPECT_EQ(looper.heard, (std::vector<host::TimeValue>{160, 320, 160, 320, 160}));
  EXPECT_EQ(other.heard, (std::vector<host::TimeValue>{160})) << "removed before it heard 320";
  EXPECT_TRUE(wb.IsAnimPlaying());
  EXPECT_EQ(wb.GetTime(), 160);
}

struct Heard {
  std::vector<int> codes;
  std::vector<std::string> names;  // renames as "old>new", created and doomed node names
  Scene* scene = nullptr;
  std::vector<std::size_t> nodeCounts;  // the scene's size when each notification came

  static void Proc(void* param, const host::NotifyInfo& info) {
    auto* self = static_cast<Heard*>(param);
    self->codes.push_back(info.code);
    if (self->scene) self->nodeCounts.push_back(self->scene->NodeCount());
    if (info.rename) self->names.push_back(info.rename->oldName + ">" + info.rename->newName);
    if (info.node) self->names.push_back(info.node->GetName());
    if (info.nodes)
      for (host::Node* n : *info.nodes) self->names.push_back(n->GetName());
  }
};

TEST_F(HostServicesTest, SceneOperationsNotifyTheirListeners) {
  Heard heard;
  heard.scene = &scene;
  for (int code : {host::kNotifyNodeCreated, host::kNotifyNodeRenamed, host::kNotifyScenePreDeletedNodes})
    EXPECT_TRUE(wb.RegisterNotification(&Heard::Proc, &heard, code));
  SceneNode& cam = wb.CreateNode("Camera01");
  SceneNode& child = wb.CreateNode("Target", &cam);
  SceneNode& other = wb.CreateNode("Box");
  scene.activeViewCamera = "Camera01";
  wb.RenameNode(cam, "Cam_A");
  EXPECT_EQ(scene.activeViewCamera, "Cam_A") << "the view keeps its camera";
  // Deleting a parent and its child names each node once, before any goes.
  wb.DeleteNodes({&child, &cam});
  EXPECT_EQ(scene.NodeCount(), 2u);
  EXPECT_EQ(heard.codes, (std::vector<int>{58, 58, 58, 30, 70}));
  EXPECT_EQ(heard.names,
            (std::vector<std::string>{"Camera01", "Target", "Box", "Camera01>Cam_A", "Target", "Cam_A"}));
  EXPECT_EQ(heard.nodeCounts.back(), 4u);

  EXPECT_TRUE(wb.UnRegisterNotification(&Heard::Proc, &heard, host::kNotifyScenePreDeletedNodes));
  EXPECT_FALSE(wb.UnRegisterNotification(&Heard::Proc, &heard, host::kNotifyScenePreDeletedNodes));
  wb.DeleteNodes({&other});
  EXPECT_EQ(heard.codes.size(), 5u);
}

TEST_F(HostServicesTest, ResetNewOpenMergeAndShutdownAreBracketed) {
  Heard heard;
  heard.scene = &scene;
  for (int code = 5; code <= 12; ++code) wb.RegisterNotification(&Heard::Proc, &heard, code);
  wb.RegisterNotification(&Heard::Proc, &heard, host::kNotifySystemShutdown);
  scene.CreateNode("a");
  scene.frameRate = 25;
  wb.ResetScene();
  EXPECT_EQ(scene.NodeCount(), 1u);
  EXPECT_EQ(scene.frameRate, 30);
  scene.CreateNode("b");
  wb.NewScene();

  fs::path dir = fs::path(VORLAN_BINARY_DIR) / "host_services_test";
  fs::create_directories(dir);
  std::ofstream(dir / "bad.vscene") << "{ not json";
  scene.CreateNode("kept");
  DocumentResult bad = wb.OpenScene((dir / "bad.vscene").string());
  EXPECT_FALSE(bad);
  EXPECT_TRUE(scene.FindNode("kept")) << "a bad document leaves the scene";
  bool merged = wb.MergeScene([](Scene& s) {
    s.CreateNode("merged");
    return true;
  });
  EXPECT_TRUE(merged);
  wb.Shutdown();
  EXPECT_EQ(heard.codes, (std::vector<int>{5, 6, 7, 8, 9, 10, 11, 12, 73}));
  // Before reset the old scene is still there; after it, the empty one.
  EXPECT_EQ(heard.nodeCounts[0], 2u);
  EXPECT_EQ(heard.nodeCounts[1], 1u);
  EXPECT_EQ(heard.nodeCounts[7], 3u);
}

TEST_F(HostServicesTest, SelectionInAHoldIsOneUndoStep) {
  SceneNode& a = scene.CreateNode("a");
  SceneNode& b = scene.CreateNode("b");
  SceneNode& c = scene.CreateNode("c");
  a.SetSelected(true);
  wb.HoldBegin();
  wb.ClearSelection();
  wb.SelectNode(&b, false);
  wb.SelectNode(&c, false);
  wb.SelectNode(&scene.Root(), false);  // the root cannot be selected
  wb.HoldAccept("Select");
  EXPECT_EQ(wb.GetSelNodeCount(), 2);
  EXPECT_EQ(wb.GetSelNode(0), &b);
  EXPECT_EQ(wb.GetSelNode(1), &c);
  EXPECT_EQ(wb.GetSelNode(2), nullptr);
  EXPECT_EQ(wb.UndoNames(), std::vector<std::string>{"Select"});
  // A deleted node drops out of the undo history instead of dangling in it.
  wb.DeleteNodes({&c});
  EXPECT_TRUE(wb.Undo());
  EXPECT_TRUE(a.Selected());
  EXPECT_FALSE(b.Selected());
  EXPECT_FALSE(wb.Undo());

  wb.HoldBegin();
  wb.SelectNode(&b);
  wb.HoldCancel();
  EXPECT_TRUE(b.Selected());
  EXPECT_TRUE(wb.UndoNames().empty());
}

TEST_F(HostServicesTest, ActiveViewportLooksThroughTheCameraItIsGiven) {
  SceneNode& cam = scene.CreateNode("Camera01");
  cam.SetObject(std::make_shared<CameraObject>());
  host::ViewExp* view = wb.GetActiveViewport();
  ASSERT_TRUE(view);
  EXPECT_EQ(view->GetViewType(), host::ViewType::Perspective);
  EXPECT_EQ(view->GetViewCamera(), nullptr);
  view->SetViewCamera(&cam);
  EXPECT_EQ(view->GetViewType(), host::ViewType::Camera);
  EXPECT_EQ(view->GetViewCamera(), &cam);
  EXPECT_EQ(scene.activeViewCamera, "Camera01");
  wb.SetViewType(host::ViewType::Top);
  EXPECT_EQ(view->GetViewCamera(), nullptr);
  wb.ReleaseViewport(view);
}

TEST_F(HostServicesTest, AcceleratorsCanBeSwitchedOff) {
  EXPECT_TRUE(wb.GetAcceleratorsEnabled());
  wb.DisableAccelerators();
  EXPECT_FALSE(wb.GetAcceleratorsEnabled());
  wb.EnableAccelerators();
  EXPECT_TRUE(wb.GetAcceleratorsEnabled());
}

}  // namespace
}  // namespace vorlan::workbench
