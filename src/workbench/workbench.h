// The workbench as the host: the services a plug-in gets for the length of one call, over a
// scene, a user interface and the loaded plug-in modules.
//
// Folders: plug-ins keep their configuration files in the configuration folder and write
// their logs to drive C, which the workbench maps onto its log folder. Both folders default
// to the user's XDG folders ($XDG_CONFIG_HOME/vorlan/plugcfg and $XDG_STATE_HOME/vorlan/logs,
// falling back to ~/.config and ~/.local/state), can be set, and are created when first
// asked for.
#pragma once

#include <functional>
#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/interface.h"
#include "workbench/plugin_loader.h"
#include "workbench/scene.h"
#include "workbench/scene_document.h"
#include "workbench/utilities_panel.h"
#include "workbench/viewport.h"

namespace vorlan::workbench {

// The default folders, from the environment; no folder is created.
std::string DefaultPlugCfgDir();
std::string DefaultLogDir();

class Workbench : public host::Interface {
 public:
  // The scene and the UI are borrowed and must outlive the workbench.
  Workbench(Scene& scene, host::UserInterface& ui);
  // Closes the open utility first, while the host it was given is still whole.
  ~Workbench() override;

  Scene& GetScene() { return scene_; }
  // The loaded modules that ExportToFile runs and the Utilities panel lists; borrowed, may be
  // null (then nothing exports).
  void SetPlugins(const PluginLoader* plugins) {
    plugins_ = plugins;
    utilities_.SetPlugins(plugins);
  }
  const PluginLoader* Plugins() const { return plugins_; }

  // Folders; an empty text restores the default. A trailing separator is dropped.
  void SetPlugCfgDir(std::string dir);
  void SetLogDir(std::string dir);
  // The log folder, created if missing.
  std::string GetLogDir() const;

  // A path as a plug-in gives it, for this system: paths on drive C ("C:\dir\x.log",
  // "c:/x.log", "C:x.log") land in the log folder, keeping their sub-folders but never
  // leaving the folder ("." and ".." are resolved within it); any other path only gets
  // '/' for '\'. Creates the log folder when the path is mapped into it.
  std::string MapHostPath(std::string path) const override;

  // Fixed names make outputs reproducible (tests, build farms); empty: ask the system.
  void SetComputerName(std::string name) { computerName_ = std::move(name); }
  void SetUserName(std::string name) { userName_ = std::move(name); }

  // The active viewport: its size and camera; disabled, GrabViewport reports none.
  void SetViewport(ViewportOptions options) { viewport_ = std::move(options); }
  void SetViewportEnabled(bool enabled) { viewportEnabled_ = enabled; }

  // Classes whose plug-in the workbench pretends not to have: CreateObject and CreateMtl
  // refuse them (tests of an importer's "plug-in missing" paths).
  void SetUnavailableClass(host::ClassId id) { unavailable_.insert(id); }

  // The progress display: every update goes to the hook (a test may ask to cancel from
  // it), and to a progress window of the user interface while one is open.
  using ProgressHook = std::function<void(Workbench&, int percent)>;
  void SetProgressHook(ProgressHook hook) { progressHook_ = std::move(hook); }
  void RequestCancel() { cancel_ = true; }
  int RedrawCount() const { return redraws_; }

  // Why the last ExportToFile returned false; empty after a success.
  const std::string& LastExportError() const { return lastExportError_; }

  UtilitiesPanel& Utilities() { return utilities_; }

  // Playback as the workbench runs it: a window's clock, a command or a test calls
  // StepPlayback once per frame while playing. It moves the current time one frame on,
  // after the range's end back to its start. False (and nothing moves) when not playing.
  bool StepPlayback();
  // The active viewport's view type; a camera view comes from SetViewCamera or from the
  // scene's active view camera.
  void SetViewType(host::ViewType type);
  // Undoes the last accepted hold: the selection goes back to what it was before it. False
  // when there is nothing to undo.
  bool Undo();
  std::vector<std::string> UndoNames() const;

  // Scene operations of the workbench's own, each sending the host's notifications to the
  // plug-ins that registered for them.
  // A new node with its object, which listeners see already in place.
  SceneNode& CreateNode(std::string name, SceneNode* parent = nullptr, std::shared_ptr<SceneObject> object = nullptr);
  void RenameNode(SceneNode& node, std::string name);
  // Deletes the nodes with their subtrees, after telling every listener which nodes go.
  void DeleteNodes(const std::vector<SceneNode*>& nodes);
  // ResetScene (below, also the importers' service) empties the scene between its two
  // notifications.
  void NewScene();
  // Replaces the scene with a document; the scene is only cleared when the document is
  // sound. Listeners hear the "before" and "after" notifications either way.
  DocumentResult OpenScene(const std::string& path);
  // Runs `merge` on the scene between the merge notifications; returns what it returns.
  bool MergeScene(const std::function<bool(Scene&)>& merge);
  void Shutdown();
  // Sends a notification as the host does.
  void Notify(const host::NotifyInfo& info);

  // host::Interface
  host::UserInterface& UI() override { return ui_; }
  host::Node* GetRootNode() override { return &scene_.Root(); }
  host::Node* GetINodeByName(const std::string& name) override { return scene_.FindNode(name); }
  uint32_t GetHostVersion() const override { return scene_.hostVersion; }
  std::string GetPlugCfgDir() const override;
  std::string GetComputerName() const override;
  std::string GetUserName() const override;
  std::string GetCurFileName() const override;
  std::optional<host::SceneProperty> GetSceneProperty(const std::string& name) const override;
  std::optional<host::ViewportImage> GrabViewport() override;
  bool ExportToFile(const std::string& path, host::ClassId exporter, bool suppressPrompts,
                    uint32_t options) override;
  std::unique_ptr<host::Control> CreateControl(host::ClassId id) override;
  host::Interval GetAnimRange() const override;
  void SetAnimRange(host::Interval range) override;
  int GetTicksPerFrame() const override;
  void SetTicksPerFrame(int ticks) override;
  int GetFrameRate() const override;
  void SetFrameRate(int framesPerSecond) override;
  host::TimeValue GetTime() const override;
  void SetTime(host::TimeValue t, bool redraw = true) override;
  void StartAnimPlayback() override;
  void EndAnimPlayback() override;
  bool IsAnimPlaying() const override { return playing_; }
  void RegisterTimeChangeCallback(host::TimeChangeCallback* callback) override;
  void UnRegisterTimeChangeCallback(host::TimeChangeCallback* callback) override;
  bool RegisterNotification(host::NotifyProc proc, void* param, int code) override;
  bool UnRegisterNotification(host::NotifyProc proc, void* param, int code) override;
  host::ViewExp* GetActiveViewport() override;
  void ReleaseViewport(host::ViewExp* view) override;
  int GetSelNodeCount() override;
  host::Node* GetSelNode(int i) override;
  void ClearSelection() override;
  void SelectNode(host::Node* node, bool clearSelection = true) override;
  void HoldBegin() override;
  void HoldAccept(const std::string& name) override;
  void HoldCancel() override;
  host::RollupPage* AddRollupPage(const host::DialogModel& page, host::RollupHandler& handler) override;
  void DeleteRollupPage(host::RollupPage* page) override;
  void CloseUtility() override;
  void EnableAccelerators() override { acceleratorsEnabled_ = true; }
  void DisableAccelerators() override { acceleratorsEnabled_ = false; }
  bool GetAcceleratorsEnabled() const override { return acceleratorsEnabled_; }
  void ResetScene() override;
  host::Node* CreateNode(const std::string& name, host::Node* parent) override;
  std::shared_ptr<host::Object> CreateObject(host::SuperClassId sc, host::ClassId id) override;
  std::shared_ptr<host::Mtl> CreateMtl(host::ClassId id) override;
  std::shared_ptr<host::Texmap> CreateTexmap(host::ClassId id) override;
  void RedrawViews() override { ++redraws_; }
  void ProgressStart(const std::string& title, bool cancellable) override;
  void ProgressUpdate(int percent) override;
  void ProgressEnd() override;
  bool GetCancel() override { return cancel_; }
  void SetCancel(bool cancel) override { cancel_ = cancel; }
  bool AutoBackupEnabled() const override { return autoBackup_; }
  void EnableAutoBackup(bool on) override { autoBackup_ = on; }
  void Report(const std::string& source, const std::string& json) override { reports_.emplace_back(source, json); }
  // What plug-ins reported, in order: (source, JSON object).
  const std::vector<std::pair<std::string, std::string>>& Reports() const { return reports_; }

 private:
  // The active viewport: a camera view looks through the scene's active view camera.
  class ActiveView : public host::ViewExp {
   public:
    explicit ActiveView(Workbench& wb) : wb_(wb) {}
    host::ViewType GetViewType() const override;
    host::Node* GetViewCamera() const override;
    void SetViewCamera(host::Node* camera) override;

   private:
    Workbench& wb_;
  };
  struct Registration {
    host::NotifyProc proc;
    void* param;
    int code;
  };
  struct UndoStep {
    std::string name;
    std::vector<std::pair<SceneNode*, bool>> selection;  // each changed node's former state
  };
  void SetSelected(SceneNode& node, bool selected);

  Scene& scene_;
  host::UserInterface& ui_;
  const PluginLoader* plugins_ = nullptr;
  std::string plugCfgDir_, logDir_;
  std::string computerName_, userName_;
  ViewportOptions viewport_;
  bool viewportEnabled_ = true;
  std::string lastExportError_;

  bool playing_ = false;
  bool acceleratorsEnabled_ = true;
  std::optional<host::ViewType> viewType_;
  ActiveView activeView_{*this};
  std::vector<host::TimeChangeCallback*> timeCallbacks_;
  std::vector<Registration> notifications_;
  std::optional<UndoStep> hold_;
  std::vector<UndoStep> undo_;
  std::set<host::ClassId> unavailable_;
  ProgressHook progressHook_;
  std::unique_ptr<host::ModelessWindow> progress_;
  std::atomic<bool> cancel_{false};
  int redraws_ = 0;
  bool autoBackup_ = true;
  std::vector<std::pair<std::string, std::string>> reports_;
  // Last, so that it goes first: closing the utility still needs the rest of the host.
  UtilitiesPanel utilities_{*this};
};

}  // namespace vorlan::workbench
