#include "workbench/plugin_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vorlan::workbench {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kFakeDir = VORLAN_FAKE_PLUGIN_DIR;

// A scratch folder with copies of chosen fake modules, so each test controls the set.
class PluginFolder {
 public:
  explicit PluginFolder(const std::string& tag) {
    dir_ = fs::path(VORLAN_BINARY_DIR) / "plugin_loader_test" / tag;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~PluginFolder() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Copy(const std::string& file, const std::string& as = {}) {
    fs::path to = dir_ / (as.empty() ? file : as);
    fs::copy_file(fs::path(kFakeDir) / file, to, fs::copy_options::overwrite_existing);
    return to.string();
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  std::string path() const { return dir_.string(); }

 private:
  fs::path dir_;
};

TEST(PluginLoader, LoadsGoodModulesAndListsThemByKind) {
  PluginFolder folder("good");
  folder.Copy("fake_exporter.dle");
  folder.Copy("fake_importer.dli");
  folder.Copy("fake_utility.dlu");
  folder.Write("readme.txt", "not a module");
  PluginLoader loader;
  EXPECT_EQ(loader.LoadFolder(folder.path()), 3);
  EXPECT_TRUE(loader.errors().empty());
  ASSERT_EQ(loader.classes().size(), 3u);
  // File-name order.
  EXPECT_EQ(loader.classes()[0].className, "FakeExport");
  EXPECT_EQ(loader.classes()[0].libDescription, "Fake exporter for tests");
  EXPECT_EQ(loader.classes()[2].category, "Test Utilities");

  EXPECT_EQ(loader.BySuperClass(host::kSceneExportClass).size(), 1u);
  EXPECT_EQ(loader.BySuperClass(host::kUtilityClass).size(), 1u);
  ASSERT_TRUE(loader.ByClassId({0xFA4E0002, 1}));
  EXPECT_EQ(loader.ByClassId({0xFA4E0002, 1})->className, "FakeImport");
  EXPECT_EQ(loader.ByClassId({0xFA4E0002, 2}), nullptr);
  EXPECT_EQ(loader.ByName("fakeexport"), loader.ByClassId({0xFA4E0001, 1}));
  EXPECT_EQ(loader.ByName("FakeExporter"), loader.ByClassId({0xFA4E0001, 1}));  // internal name
  EXPECT_EQ(loader.ByName("Nothing"), nullptr);
}

TEST(PluginLoader, FindsExportersAndImportersByExtension) {
  PluginFolder folder("ext");
  folder.Copy("fake_exporter.dle");
  folder.Copy("fake_importer.dli");
  PluginLoader loader;
  loader.LoadFolder(folder.path());
  EXPECT_EQ(loader.ByExtension(".FKX").size(), 1u);
  EXPECT_EQ(loader.ByExtension("fkx", host::kSceneImportClass).size(), 0u);
  EXPECT_EQ(loader.ByExtension("fkj", host::kSceneImportClass).size(), 1u);
  EXPECT_EQ(loader.ByExtension("zef").size(), 0u);
  EXPECT_EQ(loader.ByClassId({0xFA4E0002, 1})->extensions, (std::vector<std::string>{"fki", "FKJ"}));
}

TEST(PluginLoader, CreatesObjectsOnlyOfTheirKind) {
  PluginFolder folder("create");
  folder.Copy("fake_exporter.dle");
  folder.Copy("fake_utility.dlu");
  PluginLoader loader;
  loader.LoadFolder(folder.path());
  const LoadedClass* exp = loader.ByName("FakeExport");
  const LoadedClass* util = loader.ByName("FakeUtility");
  ASSERT_TRUE(exp && util);
  auto e = loader.CreateExporter(*exp);
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->Ext(0), "fkx");
  EXPECT_EQ(e->Version(), 100u);
  EXPECT_FALSE(loader.CreateImporter(*exp));
  EXPECT_FALSE(loader.CreateExporter(*util));
  auto u1 = loader.CreateUtility(*util);
  auto u2 = loader.CreateUtility(*util);
  EXPECT_EQ(u1.get(), u2.get());  // one shared instance
}

TEST(PluginLoader, RefusesBadModulesWithTheFileAndReason) {
  PluginFolder folder("bad");
  std::string version = folder.Copy("bad_version.dle");
  std::string missing = folder.Copy("missing_entry.dle");
  std::string nodesc = folder.Copy("null_desc.dle");
  std::string garbage = folder.Write("garbage.dle", "this is not an ELF file");
  std::string good = folder.Copy("fake_exporter.dle", "zz_exporter.dle");
  PluginLoader loader;
  EXPECT_EQ(loader.LoadFolder(folder.path()), 1);
  ASSERT_EQ(loader.errors().size(), 4u);
  EXPECT_EQ(loader.errors()[0],
            version + ": built for host interface version 0x12345678, this host needs 0x56520001");
  EXPECT_THAT(loader.errors()[1], HasSubstr(garbage + ": cannot be loaded: "));
  EXPECT_EQ(loader.errors()[2], missing + ": not a plug-in module, missing entry point(s): LibClassDesc");
  EXPECT_EQ(loader.errors()[3], nodesc + ": LibClassDesc(0) returned no class descriptor");
  ASSERT_EQ(loader.classes().size(), 1u);
  EXPECT_EQ(loader.classes()[0].modulePath, good);
}

TEST(PluginLoader, RefusesASecondModuleWithTheSameClassId) {
  PluginFolder folder("dup");
  std::string first = folder.Copy("fake_exporter.dle", "a.dle");
  std::string second = folder.Copy("fake_exporter.dle", "b.DLE");
  PluginLoader loader;
  EXPECT_EQ(loader.LoadFolder(folder.path()), 1);
  ASSERT_EQ(loader.errors().size(), 1u);
  EXPECT_EQ(loader.errors()[0],
            second + ": class id (0xFA4E0001, 0x00000001) is already provided by " + first);
}

TEST(PluginLoader, MissingFolderIsAnErrorEntry) {
  PluginLoader loader;
  EXPECT_EQ(loader.LoadFolder("/nonexistent/vorlan/plugins"), 0);
  ASSERT_EQ(loader.errors().size(), 1u);
  EXPECT_THAT(loader.errors()[0], HasSubstr("/nonexistent/vorlan/plugins: plug-in folder cannot be read"));
  EXPECT_FALSE(loader.LoadModule("/nonexistent/x.dle"));
  EXPECT_EQ(loader.errors().size(), 2u);
}

}  // namespace
}  // namespace vorlan::workbench
