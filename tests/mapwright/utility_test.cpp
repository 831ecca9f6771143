#include "mapwright/utility.h"

#include <gtest/gtest.h>

#include "mapwright/session_fixture.h"
#include "support/file_io.h"
#include "workbench/plugin_loader.h"

namespace mw = vorlan::mapwright;
using MapwrightUtility = mw::testing::SessionFixture;

TEST_F(MapwrightUtility, TheModuleAnnouncesItsOneUtilityClass) {
  vorlan::workbench::PluginLoader loader;
  ASSERT_TRUE(loader.LoadModule(std::string(VORLAN_PLUGIN_DIR) + "/Mapwright.dlu"));
  const vorlan::workbench::LoadedClass* c = loader.ByName("Mapwright");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->superClass, 0x1020u);
  EXPECT_EQ(c->classId, (vorlan::host::ClassId{0x66667777, 0x17101978}));
  EXPECT_EQ(c->category, "Vorlan Utilities");
  auto utility = loader.CreateUtility(*c);
  ASSERT_TRUE(utility);
  utility->BeginEditParams(ip);
  EXPECT_TRUE(vorlan::support::FileExists(dir.File("Mapwright!.cfg")));
  utility->EndEditParams(ip);
}

TEST_F(MapwrightUtility, TheWindowKeepsItsPlaceInTheSettingsUntilTheRollupCloses) {
  mw::MapwrightUtility u;
  EXPECT_FALSE(u.OpenWindow());  // no rollup, no window
  u.BeginEditParams(ip);
  mw::Session* s = u.OpenWindow();
  ASSERT_TRUE(s);
  s->tool = mw::Tool::Pan;
  EXPECT_EQ(u.OpenWindow(), s);  // brought to the front, tool put down
  EXPECT_EQ(s->tool, mw::Tool::None);
  u.CloseWindow(40, 50, 300, 2000);
  EXPECT_FALSE(u.Window());
  EXPECT_EQ(u.GetSettings().windowWidth, 540);  // never below the least size
  u.EndEditParams(ip);
  mw::Settings stored = mw::LoadSettings(ip);
  EXPECT_EQ(stored.windowLeft, 40);
  EXPECT_EQ(stored.windowHeight, 2000);

  auto page = mw::RollupPage();
  EXPECT_EQ(page.title, "params");
  EXPECT_EQ(page.Find(mw::kRollupTexture)->label, "Texture!");
  EXPECT_EQ(page.Find(mw::kRollupClose)->label, "Close");
}

TEST_F(MapwrightUtility, ThePanelsButtonsOpenTheWindowAndCloseTheUtility) {
  vorlan::workbench::PluginLoader loader;
  ASSERT_TRUE(loader.LoadModule(std::string(VORLAN_PLUGIN_DIR) + "/Mapwright.dlu"));
  ip.SetPlugins(&loader);
  vorlan::workbench::UtilitiesPanel& panel = ip.Utilities();
  ASSERT_TRUE(panel.Open("Mapwright"));
  ASSERT_EQ(panel.Pages().size(), 1u);
  EXPECT_EQ(panel.Pages()[0]->Model().title, "params");
  ASSERT_TRUE(panel.Press("Texture!"));
  ASSERT_TRUE(panel.Press("Close"));
  EXPECT_EQ(panel.Current(), nullptr);
  EXPECT_TRUE(panel.Pages().empty());
  EXPECT_TRUE(vorlan::support::FileExists(dir.File("Mapwright!.cfg"))) << "closing wrote the settings";
}
