#include "shoteditor/shot_editor_window.h"

#include "shot_fixture.h"

namespace vorlan::shoteditor {
namespace {

using testing::ShotFixture;
using WindowTest = ShotFixture;

std::vector<std::string> ItemNames(const ShotEditorWindow& w) {
  std::vector<std::string> names;
  for (const CameraItem& i : w.Items()) names.push_back(i.name);
  return names;
}

TEST_F(WindowTest, OpensWithTheScenesCamerasAndTheAnimationStart) {
  scene.animStart = 5 * 160;
  ShotEditorWindow w(wb, state);
  EXPECT_EQ(ItemNames(w), (std::vector<std::string>{"Cam1", "Cam2", "Cam3"}));
  EXPECT_EQ(w.Props().begin, 5);
  EXPECT_EQ(w.Props().end, 5);
  EXPECT_EQ(w.Props().colour, 0x5050C0u);
  EXPECT_EQ(w.Title(), "Shot-Editor v1.1");
  ASSERT_EQ(ui.Windows().size(), 1u);
  EXPECT_EQ(ui.Windows()[0].model.title, "Shot-Editor v1.1");
}

TEST_F(WindowTest, AddsNewCommandsWhereTheOneAboveEnds) {
  auto w = WindowWithCuts({{cam1, 0, 120}});
  w->AddCommand();
  const ShotCommand& added = w->List().Commands().at(1);
  EXPECT_EQ(added.itemName, "- new item -");
  EXPECT_EQ(added.begin, 120);
  EXPECT_EQ(added.end, 120);
  EXPECT_EQ(added.length, 0);
  EXPECT_EQ(added.camera, nullptr);
  EXPECT_EQ(added.colour, kSystemWindowColour);
  EXPECT_EQ(w->List().Selected(), 1);
  EXPECT_EQ(w->Title(), "Shot-Editor v1.1 *") << "one star however many edits";
  // With nothing selected the new command goes to the top, at frame 0.
  w->MutableList().Select(-1);
  w->AddCommand();
  EXPECT_EQ(w->List().Commands().at(0).begin, 0);
  EXPECT_EQ(w->List().Size(), 3);
}

TEST_F(WindowTest, EditingFramesKeepsNeighboursJoined) {
  auto w = WindowWithCuts({{cam1, 0, 100}, {cam2, 100, 200}, {cam3, 200, 300}});
  w->ClickCommand(1);
  w->SetEnd(250);
  const auto& c = w->List().Commands();
  EXPECT_EQ(c[1].length, 150);
  EXPECT_EQ(c[2].begin, 250);
  EXPECT_EQ(c[2].length, 50);
  w->SetBegin(40);
  EXPECT_EQ(c[0].end, 40);
  EXPECT_EQ(c[0].length, 40);
  EXPECT_EQ(c[1].length, 210);
  w->SetLength(10);  // end follows, and the next begin with it
  EXPECT_EQ(c[1].end, 50);
  EXPECT_EQ(c[2].begin, 50);
  EXPECT_EQ(c[2].length, 250);
  EXPECT_EQ(w->Props().end, 50) << "the spinners show the new values";
  // The first command has no neighbour before it, the last none after it.
  w->ClickCommand(0);
  w->SetBegin(-20);
  w->ClickCommand(2);
  w->SetEnd(320);
  EXPECT_EQ(w->List().Range(kGlobalTimeLine), (TimelineRange{-20, 340, 320}));
  // The spinners' range holds.
  w->SetEnd(50000);
  EXPECT_EQ(c[2].end, kMaxFrame);
}

TEST_F(WindowTest, RangeRowsEnableOnlyWhatTheyEdit) {
  auto w = WindowWithCuts({{cam1, 0, 100}});
  w->EditDescription("intro");
  w->ClickRange(kGlobalTimeLine);
  const Properties& p = w->Props();
  EXPECT_FALSE(p.itemEnabled || p.descriptionEnabled || p.framesEnabled || p.colourEnabled);
  EXPECT_EQ(p.end, 100);
  EXPECT_EQ(p.item, -1);
  EXPECT_EQ(p.description, "");
  w->SetEnd(500);  // disabled: the Global TimeLine is computed
  EXPECT_EQ(w->List().Range(kGlobalTimeLine).end, 100);

  w->ClickRange(kActiveSegment);
  EXPECT_TRUE(p.framesEnabled);
  EXPECT_FALSE(p.itemEnabled || p.descriptionEnabled || p.colourEnabled);
  w->SetBegin(10);
  w->SetEnd(30);
  EXPECT_EQ(w->List().Range(kActiveSegment), (TimelineRange{10, 20, 30}));
  EXPECT_EQ(w->List().Commands()[0].end, 100) << "the segment moves no command";
  w->CommandListLostFocus();
  EXPECT_TRUE(p.itemEnabled && p.descriptionEnabled && p.colourEnabled);

  w->ClickCommand(0);
  EXPECT_EQ(p.description, "intro");
  EXPECT_EQ(p.item, 0);
}

TEST_F(WindowTest, TheWindowsOwnDescriptionWriteIsNotAnEdit) {
  auto w = WindowWithCuts({{cam1, 0, 10}, {cam2, 10, 20}});
  w->ClickCommand(0);
  w->EditDescription("first");
  // A view that echoes every change of the edit, as an edit control does.
  w->SetChangedHandler([&] { w->EditDescription(w->Props().description); });
  w->ClickCommand(1);
  EXPECT_EQ(w->List().Commands()[1].description, "");
  EXPECT_EQ(w->List().Commands()[0].description, "first");
  w->SetChangedHandler(nullptr);
  w->EditDescription(std::string(300, 'x'));
  EXPECT_EQ(w->List().Commands()[1].description.size(), 255u);
}

TEST_F(WindowTest, TheDescriptionEditTurnsTheHostsShortcutsOff) {
  {
    ShotEditorWindow w(wb, state);
    w.DescriptionFocus(true);
    EXPECT_FALSE(wb.GetAcceleratorsEnabled());
    w.DescriptionFocus(false);
    EXPECT_TRUE(wb.GetAcceleratorsEnabled());
    w.DescriptionFocus(true);
  }
  EXPECT_TRUE(wb.GetAcceleratorsEnabled()) << "closing the window gives them back";
}

TEST_F(WindowTest, PlayButtonsRefuseWhatTheyCannotPlay) {
  auto w = WindowWithCuts({});
  EXPECT_FALSE(w->Play(PlayMode::All, true)) << "no commands";
  EXPECT_FALSE(w->Play(PlayMode::Command, true)) << "nothing selected";
  EXPECT_FALSE(w->Play(PlayMode::Segment, true)) << "segment of no length";
  w->ClickRange(kActiveSegment);
  w->SetBegin(20);
  w->SetEnd(10);
  EXPECT_FALSE(w->Play(PlayMode::Segment, true)) << "reversed segment";
  w->AddCommand();  // 0..0
  EXPECT_FALSE(w->Play(PlayMode::All, true)) << "commands of no length";
  EXPECT_FALSE(wb.IsAnimPlaying());
  EXPECT_FALSE(w->Pressed(ToolButton::PlayAll));
}

// The camera the viewport looks through after each step.
std::vector<std::string> Steps(workbench::Workbench& wb, int n) {
  std::vector<std::string> seen;
  for (int i = 0; i < n; ++i) {
    wb.StepPlayback();
    host::ViewExp* v = wb.GetActiveViewport();
    seen.push_back(std::to_string(wb.GetTime() / 160) + ":" +
                   (v->GetViewCamera() ? v->GetViewCamera()->GetName() : "-"));
  }
  return seen;
}

TEST_F(WindowTest, PlayingTheCurrentCommandLoopsItsRange) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}});
  wb.GetActiveViewport()->SetViewCamera(cam3);  // a camera view
  w->ClickCommand(1);
  ASSERT_TRUE(w->Play(PlayMode::Command, true));
  EXPECT_TRUE(wb.IsAnimPlaying());
  EXPECT_EQ(wb.GetTime(), 2 * 160);
  EXPECT_EQ(Steps(wb, 4), (std::vector<std::string>{"3:Cam2", "2:Cam2", "3:Cam2", "2:Cam2"}));
  EXPECT_FALSE(w->Play(PlayMode::Command, false));
  EXPECT_FALSE(wb.IsAnimPlaying());
  EXPECT_EQ(w->Mode(), PlayMode::Stopped);
}

TEST_F(WindowTest, PlayingAllSwitchesCamerasAtTheCuts) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}, {cam3, 4, 6}});
  wb.GetActiveViewport()->SetViewCamera(cam3);
  w->ClickCommand(2);
  ASSERT_TRUE(w->Play(PlayMode::All, true));
  EXPECT_TRUE(w->Pressed(ToolButton::PlayAll));
  EXPECT_EQ(w->List().Selected(), 0);
  EXPECT_EQ(Steps(wb, 8), (std::vector<std::string>{"1:Cam1", "2:Cam1", "3:Cam2", "4:Cam2", "5:Cam3",
                                                    "0:Cam1", "1:Cam1", "2:Cam1"}));
}

TEST_F(WindowTest, PlayingASegmentShowsTheCameraOfEachFrame) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}, {cam3, 4, 6}});
  wb.GetActiveViewport()->SetViewCamera(cam1);
  w->ClickRange(kActiveSegment);
  w->SetBegin(3);
  w->SetEnd(6);
  ASSERT_TRUE(w->Play(PlayMode::Segment, true));
  EXPECT_EQ(wb.GetActiveViewport()->GetViewCamera(), cam2) << "the segment starts inside the second cut";
  EXPECT_EQ(Steps(wb, 4), (std::vector<std::string>{"4:Cam2", "5:Cam3", "3:Cam2", "4:Cam2"}));
}

TEST_F(WindowTest, CamerasGoOnlyIntoACameraView) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}});
  wb.SetViewType(host::ViewType::Top);
  ASSERT_TRUE(w->Play(PlayMode::All, true));
  Steps(wb, 4);
  EXPECT_EQ(wb.GetActiveViewport()->GetViewCamera(), nullptr);
  EXPECT_EQ(scene.activeViewCamera, "");
  // Pressing another play button stops the first.
  w->ClickRange(kActiveSegment);
  w->SetEnd(3);
  ASSERT_TRUE(w->Play(PlayMode::Segment, true));
  EXPECT_FALSE(w->Pressed(ToolButton::PlayAll));
  EXPECT_TRUE(w->Pressed(ToolButton::PlaySegment));
}

TEST_F(WindowTest, RenamedCamerasRenameTheirItemAndCommands) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}, {cam1, 4, 6}});
  w->ClickCommand(1);
  wb.RenameNode(*cam1, "Wide");
  EXPECT_EQ(ItemNames(*w), (std::vector<std::string>{"Wide", "Cam2", "Cam3"}));
  EXPECT_EQ(w->List().Commands()[0].itemName, "Wide");
  EXPECT_EQ(w->List().Commands()[2].itemName, "Wide") << "every cut of that camera";
  EXPECT_EQ(w->Props().item, 1) << "the selection stays";
}

TEST_F(WindowTest, DeletedCamerasTakeTheirCommandsAlong) {
  auto w = WindowWithCuts({{cam1, 0, 2}, {cam2, 2, 4}, {cam1, 4, 6}, {cam3, 6, 8}});
  w->ClickCommand(3);
  wb.DeleteNodes({rig});  // Cam1 goes with its parent
  EXPECT_EQ(ItemNames(*w), (std::vector<std::string>{"Cam2", "Cam3"}));
  ASSERT_EQ(w->List().Size(), 2);
  EXPECT_EQ(w->List().Commands()[0].itemName, "Cam2");
  EXPECT_EQ(w->List().Selected(), 1) << "still the Cam3 command";
  EXPECT_EQ(w->List().Range(kGlobalTimeLine).begin, 2);
  wb.DeleteNodes({box});
  EXPECT_EQ(w->List().Size(), 2);
}

TEST_F(WindowTest, NewCamerasJoinTheItemList) {
  ShotEditorWindow w(wb, state);
  AddCamera("Late");
  wb.CreateNode("NotACamera", nullptr, std::make_shared<workbench::MeshObject>());
  EXPECT_EQ(ItemNames(w), (std::vector<std::string>{"Cam1", "Cam2", "Cam3", "Late"}));
}

TEST_F(WindowTest, ASceneChangeAsksThenEmptiesTheWindow) {
  auto w = WindowWithCuts({{cam1, 0, 2}});
  state.keptRows.push_back({});
  ui.QueueAnswer(host::Answer::No);
  wb.NewScene();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Shot-Editor");
  EXPECT_EQ(
      ui.messages[0].text,
      "The scene is being changed. New scene will be inconsistent with Shot-Editor's data.\nShot-Editor must "
      "release all data now!\nDo you want to save your work?");
  EXPECT_EQ(w->List().Size(), 0);
  EXPECT_TRUE(w->Items().empty());
  EXPECT_TRUE(state.keptRows.empty());
  EXPECT_EQ(w->List().Range(kGlobalTimeLine), TimelineRange{});
  EXPECT_EQ(w->Title(), "Shot-Editor v1.1");

  // "Yes" opens the Save Wizard before the scene goes.
  AddCamera("Fresh");
  EXPECT_EQ(ItemNames(*w), std::vector<std::string>{"Fresh"});
  ui.QueueAnswer(host::Answer::Yes);
  ui.QueueDialog([](host::DialogModel& d) { d.result = 2; });
  wb.ResetScene();
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].title, "Shot-Editor: Save Wizard");
  EXPECT_TRUE(w->Items().empty());
}

TEST_F(WindowTest, ShutdownAsksToSave) {
  ShotEditorWindow w(wb, state);
  ui.QueueAnswer(host::Answer::No);
  wb.Shutdown();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Max is shutting down...\nDo you want to save your work?");
  EXPECT_EQ(ui.messages[0].buttons, host::Buttons::YesNo);
}

TEST_F(WindowTest, ClosingAsksOnlyAboutUnsavedWork) {
  auto w = WindowWithCuts({});
  EXPECT_TRUE(w->Close());
  EXPECT_TRUE(ui.messages.empty());

  w = WindowWithCuts({{cam1, 0, 2}});
  ui.QueueAnswer(host::Answer::Cancel);
  EXPECT_FALSE(w->Close());
  EXPECT_EQ(ui.messages.back().caption, "Closing Shot-Editor...");
  EXPECT_EQ(ui.messages.back().text, "Do you want to save your work?");
  EXPECT_EQ(ui.messages.back().buttons, host::Buttons::YesNoCancel);
  EXPECT_EQ(w->List().Size(), 1);

  // "Yes" with a wizard that does not save keeps the window and its work.
  ui.QueueAnswer(host::Answer::Yes);
  ui.QueueDialog([](host::DialogModel& d) { d.result = 2; });
  EXPECT_FALSE(w->Close());
  EXPECT_EQ(w->List().Size(), 1);

  ui.QueueAnswer(host::Answer::No);
  EXPECT_TRUE(w->Close());
}

TEST_F(WindowTest, ClosingStopsPlaybackAndTheWindowsCallbacks) {
  auto w = WindowWithCuts({{cam1, 0, 2}});
  ASSERT_TRUE(w->Play(PlayMode::All, true));
  ui.QueueAnswer(host::Answer::No);
  ASSERT_TRUE(w->Close());
  EXPECT_FALSE(wb.IsAnimPlaying());
  w.reset();
  wb.StartAnimPlayback();
  wb.StepPlayback();  // nobody listens any more
  wb.NewScene();
  EXPECT_EQ(ui.messages.size(), 1u);
}

}  // namespace
}  // namespace vorlan::shoteditor
