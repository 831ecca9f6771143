// Sharing identical material records: the hashed index against the plain walk over every
// earlier record, on the record stream of a scene with many materials of which about one in
// ten is distinct. Also the whole MatList export of that scene.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "host/interface.h"
#include "workbench/materials.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "zef/material_records.h"
#include "zef/material_records_reference.h"

namespace {

using namespace vorlan;

class BenchInterface : public host::Interface {
 public:
  explicit BenchInterface(host::UserInterface& ui) : ui_(ui) {}
  host::UserInterface& UI() override { return ui_; }
  host::Node* GetRootNode() override { return nullptr; }
  host::Node* GetINodeByName(const std::string&) override { return nullptr; }
  uint32_t GetHostVersion() const override { return 0; }
  std::string GetPlugCfgDir() const override { return "."; }
  std::string GetComputerName() const override { return "PC"; }
  std::string GetUserName() const override { return "bench"; }
  std::optional<host::SceneProperty> GetSceneProperty(const std::string&) const override {
    return std::nullopt;
  }
  std::optional<host::ViewportImage> GrabViewport() override { return std::nullopt; }
  bool ExportToFile(const std::string&, host::ClassId, bool, uint32_t) override { return false; }

 private:
  host::UserInterface& ui_;
};

// `count` Standard materials drawn from count / 10 distinct ones, each with two textures.
std::vector<std::shared_ptr<host::Mtl>> MakeMaterials(int count) {
  std::mt19937 rng(42);
  const int distinct = std::max(1, count / 10);
  std::vector<std::shared_ptr<host::Mtl>> out;
  for (int i = 0; i < count; ++i) {
    const int k = static_cast<int>(rng() % static_cast<uint32_t>(distinct));
    auto m = std::make_shared<workbench::StandardMtl>("Mat" + std::to_string(k % 1000));
    m->twoSided = k % 2;
    m->SetMap(1,
              std::make_shared<workbench::BitmapTex>("C:\\textures\\diffuse_" + std::to_string(k) + ".tga"));
    m->SetMap(11,
              std::make_shared<workbench::BitmapTex>("C:\\textures\\detail_" + std::to_string(k) + ".tga"));
    out.push_back(std::move(m));
  }
  return out;
}

struct MaterialStream {
  std::vector<std::shared_ptr<host::Mtl>> materials;
  std::vector<std::vector<uint8_t>> records;  // the record stream, one per material
};

MaterialStream MakeStream(int count) {
  MaterialStream s;
  s.materials = MakeMaterials(count);
  for (const auto& m : s.materials) {
    zef::StdRecord r;
    r.flags = m->IsTwoSided() ? 1 : 0;
    r.nameCode = zef::MakeCode4(m->GetName());
    r.mapMask = 0x3;
    r.textures = {{3, zef::FileNamePart(m->GetSubTexmap(1)->GetMapFileName())},
                  {3, zef::FileNamePart(m->GetSubTexmap(11)->GetMapFileName())}};
    s.records.emplace_back();
    zef::EncodeRecord(r, s.records.back());
  }
  return s;
}

void BM_ShareLinear(benchmark::State& state) {
  MaterialStream s = MakeStream(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    zef::reference::LinearMatList list;
    for (const auto& r : s.records) benchmark::DoNotOptimize(list.AppendOrShare(r));
    benchmark::DoNotOptimize(list.count);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ShareHashed(benchmark::State& state) {
  MaterialStream s = MakeStream(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    zef::RecordIndex index;
    std::vector<uint8_t> block;
    std::vector<std::pair<uint32_t, uint32_t>> where;  // offset, size
    auto stored = [&](uint32_t i) {
      return std::span<const uint8_t>(block.data() + where[i].first, where[i].second);
    };
    for (const auto& r : s.records) {
      if (!index.Find(r, stored)) {
        const auto at = static_cast<uint32_t>(where.size());
        where.emplace_back(static_cast<uint32_t>(block.size()), static_cast<uint32_t>(r.size()));
        block.insert(block.end(), r.begin(), r.end());
        index.Add(r, at);
      }
    }
    benchmark::DoNotOptimize(where.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ExportMaterialList(benchmark::State& state) {
  MaterialStream s = MakeStream(static_cast<int>(state.range(0)));
  workbench::ScriptedUI ui;
  BenchInterface ip(ui);
  for (auto _ : state) {
    zef::MaterialTable table;
    for (const auto& m : s.materials) table.Collect(nullptr, m.get());
    zef::SceneBuffer buffer;
    benchmark::DoNotOptimize(zef::ExportMaterialList(buffer, table, ip));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ShareLinear)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShareHashed)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportMaterialList)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
