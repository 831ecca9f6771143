// One nesting limit for the whole pipeline: the deepest scene a document may hold exports and
// reads back with `vorlan`, and one level more is refused when the document loads.
#include "host/limits.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "run_vorlan.h"
#include "support/file_io.h"
#include "zef/blocks.h"
#include "zef/inspect.h"
#include "zef/reader.h"

namespace vorlan::testing {
namespace {

// A chain of `depth` nodes below the root; the last one holds a triangle, so that its object
// and geometry blocks nest below the deepest node too.
std::string ChainDocument(int depth) {
  std::string open, close;
  for (int level = 1; level < depth; ++level) {
    open += R"({"name": "n)" + std::to_string(level) + R"(", "children": [)";
    close += "]}";
  }
  const std::string leaf =
      R"({"name": "leaf", "object": {"type": "mesh", "mesh": {"verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]}}})";
  return R"({"version": 1, "nodes": [)" + open + leaf + close + "]}";
}

// Node blocks from the root down the first child that is a node, the root included.
int NodeChainLength(const std::vector<zef::BlockInfo>& blocks) {
  for (const zef::BlockInfo& b : blocks)
    if (b.id == zef::kNode) return 1 + NodeChainLength(b.children);
  return 0;
}

class LimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_limits_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

TEST_F(LimitsTest, DeepestAllowedChainExportsAndReadsBackAndOneMoreIsRefusedAtLoad) {
  const std::string deepest = dir + "/deepest.vscene", out = dir + "/deepest.zef";
  ASSERT_TRUE(support::WriteFileAtomic(deepest, ChainDocument(host::kMaxNodeDepth)));
  RunResult e = RunVorlan("-q export " + deepest + " " + out + " --yes");
  ASSERT_EQ(e.exitCode, 0) << e.out.substr(0, 2000);
  RunResult i = RunVorlan("inspect " + out + " >/dev/null");
  EXPECT_EQ(i.exitCode, 0) << i.out.substr(0, 2000);

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(out, bytes));
  zef::ZefFile parsed;
  ASSERT_EQ(zef::ParseZef(bytes, parsed), zef::ZefResult::kSuccess) << parsed.problems.front();
  // The root, then every level of the chain.
  std::vector<zef::BlockInfo> top;
  for (const zef::BlockInfo& b : parsed.blocks)
    if (b.id == zef::kNode) top.push_back(b);
  ASSERT_FALSE(top.empty());
  EXPECT_EQ(NodeChainLength(top), host::kMaxNodeDepth + 1);
  EXPECT_EQ(zef::SummarizeZef(bytes).triangles, 1u);

  const std::string deeper = dir + "/deeper.vscene", refused = dir + "/deeper.zef";
  ASSERT_TRUE(support::WriteFileAtomic(deeper, ChainDocument(host::kMaxNodeDepth + 1)));
  RunResult r = RunVorlan("export " + deeper + " " + refused + " --yes");
  EXPECT_EQ(r.exitCode, 1);
  std::string path = "nodes[0]";
  for (int level = 1; level <= host::kMaxNodeDepth; ++level) path += ".children[0]";
  EXPECT_EQ(r.out, "vorlan export: " + deeper + ": " + path + ": nodes nest deeper than " +
                       std::to_string(host::kMaxNodeDepth) + " levels\n");
  EXPECT_FALSE(std::filesystem::exists(refused));
}

TEST_F(LimitsTest, TextsWithNulAreRefusedAtLoad) {
  const std::string doc = dir + "/nul.vscene";
  ASSERT_TRUE(support::WriteFileAtomic(
      doc, std::string(R"({"version": 1, "nodes": [{"name": "Crate\u0000LOD1"}]})")));
  for (const char* command : {"export", "convert"}) {
    const std::string out = dir + (command == std::string("export") ? "/nul.zef" : "/nul.glb");
    RunResult r = RunVorlan(std::string(command) + " " + doc + " " + out);
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_EQ(r.out, "vorlan " + std::string(command) + ": " + doc +
                         ": nodes[0].name: a text holds a NUL character, which would cut it short\n");
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
}  // namespace vorlan::testing
