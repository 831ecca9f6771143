// The workbench's character model: modifier stacks on nodes, the skin modifier, the Morpher
// and the skeleton's root object.
//
// A skin or Morpher refers to nodes (bones, targets) without owning them; deleting a node
// removes it from every modifier (Scene::DeleteNode calls ForgetNodes).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "host/morpher.h"
#include "host/skin.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

class SceneNode;

// A node's modifier stack as the host's derived object: index 0 is the top.
class DerivedObjectImpl : public WithAppData<host::DerivedObject> {
 public:
  explicit DerivedObjectImpl(const SceneNode& owner) : owner_(owner) {}

  int NumModifiers() const override { return static_cast<int>(modifiers.size()); }
  host::Modifier* GetModifier(int i) const override;
  host::Object* GetObjRef() const override;
  host::Box3 GetBoundingBox(host::TimeValue t) const override;
  bool CanConvertToTriMesh() const override;
  std::optional<host::Mesh> ConvertToTriMesh(host::TimeValue t) const override;

  std::vector<std::shared_ptr<host::Modifier>> modifiers;

 private:
  const SceneNode& owner_;
};

// One vertex of a skin: its bones and weights as the artist set them.
struct SkinWeight {
  host::Node* bone = nullptr;
  float weight = 1.0f;
  friend bool operator==(const SkinWeight&, const SkinWeight&) = default;
};
struct SkinVertex {
  host::SkinVertexType type = host::SkinVertexType::Rigid;
  std::vector<SkinWeight> bones;
  bool locked = false;
  friend bool operator==(const SkinVertex&, const SkinVertex&) = default;
};

class SkinModifierImpl : public WithAppData<host::SkinModifier> {
 public:
  std::string GetName() const override { return "Skin"; }
  std::unique_ptr<host::SkinExportContext> GetExportContext(const host::Node& node) override;
  std::unique_ptr<host::SkinImportContext> GetImportContext(const host::Node& node) override;

  // A rigid vertex on one bone, or blended over several (weights as given).
  void SetRigid(std::size_t vertex, host::Node* bone);
  void SetBlended(std::size_t vertex, std::vector<SkinWeight> bones);
  // Removes every entry of a bone that is going away.
  void ForgetNodes(const std::function<bool(const host::Node*)>& doomed);

  // Per mesh vertex (host vertex number); vertices beyond the end have no bones.
  std::vector<SkinVertex> vertices;
  // Each bone's world transform when the skin was bound, where a file gave it: the pose the
  // mesh, as it lies, was made for. Bones without one are bound where they stand without
  // their keys. Interchange output writes it back as the skin's bind matrices.
  std::map<const host::Node*, host::Matrix3> bindPoses;
};

class MorpherImpl : public WithAppData<host::MorphModifier> {
 public:
  std::string GetName() const override { return "Morpher"; }
  int NumChannels() const override { return static_cast<int>(channels.size()); }
  const host::MorphChannel* GetChannel(int i) const override;
  void ForgetNodes(const std::function<bool(const host::Node*)>& doomed);

  std::vector<host::MorphChannel> channels;
};

// The skeleton's root: a geometry object whose node parents the bones. It has no triangles
// of its own, so a scene export leaves it (and the bones below it) out.
class SkeletonRootObject : public SceneObject {
 public:
  SkeletonRootObject() : SceneObject(host::kSkeletonRootClassId, host::kGeomObjectClass, "Skeleton") {}
  host::Box3 GetBoundingBox(host::TimeValue t) const override;

  float size = 1.0f;  // half the extent of the box views draw for it
};

// Whether a node's object is a skeleton root.
bool IsSkeletonRoot(const host::Node& node);

// The modifier of that type nearest the top of the node's stack, or null.
SkinModifierImpl* FindSkin(const SceneNode& node);
MorpherImpl* FindMorpher(const SceneNode& node);

}  // namespace vorlan::workbench
