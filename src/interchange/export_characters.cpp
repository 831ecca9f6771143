#include "interchange/export_characters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorlan::workbench::interchange {

using host::Matrix3;
using host::Point3;
using nlohmann::json;

namespace {

// JOINTS_0 holds unsigned shorts at most.
constexpr std::size_t kMaxJoints = 65536;

const SceneNode* AsSceneNode(const host::Node* n) { return dynamic_cast<const SceneNode*>(n); }

bool Finite(const Matrix3& m) {
  for (int r = 0; r < 4; ++r) {
    const Point3 p = m.GetRow(r);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

// Where a bone stood when the skin was bound: as the file gave it, else (or when what was
// given is not a transform) where it stands without its keys.
Matrix3 BindWorld(const SkinModifierImpl& skin, const SceneNode& bone) {
  auto it = skin.bindPoses.find(&bone);
  return it != skin.bindPoses.end() && Finite(it->second) ? it->second : bone.StaticTransform();
}

std::string Weight(float w) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", static_cast<double>(w));
  return text;
}

// The deepest node that is an ancestor of (or is) every joint; null when the joints lie in
// different trees, which glTF does not allow in one skin.
const SceneNode* CommonRoot(const std::vector<const SceneNode*>& joints) {
  std::vector<const SceneNode*> path;  // the first joint and its ancestors, bottom up
  for (const SceneNode* n = joints.front(); n && !n->IsRootNode(); n = n->Parent()) path.push_back(n);
  std::size_t lowest = 0;
  for (const SceneNode* j : joints) {
    std::size_t at = path.size();
    for (const SceneNode* n = j; n && !n->IsRootNode() && at == path.size(); n = n->Parent())
      at = static_cast<std::size_t>(std::find(path.begin(), path.end(), n) - path.begin());
    if (at == path.size()) return nullptr;
    lowest = std::max(lowest, at);
  }
  return path[lowest];
}

}  // namespace

bool ReduceInfluences(std::span<const std::pair<uint16_t, float>> bones, GltfInfluence& out, float& cut) {
  std::vector<std::pair<uint16_t, double>> merged;
  double total = 0.0;
  for (const std::pair<uint16_t, float>& bone : bones) {
    const uint16_t joint = bone.first;
    const float weight = bone.second;
    if (!std::isfinite(weight) || weight <= 0.0f) continue;
    auto it = std::find_if(merged.begin(), merged.end(), [&](const auto& m) { return m.first == joint; });
    if (it == merged.end())
      merged.emplace_back(joint, weight);
    else
      it->second += weight;
    total += weight;
  }
  out = GltfInfluence{};
  cut = 0.0f;
  if (merged.empty() || !(total > 0.0) || !std::isfinite(total)) return false;
  std::sort(merged.begin(), merged.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  const std::size_t kept = std::min(merged.size(), kGltfInfluences);
  if (kept < merged.size()) cut = static_cast<float>(merged[kept].second / total);
  double keptSum = 0.0;
  for (std::size_t i = 0; i < kept; ++i) keptSum += merged[i].second;
  // The heaviest takes what the others leave, so that the float weights sum to 1 as
  // closely as floats allow.
  double rest = 0.0;
  for (std::size_t i = 1; i < kept; ++i) {
    out.joints[i] = merged[i].first;
    out.weights[i] = static_cast<float>(merged[i].second / keptSum);
    rest += out.weights[i];
  }
  out.joints[0] = merged[0].first;
  out.weights[0] = static_cast<float>(1.0 - rest);
  return true;
}

void GltfCharacterWriter::Prepare(const Scene& scene) {
  for (const SceneNode* node : scene.AllNodes()) {
    const MorpherImpl* morph = FindMorpher(*node);
    if (!morph) continue;
    for (const host::MorphChannel& ch : morph->channels) {
      const SceneNode* target = AsSceneNode(ch.target);
      if (!ch.HasPoints() || !target || target == node || !target->Children().empty() ||
          target->GetSkeletonExport() || FindSkin(*target) || FindMorpher(*target))
        continue;
      leftOut_.insert(target);
    }
  }
}

bool GltfCharacterWriter::InWorld(const SceneNode& node) {
  return FindSkin(node) && node.Parent() && node.Parent()->IsRootNode() && node.Children().empty() &&
         !node.IsAnimated();
}

namespace {

bool HasCornerNormals(const host::Mesh& m, std::size_t faces) {
  if (m.faces.size() != faces || m.normalFaces.size() != faces) return false;
  for (const auto& f : m.normalFaces)
    for (uint32_t i : f)
      if (i >= m.explicitNormals.size()) return false;
  return true;
}

}  // namespace

std::vector<const host::Mesh*> GltfCharacterWriter::NormalShapes(const GltfCharacter& c,
                                                                 const host::Mesh& mesh,
                                                                 const std::string& name) {
  if (!HasCornerNormals(mesh, mesh.faces.size())) return {};
  std::vector<const host::Mesh*> shapes;
  bool turned = false, unknown = false;
  for (const host::MorphChannel* ch : c.morphs) {
    const SceneNode* target = AsSceneNode(ch->target);
    const auto* object = target ? dynamic_cast<const MeshObject*>(target->ObjectPtr().get()) : nullptr;
    if (!object || !HasCornerNormals(object->mesh, mesh.faces.size())) {
      unknown = true;
      continue;
    }
    const host::Mesh& t = object->mesh;
    shapes.push_back(&t);
    for (std::size_t f = 0; f < mesh.faces.size() && !turned; ++f)
      for (std::size_t k = 0; k < 3; ++k)
        turned = turned ||
                 !(t.explicitNormals[t.normalFaces[f][k]] == mesh.explicitNormals[mesh.normalFaces[f][k]]);
  }
  if (!turned) return {};
  if (unknown) {
    warnings_.Tally("morph target normals not exported (a target node without normals of the mesh's faces)",
                    1, name);
    return {};
  }
  return shapes;
}

GltfCharacter GltfCharacterWriter::Read(const SceneNode& node, const host::Mesh& mesh) {
  GltfCharacter c;
  const std::string& name = node.GetName();
  const std::size_t numVerts = mesh.verts.size();
  if (const MorpherImpl* morph = FindMorpher(node)) {
    for (const host::MorphChannel& ch : morph->channels) {
      if (ch.HasPoints())
        c.morphs.push_back(&ch);
      else
        warnings_.Tally("morph channels without a target shape not exported", 1, name);
    }
  }
  c.normalShapes = NormalShapes(c, mesh, name);
  const SkinModifierImpl* skin = FindSkin(node);
  if (!skin) return c;

  // Joints: the bones the skin uses and every other bone of their skeleton (a file's skin
  // may name bones that weigh nothing, which a round trip keeps), in scene order.
  std::set<const SceneNode*> used;
  for (const SkinVertex& v : skin->vertices)
    for (const SkinWeight& w : v.bones)
      if (const SceneNode* b = AsSceneNode(w.bone); b && &b->GetScene() == &node.GetScene() && !LeftOut(*b))
        used.insert(b);
  if (used.empty()) return c;
  const SceneNode* top = CommonRoot(std::vector<const SceneNode*>(used.begin(), used.end()));
  if (!top) {
    warnings_.Tally("skins whose bones have no common parent not exported (glTF needs one)", 1, name);
    return c;
  }
  for (const SceneNode* p = top; p && !p->IsRootNode(); p = p->Parent())
    if (IsSkeletonRoot(*p)) top = p;
  std::vector<const SceneNode*> joints;
  std::vector<const SceneNode*> stack{top};
  while (!stack.empty()) {
    const SceneNode* n = stack.back();
    stack.pop_back();
    if (used.count(n) || (n->GetSkeletonExport() && !IsSkeletonRoot(*n) && !LeftOut(*n))) joints.push_back(n);
    for (auto it = n->Children().rbegin(); it != n->Children().rend(); ++it) stack.push_back(*it);
  }
  if (joints.size() > kMaxJoints) {
    warnings_.Tally("skins with more than 65536 bones not exported", 1, name);
    return c;
  }
  std::map<const SceneNode*, uint16_t> number;
  for (std::size_t i = 0; i < joints.size(); ++i) number[joints[i]] = static_cast<uint16_t>(i);

  c.influences.resize(numVerts);
  uint64_t unbound = 0, reduced = 0;
  float largestCut = 0.0f;
  std::vector<std::pair<uint16_t, float>> bones;
  for (std::size_t v = 0; v < numVerts; ++v) {
    bones.clear();
    if (v < skin->vertices.size()) {
      const SkinVertex& sv = skin->vertices[v];
      // A rigid vertex follows its heaviest bone alone, as the skin's export context has it.
      const SkinWeight* heaviest = nullptr;
      for (const SkinWeight& w : sv.bones) {
        auto it = number.find(AsSceneNode(w.bone));
        if (it == number.end()) continue;
        if (sv.type == host::SkinVertexType::RigidBlended)
          bones.emplace_back(it->second, w.weight);
        else if (!heaviest || w.weight > heaviest->weight)
          heaviest = &w;
      }
      if (heaviest) bones.emplace_back(number[AsSceneNode(heaviest->bone)], 1.0f);
    }
    float cut = 0.0f;
    GltfInfluence& inf = c.influences[v];
    if (!ReduceInfluences(bones, inf, cut)) {
      inf.weights[0] = 1.0f;  // joint 0: the topmost bone
      ++unbound;
    } else if (cut > 0.0f) {
      ++reduced;
      largestCut = std::max(largestCut, cut);
    }
  }
  if (reduced)
    warnings_.Tally("skinned vertices with more than four bones written with their four heaviest", reduced,
                    name + " (largest weight cut " + Weight(largestCut) + ")");
  if (unbound) warnings_.Tally("skinned vertices without bones bound to the topmost bone", unbound, name);
  c.joints = std::move(joints);
  c.skin = skin;
  return c;
}

void GltfCharacterWriter::AddVertex(const GltfCharacter& c, GltfCharacterStreams& s, uint32_t vert,
                                    uint32_t face, int corner, Point3 normal, bool moved,
                                    const Matrix3& offset, const Matrix3& normalTm, float inv) const {
  if (c.Skinned()) {
    const GltfInfluence& inf = c.influences[vert];
    s.joints.insert(s.joints.end(), inf.joints.begin(), inf.joints.end());
    s.weights.insert(s.weights.end(), inf.weights.begin(), inf.weights.end());
  }
  s.deltas.resize(c.morphs.size());
  for (std::size_t k = 0; k < c.morphs.size(); ++k) {
    Point3 d = c.morphs[k]->Delta(static_cast<int>(vert));
    if (moved) d = offset.VectorTransform(d);
    d = d * inv;
    if (!std::isfinite(d.x) || !std::isfinite(d.y) || !std::isfinite(d.z)) d = {};
    s.deltas[k].insert(s.deltas[k].end(), {d.x, d.y, d.z});
  }
  if (c.normalShapes.empty()) return;
  s.normalDeltas.resize(c.normalShapes.size());
  const Point3 base = moved ? host::Normalize(normal * normalTm) : normal;
  for (std::size_t k = 0; k < c.normalShapes.size(); ++k) {
    const host::Mesh& t = *c.normalShapes[k];
    Point3 n = host::Normalize(t.explicitNormals[t.normalFaces[face][static_cast<std::size_t>(corner)]]);
    // A normal that is no direction keeps the base's.
    if (!(std::fabs(host::Length(n) - 1.0f) < 1e-3f)) n = normal;
    if (moved) n = host::Normalize(n * normalTm);
    const Point3 d = n - base;
    s.normalDeltas[k].insert(s.normalDeltas[k].end(), {d.x, d.y, d.z});
  }
}

void GltfCharacterWriter::AddAttributes(const GltfCharacter& c, const GltfCharacterStreams& s,
                                        json& primitive) {
  if (c.Skinned()) {
    const int type = c.joints.size() <= 256 ? kGltfUnsignedByte : kGltfUnsignedShort;
    primitive["attributes"]["JOINTS_0"] = gltf_.UnsignedAccessor(s.joints, 4, type);
    primitive["attributes"]["WEIGHTS_0"] = gltf_.FloatAccessor(s.weights, 4);
  }
  if (c.morphs.empty()) return;
  json targets = json::array();
  for (std::size_t k = 0; k < s.deltas.size(); ++k) {
    json t = {{"POSITION", gltf_.FloatAccessor(s.deltas[k], 3, true)}};
    if (k < s.normalDeltas.size()) t["NORMAL"] = gltf_.FloatAccessor(s.normalDeltas[k], 3);
    targets.push_back(std::move(t));
  }
  primitive["targets"] = std::move(targets);
}

void GltfCharacterWriter::AddMeshProperties(const GltfCharacter& c, json& mesh) {
  if (c.morphs.empty()) return;
  json weights = json::array(), names = json::array();
  for (const host::MorphChannel* ch : c.morphs) {
    // Channel values are percentages.
    weights.push_back(std::isfinite(ch->value) ? ch->value / 100.0f : 0.0f);
    names.push_back(ch->name);
  }
  mesh["weights"] = std::move(weights);
  mesh["extras"]["targetNames"] = std::move(names);
}

void GltfCharacterWriter::SkinNode(const SceneNode& node, int index, const GltfCharacter& c) {
  if (c.Skinned()) skins_.push_back({&node, index, c.skin, c.joints});
}

void GltfCharacterWriter::Finish() {
  for (const PendingSkin& s : skins_) {
    const Matrix3 meshWorld = InWorld(*s.node) ? Matrix3() : frame_.FromHost(s.node->StaticTransform());
    json joints = json::array();
    std::vector<float> ibm;
    ibm.reserve(s.joints.size() * 16);
    for (const SceneNode* j : s.joints) {
      joints.push_back(nodeIndex_.at(j));
      // Column-major, as glTF stores matrices: the host's rows are glTF's columns.
      const Matrix3 m = meshWorld * Inverse(frame_.FromHost(BindWorld(*s.skin, *j)));
      for (int r = 0; r < 4; ++r) {
        const Point3 row = m.GetRow(r);
        ibm.insert(ibm.end(), {row.x, row.y, row.z, r == 3 ? 1.0f : 0.0f});
      }
    }
    json skin = {{"joints", std::move(joints)},
                 {"inverseBindMatrices", gltf_.FloatAccessor(ibm, 16, false, 0)},
                 {"skeleton", nodeIndex_.at(CommonRoot(s.joints))}};
    if (!s.node->GetName().empty()) skin["name"] = s.node->GetName();
    const int at = gltf_.Append("skins", std::move(skin));
    gltf_.Json()["nodes"][static_cast<std::size_t>(s.index)]["skin"] = at;
  }
}

}  // namespace vorlan::workbench::interchange
