// Whole-scene smoothing of a strip of terrain tiles: 100 objects of 10,002 vertices each
// (3,334 triangles with unshared corners), every tile touching its neighbours along an
// edge, so each object's box meets three (itself and two neighbours) and every interior
// grid point gathers six coincident corners.
//
// The grid search runs against the plain quadratic search of the tests on the same image.
// The plain one is slow (minutes for the full scene), so it also runs on smaller strips;
// the ratio is what to compare.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "geometry/scene_smoothing.h"
#include "geometry/scene_smoothing_reference.h"
#include "geometry/zef_image_builder.h"

namespace {

using vorlan::host::Point3;
using namespace vorlan;

constexpr int kTriangles = 3334;
constexpr int kColumns = 41;  // quads per grid row

float Height(float x, float y) { return 0.2f * std::sin(1.3f * x) * std::cos(0.7f * y); }

std::vector<zeftest::ImageVertex> Tile(int index) {
  std::vector<zeftest::ImageVertex> out;
  const float step = 1.0f / kColumns;
  for (int t = 0; static_cast<int>(out.size()) < 3 * kTriangles; ++t) {
    int quad = t / 2, row = quad / kColumns, col = quad % kColumns;
    auto at = [&](int c, int r) {
      float x = float(index) + float(c) * step, y = float(r) * step;
      if (c == kColumns) x = float(index + 1);  // the shared edge lies exactly on the next tile's
      return Point3{x, y, Height(x, y)};
    };
    Point3 a = at(col, row), b = at(col + 1, row), c = at(col + 1, row + 1), d = at(col, row + 1);
    Point3 p[3] = {a, b, c};
    if (t % 2) p[1] = c, p[2] = d;
    Point3 n = host::Normalize(host::Cross(p[1] - p[0], p[2] - p[0]));
    for (Point3 q : p) out.push_back({q, n, {0.25f, 0.75f}});
  }
  return out;
}

struct Scene {
  std::vector<uint8_t> image;
  std::vector<geometry::SmoothItem> items;
};

Scene MakeScene(int objects) {
  zeftest::ZefImageBuilder b;
  for (int i = 0; i < objects; ++i) {
    b.BeginNode("tile" + std::to_string(i));
    b.BeginGObj("SMOOTH=1.0,1");
    b.AddGBlock(Tile(i), 0);
    b.EndGObj();
    b.EndNode();
  }
  Scene s;
  s.image = b.Finish(static_cast<uint32_t>(objects));
  s.items = geometry::CollectSmoothItems(s.image);
  zeftest::PlaceAtOrigin(s.items, s.image);
  return s;
}

void BM_SmoothGrid(benchmark::State& state) {
  Scene scene = MakeScene(static_cast<int>(state.range(0)));
  zeftest::RecordingUI ui;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<uint8_t> image = scene.image;
    state.ResumeTiming();
    benchmark::DoNotOptimize(geometry::Smooth(scene.items, image, false, ui));
  }
  state.counters["vertices"] = double(scene.items.size() * scene.items[0].vertexCount);
}

void BM_SmoothPlain(benchmark::State& state) {
  Scene scene = MakeScene(static_cast<int>(state.range(0)));
  zeftest::RecordingUI ui;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<uint8_t> image = scene.image;
    state.ResumeTiming();
    benchmark::DoNotOptimize(zeftest::RefSmooth(scene.items, image, false, ui));
  }
  state.counters["vertices"] = double(scene.items.size() * scene.items[0].vertexCount);
}

BENCHMARK(BM_SmoothGrid)->Arg(4)->Arg(16)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothPlain)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothPlain)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
