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
#include "desktop/workbench_app.h"
#include "support/file_io.h"
#include "workbench/materials_document.h"

namespace fs = std::filesystem;
using namespace vorlan;

// Under the leak checker: the font and window-system libraries keep caches for the life of
// the process on purpose; leaks of our own code are still reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6\nleak:libglib\nleak:libgobject\nleak:libdbus\n";
}

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_desktop";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    workbench::RegisterMaterialDocumentCodec();
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Answers the modal windows that come up, in order, each with its own handler. Runs while
// the caller's code (or a plug-in call's event loop) keeps the GUI thread's events flowing.
class ModalScript {
 public:
  explicit ModalScript(std::deque<std::function<void(QWidget*)>> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(10);
  }
  bool Done() const { return steps_.empty(); }
  std::vector<QString> titles;

 private:
  void Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w == last_) return;
    last_ = w;
    titles.push_back(w->windowTitle());
    if (steps_.empty()) {
      // Whatever else comes up (the exporter's artist warnings) is acknowledged.
      if (auto* box = qobject_cast<QMessageBox*>(w)) box->done(QMessageBox::Ok);
      return;
    }
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step(w);
  }
  std::deque<std::function<void(QWidget*)>> steps_;
  QPointer<QWidget> last_;
  QTimer timer_;
};

// Keeps a picture of a window under build/screenshots for the documentation and for
// anyone looking into a failure.
void SaveScreenshot(QWidget* w, const std::string& name) {
  fs::path dir = fs::path(VORLAN_BINARY_DIR) / "screenshots";
  fs::create_directories(dir);
  w->grab().save(QString::fromStdString((dir / (name + ".png")).string()), "PNG");
}

void Click(QWidget* dialog, const QString& label) {
  for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
    if (b->text().remove('&') == label) {
      QTest::mouseClick(b, Qt::LeftButton);
      return;
    }
  ADD_FAILURE() << "no button " << label.toStdString() << " in " << dialog->windowTitle().toStdString();
}

struct TempDir {
  fs::path path = fs::temp_directory_path() /
                  ("vorlan_desktop_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  TempDir() { fs::create_directories(path); }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
  static inline int counter = 0;
};

desktop::MainWindowOptions Options(const TempDir& dir) {
  desktop::MainWindowOptions o;
  o.pluginDir = VORLAN_PLUGIN_DIR;
  o.configDir = (dir.path / "cfg").string();
  o.logDir = (dir.path / "logs").string();
  return o;
}

const std::string kSample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";

// Pixels that differ from the first one: a blank or single-colour picture has none.
int PixelsUnlike(const QImage& img, QRgb background) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF);
  return n;
}

}  // namespace

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
