// Weight transfer onto a character-sized mesh: 100,000 saved vertices on a body-like surface
// (a cylinder 1.8 high, radius 0.3) and 100,000 target vertices jittered by up to 0.002.
// Each method is timed whole (index build, coverage and all) beside the plain scan of the
// reference, which runs on the first 10,000 target vertices; its per-vertex processor time scaled to
// 100,000 vertices is reported as `scan_100k_s`.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <random>
#include <span>
#include <vector>

#include "skintools/transfer_reference.h"

namespace {

using namespace vorlan;
using namespace vorlan::skintools;

constexpr std::size_t kRecords = 100000, kTargets = 100000, kScanSubset = 10000;

struct Scene {
  SkdData data;
  std::vector<host::Point3> saved, targets;
};

const Scene& TheScene() {
  static const Scene scene = [] {
    Scene s;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(0, 6.2831853f), height(0, 1.8f), jitter(-0.002f, 0.002f);
    static const char* kBones[] = {"Pelvis", "Spine",   "Spine1",  "Neck",
                                   "Head",   "L Thigh", "R Thigh", "L Calf"};
    for (std::size_t i = 0; i < kRecords; ++i) {
      float a = angle(rng), h = height(rng);
      host::Point3 p{0.3f * std::cos(a), 0.3f * std::sin(a), h};
      s.saved.push_back(p);
      SkdRecord r;
      r.position = p;
      int b = static_cast<int>(h / 1.8f * 7.99f);
      r.bones.push_back({0.7f, {}, kBones[b]});
      r.bones.push_back({0.3f, {}, kBones[(b + 1) % 8]});
      s.data.records.push_back(std::move(r));
    }
    for (std::size_t i = 0; i < kTargets; ++i) {
      float a = angle(rng), h = height(rng);
      s.targets.push_back(host::Point3{0.3f * std::cos(a), 0.3f * std::sin(a), h} +
                          host::Point3{jitter(rng), jitter(rng), jitter(rng)});
    }
    return s;
  }();
  return scene;
}

// Takes the weights and drops them.
class CountingTarget : public SkinTarget {
 public:
  explicit CountingTarget(std::span<const host::Point3> p) : positions_(p.begin(), p.end()) {}
  std::string NodeName() const override { return "bench"; }
  bool GetWorldPositions(std::vector<host::Point3>& out) override {
    out = positions_;
    return true;
  }
  bool OpenSkin() override { return true; }
  int SkinVertexCount() const override { return static_cast<int>(positions_.size()); }
  bool HasVertex(int) override { return true; }
  void SetWeights(int, std::span<const BoneWeight> w) override { written += w.size(); }
  void CloseSkin() override {}
  std::size_t written = 0;

 private:
  std::vector<host::Point3> positions_;
};

void BM_ApplyFindNearest(benchmark::State& state) {
  const Scene& s = TheScene();
  for (auto _ : state) {
    CountingTarget t(s.targets);
    ApplyFindNearest(s.data, t, {});
    benchmark::DoNotOptimize(t.written);
  }
}

void BM_ApplyFindNearestScan(benchmark::State& state) {
  const Scene& s = TheScene();
  double seconds = 0;
  for (auto _ : state) {
    std::clock_t start = std::clock();
    int sum = 0;
    for (std::size_t v = 0; v < kScanSubset; ++v) sum += reference::ScanNearest(s.targets[v], s.saved).index;
    benchmark::DoNotOptimize(sum);
    seconds += double(std::clock() - start) / CLOCKS_PER_SEC;
  }
  state.counters["scan_100k_s"] = seconds / double(state.iterations()) * double(kTargets) / kScanSubset;
}

void BM_ApplyInterpolateWeights(benchmark::State& state) {
  const Scene& s = TheScene();
  for (auto _ : state) {
    CountingTarget t(s.targets);
    // As ApplyPhysique runs it: the coverage first, then the method.
    float radius = 2.0f * CoverageDistance(s.data, t);
    ApplyInterpolateWeights(s.data, t, {}, radius, 2.0f);
    benchmark::DoNotOptimize(t.written);
  }
}

void BM_ApplyInterpolateWeightsScan(benchmark::State& state) {
  const Scene& s = TheScene();
  // The coverage by scan would take as long as the nearest scan; the radius is taken from
  // the fast path so that only the candidate scan is timed.
  CountingTarget probe(s.targets);
  const float radius = 2.0f * CoverageDistance(s.data, probe);
  double seconds = 0;
  for (auto _ : state) {
    std::clock_t start = std::clock();
    std::size_t kept = 0;
    for (std::size_t v = 0; v < kScanSubset; ++v)
      kept += reference::InterpolationCandidates(s.targets[v], s.saved, radius, 2.0f).size();
    benchmark::DoNotOptimize(kept);
    seconds += double(std::clock() - start) / CLOCKS_PER_SEC;
  }
  state.counters["scan_100k_s"] = seconds / double(state.iterations()) * double(kTargets) / kScanSubset;
}

}  // namespace

BENCHMARK(BM_ApplyFindNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFindNearestScan)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyInterpolateWeights)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyInterpolateWeightsScan)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
