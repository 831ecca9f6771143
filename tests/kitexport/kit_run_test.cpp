#include "kitexport/kit_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "kitexport/eqp_file.h"
#include "kitexport/kit_panel.h"
#include "support/file_io.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/utilities_panel.h"
#include "workbench/workbench.h"

namespace vorlan::kitexport {
namespace {

namespace fs = std::filesystem;
using workbench::SceneNode;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A character with a root, a spine, a hand with a finger, and equipment around it.
class KitRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("kitrun_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "data" / "G" / "Equipments");
    fs::create_directories(dir_ / "data" / "G" / "Objects" / "old");
    wb_.SetPlugCfgDir((dir_ / "cfg").string());
    wb_.SetLogDir((dir_ / "logs").string());
    settings_ = {
        .enginePath = (dir_ / "data").string(), .exportPath = "G\\Equipments", .zefPath = "G\\Objects"};

    SceneNode& root = Bone("Bip01", nullptr, {0, 0, 1}, {0x9125, 0});
    SceneNode& spine = Bone("Bip01 Spine", &root, {0, 0, 1.2f});
    hand_ = &Bone("Bip01 R Hand", &spine, {0.5f, 0, 1.4f});
    Bone("Bip01 R Finger0", hand_, {0.6f, 0, 1.4f});
    sword_ = &Equip("sword", hand_, true);
    Equip("sword", hand_, true).SetTransform(host::Matrix3::Translation({0.5f, 0.1f, 1.0f}));
    Equip("knife", hand_, false);  // not selected
    Equip("helmet", &root, true);  // the root is no bone for equipment
    Equip("strap", sword_, true);  // parent is an ordinary object
  }
  void TearDown() override { fs::remove_all(dir_); }

  SceneNode& Bone(const std::string& name, SceneNode* parent, host::Point3 at,
                  host::ClassId id = kBipedBoneControlClassId) {
    SceneNode& n = scene_.CreateNode(name, parent);
    n.SetObject(workbench::HelperObject::Point());
    n.SetTransform(host::Matrix3::Translation(at));
    n.TMControl()->SetClassId(id);
    return n;
  }
  SceneNode& Equip(const std::string& name, SceneNode* parent, bool selected) {
    SceneNode& n = scene_.CreateNode(name, parent);
    n.SetObject(std::make_shared<workbench::MeshObject>());
    host::Matrix3 tm = host::Matrix3::RotationZ(1.5707964f);
    tm.SetTrans({0.7f, 0.2f, 1.3f});
    n.SetTransform(tm);
    n.SetSelected(selected);
    return n;
  }
  fs::path Eqp(const std::string& name) const { return dir_ / "data" / "G" / "Equipments" / name; }
  void Touch(const fs::path& p) { std::ofstream(p) << "zef"; }

  fs::path dir_;
  workbench::Scene scene_;
  workbench::ScriptedUI ui_;
  workbench::Workbench wb_{scene_, ui_};
  KitSettings settings_;
  SceneNode* hand_ = nullptr;
  SceneNode* sword_ = nullptr;
};

TEST_F(KitRun, WritesOneFilePerSelectedObjectOnABoneAndNumbersTwins) {
  KitRunResult r = RunKitExport(wb_, settings_, "");
  EXPECT_EQ(r.generated, (std::vector<std::string>{"sword.eqp", "sword_01.eqp"}));
  EXPECT_FALSE(fs::exists(Eqp("helmet.eqp")));
  EXPECT_FALSE(fs::exists(Eqp("strap.eqp")));
  EXPECT_FALSE(fs::exists(Eqp("knife.eqp")));

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(Eqp("sword.eqp").string(), bytes));
  auto eqp = DecodeEqp(bytes);
  ASSERT_TRUE(eqp);
  EXPECT_EQ(eqp->boneName, "Bip01 R Finger0");  // the hand's first child
  host::Matrix3 expect = sword_->GetNodeTM(0);
  expect.SetTrans(host::Point3(0.7f, 0.2f, 1.3f) - host::Point3(0.5f, 0, 1.4f));
  EXPECT_EQ(eqp->placement, expect);
  EXPECT_TRUE(ui_.messages.empty());

  std::string log = Slurp(dir_ / "logs" / "kitExport.log");
  EXPECT_EQ(log.rfind("Log for kitExport:\n\nInfo:\tBip01\nInfo:\t  Bip01 Spine\n", 0), 0u) << log;
  EXPECT_NE(log.find("Info:\t      sword\n"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("Info:\tExport Done.\n")) << log;
}

TEST_F(KitRun, RewriteReusesFilesOfEarlierRunsButNeverOfThisOne) {
  for (const char* name : {"sword.eqp", "sword_01.eqp"}) {
    Touch(Eqp(name));
    fs::last_write_time(Eqp(name), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  EXPECT_EQ(RunKitExport(wb_, settings_, "").generated,
            (std::vector<std::string>{"sword_02.eqp", "sword_03.eqp"}));
  settings_.rewrite = true;
  fs::remove(Eqp("sword_02.eqp"));
  fs::remove(Eqp("sword_03.eqp"));
  EXPECT_EQ(RunKitExport(wb_, settings_, "").generated,
            (std::vector<std::string>{"sword.eqp", "sword_01.eqp"}));
  // Files of the run just made are from an earlier run now.
  EXPECT_EQ(RunKitExport(wb_, settings_, "").generated,
            (std::vector<std::string>{"sword.eqp", "sword_01.eqp"}));
}

TEST_F(KitRun, IndexPairsEachFileWithItsModel) {
  settings_.generateIndex = true;
  Touch(dir_ / "data" / "G" / "Objects" / "SWORD.ZEF");
  KitRunResult r = RunKitExport(wb_, settings_, "D:\\Scenes\\hero.final.max");
  ASSERT_EQ(r.indexSections, 2);
  EXPECT_EQ(
      Slurp(dir_ / "data" / "G" / "Equipments" / "hero.ini"),
      "[0]\r\nzefFile = G\\\\Objects\\\\SWORD.ZEF\r\neqpFile = G\\\\Equipments\\\\sword.eqp\r\n\r\n"
      "[1]\r\nzefFile = G\\\\Objects\\\\SWORD.ZEF\r\neqpFile = G\\\\Equipments\\\\sword_01.eqp\r\n\r\n");

  // A second model of the name: a warning per file, the first match without a key.
  Touch(dir_ / "data" / "G" / "Objects" / "old" / "sword.zef");
  RunKitExport(wb_, settings_, "");
  std::string index = Slurp(dir_ / "data" / "G" / "Equipments" / ".ini");
  EXPECT_EQ(
      index.rfind("[0]\r\nG\\Objects\\SWORD.ZEF\r\neqpFile = G\\\\Equipments\\\\sword_02.eqp\r\n\r\n", 0), 0u)
      << index;
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].caption, "Warning!");
  EXPECT_EQ(ui_.messages[0].text,
            "There is more .zef files with the same name!\nSee C:\\kitExport.log for details.");
  std::string log = Slurp(dir_ / "logs" / "kitExport.log");
  EXPECT_NE(log.find("Warning:\t      There is more .zef files with the same name!\nWarning:\t        "),
            std::string::npos)
      << log;
}

TEST_F(KitRun, MissingModelAndUnwritableFolder) {
  settings_.generateIndex = true;
  RunKitExport(wb_, settings_, "");
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text, "sword.zef");
  EXPECT_EQ(ui_.messages[0].caption, "File not found!");
  EXPECT_NE(Slurp(dir_ / "logs" / "kitExport.log").find("Error:\t      File not found: sword.zef\n"),
            std::string::npos);
  EXPECT_EQ(Slurp(dir_ / "data" / "G" / "Equipments" / ".ini"), "");

  ui_.messages.clear();
  settings_.exportPath = "G\\Nowhere";
  settings_.generateIndex = false;
  EXPECT_TRUE(RunKitExport(wb_, settings_, "").generated.empty());
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text, "Can't create file: " + settings_.enginePath + "\\G\\Nowhere\\sword.eqp");
  EXPECT_EQ(ui_.messages[0].caption, "Error");
}

// The panel as the Utilities panel shows it: settings kept in kitExport.cfg between openings,
// folder pickers, the shortcuts off while a path is typed, and a run from its button.
TEST_F(KitRun, PanelKeepsItsSettingsAndRunsFromItsButton) {
  KitExportUtility& kit = TheKitExport();
  workbench::UtilitiesPanel& panel = wb_.Utilities();
  kit.BeginEditParams(wb_);
  ASSERT_EQ(panel.Pages().size(), 1u);
  host::RollupPage& page = *panel.Pages()[0];
  EXPECT_EQ(page.Model().Find(IDC_ENGINE)->text, "");
  EXPECT_TRUE(fs::exists(dir_ / "cfg" / "kitExport.cfg")) << "a missing file is saved first";

  // The engine folder is taken as chosen; the others must lie below it.
  ui_.QueuePath("D:\\Vexn\\Data");
  ui_.QueuePath("E:\\Elsewhere\\G");
  ui_.QueuePath("D:\\Vexn\\Data\\G\\Objects");
  ui_.QueuePath(std::nullopt);
  EXPECT_TRUE(panel.Press(page, IDC_ENGINE_BROWSE));
  EXPECT_TRUE(panel.Press(page, IDC_EXPORT_BROWSE));
  EXPECT_TRUE(panel.Press(page, IDC_ZEF_BROWSE));
  EXPECT_TRUE(panel.Press(page, IDC_EXPORT_BROWSE));  // cancelled
  EXPECT_EQ(ui_.folderPickers,
            (std::vector<std::string>{"Set path to engine:", "Set path for Eqp export:",
                                      "Set path to Zef files:", "Set path for Eqp export:"}));
  EXPECT_EQ(page.Model().Find(IDC_ENGINE)->text, "D:\\Vexn\\Data");
  EXPECT_EQ(page.Model().Find(IDC_EXPORT)->text, "");
  EXPECT_EQ(page.Model().Find(IDC_ZEF)->text, "G\\Objects");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Wrong path!\nThe path must be relative to engine path.");
  EXPECT_EQ(ui_.messages[0].caption, "Error");

  EXPECT_TRUE(panel.Focus(page, IDC_EXPORT, true));
  EXPECT_FALSE(wb_.GetAcceleratorsEnabled());
  EXPECT_TRUE(panel.Focus(page, IDC_EXPORT, false));
  EXPECT_TRUE(wb_.GetAcceleratorsEnabled());
  EXPECT_TRUE(panel.Focus(page, IDC_REWRITE, true));
  EXPECT_TRUE(wb_.GetAcceleratorsEnabled()) << "only the path edits turn the shortcuts off";

  // Typed settings, a run named after the open scene's file, the list of what was written.
  page.Model().Find(IDC_ENGINE)->text = settings_.enginePath;
  page.Model().Find(IDC_EXPORT)->text = settings_.exportPath;
  page.Model().Find(IDC_GENERATE_INDEX)->value = 1;
  page.Model().Find(IDC_GENERATED)->items = {"old.eqp"};
  Touch(dir_ / "data" / "G" / "Objects" / "sword.zef");
  scene_.fileName = (dir_ / "hero.final.vscene").string();
  ui_.messages.clear();
  EXPECT_TRUE(panel.Press(page, IDC_GENERATE));
  EXPECT_EQ(page.Model().Find(IDC_GENERATED)->items, (std::vector<std::string>{"sword.eqp", "sword_01.eqp"}));
  EXPECT_TRUE(fs::exists(dir_ / "data" / "G" / "Equipments" / "hero.ini"));
  EXPECT_TRUE(ui_.messages.empty());

  kit.EndEditParams(wb_);
  EXPECT_TRUE(panel.Pages().empty());
  kit.BeginEditParams(wb_);
  ASSERT_EQ(panel.Pages().size(), 1u);
  const host::DialogModel& reopened = panel.Pages()[0]->Model();
  EXPECT_EQ(reopened.Find(IDC_ENGINE)->text, settings_.enginePath + "\\");
  EXPECT_EQ(reopened.Find(IDC_EXPORT)->text, "G\\Equipments\\");
  EXPECT_EQ(reopened.Find(IDC_ZEF)->text, "G\\Objects\\");
  EXPECT_EQ(reopened.Find(IDC_GENERATE_INDEX)->value, 1);
  EXPECT_EQ(reopened.Find(IDC_REWRITE)->value, 0);
  EXPECT_TRUE(reopened.Find(IDC_GENERATED)->items.empty());
  kit.EndEditParams(wb_);
}

}  // namespace
}  // namespace vorlan::kitexport
