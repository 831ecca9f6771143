// Welding one GBlock as the exporter leaves it (three separate corners per triangle) with the
// hash weld, with the plain linear search of the format's definition, and with meshoptimizer's
// vertex remap (which finds the same unique vertices but does not write a GBlock). The mesh is
// a grid of quads with one texture channel (32-byte vertices), so each distinct vertex is used
// by about six corners.
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <cstdint>
#include <vector>

#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/flush.h"
#include "zef/weld_reference.h"

namespace {

using namespace vorlan::zef;

struct Grid {
  std::vector<uint8_t> bytes;
  GBlockMesh mesh;
};

// columns x rows quads, two triangles each.
Grid MakeGrid(uint32_t columns, uint32_t rows) {
  Grid g;
  const uint32_t triangles = columns * rows * 2;
  const uint32_t corners = triangles * 3;
  const uint32_t stride = VertexStride(1);
  vorlan::support::ByteWriter w(g.bytes);
  w.U32(kGBlock);
  w.U32(12 + 20 + corners * stride + 12 + corners * 4);
  w.U32(0);
  w.U32(kVertices);
  w.U32(20 + corners * stride);
  w.U32(corners);
  w.U32(stride);
  w.U32(VertexFormat(1));
  auto corner = [&](uint32_t x, uint32_t y) {
    float u = static_cast<float>(x) / columns, v = static_cast<float>(y) / rows;
    w.F32(u * 10.0f);
    w.F32(v * 10.0f);
    w.F32(0.0f);
    w.F32(0.0f);
    w.F32(0.0f);
    w.F32(1.0f);
    w.F32(u);
    w.F32(1.0f - v);
  };
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < columns; ++x) {
      corner(x, y);
      corner(x + 1, y);
      corner(x + 1, y + 1);
      corner(x, y);
      corner(x + 1, y + 1);
      corner(x, y + 1);
    }
  w.U32(kFaces);
  w.U32(12 + corners * 4);
  w.U32(triangles);
  for (uint32_t i = 0; i < corners; ++i) w.U32(i);
  ReadGBlockMesh(g.bytes, g.mesh, nullptr);
  return g;
}

void Report(benchmark::State& state, const Grid& grid, std::size_t keptBytes) {
  const int64_t corners = int64_t{grid.mesh.faceCount} * 3;
  state.SetItemsProcessed(state.iterations() * corners);  // items = corners
  state.counters["triangles"] = grid.mesh.faceCount;
  state.counters["kept"] =
      static_cast<double>((keptBytes - 44 - grid.mesh.faceCount * 12) / grid.mesh.stride);
}

// Arguments: quad columns and rows.
void BM_WeldHash(benchmark::State& state) {
  Grid grid = MakeGrid(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  std::vector<uint8_t> out;
  for (auto _ : state) {
    out.clear();
    uint32_t shrinkage = 0;
    WeldGBlock(grid.mesh, out, shrinkage, nullptr, 0);
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, grid, out.size());
}

void BM_WeldLinearReference(benchmark::State& state) {
  Grid grid = MakeGrid(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  std::vector<uint8_t> out;
  for (auto _ : state) {
    out.clear();
    reference::WeldGBlock(grid.mesh, out, nullptr, 0);
    benchmark::DoNotOptimize(out.data());
  }
  Report(state, grid, out.size());
}

// The same unique-vertex search done by meshoptimizer over the raw corner array, plus the
// copy of the kept vertices; the index buffer is the identity, as in the exporter's GBlocks.
void BM_WeldMeshoptimizer(benchmark::State& state) {
  Grid grid = MakeGrid(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  const std::size_t corners = std::size_t{grid.mesh.faceCount} * 3;
  std::vector<unsigned int> remap(corners);
  std::vector<uint8_t> kept(corners * grid.mesh.stride);
  for (auto _ : state) {
    std::size_t unique = meshopt_generateVertexRemap(remap.data(), nullptr, corners, grid.mesh.vertices.data(),
                                                     corners, grid.mesh.stride);
    meshopt_remapVertexBuffer(kept.data(), grid.mesh.vertices.data(), corners, grid.mesh.stride, remap.data());
    benchmark::DoNotOptimize(kept.data());
    state.counters["kept"] = static_cast<double>(unique);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(corners));
}

// 300,000 corners (224 x 224 quads) for the ratio against the linear search, which is
// quadratic; 3,000,000 corners (1000 x 500 quads) against meshoptimizer.
BENCHMARK(BM_WeldHash)->Args({224, 224})->Args({1000, 500})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeldLinearReference)->Args({224, 224})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WeldMeshoptimizer)->Args({224, 224})->Args({1000, 500})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
