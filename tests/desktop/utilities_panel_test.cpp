// The Utilities dock's pages and the host's progress display, pressed through their widgets.
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "desktop/main_window.h"
#include "desktop/window_test_support.h"
#include "workbench/controllers.h"
#include "workbench/scene.h"

using namespace vorlan;
using namespace vorlan::testing;

namespace {

QPushButton* Button(QWidget* in, const QString& text) {
  for (QPushButton* b : in->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

// The open modeless window whose title starts so, or null.
QWidget* TopLevel(const QString& titleStart) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle().startsWith(titleStart)) return w;
  return nullptr;
}

}  // namespace

TEST(UtilitiesDock, AUtilitysPagesAppearAsWidgetsAndTheirButtonsReachItsHandler) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  EXPECT_EQ(w.Rollups()->PageCount(), 0);

  ASSERT_TRUE(w.OpenUtility("ShotEditor"));
  QApplication::processEvents();
  desktop::ModelDialog* page = w.Rollups()->Page("Parameters");
  SaveScreenshot(&w, "utilities-panel");
  ASSERT_NE(page, nullptr);
  // "Close" ends the utility through the host, and its pages go.
  QPushButton* close = Button(page, "Close");
  ASSERT_NE(close, nullptr);
  // "Open Shot-Editor" opens the window drawn here, over the same host.
  QPushButton* open = Button(page, "Open Shot-Editor");
  ASSERT_NE(open, nullptr);
  QTest::mouseClick(open, Qt::LeftButton);
  ASSERT_NE(w.ShotEditor(), nullptr);
  EXPECT_TRUE(w.ShotEditor()->isVisible());
  EXPECT_EQ(w.ShotEditor()->windowTitle(), "Shot-Editor v1.1");
  QTest::mouseClick(close, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(w.Host().Utilities().Current(), nullptr);
  EXPECT_EQ(w.Rollups()->PageCount(), 0);
}

TEST(UtilitiesDock, CancelInTheProgressDisplayStopsAnExportAndKeepsTheOldFile) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  const fs::path out = dir.path / "keys.manm";
  {
    ModalScript ok({[](QWidget* d) { Click(d, "OK"); }});
    ASSERT_EQ(w.ExportWith("KeyExport", out.string()), 1);
  }
  const std::string before = ReadBytes(out);
  ASSERT_FALSE(before.empty());

  // Without the cancel the file would change: a node has a new name.
  w.GetScene().AllNodes().front()->SetName("renamed before the second export");
  bool sawProgress = false;
  ModalScript cancel({[&](QWidget* d) {
    QWidget* progress = TopLevel("Exporting");
    ASSERT_NE(progress, nullptr);
    sawProgress = progress->findChild<QProgressBar*>() != nullptr;
    SaveScreenshot(progress, "progress-cancel");
    Click(progress, "Cancel");
    Click(d, "OK");
  }});
  w.ExportWith("KeyExport", out.string());
  EXPECT_TRUE(sawProgress);
  EXPECT_TRUE(w.Host().GetCancel());
  EXPECT_EQ(ReadBytes(out), before);
  QApplication::processEvents();
  EXPECT_EQ(TopLevel("Exporting"), nullptr);

  // The next export starts uncancelled and writes the new name.
  ModalScript ok({[](QWidget* d) { Click(d, "OK"); }});
  ASSERT_EQ(w.ExportWith("KeyExport", out.string()), 1);
  EXPECT_NE(ReadBytes(out), before);
}

TEST(UtilitiesDock, KitExportsPanelTypedIntoAndPressedGeneratesItsFiles) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  // A hand bone of the biped kind with a selected sword on it, and the sword's model file.
  workbench::Scene& scene = w.GetScene();
  workbench::SceneNode& hand = scene.CreateNode("Bip01 R Hand");
  hand.SetObject(workbench::HelperObject::Point());
  hand.TMControl()->SetClassId({0x9154, 0});
  workbench::SceneNode& sword = scene.CreateNode("sword", &hand);
  sword.SetObject(std::make_shared<workbench::MeshObject>());
  sword.SetSelected(true);
  const fs::path data = dir.path / "data";
  fs::create_directories(data / "G" / "Equipments");
  fs::create_directories(data / "G" / "Objects");
  std::ofstream(data / "G" / "Objects" / "sword.zef") << "zef";
  ASSERT_TRUE(w.SaveScene((dir.path / "hero.vscene").string()));

  ASSERT_TRUE(w.OpenUtility("Eqp Export"));
  QApplication::processEvents();
  desktop::ModelDialog* page = w.Rollups()->Page("Parameters");
  ASSERT_NE(page, nullptr);
  auto type = [&](int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(page->Control(id));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QFocusEvent in(QEvent::FocusIn);  // the offscreen window is never active by itself
    QApplication::sendEvent(edit, &in);
    EXPECT_FALSE(w.Host().GetAcceleratorsEnabled()) << "no shortcuts while a path is typed";
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
    EXPECT_TRUE(w.Host().GetAcceleratorsEnabled());
  };
  type(102, data.string());  // engine path
  type(105, "G\\Equipments");
  type(108, "G\\Objects");
  QPushButton* generate = Button(page, "Generate Eqps");
  ASSERT_NE(generate, nullptr);
  QTest::mouseClick(generate, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_TRUE(fs::exists(data / "G" / "Equipments" / "sword.eqp"));
  // The page was drawn anew with the list of what was written.
  page = w.Rollups()->Page("Parameters");
  ASSERT_NE(page, nullptr);
  auto* generated = qobject_cast<QListWidget*>(page->Control(113));
  ASSERT_NE(generated, nullptr);
  ASSERT_EQ(generated->count(), 1);
  EXPECT_EQ(generated->item(0)->text(), "sword.eqp");
  SaveScreenshot(&w, "kitexport-panel");
}
