#include "workbench/user_interface.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace vorlan::workbench {
namespace {

using host::Answer;
using host::Buttons;
using host::ControlKind;
using host::DialogModel;

DialogModel OptionsDialog() {
  DialogModel d;
  d.title = "Exporter Config";
  d.controls.push_back(
      {.id = 1031, .kind = ControlKind::Edit, .label = "Name:", .text = "host\\user", .readOnly = true});
  d.controls.push_back({.id = 1032, .kind = ControlKind::MultiLineEdit, .label = "Comment:", .maxLength = 8});
  d.controls.push_back({.id = 1000, .kind = ControlKind::CheckBox, .label = "Smooth", .value = 1});
  d.controls.push_back({.id = 1001, .kind = ControlKind::Button, .label = "OK"});
  d.controls.push_back({.id = 1002, .kind = ControlKind::Button, .label = "Cancel"});
  return d;
}

TEST(AnswerPolicies, EachPolicyPicksItsButton) {
  struct Case {
    AnswerPolicy policy;
    Buttons buttons;
    Answer expected;
  };
  for (auto c :
       {Case{AnswerPolicy::Default, Buttons::Ok, Answer::Ok},
        Case{AnswerPolicy::Default, Buttons::OkCancel, Answer::Ok},
        Case{AnswerPolicy::Default, Buttons::YesNo, Answer::Yes},
        Case{AnswerPolicy::Default, Buttons::YesNoCancel, Answer::Yes},
        Case{AnswerPolicy::Yes, Buttons::OkCancel, Answer::Ok},
        Case{AnswerPolicy::Yes, Buttons::YesNo, Answer::Yes}, Case{AnswerPolicy::No, Buttons::Ok, Answer::Ok},
        Case{AnswerPolicy::No, Buttons::OkCancel, Answer::Cancel},
        Case{AnswerPolicy::No, Buttons::YesNo, Answer::No},
        Case{AnswerPolicy::No, Buttons::YesNoCancel, Answer::No}})
    EXPECT_EQ(PolicyAnswer(c.policy, c.buttons), c.expected);
}

TEST(AnswerPolicies, DefaultButtonPrefersOk) {
  DialogModel d;
  EXPECT_EQ(DefaultButton(d), kIdOk);
  d.controls.push_back({.id = 7, .kind = ControlKind::Button, .label = "Close"});
  EXPECT_EQ(DefaultButton(d), 7);
  d.controls.push_back({.id = 1001, .kind = ControlKind::Button, .label = "Go"});
  EXPECT_EQ(DefaultButton(d), 1001);
  DialogModel e;
  e.controls.push_back({.id = 5, .kind = ControlKind::Static, .label = "OK"});
  e.controls.push_back({.id = 9, .kind = ControlKind::Button, .label = "ok"});
  EXPECT_EQ(DefaultButton(e), 9);
}

TEST(ConsoleUI, MessageBoxPrintsCaptionAndAnswersByPolicy) {
  std::ostringstream err;
  std::istringstream in;
  ConsoleUI ui({.policy = AnswerPolicy::No}, err, in);
  EXPECT_EQ(ui.MessageBox({.text = "Shapes found", .caption = "User Error"}), Answer::Ok);
  EXPECT_EQ(ui.MessageBox({.text = "overwrite?", .caption = "Warning", .buttons = Buttons::YesNo}),
            Answer::No);
  EXPECT_EQ(err.str(), "[User Error] Shapes found\n[Warning] overwrite?\n  -> No\n");
}

TEST(ConsoleUI, InteractiveAnswersComeFromInputAndFallBackAtEnd) {
  std::ostringstream err;
  std::istringstream in("maybe\nn\n");
  ConsoleUI ui({.interactive = true}, err, in);
  // "maybe" is not an answer, so the question is asked again.
  EXPECT_EQ(ui.MessageBox({.text = "q", .caption = "c", .buttons = Buttons::YesNoCancel}), Answer::No);
  // Input exhausted: the policy answers.
  EXPECT_EQ(ui.MessageBox({.text = "q", .caption = "c", .buttons = Buttons::YesNo}), Answer::Yes);
}

TEST(ConsoleUI, ModalDialogClosesWithOkUnchanged) {
  std::ostringstream err;
  std::istringstream in("ignored\n");
  ConsoleUI ui({}, err, in);
  DialogModel d = OptionsDialog();
  EXPECT_EQ(ui.RunModal(d), 1001);
  EXPECT_EQ(d.result, 1001);
  EXPECT_EQ(d.Find(1032)->text, "");
  EXPECT_EQ(d.Find(1000)->value, 1);
  EXPECT_EQ(in.tellg(), 0);  // nothing read
}

TEST(ConsoleUI, InteractiveDialogEditsControlsAndPicksButton) {
  std::ostringstream err;
  // Comment (cut at 8 characters), check box refused once then off, then the button.
  std::istringstream in("a long comment\nbogus\noff\ncancel\n");
  ConsoleUI ui({.interactive = true}, err, in);
  DialogModel d = OptionsDialog();
  EXPECT_EQ(ui.RunModal(d), 1002);
  EXPECT_EQ(d.Find(1032)->text, "a long c");
  EXPECT_EQ(d.Find(1000)->value, 0);
  EXPECT_EQ(d.Find(1031)->text, "host\\user");  // read-only: never asked
}

TEST(ConsoleUI, ProgressLinesOnlyWhenAsked) {
  DialogModel progress;
  progress.title = "Export progress...";
  progress.controls.push_back({.id = 1023, .kind = ControlKind::ProgressBar, .rangeMax = 4});
  progress.controls.push_back({.id = 1024, .kind = ControlKind::Static});
  {
    std::ostringstream err;
    std::istringstream in;
    ConsoleUI ui({.progress = false}, err, in);
    auto w = ui.OpenModeless(progress);
    w->SetPos(1023, 2);
    w.reset();
    EXPECT_EQ(err.str(), "");
  }
  std::ostringstream err;
  std::istringstream in;
  ConsoleUI ui({.progress = true, .progressInterval = std::chrono::milliseconds(0)}, err, in);
  auto w = ui.OpenModeless(progress);
  w->SetText(1024, "Box01");
  w->SetPos(1023, 2);
  w->SetPos(1023, 2);       // unchanged: no new line
  w->SetRange(1023, 0, 0);  // an empty range must not divide by zero
  w.reset();
  EXPECT_EQ(err.str(),
            "Export progress... | Box01 [                              ] 0%\n"
            "Export progress... | Box01 [###############               ] 50%\n"
            "Export progress... | Box01 [                              ] 0%\n");
}

TEST(ConsoleUI, PickersFollowPolicyAndInput) {
  std::ostringstream err;
  std::istringstream in;
  ConsoleUI yes({}, err, in);
  EXPECT_EQ(yes.PickFile({.title = "Save", .initialPath = "/tmp/a.shd", .save = true}), "/tmp/a.shd");
  EXPECT_EQ(yes.PickFile({.title = "Open"}), std::nullopt);
  EXPECT_EQ(yes.PickFolder("Where"), std::nullopt);
  ConsoleUI no({.policy = AnswerPolicy::No}, err, in);
  EXPECT_EQ(no.PickFile({.title = "Save", .initialPath = "/tmp/a.shd"}), std::nullopt);
  std::istringstream typed("  /data/out \n/data/dir\n");
  ConsoleUI inter({.interactive = true}, err, typed);
  EXPECT_EQ(inter.PickFile({.title = "Save"}), "/data/out");
  EXPECT_EQ(inter.PickFolder("Where"), "/data/dir");
}

TEST(ScriptedUI, QueuedAnswersGoToQuestionsOnly) {
  ScriptedUI ui;
  ui.QueueAnswer(Answer::No);
  EXPECT_EQ(ui.MessageBox({.text = "notice", .caption = "Msg"}), Answer::Ok);
  EXPECT_EQ(ui.MessageBox({.text = "sure?", .caption = "Warning", .buttons = Buttons::YesNo}), Answer::No);
  EXPECT_EQ(ui.MessageBox({.text = "again?", .caption = "Warning", .buttons = Buttons::YesNo}), Answer::Yes);
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[1].text, "sure?");
  EXPECT_EQ(ui.answers, (std::vector<Answer>{Answer::Ok, Answer::No, Answer::Yes}));
  EXPECT_EQ(ui.PendingAnswers(), 0u);
}

TEST(ScriptedUI, DialogScriptsEditAndChooseButtons) {
  ScriptedUI ui;
  ui.QueueDialog([](DialogModel& d) { d.Find(1032)->text = "note"; });  // result left 0: OK
  ui.QueueDialog([](DialogModel& d) { d.result = 1002; });
  DialogModel a = OptionsDialog(), b = OptionsDialog(), c = OptionsDialog();
  EXPECT_EQ(ui.RunModal(a), 1001);
  EXPECT_EQ(a.Find(1032)->text, "note");
  EXPECT_EQ(ui.RunModal(b), 1002);
  EXPECT_EQ(ui.RunModal(c), 1001);  // queue empty
  ASSERT_EQ(ui.dialogs.size(), 3u);
  EXPECT_EQ(ui.dialogs[1].result, 1002);
}

TEST(ScriptedUI, PickersTakeQueuedPaths) {
  ScriptedUI ui;
  ui.QueuePath("/x.skd");
  ui.QueuePath(std::nullopt);
  EXPECT_EQ(ui.PickFile({.title = "Load"}), "/x.skd");
  EXPECT_EQ(ui.PickFolder("Folder"), std::nullopt);
  EXPECT_EQ(ui.PickFile({.title = "Again"}), std::nullopt);
  EXPECT_EQ(ui.filePickers.size(), 2u);
  EXPECT_EQ(ui.folderPickers, std::vector<std::string>{"Folder"});
}

TEST(ScriptedUI, ModelessWindowsRecordEveryCallFromAnyThread) {
  ScriptedUI ui;
  DialogModel progress;
  progress.title = "Working";
  progress.controls.push_back({.id = 1023, .kind = ControlKind::ProgressBar});
  auto w = ui.OpenModeless(progress);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&w] {
      for (int i = 0; i < 250; ++i) w->SetPos(1023, i);
    });
  for (auto& t : threads) t.join();
  w->SetText(1023, "done");
  w->Show(false);
  w.reset();
  auto windows = ui.Windows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].events.size(), 1000u + 3u);
  EXPECT_EQ(windows[0].model.Find(1023)->value, 249);
  EXPECT_EQ(windows[0].model.Find(1023)->text, "done");
  EXPECT_FALSE(windows[0].visible);
  EXPECT_TRUE(windows[0].closed);
  EXPECT_EQ(windows[0].events.back().kind, ModelessEvent::Kind::Close);
}

TEST(ScriptedUI, WindowMayOutliveTheUi) {
  std::unique_ptr<host::ModelessWindow> w;
  {
    ScriptedUI ui;
    w = ui.OpenModeless({});
  }
  w->SetPos(1, 1);
  w.reset();
}

}  // namespace
}  // namespace vorlan::workbench
