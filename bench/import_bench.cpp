// Import speed: the 1,000,000-triangle scene of the export benchmark, written once as a .zef
// by the scene exporter and once as a .glb, read back into a workbench scene.
//
//   BM_ZefImport          the importer from DoImport to the finished scene
//   BM_AssimpReadGlb      Assimp reading the same scene from the .glb (parsing only)
//   BM_InterchangeGlb     the workbench's interchange import of the .glb (Assimp and the
//                         conversion into a scene), the way a .glb reaches the pipeline
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <assimp/Importer.hpp>
#include <filesystem>

#include "bench_scene.h"
#include "interchange/export.h"
#include "interchange/import.h"
#include "workbench/workbench.h"
#include "zefexport/exporter.h"
#include "zefimport/importer.h"

namespace {

using namespace vorlan;
using namespace vorlan::bench;

struct Files {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "vorlan_import_bench";
  std::string zef, glb;
  bool ok = false;

  Files() {
    std::filesystem::create_directories(dir);
    zef = (dir / "scene.zef").string();
    glb = (dir / "scene.glb").string();
    BenchScene& s = Scene();
    BenchInterface ip(s.scene, dir.string());
    zefexport::ZefExporter exporter;
    ok = exporter.DoExport(zef.c_str(), ip, true, 0x200) == 1 && workbench::ExportGlb(s.scene, glb, {}).ok;
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Files& TheFiles() {
  static Files f;
  return f;
}

// Page faults of this process so far. On a loaded machine a fault costs microseconds, so
// memory first touched by a reader weighs as much as its decoding; the counter shows it.
double PageFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_minflt + u.ru_majflt);
}

void BM_ZefImport(benchmark::State& state) {
  Files& f = TheFiles();
  if (!f.ok) return state.SkipWithError("the scene could not be written");
  QuietUI ui;
  double faults = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto scene = std::make_unique<workbench::Scene>();
    workbench::Workbench wb(*scene, ui);
    wb.SetPlugCfgDir((f.dir / "cfg").string());
    wb.SetLogDir((f.dir / "logs").string());
    state.ResumeTiming();
    const double before = PageFaults();
    zefimport::ZefImporter importer;
    if (importer.DoImport(f.zef.c_str(), wb, true) != 1) state.SkipWithError("import failed");
    faults += PageFaults() - before;
    state.PauseTiming();
    scene.reset();
    state.ResumeTiming();
  }
  state.counters["triangles/s"] = benchmark::Counter(
      double(kObjects) * kQuadsX * kQuadsY * 2 * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ZefImport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AssimpReadGlb(benchmark::State& state) {
  Files& f = TheFiles();
  if (!f.ok) return state.SkipWithError("the scene could not be written");
  double faults = 0;
  for (auto _ : state) {
    const double before = PageFaults();
    Assimp::Importer importer;
    const aiScene* s = importer.ReadFile(f.glb, 0);
    if (!s) state.SkipWithError(importer.GetErrorString());
    benchmark::DoNotOptimize(s);
    faults += PageFaults() - before;
  }
  state.counters["faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AssimpReadGlb)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InterchangeGlb(benchmark::State& state) {
  Files& f = TheFiles();
  if (!f.ok) return state.SkipWithError("the scene could not be written");
  for (auto _ : state) {
    workbench::Scene scene;
    if (!workbench::ImportInterchange(f.glb, scene, {}).ok) state.SkipWithError("interchange import failed");
  }
}
BENCHMARK(BM_InterchangeGlb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
