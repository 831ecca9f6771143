// The hash weld against the plain linear weld on many random GBlocks full of duplicates and
// near-duplicates (one byte apart, 0.0 against -0.0, NaNs with different payloads).
#include <gtest/gtest.h>

#include <random>

#include "zef/flush.h"
#include "zef/image_builder.h"
#include "zef/weld_reference.h"

namespace vorlan::zef {
namespace {

using testing::ImageBuilder;
using testing::RecordingProgress;

struct RandomBlock {
  uint32_t stride = 0;
  std::vector<uint8_t> vertices;
  std::vector<uint32_t> indices;
};

RandomBlock MakeBlock(std::mt19937& rng, uint32_t maxVertices, uint32_t maxFaces) {
  static const uint32_t kStrides[] = {1, 4, 5, 12, 24, 32, 40, 43, 88};
  RandomBlock b;
  b.stride = kStrides[rng() % std::size(kStrides)];
  const uint32_t count = 1 + rng() % maxVertices;
  const uint32_t poolSize = 1 + rng() % 40;
  std::vector<std::vector<uint8_t>> pool(poolSize, std::vector<uint8_t>(b.stride));
  for (auto& v : pool)
    for (auto& byte : v) byte = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 0);
  for (uint32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> v = pool[rng() % poolSize];
    switch (rng() % 8) {
      case 0:  // one byte apart from its pool vertex
        v[rng() % b.stride] ^= static_cast<uint8_t>(1 + rng() % 255);
        break;
      case 1:  // the sign bit of a float: 0.0 against -0.0 when the rest is zero
        if (b.stride >= 4) v[4 * (rng() % (b.stride / 4)) + 3] ^= 0x80;
        break;
      case 2:  // a NaN whose payload varies a little
        if (b.stride >= 4) {
          std::size_t at = 4 * (rng() % (b.stride / 4));
          v[at] = static_cast<uint8_t>(rng() % 3);
          v[at + 1] = 0;
          v[at + 2] = 0xC0;
          v[at + 3] = 0x7F;
        }
        break;
      default:
        break;
    }
    b.vertices.insert(b.vertices.end(), v.begin(), v.end());
  }
  const uint32_t faces = rng() % (maxFaces + 1);
  // Indices lean towards the front so that some vertices stay unused.
  for (uint32_t i = 0; i < 3 * faces; ++i)
    b.indices.push_back(rng() % 2 ? rng() % count : rng() % (count / 2 + 1));
  return b;
}

void ExpectSameWeld(const RandomBlock& block, uint32_t trial) {
  ImageBuilder image;
  image.GBlock(trial, block.stride, 0x12 | (trial % 9) << 8, block.vertices, block.indices);
  GBlockMesh mesh;
  ASSERT_EQ(ReadGBlockMesh(image.buf.Written(), mesh, nullptr), GBlockShape::kMesh);

  std::vector<uint8_t> fast{0xEE}, plain{0xEE};  // both append after what is there
  RecordingProgress fastProgress, plainProgress;
  uint32_t fastShrinkage = 0;
  ASSERT_TRUE(WeldGBlock(mesh, fast, fastShrinkage, &fastProgress, 5000));
  uint32_t plainShrinkage = reference::WeldGBlock(mesh, plain, &plainProgress, 5000);

  ASSERT_EQ(fast, plain) << "trial " << trial << " stride " << block.stride;
  EXPECT_EQ(fastShrinkage, plainShrinkage);
  ASSERT_EQ(fastProgress.bars.empty(), plainProgress.bars.empty());
  if (!plainProgress.bars.empty()) {
    EXPECT_EQ(fastProgress.bars.back().pos, plainProgress.bars.back().pos);
    EXPECT_EQ(fastProgress.bars.back().min, -1);
    EXPECT_EQ(fastProgress.bars.back().max, 5000);
  }
}

TEST(WeldOracle, SmallRandomBlocksWeldAsTheLinearSearchDoes) {
  std::mt19937 rng(20240601);
  for (uint32_t trial = 0; trial < 1500; ++trial) ExpectSameWeld(MakeBlock(rng, 300, 400), trial);
}

TEST(WeldOracle, LargerBlocksWithManyRepeatsWeldAsTheLinearSearchDoes) {
  std::mt19937 rng(77);
  for (uint32_t trial = 0; trial < 6; ++trial) ExpectSameWeld(MakeBlock(rng, 6000, 12000), trial);
}

}  // namespace
}  // namespace vorlan::zef
