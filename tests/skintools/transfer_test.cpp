#include "skintools/transfer.h"

#include <gtest/gtest.h>

#include "fake_target.h"

namespace vorlan::skintools {
namespace {

using testing::FakeTarget;
using testing::Record;
using testing::Shown;
using Bones = std::vector<std::pair<std::string, float>>;

// Three saved vertices along x, each on its own bone.
SkdData Line(bool selected = false) {
  SkdData d;
  d.selectedOnly = selected;
  d.records.push_back(Record({0, 0, 0}, {{"A", 1.0f}}));
  d.records.push_back(Record({1, 0, 0}, {{"B", 0.75f}, {"A", 0.25f}}));
  d.records.push_back(Record({2, 0, 0}, {{"C", 1.0f}}));
  return d;
}

TEST(ApplyPhysique, ExactMatchCopiesRecordByRecordWhateverTheRadioSays) {
  for (uint32_t radio : {0u, kApplyNearest, kApplyInterpolate}) {
    FakeTarget t({{0.002f, 0, 0}, {1, -0.003f, 0}, {2, 0, 0.001f}});
    Shown shown;
    ASSERT_TRUE(ApplyPhysique(Line(), t, {.flags = kApplyExact | radio}, shown.Host()));
    EXPECT_EQ(t.written[1].bones, (Bones{{"B", 0.75f}, {"A", 0.25f}}));
    EXPECT_EQ(t.order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(shown.progress, (std::vector<int>{0, 33, 66}));
    EXPECT_TRUE(shown.messages.empty());
    EXPECT_EQ(t.skinOpens, t.skinCloses);
  }
}

TEST(ApplyPhysique, AVertexMovedBeyondTheToleranceFallsBackToTheRadio) {
  // Vertex 0 is 0.004 away from its record and vertex 1 sits on record 2: exact fails.
  FakeTarget nearest({{0.004f, 0, 0}, {2, 0, 0}, {1.1f, 0, 0}});
  ASSERT_TRUE(ApplyPhysique(Line(), nearest, {.flags = kApplyExact | kApplyNearest}, {}));
  EXPECT_EQ(nearest.written[0].bones, (Bones{{"A", 1.0f}}));
  EXPECT_EQ(nearest.written[1].bones, (Bones{{"C", 1.0f}}));
  EXPECT_EQ(nearest.written[2].bones, (Bones{{"B", 0.75f}, {"A", 0.25f}}));

  FakeTarget interpolated({{0.004f, 0, 0}, {2, 0, 0}, {1.1f, 0, 0}});
  ASSERT_TRUE(ApplyPhysique(Line(), interpolated, {.flags = kApplyExact | kApplyInterpolate}, {}));
  EXPECT_EQ(interpolated.written[1].bones, (Bones{{"C", 1.0f}}));  // on a saved vertex
  EXPECT_EQ(interpolated.written[0].bones.size(), 1u);             // only record 0 within 2 x 0.004
  EXPECT_EQ(interpolated.written[2].bones.front().first, "B");
}

TEST(ApplyPhysique, NeitherRadioAppliesNothingAndAnEmptyListNeither) {
  FakeTarget t({{5, 5, 5}});
  Shown shown;
  EXPECT_FALSE(ApplyPhysique(Line(), t, {.flags = kApplyExact}, shown.Host()));
  EXPECT_FALSE(ApplyPhysique(Line(), t, {.flags = 0}, shown.Host()));
  EXPECT_FALSE(ApplyPhysique(SkdData{}, t, {}, shown.Host()));
  EXPECT_TRUE(t.written.empty());
  EXPECT_TRUE(shown.messages.empty());
}

TEST(ApplyPhysique, SelectedFilesUseTheMaximumDistanceAndIgnoreTheRadio) {
  SkdData sel = Line(true);
  // Target vertices: near record 0, exactly on record 2, record 1 far from all.
  FakeTarget t({{0.04f, 0, 0}, {2, 0, 0}, {1, 0.2f, 0}});
  ASSERT_TRUE(ApplyPhysique(sel, t, {.flags = kApplyInterpolate, .maxDistance = 0.05f}, {}));
  EXPECT_EQ(t.written.size(), 2u);
  EXPECT_EQ(t.written[0].bones, (Bones{{"A", 1.0f}}));
  EXPECT_EQ(t.written[1].bones, (Bones{{"C", 1.0f}}));

  // With "Exact Match" the selection is matched vertex by vertex; a record without an
  // equal vertex ends the exact pass and the nearest pass runs.
  FakeTarget exact({{0, 0, 0}, {1, 0, 0.0025f}, {2, 0, 0}, {1, 0, 0}});
  ASSERT_TRUE(ApplyPhysique(sel, exact, {.flags = kApplyExact}, {}));
  EXPECT_EQ(exact.order, (std::vector<int>{0, 1, 2}));  // lowest index within 0.003
  EXPECT_EQ(exact.written[1].bones, (Bones{{"B", 0.75f}, {"A", 0.25f}}));
}

TEST(ApplyPhysique, MissingMeshOrSkinFailsTheMethod) {
  FakeTarget noSkin({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  noSkin.hasSkin = false;
  EXPECT_FALSE(ApplyPhysique(Line(), noSkin, {}, {}));
  EXPECT_EQ(noSkin.skinOpens, 2);  // exact, then nearest
  EXPECT_EQ(noSkin.skinCloses, 0);
  FakeTarget noMesh({});
  noMesh.hasMesh = false;
  EXPECT_FALSE(ApplyPhysique(Line(), noMesh, {.flags = kApplyInterpolate}, {}));
  EXPECT_EQ(noMesh.meshRequests, 2);  // the coverage, then the method
}

TEST(Transfer, MissingVertexInterfaces) {
  Shown shown;
  FakeTarget exact({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  exact.missing = {1};
  EXPECT_FALSE(ApplyExactMatch(Line(), exact, shown.Host()));
  EXPECT_EQ(exact.order, (std::vector<int>{0}));
  ASSERT_EQ(shown.messages, (std::vector<std::string>{"ApplyExactMatch(): vi = NULL"}));

  shown.messages.clear();
  FakeTarget nearest({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  nearest.missing = {1, 2};
  EXPECT_TRUE(ApplyFindNearest(Line(), nearest, shown.Host()));
  EXPECT_EQ(nearest.written[3].bones, (Bones{{"C", 1.0f}}));
  EXPECT_TRUE(ApplyInterpolateWeights(Line(), nearest, shown.Host(), 10, 2));
  EXPECT_EQ(shown.messages, (std::vector<std::string>{"ApplyFindNearest(): vi = NULL",
                                                      "ApplyInterpolateWeights(): vi = NULL"}));
  // At (3, 0, 0) records C (1 away) and B (2 away) are kept: C 1/1, B .75/2, A .25/2.
  EXPECT_EQ(nearest.written[3].bones,
            (Bones{{"C", 1.0f / 1.5f}, {"B", 0.375f / 1.5f}, {"A", 0.125f / 1.5f}}));
  EXPECT_FALSE(nearest.written.count(1));

  shown.messages.clear();
  FakeTarget sel({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  sel.missing = {2};
  EXPECT_FALSE(ApplyNearest_Selection(Line(true), sel, shown.Host(), 0.05f));
  EXPECT_FALSE(ApplyExact_Selection(Line(true), sel, shown.Host()));
  EXPECT_EQ(shown.messages, (std::vector<std::string>{"ApplyExact_Selection(): vi = NULL",
                                                      "ApplyExact_Selection(): vi = NULL"}));
}

TEST(Transfer, TheSkinsVertexCountLimitsTheNearestMethods) {
  FakeTarget t({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  t.skinVertices = 2;
  EXPECT_TRUE(ApplyFindNearest(Line(), t, {}));
  EXPECT_EQ(t.order, (std::vector<int>{0, 1}));
  t.skinVertices = 5;
  t.order.clear();
  EXPECT_TRUE(ApplyInterpolateWeights(Line(), t, {}, 4, 2));
  EXPECT_EQ(t.order, (std::vector<int>{0, 1, 2}));
}

TEST(Interpolation, TwoRecordsAtOneAndOneAndAHalf) {
  SkdData d;
  d.records.push_back(Record({1, 0, 0}, {{"A", 1.0f}}));
  d.records.push_back(Record({0, 1.5f, 0}, {{"B", 1.0f}}));
  d.records.push_back(Record({0, 0, 3.5f}, {{"C", 1.0f}}));  // beyond 2 x 1.0: cut
  FakeTarget t({{0, 0, 0}});
  ASSERT_TRUE(ApplyInterpolateWeights(d, t, {}, 100, 2.0f));
  float a = 1.0f / 1.0f, b = 1.0f / 1.5f;
  EXPECT_EQ(t.written[0].bones, (Bones{{"A", a / (a + b)}, {"B", b / (a + b)}}));
}

TEST(Interpolation, FourBonesKeepTheThreeLargestSumsRenormalized) {
  SkdData d;
  d.records.push_back(Record({1, 0, 0}, {{"D", 0.1f}, {"A", 0.5f}, {"B", 0.4f}}));
  d.records.push_back(Record({0, 1, 0}, {{"C", 0.45f}, {"B", 0.05f}, {"E", 0.5f}}));
  FakeTarget t({{0, 0, 0}});
  ASSERT_TRUE(ApplyInterpolateWeights(d, t, {}, 10, 2.0f));
  // Sums D .1, A .5, B .45, C .45, E .5: E ties A and comes after it; B and C tie, B first.
  float total = 0.5f + 0.5f + (0.4f + 0.05f);
  ASSERT_EQ(t.written[0].bones.size(), 3u);
  EXPECT_EQ(t.written[0].bones[0].first, "A");
  EXPECT_EQ(t.written[0].bones[1].first, "E");
  EXPECT_EQ(t.written[0].bones[2].first, "B");
  EXPECT_FLOAT_EQ(t.written[0].bones[0].second, 0.5f / total);
  EXPECT_FLOAT_EQ(t.written[0].bones[0].second + t.written[0].bones[1].second + t.written[0].bones[2].second,
                  1.0f);
}

TEST(Interpolation, AVertexOnASavedPositionTakesItsWeightsAndOneWithoutCandidatesIsOnlyLocked) {
  SkdData d;
  d.records.push_back(Record({1, 0, 0}, {{"A", 0.6f}, {"B", 0.3f}, {"C", 0.05f}, {"D", 0.05f}}));
  d.records.push_back(Record({1, 0, 0}, {{"X", 1.0f}}));
  d.records.push_back(Record({1.5f, 0, 0}, {{"Y", 1.0f}}));
  FakeTarget t({{1, 0, 0}, {50, 0, 0}});
  ASSERT_TRUE(ApplyInterpolateWeights(d, t, {}, 5, 2.0f));
  EXPECT_EQ(t.written[0].bones, (Bones{{"A", 0.6f}, {"B", 0.3f}, {"C", 0.05f}, {"D", 0.05f}}));
  EXPECT_TRUE(t.written[1].bones.empty());
  EXPECT_EQ(t.written[1].writes, 1);
}

TEST(Assignment, AWeightOfExactlyTheFloorIsNotAssigned) {
  SkdData d;
  d.records.push_back(Record({0, 0, 0}, {{"A", 0.0001f}, {"B", 0.00011f}, {"C", 0.99979f}}));
  FakeTarget t({{0, 0, 0}});
  ASSERT_TRUE(ApplyExactMatch(d, t, {}));
  EXPECT_EQ(t.written[0].bones, (Bones{{"B", 0.00011f}, {"C", 0.99979f}}));
}

TEST(Progress, SendsEachPercentageOnce) {
  Shown shown;
  TransferHost host = shown.Host();
  ProgressSteps steps(host, 250);
  for (std::size_t i = 0; i < 250; ++i) steps.Step(i);
  ASSERT_EQ(shown.progress.size(), 100u);
  EXPECT_EQ(shown.progress.front(), 0);
  EXPECT_EQ(shown.progress.back(), 99);
}

}  // namespace
}  // namespace vorlan::skintools
