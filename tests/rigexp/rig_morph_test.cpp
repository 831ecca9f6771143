#include <gtest/gtest.h>

#include "rigexp/rig_host.h"
#include "rigexp/rig_mesh.h"
#include "support/bytes.h"
#include "zef/reader.h"

namespace vorlan::rigexp {
namespace {

using host::Point3;
using testing::RigHost;

RigPart PartOf(std::vector<uint32_t> hostVerts) {
  RigPart p;
  p.hostVerts = std::move(hostVerts);
  p.influences.resize(p.hostVerts.size());
  return p;
}

struct Morph : host::MorphModifier {
  std::vector<host::MorphChannel> channels;
  int NumChannels() const override { return static_cast<int>(channels.size()); }
  const host::MorphChannel* GetChannel(int i) const override { return &channels[static_cast<std::size_t>(i)]; }
  std::string GetName() const override { return "Morpher"; }
  const std::vector<uint8_t>* GetAppData(host::ClassId, host::SuperClassId, uint32_t) const override { return nullptr; }
  void SetAppData(host::ClassId, host::SuperClassId, uint32_t, std::vector<uint8_t>) override {}
  void RemoveAppData(host::ClassId, host::SuperClassId, uint32_t) override {}
};

TEST(MorphDeltas, OnlyChannelsWithPointsAndTargetCountAndAllOfThemAreStored) {
  workbench::Scene scene;
  auto& target = scene.CreateNode("Smile");
  Morph m;
  m.channels.push_back({.name = "no target", .points = {{}}, .deltas = {{1, 0, 0}, {1, 0, 0}}, .target = nullptr});
  m.channels.push_back({.name = "still", .points = {{}}, .deltas = {{0, 0, 0}, {0, 0, 0}}, .target = &target});
  m.channels.push_back({.name = "moves", .points = {{}}, .deltas = {{0, 0, 0}, {0, 0.5f, 0}}, .target = &target});
  m.channels.push_back({.name = "no points", .points = {}, .deltas = {{9, 9, 9}, {9, 9, 9}}, .target = &target});
  RigPart part = PartOf({1, 0});
  BuildMorphDeltas(m, "Face", part);
  ASSERT_EQ(part.morphTargets, 2u);
  // Part vertex 0 is host vertex 1: per vertex, per exported channel, times 100.
  EXPECT_EQ(part.morphDeltas,
            (std::vector<Point3>{{0, 0, 0}, {0, 50, 0}, {0, 0, 0}, {0, 0, 0}}));
}

TEST(MorphDeltas, ALengthOfExactlyOneThousandthDoesNotMoveThePartButIsKept) {
  workbench::Scene scene;
  auto& target = scene.CreateNode("T");
  // A delta whose length times 100 is exactly 0.001 in single precision.
  const float d = 0.001f / 100.0f;
  ASSERT_EQ(d * 100.0f, 0.001f);
  Morph m;
  m.channels.push_back({.name = "tiny", .points = {{}}, .deltas = {{d, 0, 0}, {0, 0, 0}}, .target = &target});
  RigPart still = PartOf({0, 1});
  BuildMorphDeltas(m, "Face", still);
  EXPECT_EQ(still.morphTargets, 0u);

  m.channels[0].deltas[1] = {0, 0.5f, 0};
  RigPart moving = PartOf({0, 1});
  BuildMorphDeltas(m, "Face", moving);
  ASSERT_EQ(moving.morphTargets, 1u);
  EXPECT_EQ(moving.morphDeltas[0].x, 0.001f);
}

TEST(MorphDeltas, EveryBlockOfAMovingPartCarriesItsVerticesDeltasAndTargetsStayOut) {
  RigHost host;
  auto& root = host.SkeletonRoot();
  auto& a = host.Bone("A", root, {0, 0, 1});
  host::Point3 pos{};
  workbench::SceneNode* joints[7];
  workbench::SceneNode* parent = &a;
  for (int j = 0; j < 7; ++j) parent = joints[j] = &host.Bone("J" + std::to_string(j), *parent, pos);
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  m.faces.push_back({.v = {0, 1, 2}});
  m.faces.push_back({.v = {2, 1, 3}});
  auto& face = host.scene.CreateNode("Face");
  face.SetObject(std::make_shared<workbench::MeshObject>(m));
  auto& smile = host.scene.CreateNode("Smile");
  smile.SetObject(std::make_shared<workbench::MeshObject>(m));
  auto skin = std::make_shared<workbench::SkinModifierImpl>();
  skin->SetBlended(0, {{joints[0], 0.5f}, {joints[1], 0.5f}});
  skin->SetBlended(1, {{joints[1], 0.5f}, {joints[2], 0.5f}});
  skin->SetBlended(2, {{joints[3], 0.5f}, {joints[4], 0.5f}});
  skin->SetBlended(3, {{joints[5], 1.0f}});
  auto morph = std::make_shared<workbench::MorpherImpl>();
  morph->channels.push_back(
      {.name = "smile", .points = m.verts, .deltas = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0.25f}, {0, 0, 1}}, .target = &smile});
  face.AddModifier(skin);
  face.AddModifier(morph);
  ASSERT_EQ(host.Export("morph.zef"), 1);

  auto bytes = host.Read("morph.zef");
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
  std::vector<std::string> names;
  int blocks = 0, deltas = 0;
  std::function<void(const zef::BlockInfo&)> walk = [&](const zef::BlockInfo& b) {
    if (b.id == 0x01) names.push_back(b.Find("name")->value);
    if (b.id == 0x31) ++blocks;
    if (b.id == 0x39) ++deltas;
    for (const auto& c : b.children) walk(c);
  };
  for (const auto& b : file.blocks) walk(b);
  EXPECT_EQ(names, (std::vector<std::string>{"Scene Root", "Face"}));  // the target is left out
  EXPECT_EQ(blocks, 2);
  EXPECT_EQ(deltas, 2);
  EXPECT_TRUE(IsExcluded(smile));  // the mark stays in the scene
  EXPECT_NE(host.Log().find("trg: 0, delta 2 (2): 0.0000, 0.0000, 25.0000\n"), std::string::npos);
}

}  // namespace
}  // namespace vorlan::rigexp
