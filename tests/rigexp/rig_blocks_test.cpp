#include <gtest/gtest.h>

#include "host/modifier.h"
#include "rigexp/rig_host.h"
#include "support/bytes.h"
#include "zef/reader.h"
#include "zef/skeleton_check.h"

namespace vorlan::rigexp {
namespace {

using host::Point3;
using support::ByteWriter;
using testing::RigHost;
using workbench::SkinWeight;

// Two coplanar triangles sharing an edge.
host::Mesh Quad() {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  m.faces.push_back({.v = {0, 1, 2}});
  m.faces.push_back({.v = {2, 1, 3}});
  return m;
}

// A chain Bip01 > J0 > J1 > ... > J6: the record of J(k+1) carries the weights of J(k).
struct Chain {
  RigHost host;
  workbench::SceneNode* joints[7] = {};
  workbench::SceneNode& mesh = host.scene.CreateNode("Body");
  std::shared_ptr<workbench::SkinModifierImpl> skin = std::make_shared<workbench::SkinModifierImpl>();

  Chain() {
    workbench::SceneNode* parent = &host.SkeletonRoot();
    for (int j = 0; j < 7; ++j) parent = joints[j] = &host.Bone("J" + std::to_string(j), *parent, {0, 0, float(j + 1)});
    mesh.SetObject(std::make_shared<workbench::MeshObject>(Quad()));
    mesh.AddModifier(skin);
  }
};

void Vertex(ByteWriter& w, Point3 p, std::initializer_list<float> weights) {
  for (int a = 0; a < 3; ++a) w.F32(p[a]);
  for (float f : weights) w.F32(f);
  w.F32(0);
  w.F32(0);
  w.F32(1);
}

TEST(RigBlocks, SixBonesSplitIntoTwoBlocksByHand) {
  Chain c;
  c.skin->SetRigid(0, c.joints[0]);
  c.skin->SetBlended(1, {{c.joints[1], 0.5f}, {c.joints[2], 0.5f}});
  c.skin->SetRigid(2, c.joints[3]);
  c.skin->SetBlended(3, {{c.joints[4], 0.5f}, {c.joints[5], 0.5f}});
  ASSERT_EQ(c.host.Export("split.zef"), 1);
  auto bytes = c.host.Read("split.zef");

  std::vector<uint8_t> want;
  ByteWriter w(want);
  w.U32(0x01);
  w.U32(578);
  w.U32(0);
  w.U32(5);
  w.CString("Body");
  w.U32(0x30);
  w.U32(557);  // 12 + Transform 108 + UserProps 13 + blocks 204 and 220
  w.U32(2);
  w.U32(0x35);
  w.U32(108);
  w.Zeros(24);  // position and angles
  for (int i = 0; i < 3; ++i) w.F32(1);
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) w.F32(r == k ? 1.0f : 0.0f);
  w.U32(0x34);
  w.U32(13);
  w.U32(1);
  w.U8(0);
  // Block 0: the first triangle, bones 1..4 (the records of J1..J4 carry J0..J3).
  w.U32(0x31);
  w.U32(204);
  w.I32(-1);
  w.U32(0x32);
  w.U32(140);
  w.U32(3);
  w.U32(40);
  w.U32(0x1C);
  Vertex(w, {0, 0, 0}, {1, 0, 0, 0});
  Vertex(w, {1, 0, 0}, {0, 0.5f, 0.5f, 0});
  Vertex(w, {0, 1, 0}, {0, 0, 0, 1});
  w.U32(0x33);
  w.U32(24);
  w.U32(1);
  for (uint32_t i : {0, 1, 2}) w.U32(i);
  w.U32(0x3B);
  w.U32(28);
  w.U32(4);
  for (uint32_t b : {1, 2, 3, 4}) w.U32(b);
  // Block 1: the second triangle would bring bones 5 and 6; its shared vertices come again.
  w.U32(0x31);
  w.U32(220);
  w.I32(-1);
  w.U32(0x32);
  w.U32(152);
  w.U32(3);
  w.U32(44);
  w.U32(0x1E);
  Vertex(w, {0, 1, 0}, {1, 0, 0, 0, 0});
  Vertex(w, {1, 0, 0}, {0, 0.5f, 0.5f, 0, 0});
  Vertex(w, {1, 1, 0}, {0, 0, 0, 0.5f, 0.5f});
  w.U32(0x33);
  w.U32(24);
  w.U32(1);
  for (uint32_t i : {0, 1, 2}) w.U32(i);
  w.U32(0x3B);
  w.U32(32);
  w.U32(5);
  for (uint32_t b : {4, 2, 3, 5, 6}) w.U32(b);

  const std::size_t meshAt = 12304 + 85 + 27 + 12 + 28;
  ASSERT_GE(bytes.size(), meshAt + want.size());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + meshAt, bytes.begin() + meshAt + want.size()), want);

  // J2's record (bone 2) lists the shared vertex once per block, with bit 30 on the block index.
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
  std::vector<uint8_t> lists;
  ByteWriter l(lists);
  for (uint32_t block : {0u, 1u}) {
    l.U32(0);
    l.U32(block | 0x40000000);
    l.U32(1);
    l.U32(1);
    l.F32(0.5f);
  }
  // J0's record has no lists, J1's one list of one vertex.
  const std::size_t j2 = meshAt + 578 + 30 + 187 + 187 + 20;
  EXPECT_EQ(support::LoadU32(&bytes[j2 + 16 + 3]), 2u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + j2 + 187, bytes.begin() + j2 + 187 + lists.size()), lists);
  ASSERT_EQ(c.host.lastCuts.size(), 1u);
  EXPECT_EQ(c.host.lastCuts[0].reducedFaces, 0u);
}

TEST(RigBlocks, SiblingBonesShareTheirParentsWeightsOnce) {
  RigHost host;
  auto& root = host.SkeletonRoot();
  auto& pelvis = host.Bone("Pelvis", root, {0, 0, 1});
  host.Bone("LThigh", pelvis, {1, 0, 0});
  host.Bone("RThigh", pelvis, {-1, 0, 0});
  auto& mesh = host.scene.CreateNode("Body");
  mesh.SetObject(std::make_shared<workbench::MeshObject>(Quad()));
  auto skin = std::make_shared<workbench::SkinModifierImpl>();
  for (std::size_t v = 0; v < 4; ++v) skin->SetRigid(v, &pelvis);
  mesh.AddModifier(skin);
  ASSERT_EQ(host.Export("siblings.zef"), 1);
  auto bytes = host.Read("siblings.zef");
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
  // Bone list: Pelvis 0, LThigh 1, RThigh 2. The pelvis's weights go to LThigh alone.
  std::string text = host.Log();
  EXPECT_NE(text.find("Point-lists for \"Body\": 1\n"), std::string::npos);
  const zef::BlockInfo* skel = nullptr;
  for (const auto& b : file.blocks[1].children)
    if (b.id == 0x50) skel = &b;
  ASSERT_NE(skel, nullptr);
  const zef::BlockInfo& data = skel->children.back();
  ASSERT_EQ(data.id, 0x51u);
  const zef::BlockInfo& pelvisRec = data.children.at(0);
  EXPECT_EQ(pelvisRec.Find("point lists")->value, "0");
  EXPECT_EQ(pelvisRec.children.at(0).Find("point lists")->value, "1");
  EXPECT_EQ(pelvisRec.children.at(1).Find("point lists")->value, "0");
}

TEST(RigBlocks, AVertexWithoutInfluencesGetsZeroWeights) {
  Chain c;
  c.skin->SetRigid(0, c.joints[0]);
  ASSERT_EQ(c.host.Export("bare.zef"), 1);
  auto bytes = c.host.Read("bare.zef");
  const std::size_t vertsAt = 12304 + 85 + 27 + 12 + 28 + 16 + 5 + 12 + 108 + 13 + 12;
  EXPECT_EQ(support::LoadU32(&bytes[vertsAt + 16]), 0x16u);  // one bone
  EXPECT_EQ(support::LoadU32(&bytes[vertsAt + 12]), 28u);
  EXPECT_EQ(support::LoadF32(&bytes[vertsAt + 20 + 12]), 1.0f);
  EXPECT_EQ(support::LoadF32(&bytes[vertsAt + 20 + 28 + 12]), 0.0f);
}

TEST(RigBlocks, AFaceOfMoreThanFiveBonesIsReducedAndReported) {
  Chain c;
  c.skin->SetBlended(0, {{c.joints[0], 0.5f}, {c.joints[1], 0.3f}, {c.joints[2], 0.2f}});
  c.skin->SetBlended(1, {{c.joints[3], 0.4f}, {c.joints[4], 0.4f}, {c.joints[5], 0.2f}});
  c.skin->SetBlended(2, {{c.joints[1], 0.5f}, {c.joints[6], 0.3f}, {c.joints[5], 0.2f}});
  ASSERT_EQ(c.host.Export("seven.zef"), 1);
  ASSERT_EQ(c.host.lastCuts.size(), 1u);
  EXPECT_EQ(c.host.lastCuts[0].reducedFaces, 1u);
  // J6 has no child record to carry its weights, so the face has six bones: 1 0.5, 2 0.8,
  // 3 0.2, 4 0.4, 5 0.4, 6 0.4; bone 3 (J2, 0.2) is cut.
  EXPECT_FLOAT_EQ(c.host.lastCuts[0].largestCut, 0.2f);
  EXPECT_NE(c.host.Log().find("Mesh \"Body\": 1 of 2 faces reduced to five bones, largest weight cut 0.2000"),
            std::string::npos);
  auto bytes = c.host.Read("seven.zef");
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
}

TEST(RigBlocks, SelectedOnlyWithNothingSelectedStillWritesTheSkeleton) {
  Chain c;
  c.skin->SetRigid(0, c.joints[0]);
  ASSERT_EQ(c.host.Export("sel.zef", 1), 1);
  auto bytes = c.host.Read("sel.zef");
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
  const std::size_t skelAt = 12304 + 85 + 27 + 12;
  EXPECT_EQ(support::LoadU32(&bytes[skelAt]), 0x50u);
  EXPECT_EQ(support::LoadU32(&bytes[skelAt + 8]), 0u);
  EXPECT_EQ(support::LoadU32(&bytes[skelAt + 28]), 0x51u);
}

TEST(RigBlocks, BoneWithLinkedObjectsGetsTheSizeOfItsNestedRecords) {
  Chain c;
  // An object linked to a bone counts as a child of the bone's node but gets no record.
  auto& prop = c.host.scene.CreateNode("Sword", c.joints[2]);
  prop.SetObject(std::make_shared<workbench::MeshObject>(Quad()));
  c.skin->SetRigid(0, c.joints[1]);
  ASSERT_EQ(c.host.Export("linked.zef"), 1);
  auto bytes = c.host.Read("linked.zef");
  zef::ZefFile file;
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty()) << zef::ValidateZef(bytes, file).front();
  // The root node runs exactly to the end of the file.
  EXPECT_EQ(file.blocks[1].size + file.blocks[1].offset, bytes.size());
}

}  // namespace
}  // namespace vorlan::rigexp
