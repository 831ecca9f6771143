// A real character: CesiumMan's skin (19 joints, up to four weights a vertex) read with
// Assimp, saved to a .skd file and applied to copies of its mesh.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <filesystem>
#include <map>
#include <random>

#include "skintools/skin_actions.h"
#include "skintools/skin_host.h"
#include "transfer_reference.h"
#include "workbench/character.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::skintools {
namespace {

namespace fs = std::filesystem;
using workbench::SceneNode;
using workbench::SkinModifierImpl;
using workbench::SkinWeight;

struct Character {
  host::Mesh mesh;
  // Per vertex: joint name and weight, as the file gives them.
  std::vector<std::vector<std::pair<std::string, float>>> weights;
  std::vector<std::string> joints;
};

Character ReadCesiumMan() {
  Character c;
  Assimp::Importer importer;
  const aiScene* s = importer.ReadFile(std::string(VORLAN_ASSETS_DIR) + "/gltf/CesiumMan/CesiumMan.glb",
                                       aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
  if (!s || s->mNumMeshes == 0) return c;
  const aiMesh* m = s->mMeshes[0];
  for (unsigned i = 0; i < m->mNumVertices; ++i)
    c.mesh.verts.push_back({m->mVertices[i].x, m->mVertices[i].y, m->mVertices[i].z});
  for (unsigned f = 0; f < m->mNumFaces; ++f)
    if (m->mFaces[f].mNumIndices == 3)
      c.mesh.faces.push_back(
          {.v = {m->mFaces[f].mIndices[0], m->mFaces[f].mIndices[1], m->mFaces[f].mIndices[2]},
           .smGroup = 1});
  c.weights.resize(m->mNumVertices);
  for (unsigned b = 0; b < m->mNumBones; ++b) {
    const aiBone* bone = m->mBones[b];
    c.joints.push_back(bone->mName.C_Str());
    for (unsigned k = 0; k < bone->mNumWeights; ++k)
      c.weights[bone->mWeights[k].mVertexId].emplace_back(bone->mName.C_Str(), bone->mWeights[k].mWeight);
  }
  return c;
}

class CesiumMan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { character_ = new Character(ReadCesiumMan()); }
  static void TearDownTestSuite() { delete character_; }

  void SetUp() override {
    ASSERT_GT(character_->mesh.verts.size(), 1000u);
    dir_ = fs::path(::testing::TempDir()) / ("cesium_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    wb_.SetPlugCfgDir((dir_ / "cfg").string());
    SceneNode& top = scene_.CreateNode("Skeleton");
    top.SetObject(std::make_shared<workbench::SkeletonRootObject>());
    for (const std::string& j : character_->joints) {
      SceneNode& n = scene_.CreateNode(j, &top);
      n.SetObject(workbench::HelperObject::Point());
      n.TMControl()->SetClassId(kBoneControlClassId);
      bones_[j] = &n;
    }
    source_ = &MeshNode("CesiumMan", [](host::Point3 p) { return p; });
    for (std::size_t v = 0; v < character_->weights.size(); ++v) {
      std::vector<SkinWeight> w;
      for (auto& [name, weight] : character_->weights[v]) w.push_back({bones_[name], weight});
      sourceSkin_->SetBlended(v, w);
    }
    ASSERT_TRUE(SaveSkd(wb_, *source_, File(), false));
  }
  void TearDown() override { fs::remove_all(dir_); }

  template <class Move>
  SceneNode& MeshNode(const std::string& name, Move move) {
    host::Mesh m = character_->mesh;
    for (host::Point3& p : m.verts) p = move(p);
    SceneNode& n = scene_.CreateNode(name);
    n.SetObject(std::make_shared<workbench::MeshObject>(m));
    auto skin = std::make_shared<SkinModifierImpl>();
    n.AddModifier(skin);
    lastSkin_ = skin.get();
    if (!sourceSkin_) sourceSkin_ = skin.get();
    return n;
  }
  std::string File() const { return (dir_ / "cesium.skd").string(); }
  // The saved weights of vertex v, merged by bone as the file keeps them.
  std::map<std::string, float> Saved(std::size_t v) const {
    std::map<std::string, float> out;
    for (auto& [name, w] : character_->weights[v]) out[name] += w;
    return out;
  }
  static std::map<std::string, float> Got(const workbench::SkinVertex& v) {
    std::map<std::string, float> out;
    for (const SkinWeight& w : v.bones) out[w.bone->GetName()] += w.weight;
    return out;
  }

  static Character* character_;
  fs::path dir_;
  workbench::Scene scene_;
  workbench::ScriptedUI ui_;
  workbench::Workbench wb_{scene_, ui_};
  std::map<std::string, SceneNode*> bones_;
  SceneNode* source_ = nullptr;
  SkinModifierImpl* sourceSkin_ = nullptr;
  SkinModifierImpl* lastSkin_ = nullptr;
};

Character* CesiumMan::character_ = nullptr;

std::map<std::string, float> WithoutTiny(std::map<std::string, float> w) {
  std::erase_if(w, [](const auto& e) { return e.second <= 0.0001f; });
  return w;
}

TEST_F(CesiumMan, ExactMatchOnACopyMovedByLessThanTheTolerance) {
  SceneNode& copy =
      MeshNode("Copy", [](host::Point3 p) { return p + host::Point3(0.0025f, -0.002f, 0.001f); });
  ASSERT_EQ(ApplyToNodes(wb_, File(), {&copy}, {.flags = kApplyExact}), 1);
  EXPECT_TRUE(ui_.messages.empty());
  for (std::size_t v = 0; v < character_->weights.size(); ++v) {
    ASSERT_EQ(Got(lastSkin_->vertices[v]), WithoutTiny(Saved(v))) << v;
    ASSERT_TRUE(lastSkin_->vertices[v].locked);
  }
}

TEST_F(CesiumMan, NearestAndInterpolationOnAJitteredCopy) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> j(-0.004f, 0.004f);
  std::vector<host::Point3> moved;
  SceneNode& nearest = MeshNode("Nearest", [&](host::Point3 p) {
    moved.push_back(p + host::Point3(j(rng), j(rng), j(rng)));
    return moved.back();
  });
  SkinModifierImpl* nearestSkin = lastSkin_;
  std::size_t i = 0;
  SceneNode& interpolated = MeshNode("Interpolated", [&](host::Point3) { return moved[i++]; });
  SkinModifierImpl* interpolatedSkin = lastSkin_;
  ASSERT_EQ(ApplyToNodes(wb_, File(), {&nearest}, {.flags = kApplyExact | kApplyNearest}), 1);
  ASSERT_EQ(ApplyToNodes(wb_, File(), {&interpolated}, {.flags = kApplyInterpolate, .threshold = 1.5f}), 1);
  EXPECT_TRUE(ui_.messages.empty());

  std::size_t sameAsOwn = 0;
  for (std::size_t v = 0; v < moved.size(); ++v) {
    // Nearest: the weights of the saved vertex the plain scan finds, unchanged.
    auto got = Got(nearestSkin->vertices[v]);
    ScanHit hit = reference::ScanNearest(moved[v], character_->mesh.verts);
    ASSERT_EQ(got, WithoutTiny(Saved(static_cast<std::size_t>(hit.index)))) << v;
    sameAsOwn += got == WithoutTiny(Saved(v));
    // Interpolation: at most three bones summing to one, all of them bones the vertex's
    // saved neighbourhood uses.
    auto blended = Got(interpolatedSkin->vertices[v]);
    ASSERT_GE(blended.size(), 1u);
    ASSERT_LE(blended.size(), 3u);
    float total = 0;
    for (auto& [name, w] : blended) total += w;
    ASSERT_NEAR(total, 1.0f, 1e-4f) << v;
  }
  // The jitter is far below the spacing of most vertices: most find themselves.
  EXPECT_GT(sameAsOwn, moved.size() * 8 / 10);
}

}  // namespace
}  // namespace vorlan::skintools
