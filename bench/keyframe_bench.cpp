// Animation export and import of many Bezier keys (the largest key layouts), beside a plain
// sequential write of the same number of bytes with fsync, so that the exporter's writing
// rate reads as a fraction of what the disk gives in the same run.
//
// Argument: nodes, each with Bezier position, rotation and scale controllers of 10,000 keys.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "keyexport/key_exporter.h"
#include "keyimport/key_importer.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace {

using namespace vorlan;

constexpr int kKeys = 10000;

void BuildScene(workbench::Scene& scene, int nodes) {
  for (int n = 0; n < nodes; ++n) {
    auto& node = scene.CreateNode("node" + std::to_string(n));
    auto pos = std::make_unique<workbench::BezierPositionControl>(host::kBezierPositionClassId,
                                                                  host::kCtrlPositionClass);
    auto rot = std::make_unique<workbench::BezierRotationControl>(host::kBezierRotationClassId,
                                                                  host::kCtrlRotationClass);
    auto scl =
        std::make_unique<workbench::BezierScaleControl>(host::kBezierScaleClassId, host::kCtrlScaleClass);
    pos->keys.resize(kKeys);
    rot->keys.resize(kKeys);
    scl->keys.resize(kKeys);
    for (int k = 0; k < kKeys; ++k) {
      pos->keys[k].time = rot->keys[k].time = scl->keys[k].time = k * 160;
      pos->keys[k].val = {float(k), float(n), 0.5f * k};
      rot->keys[k].val = host::QuatFromAngAxis({{0, 0, 1}, 0.01f * k});
      scl->keys[k].val.s = {1, 1 + 0.001f * k, 1};
    }
    node.GetTMController()->SetPositionController(std::move(pos));
    node.GetTMController()->SetRotationController(std::move(rot));
    node.GetTMController()->SetScaleController(std::move(scl));
  }
}

struct Folder {
  Folder() {
    char tmpl[] = "/tmp/vorlan_keybench_XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string path;
};

void BM_KeyExport(benchmark::State& state) {
  workbench::Scene scene;
  BuildScene(scene, static_cast<int>(state.range(0)));
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  Folder dir;
  wb.SetPlugCfgDir(dir.path);
  const std::string out = dir.path + "/bench.manm";
  for (auto _ : state) {
    keyexport::KeyExporter exporter;
    benchmark::DoNotOptimize(exporter.DoExport(out.c_str(), wb, true, 0));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(out)));
}

void BM_KeyImport(benchmark::State& state) {
  workbench::Scene source;
  BuildScene(source, static_cast<int>(state.range(0)));
  workbench::ScriptedUI ui;
  workbench::Workbench wb(source, ui);
  Folder dir;
  wb.SetPlugCfgDir(dir.path);
  wb.SetLogDir(dir.path);
  const std::string file = dir.path + "/bench.manm";
  keyexport::KeyExporter().DoExport(file.c_str(), wb, true, 0);
  workbench::Scene target;
  for (int n = 0; n < state.range(0); ++n) target.CreateNode("node" + std::to_string(n));
  workbench::Workbench twb(target, ui);
  twb.SetPlugCfgDir(dir.path);
  twb.SetLogDir(dir.path);
  for (auto _ : state) {
    keyimport::KeyImporter importer;
    benchmark::DoNotOptimize(importer.DoImport(file.c_str(), twb, true));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(file)));
}

// The disk's own rate: the same number of bytes written in 1 MiB pieces, then fsync.
void BM_SequentialWriteReference(benchmark::State& state) {
  const int64_t bytes = int64_t(state.range(0)) * 3 * kKeys * (68 + 24 + 68) / 3 + 16;
  Folder dir;
  std::vector<uint8_t> piece(1 << 20, 0x5A);
  const std::string out = dir.path + "/plain.bin";
  for (auto _ : state) {
    int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (int64_t done = 0; done < bytes;) {
      auto n = static_cast<std::size_t>(std::min<int64_t>(bytes - done, int64_t(piece.size())));
      if (::write(fd, piece.data(), n) <= 0) break;
      done += int64_t(n);
    }
    ::fsync(fd);
    ::close(fd);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// 1,000 nodes is the size the exporter is measured at (about 1.6 GB of keys); the smaller
// sizes show how the time grows. Rates are per wall-clock second: the disk's time counts.
BENCHMARK(BM_KeyExport)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeyImport)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialWriteReference)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
