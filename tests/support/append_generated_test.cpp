#include "support/append_generated.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace vorlan::support {
namespace {

// Decoders log the first bad record of a block from inside the generator, so each element
// must be made exactly once and in order, whether the vector has room or has to grow.
TEST(AppendGenerated, MakesEachElementOnceInOrderBehindWhatIsThere) {
  for (const bool room : {false, true}) {
    std::vector<std::array<int, 3>> v{{7, 7, 7}};
    if (room) v.reserve(64);
    const auto* before = v.data();
    std::vector<std::size_t> calls;
    AppendGenerated(v, 40, [&calls](std::size_t i) {
      calls.push_back(i);
      const int k = static_cast<int>(i);
      return std::array<int, 3>{k, 2 * k, 3 * k};
    });
    ASSERT_EQ(v.size(), 41u) << room;
    EXPECT_EQ(v[0], (std::array<int, 3>{7, 7, 7}));
    for (std::size_t i = 0; i < 40; ++i) {
      EXPECT_EQ(calls[i], i);
      const int k = static_cast<int>(i);
      EXPECT_EQ(v[i + 1], (std::array<int, 3>{k, 2 * k, 3 * k}));
    }
    EXPECT_EQ(calls.size(), 40u);
    // With room enough the elements go straight into the reserved memory.
    if (room) {
      EXPECT_EQ(v.data(), before);
    }
  }
}

TEST(AppendGenerated, NothingToAppendCallsNothing) {
  std::vector<std::string> v{"kept"};
  int calls = 0;
  AppendGenerated(v, 0, [&calls](std::size_t) { return std::to_string(++calls); });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(v, std::vector<std::string>{"kept"});
  // Elements that own memory are constructed, not assigned over nothing.
  AppendGenerated(v, 3, [](std::size_t i) { return std::string(100 + i, 'x'); });
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[3].size(), 102u);
}

}  // namespace
}  // namespace vorlan::support
