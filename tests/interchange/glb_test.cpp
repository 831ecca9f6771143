// The GLB container and the glTF JSON the importer reads itself: golden bytes, damaged files.
#include "interchange/glb.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

namespace vorlan::testing {
namespace {

using workbench::interchange::GlbParts;
using workbench::interchange::GltfJsonText;
using workbench::interchange::GltfMeshesOverUvLimit;
using workbench::interchange::JoinGlb;
using workbench::interchange::SplitGlb;

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(InterchangeGlb, JoinPadsJsonWithSpacesAndBinaryWithZeros) {
  const std::vector<uint8_t> bin = {1, 2, 3};
  const std::vector<uint8_t> want = {
      'g', 'l', 'T', 'F', 2,   0,   0,   0,   36,  0,   0,   0,    // header: magic, version, total length
      4,   0,   0,   0,   'J', 'S', 'O', 'N', '{', '}', ' ', ' ',  // JSON chunk
      4,   0,   0,   0,   'B', 'I', 'N', 0,   1,   2,   3,   0};   // binary chunk
  EXPECT_EQ(JoinGlb("{}", bin, true), want);
  // Without a binary chunk: header and JSON only.
  const std::vector<uint8_t> jsonOnly = {'g', 'l', 'T', 'F', 2,   0,   0,   0,   24,  0,   0,   0,
                                         4,   0,   0,   0,   'J', 'S', 'O', 'N', '{', '}', ' ', ' '};
  EXPECT_EQ(JoinGlb("{}", {}, false), jsonOnly);

  GlbParts parts;
  std::string error;
  ASSERT_TRUE(SplitGlb(want, parts, error)) << error;
  EXPECT_EQ(parts.json, "{}  ");
  EXPECT_TRUE(parts.hasBin);
  EXPECT_EQ(parts.bin, (std::vector<uint8_t>{1, 2, 3, 0}));
}

TEST(InterchangeGlb, SplitRefusesEverythingThatIsNotASoundContainer) {
  const std::vector<uint8_t> good = JoinGlb("{\"a\":1}", std::vector<uint8_t>{9, 9}, true);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::string error;
  };
  auto with = [&](std::size_t at, std::vector<uint8_t> patch) {
    std::vector<uint8_t> b = good;
    std::copy(patch.begin(), patch.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  std::vector<Case> cases = {
      {"empty", {}, "not a GLB file"},
      {"other magic", with(0, {'g', 'l', 'T', 'X'}), "not a GLB file"},
      {"version 1", with(4, {1}), "GLB version is not 2"},
      {"length past the file", with(8, {0xFF, 0xFF, 0, 0}), "GLB length does not fit the file"},
      {"length below the header", with(8, {4, 0, 0, 0}), "GLB length does not fit the file"},
      {"chunk past the file", with(12, {0xF0, 0xFF, 0xFF, 0xFF}), "GLB chunk runs past the file"},
      {"binary first", with(16, {'B', 'I', 'N', 0}), "the first GLB chunk is not JSON"},
      {"no chunk", with(8, {12, 0, 0, 0}), "GLB has no JSON chunk"},
  };
  std::vector<uint8_t> truncated(good.begin(), good.end() - 4);
  cases.push_back({"truncated", truncated, "GLB length does not fit the file"});
  for (const Case& c : cases) {
    GlbParts parts;
    std::string error;
    EXPECT_FALSE(SplitGlb(c.bytes, parts, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
}

TEST(InterchangeGlb, DamagedContainersNeverReadOutsideTheirBytes) {
  const std::vector<uint8_t> good = JoinGlb("{\"meshes\":[]}", std::vector<uint8_t>(40, 7), true);
  std::mt19937 rng(1234);
  for (int i = 0; i < 5000; ++i) {
    std::vector<uint8_t> b = good;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) b[rng() % b.size()] = static_cast<uint8_t>(rng());
    b.resize(rng() % (b.size() + 1));
    GlbParts parts;
    std::string error;
    if (SplitGlb(b, parts, error)) {
      EXPECT_LE(parts.json.size() + parts.bin.size(), b.size());
    }
    GltfMeshesOverUvLimit(b, 8);
  }
}

TEST(InterchangeGlb, JsonTextOfGltfAndGlb) {
  EXPECT_EQ(GltfJsonText(Bytes("\xEF\xBB\xBF \n{\"asset\":{}}")), "\xEF\xBB\xBF \n{\"asset\":{}}");
  EXPECT_EQ(GltfJsonText(JoinGlb("{\"x\":2}", {}, false)), "{\"x\":2} ");
  EXPECT_EQ(GltfJsonText(Bytes("solid cube")), std::nullopt);
  EXPECT_EQ(GltfJsonText({}), std::nullopt);
}

TEST(InterchangeGlb, MeshesOverTheUvLimitAreNamedWithTheirCount) {
  nlohmann::json doc;
  nlohmann::json many = nlohmann::json::object();
  for (int k = 0; k < 10; ++k) many["TEXCOORD_" + std::to_string(k)] = k;
  many["TEXCOORD_X"] = 0;  // not a set
  many["TEXCOORD_"] = 0;
  doc["meshes"] = {{{"name", "few"}, {"primitives", {{{"attributes", {{"TEXCOORD_0", 0}}}}}}},
                   {{"primitives", {{{"attributes", {{"TEXCOORD_0", 0}}}}, {{"attributes", many}}}}},
                   {{"name", "broken"}, {"primitives", {{{"attributes", 3}}, 5}}},
                   7};
  auto over = GltfMeshesOverUvLimit(Bytes(doc.dump()), 8);
  ASSERT_EQ(over.size(), 1u);
  EXPECT_EQ(over[0].mesh, "meshes[1]");
  EXPECT_EQ(over[0].sets, 10);
  EXPECT_TRUE(GltfMeshesOverUvLimit(Bytes(doc.dump()), 10).empty());
  EXPECT_TRUE(GltfMeshesOverUvLimit(Bytes("{\"meshes\": [ {\"primitives\": "), 8).empty());
  EXPECT_TRUE(GltfMeshesOverUvLimit(Bytes("[1,2]"), 8).empty());
}

}  // namespace
}  // namespace vorlan::testing
