#include "workbench/utilities_panel.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {
namespace {

namespace fs = std::filesystem;

class UtilitiesPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loader.LoadModule((fs::path(VORLAN_FAKE_PLUGIN_DIR) / "fake_utility.dlu").string()));
    ASSERT_TRUE(loader.LoadModule((fs::path(VORLAN_FAKE_PLUGIN_DIR) / "fake_exporter.dle").string()));
    wb.SetPlugins(&loader);
  }
  std::string Label() { return wb.Utilities().Pages().at(0)->Model().Find(14)->label; }

  PluginLoader loader;
  Scene scene;
  ScriptedUI ui;
  Workbench wb{scene, ui};
};

TEST_F(UtilitiesPanelTest, ListsUtilitiesByCategory) {
  UtilitiesPanel& panel = wb.Utilities();
  EXPECT_TRUE(panel.List().empty()) << "no utility of the pipeline's own category";
  ASSERT_EQ(panel.List("Test Utilities").size(), 1u);
  EXPECT_EQ(panel.List("").size(), 1u) << "exporters are not utilities";
  EXPECT_EQ(panel.Categories(), std::vector<std::string>{"Test Utilities"});
  EXPECT_FALSE(panel.Open("FakeExport"));
  EXPECT_FALSE(panel.Open("nothing"));
}

TEST_F(UtilitiesPanelTest, OpensAUtilityAndPressesItsButtons) {
  UtilitiesPanel& panel = wb.Utilities();
  ASSERT_TRUE(panel.Open("fakeutility"));
  ASSERT_EQ(panel.Current()->className, "FakeUtility");
  ASSERT_EQ(panel.Pages().size(), 1u);
  ASSERT_EQ(ui.rollups.size(), 1u);
  EXPECT_EQ(ui.rollups[0].title, "Fake Parameters");

  EXPECT_TRUE(panel.Press("Count"));
  EXPECT_TRUE(panel.Press("Count"));
  EXPECT_EQ(Label(), "2");
  EXPECT_EQ(ui.rollups[0].Find(14)->label, "2") << "the user interface was shown the update";
  // A check box is pressed after its new value is set.
  host::RollupPage& page = *panel.Pages()[0];
  page.Model().Find(13)->value = 1;
  EXPECT_TRUE(panel.Press(page, 13));
  EXPECT_EQ(Label(), "on");
  page.Model().Find(10)->enabled = false;
  EXPECT_FALSE(panel.Press(page, 10)) << "a disabled button cannot be pressed";
  EXPECT_FALSE(panel.Press("No such button"));
}

TEST_F(UtilitiesPanelTest, CloseFromItsOwnButtonWaitsForTheHandler) {
  UtilitiesPanel& panel = wb.Utilities();
  ASSERT_TRUE(panel.Open("FakeUtility"));
  EXPECT_TRUE(panel.Press("Close"));  // the handler writes to its page after asking
  EXPECT_EQ(panel.Current(), nullptr);
  EXPECT_TRUE(panel.Pages().empty());
  EXPECT_TRUE(ui.rollups.empty());
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, "closed");
}

TEST_F(UtilitiesPanelTest, APageDeletedByItsOwnHandlerGoesAfterIt) {
  UtilitiesPanel& panel = wb.Utilities();
  ASSERT_TRUE(panel.Open("FakeUtility"));
  EXPECT_TRUE(panel.Press("Delete page"));
  EXPECT_TRUE(panel.Pages().empty());
  EXPECT_NE(panel.Current(), nullptr) << "the utility stays open";
  panel.Close();
  EXPECT_EQ(panel.Current(), nullptr);
}

TEST_F(UtilitiesPanelTest, ReopeningClosesFirstAndTheHostClosesOnExit) {
  {
    Scene s;
    ScriptedUI u;
    Workbench host(s, u);
    host.SetPlugins(&loader);
    ASSERT_TRUE(host.Utilities().Open("FakeUtility"));
    ASSERT_TRUE(host.Utilities().Open("FakeUtility"));
    EXPECT_EQ(host.Utilities().Pages().size(), 1u);
    std::vector<std::string> texts;
    for (const auto& m : u.messages) texts.push_back(m.text);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "closed");
  }
  SUCCEED() << "the workbench ended the utility while it was still whole";
}

}  // namespace
}  // namespace vorlan::workbench
