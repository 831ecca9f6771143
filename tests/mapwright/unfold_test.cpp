#include "mapwright/unfold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "mapwright/unfold_reference.h"

namespace mw = vorlan::mapwright;
using vorlan::host::Point3;

namespace {

double Len3(Point3 a, Point3 b) {
  return std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y) +
                   double(a.z - b.z) * (a.z - b.z));
}
double Len2(mw::Flat a, mw::Flat b) { return std::hypot(a.x - b.x, a.y - b.y); }

void ExpectEdgeLengthsKept(const std::vector<mw::Tri>& faces, const mw::UnfoldResult& r) {
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (!r.laid[f]) continue;
    for (int e = 0; e < 3; ++e)
      EXPECT_NEAR(Len2(r.flat[f][e], r.flat[f][(e + 1) % 3]), Len3(faces[f][e], faces[f][(e + 1) % 3]), 1e-4)
          << "face " << f << " edge " << e;
  }
}

double SignedArea(const mw::FlatTri& t) {
  return (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[1].y - t[0].y) * (t[2].x - t[0].x);
}

// A strip of `n` unit quads along x, folded up by 90 degrees at every other quad boundary.
std::vector<mw::Tri> FoldedStrip(int n) {
  auto at = [](int i, int top) {
    // Walk along x on even quads and up z on odd ones, so the strip zigzags in space.
    float x = float((i + 1) / 2), z = float(i / 2);
    return Point3{x, float(top), z};
  };
  std::vector<mw::Tri> faces;
  for (int i = 0; i < n; ++i) {
    faces.push_back({at(i, 0), at(i + 1, 0), at(i + 1, 1)});
    faces.push_back({at(i, 0), at(i + 1, 1), at(i, 1)});
  }
  return faces;
}

}  // namespace

TEST(Unfold, LaysAFoldedStripFlatKeepingEveryEdge) {
  std::vector<mw::Tri> faces = FoldedStrip(6);
  mw::UnfoldResult r = mw::Unfold(faces);
  ASSERT_EQ(std::count(r.laid.begin(), r.laid.end(), true), 12);
  ExpectEdgeLengthsKept(faces, r);
  // The first face sits at the origin along x; unfolded, the strip is a 6 x 1 rectangle.
  EXPECT_EQ(r.flat[0][0].x, 0);
  EXPECT_EQ(r.flat[0][0].y, 0);
  EXPECT_NEAR(r.flat[0][1].x, 1, 1e-12);
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (auto& t : r.flat)
    for (auto& p : t)
      minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y),
      maxY = std::max(maxY, p.y);
  EXPECT_NEAR(maxX - minX, 6, 1e-5);
  EXPECT_NEAR(maxY - minY, 1, 1e-5);
  // No face is laid over another: all keep the first face's orientation.
  for (auto& t : r.flat) EXPECT_GT(SignedArea(t) * SignedArea(r.flat[0]), 0);
}

TEST(Unfold, ReachesEveryFaceOfACubeAndSharedCornersMeet) {
  Point3 v[8];
  for (int i = 0; i < 8; ++i) v[i] = {float(i & 1) * 2, float((i >> 1) & 1) * 2, float((i >> 2) & 1) * 2};
  int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  std::vector<mw::Tri> faces;
  for (auto& q : quads) {
    faces.push_back({v[q[0]], v[q[1]], v[q[2]]});
    faces.push_back({v[q[0]], v[q[2]], v[q[3]]});
  }
  mw::UnfoldResult r = mw::Unfold(faces);
  EXPECT_EQ(std::count(r.laid.begin(), r.laid.end(), true), 12);
  ExpectEdgeLengthsKept(faces, r);
  // Each face after the first was laid across an edge of a face laid before it: its two
  // shared corners coincide with that face's.
  for (std::size_t f = 1; f < faces.size(); ++f) {
    int shared = 0;
    for (std::size_t g = 0; g < faces.size(); ++g)
      for (int a = 0; a < 3 && g != f; ++a)
        for (int b = 0; b < 3; ++b)
          if (faces[f][a] == faces[g][b] && Len2(r.flat[f][a], r.flat[g][b]) < 1e-9) ++shared;
    EXPECT_GE(shared, 2) << "face " << f;
  }
}

TEST(Unfold, FacesNotConnectedToTheFirstAreNotLaid) {
  std::vector<mw::Tri> faces = {{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
                                {{{5, 5, 0}, {6, 5, 0}, {5, 6, 0}}},   // apart
                                {{{1, 0, 0}, {0, 1, 0}, {1, 1, 0}}},   // shares 1-2 of the first
                                {{{0, 0, 0}, {9, 9, 9}, {8, 8, 8}}}};  // shares a corner only
  mw::UnfoldResult r = mw::Unfold(faces);
  EXPECT_EQ(r.laid, (std::vector<bool>{true, false, true, false}));
  EXPECT_TRUE(mw::Unfold({}).laid.empty());
}

TEST(Unfold, ThePlainScanAndTheEdgeTableLayOutAlike) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 120; ++round) {
    int w = 2 + int(rng() % 7), h = 2 + int(rng() % 7);
    // Heights from a few levels, so equal points and folded shapes both occur.
    std::vector<Point3> grid;
    for (int y = 0; y <= h; ++y)
      for (int x = 0; x <= w; ++x) grid.push_back({float(x), float(y), float(rng() % 3) * 0.5f});
    auto P = [&](int x, int y) { return grid[std::size_t(y * (w + 1) + x)]; };
    std::vector<mw::Tri> faces;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        faces.push_back({P(x, y), P(x + 1, y), P(x + 1, y + 1)});
        faces.push_back({P(x, y), P(x + 1, y + 1), P(x, y + 1)});
      }
    // Extra faces: duplicates (edges shared by three faces), degenerate ones, -0 for 0.
    for (int k = 0; k < int(rng() % 4); ++k) faces.push_back(faces[rng() % faces.size()]);
    faces.push_back({P(0, 0), P(0, 0), P(1, 0)});
    faces.push_back({Point3{-0.0f, 0, P(0, 0).z}, P(1, 0), Point3{0.5f, -1, 0}});
    std::shuffle(faces.begin(), faces.end(), rng);
    for (auto& f : faces) std::rotate(f.begin(), f.begin() + rng() % 3, f.end());

    mw::UnfoldResult fast = mw::Unfold(faces);
    mw::UnfoldResult plain = mw::reference::UnfoldByScanning(faces);
    ASSERT_EQ(fast.laid, plain.laid) << "round " << round;
    for (std::size_t f = 0; f < faces.size(); ++f)
      for (int k = 0; k < 3 && fast.laid[f]; ++k) {
        ASSERT_EQ(fast.flat[f][k].x, plain.flat[f][k].x) << "round " << round << " face " << f;
        ASSERT_EQ(fast.flat[f][k].y, plain.flat[f][k].y) << "round " << round << " face " << f;
      }
  }
}
