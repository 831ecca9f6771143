// Characters: the skin modifier that binds a mesh's vertices to bone nodes, and the
// skeleton's export switches.
//
// Bones are ordinary nodes recognised by the class of their transform controller (the
// skeleton's bone controller or its footstep controller, see ids.h). The skin modifier
// gives every mesh vertex either one rigid bone or several blended bones with weights.
// Exporters read it through an export context per node; tools that write weights use an
// import context. Contexts are owned by the caller and live no longer than the modifier.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "host/modifier.h"

namespace vorlan::host {

// How a vertex follows its bones. Blended rigid vertices report every bone with its own
// weight; rigid ones report one bone with weight 1.
enum class SkinVertexType : int {
  Rigid = 1,
  RigidBlended = 5,
};

struct SkinBoneWeight {
  Node* bone = nullptr;
  float weight = 1.0f;
  // The vertex's position in the bone's space at the reference pose.
  Point3 offset;
};

struct SkinExportVertex {
  SkinVertexType type = SkinVertexType::Rigid;
  std::vector<SkinBoneWeight> bones;  // Rigid: exactly one entry
};

class SkinExportContext {
 public:
  virtual ~SkinExportContext() = default;
  // Deformable vertices are reported as rigid ones (the only kind this host keeps).
  virtual void ConvertToRigid(bool on) = 0;
  // With blending off, a blended vertex is reported as rigid on its heaviest bone.
  virtual void AllowBlending(bool on) = 0;
  virtual int GetNumberVertices() const = 0;
  // Vertex i as the switches present it; nothing outside 0..GetNumberVertices()-1.
  virtual std::optional<SkinExportVertex> GetVertex(int i) const = 0;
};

// Writes one vertex's bones; released when the caller drops it.
class SkinImportVertex {
 public:
  virtual ~SkinImportVertex() = default;
  // Adds a bone with its weight; `first` clears what the vertex had before.
  virtual void SetWeightedNode(Node* bone, float weight, bool first) = 0;
  virtual void LockVertex(bool lock) = 0;
};

class SkinImportContext {
 public:
  virtual ~SkinImportContext() = default;
  virtual int GetNumberVertices() const = 0;
  // The vertex i, turned into the given type; null outside 0..GetNumberVertices()-1.
  virtual std::unique_ptr<SkinImportVertex> SetVertexInterface(int i, SkinVertexType type) = 0;
};

class SkinModifier : public Modifier {
 public:
  ClassId GetClassId() const override { return kSkinModifierClassId; }
  // Null when the modifier does not apply to `node`.
  virtual std::unique_ptr<SkinExportContext> GetExportContext(const Node& node) = 0;
  virtual std::unique_ptr<SkinImportContext> GetImportContext(const Node& node) = 0;
};

// The switches a skeleton offers to exporters, reached from its root or any of its bones.
class SkeletonExport {
 public:
  // With removal on, bone transforms come without the non-uniform scale the skeleton uses
  // for display.
  virtual void RemoveNonUniformScale(bool remove) = 0;
  virtual bool NonUniformScaleRemoved() const = 0;

 protected:
  ~SkeletonExport() = default;
};

}  // namespace vorlan::host
