// The host's services to a plug-in for the length of one call.
#pragma once

#include <cstdint>
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

  virtual std::optional<SceneProperty> GetSceneProperty(const std::string& name) const = 0;

  // Grabs the active viewport; nullopt when there is none.
  virtual std::optional<ViewportImage> GrabViewport() = 0;

  // Runs the exporter of the given class on the scene.
  virtual bool ExportToFile(const std::string& path, ClassId exporter, bool suppressPrompts,
                            uint32_t options) = 0;

  // The services below have defaults that describe a host without animation, viewports or a
  // command panel (a test double); the workbench implements every one of them.

  // Time. The ticks per frame and the frame rate are two views of one setting (ticks per
  // second / frame rate = ticks per frame), so setting one changes the other.
  virtual Interval GetAnimRange() const { return {0, 100 * 160}; }
  virtual void SetAnimRange(Interval /*range*/) {}
  virtual int GetTicksPerFrame() const { return kTicksPerSecond / GetFrameRate(); }
  virtual void SetTicksPerFrame(int /*ticks*/) {}
  virtual int GetFrameRate() const { return 30; }
  virtual void SetFrameRate(int /*framesPerSecond*/) {}
  virtual TimeValue GetTime() const { return 0; }
  // Moves the current time; every time-change callback hears it. Without `redraw` the
  // viewports keep their picture until the next redraw.
  virtual void SetTime(TimeValue /*t*/, bool /*redraw*/ = true) {}

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
};

}  // namespace vorlan::host
