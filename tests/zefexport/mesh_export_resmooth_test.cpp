#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "zefexport/mesh_export.h"
#include "zefexport/mesh_export_resmooth_reference.h"

namespace vorlan::zefexport::testing {
namespace {

using host::Point3;

// A face list whose corners sit on a few shared positions, so that many corners meet.
FaceList RandomFaceList(std::mt19937& rng, std::size_t triangles, int positions) {
  std::uniform_int_distribution<int> pick(0, positions - 1);
  std::uniform_real_distribution<float> coord(-1, 1);
  std::vector<Point3> pool;
  for (int i = 0; i < positions; ++i) pool.push_back({coord(rng), coord(rng), coord(rng)});
  // Signed zeros compare equal and must meet; NaN equals nothing, not even itself.
  pool[0] = {0.0f, 1.0f, 0.0f};
  if (positions > 1) pool[1] = {-0.0f, 1.0f, -0.0f};
  if (positions > 2) pool[2] = {std::numeric_limits<float>::quiet_NaN(), 0, 0};
  const uint32_t groups[] = {0, 1, 2, 3, 4, 6, 0x80000000u, 0xFFFFFFFFu};
  std::uniform_int_distribution<int> group(0, 7);

  FaceList f;
  for (std::size_t t = 0; t < triangles; ++t) {
    f.triangles.push_back({.smGroups = groups[group(rng)]});
    for (int k = 0; k < 3; ++k) {
      f.positions.push_back(pool[static_cast<std::size_t>(pick(rng))]);
      f.normals.push_back(host::Normalize(Point3{coord(rng), coord(rng), coord(rng)}));
    }
  }
  return f;
}

bool SameBits(const std::vector<Point3>& a, const std::vector<Point3>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Point3)) == 0;
}

TEST(MeshExportResmooth, MatchesTheAllPairsWalkBitForBit) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    const std::size_t tris = 1 + rng() % 60;
    const int positions = 1 + static_cast<int>(rng() % 40);
    FaceList fast = RandomFaceList(rng, tris, positions);
    FaceList plain = fast;
    ResmoothFaceList(fast);
    ResmoothReference(plain);
    ASSERT_TRUE(SameBits(fast.normals, plain.normals)) << "round " << round;
  }
}

TEST(MeshExportResmooth, LargeMeshWithManyCoincidentCornersMatches) {
  std::mt19937 rng(99);
  FaceList fast = RandomFaceList(rng, 3000, 500);
  FaceList plain = fast;
  ResmoothFaceList(fast);
  ResmoothReference(plain);
  EXPECT_TRUE(SameBits(fast.normals, plain.normals));
}

TEST(MeshExportResmooth, CrowdedPositionsMatch) {
  // Thousands of corners on one or two points (an object scaled to nothing), with a few
  // overlapping groups, with one group, and with more distinct groups than the class walk takes.
  std::mt19937 rng(5);
  struct Case {
    std::size_t tris;
    int positions;
    std::vector<uint32_t> groups;
  };
  std::vector<uint32_t> many;
  for (int i = 0; i < 100; ++i) many.push_back(static_cast<uint32_t>(rng()) | 1u);
  for (const Case& c : {Case{3000, 2, {1, 3, 2, 0, 4}}, Case{3000, 1, {1}}, Case{400, 1, many}}) {
    FaceList fast = RandomFaceList(rng, c.tris, 1);
    std::uniform_int_distribution<std::size_t> pick(0, c.groups.size() - 1);
    for (std::size_t t = 0; t < c.tris; ++t) {
      fast.triangles[t].smGroups = c.groups[pick(rng)];
      if (c.positions == 2 && t % 2) fast.positions[3 * t] = {7, 7, 7};
    }
    FaceList plain = fast;
    ResmoothFaceList(fast);
    ResmoothReference(plain);
    EXPECT_TRUE(SameBits(fast.normals, plain.normals)) << c.tris << " " << c.groups.size();
  }
}

TEST(MeshExportResmooth, UngroupedAndNaNCornersKeepTheirNormals) {
  FaceList f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  f.triangles = {{.smGroups = 0}, {.smGroups = 1}, {.smGroups = 1}};
  f.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},   {0, 0, 0}, {nan, 0, 0},
                 {5, 5, 5}, {0, 0, 0}, {nan, 0, 0}, {6, 6, 6}};
  f.normals = {{0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {1, 0, 0}, {0, 3, 0},
               {0, 0, 4}, {0, 1, 0}, {0, 5, 0}, {0, 0, 6}};
  ResmoothFaceList(f);
  // The ungrouped triangle is untouched even where a smoothed corner lies on it.
  EXPECT_EQ(f.normals[0], (Point3{0, 0, 2}));
  // Corners 3 and 6 share group 1 and position (0, 0, 0).
  const float h = std::sqrt(0.5f);
  EXPECT_NEAR(f.normals[3].x, h, 1e-6);
  EXPECT_NEAR(f.normals[3].y, h, 1e-6);
  EXPECT_EQ(f.normals[3], f.normals[6]);
  // NaN positions meet nothing and are left as they were; lone corners are normalised.
  EXPECT_EQ(f.normals[4], (Point3{0, 3, 0}));
  EXPECT_EQ(f.normals[7], (Point3{0, 5, 0}));
  EXPECT_EQ(f.normals[5], (Point3{0, 0, 1}));
}

}  // namespace
}  // namespace vorlan::zefexport::testing
