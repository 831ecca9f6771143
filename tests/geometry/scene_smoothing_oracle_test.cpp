// The grid search against the plain quadratic search on random scenes: byte-identical
// images and identical results, including the order-dependent re-merging and the failure
// on too many matches.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "geometry/scene_smoothing.h"
#include "scene_smoothing_reference.h"
#include "zef_image_builder.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
using zeftest::ImageVertex;

struct RandomScene {
  std::vector<uint8_t> image;
  std::vector<SmoothItem> items;
};

host::Matrix3 RandomPlacement(std::mt19937& rng) {
  std::uniform_real_distribution<float> angle(-3.2f, 3.2f), shift(-2.0f, 2.0f), scale(0.5f, 2.0f);
  switch (rng() % 4) {
    case 0:
      return host::Matrix3();
    case 1:
      return host::Matrix3::Translation({shift(rng), shift(rng), shift(rng)});
    case 2:
      return host::Matrix3::RotationZ(angle(rng)) * host::Matrix3::RotationX(angle(rng)) *
             host::Matrix3::Translation({shift(rng), 0, shift(rng)});
    default: {
      host::Matrix3 m = host::Matrix3::Scale({scale(rng), rng() % 2 ? -1.0f : 1.0f, scale(rng)});
      return m * host::Matrix3::RotationY(angle(rng));
    }
  }
}

// Positions snap to a coarse lattice in scene space and are then nudged by amounts around
// the tolerance (0.0009, 0.001, 0.0011 and random small ones), so that many vertices lie
// exactly at, just inside and just outside each other's reach.
RandomScene MakeRandomScene(std::mt19937& rng) {
  static const char* kNames[] = {"A_wall", "A_roof", "B_wall", "A_wall", "A", "", "Ab", "B_roof"};
  static const float kNudges[] = {0.0f, 0.0009f, -0.0009f, 0.001f, -0.001f, 0.0011f, 0.0004f, 0.00099f};
  zeftest::ZefImageBuilder b;
  int itemCount = 1 + rng() % 6;
  // Crowded scenes put every vertex near one of few points, so that small objects run into
  // the match limit.
  int spread = rng() % 2 == 0 ? 1 : 3;
  std::vector<host::Matrix3> placements;
  std::vector<std::vector<Point3>> scenePositions;
  std::vector<int> entered;  // nodes that carry an entry, so each has an item
  for (int n = 0; n < itemCount; ++n) {
    host::Matrix3 place = RandomPlacement(rng);
    host::Matrix3 toLocal = host::Inverse(place);
    placements.push_back(place);
    b.BeginNode(kNames[rng() % 8]);
    // Crowded objects all share group 1 and merge widely.
    float angle = spread == 1 ? 1.5f + float(rng() % 10) * 0.1f : 0.2f + float(rng() % 30) * 0.1f;
    std::string props = "SMOOTH=" + std::to_string(angle) + (spread == 1 ? ",1" : "");
    int groups = rng() % 4;
    for (int g = 0; g < groups; ++g) props += "," + std::to_string(rng() % 4);
    bool entry = rng() % 10 != 0;
    if (entry) entered.push_back(n);
    b.BeginGObj(entry ? props : "no entry");
    int parts = 1 + rng() % 2;
    int channels = rng() % 3;
    std::vector<Point3> scene;
    for (int part = 0; part < parts; ++part) {
      std::vector<ImageVertex> vertices;
      int count = 3 * (1 + (spread == 1 ? rng() % 3 : rng() % 12));
      for (int i = 0; i < count; ++i) {
        Point3 p{float(rng() % spread) * 0.5f, float(rng() % spread) * 0.5f, float(rng() % 2) * 0.5f};
        if (rng() % 2) p.x += kNudges[rng() % 8];
        if (rng() % 3 == 0) p.y += kNudges[rng() % 8];
        if (rng() % 4 == 0) p.z += kNudges[rng() % 8];
        scene.push_back(p);
        Point3 n = host::Normalize(Point3{float(int(rng() % 5) - 2), float(int(rng() % 5) - 2), 1.0f});
        if (rng() % 40 == 0) n = {};  // a degenerate face
        ImageVertex v{toLocal.PointTransform(p), toLocal.VectorTransform(n), {}};
        for (int c = 0; c < 2 * channels; ++c) v.uv.push_back(float(rng() % 100) / 100.0f);
        vertices.push_back(v);
      }
      b.AddGBlock(vertices, part);
    }
    b.EndGObj();
    b.EndNode();
    scenePositions.push_back(scene);
  }
  RandomScene s;
  s.image = b.Finish(static_cast<uint32_t>(itemCount));
  s.items = CollectSmoothItems(s.image);
  if (s.items.size() != entered.size()) ADD_FAILURE() << "every node with an entry has an item";
  for (std::size_t k = 0; k < s.items.size() && k < entered.size(); ++k) {
    SmoothItem& item = s.items[k];
    int n = entered[k];
    item.positionTM = placements[n];
    item.directionTM = placements[n];
    item.directionTM.NoTrans();
    item.worldBox = host::Box3();
    for (Point3 p : scenePositions[n]) item.worldBox.Include(p);
    if (rng() % 8 == 0) item.worldBox = host::Box3();  // an object without a box meets nothing
    if (rng() % 8 == 0) item.worldBox.max.x -= 0.6f;   // a box that misses some of its vertices
  }
  return s;
}

TEST(SmoothOracle, GridSearchMatchesThePlainSearch) {
  std::mt19937 rng(2024);
  int failures = 0, merged = 0;
  for (int round = 0; round < 1500; ++round) {
    RandomScene s = MakeRandomScene(rng);
    bool lods = rng() % 3 == 0;
    auto expected = s.image;
    zeftest::RecordingUI refUi, ui;
    int want = zeftest::RefSmooth(s.items, expected, lods, refUi);
    auto before = s.image;
    int got = Smooth(s.items, s.image, lods, ui);
    ASSERT_EQ(got, want) << "round " << round;
    ASSERT_EQ(ui.shown.size(), refUi.shown.size()) << "round " << round;
    ASSERT_TRUE(s.image == expected) << "round " << round;
    failures += got;
    merged += before != s.image;
  }
  // The random scenes must exercise both outcomes, or the comparison proves little.
  EXPECT_GT(failures, 10);
  EXPECT_GT(merged, 500);
}

}  // namespace
}  // namespace vorlan::geometry
