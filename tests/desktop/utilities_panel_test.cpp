// The Utilities dock's pages and the host's progress display, pressed through their widgets.
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include "desktop/main_window.h"
#include "desktop/window_test_support.h"

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
