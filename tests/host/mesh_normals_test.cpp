#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>

#include "host/mesh.h"

namespace vorlan::host {
namespace {

// The corner normals of a mesh with hand-set normals, one corner at a time: each corner
// normalises its own normal, or takes the face normal when its index is out of range.
Point3 PlainCornerNormal(const Mesh& m, int f, int k) {
  const uint32_t n = m.normalFaces[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)];
  return n < m.explicitNormals.size() ? Normalize(m.explicitNormals[n]) : m.FaceNormal(f);
}

bool SameBits(Point3 a, Point3 b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

// Random meshes whose normals are shared by several corners, some of them zero, huge,
// tiny or not finite, and some corners pointing past the normals.
Mesh RandomMesh(std::mt19937& rng, int most = 60) {
  std::uniform_int_distribution<int> count(1, most);
  std::uniform_real_distribution<float> coord(-10, 10);
  Mesh m;
  const int verts = count(rng), faces = count(rng), normals = count(rng);
  for (int i = 0; i < verts; ++i) m.verts.push_back({coord(rng), coord(rng), coord(rng)});
  for (int i = 0; i < normals; ++i) {
    Point3 n{coord(rng), coord(rng), coord(rng)};
    switch (rng() % 8) {
      case 0:
        n = {};
        break;
      case 1:
        n = n * 1e30f;
        break;
      case 2:
        n = n * 1e-30f;
        break;
      case 3:
        n.y = std::numeric_limits<float>::infinity();
        break;
      case 4:
        if (rng() % 4 == 0) n.z = std::numeric_limits<float>::quiet_NaN();
        break;
      default:
        break;
    }
    m.explicitNormals.push_back(n);
  }
  std::uniform_int_distribution<uint32_t> vert(0, static_cast<uint32_t>(verts - 1));
  std::uniform_int_distribution<uint32_t> normal(0, static_cast<uint32_t>(normals + 2));
  for (int i = 0; i < faces; ++i) {
    m.faces.push_back({.v = {vert(rng), vert(rng), vert(rng)}, .smGroup = static_cast<uint32_t>(rng() % 3)});
    m.normalFaces.push_back({normal(rng), normal(rng), normal(rng)});
  }
  return m;
}

// The table every corner once kept, built before the mesh is looked at.
std::vector<std::array<Point3, 3>> CornerTable(const Mesh& m) {
  std::vector<std::array<Point3, 3>> table(m.faces.size());
  for (int f = 0; f < m.NumFaces(); ++f)
    for (int k = 0; k < 3; ++k)
      table[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)] = PlainCornerNormal(m, f, k);
  return table;
}

void ExpectTable(const Mesh& m, const std::vector<std::array<Point3, 3>>& table, int round) {
  ASSERT_TRUE(m.NormalsBuilt());
  for (int f = 0; f < m.NumFaces(); ++f)
    for (int k = 0; k < 3; ++k)
      ASSERT_TRUE(
          SameBits(m.CornerNormal(f, k), table[static_cast<std::size_t>(f)][static_cast<std::size_t>(k)]))
          << "round " << round << " face " << f << " corner " << k;
}

TEST(MeshNormals, HandSetNormalsMatchCornerByCornerNormalising) {
  std::mt19937 rng(11);
  // The last rounds are large enough for the normals' pages to be backed in one call.
  for (int round = 0; round < 504; ++round) {
    Mesh m = RandomMesh(rng, round < 500 ? 60 : 40000);
    const auto table = CornerTable(m);
    m.BuildNormals();
    ExpectTable(m, table, round);
    // Copies and moves carry the built normals along.
    Mesh copy = m;
    ExpectTable(copy, table, round);
    Mesh moved = std::move(copy);
    ExpectTable(moved, table, round);
  }
}

TEST(MeshNormals, DroppingHandSetNormalsFallsBackToSmoothingGroups) {
  std::mt19937 rng(5);
  Mesh m = RandomMesh(rng);
  m.BuildNormals();
  m.explicitNormals.clear();
  m.normalFaces.clear();
  // Until the rebuild, corners without their normal face show the face normal.
  for (int f = 0; f < m.NumFaces(); ++f) EXPECT_TRUE(SameBits(m.CornerNormal(f, 1), m.FaceNormal(f)));
  m.BuildNormals();
  Mesh smooth = m;
  smooth.BuildNormals();
  ASSERT_TRUE(m.NormalsBuilt());
  for (int f = 0; f < m.NumFaces(); ++f)
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(SameBits(m.CornerNormal(f, k), smooth.CornerNormal(f, k)));
}

TEST(MeshNormals, RebuildingAfterAnEditFollowsTheEdit) {
  std::mt19937 rng(3);
  Mesh m = RandomMesh(rng);
  m.BuildNormals();
  // Fewer faces and a moved normal: nothing of the earlier build may survive.
  m.faces.resize(1);
  m.normalFaces.assign(1, {0, 0, 0});
  m.explicitNormals[0] = {0, 0, 5};
  m.BuildNormals();
  ASSERT_TRUE(m.NormalsBuilt());
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(SameBits(m.CornerNormal(0, k), {0, 0, 1}));
}

}  // namespace
}  // namespace vorlan::host
