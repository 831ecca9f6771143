// The character exporter on a generated character of 200,000 triangles, 120 bones and four
// influences per vertex: the whole export, the five-bone split alone, and the split against
// the plain statement of its rule on a smaller part (which is quadratic in the faces).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "rigexp/exporter.h"
#include "rigexp/random_skin.h"
#include "rigexp/split_reference.h"
#include "workbench/character.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace {

using namespace vorlan;

constexpr int kRings = 500, kSegments = 200, kBones = 120;

// A tube along z skinned to a chain of bones, each vertex to the four bones nearest its ring.
void BuildCharacter(workbench::Scene& scene) {
  auto& root = scene.CreateNode("Bip01");
  root.SetObject(std::make_shared<workbench::SkeletonRootObject>());
  std::vector<workbench::SceneNode*> bones;
  workbench::SceneNode* parent = &root;
  for (int b = 0; b <= kBones; ++b) {
    auto& n = scene.CreateNode("Bone" + std::to_string(b), parent);
    n.SetTransform(host::Matrix3::Translation({0, 0, float(b)}));
    n.TMControl()->SetClassId(host::kBipedSlaveControlClassId);
    bones.push_back(parent = &n);
  }
  host::Mesh m;
  for (int r = 0; r < kRings; ++r)
    for (int s = 0; s < kSegments; ++s) {
      float a = 2.0f * 3.14159265f * float(s) / kSegments;
      m.verts.push_back({std::cos(a), std::sin(a), float(r) * kBones / kRings});
    }
  for (int r = 0; r + 1 < kRings; ++r)
    for (int s = 0; s < kSegments; ++s) {
      uint32_t a = uint32_t(r * kSegments + s), b = uint32_t(r * kSegments + (s + 1) % kSegments);
      m.faces.push_back({.v = {a, b, a + kSegments}, .smGroup = 1});
      m.faces.push_back({.v = {b, b + kSegments, a + kSegments}, .smGroup = 1});
    }
  auto skin = std::make_shared<workbench::SkinModifierImpl>();
  for (int r = 0; r < kRings; ++r) {
    int home = std::min(kBones - 4, std::max(0, r * kBones / kRings - 1));
    for (int s = 0; s < kSegments; ++s) {
      std::vector<workbench::SkinWeight> w;
      for (int k = 0; k < 4; ++k) w.push_back({bones[std::size_t(home + k)], k == 1 ? 0.4f : 0.2f});
      skin->SetBlended(std::size_t(r * kSegments + s), std::move(w));
    }
  }
  auto& body = scene.CreateNode("Body");
  body.SetObject(std::make_shared<workbench::MeshObject>(std::move(m)));
  body.AddModifier(skin);
}

void BM_RigExportWholeCharacter(benchmark::State& state) {
  workbench::Scene scene;
  BuildCharacter(scene);
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  char tmpl[] = "/tmp/vorlan_rigbench_XXXXXX";
  std::string dir = ::mkdtemp(tmpl);
  wb.SetPlugCfgDir(dir);
  wb.SetLogDir(dir);
  wb.SetViewportEnabled(false);
  for (auto _ : state) {
    rigexp::RigExporter exporter;
    if (!exporter.DoExport((dir + "/character.zef").c_str(), wb, true, 0))
      state.SkipWithError("export failed");
  }
  state.counters["triangles"] = double(2 * (kRings - 1) * kSegments);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RigExportWholeCharacter)->Unit(benchmark::kMillisecond);

rigexp::SplitInput Part(uint32_t faces) {
  rigexp::testing::RandomSkinShape shape;
  shape.vertices = faces / 2;
  shape.faces = faces;
  shape.bones = kBones;
  shape.maxInfluences = 4;
  shape.reach = 2;
  shape.unweighted = 0;
  return rigexp::testing::RandomSkin(shape, 7);
}

void BM_SplitFast(benchmark::State& state) {
  rigexp::SplitInput in = Part(uint32_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(rigexp::SplitPart(in));
}
BENCHMARK(BM_SplitFast)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_SplitPlainRule(benchmark::State& state) {
  rigexp::SplitInput in = Part(uint32_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(rigexp::reference::SplitPart(in));
}
BENCHMARK(BM_SplitPlainRule)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
