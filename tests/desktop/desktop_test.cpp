// The desktop workbench driven through its real widgets, without a display: Qt's offscreen
// platform draws into memory, QTest presses the buttons, and pictures are checked by pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/main_window.h"
#include "desktop/qt_user_interface.h"
#include "desktop/window_test_support.h"
#include "desktop/workbench_app.h"
#include "support/file_io.h"
#include "workbench/materials_document.h"

using namespace vorlan;
using namespace vorlan::testing;

// Under the leak checker: the font and window-system libraries keep caches for the life of
// the process on purpose; leaks of our own code are still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6\nleak:libglib\nleak:libgobject\nleak:libdbus\n";
}

TEST(QtUserInterface, MessageBoxShowsCaptionTextAndIconAndReturnsTheButtonPressed) {
  App();
  desktop::QtUserInterface ui;
  QString seenText;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  ModalScript script({[&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    seenText = box->text();
    seenIcon = box->icon();
    Click(box, "No");
  }});
  host::Answer a =
      ui.MessageBox({"File is read-only, owerwrite?", "Warning", host::Buttons::YesNo, host::Icon::Warning});
  EXPECT_EQ(a, host::Answer::No);
  EXPECT_EQ(script.titles, std::vector<QString>{"Warning"});
  EXPECT_EQ(seenText, "File is read-only, owerwrite?");
  EXPECT_EQ(seenIcon, QMessageBox::Warning);
}

TEST(QtUserInterface, DialogModelRoundTripsTheUsersValuesAndTheClosingButton) {
  App();
  desktop::QtUserInterface ui;
  host::DialogModel d;
  d.title = "Options";
  d.controls = {
      {.id = 0, .kind = host::ControlKind::Group, .label = " Settings"},
      {.id = 10, .kind = host::ControlKind::Edit, .text = "old", .maxLength = 8},
      {.id = 11, .kind = host::ControlKind::CheckBox, .label = "Smooth", .value = 0},
      {.id = 1, .kind = host::ControlKind::Button, .label = "OK"},
      {.id = 2, .kind = host::ControlKind::Button, .label = "Cancel"},
  };
  ModalScript script({[&](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>("control_10");
    auto* check = w->findChild<QCheckBox*>("control_11");
    ASSERT_TRUE(edit && check);
    edit->clear();
    QTest::keyClicks(edit, "a much longer text");  // cut at the control's limit
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    Click(w, "OK");
  }});
  EXPECT_EQ(ui.RunModal(d), 1);
  EXPECT_EQ(d.Find(10)->text, "a much l");
  EXPECT_EQ(d.Find(11)->value, 1);

  // Escape closes as the Cancel button would, and leaves the values as they were.
  ModalScript escape({[](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }});
  EXPECT_EQ(ui.RunModal(d), 2);
  EXPECT_EQ(d.Find(10)->text, "a much l");
}

TEST(QtUserInterface, FileFiltersBecomeQtFilters) {
  EXPECT_EQ(desktop::QtFileFilter("Zef files (*.zef)|*.zef|All files|*.*"),
            "Zef files (*.zef);;All files (*.*)");
  EXPECT_EQ(desktop::QtFileFilter(""), "");
}

TEST(MainWindow, OpensTheSampleListsItsNodesAndDrawsTheModel) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.resize(900, 600);
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  QTreeWidget* tree = w.SceneTree();
  std::vector<std::string> names;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) names.push_back((*it)->text(0).toStdString());
  std::vector<std::string> expected;
  for (const workbench::SceneNode* n : w.GetScene().AllNodes()) expected.push_back(n->GetName());
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(names.empty());

  QApplication::processEvents();
  SaveScreenshot(&w, "main-window");
  QImage shot = w.Viewport().grab().toImage();
  ASSERT_FALSE(shot.isNull());
  // The corner is background; a drawn model covers a good share of the picture.
  EXPECT_GT(PixelsUnlike(shot, shot.pixel(2, shot.height() - 2)), shot.width() * shot.height() / 50);

  // Selecting in the tree selects in the scene the plug-ins see.
  tree->clearSelection();
  tree->topLevelItem(0)->setSelected(true);
  EXPECT_TRUE(w.GetScene().AllNodes().front()->Selected());
}

TEST(MainWindow, ExportAnswersTheOptionsDialogAndARefusedReadOnlyOverwriteKeepsTheFile) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  const std::string out = (dir.path / "scene.zef").string();

  {
    ModalScript script({[](QWidget* d) {
      SaveScreenshot(d, "export-options");
      Click(d, "OK");
    }});
    EXPECT_EQ(w.ExportWith("ZefExport", out), 1);
    EXPECT_TRUE(script.Done());
    ASSERT_FALSE(script.titles.empty());
    EXPECT_EQ(script.titles.front(), "ZEF Exporter Config");
  }
  ASSERT_TRUE(fs::exists(out));
  const auto size = fs::file_size(out);

  // A read-only file: answering No leaves it as it was, read-only.
  fs::permissions(out, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::ifstream before(out, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(before)), {});
  ModalScript refuse({[](QWidget* d) { Click(d, "No"); }});
  EXPECT_EQ(w.ExportWith("ZefExport", out), 0);
  EXPECT_EQ(refuse.titles, std::vector<QString>{"Warning"});
  std::ifstream after(out, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), bytes);
  EXPECT_EQ(fs::file_size(out), size);
  EXPECT_TRUE(support::IsReadOnly(out));
}

TEST(MainWindow, ViewsAndTimeChangeThePicture) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.resize(900, 600);
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  QImage perspective = w.Viewport().Picture();
  w.Viewport().SetDirection(workbench::ViewDirection::Top);
  QImage top = w.Viewport().Picture();
  EXPECT_NE(perspective, top);
  w.SetFrame(w.TimeSlider()->maximum() + 10);  // clamped to the range
  EXPECT_EQ(w.TimeSlider()->value(), w.TimeSlider()->maximum());
}

TEST(WorkbenchApp, ScreenshotOfTheSampleIsAPictureOfTheWindow) {
  App();
  TempDir dir;
  const std::string png = (dir.path / "window.png").string();
  std::ostringstream err;
  ASSERT_EQ(desktop::RunWorkbenchApp(
                {kSample, "--screenshot", png, "--plugin-dir", VORLAN_PLUGIN_DIR, "--config-dir",
                 (dir.path / "cfg").string(), "--log-dir", (dir.path / "logs").string()},
                err),
            0)
      << err.str();
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), 1280);
  EXPECT_GT(PixelsUnlike(img, img.pixel(0, 0)), 10000);

  EXPECT_EQ(desktop::RunWorkbenchApp({"--bogus"}, err), 2);
  EXPECT_NE(err.str().find("unknown option \"--bogus\""), std::string::npos);
}
