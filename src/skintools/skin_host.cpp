#include "skintools/skin_host.h"

#include <cstdio>

#include "host/modifier.h"
#include "support/file_io.h"

namespace vorlan::skintools {

namespace {

bool IsBone(const host::Node& node) {
  const host::Control* c = node.GetTMController();
  return c && c->GetClassId() == kBoneControlClassId;
}

bool HasBoneBelow(const host::Node& node) {
  for (int i = 0; i < node.NumberOfChildren(); ++i) {
    const host::Node* child = node.GetChildNode(i);
    if (IsBone(*child) || HasBoneBelow(*child)) return true;
  }
  return false;
}

void Collect(host::Node* node, std::vector<host::Node*>& out) {
  out.push_back(node);
  for (int i = 0; i < node->NumberOfChildren(); ++i) Collect(node->GetChildNode(i), out);
}

host::Node* FindSkeletonTop(host::Node* node) {
  host::Object* obj = node->IsRootNode() ? nullptr : node->EvalWorldState(0);
  if (obj && obj->GetSuperClassId() == host::kGeomObjectClass && HasBoneBelow(*node)) return node;
  for (int i = 0; i < node->NumberOfChildren(); ++i)
    if (host::Node* found = FindSkeletonTop(node->GetChildNode(i))) return found;
  return nullptr;
}

// The normal the mesh gives a vertex: that of the first face corner using it.
std::vector<host::Point3> VertexNormals(const host::Mesh& mesh) {
  std::vector<host::Point3> normals(mesh.verts.size());
  std::vector<bool> seen(mesh.verts.size());
  for (int f = 0; f < mesh.NumFaces(); ++f)
    for (int k = 0; k < 3; ++k) {
      uint32_t v = mesh.faces[static_cast<std::size_t>(f)].v[static_cast<std::size_t>(k)];
      if (v < seen.size() && !seen[v]) {
        seen[v] = true;
        normals[v] = mesh.CornerNormal(f, k);
      }
    }
  return normals;
}

}  // namespace

void ShowError(host::Interface& ip, const std::string& text) {
  ip.UI().MessageBox({.text = text, .caption = "Error", .icon = host::Icon::Error});
}

host::SkinModifier* FindPhysique(const host::Node& node) {
  // A modifier of the skin's class is the host's skin modifier: class ids are unique.
  return static_cast<host::SkinModifier*>(host::FindModifier(node, host::kSkinModifierClassId));
}

std::optional<host::Mesh> NodeTriMesh(host::Interface& ip, const host::Node& node) {
  host::Object* obj = node.EvalWorldState(0);
  std::optional<host::Mesh> mesh;
  if (obj && obj->CanConvertToTriMesh()) mesh = obj->ConvertToTriMesh(0);
  if (!mesh || !mesh->IsValid()) {
    ShowError(ip, "Node '" + node.GetName() + "' doesn't have a mesh!");
    return std::nullopt;
  }
  mesh->BuildNormals();
  return mesh;
}

bool SaveSkd(host::Interface& ip, const host::Node& node, const std::string& nativePath, bool selectedOnly) {
  host::SkinModifier* skin = FindPhysique(node);
  if (!skin) return false;
  std::unique_ptr<host::SkinExportContext> context = skin->GetExportContext(node);
  if (!context) return false;
  context->ConvertToRigid(true);
  context->AllowBlending(true);
  std::optional<host::Mesh> mesh = NodeTriMesh(ip, node);
  if (!mesh) return false;
  const int count = context->GetNumberVertices();
  host::Matrix3 tm = node.GetObjTMAfterWSM(0);
  std::vector<host::Point3> normals = VertexNormals(*mesh);
  SkdData data;
  data.selectedOnly = selectedOnly;
  for (int i = 0; i < count; ++i) {
    const std::size_t vi = static_cast<std::size_t>(i);
    if (selectedOnly && !(vi < mesh->vertSel.size() && mesh->vertSel[vi])) continue;
    std::optional<host::SkinExportVertex> v = context->GetVertex(i);
    // A vertex the skin cannot give, or one beyond the mesh: the file would promise more
    // than it holds, so nothing is written.
    if (!v || vi >= mesh->verts.size()) return false;
    SkdRecord rec;
    rec.index = i;
    rec.position = mesh->verts[vi] * tm;
    rec.normal = normals[vi];
    const bool blended = v->type == host::SkinVertexType::RigidBlended;
    for (std::size_t j = 0; j < v->bones.size() && (blended || j < 1); ++j) {
      const host::SkinBoneWeight& b = v->bones[j];
      rec.bones.push_back({blended ? b.weight : 1.0f, b.offset, b.bone ? b.bone->GetName() : std::string()});
    }
    data.records.push_back(std::move(rec));
  }
  return support::WriteFileAtomic(nativePath, EncodeSkd(data)).ok;
}

SkdData LoadSkd(host::Interface& ip, const std::string& nativePath) {
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(nativePath, bytes)) {
    ShowError(ip, "Can't open .skd file.");
    return {};
  }
  SkdData data;
  if (DecodeSkd(bytes, data) != SkdStatus::Ok) {
    ShowError(ip, "Incorrect version of skd file.\nResave the skd file.");
    return {};
  }
  return data;
}

BoneTable::BoneTable(host::Node* root) {
  if (host::Node* top = root ? FindSkeletonTop(root) : nullptr) Collect(top, nodes_);
}

host::Node* BoneTable::Find(std::string_view name) const {
  for (host::Node* n : nodes_)
    if (n->GetName() == name) return n;
  return nullptr;
}

bool HostSkinTarget::GetWorldPositions(std::vector<host::Point3>& out) {
  std::optional<host::Mesh> mesh = NodeTriMesh(ip_, node_);
  if (!mesh) return false;
  host::Matrix3 tm = node_.GetObjTMAfterWSM(0);
  out.clear();
  out.reserve(mesh->verts.size());
  for (host::Point3 p : mesh->verts) out.push_back(p * tm);
  return true;
}

bool HostSkinTarget::OpenSkin() {
  host::SkinModifier* skin = FindPhysique(node_);
  if (skin) context_ = skin->GetImportContext(node_);
  if (!context_) {
    ShowError(ip_, "There is no Physique modifier on '" + node_.GetName() + "'.");
    return false;
  }
  return true;
}

int HostSkinTarget::SkinVertexCount() const { return context_ ? context_->GetNumberVertices() : 0; }

bool HostSkinTarget::HasVertex(int v) {
  vertex_ = context_ ? context_->SetVertexInterface(v, host::SkinVertexType::RigidBlended) : nullptr;
  vertexIndex_ = vertex_ ? v : -1;
  return vertex_ != nullptr;
}

void HostSkinTarget::SetWeights(int v, std::span<const BoneWeight> weights) {
  if (vertexIndex_ != v && !HasVertex(v)) return;
  bool first = true;
  for (const BoneWeight& w : weights) {
    host::Node* bone = bones_.Find(w.bone);
    if (!bone) {
      if (unknownBones_++ == 0) firstUnknown_ = std::string(w.bone);
      continue;
    }
    vertex_->SetWeightedNode(bone, w.weight, first);
    first = false;
  }
  vertex_->LockVertex(true);
  vertex_.reset();
  vertexIndex_ = -1;
}

void HostSkinTarget::CloseSkin() {
  vertex_.reset();
  vertexIndex_ = -1;
  context_.reset();
}

bool ApplyPhysique(host::Interface& ip, const std::string& nativePath, host::Node& node,
                   const ApplySettings& settings, const TransferHost& progress) {
  SkdData data = LoadSkd(ip, nativePath);
  BoneTable bones(ip.GetRootNode());
  HostSkinTarget target(ip, node, bones);
  TransferHost host = progress;
  host.message = [&ip](const std::string& text) { ShowError(ip, text); };
  bool result = ApplyPhysique(data, target, settings, host);
  if (target.UnknownBones() > 0) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d weights of '%s' name bones the scene does not have (first: '%s'); they were skipped.",
                  target.UnknownBones(), node.GetName().c_str(), target.FirstUnknownBone().c_str());
    ip.UI().MessageBox({.text = text, .caption = "Warning", .icon = host::Icon::Warning});
  }
  return result;
}

}  // namespace vorlan::skintools
