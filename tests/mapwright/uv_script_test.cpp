#include "mapwright/uv_script.h"

#include <gtest/gtest.h>

#include "mapwright/session_fixture.h"

namespace mw = vorlan::mapwright;
using MapwrightScript = mw::testing::SessionFixture;

TEST(MapwrightScriptParsing, OperationsAndFaceLists) {
  std::string error;
  auto move = mw::ParseUvOperation("move", "3,-1.5", error);
  ASSERT_TRUE(move);
  EXPECT_EQ(move->kind, mw::UvOperation::Move);
  EXPECT_EQ(move->y, -1.5);
  auto scale = mw::ParseUvOperation("scale", "2", error);
  EXPECT_EQ(scale->y, 2);
  for (auto [name, value] : std::vector<std::pair<const char*, const char*>>{{"rotate90", "up"},
                                                                             {"flip", "w"},
                                                                             {"move", "3"},
                                                                             {"scale", "0,1"},
                                                                             {"texels", "abc"},
                                                                             {"spin", ""}}) {
    error.clear();
    EXPECT_FALSE(mw::ParseUvOperation(name, value, error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  EXPECT_EQ(mw::ParseFaceList("0,4,7-9", 10), (std::vector<int>{0, 4, 7, 8, 9}));
  EXPECT_FALSE(mw::ParseFaceList("0,10", 10));
  EXPECT_FALSE(mw::ParseFaceList("3-1", 10));
  EXPECT_FALSE(mw::ParseFaceList("1,,2", 10));
  EXPECT_FALSE(mw::ParseFaceList("-1", 10));
}

TEST_F(MapwrightScript, EditsTheChosenFacesAndWritesThemBack) {
  auto& node = MeshNode(mw::testing::QuadMesh(), Material("m", Bitmap("t.bmp", 100, 100)));
  MeshOf(node).faceSel = {0, 1};
  mw::UvScript script{.node = "mesh", .faces = "0"};
  std::string error;
  script.operations = {*mw::ParseUvOperation("move", "10,0", error),
                       *mw::ParseUvOperation("flip", "v", error)};
  mw::UvScriptResult r = mw::RunUvScript(ip, script);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.faces, 1);
  auto& map = MeshOf(node).Map(1);
  // Face 0 moved 0.1 right and flipped about its middle; face 1 kept its vertices, so the
  // shared ones were split off.
  auto at = [&](int f, int k) { return map.tverts[map.tfaces[f][k]]; };
  EXPECT_FLOAT_EQ(at(0, 0).x, 0.2f);
  EXPECT_FLOAT_EQ(at(0, 0).y, 0.9f);
  EXPECT_FLOAT_EQ(at(0, 2).y, 0.2f);
  EXPECT_FLOAT_EQ(at(1, 0).x, 0.1f);
  EXPECT_FLOAT_EQ(at(1, 1).y, 0.9f);
  EXPECT_EQ(MeshOf(node).faceSel, (std::vector<uint8_t>{0, 1}));  // selection put back

  EXPECT_FALSE(mw::RunUvScript(ip, {.node = "nothing"}).ok);
  EXPECT_FALSE(mw::RunUvScript(ip, {.node = "mesh", .faces = "7"}).ok);
  EXPECT_FALSE(mw::RunUvScript(ip, {.node = "mesh", .map = "sphere"}).ok);
}

TEST_F(MapwrightScript, UnfoldWritesTrueEdgeLengthsInPixelsOfTheTexture) {
  vorlan::host::Mesh mesh;
  mesh.verts = {{0, 0, 0}, {3, 0, 0}, {3, 0, 4}};  // standing upright: a planar Z map sees a line
  mesh.faces = {{.v = {0, 1, 2}}};
  auto& node = MeshNode(mesh, Material("m", Bitmap("t.bmp", 10, 10)));
  mw::UvScriptResult r = mw::RunUvScript(ip, {.node = "mesh", .map = "unfold"});
  ASSERT_TRUE(r.ok) << r.error;
  auto& map = MeshOf(node).Map(1);
  auto p = [&](int k) { return map.tverts[map.tfaces[0][k]]; };
  // Edge lengths 3, 4 and 5 in scene units become 3, 4 and 5 texture widths.
  EXPECT_NEAR(std::hypot(p(1).x - p(0).x, p(1).y - p(0).y), 3, 1e-5);
  EXPECT_NEAR(std::hypot(p(2).x - p(1).x, p(2).y - p(1).y), 4, 1e-5);
  EXPECT_NEAR(std::hypot(p(2).x - p(0).x, p(2).y - p(0).y), 5, 1e-5);
}
