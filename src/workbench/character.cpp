#include "workbench/character.h"

#include <algorithm>

#include "host/control.h"

namespace vorlan::workbench {

using host::Point3;
using host::SkinVertexType;

// ---------------------------------------------------------------------------------------
// Modifier stacks

host::Modifier* DerivedObjectImpl::GetModifier(int i) const {
  if (i < 0 || i >= NumModifiers()) return nullptr;
  return modifiers[static_cast<std::size_t>(i)].get();
}

host::Object* DerivedObjectImpl::GetObjRef() const { return owner_.ObjectPtr().get(); }

host::Box3 DerivedObjectImpl::GetBoundingBox(host::TimeValue t) const {
  host::Object* o = GetObjRef();
  return o ? o->GetBoundingBox(t) : host::Box3{};
}

bool DerivedObjectImpl::CanConvertToTriMesh() const {
  host::Object* o = GetObjRef();
  return o && o->CanConvertToTriMesh();
}

// The skin holds the reference pose and the Morpher's channels start at zero, so the stack
// hands on the base mesh unchanged.
std::optional<host::Mesh> DerivedObjectImpl::ConvertToTriMesh(host::TimeValue t) const {
  host::Object* o = GetObjRef();
  return o ? o->ConvertToTriMesh(t) : std::nullopt;
}

void SceneNode::AddModifier(std::shared_ptr<host::Modifier> modifier) {
  if (!derived_) derived_ = std::make_shared<DerivedObjectImpl>(*this);
  derived_->modifiers.insert(derived_->modifiers.begin(), std::move(modifier));
}

const std::vector<std::shared_ptr<host::Modifier>>& SceneNode::Modifiers() const {
  static const std::vector<std::shared_ptr<host::Modifier>> none;
  return derived_ ? derived_->modifiers : none;
}

host::Object* SceneNode::GetObjectReference() const {
  if (derived_ && !derived_->modifiers.empty()) return derived_.get();
  return object_.get();
}

host::SkeletonExport* SceneNode::GetSkeletonExport() const {
  const host::Control* c = GetTMController();
  const bool bone = c && (c->GetClassId() == host::kBipedSlaveControlClassId ||
                          c->GetClassId() == host::kFootstepControlClassId);
  return bone || IsSkeletonRoot(*this) ? &scene_.skeletonSwitches : nullptr;
}

bool IsSkeletonRoot(const host::Node& node) {
  host::Object* o = node.EvalWorldState(0);
  return o && o->GetClassId() == host::kSkeletonRootClassId;
}

template <class T>
static T* FindOnStack(const SceneNode& node) {
  for (const auto& m : node.Modifiers())
    if (auto* found = dynamic_cast<T*>(m.get())) return found;
  return nullptr;
}

SkinModifierImpl* FindSkin(const SceneNode& node) { return FindOnStack<SkinModifierImpl>(node); }
MorpherImpl* FindMorpher(const SceneNode& node) { return FindOnStack<MorpherImpl>(node); }

// ---------------------------------------------------------------------------------------
// Skin

namespace {

std::optional<host::Mesh> MeshOf(const host::Node& node) {
  host::Object* o = node.EvalWorldState(0);
  if (!o || !o->CanConvertToTriMesh()) return std::nullopt;
  return o->ConvertToTriMesh(0);
}

class SkinExportContextImpl : public host::SkinExportContext {
 public:
  SkinExportContextImpl(const SkinModifierImpl& skin, const host::Node& node)
      : skin_(skin), mesh_(MeshOf(node)), objectTM_(node.GetObjectTM(0)) {}

  void ConvertToRigid(bool on) override { rigid_ = on; }
  void AllowBlending(bool on) override { blending_ = on; }
  int GetNumberVertices() const override {
    return mesh_ ? mesh_->NumVerts() : static_cast<int>(skin_.vertices.size());
  }

  std::optional<host::SkinExportVertex> GetVertex(int i) const override {
    if (i < 0 || i >= GetNumberVertices() || static_cast<std::size_t>(i) >= skin_.vertices.size())
      return std::nullopt;
    const SkinVertex& v = skin_.vertices[static_cast<std::size_t>(i)];
    if (v.bones.empty()) return std::nullopt;
    Point3 world = mesh_ && i < mesh_->NumVerts()
                       ? objectTM_.PointTransform(mesh_->verts[static_cast<std::size_t>(i)])
                       : Point3{};
    auto entry = [&](const SkinWeight& w, float weight) {
      Point3 offset = w.bone ? Inverse(w.bone->GetNodeTM(0)).PointTransform(world) : world;
      return host::SkinBoneWeight{w.bone, weight, offset};
    };
    host::SkinExportVertex out;
    if (v.type == SkinVertexType::RigidBlended && blending_) {
      out.type = SkinVertexType::RigidBlended;
      for (const SkinWeight& w : v.bones) out.bones.push_back(entry(w, w.weight));
    } else {
      // The heaviest bone carries a rigid vertex; the first of equals wins.
      const SkinWeight* best = &v.bones[0];
      for (const SkinWeight& w : v.bones)
        if (w.weight > best->weight) best = &w;
      out.type = SkinVertexType::Rigid;
      out.bones.push_back(entry(*best, 1.0f));
    }
    return out;
  }

 private:
  const SkinModifierImpl& skin_;
  std::optional<host::Mesh> mesh_;
  host::Matrix3 objectTM_;
  bool rigid_ = false;
  bool blending_ = false;
};

class SkinImportVertexImpl : public host::SkinImportVertex {
 public:
  explicit SkinImportVertexImpl(SkinVertex& v) : v_(v) {}
  void SetWeightedNode(host::Node* bone, float weight, bool first) override {
    if (first) v_.bones.clear();
    for (SkinWeight& w : v_.bones)
      if (w.bone == bone) {
        w.weight = weight;
        return;
      }
    v_.bones.push_back({bone, weight});
  }
  void LockVertex(bool lock) override { v_.locked = lock; }

 private:
  SkinVertex& v_;
};

class SkinImportContextImpl : public host::SkinImportContext {
 public:
  SkinImportContextImpl(SkinModifierImpl& skin, const host::Node& node) : skin_(skin) {
    auto mesh = MeshOf(node);
    count_ = mesh ? mesh->NumVerts() : static_cast<int>(skin.vertices.size());
  }
  int GetNumberVertices() const override { return count_; }
  std::unique_ptr<host::SkinImportVertex> SetVertexInterface(int i, SkinVertexType type) override {
    if (i < 0 || i >= count_) return nullptr;
    if (skin_.vertices.size() < static_cast<std::size_t>(count_))
      skin_.vertices.resize(static_cast<std::size_t>(count_));
    SkinVertex& v = skin_.vertices[static_cast<std::size_t>(i)];
    v.type = type;
    return std::make_unique<SkinImportVertexImpl>(v);
  }

 private:
  SkinModifierImpl& skin_;
  int count_ = 0;
};

}  // namespace

std::unique_ptr<host::SkinExportContext> SkinModifierImpl::GetExportContext(const host::Node& node) {
  return std::make_unique<SkinExportContextImpl>(*this, node);
}

std::unique_ptr<host::SkinImportContext> SkinModifierImpl::GetImportContext(const host::Node& node) {
  return std::make_unique<SkinImportContextImpl>(*this, node);
}

void SkinModifierImpl::SetRigid(std::size_t vertex, host::Node* bone) {
  if (vertices.size() <= vertex) vertices.resize(vertex + 1);
  vertices[vertex] = {SkinVertexType::Rigid, {{bone, 1.0f}}, false};
}

void SkinModifierImpl::SetBlended(std::size_t vertex, std::vector<SkinWeight> bones) {
  if (vertices.size() <= vertex) vertices.resize(vertex + 1);
  vertices[vertex] = {SkinVertexType::RigidBlended, std::move(bones), false};
}

void SkinModifierImpl::ForgetNodes(const std::function<bool(const host::Node*)>& doomed) {
  for (SkinVertex& v : vertices) std::erase_if(v.bones, [&](const SkinWeight& w) { return doomed(w.bone); });
  std::erase_if(bindPoses, [&](const auto& pose) { return doomed(pose.first); });
}

// ---------------------------------------------------------------------------------------
// Morpher

const host::MorphChannel* MorpherImpl::GetChannel(int i) const {
  if (i < 0 || i >= NumChannels()) return nullptr;
  return &channels[static_cast<std::size_t>(i)];
}

void MorpherImpl::ForgetNodes(const std::function<bool(const host::Node*)>& doomed) {
  for (host::MorphChannel& c : channels)
    if (c.target && doomed(c.target)) c.target = nullptr;
}

// ---------------------------------------------------------------------------------------
// Skeleton root

host::Box3 SkeletonRootObject::GetBoundingBox(host::TimeValue) const {
  host::Box3 b;
  b.Include({-size, -size, -size});
  b.Include({size, size, size});
  return b;
}

}  // namespace vorlan::workbench
