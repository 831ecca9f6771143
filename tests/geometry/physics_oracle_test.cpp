// The hashed and column-based stages against the plain searches, on random inputs built to
// sit on the edges of every tolerance: corners 0.0009 and 0.0011 apart, normals tilted
// around the coplanarity limit, points just off a plane, lattice rays through triangle
// corners and edges, degenerate and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "geometry/physics_reference.h"
#include "geometry/physics_shape.h"
#include "geometry/physics_test_shapes.h"

namespace vorlan::geometry {
namespace {

using host::Point3;

bool Same(Point3 a, Point3 b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameTopology(const CollisionTopology& fast, const CollisionTopology& ref) {
  const CollisionModel& a = fast.model;
  const CollisionModel& b = ref.model;
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (std::size_t i = 0; i < a.vertices.size(); ++i) {
    ASSERT_TRUE(Same(a.vertices[i].position, b.vertices[i].position)) << "vertex " << i;
    ASSERT_EQ(a.vertices[i].planes, b.vertices[i].planes) << "vertex " << i;
  }
  ASSERT_EQ(a.edges.size(), b.edges.size());
  for (std::size_t i = 0; i < a.edges.size(); ++i) {
    ASSERT_EQ(a.edges[i].a, b.edges[i].a);
    ASSERT_EQ(a.edges[i].b, b.edges[i].b);
  }
  ASSERT_EQ(a.triangles.size(), b.triangles.size());
  for (std::size_t i = 0; i < a.triangles.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(a.triangles[i].v[k], b.triangles[i].v[k]);
      ASSERT_EQ(a.triangles[i].e[k], b.triangles[i].e[k]);
    }
  ASSERT_EQ(a.planes.size(), b.planes.size());
  for (std::size_t i = 0; i < a.planes.size(); ++i) {
    ASSERT_TRUE(Same(a.planes[i].normal, b.planes[i].normal));
    ASSERT_EQ(a.planes[i].first_triangle, b.planes[i].first_triangle);
  }
  ASSERT_EQ(fast.triangle_planes, ref.triangle_planes);
}

Point3 RandomDirection(std::mt19937& rng) {
  std::normal_distribution<float> n(0, 1);
  for (;;) {
    Point3 d{n(rng), n(rng), n(rng)};
    if (host::Dot(d, d) > 1e-4f) return host::Normalize(d);
  }
}

// Corners that often land just inside or just outside the welding distance of an earlier one,
// around the given offset (cell boundaries of the grid fall anywhere for large offsets).
std::vector<Point3> WeldingCorners(std::mt19937& rng, int triangles, Point3 origin, float spread) {
  const float gaps[] = {0, 0.0005f, 0.0009f, 0.00099f, 0.001f, 0.00101f, 0.0011f, 0.0019f, 0.002f, 0.0021f};
  std::uniform_real_distribution<float> u(0, 1);
  std::vector<Point3> corners;
  for (int i = 0; i < 3 * triangles; ++i) {
    if (corners.empty() || u(rng) < 0.3f) {
      corners.push_back(origin + Point3{u(rng), u(rng), u(rng)} * spread);
      continue;
    }
    Point3 base = corners[rng() % corners.size()];
    Point3 dir = u(rng) < 0.3f ? Point3{u(rng) < 0.5f ? 1.0f : -1.0f, 0, 0} : RandomDirection(rng);
    corners.push_back(base + dir * gaps[rng() % std::size(gaps)]);
  }
  return corners;
}

// Triangles on a few planes, with normals tilted around the coplanarity limit (about 0.002
// rad), corners slightly off the plane, flipped windings and degenerate triangles.
std::vector<Point3> PlaneCorners(std::mt19937& rng, int triangles, float scale) {
  const float tilts[] = {0, 1e-4f, 1e-3f, 1.9e-3f, 2e-3f, 2.1e-3f, 3e-3f};
  const float lifts[] = {0, 1e-7f, 1e-6f, 3e-6f, 1e-5f};
  std::uniform_real_distribution<float> u(-1, 1);
  struct Base {
    Point3 n, o;
  };
  std::vector<Base> bases;
  for (int i = 0; i < 4; ++i) bases.push_back({RandomDirection(rng), Point3{u(rng), u(rng), u(rng)} * scale});
  bases.push_back({{0, 0, 1}, {0, 0, 0}});  // axis planes give exact normals
  bases.push_back({{0, 0, 1}, {0, 0, scale * 0.25f}});
  auto frame = [](Point3 n, Point3& e1, Point3& e2) {
    e1 = host::Normalize(host::Cross(n, std::fabs(n.x) < 0.9f ? Point3{1, 0, 0} : Point3{0, 1, 0}));
    e2 = host::Cross(n, e1);
  };
  std::vector<Point3> corners;
  for (int t = 0; t < triangles; ++t) {
    const Base& b = bases[rng() % bases.size()];
    Point3 n = host::Normalize(b.n + RandomDirection(rng) * tilts[rng() % std::size(tilts)]);
    Point3 e1, e2, b1, b2;
    frame(n, e1, e2);
    frame(b.n, b1, b2);
    const float lift = lifts[rng() % std::size(lifts)] * scale * (u(rng) < 0 ? -1.0f : 1.0f);
    Point3 p[3];
    if (rng() % 2) {
      // The first corner on the base plane, far out, and the triangle tilted about it: the
      // plane offsets then differ by up to the tilt times the distance from the origin.
      p[0] = b.o + b1 * (u(rng) * scale * 2) + b2 * (u(rng) * scale * 2) + b.n * lift;
    } else {
      p[0] = b.o + n * lift + e1 * (u(rng) * scale) + e2 * (u(rng) * scale);
    }
    for (int k = 1; k < 3; ++k) p[k] = p[0] + e1 * (u(rng) * scale) + e2 * (u(rng) * scale);
    if (rng() % 2) std::swap(p[1], p[2]);
    if (rng() % 12 == 0) p[2] = p[1];  // degenerate
    corners.insert(corners.end(), p, p + 3);
  }
  return corners;
}

TEST(PhysicsOracle, TopologyMatchesThePlainSearchesNearTheWeldingDistance) {
  std::mt19937 rng(1);
  const Point3 origins[] = {{0, 0, 0}, {-0.001f, 0.001f, 0.002f}, {1000, -1000, 5}, {250000, 3, -7}};
  for (int round = 0; round < 120; ++round) {
    std::vector<Point3> corners =
        WeldingCorners(rng, 20 + round * 2, origins[round % 4], round % 3 == 0 ? 0.01f : 0.004f);
    CollisionTopology fast, ref;
    BuildCollisionTopology(corners, fast);
    reference::BuildCollisionTopology(corners, ref);
    ExpectSameTopology(fast, ref);
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

TEST(PhysicsOracle, TopologyMatchesThePlainSearchesNearTheCoplanarityLimits) {
  std::mt19937 rng(2);
  const float scales[] = {0.01f, 1, 50, 20000};
  for (int round = 0; round < 160; ++round) {
    std::vector<Point3> corners = PlaneCorners(rng, 30 + round, scales[round % 4]);
    CollisionTopology fast, ref;
    BuildCollisionTopology(corners, fast);
    reference::BuildCollisionTopology(corners, ref);
    ExpectSameTopology(fast, ref);
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

TEST(PhysicsOracle, TopologyOfTinyAndHugeCoordinates) {
  // Cross products that underflow give normals that are neither unit nor zero; those go the
  // slow way and must still agree.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (float scale : {1e-12f, 1e-19f, 1e-22f, 3e-23f, 1e-30f, 1e8f, 9.9e8f}) {
    std::vector<Point3> corners;
    for (int i = 0; i < 3 * 60; ++i) corners.push_back(Point3{u(rng), u(rng), u(rng)} * scale);
    for (int i = 0; i < 30; ++i) corners.push_back(corners[rng() % corners.size()]);
    corners.resize(corners.size() / 3 * 3);
    CollisionTopology fast, ref;
    BuildCollisionTopology(corners, fast);
    reference::BuildCollisionTopology(corners, ref);
    ExpectSameTopology(fast, ref);
    if (HasFatalFailure()) FAIL() << "scale " << scale;
  }
}

// Frames the shape in [0, 1]^3 with two point spheres, so that the lattice is known in advance
// and triangle corners can be put on lattice lines, where rays graze corners and edges.
struct LatticeShape {
  int resolution;
  std::vector<ShapePrimitive> primitives;
  std::vector<float> axis;

  explicit LatticeShape(int r) : resolution(r), axis(LatticeAxis(0, 1, 1.0f / float(r))) {
    ShapePrimitive frame{.kind = PrimitiveKind::kSphere};
    primitives.push_back(frame);
    frame.center = {1, 1, 1};
    primitives.push_back(frame);
  }
  void Triangle(Point3 a, Point3 b, Point3 c) {
    primitives.push_back(ShapePrimitive{.kind = PrimitiveKind::kTriangle, .corners = {a, b, c}});
  }
  void Sphere(Point3 c, float r) {
    primitives.push_back(ShapePrimitive{.kind = PrimitiveKind::kSphere, .center = c, .radius = r});
  }
};

void RandomLatticeShape(std::mt19937& rng, LatticeShape& s) {
  std::uniform_real_distribution<float> u(0, 1);
  auto coordinate = [&]() {
    float v = s.axis[rng() % s.axis.size()];
    switch (rng() % 4) {
      case 0:
        return u(rng);
      case 1:
        return v;  // exactly on a lattice line
      case 2:
        return std::nextafter(v, rng() % 2 ? 2.0f : -1.0f);
      default:
        return (v + s.axis[rng() % s.axis.size()]) / 2;
    }
  };
  auto point = [&]() { return Point3{coordinate(), coordinate(), coordinate()}; };
  const int kind = static_cast<int>(rng() % 4);
  if (kind == 0) {
    for (int i = 0; i < 40; ++i) s.Triangle(point(), point(), point());
  } else if (kind == 1) {
    Point3 lo = point(), hi = point();
    for (const auto& t : testing::BoxTriangles(lo, hi)) s.Triangle(t.a, t.b, t.c);
    for (const auto& t : testing::BoxTriangles(point(), point())) s.Triangle(t.a, t.b, t.c);
  } else if (kind == 2) {
    Point3 c{0.3f + 0.4f * u(rng), 0.3f + 0.4f * u(rng), 0.3f + 0.4f * u(rng)};
    for (const auto& t : testing::SphereTriangles(c, 0.1f + 0.19f * u(rng), static_cast<int>(rng() % 3)))
      s.Triangle(t.a, t.b, t.c);
    s.Sphere(point(), 0.2f * u(rng));
  } else {
    // Walls: nearly vertical triangles whose determinant sits around the 1e-5 limit, plus
    // flat caps and shared edges with flipped windings.
    for (int i = 0; i < 30; ++i) {
      Point3 a = point(), b = point();
      float lean = std::ldexp(1.0f, -static_cast<int>(rng() % 24));
      Point3 c = a + Point3{lean * (u(rng) - 0.5f), lean * (u(rng) - 0.5f), 0.5f * u(rng)};
      c = {std::clamp(c.x, 0.0f, 1.0f), std::clamp(c.y, 0.0f, 1.0f), std::clamp(c.z, 0.0f, 1.0f)};
      s.Triangle(a, b, c);
      s.Triangle(b, a, point());
    }
  }
}

TEST(PhysicsOracle, ColumnSamplingCountsTheSameHitsAsEveryRayAgainstEveryTriangle) {
  std::mt19937 rng(4);
  for (int round = 0; round < 150; ++round) {
    LatticeShape s(4 + static_cast<int>(rng() % 13));
    RandomLatticeShape(rng, s);
    SampleLattice lattice{s.axis, s.axis, s.axis};
    if (round % 5 == 0) lattice.y = LatticeAxis(0, 1, 1.0f / 7);  // columns off the x lattice
    std::vector<Point3> fast, ref;
    FastShapeStages().sample(s.primitives, lattice, fast);
    reference::SampleInterior(s.primitives, lattice, ref);
    ASSERT_EQ(fast.size(), ref.size()) << "round " << round;
    for (std::size_t i = 0; i < fast.size(); ++i) ASSERT_TRUE(Same(fast[i], ref[i])) << "round " << round;
  }
}

std::vector<uint8_t> Bytes(const PhysicsShape& s) { return {s.Buffer().begin(), s.Buffer().end()}; }

TEST(PhysicsOracle, WholeShapesGiveTheSameBytes) {
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> u(0, 1);
  const float nan = std::nanf(""), inf = INFINITY;
  for (int round = 0; round < 80; ++round) {
    LatticeShape s(6 + static_cast<int>(rng() % 9));
    RandomLatticeShape(rng, s);
    if (round % 3 == 0) {
      std::vector<Point3> weld = WeldingCorners(rng, 10, {0.5f, 0.5f, 0.5f}, 0.01f);
      for (std::size_t i = 0; i + 2 < weld.size(); i += 3) s.Triangle(weld[i], weld[i + 1], weld[i + 2]);
      std::vector<Point3> planes = PlaneCorners(rng, 20, 0.3f);
      for (std::size_t i = 0; i + 2 < planes.size(); i += 3)
        s.Triangle(planes[i] + Point3{0.5f, 0.5f, 0.5f}, planes[i + 1] + Point3{0.5f, 0.5f, 0.5f},
                   planes[i + 2] + Point3{0.5f, 0.5f, 0.5f});
    }
    const float skin = round % 2 ? 0.025f : 0.0f;
    const Point3 com{u(rng), u(rng), u(rng)};
    PhysicsShape fast, ref;
    for (PhysicsShape* shape : {&fast, &ref}) {
      ASSERT_TRUE(shape->Begin(s.resolution, s.resolution + 1, s.resolution - 1));
      if (round % 10 == 9) continue;  // empty shape
      for (const ShapePrimitive& p : s.primitives) {
        if (p.kind == PrimitiveKind::kSphere)
          ASSERT_TRUE(shape->AddSphere(p.center, p.radius, 7));
        else
          ASSERT_TRUE(shape->AddTriangle(p.corners[0], p.corners[1], p.corners[2], 9));
      }
      EXPECT_FALSE(shape->AddTriangle({nan, 0, 0}, {0, 0, 0}, {1, 1, 1}, 0));
      EXPECT_FALSE(shape->AddSphere({0, inf, 0}, 1, 0));
      if (round % 4 == 1) {
        ASSERT_TRUE(shape->SetCenterOfMass(com));
      }
    }
    ASSERT_TRUE(fast.Finish(skin));
    ASSERT_TRUE(ref.Finish(skin, reference::Stages()));
    ASSERT_EQ(fast.Samples().size(), ref.Samples().size()) << "round " << round;
    EXPECT_EQ(fast.Volume(), ref.Volume());
    EXPECT_TRUE(Same(fast.CenterOfMass(), ref.CenterOfMass()));
    ASSERT_EQ(Bytes(fast), Bytes(ref)) << "round " << round;
    if (round % 10 != 9) {
      EXPECT_TRUE(ReadCollisionModel(fast.Buffer())) << "round " << round;
    }
  }
}

TEST(PhysicsOracle, ClosedSphereMeshMatchesWithSkin) {
  for (int levels : {1, 2}) {
    PhysicsShape fast, ref;
    for (PhysicsShape* s : {&fast, &ref}) {
      ASSERT_TRUE(s->Begin(16, 17, 18));
      testing::AddAll(*s, testing::SphereTriangles({0.2f, -0.1f, 0.3f}, 1.5f, levels), 3);
    }
    ASSERT_TRUE(fast.Finish(0.025f));
    ASSERT_TRUE(ref.Finish(0.025f, reference::Stages()));
    // An inscribed polyhedron: a little less than the ball.
    const float ball = 4.18879f * 1.5f * 1.5f * 1.5f;
    EXPECT_GT(fast.Volume(), 0.85f * ball);
    EXPECT_LT(fast.Volume(), 1.02f * ball);
    ASSERT_EQ(Bytes(fast), Bytes(ref)) << "levels " << levels;
  }
}

}  // namespace
}  // namespace vorlan::geometry
