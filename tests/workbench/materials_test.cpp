// The workbench's material classes and their place in scene documents.
#include "workbench/materials.h"

#include <gtest/gtest.h>

#include "support/file_io.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench {
namespace {

using host::Point3;

// ---- Classes ------------------------------------------------------------------------------

TEST(WorkbenchMaterials, CreatedByClassIdWithTheirParameters) {
  auto std = CreateMaterialByClassId(host::kStandardMtlClassId, "S");
  ASSERT_NE(std, nullptr);
  EXPECT_EQ(std->NumSubTexmaps(), 12);
  EXPECT_EQ(std->GetSuperClassId(), host::kMaterialClass);
  EXPECT_EQ(CreateMaterialByClassId(host::kMultiMtlClassId)->NumSubMtls(), 0);
  EXPECT_EQ(CreateMaterialByClassId(host::ClassId{1, 2}), nullptr);

  auto vexaMat = CreateMaterialByClassId(host::kVexaMatClassId, "V");
  ASSERT_NE(vexaMat, nullptr);
  EXPECT_EQ(vexaMat->GetName(), "V");
  ASSERT_NE(vexaMat->GetReference0(), nullptr);
  EXPECT_EQ(vexaMat->GetReference0()->GetClassId(), host::kStandardMtlClassId);
  EXPECT_EQ(vexaMat->NumSubTexmaps(), 20);
  host::ParamRef mip = vexaMat->FindParam("prm_mipmap");
  ASSERT_TRUE(mip);
  EXPECT_EQ(mip.block->Count(mip.index), 20);
  EXPECT_EQ(mip.block->Def(mip.index).type, host::ParamType::Int);

  auto layer = CreateMaterialByClassId(host::kVexaLayerClassId, "L");
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(layer->GetReference0(), nullptr);
  host::ParamRef order = layer->FindParam("layerOrder");
  ASSERT_TRUE(order);
  EXPECT_EQ(order.block->Count(order.index), 0);
  host::ParamRef moving = layer->FindParam("layerMoving");
  ASSERT_TRUE(moving);
  EXPECT_EQ(moving.block->Count(moving.index), kVexaLayerSlots);
  EXPECT_EQ(moving.block->Def(moving.index).type, host::ParamType::Point);
  for (const char* name : {"EnvType", "layerEnvType", "matDiffuse", "waterShiftingUV", "layerFilename"})
    EXPECT_TRUE(layer->FindParam(name)) << name;
}

TEST(WorkbenchMaterials, VexaMatAnswersMapQuestionsThroughItsStandardMaterial) {
  auto m = std::static_pointer_cast<ParamMtl>(CreateMaterialByClassId(host::kVexaMatClassId, "V"));
  auto& base = static_cast<StandardMtl&>(*m->reference0);
  auto tex = std::make_shared<BitmapTex>("a.tga");
  base.SetMap(13, tex, true, 0.5f);
  base.twoSided = true;
  EXPECT_EQ(m->GetSubTexmap(13), tex.get());
  EXPECT_TRUE(m->SubTexmapOn(13));
  EXPECT_TRUE(m->IsTwoSided());
  m->SetTexmapAmount(13, 3.0f, 0);
  EXPECT_EQ(base.Map(13).amount, 3.0f);
  m->reference0.reset();
  EXPECT_EQ(m->GetSubTexmap(13), nullptr);
  EXPECT_FALSE(m->IsTwoSided());
}

TEST(WorkbenchMaterials, OutOfRangeSlotsAreEmpty) {
  StandardMtl m("S");
  EXPECT_EQ(m.GetSubTexmap(-1), nullptr);
  EXPECT_EQ(m.GetSubTexmap(12), nullptr);
  EXPECT_FALSE(m.SubTexmapOn(40));
  m.SetTexmapAmount(99, 2.0f, 0);  // ignored
  MultiMtl multi("M", 2);
  EXPECT_EQ(multi.GetSubMtl(2), nullptr);
  EXPECT_EQ(multi.GetSubMtl(-1), nullptr);
}

TEST(WorkbenchMaterials, BitmapCropLivesInItsParameterBlock) {
  BitmapTex t("C:\\a.tga");
  t.SetCrop({true, 0.1f, 0.2f, 0.3f, 0.4f});
  host::ParamBlock* pb = t.GetReference1();
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb->GetInt(host::kBitmapParamApplyCrop, 0), 1);
  EXPECT_EQ(pb->GetFloat(host::kBitmapParamClipU, 0), 0.1f);
  EXPECT_EQ(pb->GetFloat(host::kBitmapParamClipV, 0), 0.2f);
  EXPECT_EQ(pb->GetFloat(host::kBitmapParamClipW, 0), 0.3f);
  EXPECT_EQ(pb->GetFloat(host::kBitmapParamClipH, 0), 0.4f);
  EXPECT_EQ(t.GetTextureTiling(), 3);
  EXPECT_EQ(t.GetClassId(), host::kBitmapTexClassId);
}

// ---- Documents ----------------------------------------------------------------------------

const MaterialCodec kCodec = MaterialDocumentCodec();
const DocumentOptions kOptions{.materials = &kCodec};

std::string Text(const Scene& s) {
  std::string error;
  std::string t = SceneDocumentText(s, error, kOptions);
  EXPECT_EQ(error, "");
  return t;
}

// One material of every class, on nodes; the multi names one top-level material by index.
void BuildMaterialScene(Scene& s) {
  auto wood = std::make_shared<StandardMtl>("Wood");
  wood->twoSided = true;
  wood->diffuse = {0.8f, 0.6f, 0.2f};
  wood->opacity = 0.75f;
  auto tex = std::make_shared<BitmapTex>("C:\\maps\\wood.tga", "Wood map");
  tex->uvGen.mapChannel = 2;
  tex->uvGen.mipMap = 0.5f;
  tex->uvGen.axis = 1;
  tex->SetCrop({true, 0.25f, 0.5f, 0.5f, 0.25f});
  wood->SetMap(1, tex);
  wood->SetMap(11, nullptr, true, 0.04f);
  wood->SetMap(8, std::make_shared<OtherTex>(host::ClassId{0x200, 1}, "Checker"), false);

  auto rock = std::static_pointer_cast<ParamMtl>(CreateMaterialByClassId(host::kVexaMatClassId, "Rock"));
  rock->Params().Set("PRM_COLLISION_TYPE", "ROCK");
  rock->Params().Set("PRM_MIPMAP", 1, 12);
  static_cast<StandardMtl&>(*rock->reference0).SetMap(18, std::make_shared<BitmapTex>("env.tga"));

  auto lake = std::static_pointer_cast<ParamMtl>(CreateMaterialByClassId(host::kVexaLayerClassId, "Lake"));
  lake->Params().Set("isWater", 2);
  lake->Params().Set("matDiffuse", Point3{0.5f, 0.25f, 1});
  lake->Params().Set("layerOrder", 2, 0);
  lake->Params().Set("layerOrder", 1, 1);
  lake->Params().Set("layerFilename", "C:\\t\\water.tga", 1);
  lake->appData.Set(host::kZefExportClassId, host::kSceneExportClass, 2, {'W', 'A', 'T', 'R'});

  auto multi = std::make_shared<MultiMtl>("Multi", 3);
  multi->subs[0] = rock;
  multi->subs[2] = std::make_shared<OtherMtl>(host::ClassId{0x27190ee6, 0}, "Raytrace", "Chrome");

  s.CreateNode("a").SetMtl(wood);
  s.CreateNode("b").SetMtl(rock);
  s.CreateNode("c").SetMtl(lake);
  s.CreateNode("d").SetMtl(multi);
}

TEST(MaterialDocuments, SaveLoadSaveGivesTheSameText) {
  Scene s;
  BuildMaterialScene(s);
  const std::string first = Text(s);
  Scene again;
  DocumentResult r = ParseSceneDocument(first, again, "doc.vscene", kOptions);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Text(again), first);

  // The values came back, and the multi shares the VexaMat with node b.
  auto* wood = static_cast<StandardMtl*>(again.FindNode("a")->GetMtl());
  ASSERT_NE(wood, nullptr);
  EXPECT_TRUE(wood->twoSided);
  EXPECT_EQ(wood->diffuse, (Point3{0.8f, 0.6f, 0.2f}));
  EXPECT_EQ(wood->opacity, 0.75f);
  auto* tex = static_cast<BitmapTex*>(wood->GetSubTexmap(1));
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(tex->path, "C:\\maps\\wood.tga");
  EXPECT_EQ(tex->uvGen.mapChannel, 2);
  EXPECT_TRUE(tex->GetCrop().apply);
  EXPECT_EQ(tex->GetCrop().w, 0.5f);
  EXPECT_EQ(wood->GetTexmapAmount(11, 0), 0.04f);
  EXPECT_FALSE(wood->SubTexmapOn(8));
  host::Mtl* multi = again.FindNode("d")->GetMtl();
  EXPECT_EQ(multi->GetSubMtl(0), again.FindNode("b")->GetMtl());
  EXPECT_EQ(multi->GetSubMtl(1), nullptr);
  EXPECT_EQ(multi->GetSubMtl(2)->GetClassId(), (host::ClassId{0x27190ee6, 0}));
  host::Mtl* lake = again.FindNode("c")->GetMtl();
  host::ParamRef order = lake->FindParam("layerOrder");
  ASSERT_EQ(order.block->Count(order.index), 2);
  EXPECT_EQ(order.block->GetInt(order.index, 0, 1), 1);
  ASSERT_NE(lake->GetAppData(host::kZefExportClassId, host::kSceneExportClass, 2), nullptr);
}

TEST(MaterialDocuments, OnlyChangedValuesAreWritten) {
  Scene s;
  s.CreateNode("a").SetMtl(CreateMaterialByClassId(host::kVexaLayerClassId, "Plain"));
  const std::string text = Text(s);
  EXPECT_NE(text.find("\"class\": \"VexaLayer\""), std::string::npos) << text;
  EXPECT_EQ(text.find("params"), std::string::npos) << text;
}

struct BadMaterial {
  const char* materials;
  const char* error;
};

class MaterialDocumentErrors : public ::testing::TestWithParam<BadMaterial> {};

TEST_P(MaterialDocumentErrors, NameThePathAndWhatWasExpected) {
  const std::string text =
      std::string(R"({"version": 1, "materials": )") + GetParam().materials + R"(, "nodes": []})";
  Scene s;
  DocumentResult r = ParseSceneDocument(text, s, "doc.vscene", kOptions);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaterialDocumentErrors,
    ::testing::Values(
        BadMaterial{
            R"([{"class": "Glossy"}])",
            "doc.vscene: materials[0].class: expected \"Standard\", \"Multi\", \"VexaMat\", \"VexaLayer\" or "
            "\"Other\", found \"Glossy\""},
        BadMaterial{
            R"([{"class": "VexaLayer", "params": {"layerOrdr": [1]}}])",
            "doc.vscene: materials[0].params.layerOrdr: the material has no parameter named \"layerOrdr\""},
        BadMaterial{R"([{"class": "VexaLayer", "params": {"layerOrder": 1}}])",
                    "doc.vscene: materials[0].params.layerOrder: expected an array, found a number"},
        BadMaterial{R"([{"class": "Standard", "maps": [{"slot": 12}]}])",
                    "doc.vscene: materials[0].maps[0].slot: index 12 is past the 12 map slots"},
        BadMaterial{R"([{"class": "Standard", "maps": [{"slot": 1}, {"slot": 1}]}])",
                    "doc.vscene: materials[0].maps[1].slot: map slot 1 is given twice"},
        BadMaterial{
            R"([{"class": "Multi", "subs": [0]}])",
            "doc.vscene: materials[0].subs[0]: a sub-material given by index must not be a Multi/Sub-Object "
            "material"},
        BadMaterial{R"([{"class": "Multi", "subs": [{"class": "Multi", "subs": [0]}]}])",
                    "doc.vscene: materials[0].subs[0].subs[0]: expected a material or null; indices are for "
                    "top-level materials only"},
        BadMaterial{
            R"([{"class": "Standard", "maps": [{"slot": 1, "texture": {"class": "Bitmap", "uvGen": {"axis": 3}}}]}])",
            "doc.vscene: materials[0].maps[0].texture.uvGen.axis: expected 0 (XY), 1 (YZ) or 2 (ZX)"},
        BadMaterial{
            R"([{"class": "Other", "name": "x"}])",
            "doc.vscene: materials[0]: expected the \"classId\" [a, b] of a material of another class"}));

// The example of the format's documentation must stay a valid document.
TEST(MaterialDocuments, DocumentedExampleLoads) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(std::string(VORLAN_SOURCE_DIR) + "/docs/scene-format.md", bytes));
  const std::string doc(bytes.begin(), bytes.end());
  auto start = doc.find("```json\n", doc.find("## Materials"));
  ASSERT_NE(start, std::string::npos);
  start += 8;
  Scene s;
  DocumentResult r =
      ParseSceneDocument(doc.substr(start, doc.find("```", start) - start), s, "example", kOptions);
  ASSERT_TRUE(r.ok) << r.error;
  host::Mtl* crate = s.FindNode("Box01")->GetMtl();
  ASSERT_EQ(crate->NumSubMtls(), 3);
  EXPECT_EQ(crate->GetSubMtl(0)->GetName(), "Wood");
  EXPECT_EQ(s.FindNode("Box02")->GetMtl()->GetReference0()->GetSubTexmap(12)->GetMapFileName(), "rock.tga");
}

TEST(MaterialDocuments, AMaterialInsideItselfIsRefusedNotFollowedForever) {
  Scene s;
  auto multi = std::make_shared<MultiMtl>("Loop", 1);
  auto inner = std::make_shared<MultiMtl>("Inner", 1);
  multi->subs[0] = inner;
  inner->subs[0] = multi;
  s.CreateNode("a").SetMtl(multi);
  std::string error;
  EXPECT_EQ(SceneDocumentText(s, error, kOptions), "");
  EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
  inner->subs[0].reset();  // break the cycle so both are freed
}

}  // namespace
}  // namespace vorlan::workbench
