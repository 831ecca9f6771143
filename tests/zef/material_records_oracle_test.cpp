// The hashed append-or-share against the plain linear walk on many random material tables,
// and the record decoder against the encoder and against damaged bytes.
#include <gtest/gtest.h>

#include <random>

#include "zef/material_records_reference.h"
#include "zef/material_test_host.h"

namespace vorlan::zef::testing {
namespace {

// Random materials drawn from small pools, so that many records come out identical.
class RandomMaterials {
 public:
  explicit RandomMaterials(uint32_t seed) : rng_(seed) {}

  std::shared_ptr<host::Mtl> Any(bool allowMulti = true) {
    switch (Pick(allowMulti ? 6 : 5)) {
      case 0:
      case 1:
        return Std();
      case 2:
        return VexaMat();
      case 3:
        return VexaLayer();
      case 4:
        return std::make_shared<workbench::OtherMtl>(host::ClassId{0x1234, 0}, "Other", "Odd");
      default: {
        auto m = std::make_shared<workbench::MultiMtl>("Multi", 1 + Pick(3));
        for (auto& s : m->subs)
          if (Pick(4)) s = Any(false);
        return m;
      }
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  template <class T, std::size_t N>
  const T& From(const T (&a)[N]) {
    return a[Pick(static_cast<int>(N))];
  }
  std::shared_ptr<workbench::BitmapTex> Tex() {
    static const char* paths[] = {"C:\\a\\w.tga", "w.tga", "C:\\b\\w.tga", "x.tga", ""};
    return Bitmap(From(paths), Pick(2) ? 3 : 0, Pick(2) ? 1.0f : 0.0f);
  }
  std::shared_ptr<host::Mtl> Std() {
    static const char* names[] = {"Wood", "Wood2", "Wo", "Rock", ""};
    auto m = Standard(From(names));
    m->twoSided = Pick(2);
    m->wire = Pick(4) == 0;
    for (int slot : {1, 11, 8, 2, 6})
      if (Pick(3) == 0) m->SetMap(slot, Tex(), Pick(4) != 0);
    return m;
  }
  std::shared_ptr<host::Mtl> VexaMat() {
    static const char* names[] = {"Stone", "Sand"};
    static const char* codes[] = {"", "ROCK", "- ", "SANDY"};
    auto m = Engine(host::kVexaMatClassId, From(names));
    auto& pb = m->Params();
    pb.Set("PRM_COLLISION_TYPE", From(codes));
    pb.Set("PRM_ENVIRONMENT_TYPE", Pick(2));
    pb.Set("PRM_LIGHT", Pick(2));
    pb.Set("PRM_MIPMAP", Pick(2), 12);
    for (int ch : {12, 13, 14, 18, 19})
      if (Pick(3) == 0) Base(*m).SetMap(ch, Tex());
    return m;
  }
  std::shared_ptr<host::Mtl> VexaLayer() {
    static const char* names[] = {"Lake", "Moss"};
    auto m = Engine(host::kVexaLayerClassId, From(names));
    auto& pb = m->Params();
    pb.Set("surface", Pick(2) ? "WATR" : "- ");
    pb.Set("isWater", Pick(3));
    pb.Set("isGlass", Pick(3));
    pb.Set("twoSided", Pick(2));
    const int layers = Pick(4);
    for (int i = 0; i < layers; ++i) pb.Set("layerOrder", 1 + Pick(4), i);
    for (int s = 0; s < 4; ++s) {
      pb.Set("layerTileU", Pick(2), s);
      pb.Set("layerFilename", Pick(2) ? "C:\\l\\a.tga" : "b.tga", s);
    }
    return m;
  }

  std::mt19937 rng_;
};

// The record one (sub-)material makes on its own, or nothing for a class without records.
std::optional<std::vector<uint8_t>> RecordAlone(host::Mtl* mtl, RecordStyle style) {
  MaterialHarness h;
  h.table.Collect(nullptr, mtl);
  EXPECT_EQ(h.Export(style), kMatListOk);
  auto records = h.Records();
  if (records.empty()) return std::nullopt;
  return records[0];
}

// Returns how many registered slots shared an earlier record.
int CompareWithLinearWalk(uint32_t seed, RecordStyle style) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  RandomMaterials random(seed);
  MaterialHarness h;
  std::vector<std::shared_ptr<host::Mtl>> used;
  std::mt19937 rng(seed);
  for (int i = 0; i < 60; ++i) {
    // Reuse an earlier material now and then: one material on several nodes.
    if (!used.empty() && rng() % 4 == 0)
      used.push_back(used[rng() % used.size()]);
    else
      used.push_back(random.Any());
    h.Use(used.back(), "n" + std::to_string(i));
  }
  EXPECT_EQ(h.Export(style), kMatListOk);

  int shared = 0;
  reference::LinearMatList ref;
  const auto& entries = h.table.Entries();
  for (uint32_t i = 0; i < entries.size(); ++i) {
    host::Mtl* m = entries[i].mtl;
    const MaterialSlotMap& map = h.table.SlotMaps()[i];
    const int subs = m->NumSubMtls();
    for (int j = 0; j < std::max(subs, 1); ++j) {
      host::Mtl* sub = subs ? m->GetSubMtl(j) : m;
      auto bytes = sub ? RecordAlone(sub, style) : std::nullopt;
      if (!bytes) {
        EXPECT_EQ(map.slots[static_cast<std::size_t>(j)].mtl, nullptr);
        continue;
      }
      const uint32_t before = ref.count;
      const uint32_t expected = ref.AppendOrShare(*bytes);
      shared += ref.count == before ? 1 : 0;
      EXPECT_EQ(map.slots[static_cast<std::size_t>(j)].recordIndex, static_cast<int32_t>(expected));
      EXPECT_EQ(map.slots[static_cast<std::size_t>(j)].mtl, sub);
    }
  }
  EXPECT_EQ(h.RecordCount(), ref.count);
  auto block = h.Block();
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 12, block.end()), ref.records);
  return shared;
}

TEST(MaterialListOracle, SharedRecordsMatchTheLinearFirstMatchWalk) {
  int shared = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) shared += CompareWithLinearWalk(seed, RecordStyle::Scene);
  for (uint32_t seed = 100; seed <= 110; ++seed) shared += CompareWithLinearWalk(seed, RecordStyle::Skeleton);
  // Sharing must really happen, beyond reused materials, for the comparison to mean much.
  EXPECT_GT(shared, 600);
  std::printf("shared slots: %d\n", shared);
}

// ---- Decoder ----------------------------------------------------------------------------------

std::vector<std::vector<uint8_t>> SampleRecords() {
  std::vector<std::vector<uint8_t>> out;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    RandomMaterials random(seed);
    MaterialHarness h;
    for (int i = 0; i < 30; ++i) h.Use(random.Any(), "n");
    EXPECT_EQ(h.Export(seed % 2 ? RecordStyle::Scene : RecordStyle::Skeleton), kMatListOk);
    for (auto& r : h.Records()) out.push_back(std::move(r));
  }
  return out;
}

TEST(MaterialRecordDecoder, DecodingAndEncodingAgainGivesTheSameBytes) {
  for (const auto& bytes : SampleRecords()) {
    std::string error;
    auto rec = DecodeMaterialRecord(bytes, &error);
    ASSERT_TRUE(rec) << error;
    std::vector<uint8_t> again;
    std::visit([&](const auto& r) { EncodeRecord(r, again); }, *rec);
    EXPECT_EQ(again, bytes);
  }
}

TEST(MaterialRecordDecoder, CutOrDamagedRecordsFailCleanly) {
  for (const auto& bytes : SampleRecords()) {
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(DecodeMaterialRecord(cut)) << "prefix " << n;
      // The same prefix with a head that claims exactly its length.
      if (n >= 8) {
        support::ByteWriter::StoreU32(cut.data() + 4, static_cast<uint32_t>(n));
        std::string error;
        if (!DecodeMaterialRecord(cut, &error)) {
          EXPECT_FALSE(error.empty());
        }
      }
    }
  }
  std::mt19937 rng(7);
  for (auto bytes : SampleRecords()) {
    for (int k = 0; k < 20; ++k) {
      auto damaged = bytes;
      const std::size_t at = 8 + rng() % (damaged.size() - 8);
      damaged[at] = static_cast<uint8_t>(rng());
      (void)DecodeMaterialRecord(damaged);  // must neither crash nor read outside
    }
  }
}

TEST(MaterialRecordDecoder, CountsLargerThanTheRecordAreRefusedBeforeAllocating) {
  VexaLayerRecord r;
  r.layers.resize(1);
  std::vector<uint8_t> bytes;
  EncodeRecord(r, bytes);
  support::ByteWriter::StoreU32(bytes.data() + 0x0c, 0xFFFFFFFFu);
  std::string error;
  EXPECT_FALSE(DecodeMaterialRecord(bytes, &error));
  EXPECT_EQ(error.rfind("more layer entries than bytes", 0), 0u);

  StdRecord s;
  s.mapMask = 0xFFFFFFFFu;
  bytes.clear();
  EncodeRecord(s, bytes);
  EXPECT_FALSE(DecodeMaterialRecord(bytes, &error));

  std::vector<uint8_t> other = {0x01, 0x10, 0, 0, 4, 0, 0, 0};  // size below its own head
  EXPECT_FALSE(DecodeMaterialRecord(other, &error));
  EXPECT_EQ(error, "record size smaller than its head");
}

}  // namespace
}  // namespace vorlan::zef::testing
