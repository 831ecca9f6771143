#include "rigexp/skin_split.h"

#include <gtest/gtest.h>

#include <map>

#include "rigexp/random_skin.h"
#include "rigexp/split_reference.h"

namespace vorlan::rigexp {
namespace {

using Faces = std::vector<std::array<uint32_t, 3>>;

// A vertex on one bone.
std::vector<Influence> On(uint32_t bone) { return {{bone, 1.0f}}; }

TEST(SkinSplit, FiveBonesOrFewerMakeOneBlock) {
  SplitInput in;
  in.influences = {On(0), On(1), On(2), On(3), On(4), {}};
  in.faces = {{0, 1, 2}, {2, 3, 4}, {4, 5, 0}};
  SplitResult r = SplitPart(in);
  ASSERT_EQ(r.blocks.size(), 1u);
  EXPECT_EQ(r.blocks[0].bones, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(r.blocks[0].vertices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(r.blocks[0].faces, (Faces{{0, 1, 2}, {2, 3, 4}, {4, 5, 0}}));
  EXPECT_EQ(r.cuts.reducedFaces, 0u);
  EXPECT_FALSE(r.failed);
}

TEST(SkinSplit, SixBonesNeedTwoBlocksAndASharedVertexIsInBoth) {
  SplitInput in;
  // Vertex 2 (bone 2) is shared by the first face and the face that brings bone 5.
  in.influences = {On(0), On(1), On(2), On(3), On(4), On(5), On(3)};
  in.faces = {{0, 1, 2}, {3, 4, 6}, {2, 5, 6}};
  SplitResult r = SplitPart(in);
  ASSERT_EQ(r.blocks.size(), 2u);
  EXPECT_EQ(r.blocks[0].bones, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(r.blocks[0].faces.size(), 2u);
  EXPECT_EQ(r.blocks[1].bones, (std::vector<uint32_t>{2, 5, 3}));
  EXPECT_EQ(r.blocks[1].vertices, (std::vector<uint32_t>{2, 5, 6}));
  EXPECT_EQ(r.blocks[1].faces, (Faces{{0, 1, 2}}));
}

TEST(SkinSplit, AFaceOfSevenBonesKeepsTheFiveLargestSumsInOrderOfAppearanceOnTies) {
  SplitInput in;
  in.influences = {
      {{0, 0.5f}, {1, 0.3f}, {2, 0.2f}},
      {{3, 0.4f}, {4, 0.4f}, {5, 0.2f}},
      {{1, 0.5f}, {6, 0.3f}, {5, 0.2f}},
  };
  in.faces = {{0, 1, 2}};
  SplitResult r = SplitPart(in);
  ASSERT_EQ(r.blocks.size(), 1u);
  // Sums: 0 0.5, 1 0.8, 2 0.2, 3 0.4, 4 0.4, 5 0.4, 6 0.3; of the three at 0.4 the first two stay.
  EXPECT_EQ(r.blocks[0].bones, (std::vector<uint32_t>{1, 0, 3, 4, 5}));
  EXPECT_EQ(r.cuts.reducedFaces, 1u);
  EXPECT_FLOAT_EQ(r.cuts.largestCut, 0.3f);
}

TEST(SkinSplit, AReducedBlockStillTakesLaterFacesThatFitItsBones) {
  SplitInput in;
  in.influences = {{{0, 1}, {1, 1}}, {{2, 1}, {3, 1}}, {{4, 1}, {5, 1}}, On(0), On(5)};
  in.faces = {{0, 1, 2}, {0, 3, 4}, {3, 3, 3}};
  SplitResult r = SplitPart(in);
  ASSERT_EQ(r.blocks.size(), 2u);
  EXPECT_EQ(r.blocks[0].bones, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  // Vertex 0 is reused without its bones counting; vertex 4 (bone 5) waits, and so does
  // nothing else: the degenerate face on vertex 3 joins the first block with one vertex.
  EXPECT_EQ(r.blocks[0].faces, (Faces{{0, 1, 2}, {3, 3, 3}}));
  EXPECT_EQ(r.blocks[1].vertices, (std::vector<uint32_t>{0, 3, 4}));
}

TEST(SkinSplit, EmptyPartHasNoBlocks) {
  SplitResult r = SplitPart({});
  EXPECT_TRUE(r.blocks.empty());
  EXPECT_FALSE(r.failed);
}

// What every split must hold, whatever the input.
void ExpectSound(const SplitInput& in, const SplitResult& r) {
  std::map<std::array<uint32_t, 3>, int> wanted, got;
  for (const auto& f : in.faces) ++wanted[f];
  for (const SplitBlock& b : r.blocks) {
    EXPECT_LE(b.bones.size(), kMaxBlockBones);
    bool reduced = false;
    for (const auto& f : b.faces) {
      std::array<uint32_t, 3> part{};
      for (int k = 0; k < 3; ++k) {
        ASSERT_LT(f[k], b.vertices.size());
        part[k] = b.vertices[f[k]];
      }
      ++got[part];
    }
    for (uint32_t v : b.vertices)
      for (const Influence& i : in.influences[v])
        if (std::find(b.bones.begin(), b.bones.end(), i.bone) == b.bones.end()) reduced = true;
    // Only a block opened by a face of more than five bones may leave a weight out.
    if (reduced) {
      std::vector<uint32_t> all;
      for (uint32_t v : b.vertices)
        for (const Influence& i : in.influences[v])
          if (std::find(all.begin(), all.end(), i.bone) == all.end()) all.push_back(i.bone);
      EXPECT_GT(all.size(), kMaxBlockBones);
    }
  }
  EXPECT_EQ(got, wanted);
}

TEST(SkinSplitOracle, SameBlocksAsThePlainRuleOnRandomSkins) {
  int checked = 0;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    testing::RandomSkinShape shape;
    shape.bones = 6 + seed % 35;
    shape.maxInfluences = 1 + seed % 16;
    shape.reach = 1 + seed % 6;
    shape.vertices = 100 + (seed * 37) % 400;
    shape.faces = 150 + (seed * 53) % 700;
    SplitInput in = testing::RandomSkin(shape, seed);
    SplitResult fast = SplitPart(in);
    SplitResult plain = reference::SplitPart(in);
    ASSERT_EQ(fast.blocks.size(), plain.blocks.size()) << "seed " << seed;
    for (std::size_t b = 0; b < fast.blocks.size(); ++b)
      ASSERT_EQ(fast.blocks[b], plain.blocks[b]) << "seed " << seed;
    EXPECT_EQ(fast.cuts.reducedFaces, plain.cuts.reducedFaces);
    EXPECT_EQ(fast.cuts.largestCut, plain.cuts.largestCut);
    EXPECT_EQ(fast.failed, plain.failed);
    ExpectSound(in, fast);
    checked += fast.cuts.reducedFaces > 0;
  }
  // The inputs must exercise the reduction too, not only the easy path.
  EXPECT_GT(checked, 5);
}

}  // namespace
}  // namespace vorlan::rigexp
