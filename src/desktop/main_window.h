// The workbench's main window: the scene tree, the viewport, the time slider with play and
// stop, the File menu with Import and Export menus listing the loaded plug-ins, and the
// Utilities panel. Plug-in calls run on a worker thread while the window keeps drawing and
// shows their dialogs; the window takes no input of its own until the call returns.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "desktop/mapwright_view.h"
#include "desktop/qt_user_interface.h"
#include "desktop/rollup_panel.h"
#include "desktop/shot_editor_view.h"
#include "desktop/viewport_widget.h"
#include "workbench/plugin_loader.h"
#include "workbench/scene.h"
#include "workbench/workbench.h"

class QTreeWidget;
class QListWidget;
class QSlider;
class QLabel;
class QTimer;
class QMenu;

namespace vorlan::desktop {

struct MainWindowOptions {
  std::string pluginDir;  // empty: no plug-ins
  std::string configDir, logDir;
};

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Replaces the scene by a scene document or interchange file; on failure shows the error
  // in a message box and keeps the current scene. Returns whether it loaded.
  bool OpenScene(const std::string& path);
  bool SaveScene(const std::string& path);

  // Runs an exporter or importer by class name on a file, as its menu entry does once the
  // file is picked. Returns the plug-in's result (0 when it could not run).
  int ExportWith(const std::string& className, const std::string& path, bool selectedOnly = false);
  int ImportWith(const std::string& className, const std::string& path);
  // Opens a utility's panel, as a click on it in the Utilities panel does: its rollup pages
  // appear under the list.
  bool OpenUtility(const std::string& className);
  RollupPanel* Rollups() const { return rollups_; }
  // Presses a control of an open utility's page, as a click on its widget does.
  void PressRollup(host::RollupPage* page, const host::DialogModel& values, int controlId);

  workbench::Scene& GetScene() { return *scene_; }
  workbench::Workbench& Host() { return *workbench_; }
  const workbench::PluginLoader& Plugins() const { return plugins_; }
  ViewportWidget& Viewport() { return *viewport_; }
  QtUserInterface& UI() { return ui_; }
  QTreeWidget* SceneTree() const { return tree_; }
  QSlider* TimeSlider() const { return slider_; }

  // Frame shown by the slider; sets the viewport's time.
  void SetFrame(int frame);
  // Starts or stops the host's playback; the clock steps it once per frame.
  void Play(bool on);

  // The ShotEditor's window over this host (shown; made when there is none), as its
  // rollup's "Open Shot-Editor" opens it. Null after it was closed.
  ShotEditorView* OpenShotEditor();
  ShotEditorView* ShotEditor() const { return shotEditor_; }
  // Mapwright's window on a node: the node becomes the only selected one, and a mesh with
  // no selected faces has all of them selected (this window has no face selection of its
  // own). Shown and loaded; null when there is no such node.
  MapwrightView* OpenMapwright(const std::string& nodeName);
  MapwrightView* Mapwright() const { return mapwright_; }
  // Looks through a camera node, in the viewport and for the plug-ins (the host's active
  // view); empty: back to the perspective view.
  void ViewThroughCamera(const std::string& nodeName);
  // One frame of the host's playback, as its clock does while a plug-in plays; false when
  // the host does not play.
  bool StepHostPlayback();

  // Runs a plug-in call off the GUI thread, keeping the window's event loop alive.
  int RunPluginCall(const std::function<int()>& call);

 private:
  void BuildMenus();
  void BuildDocks();
  void RefreshScene();
  void SelectionChanged();
  void RollupsChanged();
  // The viewport and the time slider follow the host's time and view camera; the clock runs
  // while the host plays.
  void FollowHost();
  bool CloseToolWindows();

  MainWindowOptions options_;
  QtUserInterface ui_;
  std::unique_ptr<workbench::Scene> scene_;
  std::unique_ptr<workbench::Workbench> workbench_;
  workbench::PluginLoader plugins_;
  std::string scenePath_;
  ViewportWidget* viewport_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QListWidget* utilities_ = nullptr;
  QWidget* utilitiesDock_ = nullptr;
  RollupPanel* rollups_ = nullptr;
  bool callRunning_ = false;
  bool rollupsDirty_ = false;
  QSlider* slider_ = nullptr;
  QLabel* frameLabel_ = nullptr;
  QTimer* hostClock_ = nullptr;
  QPointer<ShotEditorView> shotEditor_;
  QPointer<MapwrightView> mapwright_;
  QMenu* viewMenu_ = nullptr;
  bool updatingTree_ = false;
};

}  // namespace vorlan::desktop
