// Animation on the command line: a scene document with keys exported to .manm, the file
// inspected, and imported back into a scene of the same names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "run_vorlan.h"
#include "support/file_io.h"

namespace vorlan::testing {
namespace {

const char* kAnimated = R"({"version": 1,
 "animation": {"start": 0, "end": 1600, "frameRate": 30},
 "nodes": [
  {"name": "Mover", "selected": true,
   "controller": {"position": {"class": ["0x00002002", "0x00000000"],
                               "keys": [[0, 0, 0, 0, 0], [480, 0, 10, 5, 0]]}},
   "children": [{"name": "Rider"}]},
  {"name": "Still"}
 ]})";

const char* kPlain = R"({"version": 1, "nodes": [{"name": "Mover", "children": [{"name": "Rider"}]}]})";

class AnimationCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_anim_e2e_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    support::WriteFileAtomic(dir + "/anim.vscene", std::string(kAnimated));
    support::WriteFileAtomic(dir + "/plain.vscene", std::string(kPlain));
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

TEST_F(AnimationCliTest, ExportInspectAndImportBack) {
  RunResult e = RunVorlan("export " + dir + "/anim.vscene " + dir + "/out.manm");
  ASSERT_EQ(e.exitCode, 0) << e.out;
  RunResult i = RunVorlan("inspect " + dir + "/out.manm");
  ASSERT_EQ(i.exitCode, 0) << i.out;
  EXPECT_NE(i.out.find("MANM version 2, 3 records"), std::string::npos) << i.out;
  EXPECT_NE(i.out.find("record \"Mover\""), std::string::npos);
  EXPECT_NE(i.out.find("position: Linear (0x1), 2 keys"), std::string::npos) << i.out;
  EXPECT_NE(i.out.find("t 480: (10, 5, 0)"), std::string::npos) << i.out;

  // "Still" is not in the plain scene: the importer says so and goes on.
  RunResult m =
      RunVorlan("import " + dir + "/out.manm --into " + dir + "/plain.vscene " + dir + "/back.vscene");
  ASSERT_EQ(m.exitCode, 0) << m.out;
  EXPECT_NE(m.out.find("Node \"Still\" not found. Can't import its animation."), std::string::npos) << m.out;
  std::vector<uint8_t> back;
  ASSERT_TRUE(support::ReadWholeFile(dir + "/back.vscene", back));
  std::string text(back.begin(), back.end());
  EXPECT_NE(text.find("\"controller\""), std::string::npos) << text;
  EXPECT_NE(text.find("480"), std::string::npos);
}

TEST_F(AnimationCliTest, SelectedAndHierarchy) {
  auto records = [&](const std::string& flags) {
    RunResult e = RunVorlan("export " + dir + "/anim.vscene " + dir + "/sel.manm " + flags);
    EXPECT_EQ(e.exitCode, 0) << e.out;
    return RunVorlan("inspect " + dir + "/sel.manm").out;
  };
  EXPECT_NE(records("--selected").find("1 records"), std::string::npos);
  std::string h = records("--hierarchy");
  EXPECT_NE(h.find("2 records"), std::string::npos) << h;
  EXPECT_NE(h.find("record \"Rider\""), std::string::npos);
  EXPECT_NE(records("").find("3 records"), std::string::npos);
}

TEST_F(AnimationCliTest, DamagedFileFailsInspect) {
  support::WriteFileAtomic(dir + "/bad.manm", std::string("MANM\2\0\0\0\5\0\0\0\0\0\0\0", 16));
  RunResult i = RunVorlan("inspect " + dir + "/bad.manm");
  EXPECT_EQ(i.exitCode, 1) << i.out;
  EXPECT_NE(i.out.find("is damaged"), std::string::npos);
}

// An interchange file's animation on the command line: into a scene document, out to
// .manm, and onto the scene again.
TEST_F(AnimationCliTest, CorpusAnimationThroughDocumentsAndManm) {
  const std::string box = std::string(VORLAN_ASSETS_DIR) + "/gltf/BoxAnimated/BoxAnimated.glb";
  RunResult c = RunVorlan("convert '" + box + "' " + dir + "/box.vscene");
  ASSERT_EQ(c.exitCode, 0) << c.out;
  RunResult e = RunVorlan("export " + dir + "/box.vscene " + dir + "/box.manm");
  ASSERT_EQ(e.exitCode, 0) << e.out;
  RunResult i = RunVorlan("inspect " + dir + "/box.manm");
  ASSERT_EQ(i.exitCode, 0) << i.out;
  EXPECT_NE(i.out.find("rotation: Linear (0x2), 2 keys"), std::string::npos) << i.out;
  EXPECT_NE(i.out.find("position: Linear (0x1), 4 keys"), std::string::npos) << i.out;

  RunResult m =
      RunVorlan("import " + dir + "/box.manm --into " + dir + "/box.vscene " + dir + "/back.vscene");
  ASSERT_EQ(m.exitCode, 0) << m.out;
  RunResult again = RunVorlan("export " + dir + "/back.vscene " + dir + "/again.manm");
  ASSERT_EQ(again.exitCode, 0) << again.out;
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(support::ReadWholeFile(dir + "/box.manm", first));
  ASSERT_TRUE(support::ReadWholeFile(dir + "/again.manm", second));
  EXPECT_EQ(first, second);

  // The keys travel on into binary glTF.
  RunResult g = RunVorlan("convert " + dir + "/back.vscene " + dir + "/back.glb");
  ASSERT_EQ(g.exitCode, 0) << g.out;
  std::vector<uint8_t> glb;
  ASSERT_TRUE(support::ReadWholeFile(dir + "/back.glb", glb));
  EXPECT_NE(std::string(glb.begin(), glb.end()).find("\"animations\""), std::string::npos);
}

}  // namespace
}  // namespace vorlan::testing
