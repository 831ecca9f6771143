// The host's services to a plug-in for the length of one call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/node.h"
#include "host/notify.h"
#include "host/rollup.h"
#include "host/ui.h"
#include "host/view.h"

namespace vorlan::host {

// The active viewport grabbed as a device-independent bitmap.
struct ViewportImage {
  int width = 0, height = 0;
  int bitsPerPixel = 32;
  std::vector<uint8_t> pixels;  // rows of width * bitsPerPixel / 8 bytes
  std::string driverName;       // the graphics driver's name ("OpenGL", "Software", "Direct3D", ...)
};

// A scene file property: the host keeps booleans and numbers as integers, text as text.
using SceneProperty = std::variant<int, float, std::string>;

class Interface {
 public:
  virtual ~Interface() = default;

  virtual UserInterface& UI() = 0;
  virtual Node* GetRootNode() = 0;
  virtual Node* GetINodeByName(const std::string& name) = 0;
  virtual uint32_t GetHostVersion() const = 0;
  // Folder of the plug-ins' configuration files, without a trailing separator.
  virtual std::string GetPlugCfgDir() const = 0;
  virtual std::string GetComputerName() const = 0;
  virtual std::string GetUserName() const = 0;
  // The open scene's file name without its folder ("hero.max"); empty while it was never saved.
  virtual std::string GetCurFileName() const { return {}; }

  virtual std::optional<SceneProperty> GetSceneProperty(const std::string& name) const = 0;

  // Grabs the active viewport; nullopt when there is none.
  virtual std::optional<ViewportImage> GrabViewport() = 0;

  // Time, in ticks (kTicksPerSecond per second). The defaults describe a host at 30 frames
  // per second with frames 0 to 100.
  virtual Interval GetAnimRange() const { return {0, 100 * 160}; }
  virtual void SetAnimRange(Interval /*range*/) {}
  virtual int GetTicksPerFrame() const { return 160; }
  // Sets the ticks per frame alone (the frame rate is not derived from it).
  virtual void SetTicksPerFrame(int /*ticks*/) {}
  virtual int GetFrameRate() const { return 30; }
  // Sets the frame rate and the ticks per frame that follow from it.
  virtual void SetFrameRate(int /*fps*/) {}
  virtual TimeValue GetTime() const { return 0; }
  virtual void SetTime(TimeValue /*t*/, bool /*redraw*/ = true) {}

  // A new controller of the given class (the nine keyframe classes, the PRS transform
  // controller, ...), owned by the caller until handed to a node; null for an unknown class.
  virtual std::unique_ptr<Control> CreateControl(ClassId /*id*/) { return nullptr; }

  // Runs the exporter of the given class on the scene.
  virtual bool ExportToFile(const std::string& path, ClassId exporter, bool suppressPrompts,
                            uint32_t options) = 0;

  // A path as a plug-in names it (a log on drive C, a folder with backslashes) on this
  // system. The default only turns backslashes into '/'.
  virtual std::string MapHostPath(std::string path) const;

  // ---- Import services: what an importer builds the scene with. A host that cannot build
  // (a stub, a read-only viewer) keeps the defaults, which create nothing.

  // Empties the scene: every node but the root goes, with the objects and materials only
  // those nodes used.
  virtual void ResetScene() {}
  // A new node `name`, attached as the last child of `parent` (the root when null), with
  // the identity transform and no object. It is part of the scene at once.
  virtual Node* CreateNode(const std::string& /*name*/, Node* /*parent*/) { return nullptr; }
  // New instances by class: objects (geometry, cameras, lights, helpers) of a super class,
  // materials and textures. Null when the host has no such class (its plug-in is missing).
  virtual std::shared_ptr<Object> CreateObject(SuperClassId /*sc*/, ClassId /*id*/) { return nullptr; }
  virtual std::shared_ptr<Mtl> CreateMtl(ClassId /*id*/) { return nullptr; }
  virtual std::shared_ptr<Texmap> CreateTexmap(ClassId /*id*/) { return nullptr; }
  // Asks the host to draw its views again after the scene changed.
  virtual void RedrawViews() {}

  // ---- The host's progress display, with the user's cancel request.
  virtual void ProgressStart(const std::string& /*title*/, bool /*cancellable*/) {}
  virtual void ProgressUpdate(int /*percent*/) {}
  virtual void ProgressEnd() {}
  // Whether the user asked to cancel; SetCancel(false) withdraws the request.
  virtual bool GetCancel() { return false; }
  virtual void SetCancel(bool /*cancel*/) {}

  // The services below have defaults that describe a host without animation, viewports or a
  // command panel (a test double); the workbench implements every one of them.

  // Playback advances the current time frame by frame over the animation range, starting
  // again at its start after its end, until it is ended.
  virtual void StartAnimPlayback() {}
  virtual void EndAnimPlayback() {}
  virtual bool IsAnimPlaying() const { return false; }
  virtual void RegisterTimeChangeCallback(TimeChangeCallback* /*callback*/) {}
  virtual void UnRegisterTimeChangeCallback(TimeChangeCallback* /*callback*/) {}

  // Scene notifications of one code; a registration is undone with the same three values.
  virtual bool RegisterNotification(NotifyProc /*proc*/, void* /*param*/, int /*code*/) { return false; }
  virtual bool UnRegisterNotification(NotifyProc /*proc*/, void* /*param*/, int /*code*/) { return false; }

  // The active viewport, until it is released.
  virtual ViewExp* GetActiveViewport() { return nullptr; }
  virtual void ReleaseViewport(ViewExp* /*view*/) {}

  // Selection. Changes between HoldBegin and HoldAccept become one step of the host's undo
  // under the accepted name; HoldCancel keeps the changes without an undo step.
  virtual int GetSelNodeCount() { return 0; }
  virtual Node* GetSelNode(int /*i*/) { return nullptr; }
  virtual void ClearSelection() {}
  virtual void SelectNode(Node* /*node*/, bool /*clearSelection*/ = true) {}
  virtual void HoldBegin() {}
  virtual void HoldAccept(const std::string& /*name*/) {}
  virtual void HoldCancel() {}

  // The command panel of an open utility: its rollup pages, and closing the utility (which
  // the host does once the current button handler has returned).
  virtual RollupPage* AddRollupPage(const DialogModel& /*page*/, RollupHandler& /*handler*/) {
    return nullptr;
  }
  virtual void DeleteRollupPage(RollupPage* /*page*/) {}
  virtual void CloseUtility() {}

  // The host's keyboard shortcuts; a plug-in turns them off while its text field has the
  // keyboard, so that typing does not trigger them.
  virtual void EnableAccelerators() {}
  virtual void DisableAccelerators() {}
  virtual bool GetAcceleratorsEnabled() const { return true; }
  // The host's automatic backup of the open scene; exporters that take long turn it off and
  // restore it.
  virtual bool AutoBackupEnabled() const { return false; }
  virtual void EnableAutoBackup(bool /*on*/) {}

  // A plug-in's findings for whoever runs it (a build farm, the command line's --report):
  // one JSON object per call, tagged with the plug-in's name. The host may ignore them.
  virtual void Report(const std::string& /*source*/, const std::string& /*json*/) {}
};

}  // namespace vorlan::host
