// The save buffer read back, the reader's refusals, and the written inertia.
#include <gtest/gtest.h>

#include <random>

#include "geometry/physics_shape.h"
#include "geometry/physics_test_shapes.h"
#include "support/bytes.h"

namespace vorlan::geometry {
namespace {

using host::Point3;

std::vector<uint8_t> BoxAndSphereBuffer(float skin) {
  PhysicsShape s;
  s.Begin(20, 20, 20);
  testing::AddAll(s, testing::BoxTriangles({0, 0, 0}, {1, 2, 3}), testing::FourCC("IRON"));
  s.AddSphere({0.5f, 1, 1.5f}, 0.4f, testing::FourCC("RUBR"));
  s.Finish(skin);
  return {s.Buffer().begin(), s.Buffer().end()};
}

TEST(CollisionModelBuffer, ReadsBackWhatWasWritten) {
  PhysicsShape s;
  s.Begin(20, 20, 20);
  testing::AddAll(s, testing::BoxTriangles({0, 0, 0}, {1, 2, 3}), testing::FourCC("IRON"));
  s.AddSphere({0.5f, 1, 1.5f}, 0.4f, testing::FourCC("RUBR"));
  ASSERT_TRUE(s.Finish(0.025f));
  std::string error;
  auto read = ReadCollisionModel(s.Buffer(), &error);
  ASSERT_TRUE(read) << error;
  const CollisionModel& m = s.Model();
  ASSERT_EQ(read->vertices.size(), m.vertices.size());
  for (std::size_t i = 0; i < m.vertices.size(); ++i) {
    EXPECT_EQ(read->vertices[i].position, m.vertices[i].position);
    EXPECT_EQ(read->vertices[i].planes, m.vertices[i].planes);
    EXPECT_EQ(read->vertices[i].crease, m.vertices[i].crease);
  }
  ASSERT_EQ(read->edges.size(), m.edges.size());
  for (std::size_t i = 0; i < m.edges.size(); ++i) {
    EXPECT_EQ(read->edges[i].a, m.edges[i].a);
    EXPECT_EQ(read->edges[i].planes[1], m.edges[i].planes[1]);
    EXPECT_EQ(read->edges[i].crease, m.edges[i].crease);
  }
  ASSERT_EQ(read->triangles.size(), m.triangles.size());
  for (std::size_t i = 0; i < m.triangles.size(); ++i) {
    EXPECT_EQ(read->triangles[i].e[2], m.triangles[i].e[2]);
    EXPECT_EQ(read->triangles[i].plane, m.triangles[i].plane);
    EXPECT_EQ(read->triangles[i].surface, testing::FourCC("IRON"));
  }
  ASSERT_EQ(read->spheres.size(), 1u);
  EXPECT_FLOAT_EQ(read->spheres[0].radius, 0.375f);
  EXPECT_EQ(read->spheres[0].surface, testing::FourCC("RUBR"));
  EXPECT_EQ(read->bounds.min, m.bounds.min);
  EXPECT_EQ(read->inertia, WrittenInertia(s.Inertia(), s.Volume()));
}

TEST(CollisionModelBuffer, EveryTruncationAndTrailingByteIsRefused) {
  std::vector<uint8_t> buffer = BoxAndSphereBuffer(0);
  ASSERT_TRUE(ReadCollisionModel(buffer));
  for (std::size_t n = 0; n < buffer.size(); ++n)
    EXPECT_FALSE(ReadCollisionModel(std::span(buffer).first(n))) << n;
  buffer.push_back(0);
  EXPECT_FALSE(ReadCollisionModel(buffer));
}

TEST(CollisionModelBuffer, CorruptHeadersAndIndicesAreRefused) {
  const std::vector<uint8_t> good = BoxAndSphereBuffer(0);
  auto with = [&](std::size_t at, uint32_t value) {
    std::vector<uint8_t> b = good;
    support::ByteWriter::StoreU32(b.data() + at, value);
    return b;
  };
  std::string error;
  EXPECT_FALSE(ReadCollisionModel(with(0, 0xFAABBAAF), &error));
  EXPECT_NE(error.find("magic"), std::string::npos);
  // Counts far beyond the data are refused before anything is allocated.
  EXPECT_FALSE(ReadCollisionModel(with(4, 0xFFFFFFFF)));
  EXPECT_FALSE(ReadCollisionModel(with(8, 0x40000000)));
  EXPECT_FALSE(ReadCollisionModel(with(12, 0x10000000)));
  EXPECT_FALSE(ReadCollisionModel(with(16, 2)));
  // The first edge starts after 8 vertex records of 26 bytes; its vertex a must exist.
  const std::size_t first_edge = 20 + 8 * 26;
  EXPECT_FALSE(ReadCollisionModel(with(first_edge, 8), &error));
  EXPECT_NE(error.find("vertex"), std::string::npos);
  EXPECT_FALSE(ReadCollisionModel(with(first_edge + 8, 12)));  // plane beyond the triangles
  const std::size_t first_triangle = first_edge + 18 * 17;
  EXPECT_FALSE(ReadCollisionModel(with(first_triangle + 12, 18)));  // edge 18 of 18
  // A vertex naming a plane by a triangle that does not exist.
  EXPECT_FALSE(ReadCollisionModel(with(20 + 13, 12)));
}

TEST(CollisionModelBuffer, RandomBytesNeverCrashTheReader) {
  std::mt19937 rng(5);
  const std::vector<uint8_t> good = BoxAndSphereBuffer(0.025f);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> b = good;
    for (int k = 0; k < 1 + i % 4; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
    (void)ReadCollisionModel(b);
  }
}

TEST(WrittenInertia, SmallVolumesKeepTheMatrix) {
  const std::array<float, 9> m = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(WrittenInertia(m, 1e-5f), m);
  EXPECT_EQ(WrittenInertia(m, 0), m);
}

TEST(WrittenInertia, InvertsRandomInertiasAndRepairsZeroPivots) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> d(-1, 1);
  for (int i = 0; i < 500; ++i) {
    // Inertia-like: symmetric positive definite, built from random sample clouds.
    std::vector<Point3> cloud(12);
    for (Point3& p : cloud) p = {d(rng), d(rng) * 3, d(rng) * 0.2f};
    std::array<float, 9> m = SampleInertia(cloud);
    std::array<float, 9> inv = WrittenInertia(m, 1);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        float sum = 0;
        for (int k = 0; k < 3; ++k) sum += m[std::size_t(r * 3 + k)] * inv[std::size_t(k * 3 + c)];
        EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 2e-3f);
      }
  }
  // A zero first pivot borrows the last later row with a usable entry in that column.
  const std::array<float, 9> swap = {0, 1, 0, 1, 0, 0, 0, 0, 2};
  const std::array<float, 9> expect = {0, 1, 0, 1, 0, 0, 0, 0, 0.5f};
  EXPECT_EQ(WrittenInertia(swap, 1), expect);
  // A small but genuine pivot (a thin rod) is inverted, not refused.
  const std::array<float, 9> rod = {0.08f, 0, 0, 0, 0.08f, 0, 0, 0, 4e-6f};
  EXPECT_NEAR(WrittenInertia(rod, 1)[8], 250000.0f, 1.0f);
  // Nothing usable: zeros rather than infinities.
  const std::array<float, 9> zero{};
  EXPECT_EQ(WrittenInertia(zero, 1), zero);
  const std::array<float, 9> rank_two = {1, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(WrittenInertia(rank_two, 1), zero);
}

}  // namespace
}  // namespace vorlan::geometry
