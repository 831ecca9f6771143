// Collision design: the six ray sweeps and the centre merging, each against the plain loop
// it replaces (every ray against every triangle; every centre against every later one).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "geometry/collision_design.h"
#include "geometry/collision_design_reference.h"

namespace {

using vorlan::geometry::CollisionDesign;
using vorlan::geometry::CollisionModel;
using vorlan::geometry::CollisionTriangle;
using vorlan::geometry::DesignSweepLattice;
using vorlan::host::Point3;

// A floating platform: an n x n grid of quads on a plate 40 x 40 x 1 (top and bottom), the
// flat kind of body for which the sweeps cast the most rays.
CollisionModel Plate(int n) {
  CollisionModel m;
  auto vertex = [&](float x, float y, float z) {
    m.vertices.push_back({{x, y, z}, {}, 0});
    m.bounds.Include({x, y, z});
    return static_cast<uint32_t>(m.vertices.size() - 1);
  };
  for (float z : {0.0f, 1.0f}) {
    const auto first = static_cast<uint32_t>(m.vertices.size());
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) vertex(-20 + 40.0f * i / n, -20 + 40.0f * j / n, z);
    auto at = [&](int i, int j) { return first + static_cast<uint32_t>(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        CollisionTriangle a, b;
        a.v[0] = at(i, j), a.v[1] = at(i + 1, j), a.v[2] = at(i + 1, j + 1);
        b.v[0] = at(i, j), b.v[1] = at(i + 1, j + 1), b.v[2] = at(i, j + 1);
        m.triangles.push_back(a);
        m.triangles.push_back(b);
      }
  }
  return m;
}

template <bool kFast>
void BM_Sweeps(benchmark::State& state) {
  const CollisionModel m = Plate(static_cast<int>(state.range(0)));
  DesignSweepLattice lattice;
  vorlan::geometry::PlanDesignSweeps(m.bounds, CollisionDesign::kMaxRaysPerSweep, lattice);
  std::vector<Point3> hits;
  for (auto _ : state) {
    hits.clear();
    for (int s = 0; s < 6; ++s) {
      if constexpr (kFast)
        vorlan::geometry::SweepDesignSurface(m, lattice, s, hits);
      else
        vorlan::geometry::reference::PlainSweep(m, lattice, s, hits);
    }
    benchmark::DoNotOptimize(hits.data());
  }
  state.counters["triangles"] = static_cast<double>(m.triangles.size());
  state.counters["hits"] = static_cast<double>(hits.size());
}
BENCHMARK(BM_Sweeps<true>)->Name("Sweeps/fast")->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sweeps<false>)->Name("Sweeps/plain")->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);

// Surface-like points: jittered lattice points on a plane, spaced about 0.5, merged with a
// radius that joins some neighbours.
std::vector<Point3> Cloud(int n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> jitter(-0.2f, 0.2f);
  std::vector<Point3> pts;
  int side = 1;
  while (side * side < n) ++side;
  for (int k = 0; k < n; ++k)
    pts.push_back({0.5f * static_cast<float>(k % side) + jitter(rng),
                   0.5f * static_cast<float>(k / side) + jitter(rng), jitter(rng)});
  std::shuffle(pts.begin(), pts.end(), rng);
  return pts;
}

template <bool kFast>
void BM_Merge(benchmark::State& state) {
  const std::vector<Point3> cloud = Cloud(static_cast<int>(state.range(0)));
  std::size_t merges = 0;
  for (auto _ : state) {
    std::vector<Point3> pts = cloud;
    if constexpr (kFast)
      merges = vorlan::geometry::MergeDesignCenters(pts, 0.4f);
    else
      merges = vorlan::geometry::reference::PlainMerge(pts, 0.4f);
    benchmark::DoNotOptimize(pts.data());
  }
  state.counters["merges"] = static_cast<double>(merges);
}
BENCHMARK(BM_Merge<true>)->Name("Merge/fast")->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Merge<false>)->Name("Merge/plain")->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_Build(benchmark::State& state) {
  const CollisionModel m = Plate(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CollisionDesign d;
    d.build(m, 1600.0f);
    benchmark::DoNotOptimize(d.save_buffer().data());
  }
}
BENCHMARK(BM_Build)->Name("Build/fast")->Arg(40)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
