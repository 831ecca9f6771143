// The workbench's import services: what an importer may create, what it may not, and the
// scene left after a reset.
#include <gtest/gtest.h>

#include "workbench/materials.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {
namespace {

// An object the workbench did not make.
class ForeignObject : public WithAppData<host::Object> {
 public:
  host::ClassId GetClassId() const override { return {1, 2}; }
  host::SuperClassId GetSuperClassId() const override { return host::kHelperClass; }
  host::Box3 GetBoundingBox(host::TimeValue) const override { return {}; }
  std::string ClassName() const override { return "Foreign"; }
};

TEST(ImportServices, ClassesTheWorkbenchCanAndCannotCreate) {
  Scene scene;
  ScriptedUI ui;
  Workbench wb(scene, ui);
  auto mesh = wb.CreateObject(host::kGeomObjectClass, host::kTriObjectClassId);
  ASSERT_NE(mesh, nullptr);
  EXPECT_NE(mesh->GetEditableMesh(), nullptr);
  // The class must belong to the super class asked for.
  EXPECT_EQ(wb.CreateObject(host::kHelperClass, host::kTriObjectClassId), nullptr);
  EXPECT_EQ(wb.CreateObject(host::kHelperClass, {0x1234, 0x5678}), nullptr);
  auto vexaLight = wb.CreateObject(host::kLightClass, host::kVexaLightClassId);
  ASSERT_NE(vexaLight, nullptr);
  EXPECT_TRUE(vexaLight->FindParam("farAttenEnd"));
  auto spot = wb.CreateObject(host::kLightClass, host::kFreeSpotLightClassId);
  ASSERT_TRUE(spot->SetLightState({.on = false, .hotspot = 10, .falloff = 20}));
  EXPECT_FALSE(spot->EvalLightState(0)->on);
  EXPECT_EQ(spot->EvalLightState(0)->kind, host::LightKind::Spot);  // the class decides the kind
  EXPECT_FALSE(wb.CreateObject(host::kHelperClass, host::kPointHelperClassId)->SetDummyBox({}));

  wb.SetUnavailableClass(host::kVexaLayerClassId);
  EXPECT_EQ(wb.CreateMtl(host::kVexaLayerClassId), nullptr);
  EXPECT_NE(wb.CreateMtl(host::kVexaMatClassId), nullptr);
  EXPECT_NE(wb.CreateTexmap(host::kBitmapTexClassId), nullptr);
}

TEST(ImportServices, NodesTakeOnlyTheWorkbenchsOwnObjectsAndParents) {
  Scene scene, other;
  ScriptedUI ui;
  Workbench wb(scene, ui);
  host::Node* a = wb.CreateNode("A", static_cast<host::Node*>(nullptr));
  host::Node* b = wb.CreateNode("B", a);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetParentNode(), a);
  EXPECT_EQ(wb.CreateNode("C", static_cast<host::Node*>(&other.CreateNode("elsewhere"))), nullptr);
  EXPECT_FALSE(a->SetObjectRef(std::make_shared<ForeignObject>()));
  auto shared = wb.CreateObject(host::kGeomObjectClass, host::kTriObjectClassId);
  EXPECT_TRUE(a->SetObjectRef(shared));
  EXPECT_TRUE(b->SetObjectRef(a->GetObjectShared()));
  EXPECT_EQ(a->GetObjectRef(), b->GetObjectRef());

  // A reset leaves only the root.
  wb.ResetScene();
  EXPECT_EQ(scene.NodeCount(), 1u);
  EXPECT_EQ(scene.FindNode("A"), nullptr);
}

TEST(ImportServices, MultiMaterialsGrowAndStandardSlotsTakeTextures) {
  Scene scene;
  ScriptedUI ui;
  Workbench wb(scene, ui);
  auto multi = wb.CreateMtl(host::kMultiMtlClassId);
  EXPECT_TRUE(multi->SetNumSubMtls(2));
  EXPECT_FALSE(multi->SetSubMtl(5, nullptr));
  EXPECT_TRUE(multi->SetNumSubMtls(6));
  auto std = wb.CreateMtl(host::kStandardMtlClassId);
  EXPECT_TRUE(multi->SetSubMtl(5, std));
  EXPECT_EQ(multi->GetSubMtl(5), std.get());
  EXPECT_FALSE(multi->SetNumSubMtls(-1));

  auto tex = wb.CreateTexmap(host::kBitmapTexClassId);
  EXPECT_TRUE(std->SetSubTexmap(3, tex, true));
  EXPECT_FALSE(std->SetSubTexmap(12, tex, true));  // a Standard material has twelve slots
  auto vexa = wb.CreateMtl(host::kVexaMatClassId);
  EXPECT_TRUE(vexa->SetSubTexmap(19, tex, true));  // its reference 0 has twenty
  EXPECT_TRUE(vexa->SetShading(true, false));
  EXPECT_TRUE(vexa->IsTwoSided());
}

}  // namespace
}  // namespace vorlan::workbench
