// The page-backed byte array keeps its content over many growths and reads zero where it
// was never written or was given up.
#include "support/page_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vorlan::support {
namespace {

TEST(PageBytes, FollowsAVectorThroughGrowthShrinkingAndAppends) {
  std::mt19937 rng(5);
  PageBytes pages;
  std::vector<uint8_t> model;
  EXPECT_TRUE(pages.empty());
  for (int step = 0; step < 400; ++step) {
    const int what = static_cast<int>(rng() % 4);
    if (what == 0) {
      const std::size_t n = rng() % (model.size() + 300000);  // grows past several doublings
      pages.Resize(n);
      model.resize(n, 0);
    } else {
      std::vector<uint8_t> piece(rng() % 5000);
      for (uint8_t& b : piece) b = static_cast<uint8_t>(rng());
      pages.Append(piece);
      model.insert(model.end(), piece.begin(), piece.end());
    }
    ASSERT_EQ(pages.size(), model.size());
  }
  ASSERT_EQ(std::vector<uint8_t>(pages.Bytes().begin(), pages.Bytes().end()), model);
  pages.Resize(10);
  pages.Resize(1 << 20);
  for (std::size_t i = 10; i < pages.size(); ++i) ASSERT_EQ(pages.data()[i], 0) << i;
}

}  // namespace
}  // namespace vorlan::support
