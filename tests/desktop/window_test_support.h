// What the window tests share: the one application on the offscreen platform, a script
// that answers modal windows as they come up, temporary folders, screenshots and pixel
// counts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "desktop/main_window.h"
#include "workbench/materials_document.h"

namespace vorlan::testing {

namespace fs = std::filesystem;

inline QApplication& App() {
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
inline void SaveScreenshot(QWidget* w, const std::string& name) {
  fs::path dir = fs::path(VORLAN_BINARY_DIR) / "screenshots";
  fs::create_directories(dir);
  w->grab().save(QString::fromStdString((dir / (name + ".png")).string()), "PNG");
}

inline void Click(QWidget* dialog, const QString& label) {
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

inline desktop::MainWindowOptions Options(const TempDir& dir) {
  desktop::MainWindowOptions o;
  o.pluginDir = VORLAN_PLUGIN_DIR;
  o.configDir = (dir.path / "cfg").string();
  o.logDir = (dir.path / "logs").string();
  return o;
}

inline const std::string kSample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";

// Pixels that differ from the first one: a blank or single-colour picture has none.
inline int PixelsUnlike(const QImage& img, QRgb background) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF);
  return n;
}

inline std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace vorlan::testing
