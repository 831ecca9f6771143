// The k-d tree against the plain scans on point sets built to trip it: exact duplicates,
// grids where every query has ties, clusters closer than the early-stop distance, points
// whose distances differ only beyond float precision, and huge coordinates.
#include <gtest/gtest.h>

#include <random>

#include "fake_target.h"
#include "skintools/point_index.h"
#include "transfer_reference.h"

namespace vorlan::skintools {
namespace {

using Points = std::vector<host::Point3>;

struct Case {
  const char* name;
  Points points;
  Points queries;
};

host::Point3 Random(std::mt19937& rng, float lo, float hi) {
  std::uniform_real_distribution<float> u(lo, hi);
  return {u(rng), u(rng), u(rng)};
}

std::vector<Case> Cases() {
  std::mt19937 rng(1234);
  std::vector<Case> cases;
  {
    Case c{"duplicates", {}, {}};
    Points pool;
    for (int i = 0; i < 40; ++i) pool.push_back(Random(rng, -1, 1));
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    for (int i = 0; i < 3000; ++i) c.points.push_back(pool[pick(rng)]);
    for (int i = 0; i < 500; ++i) c.queries.push_back(i % 2 ? pool[pick(rng)] : Random(rng, -1.2f, 1.2f));
    cases.push_back(std::move(c));
  }
  {
    Case c{"grid", {}, {}};
    for (int x = 0; x < 12; ++x)
      for (int y = 0; y < 12; ++y)
        for (int z = 0; z < 12; ++z) c.points.push_back({x * 0.5f, y * 0.5f, z * 0.5f});
    std::shuffle(c.points.begin(), c.points.end(), rng);
    // Grid points repeated, midpoints and centres of cells: ties at every query.
    for (int i = 0; i < 300; ++i) c.points.push_back(c.points[static_cast<std::size_t>(i * 5)]);
    std::uniform_int_distribution<int> g(-1, 23);
    for (int i = 0; i < 800; ++i) c.queries.push_back({g(rng) * 0.25f, g(rng) * 0.25f, g(rng) * 0.25f});
    cases.push_back(std::move(c));
  }
  {
    Case c{"within 0.001", {}, {}};
    for (int k = 0; k < 200; ++k) {
      host::Point3 centre = Random(rng, -5, 5);
      for (int i = 0; i < 8; ++i) c.points.push_back(centre + Random(rng, -0.0008f, 0.0008f));
      c.queries.push_back(centre);
      c.queries.push_back(centre + Random(rng, -0.0015f, 0.0015f));
    }
    std::shuffle(c.points.begin(), c.points.end(), rng);
    cases.push_back(std::move(c));
  }
  {
    // Points on spheres around the queries: distances that round to the same float.
    Case c{"float ties", {}, {}};
    std::normal_distribution<float> n;
    for (int k = 0; k < 60; ++k) {
      host::Point3 q = Random(rng, -3, 3);
      c.queries.push_back(q);
      for (int i = 0; i < 40; ++i) {
        host::Point3 dir = host::Normalize(host::Point3{n(rng), n(rng), n(rng)});
        c.points.push_back(q + dir * 0.75f);
      }
    }
    cases.push_back(std::move(c));
  }
  {
    Case c{"large coordinates", {}, {}};
    for (int i = 0; i < 1500; ++i) c.points.push_back(Random(rng, -1e7f, 1e7f));
    for (int i = 0; i < 300; ++i) c.points.push_back(host::Point3(1e7f, 1e7f, 1e7f) + Random(rng, -2, 2));
    for (int i = 0; i < 100; ++i) c.points.push_back(Random(rng, -3e38f, 3e38f));
    c.points.push_back({3.4e38f, -3.4e38f, 0});
    for (int i = 0; i < 300; ++i)
      c.queries.push_back(i % 3 ? Random(rng, -1e7f, 1e7f) : c.points[static_cast<std::size_t>(i)]);
    c.queries.push_back({-3.4e38f, 3.4e38f, 0});
    c.queries.push_back(host::Point3(1e7f, 1e7f, 1e7f));
    cases.push_back(std::move(c));
  }
  {
    Case c{"overflowing distances only", {{3.4e38f, 0, 0}, {3.3e38f, 1, 0}}, {{-3.4e38f, 0, 0}, {0, 0, 0}}};
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST(PointIndexOracle, NearestIsTheRecordTheScanTakes) {
  for (const Case& c : Cases()) {
    PointIndex index(c.points);
    for (std::size_t i = 0; i < c.queries.size(); ++i) {
      ScanHit want = reference::ScanNearest(c.queries[i], c.points);
      ScanHit got = index.FindNearest(c.queries[i]);
      ASSERT_EQ(got.index, want.index) << c.name << " query " << i;
      ASSERT_EQ(got.distance, want.distance) << c.name << " query " << i;
    }
  }
}

TEST(PointIndexOracle, FirstEqualWithinToleranceIsTheLowestIndex) {
  for (const Case& c : Cases()) {
    PointIndex index(c.points);
    for (float eps : {0.003f, 0.5f}) {
      for (std::size_t i = 0; i < c.queries.size(); ++i)
        ASSERT_EQ(index.FirstInBox(c.queries[i], eps), reference::FirstEqual(c.queries[i], c.points, eps))
            << c.name << " query " << i << " eps " << eps;
    }
  }
}

TEST(PointIndexOracle, EmptyAndNaNPointsAreNeverTaken) {
  Points none;
  PointIndex empty(none);
  EXPECT_EQ(empty.FindNearest({0, 0, 0}).index, -1);
  EXPECT_EQ(empty.FindNearest({0, 0, 0}).distance, kNoDistance);
  float nan = std::numeric_limits<float>::quiet_NaN();
  Points withNaN{{nan, 0, 0}, {5, 5, 5}, {0, nan, 1}};
  PointIndex index(withNaN);
  EXPECT_EQ(index.FindNearest({0, 0, 0}).index, reference::ScanNearest({0, 0, 0}, withNaN).index);
  EXPECT_EQ(index.FindNearest({nan, 0, 0}).index, -1);
}

// Whole methods against a transfer written with the plain scans.
class Oracle : public ::testing::Test {
 protected:
  static SkdData Records(const Points& points, std::mt19937& rng) {
    static const char* kBones[] = {"Pelvis", "Spine", "Thigh", "Calf", "Foot", "Head"};
    std::uniform_int_distribution<int> bone(0, 5), count(1, 4);
    std::uniform_real_distribution<float> weight(0.0f, 1.0f);
    SkdData d;
    for (host::Point3 p : points) {
      std::vector<std::pair<std::string, float>> b;
      for (int k = count(rng); k > 0; --k) b.emplace_back(kBones[bone(rng)], weight(rng));
      d.records.push_back(testing::Record(p, b));
    }
    return d;
  }
};

TEST_F(Oracle, FindNearestAndInterpolationMatchTheScans) {
  std::mt19937 rng(99);
  for (const Case& c : Cases()) {
    SkdData data = Records(c.points, rng);
    testing::FakeTarget nearest(c.queries), interpolated(c.queries);
    testing::Shown shown;
    ASSERT_TRUE(ApplyFindNearest(data, nearest, shown.Host()));
    float coverage = CoverageDistance(data, interpolated);
    float want = 0;
    for (host::Point3 q : c.queries) want = std::max(want, reference::ScanNearest(q, c.points).distance);
    ASSERT_EQ(coverage, want) << c.name;
    const float threshold = 1.5f;
    const float radius = std::min(threshold * coverage, 3.0f);
    ASSERT_TRUE(ApplyInterpolateWeights(data, interpolated, shown.Host(), radius, threshold));
    for (std::size_t v = 0; v < c.queries.size(); ++v) {
      ScanHit hit = reference::ScanNearest(c.queries[v], c.points);
      std::vector<std::pair<std::string, float>> expect;
      if (hit.index >= 0)
        for (const BoneWeight& b : RecordWeights(data.records[static_cast<std::size_t>(hit.index)]))
          expect.emplace_back(std::string(b.bone), b.weight);
      ASSERT_EQ(nearest.written[static_cast<int>(v)].bones, expect) << c.name << " vertex " << v;

      auto candidates = reference::InterpolationCandidates(c.queries[v], c.points, radius, threshold);
      std::vector<const SkdRecord*> kept;
      std::vector<float> distances;
      for (auto& cand : candidates)
        kept.push_back(&data.records[cand.record]), distances.push_back(cand.distance);
      expect.clear();
      for (const BoneWeight& b : InterpolatedWeights(kept, distances))
        expect.emplace_back(std::string(b.bone), b.weight);
      ASSERT_EQ(interpolated.written[static_cast<int>(v)].bones, expect) << c.name << " vertex " << v;
      ASSERT_EQ(interpolated.written[static_cast<int>(v)].writes, 1);
    }
  }
}

}  // namespace
}  // namespace vorlan::skintools
