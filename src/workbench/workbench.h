// The workbench as the host: the services a plug-in gets for the length of one call, over a
// scene, a user interface and the loaded plug-in modules.
//
// Folders: plug-ins keep their configuration files in the configuration folder and write
// their logs to drive C, which the workbench maps onto its log folder. Both folders default
// to the user's XDG folders ($XDG_CONFIG_HOME/vorlan/plugcfg and $XDG_STATE_HOME/vorlan/logs,
// falling back to ~/.config and ~/.local/state), can be set, and are created when first
// asked for.
#pragma once

#include <optional>
#include <string>

#include "host/interface.h"
#include "workbench/plugin_loader.h"
#include "workbench/scene.h"
#include "workbench/viewport.h"

namespace vorlan::workbench {

// The default folders, from the environment; no folder is created.
std::string DefaultPlugCfgDir();
std::string DefaultLogDir();

class Workbench : public host::Interface {
 public:
  // The scene and the UI are borrowed and must outlive the workbench.
  Workbench(Scene& scene, host::UserInterface& ui);

  Scene& GetScene() { return scene_; }
  // The loaded modules that ExportToFile runs; borrowed, may be null (then nothing exports).
  void SetPlugins(const PluginLoader* plugins) { plugins_ = plugins; }
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

  // Why the last ExportToFile returned false; empty after a success.
  const std::string& LastExportError() const { return lastExportError_; }

  // host::Interface
  host::UserInterface& UI() override { return ui_; }
  host::Node* GetRootNode() override { return &scene_.Root(); }
  host::Node* GetINodeByName(const std::string& name) override { return scene_.FindNode(name); }
  uint32_t GetHostVersion() const override { return scene_.hostVersion; }
  std::string GetPlugCfgDir() const override;
  std::string GetComputerName() const override;
  std::string GetUserName() const override;
  std::optional<host::SceneProperty> GetSceneProperty(const std::string& name) const override;
  std::optional<host::ViewportImage> GrabViewport() override;
  bool ExportToFile(const std::string& path, host::ClassId exporter, bool suppressPrompts,
                    uint32_t options) override;
  // Time (workbench_time.cpp): the scene's range, rate and current time.
  host::Interval GetAnimRange() const override { return {scene_.animStart, scene_.animEnd}; }
  void SetAnimRange(host::Interval range) override;
  int GetTicksPerFrame() const override { return scene_.ticksPerFrame; }
  void SetTicksPerFrame(int ticks) override;
  int GetFrameRate() const override { return scene_.frameRate; }
  void SetFrameRate(int fps) override;
  host::TimeValue GetTime() const override { return scene_.currentTime; }
  void SetTime(host::TimeValue t, bool redraw = true) override;
  std::unique_ptr<host::Control> CreateControl(host::ClassId id) override;

 private:
  Scene& scene_;
  host::UserInterface& ui_;
  const PluginLoader* plugins_ = nullptr;
  std::string plugCfgDir_, logDir_;
  std::string computerName_, userName_;
  ViewportOptions viewport_;
  bool viewportEnabled_ = true;
  std::string lastExportError_;
};

}  // namespace vorlan::workbench
