#include "kitexport/zef_search.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/file_io.h"

namespace vorlan::kitexport {
namespace {

namespace fs = std::filesystem;

class ZefSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("zefsearch_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  void Touch(const std::string& rel) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << "x";
  }
  // The root as a host path, with backslashes.
  std::string HostRoot() const {
    std::string s = root_.string();
    for (char& c : s)
      if (c == '/') c = '\\';
    return s + "\\";
  }
  std::vector<std::string> Find(const std::string& name) {
    return FindFilesNoCase(HostRoot(), name, [](const std::string& p) { return support::NativePath(p); });
  }
  fs::path root_;
};

TEST_F(ZefSearch, IgnoresCaseSkipsDotFoldersAndListsFilesBeforeSubfolders) {
  Touch("a/b/sword.zef");
  Touch("SWORD.ZEF");
  Touch(".svn/sword.zef");
  Touch("a/Sword.Zef");
  Touch("a/swords.zef");
  Touch("a/sword.zef.bak");
  fs::create_directories(root_ / "sword.zef");  // a folder of that name is not a match
  auto found = Find("sword.zef");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], HostRoot() + "SWORD.ZEF");
  EXPECT_EQ(found[1], HostRoot() + "a\\Sword.Zef");
  EXPECT_EQ(found[2], HostRoot() + "a\\b\\sword.zef");
  EXPECT_TRUE(Find("axe.zef").empty());
}

TEST_F(ZefSearch, MissingRootAndLinkCyclesEnd) {
  Touch("a/axe.zef");
  fs::create_directory_symlink(root_, root_ / "a" / "loop");
  auto found = Find("axe.zef");
  EXPECT_EQ(found.size(), 1u);
  EXPECT_TRUE(FindFilesNoCase(HostRoot() + "nothere\\", "axe.zef", [](const std::string& p) {
                return support::NativePath(p);
              }).empty());
}

}  // namespace
}  // namespace vorlan::kitexport
