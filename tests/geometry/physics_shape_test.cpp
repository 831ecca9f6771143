// Worked examples of the physics shape: each one's answer follows from the geometry by hand.
#include "geometry/physics_shape.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geometry/physics_test_shapes.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
using testing::AddAll;
using testing::BoxTriangles;
using testing::FourCC;

CollisionModel Decode(const PhysicsShape& shape) {
  std::string error;
  auto m = ReadCollisionModel(shape.Buffer(), &error);
  EXPECT_TRUE(m.has_value()) << error;
  return m.value_or(CollisionModel{});
}

TEST(PhysicsShapeCalls, BeginAddFinishFollowTheirOrder) {
  PhysicsShape s;
  EXPECT_FALSE(s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0));
  EXPECT_FALSE(s.AddSphere({0, 0, 0}, 1, 0));
  EXPECT_FALSE(s.SetCenterOfMass({1, 2, 3}));
  EXPECT_FALSE(s.Finish(0));
  ASSERT_TRUE(s.Begin(20, 20, 20));
  EXPECT_FALSE(s.Begin(20, 20, 20));
  EXPECT_TRUE(s.AddSphere({0, 0, 0}, 1, 0));
  EXPECT_TRUE(s.Finish(0));
  EXPECT_FALSE(s.IsBegun());
  EXPECT_TRUE(s.HasModel());

  // A new Begin forgets everything of the earlier shape.
  ASSERT_TRUE(s.Begin(20, 20, 20));
  EXPECT_TRUE(s.Primitives().empty());
  EXPECT_FALSE(s.HasModel());
  EXPECT_EQ(s.BufferSize(), 0u);
  EXPECT_EQ(s.Volume(), 0.0f);
  EXPECT_TRUE(s.Samples().empty());
}

TEST(PhysicsShapeCalls, EmptyShapeFinishesWithNothingBuilt) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  EXPECT_TRUE(s.Finish(0.025f));
  EXPECT_FALSE(s.HasModel());
  EXPECT_EQ(s.BufferSize(), 0u);
  EXPECT_EQ(s.Volume(), 0.0f);
}

TEST(PhysicsShapeCalls, RefusedInputChangesNothing) {
  const float nan = std::nanf(""), inf = INFINITY;
  PhysicsShape s;
  EXPECT_FALSE(s.Begin(0, 20, 20));
  EXPECT_FALSE(s.Begin(20, -1, 20));
  EXPECT_FALSE(s.Begin(1024, 1024, 1024));  // too many lattice points to keep
  ASSERT_TRUE(s.Begin(20, 20, 20));
  EXPECT_FALSE(s.AddTriangle({nan, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0));
  EXPECT_FALSE(s.AddTriangle({0, 0, 0}, {inf, 0, 0}, {0, 1, 0}, 0));
  EXPECT_FALSE(s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 2e9f, 0}, 0));
  EXPECT_FALSE(s.AddSphere({0, 0, 0}, -1, 0));
  EXPECT_FALSE(s.AddSphere({0, 0, 0}, nan, 0));
  EXPECT_FALSE(s.AddSphere({0, -inf, 0}, 1, 0));
  EXPECT_FALSE(s.SetCenterOfMass({nan, 0, 0}));
  EXPECT_TRUE(s.Primitives().empty());
  EXPECT_FALSE(s.CenterOfMassIsExplicit());

  AddAll(s, BoxTriangles({0, 0, 0}, {1, 1, 1}));
  EXPECT_FALSE(s.Finish(nan));
  EXPECT_FALSE(s.Finish(inf));
  EXPECT_TRUE(s.IsBegun());
  EXPECT_EQ(s.Primitives().size(), 12u);
  EXPECT_TRUE(s.Finish(0));
  EXPECT_NEAR(s.Volume(), 1.0f, 1e-4f);
}

TEST(PhysicsShapeCube, TopologyPlanesAndCreases) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, BoxTriangles({0, 0, 0}, {1, 1, 1}), FourCC("IRON"));
  ASSERT_TRUE(s.Finish(0));
  const CollisionModel& m = s.Model();
  EXPECT_EQ(m.vertices.size(), 8u);
  EXPECT_EQ(m.edges.size(), 18u);
  EXPECT_EQ(m.triangles.size(), 12u);
  EXPECT_EQ(m.planes.size(), 6u);

  int crease_edges = 0;
  for (const CollisionEdge& e : m.edges) {
    Point3 d = m.vertices[e.a].position - m.vertices[e.b].position;
    bool outline = std::fabs(host::Dot(d, d) - 1.0f) < 1e-4f;  // diagonals are sqrt(2) long
    EXPECT_EQ(e.crease, outline ? 1 : 0);
    EXPECT_EQ(e.planes[0] == e.planes[1], !outline);
    crease_edges += e.crease;
  }
  EXPECT_EQ(crease_edges, 12);
  for (const CollisionVertex& v : m.vertices) {
    EXPECT_EQ(v.crease, 1);
    EXPECT_EQ(v.planes.size(), 3u);  // the three faces at a corner
  }
  // Both triangles of a face name the face's plane; vertices name it by its first triangle.
  for (std::size_t t = 0; t < 12; ++t) {
    EXPECT_EQ(m.triangles[t].plane, t / 2);
    EXPECT_EQ(m.triangles[t].surface, FourCC("IRON"));
    EXPECT_EQ(m.planes[t / 2].first_triangle, t / 2 * 2);
  }
  for (const CollisionVertex& v : m.vertices)
    for (uint32_t p : v.planes) EXPECT_EQ(p % 2, 0u);
}

TEST(PhysicsShapeCube, MassPropertiesAndWrittenInverseInertia) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, BoxTriangles({0, 0, 0}, {1, 1, 1}));
  ASSERT_TRUE(s.Finish(0));
  // Every one of the 20 x 20 x 20 lattice points is inside, each stands for 0.05^3.
  EXPECT_EQ(s.Samples().size(), 8000u);
  EXPECT_NEAR(s.Volume(), 1.0f, 1e-5f);
  EXPECT_NEAR(s.CenterOfMass().x, 0.5f, 1e-5f);
  EXPECT_NEAR(s.CenterOfMass().y, 0.5f, 1e-5f);
  EXPECT_NEAR(s.CenterOfMass().z, 0.5f, 1e-5f);
  // Lattice sums give 2 * 0.05^2 * (20^2 - 1) / 12 = 0.16625 instead of 1/6.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(s.Inertia()[std::size_t(r * 3 + c)], r == c ? 0.16625f : 0.0f, 1e-5f);

  CollisionModel written = Decode(s);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(written.inertia[std::size_t(r * 3 + c)], r == c ? 1.0f / 0.16625f : 0.0f, 1e-3f);
  // The buffer holds coordinates relative to the centre of mass.
  EXPECT_NEAR(written.bounds.min.x, -0.5f, 1e-5f);
  EXPECT_NEAR(written.bounds.max.z, 0.5f, 1e-5f);
  EXPECT_EQ(s.BufferSize(), 20u + 8 * (14 + 3 * 4) + 18 * 17 + 12 * 32 + 24 + 36);
}

TEST(PhysicsShapeCube, ExplicitCentreOfMassMovesEverything) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, BoxTriangles({0, 0, 0}, {1, 1, 1}));
  ASSERT_TRUE(s.SetCenterOfMass({1, 0, 0}));
  ASSERT_TRUE(s.Finish(0));
  EXPECT_EQ(s.CenterOfMass(), (Point3{1, 0, 0}));
  EXPECT_EQ(s.Model().bounds.min, (Point3{-1, 0, 0}));
  EXPECT_EQ(s.Model().bounds.max, (Point3{0, 1, 1}));
  // Inertia about the given point: Ixx = mean(y^2 + z^2) is unchanged by a shift along x.
  EXPECT_NEAR(s.Inertia()[0], 2 * (0.25f + 0.083125f), 1e-4f);
  EXPECT_NEAR(s.Inertia()[1], 0.25f, 1e-4f);  // -mean(xy) = -(-0.5 * 0.5)
}

TEST(PhysicsShapeWelding, CornersWithinTheToleranceBecomeOneVertex) {
  auto build = [](float offset) {
    PhysicsShape s;
    s.Begin(20, 20, 20);
    s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0);
    // The second triangle's corners sit `offset` away from the first one's along x.
    s.AddTriangle({1 + offset, 0, 0}, {1 + offset, 1, 0}, {0 + offset, 1, 0}, 0);
    s.Finish(0);
    return s.Model();
  };
  CollisionModel near = build(0.0009f);
  EXPECT_EQ(near.vertices.size(), 4u);
  EXPECT_EQ(near.edges.size(), 5u);
  // The shared edge is met first as 1 -> 2 and reused in the opposite direction.
  EXPECT_EQ(near.triangles[1].v[0], 1u);
  EXPECT_EQ(near.triangles[1].v[2], 2u);
  EXPECT_EQ(near.triangles[1].e[2], near.triangles[0].e[1]);
  CollisionModel far = build(0.0011f);
  EXPECT_EQ(far.vertices.size(), 6u);
  EXPECT_EQ(far.edges.size(), 6u);
}

TEST(PhysicsShapeWelding, TheFirstVertexInRangeWinsAndKeepsItsPosition) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  // Vertices 0 and 1 are 0.0016 apart; the corner at 0.0008 is within range of both.
  s.AddTriangle({0, 0, 0}, {0.0016f, 0, 0}, {0, 1, 0}, 0);
  s.AddTriangle({0.0008f, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0);
  ASSERT_TRUE(s.SetCenterOfMass({0, 0, 0}));
  ASSERT_TRUE(s.Finish(0));
  const CollisionModel& m = s.Model();
  EXPECT_EQ(m.triangles[1].v[0], 0u);
  EXPECT_EQ(m.vertices[0].position, (Point3{0, 0, 0}));
}

TEST(PhysicsShapeSphere, SphereOnlyShape) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  ASSERT_TRUE(s.AddSphere({2, 3, 4}, 1, FourCC("RUBR")));
  ASSERT_TRUE(s.Finish(0));
  EXPECT_NEAR(s.Volume(), 4.18879f, 0.05f);
  EXPECT_NEAR(s.CenterOfMass().x, 2.0f, 1e-4f);
  EXPECT_NEAR(s.CenterOfMass().z, 4.0f, 1e-4f);
  // A solid ball: 2/5 r^2 about every axis.
  EXPECT_NEAR(s.Inertia()[0], 0.4f, 0.01f);
  EXPECT_NEAR(s.Inertia()[4], 0.4f, 0.01f);
  EXPECT_NEAR(s.Inertia()[1], 0.0f, 1e-4f);

  const CollisionModel& m = s.Model();
  EXPECT_TRUE(m.vertices.empty());
  EXPECT_TRUE(m.triangles.empty());
  ASSERT_EQ(m.spheres.size(), 1u);
  EXPECT_EQ(m.spheres[0].surface, FourCC("RUBR"));
  EXPECT_NEAR(m.bounds.min.x, -1.0f, 1e-4f);
  EXPECT_NEAR(m.bounds.max.y, 1.0f, 1e-4f);
  EXPECT_EQ(s.BufferSize(), 20u + 20 + 24 + 36);
}

TEST(PhysicsShapeFlat, FlatMeshIsNotSampled) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  s.AddTriangle({0, 0, 2}, {4, 0, 2}, {4, 2, 2}, 0);
  s.AddTriangle({0, 0, 2}, {4, 2, 2}, {0, 2, 2}, 0);
  ASSERT_TRUE(s.Finish(0));
  EXPECT_TRUE(s.Samples().empty());
  EXPECT_EQ(s.Volume(), 0.0f);
  EXPECT_EQ(s.CenterOfMass(), (Point3{2, 1, 2}));
  CollisionModel written = Decode(s);
  for (float f : written.inertia) EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(s.Model().planes.size(), 1u);
  for (const CollisionEdge& e : s.Model().edges) EXPECT_EQ(e.crease, 0);
}

TEST(PhysicsShapeOpen, OpenEdgesCarryTheirOnePlaneTwice) {
  std::vector<testing::Tri> box = BoxTriangles({0, 0, 0}, {1, 1, 1});
  box.erase(box.begin() + 2, box.begin() + 4);  // no lid
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, box);
  ASSERT_TRUE(s.Finish(0));
  const CollisionModel& m = s.Model();
  EXPECT_EQ(m.planes.size(), 5u);
  int rim = 0;
  for (const CollisionEdge& e : m.edges) {
    bool top = m.vertices[e.a].position.z > 0 && m.vertices[e.b].position.z > 0;
    if (!top) continue;
    ++rim;
    EXPECT_EQ(e.planes[0], e.planes[1]);
    EXPECT_EQ(e.crease, 0);
  }
  EXPECT_EQ(rim, 4);
  // No ray from inside meets a lid, so nothing is inside; with a sampled lattice and no
  // samples the centre of mass stays at the origin.
  EXPECT_EQ(s.Volume(), 0.0f);
  EXPECT_EQ(s.CenterOfMass(), (Point3{0, 0, 0}));
}

TEST(PhysicsShapeSkin, BoxCornersMoveInAlongEveryAxisAndSpheresShrink) {
  PhysicsShape plain, skinned;
  for (PhysicsShape* s : {&plain, &skinned}) {
    ASSERT_TRUE(s->Begin(20, 20, 20));
    AddAll(*s, BoxTriangles({0, 0, 0}, {1, 1, 1}));
    s->AddSphere({0.5f, 0.5f, 0.5f}, 0.02f, 0);
    s->AddSphere({0.5f, 0.5f, 0.5f}, 0.5f, 0);
  }
  ASSERT_TRUE(plain.Finish(0));
  ASSERT_TRUE(skinned.Finish(0.025f));
  const CollisionModel& a = plain.Model();
  const CollisionModel& b = skinned.Model();
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (std::size_t i = 0; i < a.vertices.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      float before = a.vertices[i].position[k], after = b.vertices[i].position[k];
      EXPECT_NEAR(std::fabs(before - after), 0.025f, 1e-6f);
      EXPECT_LT(std::fabs(after), std::fabs(before));  // toward the centre
    }
  EXPECT_FLOAT_EQ(b.spheres[0].radius, 0.02f);
  EXPECT_FLOAT_EQ(b.spheres[1].radius, 0.475f);
  // The stored bounds are those before the skin.
  EXPECT_EQ(a.bounds.min, b.bounds.min);
  EXPECT_EQ(a.bounds.max, b.bounds.max);
}

TEST(PhysicsShapeSkin, ThinWallsStopBeforeFolding) {
  // A slab 0.03 thick cannot lose 0.025 on both faces: the full distance would turn its side
  // walls inside out, so the corners settle by bisection somewhere below 0.015.
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, BoxTriangles({0, 0, 0}, {1, 1, 0.03f}));
  ASSERT_TRUE(s.SetCenterOfMass({0.5f, 0.5f, 0.015f}));
  ASSERT_TRUE(s.Finish(0.025f));
  for (const CollisionVertex& v : s.Model().vertices) {
    float depth = 0.015f - std::fabs(v.position.z);
    EXPECT_GT(depth, 0.0f);
    EXPECT_LT(depth, 0.015f);
    EXPECT_GT(std::fabs(v.position.z), 0.0f);  // never crossed the middle
  }
}

TEST(PhysicsShapeSkin, BisectionEndsWhereFloatsAreCoarserThanItsTolerance) {
  // Pulled in by tens of millions of units, the corners land where floats are 2 apart and the
  // triangle's edges round away; the safe distance lies there too, and the midpoint of two
  // neighbouring floats rounds back onto one of them long before the interval reaches 0.001.
  // This used to bisect forever.
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(4, 4, 4));
  ASSERT_TRUE(s.AddTriangle({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 0));
  ASSERT_TRUE(s.SetCenterOfMass({0, 0, 0}));
  ASSERT_TRUE(s.Finish(53555624.0f));
  for (const CollisionVertex& v : s.Model().vertices) {
    EXPECT_TRUE(std::isfinite(v.position.x));
    EXPECT_LT(v.position.x, 0.0f);
  }
}

TEST(PhysicsShapeSkin, WeightSolveRaisesEveryRowToTheTarget) {
  std::vector<float> w;
  // Orthogonal planes: every weight is the target.
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  ASSERT_TRUE(SolveSkinWeights(identity, 3, 0.025f, w));
  for (float x : w) EXPECT_FLOAT_EQ(x, 0.025f);
  // Two normals at 60 degrees. Row 0 takes the whole target (x = 0.3, 0.15), row 1 the
  // missing 0.15 (x = 0.375, 0.3); then both rows reach the target and the solve stops. The
  // relaxation only ever adds, so a plane may move in further than asked, never less.
  const float sixty[4] = {1, 0.5f, 0.5f, 1};
  ASSERT_TRUE(SolveSkinWeights(sixty, 2, 0.3f, w));
  EXPECT_FLOAT_EQ(w[0], 0.3f);
  EXPECT_FLOAT_EQ(w[1], 0.15f);
  // Opposite normals cannot both move in: the solve never settles.
  const float opposite[4] = {1, -1, -1, 1};
  EXPECT_FALSE(SolveSkinWeights(opposite, 2, 0.025f, w));
  // A zero normal (degenerate triangle) cannot move its row at all.
  const float dead[4] = {1, 0, 0, 0};
  EXPECT_FALSE(SolveSkinWeights(dead, 2, 0.025f, w));
}

TEST(PhysicsShapeSkin, FailedSolveLeavesEverythingInPlace) {
  // Two opposite triangles on the same corners: every vertex has opposite normals.
  PhysicsShape plain, skinned;
  for (PhysicsShape* s : {&plain, &skinned}) {
    ASSERT_TRUE(s->Begin(20, 20, 20));
    s->AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0);
    s->AddTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, 0);
    s->AddSphere({0, 0, 0}, 1, 0);
  }
  ASSERT_TRUE(plain.Finish(0));
  ASSERT_TRUE(skinned.Finish(0.025f));
  EXPECT_EQ(std::vector<uint8_t>(plain.Buffer().begin(), plain.Buffer().end()),
            std::vector<uint8_t>(skinned.Buffer().begin(), skinned.Buffer().end()));
}

TEST(PhysicsShapeChoices, VertexWithMorePlanesThanARecordHolds) {
  // An open cone of 300 slices: the apex touches 300 planes.
  const int n = 300;
  PhysicsShape plain, skinned;
  for (PhysicsShape* s : {&plain, &skinned}) {
    ASSERT_TRUE(s->Begin(20, 20, 20));
    for (int i = 0; i < n; ++i) {
      float a0 = 6.2831853f * float(i) / n, a1 = 6.2831853f * float(i + 1) / n;
      s->AddTriangle({0, 0, 1}, {std::cos(a0), std::sin(a0), 0}, {std::cos(a1), std::sin(a1), 0}, 0);
    }
  }
  ASSERT_TRUE(plain.Finish(0));
  ASSERT_TRUE(skinned.Finish(0.025f));
  const CollisionModel& m = plain.Model();
  ASSERT_EQ(m.vertices[0].planes.size(), std::size_t(n));
  CollisionModel written = Decode(plain);
  ASSERT_EQ(written.vertices[0].planes.size(), 255u);
  for (uint32_t i = 0; i < 255; ++i) EXPECT_EQ(written.vertices[0].planes[i], i);
  // The skin is skipped for such a fan rather than solved on a 300 x 300 system.
  for (std::size_t i = 0; i < m.vertices.size(); ++i)
    EXPECT_EQ(skinned.Model().vertices[i].position, m.vertices[i].position);
}

TEST(PhysicsShapeChoices, TriangleWhoseEdgesShareNoPlaneKeepsItsOwn) {
  // Three fins on one edge: the edge's pair holds the first two fins' planes, which the third
  // fin's other edges do not.
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, 0);
  s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0.5f, 0, 1}, 0);
  s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0.5f, -1, 1}, 0);
  ASSERT_TRUE(s.Finish(0));
  const CollisionModel& m = s.Model();
  ASSERT_EQ(m.planes.size(), 3u);
  EXPECT_EQ(m.edges[0].planes[0], 0u);
  EXPECT_EQ(m.edges[0].planes[1], 1u);
  EXPECT_EQ(m.triangles[0].plane, 0u);
  EXPECT_EQ(m.triangles[1].plane, 1u);
  EXPECT_EQ(m.triangles[2].plane, 2u);
}

TEST(PhysicsShapeChoices, SingularInertiaIsWrittenAsZeros) {
  // Zero-radius spheres stretch the lattice so that a single column crosses the box: the
  // samples lie on one line and the inertia about it vanishes.
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  AddAll(s, BoxTriangles({2, 2, 2}, {3, 3, 3}));
  s.AddSphere({0, 0, 0}, 0, 0);
  s.AddSphere({100, 100, 0}, 0, 0);
  ASSERT_TRUE(s.Finish(0));
  EXPECT_EQ(s.Samples().size(), 7u);
  EXPECT_GT(s.Volume(), 1e-5f);
  EXPECT_EQ(s.Inertia()[8], 0.0f);
  CollisionModel written = Decode(s);
  for (float f : written.inertia) EXPECT_EQ(f, 0.0f);
}

TEST(PhysicsShapeChoices, DegenerateTrianglesGetTheirOwnPlanes) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  s.AddTriangle({0, 0, 0}, {1, 1, 1}, {2, 2, 2}, 0);  // collinear
  s.AddTriangle({0, 0, 0}, {0, 0, 0}, {2, 2, 2}, 0);  // two corners welded
  s.AddTriangle({5, 5, 5}, {5, 5, 5}, {5, 5, 5}, 0);  // a point
  ASSERT_TRUE(s.Finish(0.025f));
  const CollisionModel& m = s.Model();
  EXPECT_EQ(m.planes.size(), 3u);
  for (const CollisionPlane& p : m.planes) EXPECT_EQ(p.normal, (Point3{0, 0, 0}));
  for (const CollisionEdge& e : m.edges) EXPECT_EQ(e.crease, 0);
  EXPECT_TRUE(ReadCollisionModel(s.Buffer()).has_value());
}

TEST(PhysicsShapeBuffer, GoldenBytesOfATriangleAndAPointSphere) {
  PhysicsShape s;
  ASSERT_TRUE(s.Begin(20, 20, 20));
  ASSERT_TRUE(s.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, FourCC("WOOD")));
  ASSERT_TRUE(s.AddSphere({0.5f, 0.5f, 0}, 0, FourCC("STON")));
  ASSERT_TRUE(s.Finish(0));
  // Flat: no sampling, volume 0, centre of mass = centre of the bounds (0.5, 0.5, 0).
  const std::vector<uint8_t> expected = {
      0xAE, 0xBA, 0xAB, 0xFA,                          // magic
      3, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // vertices, edges, triangles, spheres
      // vertex (-0.5, -0.5, 0), one plane (first triangle 0), no crease
      0, 0, 0, 0xBF, 0, 0, 0, 0xBF, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,
      // vertex (0.5, -0.5, 0)
      0, 0, 0, 0x3F, 0, 0, 0, 0xBF, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,
      // vertex (-0.5, 0.5, 0)
      0, 0, 0, 0xBF, 0, 0, 0, 0x3F, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,
      // edges 0-1, 1-2, 2-0, each on plane 0 on both sides, no crease
      0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
      1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
      2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
      // triangle: vertices 0 1 2, edges 0 1 2, plane 0, "WOOD"
      0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 'W', 'O', 'O', 'D',
      // sphere at the centre of mass, radius 0, "STON"
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'T', 'O', 'N',
      // bounds (-0.5, -0.5, 0) .. (0.5, 0.5, 0)
      0, 0, 0, 0xBF, 0, 0, 0, 0xBF, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0, 0x3F, 0, 0, 0, 0,
      // inertia: zero, written as is because the volume is 0
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0};
  EXPECT_EQ(std::vector<uint8_t>(s.Buffer().begin(), s.Buffer().end()), expected);
}

}  // namespace
}  // namespace vorlan::geometry
