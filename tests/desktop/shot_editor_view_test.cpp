// The ShotEditor's window driven through its toolbar, lists and property controls, with its
// rows checked by pixel.
#include "desktop/shot_editor_view.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <map>
#include <sstream>

#include "desktop/main_window.h"
#include "desktop/shot_rows.h"
#include "desktop/window_test_support.h"
#include "desktop/workbench_app.h"
#include "workbench/scene.h"

using namespace vorlan;
using namespace vorlan::testing;
using desktop::ShotEditorView;
using shoteditor::ToolButton;

namespace {

// Types a number into a spinner and confirms it with Enter, as a user does.
void Type(QSpinBox* spin, int value) {
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(spin, QString::number(value));
  QTest::keyClick(spin, Qt::Key_Return);
}

void Choose(QComboBox* box, const QString& text) {
  int i = box->findText(text);
  ASSERT_GE(i, 0) << text.toStdString();
  box->setCurrentIndex(i);
  emit box->activated(i);
}

struct Span {
  int first = -1, last = -1;
};
// The columns of a picture's line y whose colour is `c`.
Span ColumnsOf(const QImage& img, int y, int x0, int x1, QColor c) {
  Span s;
  for (int x = x0; x < x1 && x < img.width(); ++x)
    if (img.pixelColor(x, y).rgb() == c.rgb()) {
      if (s.first < 0) s.first = x;
      s.last = x;
    }
  return s;
}

}  // namespace

TEST(ShotRows, BackgroundTextAndBarFollowTheDrawingRules) {
  // Light backgrounds take the window text, dark ones the highlight text; 128 counts as light.
  const QColor dark(Qt::black), light(Qt::white);
  EXPECT_EQ(desktop::TextColourOn(QColor(128, 128, 128), dark, light), dark);
  EXPECT_EQ(desktop::TextColourOn(QColor(127, 127, 127), dark, light), light);
  // Green weighs most: pure green is light, pure red and blue are dark.
  EXPECT_EQ(desktop::Brightness(QColor(0, 255, 0)), 127);
  EXPECT_EQ(desktop::Brightness(QColor(255, 255, 0)), 204);
  EXPECT_EQ(desktop::FromColourRef(0x5050C0), QColor(0xC0, 0x50, 0x50));
  EXPECT_EQ(desktop::ToColourRef(QColor(0xC0, 0x50, 0x50)), 0x5050C0u);

  // 224 pixels wide: 220 for 100 frames, 2.2 per frame, 2 pixels in.
  desktop::BarSpan s = desktop::TimelineBar(100, 224, 10, 20, 0, 100);
  EXPECT_EQ(s.left, 124);
  EXPECT_EQ(s.right, 146);
  // Before the timeline's begin the bar stops at the column's edge.
  s = desktop::TimelineBar(100, 224, -50, 5, 0, 100);
  EXPECT_EQ(s.left, 100);
  EXPECT_EQ(s.right, 113);
  s = desktop::FullBar(100, 224);
  EXPECT_EQ(s.left, 102);
  EXPECT_EQ(s.right, 322);

  EXPECT_EQ(desktop::BarColour(-1, Qt::white), QColor(255, 16, 16));
  EXPECT_EQ(desktop::BarColour(0, Qt::white), QColor(16, 16, 16));
  EXPECT_EQ(desktop::BarColour(5, QColor(0, 0, 128)), QColor(255, 255, 160));
}

TEST(ShotEditorView, BuildsThreeJoinedCommandsPlaysThemThroughTheirCamerasAndSaves) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.resize(1000, 650);
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  for (const char* name : {"CamA", "CamB", "CamC"})
    w.Host().CreateNode(name, nullptr, std::make_shared<workbench::CameraObject>());
  w.ViewThroughCamera("Camera01");

  ShotEditorView* editor = w.OpenShotEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->windowTitle(), "Shot-Editor v1.1");
  QTreeWidget* list = editor->CommandList();
  EXPECT_EQ(list->headerItem()->text(0), "Item name");
  EXPECT_EQ(list->columnWidth(1), 180);
  EXPECT_EQ(list->columnWidth(5), 220);
  EXPECT_EQ(editor->RangeList()->topLevelItem(1)->text(0), "Active Segment");
  EXPECT_EQ(editor->RangeList()->topLevelItem(0)->text(5), "---------");

  // Three commands of ten frames each, one camera each.
  const char* cameras[] = {"CamA", "CamB", "CamC"};
  const char* descriptions[] = {"Establishing shot", "Over the crates", "Boat leaves"};
  for (int i = 0; i < 3; ++i) {
    editor->Action(ToolButton::Add)->trigger();
    ASSERT_EQ(list->topLevelItemCount(), i + 1);
    EXPECT_EQ(list->topLevelItem(i)->text(0), "- new item -");
    EXPECT_EQ(editor->BeginSpin()->value(), i * 10);  // starts where the one above ends
    Choose(editor->ItemList(), cameras[i]);
    editor->Description()->setFocus();
    QTest::keyClicks(editor->Description(), descriptions[i]);
    Type(editor->EndSpin(), (i + 1) * 10);
  }
  EXPECT_EQ(list->topLevelItem(2)->text(0), "CamC");
  EXPECT_EQ(list->topLevelItem(1)->text(1), "Over the crates");
  EXPECT_TRUE(editor->windowTitle().endsWith(" *"));

  // The second command begins later: the first one ends there, the third is untouched.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(1)).center());
  ASSERT_EQ(editor->Model().List().Selected(), 1);
  Type(editor->BeginSpin(), 12);
  const auto& commands = editor->Model().List().Commands();
  EXPECT_EQ(commands[0].end, 12);
  EXPECT_EQ(commands[0].length, 12);
  EXPECT_EQ(commands[1].begin, 12);
  EXPECT_EQ(commands[1].length, 8);
  EXPECT_EQ(commands[2].begin, 20);
  EXPECT_EQ(list->topLevelItem(0)->text(3), "12");

  // A colour for the second command, through the swatch's picker.
  ModalScript pick({[](QWidget* d) {
    auto* picker = qobject_cast<QColorDialog*>(d);
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->windowTitle(), "New Item Color");
    picker->setCurrentColor(QColor(200, 60, 60));
    picker->accept();
  }});
  QTest::mouseClick(editor->Swatch(), Qt::LeftButton);
  EXPECT_EQ(commands[1].colour, desktop::ToColourRef(QColor(200, 60, 60)));

  // Play all: the viewport looks through each command's camera from its first frame on.
  editor->Action(ToolButton::PlayAll)->trigger();
  ASSERT_TRUE(editor->Action(ToolButton::PlayAll)->isChecked());
  EXPECT_EQ(w.Viewport().Camera(), "CamA");
  std::map<int, std::string> seen;
  for (int step = 0; step < 31; ++step) {
    ASSERT_TRUE(w.StepHostPlayback());
    seen[w.TimeSlider()->value()] = w.Viewport().Camera();
  }
  EXPECT_EQ(seen[12], "CamA");
  EXPECT_EQ(seen[13], "CamB");
  EXPECT_EQ(seen[20], "CamB");
  EXPECT_EQ(seen[21], "CamC");
  EXPECT_EQ(seen[29], "CamC");
  EXPECT_EQ(seen[0], "CamA");  // looped from the last command back to the first
  editor->Action(ToolButton::PlayAll)->trigger();
  EXPECT_FALSE(w.Host().IsAnimPlaying());

  // Pixels: the second row has its colour where no text is; its bar spans frames 12 to 20
  // of the timeline's 30 frames: 216 pixels for 30 frames, from 2 pixels into the column.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(0)).center());
  editor->resize(760, 520);
  QApplication::processEvents();
  SaveScreenshot(editor, "shot-editor");
  const QImage rows = list->viewport()->grab().toImage();
  const QRect row = list->visualItemRect(list->topLevelItem(1));
  const int x0 = list->columnViewportPosition(5);
  EXPECT_EQ(rows.pixelColor(list->columnViewportPosition(4) + 40, row.top() + 2), QColor(200, 60, 60));
  const Span bar = ColumnsOf(rows, row.top() + row.height() / 2, x0, x0 + 220, QColor(255, 255, 160));
  EXPECT_EQ(bar.first, x0 + 2 + 86);  // 12 x 7.2 = 86.4
  EXPECT_EQ(bar.last, x0 + 2 + 144);  // 20 x 7.2

  // Saving goes through the Save Wizard and the file dialog.
  const std::string shd = (dir.path / "cuts.shd").string();
  ModalScript save({[](QWidget* wizard) {
                      EXPECT_EQ(wizard->windowTitle(), "Shot-Editor: Save Wizard");
                      auto* exportCams = wizard->findChild<QAbstractButton*>("control_1011");
                      ASSERT_NE(exportCams, nullptr);
                      exportCams->setChecked(false);
                      Click(wizard, "Save");
                    },
                    [&](QWidget* d) {
                      auto* files = qobject_cast<QFileDialog*>(d);
                      ASSERT_NE(files, nullptr);
                      files->selectFile(QString::fromStdString(shd));
                      static_cast<QDialog*>(files)->accept();
                    }});
  editor->Action(ToolButton::Save)->trigger();
  EXPECT_TRUE(save.Done());
  EXPECT_TRUE(fs::exists(shd));
  EXPECT_EQ(editor->windowTitle().toStdString(), "Shot-Editor v1.1 - [" + shd + "]");

  // The saved list comes back in the window program, over the scene with its cameras.
  const std::string scene = (dir.path / "cuts.vscene").string();
  ASSERT_TRUE(w.SaveScene(scene));
  const std::string png = (dir.path / "cuts.png").string();
  std::ostringstream err;
  ASSERT_EQ(desktop::RunWorkbenchApp({scene, "--shoteditor", shd, "--screenshot", png, "--plugin-dir",
                                      VORLAN_PLUGIN_DIR, "--config-dir", (dir.path / "cfg").string()},
                                     err),
            0)
      << err.str();
  QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull());
  EXPECT_LT(shot.width(), 1000);  // the editor's window, not the main window
  EXPECT_GT(PixelsUnlike(shot, QColor(200, 60, 60).rgb()), 0);
}

TEST(ShotEditorView, RangeRowsPlaybackButtonsCamerasFromPluginCallsAndTheClosingQuestion) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  ShotEditorView* editor = w.OpenShotEditor();
  editor->Action(ToolButton::Add)->trigger();
  Type(editor->EndSpin(), 40);

  // The Global TimeLine is computed: clicking it disables every property control; the
  // Active Segment's frames stay editable. A command row enables them all again.
  QTreeWidget* ranges = editor->RangeList();
  QTest::mouseClick(ranges->viewport(), Qt::LeftButton, {},
                    ranges->visualItemRect(ranges->topLevelItem(0)).center());
  EXPECT_FALSE(editor->BeginSpin()->isEnabled());
  EXPECT_FALSE(editor->Swatch()->isEnabled());
  QTest::mouseClick(ranges->viewport(), Qt::LeftButton, {},
                    ranges->visualItemRect(ranges->topLevelItem(1)).center());
  EXPECT_TRUE(editor->BeginSpin()->isEnabled());
  EXPECT_FALSE(editor->ItemList()->isEnabled());
  // An empty segment does not play: its button comes back up.
  editor->Action(ToolButton::PlaySegment)->trigger();
  EXPECT_FALSE(editor->Action(ToolButton::PlaySegment)->isChecked());
  EXPECT_FALSE(w.Host().IsAnimPlaying());
  Type(editor->EndSpin(), 10);
  EXPECT_EQ(ranges->topLevelItem(1)->text(4), "10");
  editor->Action(ToolButton::PlaySegment)->trigger();
  EXPECT_TRUE(editor->Action(ToolButton::PlaySegment)->isChecked());
  EXPECT_TRUE(w.Host().IsAnimPlaying());
  editor->Action(ToolButton::PlayCommand)->trigger();  // one play button at a time
  EXPECT_FALSE(editor->Action(ToolButton::PlaySegment)->isChecked());
  EXPECT_TRUE(editor->Action(ToolButton::PlayCommand)->isChecked());
  editor->Action(ToolButton::PlayCommand)->trigger();
  QTreeWidget* list = editor->CommandList();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(0)).center());
  EXPECT_TRUE(editor->ItemList()->isEnabled());

  // The main window's Play and Stop run the host's playback, which the editor hears.
  QTest::mouseClick(w.findChild<QPushButton*>("play"), Qt::LeftButton);
  EXPECT_TRUE(w.Host().IsAnimPlaying());
  const int frame = w.TimeSlider()->value();
  ASSERT_TRUE(w.StepHostPlayback());
  EXPECT_EQ(w.TimeSlider()->value(), frame + 1);
  QTest::mouseClick(w.findChild<QPushButton*>("stop"), Qt::LeftButton);
  EXPECT_FALSE(w.Host().IsAnimPlaying());

  // A camera a plug-in makes on its own thread reaches the "Item" list once the call is over.
  w.RunPluginCall([&] {
    w.Host().CreateNode("LateCam", nullptr, std::make_shared<workbench::CameraObject>());
    return 1;
  });
  EXPECT_GE(editor->ItemList()->findText("LateCam"), 0);

  // Unsaved work: Cancel keeps the window open, No lets it go.
  QPointer<ShotEditorView> alive(editor);
  {
    ModalScript cancel({[](QWidget* box) {
      EXPECT_EQ(box->windowTitle(), "Closing Shot-Editor...");
      Click(box, "Cancel");
    }});
    editor->close();
    QApplication::processEvents();
  }
  ASSERT_TRUE(alive);
  EXPECT_TRUE(alive->isVisible());
  {
    ModalScript no({[](QWidget* box) { Click(box, "No"); }});
    editor->close();
    QApplication::processEvents();
  }
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(alive);
  EXPECT_EQ(w.ShotEditor(), nullptr);
}
