#include "interchange/import_characters.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "interchange/convert.h"
#include "workbench/character.h"
#include "workbench/controllers.h"

namespace vorlan::workbench::interchange {

using host::Point3;

namespace {

uint32_t NumVerts(const aiMesh& m) { return m.mVertices ? m.mNumVertices : 0; }

bool Finite(const host::Matrix3& m) {
  for (int r = 0; r < 4; ++r) {
    const Point3 p = m.GetRow(r);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

void MakeBone(SceneNode& n) {
  if (TransformControl* c = n.TMControl()) c->SetClassId(host::kBipedSlaveControlClassId);
}

// The skin of one mesh node from the bones of its aiMeshes; null when none resolves.
std::shared_ptr<SkinModifierImpl> BuildSkin(const aiScene& ai, const CharacterMesh& cm, Scene& scene,
                                            const Frame& frame, std::set<SceneNode*>& bones,
                                            WarningSink& warnings) {
  std::vector<std::vector<SkinWeight>> perVertex;
  std::map<const host::Node*, host::Matrix3> bindPoses;
  // The mesh as it lies in the file's world; a bone's offset matrix takes the mesh's space
  // into the bone's at binding.
  const host::Matrix3 meshWorld = frame.FromHost(cm.node->StaticTransform());
  uint32_t base = 0;
  bool any = false;
  for (unsigned idx : cm.parts) {
    const aiMesh& m = *ai.mMeshes[idx];
    const uint32_t n = NumVerts(m);
    perVertex.resize(std::size_t(base) + n);
    for (unsigned b = 0; m.mBones && b < m.mNumBones; ++b) {
      const aiBone* bone = m.mBones[b];
      if (!bone) continue;
      SceneNode* node = scene.FindNode(bone->mName.C_Str());
      if (!node || node == cm.node) {
        warnings.Tally("bones without a node of their name not imported", 1, bone->mName.C_Str());
        continue;
      }
      bones.insert(node);
      const host::Matrix3 offset = FromAssimp(bone->mOffsetMatrix);
      if (!bindPoses.count(node) && Finite(offset) && std::fabs(offset.Parity()) > 1e-12f) {
        const host::Matrix3 pose = frame.ToHost(Inverse(offset) * meshWorld);
        if (Finite(pose)) bindPoses[node] = pose;
      }
      for (unsigned w = 0; bone->mWeights && w < bone->mNumWeights; ++w) {
        const aiVertexWeight& vw = bone->mWeights[w];
        if (vw.mVertexId >= n || !std::isfinite(vw.mWeight) || vw.mWeight <= 0.0f) continue;
        auto& list = perVertex[base + vw.mVertexId];
        auto it = std::find_if(list.begin(), list.end(), [&](const SkinWeight& s) { return s.bone == node; });
        if (it == list.end())
          list.push_back({node, vw.mWeight});
        else
          it->weight += vw.mWeight;
        any = true;
      }
    }
    base += n;
  }
  if (!any) return nullptr;
  auto skin = std::make_shared<SkinModifierImpl>();
  for (std::size_t v = 0; v < perVertex.size(); ++v) {
    auto& list = perVertex[v];
    if (list.size() == 1 && std::fabs(list[0].weight - 1.0f) < 1e-6f)
      skin->SetRigid(v, list[0].bone);
    else if (!list.empty())
      skin->SetBlended(v, std::move(list));
  }
  skin->vertices.resize(perVertex.size());
  skin->bindPoses = std::move(bindPoses);
  return skin;
}

// The target shape keeps the base's normals where the file gives none for the target; a
// base vertex with a target normal gets it at every corner. Without normals of the base's
// faces the shape is drawn from its smoothing groups.
void TargetNormals(host::Mesh& shape, const std::vector<std::optional<Point3>>& normals) {
  if (shape.normalFaces.size() != shape.faces.size()) {
    shape.explicitNormals.clear();
    shape.normalFaces.clear();
    return;
  }
  std::vector<uint32_t> added(normals.size(), UINT32_MAX);
  for (std::size_t f = 0; f < shape.faces.size(); ++f)
    for (std::size_t k = 0; k < 3; ++k) {
      const uint32_t v = shape.faces[f].v[k];
      if (v >= normals.size() || !normals[v]) continue;
      if (added[v] == UINT32_MAX) {
        added[v] = static_cast<uint32_t>(shape.explicitNormals.size());
        shape.explicitNormals.push_back(*normals[v]);
      }
      shape.normalFaces[f][k] = added[v];
    }
}

// One channel per morph target index; parts without that target keep their base shape.
std::shared_ptr<MorpherImpl> BuildMorpher(const aiScene& ai, const CharacterMesh& cm, Scene& scene,
                                          float scale, WarningSink& warnings) {
  auto* object = dynamic_cast<MeshObject*>(cm.node->ObjectPtr().get());
  if (!object) return nullptr;
  const host::Mesh& baseMesh = object->mesh;
  unsigned targets = 0;
  for (unsigned idx : cm.parts)
    if (ai.mMeshes[idx]->mAnimMeshes) targets = std::max(targets, ai.mMeshes[idx]->mNumAnimMeshes);
  if (targets == 0) return nullptr;

  auto morph = std::make_shared<MorpherImpl>();
  for (unsigned k = 0; k < targets; ++k) {
    host::MorphChannel ch;
    ch.points = baseMesh.verts;
    ch.deltas.assign(baseMesh.verts.size(), Point3{});
    // The target's normals per base vertex, where the file gives them.
    std::vector<std::optional<Point3>> normals(baseMesh.verts.size());
    bool withTangents = false;
    uint32_t base = 0;
    for (unsigned idx : cm.parts) {
      const aiMesh& m = *ai.mMeshes[idx];
      const uint32_t n = NumVerts(m);
      const aiAnimMesh* am = m.mAnimMeshes && k < m.mNumAnimMeshes ? m.mAnimMeshes[k] : nullptr;
      if (am && ch.name.empty() && am->mName.length) ch.name = am->mName.C_Str();
      withTangents = withTangents || (am && am->mTangents);
      if (am && am->mNormals && am->mNumVertices == n)
        for (uint32_t i = 0; i < n && base + i < normals.size(); ++i) {
          const aiVector3D& v = am->mNormals[i];
          if (std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))
            normals[base + i] = Point3{v.x, v.y, v.z};
        }
      if (am && ch.value == 0.0f && std::isfinite(am->mWeight)) ch.value = am->mWeight * 100.0f;
      if (am && am->mVertices && am->mNumVertices == n)
        for (uint32_t i = 0; i < n && base + i < ch.points.size(); ++i) {
          const aiVector3D& p = am->mVertices[i];
          if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
          ch.points[base + i] = Point3{p.x, p.y, p.z} * scale;
          ch.deltas[base + i] = ch.points[base + i] - baseMesh.verts[base + i];
        }
      base += n;
    }
    // The target node's mesh shows the file's normals; tangents have nowhere to go.
    if (withTangents) warnings.Tally("morph targets' tangents not imported", 1, cm.node->GetName());
    if (ch.name.empty()) ch.name = "Target " + std::to_string(k + 1);
    // The target is a mesh node of its own, as the Morpher picks targets from the scene.
    host::Mesh shape = baseMesh;
    shape.verts = ch.points;
    TargetNormals(shape, normals);
    SceneNode& target = scene.CreateNode(cm.node->GetName() + " " + ch.name);
    target.SetTransform(cm.node->GetNodeTM(0));
    target.SetObject(std::make_shared<MeshObject>(std::move(shape)));
    target.SetMtl(cm.node->MtlPtr());
    ch.target = &target;
    morph->channels.push_back(std::move(ch));
  }
  return morph;
}

}  // namespace

bool HasCharacterData(const aiScene& scene, const std::vector<unsigned>& parts) {
  for (unsigned idx : parts)
    if (scene.mMeshes[idx]->mNumBones || scene.mMeshes[idx]->mNumAnimMeshes) return true;
  return false;
}

CharacterCounts BuildCharacters(const aiScene& ai, const std::vector<CharacterMesh>& meshes, Scene& scene,
                                const Frame& frame, WarningSink& warnings) {
  const float scale = frame.Scale();
  CharacterCounts counts;
  std::set<SceneNode*> bones;
  std::vector<std::pair<SceneNode*, std::shared_ptr<SkinModifierImpl>>> skins;
  for (const CharacterMesh& cm : meshes)
    if (auto skin = BuildSkin(ai, cm, scene, frame, bones, warnings))
      skins.emplace_back(cm.node, std::move(skin));

  if (!bones.empty()) {
    for (SceneNode* b : bones) MakeBone(*b);
    // One skeleton root for all bones: the nodes of the topmost bones move under it, keeping
    // their world transforms, and skinned meshes move out of the skeleton, where the
    // character exporter would not look for them.
    SceneNode& root = scene.CreateNode("Skeleton");
    root.SetObject(std::make_shared<SkeletonRootObject>());
    std::vector<SceneNode*> top;
    for (SceneNode* b : bones) {
      bool under = false;
      for (const SceneNode* p = b->Parent(); p && !under; p = p->Parent())
        under = bones.count(const_cast<SceneNode*>(p)) > 0;
      if (!under) top.push_back(b);
    }
    // In scene order, so that the skeleton keeps the file's order of its limbs.
    std::vector<SceneNode*> ordered;
    for (SceneNode* n : scene.AllNodes())
      if (std::find(top.begin(), top.end(), n) != top.end()) ordered.push_back(n);
    // Where the topmost bones share a parent (files often turn or group a skeleton), the
    // root takes that parent's place in the world: the bones keep their local transforms,
    // and with them the keys their file gives relative to that parent.
    const SceneNode* shared = ordered.empty() ? nullptr : ordered.front()->Parent();
    for (const SceneNode* b : ordered)
      if (b->Parent() != shared) shared = nullptr;
    if (shared && !shared->IsRootNode()) root.SetTransform(shared->StaticTransform());
    for (SceneNode* b : ordered) b->Reparent(&root);
    counts.bones = static_cast<uint32_t>(bones.size());
  }
  // Characters are exported from the top of the scene: the character exporter stops at
  // helpers (the groups files are full of) and does not look inside the skeleton.
  for (const CharacterMesh& cm : meshes)
    if (cm.node->Parent() && !cm.node->Parent()->IsRootNode()) cm.node->Reparent(nullptr);
  // The Morpher goes below the skin: shapes first, then the bones move the result.
  for (const CharacterMesh& cm : meshes)
    if (auto morph = BuildMorpher(ai, cm, scene, scale, warnings)) {
      counts.morphChannels += static_cast<uint32_t>(morph->channels.size());
      cm.node->AddModifier(morph);
    }
  for (auto& [node, skin] : skins) {
    node->AddModifier(skin);
    ++counts.skins;
  }
  return counts;
}

}  // namespace vorlan::workbench::interchange
