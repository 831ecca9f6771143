// Scene building: meshes with their materials, texture channels and instances, lights,
// cameras, dummies and engine helpers, and the blocks the importer skips.
#include <bit>
#include <map>

#include "import_fixture.h"
#include "zef/material_records.h"

namespace vorlan::testing {
namespace {

using host::Point3;

using SceneBuildTest = ImportFixture;

std::vector<uint8_t> StdRecordBytes(const std::string& name, uint32_t mask = 0,
                                    std::vector<zef::TextureEntry> textures = {}) {
  zef::StdRecord r;
  r.nameCode = zef::MakeCode4(name);
  r.mapMask = mask;
  r.textures = std::move(textures);
  std::vector<uint8_t> out;
  zef::EncodeRecord(r, out);
  return out;
}

std::vector<uint8_t> VexaMatRecordBytes(const std::string& name, uint32_t texTypes,
                                        std::vector<zef::TextureEntry> textures) {
  zef::VexaMatRecord r;
  r.name = name;
  r.texTypes = texTypes;
  r.textures = std::move(textures);
  std::vector<uint8_t> out;
  zef::EncodeRecord(r, out);
  return out;
}

TEST_F(SceneBuildTest, TwoGBlocksGiveAMultiMaterialFilledAtTheirMatListIndices) {
  ZefFileBuilder f;
  std::vector<std::vector<uint8_t>> records;
  for (const char* n : {"m0", "m1", "m2", "m3", "m4", "m5"}) records.push_back(StdRecordBytes(n));
  f.b.MatList(records);
  uint32_t n = f.b.BeginNode("Parts");
  uint32_t g = f.b.BeginGObj();
  f.b.GBlock(3, TriangleCorners());
  f.b.GBlock(5, TriangleCorners());
  f.b.EndGObj(g, 2);
  f.b.EndNode(n, 0);
  ASSERT_EQ(Import(f.Finish(1)), 1);

  workbench::SceneNode* node = Find("Parts");
  ASSERT_NE(node, nullptr);
  host::Mtl* mtl = node->GetMtl();
  ASSERT_NE(mtl, nullptr);
  EXPECT_EQ(mtl->GetClassId(), host::kMultiMtlClassId);
  ASSERT_GE(mtl->NumSubMtls(), 6);
  EXPECT_EQ(mtl->GetSubMtl(3)->GetName(), "m3");
  EXPECT_EQ(mtl->GetSubMtl(5)->GetName(), "m5");
  EXPECT_EQ(mtl->GetSubMtl(0), nullptr);
  host::Mesh* mesh = MeshOf("Parts");
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->NumFaces(), 2);
  EXPECT_EQ(mesh->faces[0].matId, 3);
  EXPECT_EQ(mesh->faces[1].matId, 5);
  EXPECT_EQ(mesh->NumVerts(), 6);
  EXPECT_EQ(mesh->faces[1].v, (std::array<uint32_t, 3>{3, 4, 5}));  // shifted past the first part
  EXPECT_TRUE(mesh->IsValid());
}

TEST_F(SceneBuildTest, ASecondNodeWithTheSameInstanceNumberSharesTheFirstNodesMesh) {
  ZefFileBuilder f;
  f.b.MatList({StdRecordBytes("wood")});
  uint32_t a = f.b.BeginNode("First");
  uint32_t g = f.b.BeginGObj();
  f.b.Transform();
  f.b.UserProps("");
  f.b.Instance(1);
  f.b.GBlock(0, TriangleCorners());
  f.b.EndGObj(g, 1);
  f.b.EndNode(a, 0);
  uint32_t b = f.b.BeginNode("Second");
  g = f.b.BeginGObj();
  f.b.Transform({5, 0, 0});
  f.b.UserProps("");
  f.b.Instance(1);
  f.b.EndGObj(g, 0);
  f.b.EndNode(b, 0);
  ASSERT_EQ(Import(f.Finish(2)), 1);
  ASSERT_NE(Find("First")->ObjectPtr(), nullptr);
  EXPECT_EQ(Find("First")->GetObjectRef(), Find("Second")->GetObjectRef());
  EXPECT_EQ(Find("Second")->GetNodeTM(0).GetTrans(), (Point3{5, 0, 0}));
  EXPECT_EQ(Find("Second")->GetMtl(), Find("First")->GetMtl());
  const std::string log = Log();
  EXPECT_TRUE(Logged("Info:\t", "Creating new Instance entry."));
  EXPECT_NE(log.find("This object is an instance of \"First\"\n"), std::string::npos) << log;
}

// One node per light type code, and what each becomes.
TEST_F(SceneBuildTest, LightTypeCodesBecomeHostLightClasses) {
  ZefFileBuilder f;
  f.b.MatList();
  for (uint32_t type : {1u, 2u, 3u, 4u, 5u, 7u}) {
    uint32_t n = f.b.BeginNode("L" + std::to_string(type));
    std::vector<uint8_t> p = zef::testing::Words({type, 1, 1});
    for (float v : {0.5f, 0.25f, 1.0f, 2.0f, 100.0f, 30.0f, 40.0f})
      zef::testing::Append(p, zef::testing::Words({zef::testing::F(v)}));
    host::Matrix3 m;
    m.SetTrans({1, 2, 3});
    for (int r = 0; r < 4; ++r) {
      Point3 row = m.GetRow(r);
      zef::testing::Append(
          p, zef::testing::Words({zef::testing::F(row.x), zef::testing::F(row.y), zef::testing::F(row.z),
                                  zef::testing::F(r == 3 ? 1.f : 0.f)}));
    }
    f.b.Raw(zef::kLight, p);
    f.b.EndNode(n, 0);
  }
  ASSERT_EQ(Import(f.Finish(6)), 1);
  const std::pair<const char*, host::ClassId> expected[] = {{"L1", host::kOmniLightClassId},
                                                            {"L2", host::kFreeSpotLightClassId},
                                                            {"L3", host::kSpotLightClassId},
                                                            {"L4", host::kFreeDirectionalLightClassId},
                                                            {"L5", host::kDirectionalLightClassId}};
  for (const auto& [name, id] : expected) {
    workbench::SceneNode* n = Find(name);
    ASSERT_NE(n, nullptr) << name;
    ASSERT_NE(n->ObjectPtr(), nullptr) << name;
    EXPECT_EQ(n->ObjectPtr()->GetClassId(), id) << name;
    auto s = n->ObjectPtr()->EvalLightState(0);
    EXPECT_TRUE(s->on && s->shadow);
    EXPECT_EQ(s->color, (Point3{0.5f, 0.25f, 1.0f}));
    EXPECT_EQ(s->intensity, 2.0f);
    EXPECT_EQ(s->attenEnd, 100.0f);
    EXPECT_EQ(s->hotspot, 30.0f);
    EXPECT_EQ(s->falloff, 40.0f);
    EXPECT_EQ(n->GetNodeTM(0).GetTrans(), (Point3{1, 2, 3}));
  }
  // A code without a light class leaves the node without an object, but in the scene.
  ASSERT_NE(Find("L7"), nullptr);
  EXPECT_EQ(Find("L7")->ObjectPtr(), nullptr);
}

TEST_F(SceneBuildTest, TexturePairsGoToChannelsByVersionAndMaterialKind) {
  auto build = [](uint32_t version) {
    ZefFileBuilder f(version);
    // Three textures in channels 12, 13 and 14: the vertices carry them as 12, 14, 13.
    f.b.MatList(
        {VexaMatRecordBytes("vm", 0x70000, {{0x10000, "a.tga"}, {0x20000, "b.tga"}, {0x40000, "c.tga"}})});
    uint32_t n = f.b.BeginNode("Mapped");
    uint32_t g = f.b.BeginGObj();
    f.b.GBlock(0, TriangleCorners({{0.25f, 0.75f}, {0.5f, 0.5f}, {0.125f, 0.875f}}));
    f.b.EndGObj(g, 1);
    f.b.EndNode(n, 0);
    return f.Finish(1);
  };
  // Current files: pair 0 to channel 1, the overlay (pair 1) to channel 3, pair 2 to channel 2.
  ASSERT_EQ(Import(build(zef::kVersion0100)), 1);
  host::Mesh* m = MeshOf("Mapped");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->FindMap(1)->tverts[0], (Point3{0.25f, 0.25f, 0}));
  EXPECT_EQ(m->FindMap(3)->tverts[0], (Point3{0.5f, 0.5f, 0}));
  EXPECT_EQ(m->FindMap(2)->tverts[0], (Point3{0.125f, 0.125f, 0}));
  EXPECT_EQ(m->FindMap(2)->tfaces.size(), 1u);
  // The textures read their coordinates from the same channels.
  host::Mtl* mtl = Find("Mapped")->GetMtl();
  ASSERT_NE(mtl, nullptr);
  EXPECT_EQ(mtl->GetSubTexmap(12)->GetUVGen()->mapChannel, 1);
  EXPECT_EQ(mtl->GetSubTexmap(13)->GetUVGen()->mapChannel, 2);
  EXPECT_EQ(mtl->GetSubTexmap(14)->GetUVGen()->mapChannel, 3);

  // "0008": pairs in order to channels 1, 2, 3.
  ASSERT_EQ(Import(build(zef::kVersion0008)), 1);
  m = MeshOf("Mapped");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->FindMap(1)->tverts[0], (Point3{0.25f, 0.25f, 0}));
  EXPECT_EQ(m->FindMap(2)->tverts[0], (Point3{0.5f, 0.5f, 0}));
  EXPECT_EQ(m->FindMap(3)->tverts[0], (Point3{0.125f, 0.125f, 0}));
}

TEST_F(SceneBuildTest, MapFaceIndicesOutsideTheChannelAreLoggedAndReplaced) {
  ZefFileBuilder f;
  f.b.MatList({StdRecordBytes("tex", 0x1, {{3, "d.tga"}})});
  uint32_t n = f.b.BeginNode("Bad");
  uint32_t g = f.b.BeginGObj();
  // Four vertices, but the second triangle names vertex 3 of a three-vertex channel... of
  // this part: the channel has four map vertices, so index 7 is out of range.
  auto bytes = ImageBuilder::VertexBytes(TriangleCorners({{0, 0}}));
  f.b.GBlock(0, 32, zef::VertexFormat(1), bytes, {0, 1, 2, 0, 1, 7});
  f.b.EndGObj(g, 1);
  f.b.EndNode(n, 0);
  ASSERT_EQ(Import(f.Finish(1)), 1);
  host::Mesh* m = MeshOf("Bad");
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->IsValid());
  EXPECT_EQ(m->FindMap(1)->tfaces[1], (std::array<uint32_t, 3>{0, 1, 2}));
  EXPECT_NE(Log().find("chn 1: v0 = 0;\tv1 = 1;\tv2 = 7\n"), std::string::npos) << Log();
}

TEST_F(SceneBuildTest, AChannelMetFirstInALaterPartStaysAlignedWithItsFaces) {
  ZefFileBuilder f;
  f.b.MatList({StdRecordBytes("bare"), StdRecordBytes("tex", 0x1, {{3, "d.tga"}})});
  uint32_t n = f.b.BeginNode("Two");
  uint32_t g = f.b.BeginGObj();
  f.b.GBlock(0, TriangleCorners());
  f.b.GBlock(1, TriangleCorners({{0.25f, 0.75f}}));
  f.b.EndGObj(g, 2);
  f.b.EndNode(n, 0);
  ASSERT_EQ(Import(f.Finish(1)), 1);
  host::Mesh* m = MeshOf("Two");
  const host::MapChannel* ch = m->FindMap(1);
  ASSERT_EQ(ch->tfaces.size(), 2u);
  EXPECT_EQ(ch->tverts[ch->tfaces[1][0]], (Point3{0.25f, 0.25f, 0}));
}

// Face corners point into their own part's vertices, turned around on a mirrored node; a
// corner past its part's vertices falls back to the part's first vertex (the mesh corner),
// while its map face, which the file's index names as it is, gets the placeholder.
TEST_F(SceneBuildTest, FaceCornersFollowTheirPartAndTheNodesHandedness) {
  ZefFileBuilder f;
  f.b.MatList({StdRecordBytes("bare"), StdRecordBytes("tex", 0x1, {{3, "d.tga"}})});
  std::vector<Vertex> four = TriangleCorners({{0.5f, 0.5f}});
  four.push_back(four[1]);
  four[3].p[2] = 2;
  for (const char* name : {"Plain", "Mirrored"}) {
    uint32_t n = f.b.BeginNode(name);
    if (std::string(name) == "Mirrored") f.b.Transform(host::Matrix3::Scale({-1, 1, 1}));
    uint32_t g = f.b.BeginGObj();
    f.b.GBlock(1, TriangleCorners({{0.25f, 0.75f}}));
    f.b.GBlock(1, zef::VertexStride(1), zef::VertexFormat(1), ImageBuilder::VertexBytes(four),
               {0, 1, 2, 1, 9, 3});
    f.b.EndGObj(g, 2);
    f.b.EndNode(n, 0);
  }
  ASSERT_EQ(Import(f.Finish(2)), 1);
  using Corners = std::array<uint32_t, 3>;
  const std::map<std::string, std::vector<Corners>> expected{{"Plain", {{0, 1, 2}, {3, 4, 5}, {4, 3, 6}}},
                                                             {"Mirrored", {{2, 1, 0}, {5, 4, 3}, {6, 3, 4}}}};
  for (const auto& [name, faces] : expected) {
    SCOPED_TRACE(name);
    host::Mesh* m = MeshOf(name);
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->IsValid());
    ASSERT_EQ(m->NumFaces(), 3);
    ASSERT_EQ(m->NumVerts(), 7);
    EXPECT_EQ(m->verts[6], (Point3{1, 0, 2}));
    const host::MapChannel* ch = m->FindMap(1);
    ASSERT_NE(ch, nullptr);
    for (std::size_t i = 0; i < 3; ++i) {
      const host::MeshFace& face = m->faces[i];
      EXPECT_EQ(face.v, faces[i]) << i;
      EXPECT_EQ(m->normalFaces[i], faces[i]) << i;
      EXPECT_EQ(face.matId, 1) << i;
      EXPECT_EQ(face.smGroup, 0u) << i;
      EXPECT_EQ(face.edgeVis, 7) << i;
      EXPECT_EQ(ch->tfaces[i], (i < 2 ? faces[i] : Corners{0, 1, 2})) << i;
    }
    EXPECT_EQ(ch->tverts[4], (Point3{0.5f, 0.5f, 0}));
  }
  const std::string log = Log();
  const std::string line = "ImportGobjBlock() : face index 9 out of range, face 1\n";
  const std::size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find(line, first + 1), std::string::npos) << "once per node";
  EXPECT_NE(log.find("chn 1: v0 = 4;\tv1 = 12;\tv2 = 6\n"), std::string::npos) << log;
}

// The GObj's parts are counted before they are read, so that a mesh of a million faces is
// not copied again and again while it grows; a wrong count shows as spare or missing room.
TEST_F(SceneBuildTest, AMeshIsAllocatedOnceAtTheSizeOfAllItsParts) {
  ZefFileBuilder f;
  f.b.MatList({StdRecordBytes("bare"), StdRecordBytes("one", 0x1, {{3, "d.tga"}}),
               StdRecordBytes("two", 0x3, {{3, "d.tga"}, {1, "s.tga"}})});
  uint32_t n = f.b.BeginNode("Parts");
  uint32_t g = f.b.BeginGObj();
  const std::vector<Vertex> three = TriangleCorners({{0.5f, 0.5f}, {0.25f, 0.75f}});
  std::vector<Vertex> six = three;
  six.insert(six.end(), three.begin(), three.end());
  f.b.GBlock(2, six);
  f.b.GBlock(0, TriangleCorners());
  f.b.GBlock(1, TriangleCorners({{0.5f, 0.5f}}));
  f.b.GBlock(2, TriangleCorners({{0.5f, 0.5f}, {0.25f, 0.75f}}));
  f.b.EndGObj(g, 4);
  f.b.EndNode(n, 0);
  ASSERT_EQ(Import(f.Finish(1)), 1);
  host::Mesh* m = MeshOf("Parts");
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->IsValid());
  ASSERT_EQ(m->NumFaces(), 5);
  EXPECT_EQ(m->verts.capacity(), 15u);
  EXPECT_EQ(m->explicitNormals.capacity(), 15u);
  EXPECT_EQ(m->faces.capacity(), 5u);
  EXPECT_EQ(m->normalFaces.capacity(), 5u);
  // Channel 1 has the pairs of three parts, channel 2 those of two.
  EXPECT_EQ(m->FindMap(1)->tverts.size(), 12u);
  EXPECT_EQ(m->FindMap(1)->tverts.capacity(), 12u);
  EXPECT_EQ(m->FindMap(2)->tverts.capacity(), m->FindMap(2)->tverts.size());
  for (int c = 1; c <= 2; ++c) EXPECT_EQ(m->FindMap(c)->tfaces.capacity(), 5u) << c;
}

TEST_F(SceneBuildTest, CamerasDummiesAndSkippedBlocks) {
  ZefFileBuilder f;
  f.b.MatList();
  uint32_t c = f.b.BeginNode("Cam");
  std::vector<uint8_t> cam =
      zef::testing::Words({zef::testing::F(0.5f), zef::testing::F(1), zef::testing::F(2), zef::testing::F(3),
                           0, 0, zef::testing::F(1.5707964f)});
  f.b.Raw(zef::kCamera, cam);
  f.b.EndNode(c, 0);
  uint32_t d = f.b.BeginNode("Box");
  f.b.Transform({0, 0, 4});
  f.b.UserProps("note");
  f.b.Dummy({2, 4, 6});
  f.b.Raw(zef::kPhysData, {0, 0, 0, 0});
  f.b.Raw(zef::kPhysics, {2, 0, 0, 0});
  f.b.EndNode(d, 0);
  ASSERT_EQ(Import(f.Finish(2)), 1);

  workbench::SceneNode* cn = Find("Cam");
  ASSERT_NE(cn->ObjectPtr(), nullptr);
  EXPECT_EQ(cn->ObjectPtr()->GetClassId(), host::kFreeCameraClassId);
  EXPECT_EQ(cn->ObjectPtr()->EvalCameraState(0)->fov, 0.5f);
  const host::Matrix3 tm = cn->GetNodeTM(0);
  EXPECT_EQ(tm.GetTrans(), (Point3{1, 2, 3}));
  EXPECT_NEAR(tm.GetRow(0).y, 1.0f, 1e-6f);  // X axis turned onto Y by the Z rotation

  workbench::SceneNode* dn = Find("Box");
  EXPECT_EQ(dn->GetUserPropBuffer(), "note");
  EXPECT_EQ(dn->GetNodeTM(0).GetTrans(), (Point3{0, 0, 4}));
  host::Box3 box = dn->ObjectPtr()->GetBoundingBox(0);
  EXPECT_EQ(box.min, (Point3{-1, -2, -3}));
  EXPECT_EQ(box.max, (Point3{1, 2, 3}));

  const std::string log = Log();
  EXPECT_TRUE(Logged("Info:\t", "ImportNode() : PHYS_DATA found for Box, File offset: "));
  EXPECT_TRUE(Logged("Error:\t", "ImportNode() : Unknown block found! BlockID: 0x00000082, File offset: "));
  EXPECT_NE(log.find("Creating Free camera"), std::string::npos);
  EXPECT_NE(log.find("Creating Dummy object"), std::string::npos);
  // The Physics block is unknown, so the artist hears of it at the end; PHYS_DATA is not.
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].text, zefimport::kUnknownBlocksText);
}

TEST_F(SceneBuildTest, EngineHelpersTakeTheirFieldsByNameAndJointsFindLaterNodes) {
  ZefFileBuilder f;
  f.b.MatList();
  uint32_t j = f.b.BeginNode("Joint");
  f.b.Transform({1, 0, 0});
  std::vector<uint8_t> joint = zef::testing::Words({2, 1, zef::testing::F(-0.5f), zef::testing::F(0.5f)});
  joint.resize(136 - 8, 0);
  for (char ch : std::string("Door")) joint.push_back(static_cast<uint8_t>(ch));
  joint.push_back(0);
  joint.push_back(0);
  f.b.Raw(zef::kIKJoint, joint);
  f.b.EndNode(j, 0);
  uint32_t s = f.b.BeginNode("Sound");
  std::vector<uint8_t> ev = zef::testing::Words({7, 8, 9, 1, zef::testing::F(2.5f), zef::testing::F(0.25f)});
  ev.resize(96 - 8 - 64, 0);
  zef::testing::Append(
      ev, zef::testing::Words({zef::testing::F(1), 0, 0, 0, 0, zef::testing::F(1), 0, 0, 0, 0,
                               zef::testing::F(1), 0, zef::testing::F(9), 0, 0, zef::testing::F(1)}));
  f.b.Raw(zef::kSoundEvent, ev);
  f.b.EndNode(s, 0);
  uint32_t door = f.b.BeginNode("Door");
  f.b.EndNode(door, 0);
  ASSERT_EQ(Import(f.Finish(3)), 1);

  auto* jo = Find("Joint")->ObjectPtr().get();
  ASSERT_NE(jo, nullptr);
  host::ParamRef spin = jo->FindParam("SPIN_ON");
  EXPECT_EQ(spin.block->GetInt(spin.index, 0), 1);
  host::ParamRef minAngle = jo->FindParam("spin_min_angle");
  EXPECT_EQ(minAngle.block->GetFloat(minAngle.index, 0), -0.5f);
  host::ParamRef a = jo->FindParam("OBJECT_A");
  EXPECT_EQ(a.block->GetNode(a.index, 0), Find("Door"));
  host::ParamRef b = jo->FindParam("OBJECT_B");
  EXPECT_EQ(b.block->GetNode(b.index, 0), nullptr);
  EXPECT_EQ(Find("Joint")->GetNodeTM(0).GetTrans(), (Point3{1, 0, 0}));

  auto* so = Find("Sound")->ObjectPtr().get();
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(so->GetClassId(), host::kVexaSoundEventClassId);
  host::ParamRef group = so->FindParam("soundGroup");
  EXPECT_EQ(group.block->GetInt(group.index, 0), 8);
  host::ParamRef interval = so->FindParam("interval");
  EXPECT_EQ(interval.block->GetFloat(interval.index, 0), 2.5f);
  EXPECT_EQ(Find("Sound")->GetNodeTM(0).GetTrans(), (Point3{9, 0, 0}));
}

TEST_F(SceneBuildTest, AMissingHelperPluginLeavesTheNodeWithoutAnObject) {
  host.SetUnavailableClass(host::kVexaParticleEventClassId);
  ZefFileBuilder f;
  f.b.MatList();
  uint32_t n = f.b.BeginNode("Sparks");
  std::vector<uint8_t> ev(96 - 8, 0);
  f.b.Raw(zef::kParticleEvent, ev);
  f.b.EndNode(n, 0);
  ASSERT_EQ(Import(f.Finish(1)), 1);
  ASSERT_NE(Find("Sparks"), nullptr);
  EXPECT_EQ(Find("Sparks")->ObjectPtr(), nullptr);
  EXPECT_TRUE(
      Logged("Error:\t", "Can't create instance of Vexa ParticleEvent. The plugin is probably missing."));
}

}  // namespace
}  // namespace vorlan::testing
