// Real characters through the interchange and the character exporter.
#include <gtest/gtest.h>

#include <functional>

#include "interchange/import.h"
#include "rigexp/rig_host.h"
#include "zef/inspect.h"
#include "zef/reader.h"

namespace vorlan::rigexp {
namespace {

using testing::RigHost;

std::string Asset(const std::string& relative) { return std::string(VORLAN_ASSETS_DIR) + "/" + relative; }

void Walk(const zef::BlockInfo& b, const std::function<void(const zef::BlockInfo&, const zef::BlockInfo*)>& f,
          const zef::BlockInfo* parent = nullptr) {
  f(b, parent);
  for (const auto& c : b.children) Walk(c, f, &b);
}

TEST(RigCorpus, CharactersExportWithinTheFiveBoneRule) {
  for (const char* file : {"gltf/RiggedSimple/RiggedSimple.glb", "gltf/CesiumMan/CesiumMan.glb", "gltf/Fox/Fox.glb"}) {
    SCOPED_TRACE(file);
    RigHost host;
    auto imported = workbench::ImportInterchange(Asset(file), host.scene, {});
    ASSERT_TRUE(imported.ok) << imported.error;
    ASSERT_EQ(host.Export("character.zef"), 1);
    for (const auto& m : host.ui.messages) ADD_FAILURE() << m.text;
    auto bytes = host.Read("character.zef");
    zef::ZefSummary summary = zef::SummarizeZef(bytes);
    EXPECT_EQ(summary.result, zef::ZefResult::kSuccess);
    EXPECT_TRUE(summary.problems.empty()) << summary.problems.front();
    EXPECT_EQ(summary.triangles, imported.counts.triangles);
    EXPECT_EQ(summary.infoTriangles, imported.counts.triangles);
    zef::ZefFile parsed;
    zef::ParseZef(bytes, parsed);
    int bones = 0, lists = 0;
    for (const auto& b : parsed.blocks)
      Walk(b, [&](const zef::BlockInfo& x, const zef::BlockInfo*) {
        bones += x.id == 0x52;
        if (x.id == 0x52) lists += std::stoi(x.Find("point lists")->value);
      });
    EXPECT_GE(bones, 2);
    EXPECT_GT(lists, 0);
    ASSERT_FALSE(host.lastCuts.empty());
  }
}

TEST(RigCorpus, ACharacterWithSkinAndMorphTargetsCarriesDeltasInEveryBlockOfItsMovingPart) {
  RigHost host;
  ASSERT_TRUE(workbench::ImportInterchange(Asset("gltf/CesiumMan/CesiumMan.glb"), host.scene, {}).ok);
  workbench::SceneNode* body = nullptr;
  for (auto* n : host.scene.AllNodes())
    if (workbench::FindSkin(*n)) body = n;
  ASSERT_NE(body, nullptr);
  const auto& mesh = dynamic_cast<const workbench::MeshObject&>(*body->ObjectPtr()).mesh;
  // Two targets: one lifts every vertex, one moves nothing.
  auto morph = std::make_shared<workbench::MorpherImpl>();
  auto& lift = host.scene.CreateNode("Lift");
  auto& still = host.scene.CreateNode("Still");
  host::MorphChannel up{.name = "lift", .points = mesh.verts, .deltas = {}, .target = &lift};
  up.deltas.assign(mesh.verts.size(), {0, 0, 0.01f});
  host::MorphChannel none{.name = "still", .points = mesh.verts, .deltas = {}, .target = &still};
  none.deltas.assign(mesh.verts.size(), {});
  morph->channels = {up, none};
  // The exporter finds the Morpher wherever it sits on the stack.
  body->AddModifier(morph);
  ASSERT_EQ(host.Export("morphing.zef"), 1);

  auto bytes = host.Read("morphing.zef");
  zef::ZefFile parsed;
  ASSERT_EQ(zef::ParseZef(bytes, parsed), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, parsed).empty());
  int blocks = 0, withDeltas = 0;
  for (const auto& b : parsed.blocks)
    Walk(b, [&](const zef::BlockInfo& x, const zef::BlockInfo*) {
      if (x.id != 0x31) return;
      ++blocks;
      for (const auto& c : x.children)
        if (c.id == 0x39) {
          ++withDeltas;
          EXPECT_EQ(c.Find("targets")->value, "2");
        }
    });
  EXPECT_GT(blocks, 1);
  EXPECT_EQ(withDeltas, blocks);
  // Neither target node is in the file.
  for (const auto& name : zef::SummarizeZef(bytes).nodeNames) {
    EXPECT_NE(name, "Lift");
    EXPECT_NE(name, "Still");
  }
}

}  // namespace
}  // namespace vorlan::rigexp
