// Finish of a physics shape on a closed sphere of 10,000 triangles: the hashed searches and
// the column sampling against the plain linear searches and every-ray-every-triangle
// sampling, in the same run. Both produce the same bytes (the tests check it).
#include <benchmark/benchmark.h>

#include <cmath>

#include "geometry/physics_shape.h"
#include "geometry/physics_test_shapes.h"
// Each benchmark program is built from one source file, so the oracle's source comes along.
#include "geometry/physics_reference.cpp"

namespace {

using vorlan::geometry::PhysicsShape;
using vorlan::geometry::ShapeStages;
using vorlan::geometry::testing::Tri;
using vorlan::host::Point3;

// A latitude-longitude sphere: 100 slices and 51 stacks give 100 + 49 * 200 + 100 = 10,000
// triangles.
std::vector<Tri> UvSphere(int slices, int stacks, float radius) {
  auto at = [&](int stack, int slice) {
    float theta = 3.14159265f * float(stack) / float(stacks);
    float phi = 6.28318531f * float(slice % slices) / float(slices);
    return Point3{radius * std::sin(theta) * std::cos(phi), radius * std::sin(theta) * std::sin(phi),
                  radius * std::cos(theta)};
  };
  std::vector<Tri> tris;
  for (int st = 0; st < stacks; ++st)
    for (int sl = 0; sl < slices; ++sl) {
      Point3 a = at(st, sl), b = at(st + 1, sl), c = at(st + 1, sl + 1), d = at(st, sl + 1);
      if (st != 0) tris.push_back({a, b, d});
      if (st != stacks - 1) tris.push_back({d, b, c});
    }
  return tris;
}

const std::vector<Tri>& Mesh() {
  static const std::vector<Tri> mesh = UvSphere(100, 51, 1.0f);
  return mesh;
}

void RunFinish(benchmark::State& state, const ShapeStages& stages) {
  const std::vector<Tri>& mesh = Mesh();
  for (auto _ : state) {
    PhysicsShape shape;
    shape.Begin(20, 20, 20);
    for (const Tri& t : mesh) shape.AddTriangle(t.a, t.b, t.c, 0);
    shape.Finish(0.025f, stages);
    benchmark::DoNotOptimize(shape.Buffer().data());
  }
  state.counters["triangles"] = double(mesh.size());
}

void BM_FinishFast(benchmark::State& state) { RunFinish(state, vorlan::geometry::FastShapeStages()); }
void BM_FinishReference(benchmark::State& state) { RunFinish(state, vorlan::geometry::reference::Stages()); }

// The stages on their own, to show where the time goes.
void BM_SamplingFast(benchmark::State& state) {
  RunFinish(state, {vorlan::geometry::FastShapeStages().sample,
                    vorlan::geometry::reference::BuildCollisionTopology});
}
void BM_TopologyFast(benchmark::State& state) {
  RunFinish(state, {vorlan::geometry::reference::SampleInterior,
                    vorlan::geometry::FastShapeStages().build_topology});
}

BENCHMARK(BM_FinishFast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FinishReference)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SamplingFast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TopologyFast)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
