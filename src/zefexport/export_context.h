// State of one scene export, shared by the driver and the node block builders.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/interface.h"
#include "host/mesh.h"
#include "zef/material_table.h"
#include "zef/progress.h"
#include "zef/scene_buffer.h"
#include "zefexport/face_list.h"

namespace vorlan::zefexport {

struct ExportOptions {
  bool smoothWholeScene = true;
  bool resmoothSingleObjects = false;
  bool distinguishLODs = false;
  bool selectionOnly = false;
};

// Application data sub-IDs the exporter attaches under its own class id.
inline constexpr uint32_t kMtlMarkSub = 1;
inline constexpr uint32_t kSurfaceCodeSub = 2;
inline constexpr uint32_t kCollisionMarkSub = 3;

// One entry per object reference met by the pre-pass; number 0 = not shared.
struct InstanceEntry {
  const void* objectRef = nullptr;
  uint32_t number = 0;
  bool written = false;
};

class InstanceList {
 public:
  // Pre-pass bookkeeping: the second node met that uses an object gives it the next number.
  void Note(const void* ref);
  InstanceEntry* Find(const void* ref);
  std::size_t Size() const { return entries_.size(); }

 private:
  std::vector<InstanceEntry> entries_;
  std::unordered_map<const void*, std::size_t> index_;
  uint32_t highest_ = 0;
};

struct ExportContext {
  host::Interface& ip;
  zef::SceneBuffer& buffer;
  ExportOptions options;
  zef::ExportProgress* progress = nullptr;  // may be null

  InstanceList instances;
  zef::MaterialTable materials;
  uint32_t triangleTotal = 0;
  uint32_t nodeCounter = 0;
  bool shapeWarningShown = false;
  // Mesh parts are welded as they are written (as the flush to the file would weld them), so
  // the image does not hold three vertices per triangle. Parts of nodes that whole-scene
  // smoothing takes part in stay unwelded: it merges normals vertex by vertex.
  bool weldParts = false;

  // Storage reused from node to node. Converting, listing and welding a mesh touch several
  // times its size; with fresh arrays for every node a large scene spent much of its export
  // in the system handing out and taking back zeroed pages.
  struct WeldStorage {
    std::vector<uint8_t> kept;
    std::vector<uint64_t> slots;
    // Per mesh vertex, the part it was last welded in (high half) and its kept index there.
    std::vector<uint64_t> lastWeld;
    uint32_t part = 0;
  };
  struct Scratch {
    host::Mesh mesh;
    FaceList faces;
    std::vector<uint8_t> staging;
    std::vector<uint32_t> remap;
    std::vector<uint32_t> faceSlots, partOf, sorted;  // per face or triangle
    std::vector<host::Point3> pivotVerts, pivotNormals;
    WeldStorage weld;
  } scratch;

  void Step(const char* node, const char* operation, int barPos = -1) {
    if (progress) progress->SetStep(node, operation, barPos);
  }
  void Bar2(int rangeMin, int rangeMax, int pos) {
    if (progress) progress->SetBar2(rangeMin, rangeMax, pos);
  }
  host::Answer Message(std::string text, std::string caption, host::Buttons buttons = host::Buttons::Ok,
                       host::Icon icon = host::Icon::None, bool topmost = false) {
    return ip.UI().MessageBox({std::move(text), std::move(caption), buttons, icon, topmost});
  }
};

}  // namespace vorlan::zefexport
