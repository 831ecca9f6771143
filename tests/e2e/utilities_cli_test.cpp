// The utilities' commands and vorlan inspect of their files, as a user runs them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "kitexport/eqp_file.h"
#include "run_vorlan.h"
#include "skintools/skd_file.h"
#include "support/file_io.h"

namespace vorlan::testing {
namespace {

class UtilitiesCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_util_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  std::string Sample() const { return std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene"; }
  std::string Common() const { return "--config-dir " + File("cfg") + " --log-dir " + File("logs") + " "; }
  std::string dir_;
};

TEST_F(UtilitiesCli, InspectListsSkdAndEqpFilesAndRefusesBadOnes) {
  skintools::SkdData d;
  d.records.push_back({4, {1, 2, 3}, {0, 0, 1}, {{0.5f, {}, "Bip01 Spine"}, {0.5f, {}, "Bip01 Head"}}});
  ASSERT_TRUE(support::WriteFileAtomic(File("a.skd"), skintools::EncodeSkd(d)));
  RunResult r = RunVorlan("inspect " + File("a.skd"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("vertex 4 at (1, 2, 3): Bip01 Spine 0.5 Bip01 Head 0.5"), std::string::npos) << r.out;

  std::vector<uint8_t> bytes = skintools::EncodeSkd(d);
  bytes[4] = 2;
  ASSERT_TRUE(support::WriteFileAtomic(File("v2.skd"), bytes));
  r = RunVorlan("inspect " + File("v2.skd"));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("Incorrect version of skd file."), std::string::npos) << r.out;

  ASSERT_TRUE(
      support::WriteFileAtomic(File("sword.eqp"), kitexport::EncodeEqp(host::Matrix3(), "Bip01 R Hand")));
  r = RunVorlan("inspect " + File("sword.eqp"));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("bone: Bip01 R Hand"), std::string::npos) << r.out;
  bytes = kitexport::EncodeEqp(host::Matrix3(), "x");
  bytes.pop_back();
  ASSERT_TRUE(support::WriteFileAtomic(File("cut.eqp"), bytes));
  EXPECT_EQ(RunVorlan("inspect " + File("cut.eqp")).exitCode, 1);
}

TEST_F(UtilitiesCli, KitOnASceneWithoutCharactersWritesNothingAndSaysSo) {
  std::filesystem::create_directories(File("data/G/Eq"));
  RunResult r = RunVorlan(Common() + "kit " + Sample() + " --engine " + File("data") +
                          " --export G\\\\Eq --zef G --index");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("nothing was written"), std::string::npos) << r.out;
  EXPECT_TRUE(support::FileExists(File("data/G/Eq/sample.ini")));
  EXPECT_TRUE(support::FileExists(File("logs/kitExport.log")));
  EXPECT_EQ(RunVorlan("kit " + Sample() + " --engine " + File("data")).exitCode, 2);
}

// Commands that write no scene leave an interchange file's embedded images unwritten, and
// say so, instead of putting them into the current folder of whoever runs them.
TEST_F(UtilitiesCli, KitAndUtilityOnAGlbWriteNoImagesIntoTheCurrentFolder) {
  const std::string glb = std::string(VORLAN_SOURCE_DIR) + "/tests/assets/gltf/CesiumMan/CesiumMan.glb";
  const bool strayBefore = std::filesystem::exists("CesiumMan_0.jpg");
  std::filesystem::create_directories(File("data/G/Eq"));
  RunResult r =
      RunVorlan(Common() + "kit " + glb + " --engine " + File("data") + " --export G\\\\Eq --zef G");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("1 embedded images not written"), std::string::npos) << r.out;
  r = RunVorlan(Common() + "utility SkinTools --scene " + glb);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(std::filesystem::exists("CesiumMan_0.jpg"), strayBefore);
}

TEST_F(UtilitiesCli, SkinCommandsCheckTheirArguments) {
  RunResult r = RunVorlan(Common() + "skin save " + Sample() + " NoSuchNode " + File("x.skd"));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("no node named \"NoSuchNode\""), std::string::npos) << r.out;
  EXPECT_FALSE(support::FileExists(File("x.skd")));
  EXPECT_EQ(
      RunVorlan("skin apply " + Sample() + " x.skd A --nearest 0.1 --interpolate 2 -o " + File("o.vscene"))
          .exitCode,
      2);
  EXPECT_EQ(
      RunVorlan("skin apply " + Sample() + " x.skd A --interpolate 0.5 -o " + File("o.vscene")).exitCode, 2);
  EXPECT_EQ(RunVorlan("skin").exitCode, 2);
  r = RunVorlan(Common() + "skin apply " + Sample() + " " + File("missing.skd") + " NoSuchNode -o " +
                File("o.vscene"));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_FALSE(support::FileExists(File("o.vscene")));
}

TEST_F(UtilitiesCli, BothUtilitiesOpenInTheUtilitiesPanelAndRunFromTheirButtons) {
  RunResult r =
      RunVorlan(Common() + "utility \"Eqp Export\" --scene " + Sample() + " --press \"Generate Eqps\"");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Rewrite existing .eqp files"), std::string::npos) << r.out;
  EXPECT_TRUE(support::FileExists(File("cfg/kitExport.cfg")));
  EXPECT_TRUE(support::FileExists(File("logs/kitExport.log")));

  r = RunVorlan(Common() + "utility SkinTools --scene " + Sample() + " --press \"Save Physique\"");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Select only object you want to save..."), std::string::npos) << r.out;
  std::vector<uint8_t> cfg;
  ASSERT_TRUE(support::ReadWholeFile(File("cfg/SkinTools.cfg"), cfg));
  EXPECT_EQ(cfg, (std::vector<uint8_t>{1, 0, 0, 0}));
}

// A real character read from glTF: its skin saved, listed, and applied back onto the same mesh
// by each method, the result written as a scene document.
TEST_F(UtilitiesCli, SkinOfARealCharacterSavedAndApplied) {
  const std::string glb = std::string(VORLAN_SOURCE_DIR) + "/tests/assets/gltf/CesiumMan/CesiumMan.glb";
  // The character's embedded texture once went into the current folder of whoever ran this.
  const bool strayBefore = std::filesystem::exists("CesiumMan_0.jpg");
  RunResult r = RunVorlan(Common() + "skin save " + glb + " Cesium_Man " + File("cm.skd"));
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(std::filesystem::exists("CesiumMan_0.jpg"), strayBefore);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(File("cm.skd"), bytes));
  skintools::SkdData saved;
  ASSERT_EQ(skintools::DecodeSkd(bytes, saved), skintools::SkdStatus::Ok);
  EXPECT_GT(saved.records.size(), 3000u);
  EXPECT_FALSE(saved.selectedOnly);
  r = RunVorlan("inspect " + File("cm.skd"));
  EXPECT_EQ(r.exitCode, 0) << r.out;

  for (const char* method : {"", "--no-exact", "--no-exact --interpolate 2"}) {
    r = RunVorlan(Common() + "skin apply " + glb + " " + File("cm.skd") + " Cesium_Man " + method + " -o " +
                  File("out.vscene"));
    EXPECT_EQ(r.exitCode, 0) << method << "\n" << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << method << "\n" << r.out;
    EXPECT_TRUE(support::FileExists(File("out.vscene"))) << method;
    std::filesystem::remove(File("out.vscene"));
  }
  // The document keeps the skin: saving again from it gives the same file.
  r = RunVorlan(Common() + "skin apply " + glb + " " + File("cm.skd") + " Cesium_Man -o " +
                File("out.vscene"));
  ASSERT_EQ(r.exitCode, 0) << r.out;
  r = RunVorlan(Common() + "skin save " + File("out.vscene") + " Cesium_Man " + File("again.skd"));
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<uint8_t> again;
  ASSERT_TRUE(support::ReadWholeFile(File("again.skd"), again));
  EXPECT_EQ(again, bytes);
  EXPECT_TRUE(support::FileExists(File("CesiumMan_0.jpg")));  // beside the document it belongs to
  EXPECT_EQ(std::filesystem::exists("CesiumMan_0.jpg"), strayBefore);
}

}  // namespace
}  // namespace vorlan::testing
