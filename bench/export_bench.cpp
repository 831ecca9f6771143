// Scene export speed on a generated scene: 1,000,000 triangles in 100 mesh objects sharing a
// five-material multi-material with two texture channels, built in memory.
//
//   BM_MeshStage     face lists and GObjs of all nodes (the mesh half of the main pass)
//   BM_Flush         streaming the finished image with vertex welding
//   BM_WholeExport   the exporter from DoExport to the file on disk
//   BM_Viewport      the 256 x 256 thumbnail picture of the scene, passing over faces that
//                    change no pixel (0) against working out and drawing every face (1)
//   BM_Resmooth*     per-object resmoothing, grouped against the plain all-pairs walk, and
//                    an object whose 100,000 triangles all sit on one point
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "host/interface.h"
#include "workbench/materials.h"
#include "workbench/scene.h"
#include "workbench/viewport.h"
#include "zef/blocks.h"
#include "zef/flush.h"
#include "zef/material_records.h"
#include "zefexport/export_context.h"
#include "zefexport/exporter.h"
#include "zefexport/mesh_export.h"
#include "zefexport/mesh_export_resmooth_reference.h"
#include "bench_scene.h"

namespace {

using namespace vorlan;
using namespace vorlan::bench;

// The mesh part of one export, into a fresh buffer after the material list; returns the image.
struct MeshRun {
  BenchInterface ip;
  zef::SceneBuffer buffer{64u << 20};
  zefexport::ExportContext ctx{ip, buffer};

  explicit MeshRun(BenchScene& s) : ip(s.scene, ".") {
    ctx.options.smoothWholeScene = false;
    buffer.U32(zef::kMagic);
    buffer.U32(zef::kVersion0100);
    buffer.SetOffset(zef::kHeaderSize);
    for (auto* n : s.nodes) {
      ctx.instances.Note(n->GetObjectRef());
      ctx.materials.Collect(n, n->GetMtl());
    }
    rootHead = buffer.Offset();
    buffer.U32(zef::kNode), buffer.U32(0), buffer.U32(0), buffer.U32(5), buffer.CString("Root");
    zef::ExportMaterialList(buffer, ctx.materials, ip);
    ctx.materials.Index();
  }
  void Nodes(BenchScene& s) {
    for (auto* n : s.nodes) {
      const uint32_t head = buffer.Offset();
      const std::string name = n->GetName();
      buffer.U32(zef::kNode), buffer.U32(0), buffer.U32(0);
      buffer.U32(uint32_t(name.size() + 1)), buffer.CString(name);
      zefexport::FaceList faces;
      zefexport::BuildFaceList(ctx, *n, 0, host::Matrix3(), faces);
      zefexport::BuildGObj(ctx, *n, faces, {});
      buffer.PatchU32(head + 4, buffer.Offset() - head);
    }
    buffer.PatchU32(rootHead + 8, uint32_t(s.nodes.size()));
    buffer.PatchU32(rootHead + 4, buffer.Offset() - rootHead);
  }
  uint32_t rootHead = 0;
};

void BM_MeshStage(benchmark::State& state) {
  BenchScene& s = Scene();
  uint64_t tris = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto run = std::make_unique<MeshRun>(s);
    state.ResumeTiming();
    run->Nodes(s);
    tris += run->ctx.triangleTotal;
    benchmark::DoNotOptimize(run->buffer.Offset());
    state.PauseTiming();
    run.reset();
    state.ResumeTiming();
  }
  state.counters["triangles/s"] = benchmark::Counter(double(tris), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeshStage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Flush(benchmark::State& state) {
  BenchScene& s = Scene();
  MeshRun run(s);
  run.Nodes(s);
  std::vector<uint8_t> file;
  for (auto _ : state) {
    std::string error;
    if (!zef::FlushSceneBuffer(run.buffer.Image(), file, nullptr, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(run.ctx.triangleTotal) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["image MiB"] = double(run.buffer.Offset()) / (1 << 20);
  state.counters["file MiB"] = double(file.size()) / (1 << 20);
}
BENCHMARK(BM_Flush)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeExport(benchmark::State& state) {
  BenchScene& s = Scene();
  const auto dir = std::filesystem::temp_directory_path() / "vorlan_export_bench";
  std::filesystem::create_directories(dir);
  BenchInterface ip(s.scene, dir.string());
  const std::string out = (dir / "scene.zef").string();
  for (auto _ : state) {
    zefexport::ZefExporter exporter;
    // Prompts suppressed, every smoothing option off: the export as the mesh stage sees it.
    if (exporter.DoExport(out.c_str(), ip, true, 0x200) != 1) state.SkipWithError("export failed");
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(kObjects) * kQuadsX * kQuadsY * 2 * double(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WholeExport)->Unit(benchmark::kMillisecond)->UseRealTime();

// One object's face list for the resmoothing benchmarks, its corners split so that
// resmoothing has work to do.
zefexport::FaceList SmoothInput(int quadsX, int quadsY) {
  zefexport::FaceList f;
  for (int y = 0; y < quadsY; ++y)
    for (int x = 0; x < quadsX; ++x)
      for (int t = 0; t < 2; ++t) {
        f.triangles.push_back({.smGroups = (x / 8) % 2 ? 1u : 2u});
        const int dx[2][3] = {{0, 1, 1}, {0, 1, 0}}, dy[2][3] = {{0, 0, 1}, {0, 1, 1}};
        for (int k = 0; k < 3; ++k) {
          const float px = float(x + dx[t][k]), py = float(y + dy[t][k]);
          f.positions.push_back({px, py, 0.1f * std::sin(px)});
          f.normals.push_back(host::Normalize(host::Point3{std::cos(px), 0.1f * float(t), 1}));
        }
      }
  return f;
}

void BM_ResmoothGrouped(benchmark::State& state) {
  const zefexport::FaceList input = SmoothInput(int(state.range(0)), int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    zefexport::FaceList f = input;
    state.ResumeTiming();
    zefexport::ResmoothFaceList(f);
    benchmark::DoNotOptimize(f.normals.data());
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(input.NumTriangles()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResmoothGrouped)->Arg(32)->Arg(707)->Unit(benchmark::kMillisecond);

// An object scaled to nothing: every corner at one point, one smoothing group.
void BM_ResmoothCollapsed(benchmark::State& state) {
  zefexport::FaceList input = SmoothInput(int(state.range(0)), int(state.range(0)));
  for (auto& p : input.positions) p = {};
  for (auto& t : input.triangles) t.smGroups = 1;
  for (auto _ : state) {
    state.PauseTiming();
    zefexport::FaceList f = input;
    state.ResumeTiming();
    zefexport::ResmoothFaceList(f);
    benchmark::DoNotOptimize(f.normals.data());
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(input.NumTriangles()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResmoothCollapsed)->Arg(224)->Unit(benchmark::kMillisecond);

void BM_ResmoothAllPairs(benchmark::State& state) {
  const zefexport::FaceList input = SmoothInput(int(state.range(0)), int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    zefexport::FaceList f = input;
    state.ResumeTiming();
    zefexport::testing::ResmoothReference(f);
    benchmark::DoNotOptimize(f.normals.data());
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(input.NumTriangles()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResmoothAllPairs)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

void BM_Viewport(benchmark::State& state) {
  BenchScene& s = Scene();
  workbench::ViewportOptions options;
  options.drawEveryFace = state.range(0) != 0;
  for (auto _ : state) benchmark::DoNotOptimize(workbench::RenderViewport(s.scene, options).pixels.data());
}
BENCHMARK(BM_Viewport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
