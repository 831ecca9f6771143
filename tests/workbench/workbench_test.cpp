#include "workbench/workbench.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "workbench/user_interface.h"

namespace vorlan::workbench {
namespace {

namespace fs = std::filesystem;

fs::path Scratch(const std::string& tag) {
  fs::path p = fs::path(VORLAN_BINARY_DIR) / "workbench_test" / tag;
  fs::remove_all(p);
  return p;
}

std::string ReadText(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Sets environment variables for one test and puts the old values back.
class EnvGuard {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class WorkbenchTest : public ::testing::Test {
 protected:
  Scene scene;
  ScriptedUI ui;
  Workbench wb{scene, ui};
};

TEST_F(WorkbenchTest, DefaultFoldersFollowXdgWithHomeFallback) {
  EnvGuard env;
  env.Set("XDG_CONFIG_HOME", "/xdg/config");
  env.Set("XDG_STATE_HOME", "/xdg/state");
  EXPECT_EQ(DefaultPlugCfgDir(), "/xdg/config/vorlan/plugcfg");
  EXPECT_EQ(DefaultLogDir(), "/xdg/state/vorlan/logs");
  // Relative XDG values are invalid and ignored.
  env.Set("XDG_CONFIG_HOME", "relative/config");
  env.Set("XDG_STATE_HOME", nullptr);
  env.Set("HOME", "/home/artist");
  EXPECT_EQ(DefaultPlugCfgDir(), "/home/artist/.config/vorlan/plugcfg");
  EXPECT_EQ(DefaultLogDir(), "/home/artist/.local/state/vorlan/logs");
}

TEST_F(WorkbenchTest, FoldersAreCreatedWhenAskedForWithoutTrailingSeparator) {
  fs::path root = Scratch("folders");
  wb.SetPlugCfgDir((root / "cfg/").string());
  wb.SetLogDir((root / "logs//").string());
  EXPECT_FALSE(fs::exists(root / "cfg"));
  EXPECT_EQ(wb.GetPlugCfgDir(), (root / "cfg").string());
  EXPECT_TRUE(fs::is_directory(root / "cfg"));
  EXPECT_EQ(wb.GetLogDir(), (root / "logs").string());
  EXPECT_TRUE(fs::is_directory(root / "logs"));

  EnvGuard env;
  env.Set("XDG_CONFIG_HOME", (root / "xdg").c_str());
  wb.SetPlugCfgDir("");
  EXPECT_EQ(wb.GetPlugCfgDir(), (root / "xdg/vorlan/plugcfg").string());
  EXPECT_TRUE(fs::is_directory(root / "xdg/vorlan/plugcfg"));
}

TEST_F(WorkbenchTest, DriveCPathsLandInTheLogFolderAndCannotLeaveIt) {
  fs::path logs = Scratch("map") / "logs";
  wb.SetLogDir(logs.string());
  std::string l = logs.string();
  EXPECT_EQ(wb.MapHostPath("C:\\zefImport.log"), l + "/zefImport.log");
  EXPECT_EQ(wb.MapHostPath("c:/logs/rig\\exp.log"), l + "/logs/rig/exp.log");
  EXPECT_EQ(wb.MapHostPath("C:kit.log"), l + "/kit.log");
  EXPECT_EQ(wb.MapHostPath("C:\\..\\..\\etc\\passwd"), l + "/etc/passwd");
  EXPECT_EQ(wb.MapHostPath("C:\\a\\.\\b\\..\\c.log"), l + "/a/c.log");
  EXPECT_EQ(wb.MapHostPath("C:\\"), l);
  EXPECT_TRUE(fs::is_directory(logs));
  // Other paths only change their separators.
  EXPECT_EQ(wb.MapHostPath("D:\\x\\y.log"), "D:/x/y.log");
  EXPECT_EQ(wb.MapHostPath("out\\scene.zef"), "out/scene.zef");
  EXPECT_EQ(wb.MapHostPath("/abs/c:/x"), "/abs/c:/x");
  EXPECT_EQ(wb.MapHostPath(""), "");
  EXPECT_EQ(wb.MapHostPath("C"), "C");
}

TEST_F(WorkbenchTest, NamesAreNeverEmpty) {
  EXPECT_FALSE(wb.GetComputerName().empty());
  EXPECT_FALSE(wb.GetUserName().empty());
  wb.SetComputerName("FARM07");
  wb.SetUserName("builder");
  EXPECT_EQ(wb.GetComputerName(), "FARM07");
  EXPECT_EQ(wb.GetUserName(), "builder");
}

TEST_F(WorkbenchTest, SceneServices) {
  auto& box = scene.CreateNode("Box01");
  scene.properties["SmoothWholeSceneTogether"] = 0;
  scene.properties["Note"] = std::string("first pass");
  scene.hostVersion = 4321;
  EXPECT_EQ(wb.GetRootNode(), &scene.Root());
  EXPECT_EQ(wb.GetINodeByName("Box01"), &box);
  EXPECT_EQ(wb.GetINodeByName("box01"), nullptr);
  EXPECT_EQ(wb.GetHostVersion(), 4321u);
  EXPECT_EQ(wb.GetSceneProperty("SmoothWholeSceneTogether"), host::SceneProperty(0));
  EXPECT_EQ(wb.GetSceneProperty("Note"), host::SceneProperty(std::string("first pass")));
  EXPECT_EQ(wb.GetSceneProperty("DistinguishLODs"), std::nullopt);
  EXPECT_EQ(&wb.UI(), &ui);
}

TEST_F(WorkbenchTest, GrabViewportRendersTheSceneUnlessDisabled) {
  wb.SetViewport({.width = 64, .height = 32});
  auto img = wb.GrabViewport();
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width, 64);
  EXPECT_EQ(img->height, 32);
  EXPECT_EQ(img->driverName, "Software");
  wb.SetViewportEnabled(false);
  EXPECT_FALSE(wb.GrabViewport());
}

class WorkbenchExportTest : public WorkbenchTest {
 protected:
  void SetUp() override {
    loader.LoadModule(std::string(VORLAN_FAKE_PLUGIN_DIR) + "/fake_exporter.dle");
    loader.LoadModule(std::string(VORLAN_FAKE_PLUGIN_DIR) + "/fake_importer.dli");
    ASSERT_EQ(loader.classes().size(), 2u);
    wb.SetPlugins(&loader);
    auto& a = scene.CreateNode("a");
    scene.CreateNode("a1", &a);
    scene.CreateNode("b");
  }
  PluginLoader loader;
};

TEST_F(WorkbenchExportTest, RunsTheExporterOfTheClass) {
  fs::path dir = Scratch("export");
  fs::create_directories(dir);
  std::string out = (dir / "scene.fkx").string();
  EXPECT_TRUE(wb.ExportToFile(out, {0xFA4E0001, 1}, true, 0x101));
  EXPECT_EQ(ReadText(out), "a\n  a1\nb\noptions 257\n");
  EXPECT_TRUE(ui.messages.empty());  // prompts suppressed
  EXPECT_EQ(wb.LastExportError(), "");

  EXPECT_TRUE(wb.ExportToFile(out, {0xFA4E0001, 1}, false, 0));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "FakeExport");
}

TEST_F(WorkbenchExportTest, ReportsWhyNothingWasExported) {
  fs::path dir = Scratch("export_fail");
  EXPECT_FALSE(wb.ExportToFile((dir / "x.fkx").string(), {0x1, 0x2}, true, 0));
  EXPECT_EQ(wb.LastExportError(), "no plug-in of class (0x00000001, 0x00000002) is loaded");
  EXPECT_FALSE(wb.ExportToFile((dir / "x.fkx").string(), {0xFA4E0002, 1}, true, 0));
  EXPECT_EQ(wb.LastExportError(), "FakeImport (0xFA4E0002, 0x00000001) is not an exporter");
  // The folder does not exist, so the exporter fails.
  std::string missing = (dir / "no/such/x.fkx").string();
  EXPECT_FALSE(wb.ExportToFile(missing, {0xFA4E0001, 1}, true, 0));
  EXPECT_EQ(wb.LastExportError(), "FakeExport failed to export " + missing);
  wb.SetPlugins(nullptr);
  EXPECT_FALSE(wb.ExportToFile(missing, {0xFA4E0001, 1}, true, 0));
}

}  // namespace
}  // namespace vorlan::workbench
