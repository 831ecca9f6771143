// `vorlan uv` and `vorlan image` as a pipeline runs them: texture coordinates fixed without a
// window, pictures described and converted, bad input refused with the usual exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "mapwright/image_codecs.h"
#include "mapwright/image_files.h"
#include "run_vorlan.h"
#include "support/file_io.h"
#include "workbench/materials.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace vorlan::testing {
namespace {

class MapwrightCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_mw_e2e_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    workbench::RegisterMaterialDocumentCodec();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // A quad whose map coordinates span (0.1, 0.2) - (0.7, 0.9), over a 100 x 100 bitmap.
  std::string QuadScene() {
    std::string bmp = dir + "/t.bmp";
    support::WriteFileAtomic(bmp, mapwright::EncodeBmp(*mapwright::NewImage(100, 100)));
    workbench::Scene scene;
    host::Mesh m;
    m.verts = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
    m.faces = {{.v = {0, 1, 2}}, {.v = {0, 2, 3}}};
    m.Map(1).tverts = {{0.1f, 0.2f, 0}, {0.7f, 0.2f, 0}, {0.7f, 0.9f, 0}, {0.1f, 0.9f, 0}};
    m.Map(1).tfaces = {{0, 1, 2}, {0, 2, 3}};
    auto& node = scene.CreateNode("quad");
    node.SetObject(std::make_shared<workbench::MeshObject>(m));
    auto mtl = std::make_shared<workbench::StandardMtl>("m");
    mtl->SetMap(1, std::make_shared<workbench::BitmapTex>(bmp));
    node.SetMtl(mtl);
    std::string path = dir + "/quad.vscene";
    EXPECT_TRUE(workbench::SaveSceneDocument(scene, path));
    return path;
  }

  host::MapChannel MapOf(const std::string& vscene) {
    workbench::Scene scene;
    EXPECT_TRUE(workbench::LoadSceneDocument(vscene, scene));
    auto* node = scene.FindNode("quad");
    return static_cast<workbench::MeshObject&>(*node->ObjectPtr()).mesh.Map(1);
  }

  std::string dir;
};

TEST_F(MapwrightCli, UvAppliesOperationsInOrderAndWritesADocument) {
  std::string scene = QuadScene();
  std::string out = dir + "/out.vscene";
  RunResult r =
      RunVorlan("uv " + scene + " quad --move 10,0 --flip u --rotate90 right --rotate90 left -o " + out);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("edited 2 faces"), std::string::npos) << r.out;
  host::MapChannel map = MapOf(out);
  // Moved 0.1 to the right, then mirrored about the middle (0.5): 0.2 <-> 0.8.
  auto at = [&](int f, int k) { return map.tverts[map.tfaces[f][k]]; };
  EXPECT_NEAR(at(0, 0).x, 0.8f, 1e-5);
  EXPECT_NEAR(at(0, 1).x, 0.2f, 1e-5);
  EXPECT_NEAR(at(0, 2).y, 0.9f, 1e-5);

  // Nothing asked: the coordinates come back as they were, bit for bit.
  std::string same = dir + "/same.vscene";
  ASSERT_EQ(RunVorlan("uv " + scene + " quad -o " + same).exitCode, 0);
  EXPECT_EQ(MapOf(same).tverts, MapOf(scene).tverts);
}

TEST_F(MapwrightCli, UvRefusesBadLinesAndMissingNodes) {
  std::string scene = QuadScene();
  EXPECT_EQ(RunVorlan("uv " + scene + " quad --flip w -o " + dir + "/o.vscene").exitCode, 2);
  EXPECT_EQ(RunVorlan("uv " + scene + " quad --map sphere -o " + dir + "/o.vscene").exitCode, 2);
  RunResult missing = RunVorlan("uv " + scene + " nobody -o " + dir + "/o.vscene");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.out.find("no node \"nobody\""), std::string::npos) << missing.out;
  EXPECT_EQ(RunVorlan("uv " + scene + " quad --faces 9 -o " + dir + "/o.vscene").exitCode, 1);
  EXPECT_EQ(RunVorlan("uv " + scene + " quad -o " + scene).exitCode, 1);  // never over its input
  EXPECT_FALSE(std::filesystem::exists(dir + "/o.vscene"));
}

TEST_F(MapwrightCli, ImageInfoAndConvert) {
  mapwright::Image img = *mapwright::NewImage(3, 2);
  img.SetPixel(1, 1, 0x123456);
  support::WriteFileAtomic(dir + "/a.bmp", mapwright::EncodeBmp(img));
  RunResult info = RunVorlan("image info " + dir + "/a.bmp");
  ASSERT_EQ(info.exitCode, 0) << info.out;
  EXPECT_NE(info.out.find("3 x 2, 24-bit, 12 bytes per row"), std::string::npos) << info.out;

  ASSERT_EQ(RunVorlan("image convert " + dir + "/a.bmp " + dir + "/b.TGA").exitCode, 0);
  std::string error;
  auto back = mapwright::ReadImageFile(dir + "/b.TGA", error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->PixelAt(1, 1), 0x123456u);
  EXPECT_TRUE(back->HasAlpha());

  support::WriteFileAtomic(dir + "/bad.tga", std::vector<uint8_t>(10, 0));
  RunResult bad = RunVorlan("image info " + dir + "/bad.tga");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find("Can't read .tga file !"), std::string::npos) << bad.out;
  EXPECT_EQ(RunVorlan("image convert " + dir + "/a.bmp " + dir + "/c.png").exitCode, 1);
  EXPECT_EQ(RunVorlan("image").exitCode, 2);
}

}  // namespace
}  // namespace vorlan::testing
