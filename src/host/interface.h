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
};

}  // namespace vorlan::host
