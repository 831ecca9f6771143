#include "skintools/skin_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "skintools/skin_actions.h"
#include "skintools/skin_panel.h"
#include "support/file_io.h"
#include "workbench/character.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/utilities_panel.h"
#include "workbench/workbench.h"

namespace vorlan::skintools {
namespace {

namespace fs = std::filesystem;
using workbench::SceneNode;
using workbench::SkinModifierImpl;
using workbench::SkinWeight;

host::Mesh Quad(float dx) {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (auto& v : m.verts) v.x += dx;
  m.faces = {{.v = {0, 1, 2}, .smGroup = 1}, {.v = {0, 2, 3}, .smGroup = 1}};
  return m;
}

class SkinHost : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("skinhost_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    wb_.SetPlugCfgDir((dir_ / "cfg").string());
    SceneNode& top = scene_.CreateNode("Bip01");
    top.SetObject(std::make_shared<workbench::SkeletonRootObject>());
    pelvis_ = &Bone("Bip01 Pelvis", &top);
    spine_ = &Bone("Bip01 Spine", pelvis_);
    head_ = &Bone("Bip01 Head", spine_);
    source_ = &Skinned("Body", 0.0f);
    sourceSkin_->SetRigid(0, pelvis_);
    sourceSkin_->SetBlended(1, {{pelvis_, 0.25f}, {spine_, 0.25f}, {spine_, 0.5f}});
    sourceSkin_->SetBlended(2, {{spine_, 0.5f}, {head_, 0.3f}, {pelvis_, 0.2f}});
    sourceSkin_->SetRigid(3, head_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  SceneNode& Bone(const std::string& name, SceneNode* parent) {
    SceneNode& n = scene_.CreateNode(name, parent);
    n.SetObject(workbench::HelperObject::Point());
    n.TMControl()->SetClassId(kBoneControlClassId);
    return n;
  }
  SceneNode& Skinned(const std::string& name, float dx) {
    SceneNode& n = scene_.CreateNode(name);
    n.SetObject(std::make_shared<workbench::MeshObject>(Quad(dx)));
    n.SetTransform(host::Matrix3::Translation({0, 0, 2}));
    auto skin = std::make_shared<SkinModifierImpl>();
    n.AddModifier(skin);
    lastSkin_ = skin.get();
    if (!sourceSkin_) sourceSkin_ = skin.get();
    return n;
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }
  SkdData Read(const std::string& path) {
    std::vector<uint8_t> bytes;
    SkdData d;
    EXPECT_TRUE(support::ReadWholeFile(path, bytes));
    EXPECT_EQ(DecodeSkd(bytes, d), SkdStatus::Ok);
    return d;
  }

  fs::path dir_;
  workbench::Scene scene_;
  workbench::ScriptedUI ui_;
  workbench::Workbench wb_{scene_, ui_};
  SceneNode *pelvis_ = nullptr, *spine_ = nullptr, *head_ = nullptr, *source_ = nullptr;
  SkinModifierImpl* sourceSkin_ = nullptr;
  SkinModifierImpl* lastSkin_ = nullptr;
};

TEST_F(SkinHost, SavesWorldPositionsAndEveryBlendedBone) {
  ASSERT_TRUE(SaveSkd(wb_, *source_, File("body.skd"), false));
  SkdData d = Read(File("body.skd"));
  ASSERT_EQ(d.records.size(), 4u);
  EXPECT_FALSE(d.selectedOnly);
  EXPECT_EQ(d.records[2].index, 2);
  EXPECT_EQ(d.records[2].position, host::Point3(1, 1, 2));
  EXPECT_EQ(d.records[2].normal, host::Point3(0, 0, 1));
  ASSERT_EQ(d.records[0].bones.size(), 1u);
  EXPECT_EQ(d.records[0].bones[0].name, "Bip01 Pelvis");
  EXPECT_EQ(d.records[0].bones[0].weight, 1.0f);
  // The spine named twice comes back as one entry of 0.75.
  ASSERT_EQ(d.records[1].bones.size(), 2u);
  EXPECT_EQ(d.records[1].bones[1].name, "Bip01 Spine");
  EXPECT_EQ(d.records[1].bones[1].weight, 0.75f);
  EXPECT_EQ(d.records[2].bones.size(), 3u);
}

TEST_F(SkinHost, SelectedOnlyWithNothingSelectedIsRefusedOnLoad) {
  ASSERT_TRUE(SaveSkd(wb_, *source_, File("none.skd"), true));
  EXPECT_EQ(fs::file_size(File("none.skd")), 16u);
  EXPECT_TRUE(LoadSkd(wb_, File("none.skd")).records.empty());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Incorrect version of skd file.\nResave the skd file.");
  EXPECT_EQ(ui_.messages[0].caption, "Error");
  EXPECT_TRUE(LoadSkd(wb_, File("missing.skd")).records.empty());
  EXPECT_EQ(ui_.messages.back().text, "Can't open .skd file.");
}

TEST_F(SkinHost, SavePhysiqueChecksTheSelectionAndTheSkin) {
  SkinToolsState state;
  EXPECT_FALSE(SavePhysique(wb_, state));
  EXPECT_EQ(ui_.messages.back().text, "Select only object you want to save...");
  pelvis_->SetSelected(true);
  EXPECT_FALSE(SavePhysique(wb_, state));
  EXPECT_EQ(ui_.messages.back().text, "There is no Physique modifier on 'Bip01 Pelvis'.");
  pelvis_->SetSelected(false);
  source_->SetSelected(true);
  ui_.QueuePath(std::nullopt);  // cancelled
  EXPECT_FALSE(SavePhysique(wb_, state));
  ui_.QueuePath(File("picked.skd"));
  EXPECT_TRUE(SavePhysique(wb_, state));
  EXPECT_EQ(state.lastSaved, File("picked.skd"));
  EXPECT_EQ(ui_.filePickers.back().title, "Save file...");
  EXPECT_EQ(ui_.filePickers.back().filter, kSkdFilter);
}

TEST_F(SkinHost, AppliesToAMovedCopyExactlyAndReportsUnknownBones) {
  ASSERT_TRUE(SaveSkd(wb_, *source_, File("body.skd"), false));
  SceneNode& copy = Skinned("Copy", 0.002f);
  SkinModifierImpl* copySkin = lastSkin_;
  EXPECT_EQ(ApplyToNodes(wb_, File("body.skd"), {&copy}, {}), 1);
  ASSERT_GE(copySkin->vertices.size(), 4u);
  EXPECT_EQ(copySkin->vertices[1].bones, (std::vector<SkinWeight>{{pelvis_, 0.25f}, {spine_, 0.75f}}));
  EXPECT_EQ(copySkin->vertices[3].bones, (std::vector<SkinWeight>{{head_, 1.0f}}));
  EXPECT_TRUE(copySkin->vertices[3].locked);
  EXPECT_EQ(copySkin->vertices[3].type, host::SkinVertexType::RigidBlended);
  EXPECT_TRUE(ui_.messages.empty());

  head_->SetName("Bip01 Skull");
  EXPECT_EQ(ApplyToNodes(wb_, File("body.skd"), {&copy}, {}), 1);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "Warning");
  EXPECT_NE(ui_.messages[0].text.find("'Bip01 Head'"), std::string::npos);
  // Nothing could be assigned to that vertex, so it keeps what it had.
  EXPECT_EQ(copySkin->vertices[3].bones, (std::vector<SkinWeight>{{head_, 1.0f}}));
}

TEST_F(SkinHost, ApplyReportsEachObjectAMethodFailedOn) {
  SceneNode& copy = Skinned("Copy", 0.0f);
  EXPECT_EQ(ApplyToNodes(wb_, File("body.skd"), {}, {}), 0);
  EXPECT_EQ(ui_.messages.back().text, "Select at least one object.");
  EXPECT_EQ(ApplyToNodes(wb_, File("missing.skd"), {&copy, source_}, {}), 0);
  ASSERT_EQ(ui_.messages.size(), 5u);
  EXPECT_EQ(ui_.messages[1].text, "Can't open .skd file.");
  EXPECT_EQ(ui_.messages[2].text, "ApplyPhysique() retured FALSE for object: Copy");
  EXPECT_EQ(ui_.messages[4].text, "ApplyPhysique() retured FALSE for object: Body");
}

TEST_F(SkinHost, ApplyDialogListsSkinnedNodesSortedAndStoresItsSettings) {
  ASSERT_TRUE(SaveSkd(wb_, *source_, File("body.skd"), false));
  SceneNode& copy = Skinned("arm", 0.01f);
  SkinToolsState state;
  state.lastLoaded = File("body.skd");
  ui_.QueueDialog([](host::DialogModel& m) {
    EXPECT_EQ(m.title, "SkinTools: Apply weights");
    EXPECT_EQ(m.Find(IDC_OBJECT_FIRST)->label, "arm");
    EXPECT_EQ(m.Find(IDC_OBJECT_FIRST + 1)->label, "Body");
    EXPECT_EQ(m.Find(IDC_OBJECT_FIRST + 2), nullptr);
    EXPECT_EQ(m.Find(IDC_NEAREST)->value, 1);
    m.Find(IDC_OBJECT_FIRST)->value = 1;
    m.Find(IDC_NEAREST)->value = 0;
    m.Find(IDC_INTERPOLATE)->value = 1;
    m.Find(IDC_THRESHOLD)->text = "0.5";  // below the spinner's range
    m.result = IDC_APPLY;
  });
  RunApplyDialog(wb_, state);
  EXPECT_EQ(state.apply.flags, kApplyExact | kApplyInterpolate);
  EXPECT_EQ(state.apply.threshold, 1.0f);
  EXPECT_EQ(lastSkin_->vertices[0].bones.size(), 1u);  // 0.01 away: only the nearest within 1 x
  EXPECT_TRUE(ui_.messages.empty());
  (void)copy;
}

// The panel keeps its save mode while the host runs, writes SkinTools.cfg, and saves from its button.
TEST_F(SkinHost, PanelKeepsItsSaveModeAndSavesFromItsButton) {
  SkinToolsUtility& tools = TheSkinTools();
  tools.State() = {};
  workbench::UtilitiesPanel& panel = wb_.Utilities();
  tools.BeginEditParams(wb_);
  ASSERT_EQ(panel.Pages().size(), 1u);
  std::vector<uint8_t> cfg;
  ASSERT_TRUE(support::ReadWholeFile((dir_ / "cfg" / "SkinTools.cfg").string(), cfg));
  EXPECT_EQ(cfg, (std::vector<uint8_t>{1, 0, 0, 0}));
  host::RollupPage* page = panel.Pages()[0];
  EXPECT_EQ(page->Model().Find(IDC_SAVE_ALL)->value, 1);
  page->Model().Find(IDC_SAVE_SELECTED)->value = 1;
  EXPECT_TRUE(panel.Press(*page, IDC_SAVE_SELECTED));
  EXPECT_EQ(page->Model().Find(IDC_SAVE_ALL)->value, 0);

  source_->SetSelected(true);
  ui_.QueuePath(File("panel.skd"));
  EXPECT_TRUE(panel.Press(*page, IDC_SAVE_PHYSIQUE));
  EXPECT_EQ(fs::file_size(File("panel.skd")), 16u) << "selected only, and no vertex is selected";
  for (const host::DialogControl& c : page->Model().controls) EXPECT_TRUE(c.enabled) << c.label;

  tools.EndEditParams(wb_);
  EXPECT_TRUE(panel.Pages().empty());
  tools.BeginEditParams(wb_);
  ASSERT_EQ(panel.Pages().size(), 1u);
  EXPECT_EQ(panel.Pages()[0]->Model().Find(IDC_SAVE_SELECTED)->value, 1);
  EXPECT_EQ(tools.State().lastSaved, File("panel.skd"));
  tools.EndEditParams(wb_);
}

}  // namespace
}  // namespace vorlan::skintools
