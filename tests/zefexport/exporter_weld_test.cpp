// Welding mesh parts while they are built must give the file that welding only while the
// file is written gives, whatever the smoothing options and whichever nodes smooth together.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>

#include "test_host.h"
#include "workbench/materials.h"
#include "zefexport/export_config.h"

namespace vorlan::testing {
namespace {

using workbench::MeshObject;

// A grid of w x h quads from `origin` with slightly random heights, one smoothing group and
// texture coordinates per vertex; material ids by row. Corners inside it repeat.
host::Mesh Grid(int w, int h, host::Point3 origin, uint32_t sg, std::mt19937& rng) {
  std::uniform_real_distribution<float> height(-0.2f, 0.2f);
  host::Mesh m;
  for (int j = 0; j <= h; ++j)
    for (int i = 0; i <= w; ++i)
      m.verts.push_back({origin.x + float(i), origin.y + float(j), origin.z + height(rng)});
  host::MapChannel& uv = m.Map(1);
  for (const host::Point3& p : m.verts) uv.tverts.push_back({p.x * 0.25f, p.y * 0.25f, 0});
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const uint32_t a = uint32_t(j * (w + 1) + i), b = a + 1, c = a + uint32_t(w) + 2,
                     d = a + uint32_t(w) + 1;
      const auto mat = static_cast<uint16_t>(j % 3);
      m.faces.push_back({.v = {a, b, c}, .smGroup = sg, .matId = mat});
      m.faces.push_back({.v = {a, c, d}, .smGroup = sg, .matId = mat});
    }
  for (const host::MeshFace& f : m.faces) uv.tfaces.push_back(f.v);
  return m;
}

std::shared_ptr<host::Mtl> TexturedMulti() {
  auto multi = std::make_shared<workbench::MultiMtl>("Multi", 2);
  for (int i = 0; i < 2; ++i) {
    auto sub = std::make_shared<workbench::StandardMtl>("Sub" + std::to_string(i));
    if (i == 0) sub->SetMap(1, std::make_shared<workbench::BitmapTex>("C:\\maps\\wood.tga"));
    multi->subs[static_cast<std::size_t>(i)] = sub;
  }
  return multi;
}

class ExportWeldTest : public ExportFixture {
 protected:
  // Grids that meet along their borders: two that smooth together, one beside them without a
  // SMOOTH= entry, a faceted one below it, and one object shared by two nodes of which only
  // the second smooths. Materials give several parts per node, with and without texture pairs.
  void BuildScene(uint32_t seed) {
    std::mt19937 rng(seed);
    auto mtl = TexturedMulti();
    auto& a = host.scene.CreateNode("A1");
    a.SetObject(std::make_shared<MeshObject>(Grid(6, 5, {0, 0, 0}, 1, rng)));
    a.SetUserProps("SMOOTH=1.2,1,2\r\nLOD=0");
    a.SetMtl(mtl);
    auto& b = host.scene.CreateNode("A2");
    b.SetObject(std::make_shared<MeshObject>(Grid(4, 5, {6, 0, 0}, 3, rng)));
    b.SetUserProps("smooth=1.2,2");
    b.SetMtl(mtl);
    auto& plain = host.scene.CreateNode("B");
    plain.SetObject(std::make_shared<MeshObject>(Grid(3, 5, {10, 0, 0}, 1, rng)));
    plain.SetMtl(mtl);
    host.scene.CreateNode("F", &plain)
        .SetObject(std::make_shared<MeshObject>(Grid(3, 2, {10, 5, 0}, 0, rng)));
    auto shared = std::make_shared<MeshObject>(Grid(2, 2, {0, 5, 0}, 2, rng));
    host.scene.CreateNode("C1").SetObject(shared);
    auto& c2 = host.scene.CreateNode("C2");
    c2.SetObject(shared);
    c2.SetUserProps("SMOOTH=0.8,2");
  }

  std::vector<uint8_t> ExportWith(uint32_t options, bool weld) {
    exporter.SetWeldWhileBuilding(weld);
    EXPECT_EQ(Export(zefexport::kOptNoDialog | options), 1);
    return bytes;
  }
};

TEST_F(ExportWeldTest, TheFileIsTheSameWhenPartsAreWeldedWhileBuilding) {
  using namespace zefexport;
  const uint32_t optionSets[] = {kOptSmoothWholeScene, kOptSmoothWholeScene | kOptDistinguishLODs,
                                 kOptSmoothWholeScene | kOptResmoothSingle, kOptResmoothSingle, 0};
  for (uint32_t seed : {1u, 2u, 3u}) {
    host.scene.Clear();
    BuildScene(seed);
    std::vector<uint8_t> unsmoothed;
    for (uint32_t options : optionSets) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " options " + std::to_string(options));
      const std::vector<uint8_t> late = ExportWith(options, false);
      const std::vector<uint8_t> early = ExportWith(options, true);
      ASSERT_FALSE(late.empty());
      EXPECT_EQ(early, late);
      if (options == 0) unsmoothed = late;
    }
    // The smoothing the scene was built for did take place, so its nodes were compared.
    EXPECT_NE(ExportWith(kOptSmoothWholeScene, true), unsmoothed);
  }
}

// Editable meshes are read where they lie in the scene; the normals the export builds on
// them are gone afterwards, and normals that were built before stay.
TEST_F(ExportWeldTest, TheSceneKeepsNoNormalsBuiltForTheExport) {
  BuildScene(4);
  host::Mesh& a = *host.scene.FindNode("A1")->ObjectPtr()->GetEditableMesh();
  host::Mesh& b = *host.scene.FindNode("B")->ObjectPtr()->GetEditableMesh();
  b.BuildNormals();
  const std::vector<uint8_t> first = ExportWith(0, true);
  EXPECT_FALSE(a.NormalsBuilt());
  EXPECT_TRUE(b.NormalsBuilt());
  EXPECT_EQ(ExportWith(0, true), first);
}

// Large parts with faces in random order, every vertex twice under two indices (equal records
// the per-vertex hint cannot find), and records that differ only in a zero's sign or a NaN's
// payload, which must stay apart. Records are numbered by first use over the whole part, as
// the flush's weld numbers them.
TEST_F(ExportWeldTest, LargeShuffledPartsMatchTheFlushWeld) {
  for (uint32_t seed : {7u, 8u, 9u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    host.scene.Clear();
    std::mt19937 rng(seed);
    host::Mesh m = Grid(60 + int(seed), 50, {0, 0, 0}, 1, rng);
    const std::size_t n = m.verts.size();
    for (std::size_t i = 0; i < n; ++i) m.verts.push_back(m.verts[i]);
    m.verts[0] = {0.0f, 0.0f, 0.0f};
    m.verts[n] = {-0.0f, 0.0f, 0.0f};
    m.verts[1].z = std::bit_cast<float>(0x7FC00001u);
    m.verts[n + 1].z = std::bit_cast<float>(0x7FC00002u);
    host::MapChannel& uv = m.Map(1);
    for (std::size_t i = 0; i < n; ++i) uv.tverts.push_back(uv.tverts[i]);
    std::bernoulli_distribution other(0.3);
    for (std::size_t f = 0; f < m.faces.size(); ++f)
      for (std::size_t k = 0; k < 3; ++k)
        if (other(rng)) {
          m.faces[f].v[k] += uint32_t(n);
          uv.tfaces[f][k] += uint32_t(n);
        }
    std::vector<std::size_t> order(m.faces.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    host::Mesh shuffled = m;
    for (std::size_t i = 0; i < order.size(); ++i) {
      shuffled.faces[i] = m.faces[order[i]];
      shuffled.faces[i].matId = static_cast<uint16_t>(i % 2);
      shuffled.Map(1).tfaces[i] = uv.tfaces[order[i]];
    }
    auto& node = host.scene.CreateNode("Big");
    node.SetObject(std::make_shared<MeshObject>(std::move(shuffled)));
    node.SetMtl(TexturedMulti());
    const std::vector<uint8_t> late = ExportWith(0, false);
    ASSERT_GT(late.size(), 100000u);
    EXPECT_EQ(ExportWith(0, true), late);
  }
}

}  // namespace
}  // namespace vorlan::testing
