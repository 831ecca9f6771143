// `vorlan shots`, `vorlan inspect FILE.shd` and `vorlan utility` as a user runs them on a scene
// with three cameras and a shot list of three cuts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "run_vorlan.h"
#include "shoteditor/shd_file.h"
#include "support/file_io.h"

namespace vorlan::testing {
namespace {

namespace fs = std::filesystem;

class ShotsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_shots_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    std::ofstream(dir + "/scene.vscene") << R"({"version": 1, "nodes": [
      {"name": "Wide", "object": {"type": "camera"}},
      {"name": "Close", "object": {"type": "camera"}},
      {"name": "Over", "object": {"type": "camera"}}]})";
    shoteditor::ShdContent c;
    c.globalEndTicks = 6 * 160;
    c.commands = {{.itemName = "Wide", .begin = 0, .length = 2, .end = 2},
                  {.itemName = "Close", .begin = 2, .length = 2, .end = 4},
                  {.itemName = "Over", .begin = 4, .length = 2, .end = 6}};
    ASSERT_TRUE(support::WriteFileAtomic(dir + "/cut.shd", shoteditor::WriteShd(c)));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string dir;
};

TEST_F(ShotsCliTest, PlayPrintsTheCameraOfEveryFrame) {
  RunResult r = RunVorlan("shots play " + dir + "/scene.vscene " + dir + "/cut.shd");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out,
            "frame 0: Wide\nframe 1: Wide\nframe 2: Wide\nframe 3: Close\nframe 4: Close\nframe 5: Over\n");
  r = RunVorlan("shots play " + dir + "/scene.vscene " + dir + "/cut.shd --frames 3:5");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "frame 3: Close\nframe 4: Close\n");
  EXPECT_EQ(RunVorlan("shots play " + dir + "/scene.vscene " + dir + "/cut.shd --frames 5").exitCode, 2);
}

TEST_F(ShotsCliTest, InspectListsTheCutsAndRefusesADamagedFile) {
  RunResult r = RunVorlan("inspect " + dir + "/cut.shd");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("commands  3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Close"), std::string::npos);
  std::ofstream(dir + "/bad.shd", std::ios::binary) << std::string("SHD\0\x24\0\0\0", 8);
  r = RunVorlan("inspect " + dir + "/bad.shd");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
}

TEST_F(ShotsCliTest, ExportCamerasNeedsAShotListThatLoads) {
  std::ofstream(dir + "/bad.shd", std::ios::binary) << "nothing";
  RunResult r =
      RunVorlan("shots export-cameras " + dir + "/scene.vscene " + dir + "/bad.shd " + dir + "/out.manm");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_FALSE(fs::exists(dir + "/out.manm"));
}

TEST_F(ShotsCliTest, UtilityOpensTheShotEditorPanelAndPressesItsButtons) {
  RunResult r = RunVorlan("utility ShotEditor --scene " + dir + "/scene.vscene --press \"Open Shot-Editor\"");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("[Parameters]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("button Open Shot-Editor"), std::string::npos) << r.out;
  r = RunVorlan("utility ShotEditor --press Nothing");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  r = RunVorlan("utility NoSuchUtility");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("ShotEditor"), std::string::npos) << "the message lists the utilities";
}

}  // namespace
}  // namespace vorlan::testing
