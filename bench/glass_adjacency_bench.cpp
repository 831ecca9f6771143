// Glass pane adjacency: the hash-grid build against the plain first-match searches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "geometry/glass_adjacency.h"
#include "geometry/glass_adjacency_reference.h"

namespace {

using vorlan::geometry::GlassAdjacency;
using vorlan::geometry::GlassEdge;
using vorlan::host::Point3;

// A window wall of panes x panes square panes, each cut into cells x cells quads, so that
// every pane has many interior edges and shares its sides with up to four neighbours. With
// `leaded` the panes sit apart (as in leaded glass) and share nothing, so every pane stays
// open; with `shuffled` each pane's triangles come in random order.
std::vector<std::vector<GlassEdge>> Wall(int panes, int cells, bool leaded, bool shuffled) {
  std::mt19937 rng(9);
  std::vector<std::vector<GlassEdge>> out(static_cast<std::size_t>(panes * panes));
  for (int pj = 0; pj < panes; ++pj)
    for (int pi = 0; pi < panes; ++pi) {
      auto& edges = out[static_cast<std::size_t>(pj * panes + pi)];
      for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
          const float pitch = leaded ? 1.1f : 1.0f;
          const float x = static_cast<float>(pi) * pitch + static_cast<float>(i) / static_cast<float>(cells);
          const float y = static_cast<float>(pj) * pitch + static_cast<float>(j) / static_cast<float>(cells);
          const float s = 1.0f / static_cast<float>(cells);
          const Point3 a{x, y, 0}, b{x + s, y, 0}, c{x + s, y + s, 0}, d{x, y + s, 0};
          for (auto [p, q, r] : {std::array{a, b, c}, std::array{a, c, d}}) {
            edges.push_back({p, q});
            edges.push_back({q, r});
            edges.push_back({r, p});
          }
        }
      if (shuffled) {
        std::vector<std::array<GlassEdge, 3>> tris;
        for (std::size_t e = 0; e < edges.size(); e += 3)
          tris.push_back({edges[e], edges[e + 1], edges[e + 2]});
        std::shuffle(tris.begin(), tris.end(), rng);
        edges.clear();
        for (auto& t : tris) edges.insert(edges.end(), t.begin(), t.end());
      }
    }
  return out;
}

void BM_GlassFast(benchmark::State& state) {
  const auto wall = Wall(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                         state.range(2) & 1, state.range(2) & 2);
  for (auto _ : state) {
    GlassAdjacency g;
    for (std::size_t p = 0; p < wall.size(); ++p)
      for (std::size_t e = 0; e < wall[p].size(); e += 3)
        g.AddTriangle(static_cast<uint32_t>(p), wall[p][e].start, wall[p][e + 1].start, wall[p][e + 2].start);
    g.Build();
    benchmark::DoNotOptimize(g.Payload().data());
  }
}
BENCHMARK(BM_GlassFast)
    ->Name("Glass/fast")
    ->Args({10, 4, 0})
    ->Args({30, 4, 0})
    ->Args({30, 4, 1})
    ->Args({4, 60, 0})
    ->Args({4, 60, 2})
    ->Unit(benchmark::kMillisecond);

void BM_GlassPlain(benchmark::State& state) {
  const auto wall = Wall(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                         state.range(2) & 1, state.range(2) & 2);
  for (auto _ : state) {
    auto r = vorlan::geometry::reference::ReferenceBuild(wall);
    benchmark::DoNotOptimize(r.payload.data());
  }
}
BENCHMARK(BM_GlassPlain)
    ->Name("Glass/plain")
    ->Args({10, 4, 0})
    ->Args({30, 4, 0})
    ->Args({30, 4, 1})
    ->Args({4, 60, 0})
    ->Args({4, 60, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
