#include <gtest/gtest.h>

#include "rigexp/rig_host.h"
#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/reader.h"

namespace vorlan::rigexp {
namespace {

using host::Matrix3;
using host::Point3;
using support::ByteWriter;
using testing::RigHost;

// The bytes in front of the skeleton object, field by field.
std::vector<uint8_t> Prefix(uint32_t nodes, uint32_t faces, uint32_t rootSize) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.U32(0x0046455A);  // "ZEF"
  w.U32(0x30303130);  // "0100"
  w.U32(100);         // host version
  w.U32(nodes);
  w.Zeros(12288);  // no viewport: a black thumbnail
  w.U32(0x70);
  w.U32(85);
  w.U32(16);  // "BUILDBOX\artist" and its zero
  w.U32(1);
  w.U32(faces);
  w.FixedString("BUILDBOX\\artist", 64);
  w.U8(0);
  w.U32(0x01);
  w.U32(rootSize);
  w.U32(1);
  w.U32(11);
  w.CString("Scene Root");
  w.U32(0x1000);
  w.U32(12);
  w.U32(0);
  return out;
}

void Identity(ByteWriter& w, Point3 translation = {}) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) w.F32(r == 3 && c < 3 ? translation[c] : (r == c ? 1.0f : 0.0f));
}

void BoneHead(ByteWriter& w, const std::string& name, uint32_t size, uint32_t children, uint32_t lists, Point3 offset,
              std::array<uint32_t, 3> a, std::array<uint32_t, 3> b, Point3 position) {
  w.U32(0x52);
  w.U32(size);
  w.U32(children);
  w.U32(static_cast<uint32_t>(name.size() + 1));
  w.CString(name);
  w.U32(lists);
  for (int i = 0; i < 3; ++i) w.F32(offset[i]);
  for (uint32_t v : a) w.U32(v);
  for (uint32_t v : b) w.U32(v);
  Identity(w);
  Identity(w, position);
}

TEST(RigExport, SkeletonRecordsByHand) {
  RigHost host;
  auto& root = host.SkeletonRoot();
  auto& pelvis = host.Bone("Bip01 Pelvis", root, {0, 0, 10});
  host.Bone("Bip01 Spine", pelvis, {0, 0, 15});
  auto& nub = host.Bone("!Nub", pelvis, {1, 0, 10});
  host.scene.CreateNode("x", &nub);
  ASSERT_EQ(host.Export("skel.zef"), 1);

  // Spine 184 + 12, !Nub 184 + 5, Pelvis 184 + 13 + both; skeleton data 16 + 6 + 8 + Pelvis.
  const uint32_t spine = 196, bang = 189, pelvisSize = 197 + spine + bang;
  const uint32_t data = 30 + pelvisSize, object = 28 + data;
  std::vector<uint8_t> want = Prefix(6, 0, 27 + 12 + object);
  ByteWriter w(want);
  w.U32(0x50);
  w.U32(object);
  w.U32(0);  // the skeleton's own top-level node does not count
  w.U32(12);
  w.CString("SkeletonObj");
  w.U32(0x51);
  w.U32(data);
  w.U32(1);
  w.U32(6);
  w.CString("Bip01");
  w.F32(1.0f);
  w.U32(6);  // the point counter after the pelvis's two triples
  BoneHead(w, "Bip01 Pelvis", pelvisSize, 2, 0, {0, 0, 10}, {1, 2, 3}, {5, 6, 4}, {0, 0, 10});
  BoneHead(w, "Bip01 Spine", spine, 0, 0, {0, 0, 5}, {}, {}, {0, 0, 15});
  // A "!" bone keeps both triples zero even with children; its child without a record is left out.
  BoneHead(w, "!Nub", bang, 1, 0, {1, 0, 0}, {}, {}, {1, 0, 10});
  EXPECT_EQ(host.Read("skel.zef"), want);
}

TEST(RigExport, TwistNubUnderANonBoneRestartsThePosition) {
  RigHost host;
  auto& root = host.SkeletonRoot();
  auto& pelvis = host.Bone("Bip01 Pelvis", root, {0, 0, 10});
  auto& helper = host.scene.CreateNode("Helper", &pelvis);
  helper.SetTransform(Matrix3::Translation({0, 0, 20}));
  host.Bone("LForeTwist1Nub", helper, {0, 0, 22}, host::kPRSControlClassId);
  host.Bone("Step", root, {5, 5, 0}, host::kFootstepControlClassId);
  ASSERT_EQ(host.Export("nub.zef"), 1);

  zef::ZefFile file;
  auto bytes = host.Read("nub.zef");
  ASSERT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
  EXPECT_TRUE(zef::ValidateZef(bytes, file).empty());
  // The nub hangs inside the pelvis record; its offset is from the helper and its position
  // starts afresh there. The footstep gets no record.
  const size_t at = 12304 + 85 + 27 + 12 + 28 + 30 + 197;
  ASSERT_GT(bytes.size(), at + 120 + 15 + 12);
  EXPECT_EQ(support::LoadU32(&bytes[at]), 0x52u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[at + 16])), "LForeTwist1Nub");
  EXPECT_EQ(support::LoadF32(&bytes[at + 20 + 15 + 8]), 2.0f);                 // offset z
  EXPECT_EQ(support::LoadF32(&bytes[at + 120 + 15 + 48 + 8]), 2.0f);           // position z
  EXPECT_EQ(bytes.size(), at + 184 + 15);
}

TEST(RigExport, NoSkeletonWritesNoFile) {
  RigHost host;
  host.scene.CreateNode("Box").SetObject(std::make_shared<workbench::MeshObject>());
  EXPECT_EQ(host.Export("none.zef"), 0);
  EXPECT_FALSE(support::FileExists(host.Path("none.zef")));
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, "Skeleton not found!");
  EXPECT_EQ(host.ui.messages[0].caption, "Error");
  // At the indentation of the skeleton object's contents.
  EXPECT_NE(host.Log().find("Error:\t  Skeleton not found!\n"), std::string::npos) << host.Log();
}

TEST(RigExport, CancelInTheBonePassWritesNothingAndSucceeds) {
  RigHost host;
  auto& root = host.SkeletonRoot();
  host.Bone("Bip01 Pelvis", root, {0, 0, 10});
  host.cancelAfter = 1;  // the mesh pass polls once for the skeleton's node
  host.EnableAutoBackup(true);
  EXPECT_EQ(host.Export("cancel.zef"), 1);
  EXPECT_FALSE(support::FileExists(host.Path("cancel.zef")));
  EXPECT_TRUE(host.AutoBackupEnabled());
  EXPECT_NE(host.Log().find("Warning:\tExport Cancelled."), std::string::npos);
}

}  // namespace
}  // namespace vorlan::rigexp
