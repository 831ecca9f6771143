// The `vorlan` program as a user runs it: the plug-ins it lists, the bundled sample exported
// and inspected, and bad input handled with a message instead of a crash.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "run_vorlan.h"
#include "support/file_io.h"
#include "zef/inspect.h"

namespace vorlan::testing {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_e2e_XXXXXX";
    dir = ::mkdtemp(tmpl);
    // Keep the exporter's settings out of the user's folders.
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
  const std::string sample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";
};

TEST_F(CliTest, PluginsListsTheSceneExporter) {
  RunResult r = RunVorlan("plugins");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("ZefExport"), std::string::npos);
  EXPECT_NE(r.out.find("0x7C2360F6, 0x473C5399"), std::string::npos);
  EXPECT_NE(r.out.find("Vorlan Scene Format, v1.0 for use with 3D Studio Max"), std::string::npos);
  EXPECT_NE(r.out.find(".zef"), std::string::npos);
}

TEST_F(CliTest, SampleExportsAndInspectsAndExportsAgainIdentically) {
  std::string first = dir + "/first.zef", second = dir + "/second.zef";
  RunResult e = RunVorlan("export " + sample + " " + first + " --yes");
  ASSERT_EQ(e.exitCode, 0) << e.out;
  RunResult i = RunVorlan("inspect " + first);
  ASSERT_EQ(i.exitCode, 0) << i.out;
  for (const char* kind : {"Node", "MatList", "GObj", "GBlock", "Vertices", "Faces", "Transform", "Camera",
                           "Light", "Dummy", "Physics"})
    EXPECT_NE(i.out.find(kind), std::string::npos) << kind << "\n" << i.out;

  ASSERT_EQ(RunVorlan("export " + sample + " " + second + " --yes").exitCode, 0);
  std::vector<uint8_t> a, b;
  ASSERT_TRUE(support::ReadWholeFile(first, a));
  ASSERT_TRUE(support::ReadWholeFile(second, b));
  EXPECT_EQ(a, b);

  zef::ZefSummary s = zef::SummarizeZef(a);
  EXPECT_EQ(s.result, zef::ZefResult::kSuccess);
  EXPECT_TRUE(s.problems.empty());
  EXPECT_GT(s.triangles, 0u);
  EXPECT_EQ(s.triangles, s.infoTriangles);
}

TEST_F(CliTest, BadInputGivesAMessageAndAFailureCode) {
  RunResult missing = RunVorlan("export " + dir + "/nope.vscene " + dir + "/x.zef");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.out.find("nope.vscene"), std::string::npos) << missing.out;

  std::string junk = dir + "/junk.zef";
  ASSERT_TRUE(support::WriteFileAtomic(junk, std::string("ZEF\0garbage", 11)));
  RunResult inspect = RunVorlan("inspect " + junk);
  EXPECT_EQ(inspect.exitCode, 1) << inspect.out;  // reported as damaged, not a crash
  EXPECT_NE(inspect.out.find("is damaged"), std::string::npos) << inspect.out;
  // Another kind of file is not called damaged, and nothing is printed as its tree.
  std::string other = dir + "/scene.glb";
  ASSERT_TRUE(support::WriteFileAtomic(other, std::string("glTF\2\0\0\0", 8)));
  RunResult notZef = RunVorlan("inspect " + other);
  EXPECT_EQ(notZef.exitCode, 1);
  EXPECT_EQ(notZef.out, "vorlan inspect: \"" + other +
                            "\" is not a .zef file (inspect reads .zef, .manm, .shd, .skd and .eqp files)\n");

  RunResult unknown = RunVorlan("export " + sample + " " + dir + "/x.unknownext");
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_NE(unknown.out.find("unknownext"), std::string::npos) << unknown.out;

  RunResult folder = RunVorlan("export " + dir + " " + dir + "/x.zef");
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_NE(folder.out.find("\"" + dir + "\" is a folder, not a scene file"), std::string::npos)
      << folder.out;

  EXPECT_EQ(RunVorlan("frobnicate").exitCode, 2);
}

TEST_F(CliTest, MalformedDocumentNamesFileAndPathAndWritesNothing) {
  std::string doc = dir + "/bad.vscene";
  ASSERT_TRUE(support::WriteFileAtomic(
      doc,
      std::string(
          R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "mesh", "mesh": {"verts": [[0,0,0]], "faces": [[0, 1, 2]]}}}]})")));
  RunResult r = RunVorlan("export " + doc + " " + dir + "/bad.zef");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find(doc + ": "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("nodes[0]"), std::string::npos) << r.out;
  EXPECT_FALSE(support::FileExists(dir + "/bad.zef"));
}

TEST_F(CliTest, UnwritableOutputGivesAMessageAndNoPartialFile) {
  std::string target = dir + "/missing-folder/out.zef";
  RunResult r = RunVorlan("export " + sample + " " + target + " --yes");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("missing-folder/out.zef"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing-folder"));
  // Nothing is left beside an existing target either when the export is refused.
  for (const auto& e : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

TEST_F(CliTest, FailedExportLeavesThePreviousFileAlone) {
  std::string target = dir + "/keep.zef";
  ASSERT_TRUE(support::WriteFileAtomic(target, std::string("previous")));
  // A configuration of a newer format stops the export before anything is written.
  std::string cfgDir = dir + "/cfg";
  std::filesystem::create_directories(cfgDir);
  ASSERT_TRUE(support::WriteFileAtomic(cfgDir + "/MaxExport.cfg", std::vector<uint8_t>{9, 0, 0, 0, 1, 1, 1}));
  RunResult r = RunVorlan("--config-dir " + cfgDir + " export " + sample + " " + target + " --yes");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(target, bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "previous");
}

}  // namespace
}  // namespace vorlan::testing
