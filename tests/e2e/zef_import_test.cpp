// `vorlan import`, and .zef files read through the importer by `convert` and `export`: the
// bundled sample exported, imported back and exported again, converted to a .glb that the
// Khronos validator accepts, and the command's refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "interchange/test_files.h"
#include "interchange/validator.h"

namespace vorlan::testing {
namespace {

class ZefImportEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  }
  Command Vorlan(const std::string& args) {
    return vorlan::testing::Run(std::string(VORLAN_EXE) + " --plugin-dir '" + VORLAN_PLUGIN_DIR +
                                "' --log-dir '" + dir.File("logs") + "' --config-dir '" + dir.File("cfg") +
                                "' " + args);
  }
  TempDir dir;
  const std::string sample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";
};

TEST_F(ZefImportEndToEnd, PluginsListTheImporter) {
  Command c = Vorlan("plugins");
  EXPECT_EQ(c.exitCode, 0) << c.out;
  EXPECT_NE(c.out.find("ZefImport\n  class id    0x7B702870, 0x2DF5000A\n  kind        importer (0xA10)"),
            std::string::npos)
      << c.out;
  EXPECT_NE(c.out.find("  short       ZEF Format\n  long        ZEF file format, version 0008 and above."),
            std::string::npos);
}

TEST_F(ZefImportEndToEnd, ExportImportExportGivesTheSameFile) {
  // The embedded image lands beside the first file, where the importer finds it again.
  const std::string box = AssetPath("gltf/BoxTextured/BoxTextured.glb");
  const std::string first = dir.File("first.zef"), second = dir.File("second.zef");
  ASSERT_EQ(Vorlan("export '" + box + "' '" + first + "' --yes").exitCode, 0);
  Command exp = Vorlan("export '" + first + "' '" + second + "' --yes");
  EXPECT_EQ(exp.exitCode, 0) << exp.out;
  EXPECT_EQ(ReadBytes(first), ReadBytes(second));
  EXPECT_TRUE(std::filesystem::exists(dir.File("logs/zefImport.log")));
}

TEST_F(ZefImportEndToEnd, TexturesNotFoundAreNamedWithTheirMaterial) {
  const std::string zef = dir.File("sample.zef");
  ASSERT_EQ(Vorlan("export '" + sample + "' '" + zef + "' --yes").exitCode, 0);
  Command imp = Vorlan("import '" + zef + "' '" + dir.File("back.vscene") + "'");
  EXPECT_EQ(imp.exitCode, 0) << imp.out;
  EXPECT_NE(imp.out.find("vorlan import: texture \""), std::string::npos) << imp.out;
  EXPECT_NE(imp.out.find("\" of material \""), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("back.vscene")));
}

TEST_F(ZefImportEndToEnd, ConvertedZefPassesTheGltfValidator) {
  const std::string zef = dir.File("sample.zef"), glb = dir.File("sample.glb");
  ASSERT_EQ(Vorlan("export '" + sample + "' '" + zef + "' --yes").exitCode, 0);
  Command c = Vorlan("convert '" + zef + "' '" + glb + "'");
  ASSERT_EQ(c.exitCode, 0) << c.out;
  Command v = Validate({glb});
  EXPECT_EQ(v.exitCode, 0) << v.out;
  EXPECT_NE(v.out.find(glb + ": errors=0 "), std::string::npos) << v.out;
}

TEST_F(ZefImportEndToEnd, MergeAndRefusals) {
  const std::string zef = dir.File("sample.zef");
  ASSERT_EQ(Vorlan("export '" + sample + "' '" + zef + "' --yes").exitCode, 0);
  Command merged = Vorlan("import '" + zef + "' '" + dir.File("twice.vscene") + "' --merge '" + sample + "'");
  EXPECT_EQ(merged.exitCode, 0) << merged.out;
  Command once = Vorlan("import '" + zef + "' '" + dir.File("once.vscene") + "'");
  EXPECT_EQ(once.exitCode, 0) << once.out;
  EXPECT_GT(ReadBytes(dir.File("twice.vscene")).size(), ReadBytes(dir.File("once.vscene")).size());

  // Like convert: the line is well formed, the output impossible.
  EXPECT_EQ(Vorlan("import '" + zef + "' '" + dir.File("x.txt") + "'").exitCode, 1);
  WriteText(dir.File("junk.zef"), "not a zef file at all");
  Command junk = Vorlan("import '" + dir.File("junk.zef") + "' '" + dir.File("j.vscene") + "'");
  EXPECT_EQ(junk.exitCode, 1) << junk.out;
  EXPECT_NE(junk.out.find("This is not a ZEF file!"), std::string::npos) << junk.out;
  EXPECT_FALSE(std::filesystem::exists(dir.File("j.vscene")));
}

}  // namespace
}  // namespace vorlan::testing
