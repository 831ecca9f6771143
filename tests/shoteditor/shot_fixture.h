// A workbench with cameras for the ShotEditor tests, and helpers to build shot lists.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "shoteditor/shot_editor_window.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::shoteditor::testing {

namespace fs = std::filesystem;

class ShotFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    rig = &wb.CreateNode("Rig");
    cam1 = &AddCamera("Cam1", rig);  // nested: the item list is depth first
    box = &wb.CreateNode("Box", nullptr, std::make_shared<workbench::MeshObject>());
    cam2 = &AddCamera("Cam2");
    cam3 = &AddCamera("Cam3");
  }

  workbench::SceneNode& AddCamera(const std::string& name, workbench::SceneNode* parent = nullptr) {
    return wb.CreateNode(name, parent, std::make_shared<workbench::CameraObject>());
  }

  // A window whose list holds the cuts (camera, begin, end), joined as the user builds them.
  std::unique_ptr<ShotEditorWindow> WindowWithCuts(
      std::initializer_list<std::tuple<workbench::SceneNode*, int, int>> cuts) {
    auto w = std::make_unique<ShotEditorWindow>(wb, state);
    for (const auto& [camera, begin, end] : cuts) {
      w->AddCommand();
      int item = -1;
      for (std::size_t i = 0; i < w->Items().size(); ++i)
        if (w->Items()[i].node == camera) item = static_cast<int>(i);
      w->ChooseItem(item);
      w->SetBegin(begin);
      w->SetEnd(end);
    }
    return w;
  }

  // A scratch folder of this test, emptied.
  fs::path Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path p = fs::path(VORLAN_BINARY_DIR) / "shoteditor_test" / info->test_suite_name() / info->name();
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }

  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench wb{scene, ui};
  EditorState state;
  workbench::SceneNode *rig = nullptr, *cam1 = nullptr, *cam2 = nullptr, *cam3 = nullptr, *box = nullptr;
};

}  // namespace vorlan::shoteditor::testing
