// The MatList writer against records worked out by hand from the layouts, and its side
// results: slot maps, crop list, layer tables, SurfaceCodes and messages.
#include <gtest/gtest.h>

#include "zef/material_test_host.h"

namespace vorlan::zef::testing {
namespace {

using host::Point3;
using workbench::ParamMtl;

std::vector<uint8_t> Vec(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

// ---- Golden records ----------------------------------------------------------------------

TEST_F(MaterialFixture, StandardRecordHasSlotOrderMaskedTilingAndMipBit) {
  auto m = Standard("AB");
  m->twoSided = true;
  m->SetMap(1, Bitmap("C:\\maps\\wood.tga", 3, 0.5f));
  m->SetMap(8, Bitmap("bump.tga", 0x5));
  m->SetMap(11, Bitmap("maps/detail.tga", 0x13));  // a stray host bit must not reach the mip bit
  m->SetMap(6, Bitmap("opacity.tga"));             // opacity is never exported
  m->SetMap(0, Bitmap("ambient.tga"), /*on=*/false);
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);

  Bytes rec;
  rec.u32(0x1001).u32(73).u32(1).chars("AB\0\0", 4).u32(0x007);
  rec.u32(9).u32(0x13).str("wood.tga");
  rec.u32(11).u32(0x03).str("detail.tga");
  rec.u32(9).u32(0x05).str("bump.tga");
  Bytes block;
  block.u32(0x1000).u32(12 + 73).u32(1);
  block.v.insert(block.v.end(), rec.v.begin(), rec.v.end());
  EXPECT_EQ(Vec(Block()), block.v);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MaterialFixture, VexaMatRecordTakesFlagsFromItsStandardMaterialAndTypesFromParameters) {
  auto m = Engine(host::kVexaMatClassId, "Rock");
  Base(*m).wire = true;
  auto& pb = m->Params();
  pb.Set("PRM_COLLISION_TYPE", "ROCKS");
  pb.Set("PRM_TRANSPARENT_TYPE", "- ");
  pb.Set("PRM_GROW_TYPE", "grow");
  pb.Set("PRM_GRASS_TYPE", "");
  pb.Set("PRM_ENVIRONMENT_TYPE", 0);
  pb.Set("PRM_MIPMAP", 1, 12);
  Base(*m).SetMap(12, Bitmap("C:\\a\\d.tga", 1));
  Base(*m).SetMap(13, Bitmap("x.tga"), /*on=*/false);
  Base(*m).SetMap(18, Bitmap("env.tga", 3));
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);

  Bytes rec;
  rec.u32(0x1002).u32(67).u32(2).u32(0x210000).chars("ROCK", 4).chars("- \0\0", 4).u8('g').u8(0).u8(0).u8(0);
  rec.u32(5).str("Rock");
  rec.u32(0x10011).u32(6).str("d.tga");
  rec.u32(0x200003).u32(8).str("env.tga");
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], rec.v);
  EXPECT_EQ(GetSurfaceCode(*m), (Code4{'R', 'O', 'C', 'K'}));
}

TEST_F(MaterialFixture, VexaLayerSceneRecordWithWaterLayerLeftOut) {
  auto m = Engine(host::kVexaLayerClassId, "Lake");
  auto& pb = m->Params();
  pb.Set("surface", "WATR");
  pb.Set("transparency", -1);
  pb.Set("twoSided", 1);
  pb.Set("faceted", 1);
  pb.Set("growType", "x");
  pb.Set("grassType", "yz");
  pb.Set("matDiffuse", Point3{0.5f, 0.25f, 1});
  pb.Set("matAmbient", Point3{0.1f, 0.2f, 0.3f});
  pb.Set("matSpecular", Point3{1, 1, 1});
  pb.Set("matSelfIllum", Point3{0, 0, 0.5f});
  pb.Set("matOpacity", 80);
  pb.Set("matOpacityFalloff", 0.5f);
  pb.Set("matGlossiness", 10);
  pb.Set("matSpecLevel", 20);
  pb.Set("shaderType", "sh");
  pb.Set("shaderFilename", "C:\\fx\\s.fx");
  pb.Set("isWater", 1);
  pb.Set("waterAlphaAngle", 1.5f);
  pb.Set("waterEnvBlend", 0.25f);
  pb.Set("waterSharpness", Point3{1, 2, 3});
  pb.Set("waterShiftingXY", Point3{4, 5, 9});
  pb.Set("waterShiftingUV", Point3{6, 7, 9});
  pb.Set("layerOrder", 3, 0);
  pb.Set("layerOrder", 1, 1);
  pb.Set("layerOrder", 2, 2);
  pb.Set("layerFilename", "w.tga", 0);
  pb.Set("layerTileU", 1, 2);
  pb.Set("layerMipmap", 1, 2);
  pb.Set("EnvType", 1, 2);
  pb.Set("layerMoveType", 3, 2);
  pb.Set("layerMoveSoft", -2, 2);
  pb.Set("layerMoving", Point3{0.5f, 0, 0}, 2);
  pb.Set("layerFilename", "a\\b\\c.tga", 2);
  pb.Set("layerChannel", 4, 2);
  pb.Set("layerTileV", 1, 1);
  pb.Set("layerCrop", 1, 1);
  pb.Set("layerMove", 1, 1);
  pb.Set("LMApplyLight", 1, 1);
  pb.Set("OverlayMultitex", 1, 1);
  pb.Set("layerEnvType", 1, 1);  // the skeleton exporter's name: not read here
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);

  Bytes rec;
  rec.u32(0x1004).u32(244).u32(5).u32(2).chars("WATR", 4).i32(-1).u8('x').u8('y');
  rec.f32x3(0.5f, 0.25f, 1).f32x3(0.1f, 0.2f, 0.3f).f32x3(1, 1, 1).f32x3(0, 0, 0.5f);
  rec.i32(80).f32(0.5f).i32(10).i32(20).u32(3).u32(11).u32(5);
  rec.str("sh").str("C:\\fx\\s.fx").str("Lake");
  rec.u32(0x10000).u32(52).u32(0x10001).u32(44).f32(1.5f).f32(0.25f).f32x3(1, 2, 3).f32(4).f32(5).f32(6).f32(
      7);
  rec.u32(2).u32(0x100011).i32(3).i32(-2).f32x3(0.5f, 0, 0).u32(6).str("c.tga");
  rec.u32(1).u32(0xC00122).i32(0).i32(0).f32x3(0, 0, 0).u32(1).str("");
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], rec.v);
  EXPECT_EQ(GetSurfaceCode(*m), (Code4{'W', 'A', 'T', 'R'}));

  const LayerTable* layers = table.LayersFor(m.get());
  ASSERT_NE(layers, nullptr);
  EXPECT_EQ(layers->waterSlot, 0);
  EXPECT_EQ(layers->glassSlot, -1);
  EXPECT_FALSE(layers->layers[0].used);
  EXPECT_TRUE(layers->layers[1].used);
  EXPECT_TRUE(layers->layers[1].crop);
  EXPECT_TRUE(layers->layers[2].used);
  EXPECT_EQ(layers->layers[2].channel, 4);
  EXPECT_TRUE(table.CropList().empty());
}

TEST_F(MaterialFixture, VexaLayerSkeletonRecordHasNoExtrasAndKeepsEveryLayer) {
  auto m = Engine(host::kVexaLayerClassId, "Skin");
  auto& pb = m->Params();
  pb.Set("surface", "WOOD");
  pb.Set("isWater", 1);  // not read by the skeleton exporter
  pb.Set("layerOrder", 1, 0);
  pb.Set("layerFilename", "C:\\t\\skin.tga", 0);
  pb.Set("layerOverlayMultitex", 1, 0);
  pb.Set("EnvType", 1, 0);  // the scene exporter's name: not read here
  Use(m);
  ASSERT_EQ(Export(RecordStyle::Skeleton), kMatListOk);

  Bytes rec;
  rec.u32(0x1003).u32(150).u32(0).u32(1).chars("WOOD", 4).i32(0).u8(0).u8(0);
  for (int i = 0; i < 4; ++i) rec.f32x3(0, 0, 0);
  rec.i32(0).f32(0).i32(0).i32(0).u32(1).u32(1).u32(5).str("").str("").str("Skin");
  rec.u32(0).u32(0xA00000).i32(0).i32(0).f32x3(0, 0, 0).u32(9).str("skin.tga");
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], rec.v);
  EXPECT_EQ(Code4Value(GetSurfaceCode(*m)), 0u);
}

TEST_F(MaterialFixture, EmptyTableGivesBlockOfTwelveBytes) {
  ASSERT_EQ(Export(), kMatListOk);
  Bytes block;
  block.u32(0x1000).u32(12).u32(0);
  EXPECT_EQ(Vec(Block()), block.v);
  EXPECT_EQ(buffer.Offset(), head + 12);
  EXPECT_EQ(table.TotalSlotCount(), 0u);
}

// ---- Fields of single records --------------------------------------------------------------

TEST_F(MaterialFixture, ShortNamesAreZeroPaddedInCodes) {
  auto std = Standard("AB");
  auto layer = Engine(host::kVexaLayerClassId, "L");
  layer->Params().Set("surface", "S");
  Use(std);
  Use(layer);
  ASSERT_EQ(Export(), kMatListOk);
  auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(std::vector<uint8_t>(records[0].begin() + 12, records[0].begin() + 16),
            (std::vector<uint8_t>{'A', 'B', 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(records[1].begin() + 16, records[1].begin() + 20),
            (std::vector<uint8_t>{'S', 0, 0, 0}));
}

TEST_F(MaterialFixture, VexaMatChannelTypeBitsFollowTheirSwitches) {
  auto flagsOf = [&](int env, int light, int overlay) {
    MaterialHarness f;
    auto m = Engine(host::kVexaMatClassId, "M");
    m->Params().Set("PRM_ENVIRONMENT_TYPE", env);
    m->Params().Set("PRM_LIGHT", light);
    m->Params().Set("PRM_MIPMAP_OVERLAY", overlay);
    for (int ch : {12, 13, 14, 18, 19}) Base(*m).SetMap(ch, Bitmap("t.tga", 0));
    f.Use(m);
    EXPECT_EQ(f.Export(), kMatListOk);
    auto rec = DecodeMaterialRecord(f.Records().at(0));
    std::vector<uint32_t> flags;
    if (!rec) return flags;
    const auto& r = std::get<VexaMatRecord>(*rec);
    for (const TextureEntry& e : r.textures) flags.push_back(e.flags);
    flags.push_back(r.texTypes);
    return flags;
  };
  EXPECT_EQ(flagsOf(0, 0, 0),
            (std::vector<uint32_t>{0x10000, 0x20000, 0x40000, 0x200000, 0x80000, 0x2F0000}));
  EXPECT_EQ(flagsOf(1, 1, 1),
            (std::vector<uint32_t>{0x10000, 0x20000, 0x800000, 0x100000, 0x400000, 0xD30000}));
}

TEST_F(MaterialFixture, VexaMatParametersMatchWithoutRegardToCaseAndLastBlockWins) {
  auto m = std::make_shared<ParamMtl>(host::kVexaMatClassId, "VexaMat", "M");
  m->reference0 = Standard("");
  auto& a = m->AddParamBlock("first");
  a.AddParam({"prm_collision_type", host::ParamType::String}, std::string("AAAA"));
  auto& b = m->AddParamBlock("second");
  b.AddParam({"Prm_Collision_Type", host::ParamType::String}, std::string("BBBB"));
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto rec = DecodeMaterialRecord(Records().at(0));
  ASSERT_TRUE(rec);
  EXPECT_EQ(std::get<VexaMatRecord>(*rec).collisionType, (Code4{'B', 'B', 'B', 'B'}));
}

TEST_F(MaterialFixture, SecondDiffuseTilingIsWrittenIntoTheMapAmount) {
  auto m = Engine(host::kVexaMatClassId, "M");
  m->Params().Set("PRM_DIFF2_TILE", 4);
  Base(*m).SetMap(13, Bitmap("t.tga"), true, 0.3f);
  auto n = Engine(host::kVexaMatClassId, "N");  // value 0 leaves the amount alone
  Base(*n).SetMap(13, Bitmap("t.tga"), true, 0.3f);
  Use(m);
  Use(n);
  ASSERT_EQ(Export(), kMatListOk);
  EXPECT_EQ(m->GetTexmapAmount(13, 0), 4.0f);
  EXPECT_EQ(n->GetTexmapAmount(13, 0), 0.3f);
}

TEST_F(MaterialFixture, VexaMatWithoutStandardMaterialHasNoFlagsOrTextures) {
  auto m = Engine(host::kVexaMatClassId, "Bare");
  m->reference0.reset();
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto rec = DecodeMaterialRecord(Records().at(0));
  ASSERT_TRUE(rec);
  const auto& r = std::get<VexaMatRecord>(*rec);
  EXPECT_EQ(r.flags, 0u);
  EXPECT_TRUE(r.textures.empty());
  EXPECT_EQ(r.name, "Bare");
}

// ---- Extras block of VexaLayer ------------------------------------------------------------

struct ExtrasCase {
  int isWater, isGlass;
  ExtrasKind extras;
  std::vector<uint32_t> slots;  // layer entries written
  uint32_t extrasSize;
};

class VexaLayerExtras : public MaterialFixture, public ::testing::WithParamInterface<ExtrasCase> {};

TEST_P(VexaLayerExtras, NestedBlockAndLayersLeftOut) {
  const ExtrasCase& c = GetParam();
  auto m = Engine(host::kVexaLayerClassId, "L");
  auto& pb = m->Params();
  pb.Set("isWater", c.isWater);
  pb.Set("isGlass", c.isGlass);
  for (int i = 0; i < 3; ++i) pb.Set("layerOrder", i + 1, i);
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto bytes = Records().at(0);
  // Header 0x66, two empty texts and the name "L", then the extras block.
  EXPECT_EQ(support::LoadU32(bytes.data() + 0x66 + 4), 0x10000u);
  EXPECT_EQ(support::LoadU32(bytes.data() + 0x66 + 8), c.extrasSize);
  auto rec = DecodeMaterialRecord(bytes);
  ASSERT_TRUE(rec);
  const auto& r = std::get<VexaLayerRecord>(*rec);
  EXPECT_EQ(r.extras, c.extras);
  std::vector<uint32_t> slots;
  for (const LayerEntry& e : r.layers) slots.push_back(e.slot);
  EXPECT_EQ(slots, c.slots);
  EXPECT_EQ(support::LoadU32(bytes.data() + 0x0c), c.slots.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, VexaLayerExtras,
                         ::testing::Values(ExtrasCase{0, 0, ExtrasKind::None, {0, 1, 2}, 8},
                                           ExtrasCase{2, 0, ExtrasKind::Water, {0, 2}, 52},
                                           ExtrasCase{0, 3, ExtrasKind::Glass, {0, 1}, 36},
                                           ExtrasCase{1, 3, ExtrasKind::Water, {1}, 52}));

TEST_F(MaterialFixture, LayerOrderThreeOneTwoWithWaterOneWritesSlotsTwoAndOne) {
  auto m = Engine(host::kVexaLayerClassId, "L");
  auto& pb = m->Params();
  pb.Set("isWater", 1);
  pb.Set("layerOrder", 3, 0);
  pb.Set("layerOrder", 1, 1);
  pb.Set("layerOrder", 2, 2);
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto rec = DecodeMaterialRecord(Records().at(0));
  ASSERT_TRUE(rec);
  const auto& r = std::get<VexaLayerRecord>(*rec);
  ASSERT_EQ(r.layers.size(), 2u);
  EXPECT_EQ(r.layers[0].slot, 2u);
  EXPECT_EQ(r.layers[1].slot, 1u);
  EXPECT_EQ(r.extras, ExtrasKind::Water);
}

// ---- Sharing and slot maps -----------------------------------------------------------------

TEST_F(MaterialFixture, MaterialOnThreeNodesGivesOneRecordAndThreeSlotMaps) {
  auto m = Standard("Wood");
  host::Node* a = Use(m, "a");
  host::Node* b = Use(m, "b");
  host::Node* c = Use(m, "c");
  ASSERT_EQ(Export(), kMatListOk);
  EXPECT_EQ(RecordCount(), 1u);
  EXPECT_EQ(table.TotalSlotCount(), 3u);
  for (host::Node* n : {a, b, c}) {
    const MaterialSlotMap* map = table.SlotMapFor(n);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->slotCount, 1u);
    EXPECT_EQ(map->registered, 1u);
    EXPECT_EQ(map->slots[0].recordIndex, 0);
    EXPECT_EQ(map->slots[0].mtl, m.get());
  }
  EXPECT_EQ(table.CropList().size(), 1u);  // one per new record
}

TEST_F(MaterialFixture, ByteIdenticalMaterialsShareOneRecordButDifferentCropsDoNot) {
  auto first = Standard("Wood1");
  auto second = Standard("Wood2");  // the same four name bytes
  auto cropped = Standard("Wood3");
  for (auto& m : {first, second, cropped}) m->SetMap(1, Bitmap("C:\\w.tga"));
  auto tex = std::static_pointer_cast<workbench::BitmapTex>(cropped->Map(1).map);
  tex->SetCrop({true, 0.25f, 0.5f, 0.5f, 0.25f});
  Use(first);
  Use(second);
  Use(cropped);
  ASSERT_EQ(Export(), kMatListOk);
  ASSERT_EQ(RecordCount(), 2u);
  EXPECT_EQ(table.SlotMaps()[0].slots[0].recordIndex, 0);
  EXPECT_EQ(table.SlotMaps()[1].slots[0].recordIndex, 0);
  EXPECT_EQ(table.SlotMaps()[1].slots[0].mtl, second.get());
  EXPECT_EQ(table.SlotMaps()[2].slots[0].recordIndex, 1);
  EXPECT_EQ(Records()[0], Records()[1]);

  ASSERT_EQ(table.CropList().size(), 2u);
  const CropEntry* c = table.CropFor(1);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->apply);
  EXPECT_EQ(c->u, 0.25f);
  EXPECT_EQ(c->v, 0.5f);
  EXPECT_EQ(c->w, 0.5f);
  EXPECT_EQ(c->h, 0.25f);
  EXPECT_FALSE(table.CropFor(0)->apply);
}

TEST_F(MaterialFixture, CropOfASwitchedOffDiffuseMapIsZero) {
  auto m = Standard("M");
  auto tex = Bitmap("a.tga");
  tex->SetCrop({true, 0.1f, 0.2f, 0.3f, 0.4f});
  m->SetMap(1, tex, /*on=*/false);
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  const CropEntry* c = table.CropFor(0);
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->apply);
  EXPECT_EQ(c->u, 0.0f);
}

TEST_F(MaterialFixture, MultiMaterialWithMissingSubMaterialKeepsAHole) {
  auto multi = std::make_shared<workbench::MultiMtl>("Multi", 3);
  multi->subs[0] = Standard("S0");
  multi->subs[2] = Engine(host::kVexaMatClassId, "S2");
  host::Node* n = Use(multi);
  ASSERT_EQ(Export(), kMatListOk);
  const MaterialSlotMap* map = table.SlotMapFor(n);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->slotCount, 3u);
  EXPECT_EQ(map->registered, 2u);
  ASSERT_EQ(map->slots.size(), 3u);
  EXPECT_EQ(map->slots[0].recordIndex, 0);
  EXPECT_EQ(map->slots[0].mtl, multi->subs[0].get());
  EXPECT_EQ(map->slots[1].mtl, nullptr);
  EXPECT_EQ(map->slots[1].recordIndex, -1);
  EXPECT_EQ(map->slots[2].recordIndex, 1);
  EXPECT_EQ(table.TotalSlotCount(), 4u);
  EXPECT_EQ(RecordCount(), 2u);
}

TEST_F(MaterialFixture, OtherClassGetsTheWarningAndAnEmptySlotMap) {
  auto other = std::make_shared<workbench::OtherMtl>(host::ClassId{0x27190ee6, 0}, "Raytrace", "Chrome");
  auto nested = std::make_shared<workbench::MultiMtl>("Outer", 2);
  nested->subs[0] = std::make_shared<workbench::MultiMtl>("Inner", 1);
  nested->subs[1] = Standard("S");
  host::Node* a = Use(other);
  host::Node* b = Use(nested);
  ASSERT_EQ(Export(), kMatListOk);

  const MaterialSlotMap* ma = table.SlotMapFor(a);
  ASSERT_NE(ma, nullptr);
  EXPECT_EQ(ma->slotCount, 0u);
  EXPECT_EQ(ma->registered, 0u);
  const MaterialSlotMap* mb = table.SlotMapFor(b);
  EXPECT_EQ(mb->slotCount, 2u);
  EXPECT_EQ(mb->registered, 1u);
  EXPECT_EQ(RecordCount(), 1u);

  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Material \"Chrome\" has not 'Standart', 'VexaMat' or 'VexaLayer' type.");
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(ui.messages[0].icon, host::Icon::Warning);
  EXPECT_EQ(ui.messages[1].text, "Material \"Inner\" has not 'Standart', 'VexaMat' or 'VexaLayer' type.");
}

TEST_F(MaterialFixture, EmptyEntryEndsTheListWith255) {
  Use(Standard("A"));
  table.Collect(nullptr, nullptr);
  EXPECT_EQ(Export(), kMatListEmptyEntry);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "ExportMaterialList() - pMtl = NULL !");
  EXPECT_EQ(ui.messages[0].icon, host::Icon::Error);
}

TEST_F(MaterialFixture, BlockSizeCoversAllRecordsAndIsFollowedByTheNextWrite) {
  Use(Standard("A"));
  Use(Engine(host::kVexaMatClassId, "B"));
  Use(Engine(host::kVexaLayerClassId, "C"));
  ASSERT_EQ(Export(), kMatListOk);
  uint32_t sum = 12;
  for (const auto& r : Records()) sum += static_cast<uint32_t>(r.size());
  EXPECT_EQ(BlockU32(4), sum);
  EXPECT_EQ(RecordCount(), 3u);
  EXPECT_EQ(buffer.Offset(), head + sum);
}

// ---- SurfaceCode ------------------------------------------------------------------------------

TEST_F(MaterialFixture, DashSurfaceIsStoredButNotPublished) {
  auto m = Engine(host::kVexaLayerClassId, "L");
  m->Params().Set("surface", "- ");
  auto v = Engine(host::kVexaMatClassId, "V");
  v->Params().Set("PRM_COLLISION_TYPE", "- ");
  Use(m);
  Use(v);
  ASSERT_EQ(Export(), kMatListOk);
  auto records = Records();
  EXPECT_EQ(std::vector<uint8_t>(records[0].begin() + 16, records[0].begin() + 20),
            (std::vector<uint8_t>{'-', ' ', 0, 0}));
  EXPECT_EQ(m->GetAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub), nullptr);
  EXPECT_EQ(v->GetAppData(host::kZefExportClassId, host::kSceneExportClass, kSurfaceCodeSub), nullptr);
}

TEST_F(MaterialFixture, MarksAreRemovedFromEntriesAndTheirSubMaterials) {
  auto multi = std::make_shared<workbench::MultiMtl>("Multi", 1);
  auto sub = Engine(host::kVexaLayerClassId, "Sub");
  sub->Params().Set("surface", "GRAS");
  multi->subs[0] = sub;
  auto top = Engine(host::kVexaMatClassId, "Top");
  top->Params().Set("PRM_COLLISION_TYPE", "ROCK");
  Use(multi);
  Use(top);
  top->SetAppData(host::kZefExportClassId, host::kSceneExportClass, kMaterialMarkSub, {1, 0, 0, 0});
  ASSERT_EQ(Export(), kMatListOk);
  EXPECT_EQ(GetSurfaceCode(*sub), (Code4{'G', 'R', 'A', 'S'}));
  EXPECT_EQ(GetSurfaceCode(*top), (Code4{'R', 'O', 'C', 'K'}));
  EXPECT_EQ(Code4Value(GetSurfaceCode(*multi)), 0u);

  RemoveMaterialMarks(table);
  EXPECT_TRUE(sub->appData.All().empty());
  EXPECT_TRUE(top->appData.All().empty());
}

// ---- Texture names and limits ---------------------------------------------------------------

TEST_F(MaterialFixture, TextureFileNameTakesThePartAfterTheLastSeparator) {
  struct Case {
    const char* path;
    const char* name;
  };
  for (const Case& c : {Case{"C:\\maps\\wood.tga", "wood.tga"}, Case{"wood.tga", "wood.tga"},
                        Case{"maps/sub/wood.tga", "wood.tga"}, Case{"/home/art/wood.tga", "wood.tga"},
                        Case{"\\wood.tga", "\\wood.tga"}, Case{"C:\\maps\\", ""}, Case{"", ""},
                        Case{"a\\b/c.tga", "c.tga"}, Case{"a/b\\c.tga", "c.tga"}}) {
    std::string out = "junk";
    uint32_t len = TextureFileName(*Bitmap(c.path), out, ui);
    EXPECT_EQ(out, c.name) << c.path;
    EXPECT_EQ(len, std::string(c.name).size() + 1) << c.path;
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MaterialFixture, TextureThatIsNotABitmapGetsAnEmptyNameAndAMessage) {
  auto m = Standard("M");
  auto checker = std::make_shared<workbench::OtherTex>(host::ClassId{0x200, 0x1}, "Checker");
  m->SetMap(1, checker);
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Texture Checker is not a bitmap !");
  EXPECT_EQ(ui.messages[0].icon, host::Icon::Error);
  Bytes rec;
  rec.u32(0x1001).u32(29).u32(0).chars("M\0\0\0", 4).u32(1).u32(1).u32(0).str("");
  EXPECT_EQ(Records().at(0), rec.v);
}

TEST_F(MaterialFixture, OverLongTextsAreCutToTheirFieldWithAMessageNamingTheMaterial) {
  const std::string longName(300, 'n');
  auto v = Engine(host::kVexaMatClassId, "Vexa");
  Base(*v).SetMap(12, Bitmap("C:\\" + longName + ".tga"));
  auto l = Engine(host::kVexaLayerClassId, "Layer");
  l->Params().Set("shaderType", longName);
  l->Params().Set("layerOrder", 1, 0);
  l->Params().Set("layerFilename", "x\\" + longName, 0);
  auto s = Standard("Std");
  s->SetMap(1, Bitmap(std::string(1000, 's')));  // within the Standard limit
  Use(v);
  Use(l);
  Use(s);
  ASSERT_EQ(Export(), kMatListOk);

  auto vr = std::get<VexaMatRecord>(*DecodeMaterialRecord(Records().at(0)));
  EXPECT_EQ(vr.textures.at(0).fileName, std::string(259, 'n'));
  auto lr = std::get<VexaLayerRecord>(*DecodeMaterialRecord(Records().at(1)));
  EXPECT_EQ(lr.shaderType, std::string(259, 'n'));
  EXPECT_EQ(lr.layers.at(0).fileName, std::string(259, 'n'));
  auto sr = std::get<StdRecord>(*DecodeMaterialRecord(Records().at(2)));
  EXPECT_EQ(sr.textures.at(0).fileName.size(), 1000u);

  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].text.rfind("Material \"Vexa\": the texture name \"", 0), 0u);
  EXPECT_EQ(ui.messages[1].text,
            "Material \"Layer\": shaderType is longer than 259 characters and was cut to that length.");
  EXPECT_EQ(ui.messages[2].text,
            "Material \"Layer\": the file name of layer 1 is longer than 259 characters and was cut to that "
            "length.");
  for (const auto& msg : ui.messages) EXPECT_EQ(msg.icon, host::Icon::Warning);
}

TEST_F(MaterialFixture, MoreThanThirteenLayersAreCutAndBadOrderValuesLeftOut) {
  auto m = Engine(host::kVexaLayerClassId, "Deep");
  for (int i = 0; i < 16; ++i) m->Params().Set("layerOrder", i % 13 + 1, i);
  m->Params().Set("layerOrder", 14, 5);  // no such slot
  m->Params().Set("layerOrder", -7, 6);  // nor this
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto r = std::get<VexaLayerRecord>(*DecodeMaterialRecord(Records().at(0)));
  EXPECT_EQ(r.layers.size(), 11u);
  for (const LayerEntry& e : r.layers) EXPECT_LT(e.slot, 13u);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{
                "Material \"Deep\" has 16 layers; only the first 13 are exported.",
                "Material \"Deep\": layer order value 14 is not a layer from 1 to 13; it is left out.",
                "Material \"Deep\": layer order value -7 is not a layer from 1 to 13; it is left out."}));
}

TEST_F(MaterialFixture, NamesWithZeroBytesEndAtTheZero) {
  auto m = Engine(host::kVexaMatClassId, std::string("ab\0cd", 5));
  Use(m);
  ASSERT_EQ(Export(), kMatListOk);
  auto r = std::get<VexaMatRecord>(*DecodeMaterialRecord(Records().at(0)));
  EXPECT_EQ(r.name, "ab");
  EXPECT_EQ(support::LoadU32(Records()[0].data() + 0x1c), 3u);
}

}  // namespace
}  // namespace vorlan::zef::testing
