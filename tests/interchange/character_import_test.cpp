// Characters from interchange files: skeletons, skins and morph targets.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <cmath>

#include "interchange/import.h"
#include "interchange/test_files.h"
#include "workbench/character.h"

namespace vorlan::testing {
namespace {

using workbench::Scene;
using workbench::SceneNode;

bool IsBone(const SceneNode& n) {
  const host::Control* c = n.GetTMController();
  return c && c->GetClassId() == host::kBipedSlaveControlClassId;
}

bool Below(const SceneNode& n, const SceneNode& ancestor) {
  for (const SceneNode* p = n.Parent(); p; p = p->Parent())
    if (p == &ancestor) return true;
  return false;
}

unsigned AssimpBones(const std::string& path) {
  Assimp::Importer importer;
  const aiScene* s = importer.ReadFile(path, aiProcess_Triangulate);
  std::set<std::string> names;
  for (unsigned m = 0; s && m < s->mNumMeshes; ++m)
    for (unsigned b = 0; b < s->mMeshes[m]->mNumBones; ++b)
      names.insert(s->mMeshes[m]->mBones[b]->mName.C_Str());
  return static_cast<unsigned>(names.size());
}

TEST(CharacterImport, SkinnedCorpusFilesBecomeASkeletonAndSkins) {
  for (const char* file : {"gltf/RiggedSimple/RiggedSimple.glb", "gltf/CesiumMan/CesiumMan.glb",
                           "gltf/Fox/Fox.glb", "dae/CesiumMan/CesiumMan.dae", "fbx/huesitos.fbx"}) {
    SCOPED_TRACE(file);
    Scene scene;
    workbench::ImportResult r = workbench::ImportInterchange(AssetPath(file), scene, {});
    ASSERT_TRUE(r.ok) << r.error;
    SceneNode* root = nullptr;
    unsigned bones = 0, skins = 0;
    for (SceneNode* n : scene.AllNodes()) {
      if (workbench::IsSkeletonRoot(*n)) root = n;
      bones += IsBone(*n);
    }
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(bones, AssimpBones(AssetPath(file)));
    for (SceneNode* n : scene.AllNodes()) {
      if (IsBone(*n)) {
        EXPECT_TRUE(Below(*n, *root)) << n->GetName();
      }
      const auto* skin = workbench::FindSkin(*n);
      if (!skin) continue;
      ++skins;
      // The exporter does not look inside the skeleton for meshes.
      EXPECT_FALSE(Below(*n, *root)) << n->GetName();
      const auto* mesh = dynamic_cast<const workbench::MeshObject*>(n->ObjectPtr().get());
      ASSERT_NE(mesh, nullptr);
      EXPECT_EQ(skin->vertices.size(), mesh->mesh.verts.size());
      std::size_t weighted = 0;
      for (const auto& v : skin->vertices) {
        if (v.bones.empty()) continue;
        ++weighted;
        float sum = 0;
        for (const auto& w : v.bones) {
          EXPECT_TRUE(IsBone(*static_cast<const SceneNode*>(w.bone)));
          sum += w.weight;
        }
        // Weights come as the file gives them, and some files' do not quite sum to one
        // (huesitos.fbx: 0.94 here and there); none may add up to more.
        EXPECT_GT(sum, 0.5f);
        EXPECT_LE(sum, 1.0f + 1e-3f);
      }
      EXPECT_GT(weighted, skin->vertices.size() / 2);
    }
    EXPECT_GE(skins, 1u);
  }
}

TEST(CharacterImport, MorphTargetsBecomeMorpherChannelsWithTargetNodes) {
  struct Case {
    const char* file;
    int channels;
  };
  for (const Case& c : {Case{"gltf/AnimatedMorphCube/AnimatedMorphCube.glb", 2},
                        Case{"gltf/MorphPrimitivesTest/MorphPrimitivesTest.glb", 1}}) {
    SCOPED_TRACE(c.file);
    Scene scene;
    workbench::ImportResult r = workbench::ImportInterchange(AssetPath(c.file), scene, {});
    ASSERT_TRUE(r.ok) << r.error;
    const workbench::MorpherImpl* morph = nullptr;
    const SceneNode* base = nullptr;
    for (SceneNode* n : scene.AllNodes())
      if (auto* m = workbench::FindMorpher(*n)) morph = m, base = n;
    ASSERT_NE(morph, nullptr);
    ASSERT_EQ(morph->NumChannels(), c.channels);
    const auto* mesh = dynamic_cast<const workbench::MeshObject*>(base->ObjectPtr().get());
    for (const auto& ch : morph->channels) {
      EXPECT_FALSE(ch.name.empty());
      ASSERT_NE(ch.target, nullptr);
      EXPECT_EQ(ch.points.size(), mesh->mesh.verts.size());
      ASSERT_EQ(ch.deltas.size(), mesh->mesh.verts.size());
      float largest = 0;
      for (std::size_t v = 0; v < ch.deltas.size(); ++v) {
        largest = std::max(largest, host::Length(ch.deltas[v]));
        EXPECT_NEAR(host::Length(mesh->mesh.verts[v] + ch.deltas[v] - ch.points[v]), 0.0f, 1e-5f);
      }
      EXPECT_GT(largest, 0.01f);
      // The target node holds the target's shape.
      const auto* shape = dynamic_cast<const workbench::MeshObject*>(
          static_cast<const SceneNode*>(ch.target)->ObjectPtr().get());
      ASSERT_NE(shape, nullptr);
      EXPECT_EQ(shape->mesh.verts, ch.points);
    }
  }
}

TEST(CharacterImport, FilesWithoutSkinsGetNoSkeleton) {
  for (const char* file : {"gltf/BoxTextured/BoxTextured.glb", "dae/blender-cameras-lights/cameras.dae",
                           "dae/blender-cameras-lights/lights.dae"}) {
    SCOPED_TRACE(file);
    Scene scene;
    ASSERT_TRUE(workbench::ImportInterchange(AssetPath(file), scene, {}).ok);
    for (SceneNode* n : scene.AllNodes()) {
      EXPECT_FALSE(workbench::IsSkeletonRoot(*n)) << n->GetName();
      EXPECT_FALSE(IsBone(*n)) << n->GetName();
    }
  }
}

}  // namespace
}  // namespace vorlan::testing
