#include "geometry/glass_adjacency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geometry/glass_adjacency_reference.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
using reference::ReferenceBuild;
using reference::RefResult;

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

// Two triangles covering the unit square whose lower left corner is (x, y, 0).
void AddSquare(GlassAdjacency& g, uint32_t pane, float x, float y) {
  Point3 a{x, y, 0}, b{x + 1, y, 0}, c{x + 1, y + 1, 0}, d{x, y + 1, 0};
  ASSERT_TRUE(g.AddTriangle(pane, a, b, c));
  ASSERT_TRUE(g.AddTriangle(pane, a, c, d));
}

// ---- Payload bytes worked out by hand ------------------------------------------------

TEST(GlassAdjacencyPayload, TwoSquaresSideBySideShareOneSide) {
  GlassAdjacency g;
  AddSquare(g, 0, 0, 0);
  AddSquare(g, 1, 1, 0);
  ASSERT_TRUE(g.Build());
  // n = 2; matrix 0 1 / 1 0; each pane keeps three free sides, so both are open.
  EXPECT_EQ(Bytes(g.Payload()), (std::vector<uint8_t>{2, 0, 0, 0, 0, 1, 1, 0, 1, 1}));
  EXPECT_EQ(g.PayloadSize(), 10u);

  // Pane 0: a->b, b->c (shared right side), c->a (diagonal), a->c (diagonal), c->d, d->a.
  using S = GlassEdgeState;
  std::vector<S> want0{S::kOutline, S::kShared, S::kInterior, S::kInterior, S::kOutline, S::kOutline};
  std::vector<S> want1{S::kOutline, S::kOutline, S::kInterior, S::kInterior, S::kOutline, S::kShared};
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(g.Edges(0)[k].state, want0[k]) << "pane 0 edge " << k;
    EXPECT_EQ(g.Edges(1)[k].state, want1[k]) << "pane 1 edge " << k;
  }
}

TEST(GlassAdjacencyPayload, SinglePaneIsOpenAndAlone) {
  GlassAdjacency g;
  AddSquare(g, 0, 5, 5);
  ASSERT_TRUE(g.Build());
  EXPECT_EQ(Bytes(g.Payload()), (std::vector<uint8_t>{1, 0, 0, 0, 0, 1}));
}

TEST(GlassAdjacencyPayload, PaneCoveredOnEverySideIsClosed) {
  // The same square twice: every outline side of pane 0 pairs with one of pane 1, and pane
  // 2 far away touches nobody.
  GlassAdjacency g;
  AddSquare(g, 0, 0, 0);
  AddSquare(g, 1, 0, 0);
  AddSquare(g, 2, 10, 0);
  ASSERT_TRUE(g.Build());
  EXPECT_EQ(Bytes(g.Payload()), (std::vector<uint8_t>{3, 0, 0, 0,  //
                                                      0, 1, 0,     //
                                                      1, 0, 0,     //
                                                      0, 0, 0,     //
                                                      0, 0, 1}));
}

TEST(GlassAdjacencyPayload, NoPaneGivesOnlyTheCount) {
  GlassAdjacency g;
  ASSERT_TRUE(g.Build());
  EXPECT_EQ(Bytes(g.Payload()), (std::vector<uint8_t>{0, 0, 0, 0}));
}

// ---- When there is no payload --------------------------------------------------------

TEST(GlassAdjacencyBuild, EmptyPaneBelowTheCountGivesNoPayloadUntilFilled) {
  GlassAdjacency g;
  AddSquare(g, 0, 0, 0);
  AddSquare(g, 2, 1, 0);
  EXPECT_EQ(g.PaneCount(), 3u);
  EXPECT_FALSE(g.Build());
  EXPECT_FALSE(g.IsBuilt());
  EXPECT_EQ(g.PayloadSize(), 0u);

  // Still open for triangles: filling pane 1 makes the build go through.
  AddSquare(g, 1, 0, 5);
  ASSERT_TRUE(g.Build());
  EXPECT_EQ(g.PayloadSize(), 4u + 9u + 3u);
}

TEST(GlassAdjacencyBuild, FrozenAfterBuild) {
  GlassAdjacency g;
  AddSquare(g, 0, 0, 0);
  ASSERT_TRUE(g.Build());
  auto before = Bytes(g.Payload());
  EXPECT_FALSE(g.AddTriangle(1, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}));
  EXPECT_FALSE(g.Build());
  EXPECT_EQ(Bytes(g.Payload()), before);
  EXPECT_EQ(g.PaneCount(), 1u);
}

TEST(GlassAdjacencyBuild, PaneIndexBeyondTheSizeFieldIsRefused) {
  GlassAdjacency g;
  EXPECT_FALSE(g.AddTriangle(GlassAdjacency::kMaxPanes, {}, {1, 0, 0}, {0, 1, 0}));
  EXPECT_FALSE(g.AddTriangle(std::numeric_limits<uint32_t>::max(), {}, {1, 0, 0}, {0, 1, 0}));
  EXPECT_EQ(g.PaneCount(), 0u);
}

// ---- Matching tolerance ----------------------------------------------------------------

TEST(GlassAdjacencyTolerance, SidesWithinAThousandthMatchAndBeyondDoNot) {
  for (float shift : {0.0009f, -0.0009f, 0.0011f, -0.0011f}) {
    GlassAdjacency g;
    AddSquare(g, 0, 0, 0);
    // Pane 1 moved along the shared side's normal and along it: both ends move alike.
    AddSquare(g, 1, 1 + shift, 0);
    ASSERT_TRUE(g.Build());
    const bool near = std::fabs(shift) < 0.001f;
    EXPECT_EQ(g.Payload()[5], near ? 1 : 0) << shift;
    EXPECT_EQ(g.Payload()[6], near ? 1 : 0) << shift;
  }
}

TEST(GlassAdjacencyTolerance, DiagonalWithinAThousandthIsInterior) {
  for (float shift : {0.0009f, 0.0011f}) {
    GlassAdjacency g;
    Point3 a{0, 0, 0}, b{1, 0, 0}, c{1, 1, 0}, d{0, 1, 0};
    ASSERT_TRUE(g.AddTriangle(0, a, b, c));
    ASSERT_TRUE(g.AddTriangle(0, a + Point3{0, 0, shift}, c, d));  // same diagonal, reversed
    ASSERT_TRUE(g.Build());
    const auto want = shift < 0.001f ? GlassEdgeState::kInterior : GlassEdgeState::kOutline;
    EXPECT_EQ(g.Edges(0)[2].state, want) << shift;
    EXPECT_EQ(g.Edges(0)[3].state, want) << shift;
  }
}

TEST(GlassAdjacencyTolerance, NonFiniteCornersNeverMatch) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  GlassAdjacency g;
  Point3 bad[] = {{nan, 0, 0}, {inf, 0, 0}, {-inf, inf, 0}};
  for (Point3 p : bad) {
    ASSERT_TRUE(g.AddTriangle(0, p, {1, 0, 0}, {0, 1, 0}));
    ASSERT_TRUE(g.AddTriangle(1, p, {1, 0, 0}, {0, 1, 0}));
  }
  ASSERT_TRUE(g.Build());
  // Only the finite side (1,0,0)-(0,1,0) can pair: three copies in each pane pair up
  // inside the pane (two interior, one outline), and the outline copies pair across.
  EXPECT_EQ(Bytes(g.Payload()), (std::vector<uint8_t>{2, 0, 0, 0, 0, 1, 1, 0, 1, 1}));
  for (const GlassEdge& e : g.Edges(0))
    if (!std::isfinite(e.start.x + e.start.y + e.end.x + e.end.y)) {
      EXPECT_EQ(e.state, GlassEdgeState::kOutline);
    }
}

// ---- The hashed search against the plain one ------------------------------------------

struct RandomScene {
  std::vector<std::vector<GlassEdge>> panes;
  GlassAdjacency builder;
};

// Corners on a coarse lattice so that many edges coincide, nudged by amounts around the
// tolerance, with occasional degenerate and non-finite corners and interleaved panes.
void MakeRandomScene(std::mt19937& rng, RandomScene& s) {
  std::uniform_int_distribution<int> pane_count(1, 6), tri_count(1, 14), lattice(0, 3), pick(0, 99);
  const float nudges[] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0009f, -0.0009f, 0.0011f, -0.0011f, 0.0005f, 0.001f};
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
  auto corner = [&]() {
    Point3 p{static_cast<float>(lattice(rng)) * 0.5f, static_cast<float>(lattice(rng)) * 0.5f,
             static_cast<float>(lattice(rng) / 3)};
    int r = pick(rng);
    if (r < 30) p[pick(rng) % 3] += nudges[pick(rng) % 10];
    if (r == 99) p[pick(rng) % 3] = specials[pick(rng) % 5];
    return p;
  };
  const int n = pane_count(rng);
  s.panes.assign(static_cast<std::size_t>(n), {});
  std::vector<int> order;
  for (int p = 0; p < n; ++p)
    for (int t = tri_count(rng); t > 0; --t) order.push_back(p);
  std::shuffle(order.begin(), order.end(), rng);
  for (int p : order) {
    Point3 a = corner(), b = corner(), c = corner();
    if (pick(rng) < 5) c = a;  // zero-area
    int dup = pick(rng);
    if (dup < 10 && !s.panes[static_cast<std::size_t>(p)].empty()) {
      // Repeat an earlier edge of this pane or of another one, possibly reversed.
      auto& src = s.panes[static_cast<std::size_t>(pick(rng) % n)];
      if (!src.empty()) {
        const GlassEdge& e = src[static_cast<std::size_t>(pick(rng)) % src.size()];
        a = dup < 5 ? e.start : e.end;
        b = dup < 5 ? e.end : e.start;
      }
    }
    auto& edges = s.panes[static_cast<std::size_t>(p)];
    edges.push_back({a, b});
    edges.push_back({b, c});
    edges.push_back({c, a});
    ASSERT_TRUE(s.builder.AddTriangle(static_cast<uint32_t>(p), a, b, c));
  }
}

TEST(GlassAdjacencyOracle, HashedSearchEqualsPlainSearchOnRandomPanes) {
  std::mt19937 rng(20240611);
  int shared_seen = 0;
  for (int iter = 0; iter < 3000; ++iter) {
    RandomScene s;
    MakeRandomScene(rng, s);
    if (HasFatalFailure()) return;
    RefResult want = ReferenceBuild(s.panes);
    ASSERT_TRUE(s.builder.Build()) << iter;
    ASSERT_EQ(Bytes(s.builder.Payload()), want.payload) << "iteration " << iter;
    for (std::size_t p = 0; p < want.panes.size(); ++p) {
      auto got = s.builder.Edges(p);
      ASSERT_EQ(got.size(), want.panes[p].size());
      for (std::size_t k = 0; k < got.size(); ++k) {
        ASSERT_EQ(got[k].state, want.panes[p][k].state)
            << "iteration " << iter << " pane " << p << " edge " << k;
        shared_seen += got[k].state == GlassEdgeState::kShared;
      }
    }
  }
  EXPECT_GT(shared_seen, 1000);  // the generator really exercises the cross-pane step
}

}  // namespace
}  // namespace vorlan::geometry
