// Unfolding a connected grid mesh: the edge-table unfold against the plain scan of the face
// list for every edge (quadratic), which runs only on the smaller meshes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "mapwright/unfold.h"
#include "mapwright/unfold_reference.h"

namespace {

using vorlan::host::Point3;
namespace mw = vorlan::mapwright;

// A wavy n x n grid of quads, two triangles each, every face connected to the first.
std::vector<mw::Tri> Grid(int n) {
  auto p = [&](int x, int y) {
    return Point3{float(x), float(y), std::sin(float(x) * 0.3f) * std::cos(float(y) * 0.2f)};
  };
  std::vector<mw::Tri> faces;
  faces.reserve(std::size_t(n) * n * 2);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      faces.push_back({p(x, y), p(x + 1, y), p(x + 1, y + 1)});
      faces.push_back({p(x, y), p(x + 1, y + 1), p(x, y + 1)});
    }
  return faces;
}

// Grid sides for about 2k, 8k and 100k faces.
int Side(int64_t faces) { return int(std::lround(std::sqrt(double(faces) / 2))); }

void BM_UnfoldEdgeTable(benchmark::State& state) {
  auto faces = Grid(Side(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mw::Unfold(faces));
  state.counters["faces"] = double(faces.size());
}
BENCHMARK(BM_UnfoldEdgeTable)->Arg(2000)->Arg(8000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_UnfoldPlainScan(benchmark::State& state) {
  auto faces = Grid(Side(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(mw::reference::UnfoldByScanning(faces));
  state.counters["faces"] = double(faces.size());
}
BENCHMARK(BM_UnfoldPlainScan)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
