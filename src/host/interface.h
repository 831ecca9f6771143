// The host's services to a plug-in for the length of one call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/node.h"
#include "host/ui.h"

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

  // Asks the host to draw its views again after the scene changed.
  virtual void RedrawViews() {}

  // ---- The host's progress display, with the user's cancel request.
  virtual void ProgressStart(const std::string& /*title*/, bool /*cancellable*/) {}
  virtual void ProgressUpdate(int /*percent*/) {}
  virtual void ProgressEnd() {}
  // Whether the user asked to cancel; SetCancel(false) withdraws the request.
  virtual bool GetCancel() { return false; }
  virtual void SetCancel(bool /*cancel*/) {}
};

}  // namespace vorlan::host
