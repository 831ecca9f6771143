#include "geometry/collision_design.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "geometry/collision_design_reference.h"
#include "geometry/physics_shape.h"
#include "geometry/physics_test_shapes.h"
#include "support/bytes.h"

namespace vorlan::geometry {
namespace {

using host::Box3;
using host::Point3;
using reference::PlainMerge;
using reference::PlainRemove;
using reference::PlainSweep;

const std::vector<uint8_t> kCross = {0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0};

CollisionModel SphereModel(Point3 c, float radius) {
  CollisionModel m;
  m.spheres.push_back({c, radius, 0});
  m.bounds.Include(c - Point3{radius, radius, radius});
  m.bounds.Include(c + Point3{radius, radius, radius});
  return m;
}

// Vertices and triangles as given; bounds around the vertices.
CollisionModel MeshModel(std::vector<Point3> verts, std::vector<std::array<uint32_t, 3>> tris) {
  CollisionModel m;
  for (Point3 p : verts) {
    m.vertices.push_back({p, {}, 0});
    m.bounds.Include(p);
  }
  for (auto& t : tris) {
    CollisionTriangle tri;
    std::copy(t.begin(), t.end(), tri.v);
    m.triangles.push_back(tri);
  }
  return m;
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }
uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
bool SameBits(Point3 a, Point3 b) {
  return Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z);
}

// ---- Save buffer bytes laid out by hand --------------------------------------------------

TEST(CollisionDesignBuffer, OneSphereGivesOneGlobeOfTheBodysVolume) {
  // A sphere of radius 1 at (1, 2, 3) and no triangles: one base centre, no surface points
  // (rays hit triangles only). With V = 4.1886667 (0x4086098f), 3 V / 12.566 is 1 within
  // 4e-8, so r = 1 exactly; the globe volume 12.566 / 3 rounds back to V; the bounds are a
  // cube of side 2, so the bounding radius is sqrt(12) / 2 + 1 = 2.7320509 (0x402ed9ec).
  CollisionDesign d;
  d.build(SphereModel({1, 2, 3}, 1.0f), 4.1886667f);
  ASSERT_FALSE(d.failed()) << d.error_text();
  ASSERT_EQ(d.base_centers().size(), 1u);
  EXPECT_TRUE(d.inter_centers().empty());
  EXPECT_EQ(d.globe_radius(), 1.0f);
  const std::vector<uint8_t> want = {
      0x8f, 0x09, 0x86, 0x40,                                                  // volume
      0xec, 0xd9, 0x2e, 0x40,                                                  // bounding radius
      0x8f, 0x09, 0x86, 0x40,                                                  // globe volume
      0x00, 0x00, 0x80, 0x3f,                                                  // globe radius 1
      0x01, 0x00, 0x00, 0x00,                                                  // one globe
      0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0x40,                          // centre (1, 2,
      0x00, 0x00, 0x40, 0x40,                                                  //   3)
      0x0c, 0x00, 0x00, 0x00,                                                  // 12 section cells
      0,    1,    1,    0,    1,    1,    1,    1,    1, 1, 1, 1, 0, 1, 1, 0,  // the cross
  };
  EXPECT_EQ(Bytes(d.save_buffer()), want);
}

TEST(CollisionDesignBuffer, GoldenBytesOfTwoMergedVertices) {
  // Two vertices 0.5 apart and a volume that makes r exactly 1 for two globes:
  // 3 V / (2 x 12.566) = 1 with V = 8.3773333 rounds to r within one ulp of 1, which still
  // merges them into their midpoint (0.25, 0, 0); the loop then settles with one globe.
  CollisionDesign d;
  d.build(MeshModel({{0, 0, 0}, {0.5f, 0, 0}}, {}), 8.3773333f);
  ASSERT_FALSE(d.failed()) << d.error_text();
  ASSERT_EQ(d.base_centers().size(), 1u);
  EXPECT_TRUE(SameBits(d.base_centers()[0], {0.25f, 0, 0}));

  const auto buf = d.save_buffer();
  ASSERT_EQ(buf.size(), 52u);
  EXPECT_EQ(support::LoadF32(buf.data()), 8.3773333f);
  const float r = support::LoadF32(buf.data() + 12);
  EXPECT_NEAR(r, std::cbrt(2.0f), 1e-5f);                  // one globe now carries the whole volume
  EXPECT_EQ(support::LoadF32(buf.data() + 4), 0.25f + r);  // half the diagonal 0.5, plus r
  EXPECT_EQ(support::LoadU32(buf.data() + 16), 1u);
  const uint8_t centre[12] = {0, 0, 0x80, 0x3e, 0, 0, 0, 0, 0, 0, 0, 0};  // 0.25f = 0x3e800000
  EXPECT_EQ(std::memcmp(buf.data() + 20, centre, 12), 0);
  EXPECT_EQ(support::LoadU32(buf.data() + 32), 12u);
  EXPECT_EQ(Bytes(buf.subspan(36)), kCross);
}

TEST(CollisionDesignBuffer, SectionMaskIsTheCrossForAnyRadius) {
  for (float volume : {1e-30f, 1e-3f, 1.0f, 4.18879f, 1e6f, 1e30f}) {
    CollisionDesign d;
    d.build(SphereModel({}, 1), volume);
    ASSERT_FALSE(d.failed()) << volume;
    EXPECT_EQ(Bytes(d.section_mask()), kCross) << volume;
    EXPECT_EQ(d.section_count(), 12u);
  }
}

// ---- Failures ------------------------------------------------------------------------

TEST(CollisionDesignFailure, VolumeNotAboveZeroFailsWithItsTextAndWritesNothing) {
  struct Case {
    float volume;
    const char* text;
  } cases[] = {{0.0f, "build() - volume of collision design is wrong (0.00 <= 0)"},
               {-1.5f, "build() - volume of collision design is wrong (-1.50 <= 0)"}};
  for (const Case& c : cases) {
    CollisionDesign d;
    d.build(SphereModel({}, 1), c.volume);
    EXPECT_TRUE(d.failed());
    EXPECT_EQ(d.error_text(), c.text);
    EXPECT_EQ(d.save_buffer_size(), 0u);
    // A failed design stays failed: a later good build does nothing.
    d.build(SphereModel({}, 1), 4.0f);
    EXPECT_TRUE(d.failed());
    EXPECT_EQ(d.error_text(), c.text);
    EXPECT_EQ(d.save_buffer_size(), 0u);
  }
  CollisionDesign nan;
  nan.build(SphereModel({}, 1), std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(nan.failed());
  EXPECT_EQ(nan.save_buffer_size(), 0u);
}

TEST(CollisionDesignFailure, ModelWithoutVerticesOrSpheres) {
  CollisionDesign d;
  d.build(CollisionModel{}, 1.0f);
  EXPECT_TRUE(d.failed());
  EXPECT_EQ(d.error_text(),
            "build() - condition for collision design 'num_vertices + num_globes >= 1' failed (0 + 0 < 1)");
  EXPECT_EQ(d.save_buffer_size(), 0u);
}

TEST(CollisionDesignFailure, UnusableInputFailsInsteadOfWritingGarbage) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  auto fails_with = [](const CollisionModel& m, float volume, const char* start) {
    CollisionDesign d;
    d.build(m, volume);
    EXPECT_TRUE(d.failed());
    EXPECT_EQ(d.error_text().rfind(start, 0), 0u) << d.error_text();
    EXPECT_EQ(d.save_buffer_size(), 0u);
  };
  const char* coords = "build() - collision model of collision design has coordinates";
  fails_with(MeshModel({{0, 0, 0}, {nan, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}), 1.0f, coords);
  fails_with(SphereModel({inf, 0, 0}, 1), 1.0f, coords);
  fails_with(SphereModel({2e18f, 0, 0}, 1), 1.0f, coords);
  CollisionModel no_bounds = MeshModel({{0, 0, 0}}, {});
  no_bounds.bounds = Box3{};  // never filled in: min above max
  fails_with(no_bounds, 1.0f, coords);
  fails_with(MeshModel({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 7}}), 1.0f,
             "build() - collision model of collision design has a triangle with a missing vertex (7)");
  fails_with(SphereModel({}, 1), inf,
             "build() - volume of collision design is not finite or too large (inf)");
  // A rod a million units long and a hundredth thick would need about 10^13 rays per sweep.
  fails_with(MeshModel({{0, 0, 0}, {1e6f, 0.01f, 0.01f}}, {}), 1.0f,
             "build() - collision design needs more than 1048576 rays in one sweep");
}

// ---- From a finished physics shape ----------------------------------------------------

CollisionModel RandomMesh(std::mt19937& rng);  // below, with the oracle tests

// What a settled design guarantees, whatever the body: the globes' total volume is the
// body's volume, and no surface point lies within one radius of a base centre or of another
// surface point (a pass that changes nothing has compared all those pairs).
void ExpectSettled(const CollisionDesign& d, float volume) {
  const float r = d.globe_radius();
  const std::size_t n = d.base_centers().size() + d.inter_centers().size();
  EXPECT_NEAR(d.globe_volume() * static_cast<float>(n), volume, volume * 1e-5f);
  for (std::size_t i = 0; i < d.inter_centers().size(); ++i) {
    const Point3 p = d.inter_centers()[i];
    for (Point3 b : d.base_centers()) EXPECT_GE(host::Length(p - b), r * 0.99999f);
    for (std::size_t j = i + 1; j < d.inter_centers().size(); ++j)
      EXPECT_GE(host::Length(p - d.inter_centers()[j]), r * 0.99999f);
  }
  EXPECT_EQ(d.save_buffer_size(), 40 + 12 * n);
  EXPECT_EQ(support::LoadU32(d.save_buffer().data() + 16), n);
}

TEST(CollisionDesignShape, UnitCubeGivesCornersAndSurfacePoints) {
  PhysicsShape shape;
  ASSERT_TRUE(shape.Begin(20, 20, 20));
  testing::AddAll(shape, testing::BoxTriangles({0, 0, 0}, {1, 1, 1}));
  ASSERT_TRUE(shape.Finish(0.0f));
  ASSERT_NEAR(shape.Volume(), 1.0f, 1e-3f);

  CollisionDesign d;
  d.build(shape.Model(), shape.Volume());
  ASSERT_FALSE(d.failed()) << d.error_text();
  // The model is centred: bounds +-0.5, sweep box +-0.4, h = 0.4, steps 0.4, so each sweep
  // casts 3 x 3 rays and all of them hit a face.
  EXPECT_TRUE(SameBits(d.ray_steps(), {0.4f, 0.4f, 0.4f}));
  EXPECT_EQ(d.base_centers().size(), 8u);  // corners are 1 apart, far more than r
  // Of the 54 hits, the 8 per face next to its corners go (closer than r to a corner); the
  // pairs next to each cube edge merge into one point on that edge's inward diagonal, and
  // the face centres stay: 12 + 6 points, all within the cube.
  EXPECT_EQ(d.inter_centers().size(), 18u);
  const Box3& b = shape.Model().bounds;
  for (Point3 p : d.inter_centers())
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(p[k], b.min[k]);
      EXPECT_LE(p[k], b.max[k]);
    }
  ExpectSettled(d, shape.Volume());
}

TEST(CollisionDesignShape, SkinnedSphereMeshSettles) {
  PhysicsShape shape;
  ASSERT_TRUE(shape.Begin(20, 20, 20));
  testing::AddAll(shape, testing::SphereTriangles({3, -1, 2}, 2.0f, 2));
  ASSERT_TRUE(shape.Finish(0.025f));
  CollisionDesign d;
  d.build(shape.Model(), shape.Volume());
  ASSERT_FALSE(d.failed()) << d.error_text();
  ExpectSettled(d, shape.Volume());
}

TEST(CollisionDesignShape, AnyInputEndsInABufferOrAFailure) {
  // Random models with non-finite and extreme coordinates, empty parts and odd volumes:
  // either a failure with a text and no bytes, or a buffer of finite numbers.
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> pick(0, 99);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            1e30f,
                            -1e17f,
                            0.0f,
                            1e-30f};
  const float volumes[] = {0.0f, -1.0f, 1e-30f, 0.5f,
                           3.0f, 1e6f,  1e31f,  std::numeric_limits<float>::quiet_NaN()};
  int built = 0;
  for (int iter = 0; iter < 300; ++iter) {
    CollisionModel m = pick(rng) < 10 ? CollisionModel{} : RandomMesh(rng);
    if (pick(rng) < 20) m.spheres.push_back({{1, 1, 1}, 0.5f, 0});
    if (pick(rng) < 15 && !m.vertices.empty())
      m.vertices[static_cast<std::size_t>(pick(rng)) % m.vertices.size()].position[pick(rng) % 3] =
          specials[pick(rng) % 7];
    if (pick(rng) < 5) m.bounds.max[pick(rng) % 3] = specials[pick(rng) % 7];
    const float volume = volumes[pick(rng) % 8];
    CollisionDesign d;
    d.build(m, volume);
    if (d.failed()) {
      EXPECT_FALSE(d.error_text().empty());
      EXPECT_EQ(d.save_buffer_size(), 0u);
      continue;
    }
    ++built;
    const auto buf = d.save_buffer();
    ASSERT_GE(buf.size(), 40u);
    const std::size_t n = support::LoadU32(buf.data() + 16);
    ASSERT_EQ(buf.size(), 40 + 12 * n);
    for (std::size_t off = 0; off < 20 + 12 * n; off += 4) {
      if (off == 16) continue;  // the globe count
      ASSERT_TRUE(std::isfinite(support::LoadF32(buf.data() + off))) << iter << " at " << off;
    }
  }
  EXPECT_GT(built, 50);
}

// ---- Sweep lattice ---------------------------------------------------------------------

TEST(CollisionDesignSweep, ThinAxisCollapsesToOnePlaneWithTheSmallestStep) {
  // A flat 2 x 2 square at z = 0: the shrunk box is inverted on z and collapses to its
  // maximum, -0.1, where the step is 0.001; h is 0.3, so the x and y steps halve from 1.8
  // to 0.45.
  CollisionModel m = MeshModel({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
  DesignSweepLattice lattice;
  ASSERT_TRUE(PlanDesignSweeps(m.bounds, CollisionDesign::kMaxRaysPerSweep, lattice));
  EXPECT_EQ(lattice.sweep_box.min.z, -0.1f);
  EXPECT_EQ(lattice.sweep_box.max.z, -0.1f);
  EXPECT_EQ(lattice.steps.x, 0.45f);
  EXPECT_EQ(lattice.steps.y, 0.45f);
  EXPECT_EQ(lattice.steps.z, 0.001f);
  EXPECT_EQ(lattice.walk[0], (std::vector<float>{-0.9f, -0.45f, 0.0f, 0.45f, 0.9f}));
  EXPECT_EQ(lattice.walk[2], (std::vector<float>{-0.1f}));

  // Both z sweeps hit the square at every one of their 25 rays; the rays along x and y run
  // parallel to it, 0.1 below, and hit nothing.
  std::size_t counts[6];
  for (int s = 0; s < 6; ++s) {
    std::vector<Point3> hits;
    SweepDesignSurface(m, lattice, s, hits);
    counts[s] = hits.size();
    for (Point3 p : hits) EXPECT_EQ(p.z, 0.0f);
  }
  EXPECT_EQ(std::vector<std::size_t>(counts, counts + 6), (std::vector<std::size_t>{25, 25, 0, 0, 0, 0}));

  CollisionDesign d;
  d.build(m, 0.5f);
  ASSERT_FALSE(d.failed()) << d.error_text();
  EXPECT_TRUE(SameBits(d.ray_steps(), {0.45f, 0.45f, 0.001f}));
}

TEST(CollisionDesignSweep, EachRayKeepsItsNearestHit) {
  // Two parallel squares; the +z rays meet the lower one first, the -z rays the upper one.
  std::vector<Point3> v = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0},
                           {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}};
  CollisionModel m = MeshModel(v, {{4, 5, 6}, {4, 6, 7}, {0, 1, 2}, {0, 2, 3}});
  DesignSweepLattice lattice;
  ASSERT_TRUE(PlanDesignSweeps(m.bounds, CollisionDesign::kMaxRaysPerSweep, lattice));
  std::vector<Point3> up, down;
  SweepDesignSurface(m, lattice, 0, up);
  SweepDesignSurface(m, lattice, 1, down);
  ASSERT_FALSE(up.empty());
  ASSERT_EQ(up.size(), down.size());
  for (Point3 p : up) EXPECT_EQ(p.z, 0.0f);
  for (Point3 p : down) EXPECT_EQ(p.z, 1.0f);
}

// ---- The fast searches against the plain loops -------------------------------------------

// Random meshes that provoke the rounding cases: corners on lattice lines and on each
// other, shared edges, repeated triangles, slivers whose determinant is near the 1e-5 cut,
// zero-area triangles, and an offset that moves everything away from the origin.
CollisionModel RandomMesh(std::mt19937& rng) {
  std::uniform_real_distribution<float> coord(-2, 2), unit(0, 1);
  std::uniform_int_distribution<int> pick(0, 99);
  const float offsets[] = {0, 0, 37.5f, -1000.25f, 65536.0f};
  const Point3 offset{offsets[pick(rng) % 5], offsets[pick(rng) % 5], offsets[pick(rng) % 5]};
  std::vector<Point3> v;
  v.push_back(offset + Point3{-2, -2, -2});  // fixes the bounds so that corners can sit on
  v.push_back(offset + Point3{2, 2, 2});     // lattice lines
  DesignSweepLattice lattice;
  Box3 box;
  box.Include(v[0]);
  box.Include(v[1]);
  PlanDesignSweeps(box, CollisionDesign::kMaxRaysPerSweep, lattice);
  auto random_point = [&]() {
    Point3 p = offset + Point3{coord(rng), coord(rng), coord(rng)};
    for (int k = 0; k < 3; ++k)
      if (pick(rng) < 40) {
        const auto& w = lattice.walk[static_cast<std::size_t>(k)];
        p[k] = w[static_cast<std::size_t>(pick(rng)) % w.size()];
      }
    return p;
  };
  std::vector<std::array<uint32_t, 3>> tris;
  const int count = 1 + pick(rng) % 40;
  for (int t = 0; t < count; ++t) {
    const int kind = pick(rng);
    auto add = [&](Point3 p) {
      v.push_back(p);
      return static_cast<uint32_t>(v.size() - 1);
    };
    if (kind < 15 && !tris.empty()) {  // shares an edge with an earlier triangle
      auto prev = tris[static_cast<std::size_t>(pick(rng)) % tris.size()];
      tris.push_back({prev[1], prev[0], add(random_point())});
    } else if (kind < 20 && !tris.empty()) {  // the same triangle again
      tris.push_back(tris[static_cast<std::size_t>(pick(rng)) % tris.size()]);
    } else if (kind < 40) {  // a sliver: the third corner just off the line of the first two
      Point3 a = random_point(), b = random_point();
      Point3 c = a + (b - a) * unit(rng);
      const float off = std::ldexp(1.0f, -(pick(rng) % 24));
      c[pick(rng) % 3] += pick(rng) % 2 ? off : -off;
      tris.push_back({add(a), add(b), add(c)});
    } else if (kind < 45) {  // zero area
      Point3 a = random_point();
      tris.push_back({add(a), add(a), add(random_point())});
    } else {
      tris.push_back({add(random_point()), add(random_point()), add(random_point())});
    }
  }
  return MeshModel(v, tris);
}

TEST(CollisionDesignOracle, SweepsEqualThePlainLoopOverTriangles) {
  std::mt19937 rng(7);
  std::size_t total_hits = 0;
  for (int iter = 0; iter < 400; ++iter) {
    CollisionModel m = RandomMesh(rng);
    DesignSweepLattice lattice;
    ASSERT_TRUE(PlanDesignSweeps(m.bounds, CollisionDesign::kMaxRaysPerSweep, lattice));
    for (int s = 0; s < 6; ++s) {
      std::vector<Point3> fast, plain;
      SweepDesignSurface(m, lattice, s, fast);
      PlainSweep(m, lattice, s, plain);
      ASSERT_EQ(fast.size(), plain.size()) << "iteration " << iter << " sweep " << s;
      for (std::size_t k = 0; k < fast.size(); ++k)
        ASSERT_TRUE(SameBits(fast[k], plain[k])) << "iteration " << iter << " sweep " << s << " hit " << k;
      total_hits += fast.size();
    }
  }
  EXPECT_GT(total_hits, 10000u);
}

TEST(CollisionDesignOracle, SliverHitsOutsideTheTrianglesBoxAreKept) {
  // Through rounding, the ray test accepts some rays that pass just outside a sliver's box
  // (by up to about 1% of its length near a sharp tip). Collect slivers whose tip sits next to
  // a +z ray of the lattice so that the ray misses the box yet hits; the sweep must keep them.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coord(-1.9f, 1.9f), unit(0, 1);
  std::vector<Point3> v = {{-2, -2, -2}, {2, 2, 2}};
  std::vector<std::array<uint32_t, 3>> tris;
  Box3 box;
  box.Include(v[0]);
  box.Include(v[1]);
  DesignSweepLattice lattice;
  ASSERT_TRUE(PlanDesignSweeps(box, CollisionDesign::kMaxRaysPerSweep, lattice));
  const Point3 up{0, 0, 1};
  for (int attempt = 0; attempt < 200000 && tris.size() < 40; ++attempt) {
    const float x0 = lattice.walk[0][rng() % lattice.walk[0].size()];
    const float y0 = lattice.walk[1][rng() % lattice.walk[1].size()];
    const float near = std::ldexp(1.0f, -static_cast<int>(8 + rng() % 16));
    const Point3 b{x0 + (rng() % 2 ? near : -near) * unit(rng), y0 + (rng() % 2 ? near : -near) * unit(rng),
                   coord(rng)};
    const Point3 a{coord(rng), coord(rng), coord(rng)};
    Point3 c = a + (b - a) * unit(rng);
    c[static_cast<int>(rng() % 3)] += std::ldexp(1.0f, -static_cast<int>(rng() % 20)) * (rng() % 2 ? 1 : -1);
    const bool outside = x0 < std::min({a.x, b.x, c.x}) || x0 > std::max({a.x, b.x, c.x}) ||
                         y0 < std::min({a.y, b.y, c.y}) || y0 > std::max({a.y, b.y, c.y});
    float t;
    if (!outside || !RayHitsTriangle({x0, y0, -2.1f}, up, a, b, c, &t)) continue;
    v.insert(v.end(), {a, b, c});
    const auto k = static_cast<uint32_t>(v.size() - 3);
    tris.push_back({k, k + 1, k + 2});
  }
  ASSERT_GE(tris.size(), 10u);
  CollisionModel m = MeshModel(v, tris);
  std::vector<Point3> fast, plain;
  SweepDesignSurface(m, lattice, 0, fast);
  PlainSweep(m, lattice, 0, plain);
  ASSERT_EQ(fast.size(), plain.size());
  for (std::size_t k = 0; k < fast.size(); ++k) EXPECT_TRUE(SameBits(fast[k], plain[k])) << k;
}

TEST(CollisionDesignOracle, MergingAndRemovalEqualThePlainScans) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> coord(-3, 3), radius(0.01f, 2.0f);
  std::uniform_int_distribution<int> pick(0, 99);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
  for (int iter = 0; iter < 2000; ++iter) {
    const std::size_t n = static_cast<std::size_t>(pick(rng) * 3);
    std::vector<Point3> pts;
    for (std::size_t k = 0; k < n; ++k) {
      if (!pts.empty() && pick(rng) < 10) {
        pts.push_back(pts[static_cast<std::size_t>(pick(rng)) % pts.size()]);  // coincident
      } else {
        pts.push_back({coord(rng), coord(rng), pick(rng) < 30 ? 0.0f : coord(rng)});
        if (pick(rng) < 3) pts.back()[pick(rng) % 3] = specials[pick(rng) % 3];  // never merges
      }
    }
    const int kind = pick(rng);
    const float r = kind < 3 ? 0.0f : kind < 5 ? specials[1] : radius(rng);
    std::vector<Point3> fast = pts, plain = pts;
    ASSERT_EQ(MergeDesignCenters(fast, r), PlainMerge(plain, r)) << iter;
    ASSERT_EQ(fast.size(), plain.size());
    for (std::size_t k = 0; k < fast.size(); ++k)
      ASSERT_TRUE(SameBits(fast[k], plain[k])) << iter << " " << k;

    std::vector<Point3> centers(pts.begin(), pts.begin() + static_cast<std::ptrdiff_t>(n / 3));
    std::vector<Point3> rest(pts.begin() + static_cast<std::ptrdiff_t>(n / 3), pts.end());
    std::vector<Point3> fast_rest = rest, plain_rest = rest;
    ASSERT_EQ(RemoveDesignPointsNear(fast_rest, centers, r), PlainRemove(plain_rest, centers, r)) << iter;
    ASSERT_EQ(fast_rest.size(), plain_rest.size());
    for (std::size_t k = 0; k < fast_rest.size(); ++k) ASSERT_TRUE(SameBits(fast_rest[k], plain_rest[k]));
  }
}

TEST(CollisionDesignMerge, TwoCentresHalfAUnitApartMergeIntoTheirMidpoint) {
  std::vector<Point3> c = {{0, 0, 0}, {0.5f, 0, 0}};
  EXPECT_EQ(MergeDesignCenters(c, 1.0f), 1u);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_TRUE(SameBits(c[0], {0.25f, 0, 0}));
  // Exactly one radius apart is not closer than r.
  std::vector<Point3> apart = {{0, 0, 0}, {1, 0, 0}};
  EXPECT_EQ(MergeDesignCenters(apart, 1.0f), 0u);
  EXPECT_EQ(apart.size(), 2u);
}

// The whole build of the Part's steps with the plain searches, as an oracle for the bytes.
std::vector<uint8_t> PlainBuild(const CollisionModel& m, float volume) {
  std::vector<Point3> base, inter;
  for (const auto& v : m.vertices) base.push_back(v.position);
  for (const auto& s : m.spheres) base.push_back(s.center);
  DesignSweepLattice lattice;
  if (!PlanDesignSweeps(m.bounds, CollisionDesign::kMaxRaysPerSweep, lattice)) return {};
  for (int s = 0; s < 6; ++s) PlainSweep(m, lattice, s, inter);
  float r = DesignGlobeRadius(volume, base.size() + inter.size());
  PlainMerge(base, r);
  for (;;) {
    r = DesignGlobeRadius(volume, base.size() + inter.size());
    std::size_t changed = PlainRemove(inter, base, r);
    changed += PlainMerge(inter, r);
    if (changed == 0) break;
  }
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  w.F32(volume);
  w.F32(host::Length(m.bounds.max - m.bounds.min) / 2.0f + r);
  w.F32(12.566f * r * r * r / 3.0f);
  w.F32(r);
  w.U32(static_cast<uint32_t>(base.size() + inter.size()));
  for (const auto* list : {&base, &inter})
    for (Point3 p : *list) {
      w.F32(p.x);
      w.F32(p.y);
      w.F32(p.z);
    }
  w.U32(12);
  w.Bytes(kCross);
  return out;
}

TEST(CollisionDesignOracle, WholeBuildEqualsThePlainBuild) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> volume(0.01f, 100.0f);
  for (int iter = 0; iter < 150; ++iter) {
    CollisionModel m = RandomMesh(rng);
    if (iter % 5 == 0) m.spheres.push_back({m.vertices[0].position + Point3{1, 1, 1}, 0.5f, 0});
    const float v = volume(rng);
    CollisionDesign d;
    d.build(m, v);
    ASSERT_FALSE(d.failed()) << d.error_text();
    ASSERT_EQ(Bytes(d.save_buffer()), PlainBuild(m, v)) << "iteration " << iter;
  }
}

}  // namespace
}  // namespace vorlan::geometry
