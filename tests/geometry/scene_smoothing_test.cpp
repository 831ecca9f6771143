#include "geometry/scene_smoothing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "scene_smoothing_reference.h"
#include "zef_image_builder.h"

namespace vorlan::geometry {
namespace {

using host::Point3;
using zeftest::ImageVertex;
using zeftest::MakeCube;
using zeftest::NormalAt;
using zeftest::RecordingUI;
using zeftest::ZefImageBuilder;

// ---- SMOOTH= entries ------------------------------------------------------------------------

std::vector<int32_t> Groups(const SmoothInfo& info) {
  return {info.groups.begin(), info.groups.begin() + info.groupCount};
}

TEST(SmoothInfoParsing, ReadsAngleAndGroups) {
  SmoothInfo a = ParseSmoothInfo("SMOOTH=0.8,1,4");
  EXPECT_FLOAT_EQ(a.angle, 0.8f);
  EXPECT_EQ(Groups(a), (std::vector<int32_t>{1, 4}));

  SmoothInfo b = ParseSmoothInfo("Phy_weight=3\r\nsmooth= 0.5, -2 ,x7\r\nglass\r\n");
  EXPECT_FLOAT_EQ(b.angle, 0.5f);
  EXPECT_EQ(Groups(b), (std::vector<int32_t>{-2})) << "a field without a number names no group";

  SmoothInfo c = ParseSmoothInfo("SMOOTH=1.2,3\nSMOOTH=9,9");
  EXPECT_FLOAT_EQ(c.angle, 1.2f) << "the first entry counts and a lone line break ends it";
  EXPECT_EQ(Groups(c), (std::vector<int32_t>{3}));
}

TEST(SmoothInfoParsing, MissingOrOversizedEntriesTakeNoPart) {
  EXPECT_FALSE(ParseSmoothInfo("").HasEntry());
  EXPECT_FALSE(ParseSmoothInfo("SMOOTH 1,2\r\nsmoothing=1").HasEntry());
  EXPECT_EQ(ParseSmoothInfo("").angle, kNoSmoothAngle);
  std::string longValue = "SMOOTH=1" + std::string(251, ',') + ",1234";
  ASSERT_GT(longValue.size() - 7, kMaxSmoothValue);
  EXPECT_FALSE(ParseSmoothInfo(longValue).HasEntry());
  std::string justFits = "SMOOTH=1," + std::string(kMaxSmoothValue - 2, '7');
  EXPECT_TRUE(ParseSmoothInfo(justFits).HasEntry());
}

TEST(SmoothInfoParsing, OpenCasesGetSafeValues) {
  SmoothInfo noComma = ParseSmoothInfo("SMOOTH=1.0");
  EXPECT_FLOAT_EQ(noComma.angle, 1.0f);
  EXPECT_EQ(noComma.groupCount, 0u);

  SmoothInfo longFields = ParseSmoothInfo("SMOOTH=1.0471975512,123456789012,-99999999999,000000000005");
  EXPECT_FLOAT_EQ(longFields.angle, 1.0471975512f) << "long fields are read whole";
  EXPECT_EQ(Groups(longFields), (std::vector<int32_t>{INT32_MAX, INT32_MIN, 5}));

  SmoothInfo empties = ParseSmoothInfo("SMOOTH=0.5,,3,");
  EXPECT_EQ(Groups(empties), (std::vector<int32_t>{3}));

  SmoothInfo junk = ParseSmoothInfo("SMOOTH=abc,1e999999,nan");
  EXPECT_EQ(junk.angle, 0.0f);
  EXPECT_EQ(Groups(junk), (std::vector<int32_t>{1}));

  SmoothInfo huge = ParseSmoothInfo("SMOOTH=1e300,1");
  EXPECT_TRUE(std::isinf(huge.angle));
}

// ---- Collecting items from the image ---------------------------------------------------------

TEST(CollectSmoothItems, FindsNodesWithEntriesInFileOrder) {
  ZefImageBuilder b;
  b.BeginNode("wall");  // top-level, smoothed, two parts and a texture channel
  b.BeginGObj("SMOOTH=1.0,7\r\n");
  std::vector<ImageVertex> tri = {{{0, 0, 0}, {0, 0, 1}, {0.5f, 0.5f}},
                                  {{1, 0, 0}, {0, 0, 1}, {0.5f, 0.5f}},
                                  {{0, 1, 0}, {0, 0, 1}, {0.5f, 0.5f}}};
  std::size_t wallPart1 = b.AddGBlock(tri, 0);
  std::size_t wallPart2 = b.AddGBlock(tri, 1);
  b.EndGObj();
  b.AddBlock(0x82, std::vector<uint8_t>(40, 0));  // Physics after the GObj
  b.BeginNode("plain");                           // child without an entry
  b.BeginGObj("Phy_weight=2");
  b.AddGBlock(MakeCube({0, 0, 0}, 1));
  b.EndGObj();
  b.EndNode();
  b.BeginNode("group");  // child without an object: its head is directly followed by a node
  b.BeginNode("roof");
  b.BeginGObj("smooth=0.5,1,2");
  std::size_t roofPart = b.AddGBlock(MakeCube({0, 0, 1}, 1));
  b.EndGObj();
  b.EndNode();
  b.EndNode(1);
  b.EndNode(2);
  b.BeginNode("box helper");  // user properties outside a geometry block do not count
  b.AddBlock(0x35, std::vector<uint8_t>(100, 0));
  std::string props = "SMOOTH=1,1";
  std::vector<uint8_t> up = {static_cast<uint8_t>(props.size() + 1), 0, 0, 0};
  up.insert(up.end(), props.begin(), props.end());
  up.push_back(0);
  b.AddBlock(0x34, up);
  b.AddBlock(0x38, std::vector<uint8_t>(12, 0));
  b.EndNode();
  b.BeginNode("instance");  // a repeated instance carries no parts
  b.BeginGObj("SMOOTH=1,7", 1);
  b.EndGObj();
  b.EndNode();
  auto image = b.Finish(3);

  auto items = CollectSmoothItems(image);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "wall");
  ASSERT_EQ(items[0].parts.size(), 2u);
  EXPECT_EQ(items[0].parts[0].offset, wallPart1);
  EXPECT_EQ(items[0].parts[1].offset, wallPart2);
  EXPECT_EQ(items[0].parts[0].stride, 32u);
  EXPECT_EQ(items[0].vertexCount, 6u);
  EXPECT_EQ(Groups(items[0].info), (std::vector<int32_t>{7}));
  EXPECT_EQ(items[1].name, "roof");
  EXPECT_EQ(items[1].parts[0].offset, roofPart);
  EXPECT_EQ(items[1].vertexCount, 36u);
}

TEST(CollectSmoothItems, RefusesImagesWithoutTheCurrentHeader) {
  ZefImageBuilder b;
  b.BeginNode("wall");
  b.BeginGObj("SMOOTH=1.0,7");
  b.AddGBlock(MakeCube({0, 0, 0}, 1));
  b.EndGObj();
  auto image = b.Finish(1);
  ASSERT_EQ(CollectSmoothItems(image).size(), 1u);

  auto oldVersion = image;
  oldVersion[5] = '0';  // "0008"-like
  EXPECT_TRUE(CollectSmoothItems(oldVersion).empty());
  auto notZef = image;
  notZef[0] = 'X';
  EXPECT_TRUE(CollectSmoothItems(notZef).empty());
  EXPECT_TRUE(CollectSmoothItems({}).empty());
}

// Every truncation and many random corruptions of a valid image: the walk stays inside the
// image and the items it returns describe vertex records inside it.
TEST(CollectSmoothItems, SurvivesTruncatedAndCorruptedImages) {
  ZefImageBuilder b;
  for (int n = 0; n < 3; ++n) {
    b.BeginNode("node" + std::to_string(n));
    b.BeginGObj("SMOOTH=1.0,7");
    b.AddGBlock(MakeCube({float(n), 0, 0}, 1));
    b.EndGObj();
    b.EndNode();
  }
  const auto image = b.Finish(3);
  auto check = [](const std::vector<uint8_t>& img) {
    for (const SmoothItem& item : CollectSmoothItems(img))
      for (const SmoothPart& part : item.parts)
        ASSERT_LE(part.offset + std::size_t(part.count) * part.stride, img.size());
  };
  for (std::size_t len = 0; len <= image.size(); len += 7) check({image.begin(), image.begin() + len});

  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    auto bad = image;
    int edits = 1 + rng() % 4;
    for (int e = 0; e < edits; ++e) {
      std::size_t at = 12304 + rng() % (bad.size() - 12304);
      static const uint32_t kValues[] = {0, 1, 7, 8, 0x30, 0x31, 0x32, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000};
      uint32_t v = rng() % 2 ? kValues[rng() % 10] : static_cast<uint32_t>(rng());
      for (int k = 0; k < 4 && at + k < bad.size(); ++k) bad[at + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    check(bad);
    auto items = CollectSmoothItems(bad);
    zeftest::PlaceAtOrigin(items, bad);
    RecordingUI ui;
    Smooth(items, bad, false, ui);
  }
}

// ---- Smoothing -----------------------------------------------------------------------------

struct TwoCubes {
  std::vector<uint8_t> image;
  std::size_t a = 0, b = 0;  // first vertex records of the two cubes
};

// Cube A spans x 0..1, cube B x 1..2 (or further away by `gap` on every axis).
TwoCubes MakeTwoCubes(const std::string& propsA, const std::string& propsB,
                      const std::string& nameA = "A_wall", const std::string& nameB = "A_roof",
                      float gap = 0.0f) {
  ZefImageBuilder b;
  TwoCubes t;
  b.BeginNode(nameA);
  b.BeginGObj(propsA);
  t.a = b.AddGBlock(MakeCube({0, 0, 0}, 1));
  b.EndGObj();
  b.EndNode();
  b.BeginNode(nameB);
  b.BeginGObj(propsB);
  t.b = b.AddGBlock(MakeCube({1 + gap, gap, gap}, 1));
  b.EndGObj();
  b.EndNode();
  t.image = b.Finish(2);
  return t;
}

int RunSmooth(std::vector<uint8_t>& image, bool lods, RecordingUI& ui) {
  auto items = CollectSmoothItems(image);
  zeftest::PlaceAtOrigin(items, image);
  return Smooth(items, image, lods, ui);
}

int RunSmooth(std::vector<uint8_t>& image, bool lods = false) {
  RecordingUI ui;
  int r = RunSmooth(image, lods, ui);
  EXPECT_TRUE(ui.shown.empty());
  return r;
}

// Expected result when every coincident vertex takes part: the normalised sum of all
// coincident normals within `angle` of a vertex's own (the cube's normals form clusters far
// apart, so "within the angle of the first" and "within the angle of one's own" agree).
std::vector<Point3> ClusterSums(const std::vector<ImageVertex>& all, float angle) {
  std::vector<Point3> out;
  for (const ImageVertex& v : all) {
    Point3 sum{};
    for (const ImageVertex& w : all)
      if (v.position == w.position &&
          std::acos(std::clamp(host::Dot(v.normal, w.normal), -1.0f, 1.0f)) < angle)
        sum += w.normal;
    out.push_back(host::Normalize(sum));
  }
  return out;
}

void ExpectNormals(const std::vector<uint8_t>& image, std::size_t first, const std::vector<Point3>& want,
                   std::size_t begin, const char* what) {
  for (std::size_t i = 0; i < 36; ++i) {
    Point3 got = NormalAt(image, first, i);
    const Point3& w = want[begin + i];
    ASSERT_NEAR(got.x, w.x, 1e-5f) << what << " vertex " << i;
    ASSERT_NEAR(got.y, w.y, 1e-5f) << what << " vertex " << i;
    ASSERT_NEAR(got.z, w.z, 1e-5f) << what << " vertex " << i;
  }
}

TEST(Smooth, TouchingCubesShareNormalsAtTheirCommonFace) {
  TwoCubes t = MakeTwoCubes("SMOOTH=1.0,7", "SMOOTH=1.0,7");
  auto cubeA = MakeCube({0, 0, 0}, 1), cubeB = MakeCube({1, 0, 0}, 1);
  std::vector<ImageVertex> all = cubeA;
  all.insert(all.end(), cubeB.begin(), cubeB.end());
  auto want = ClusterSums(all, 1.0f);
  ASSERT_EQ(RunSmooth(t.image), 0);
  ExpectNormals(t.image, t.a, want, 0, "A");
  ExpectNormals(t.image, t.b, want, 36, "B");

  // The top corners at (1, 0, 1) of both cubes now carry one normal, between the two
  // tilted ones; A's +x side keeps its own normal there.
  std::vector<Point3> top, side;
  for (std::size_t i = 0; i < 36; ++i) {
    if (cubeA[i].position == Point3{1, 0, 1})
      (cubeA[i].normal.z > 0.9f ? top : side).push_back(NormalAt(t.image, t.a, i));
    if (cubeB[i].position == Point3{1, 0, 1} && cubeB[i].normal.z > 0.9f)
      top.push_back(NormalAt(t.image, t.b, i));
  }
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top[0], top[1]);
  EXPECT_EQ(top[0], top[2]);
  EXPECT_LT(std::fabs(top[0].x), std::fabs(cubeA[0].normal.y)) << "between the two tilts";
  for (Point3 n : side) EXPECT_NE(n, top[0]);
}

TEST(Smooth, DifferentGroupsDoNotMerge) {
  TwoCubes t = MakeTwoCubes("SMOOTH=1.0,1", "SMOOTH=1.0,2");
  auto wantA = ClusterSums(MakeCube({0, 0, 0}, 1), 1.0f);
  auto wantB = ClusterSums(MakeCube({1, 0, 0}, 1), 1.0f);
  ASSERT_EQ(RunSmooth(t.image), 0);
  ExpectNormals(t.image, t.a, wantA, 0, "A");
  ExpectNormals(t.image, t.b, wantB, 0, "B");

  TwoCubes shared = MakeTwoCubes("SMOOTH=1.0,1,5", "SMOOTH=1.0,9,5");
  auto before = shared.image;
  ASSERT_EQ(RunSmooth(shared.image), 0);
  EXPECT_NE(before, shared.image) << "one common group is enough";
}

TEST(Smooth, NodesWithoutAnEntryOrGroupsAreUntouched) {
  TwoCubes t = MakeTwoCubes("SMOOTH=1.0,7", "Phy_weight=1");
  std::vector<uint8_t> bBefore(t.image.begin() + t.b, t.image.begin() + t.b + 36 * 24);
  auto wantA = ClusterSums(MakeCube({0, 0, 0}, 1), 1.0f);
  ASSERT_EQ(RunSmooth(t.image), 0);
  ExpectNormals(t.image, t.a, wantA, 0, "A");
  EXPECT_EQ(std::vector<uint8_t>(t.image.begin() + t.b, t.image.begin() + t.b + 36 * 24), bBefore);

  TwoCubes noGroups = MakeTwoCubes("SMOOTH=1.0", "SMOOTH=1.0");
  auto before = noGroups.image;
  ASSERT_EQ(RunSmooth(noGroups.image), 0);
  EXPECT_EQ(noGroups.image, before) << "an entry without groups shares with nobody";
}

// A's top normal at the corner (1, 0, 1) is alone in A, so it changes only when B's
// coincident normals join it.
bool TopCornerMerged(const TwoCubes& t) {
  auto cubeA = MakeCube({0, 0, 0}, 1);
  for (std::size_t i = 0; i < 36; ++i)
    if (cubeA[i].position == Point3{1, 0, 1} && cubeA[i].normal.z > 0.9f)
      return std::fabs(NormalAt(t.image, t.a, i).x - cubeA[i].normal.x) > 0.01f;
  ADD_FAILURE() << "no top corner";
  return false;
}

TEST(Smooth, DistinguishLodsByName) {
  auto merges = [](const std::string& a, const std::string& b) {
    TwoCubes t = MakeTwoCubes("SMOOTH=1.0,7", "SMOOTH=1.0,7", a, b);
    RunSmooth(t.image, true);
    return TopCornerMerged(t);
  };
  EXPECT_TRUE(merges("A_wall", "A_roof"));
  EXPECT_FALSE(merges("A_wall", "B_wall"));
  EXPECT_FALSE(merges("A_wall", "A_wall"));
  EXPECT_FALSE(merges("A_wall", "X_wall")) << "equal from the third character on";
  EXPECT_FALSE(merges("", "")) << "short names compare as empty tails";
  EXPECT_TRUE(merges("A", "Abc"));
  EXPECT_FALSE(merges("A", "Ab")) << "both tails are empty";

  // With the flag on, an object does not merge with itself either.
  TwoCubes alone = MakeTwoCubes("SMOOTH=1.0,7", "SMOOTH=1.0,8", "A_wall", "B_wall");
  auto before = alone.image;
  RunSmooth(alone.image, true);
  EXPECT_EQ(alone.image, before);
}

TEST(Smooth, ToleranceIsStrictlyBelowOneThousandth) {
  auto merges = [](float gap) {
    TwoCubes t = MakeTwoCubes("SMOOTH=1.0,7", "SMOOTH=1.0,7", "A_wall", "A_roof", gap);
    RunSmooth(t.image);
    return TopCornerMerged(t);
  };
  EXPECT_TRUE(merges(0.0009f)) << "0.0009 apart on every axis merge";
  EXPECT_FALSE(merges(0.001f)) << "0.001 apart do not";
  EXPECT_FALSE(merges(0.0011f));
}

TEST(Smooth, NormalsAreMergedInSceneSpaceAndMappedBack) {
  // Cube B is stored in its own space, turned a quarter about z and moved into place: its
  // shared normals must come out equal to those of the unturned layout, turned back.
  auto cubeA = MakeCube({0, 0, 0}, 1), cubeB = MakeCube({1, 0, 0}, 1);
  host::Matrix3 place =
      host::Matrix3::RotationZ(std::numbers::pi_v<float> / 2) * host::Matrix3::Translation({1.5f, 0.5f, 0});
  host::Matrix3 toLocal = host::Inverse(place);
  std::vector<ImageVertex> localB;
  for (ImageVertex v : cubeB) {
    v.position = toLocal.PointTransform(v.position);
    v.normal = toLocal.VectorTransform(v.normal);
    localB.push_back(v);
  }
  ZefImageBuilder b;
  b.BeginNode("A");
  b.BeginGObj("SMOOTH=1.0,7");
  std::size_t offA = b.AddGBlock(cubeA);
  b.EndGObj();
  b.EndNode();
  b.BeginNode("B");
  b.BeginGObj("SMOOTH=1.0,7");
  std::size_t offB = b.AddGBlock(localB);
  b.EndGObj();
  b.EndNode();
  auto image = b.Finish(2);
  auto items = CollectSmoothItems(image);
  zeftest::PlaceAtOrigin(items, image);
  items[1].positionTM = place;
  items[1].directionTM = place;
  items[1].directionTM.NoTrans();
  items[1].worldBox = host::Box3();
  for (const auto& v : cubeB) items[1].worldBox.Include(v.position);
  RecordingUI ui;
  ASSERT_EQ(Smooth(items, image, false, ui), 0);

  std::vector<ImageVertex> all = cubeA;
  all.insert(all.end(), cubeB.begin(), cubeB.end());
  auto want = ClusterSums(all, 1.0f);
  ExpectNormals(image, offA, want, 0, "A");
  for (std::size_t i = 0; i < 36; ++i) want[36 + i] = toLocal.VectorTransform(want[36 + i]);
  ExpectNormals(image, offB, want, 36, "B");
}

TEST(Smooth, ScaledNodesGetUnitNormalsBack) {
  ZefImageBuilder b;
  b.BeginNode("A");
  b.BeginGObj("SMOOTH=1.0,7");
  std::size_t off = b.AddGBlock(MakeCube({0, 0, 0}, 1));
  b.EndGObj();
  b.EndNode();
  auto image = b.Finish(1);
  auto items = CollectSmoothItems(image);
  zeftest::PlaceAtOrigin(items, image);
  items[0].positionTM = host::Matrix3::Scale({100, 100, 100});
  items[0].directionTM = items[0].positionTM;
  items[0].worldBox = {{0, 0, 0}, {100, 100, 100}};
  RecordingUI ui;
  ASSERT_EQ(Smooth(items, image, false, ui), 0);
  for (std::size_t i = 0; i < 36; ++i) EXPECT_NEAR(host::Length(NormalAt(image, off, i)), 1.0f, 1e-6f);
}

TEST(Smooth, TooManyMatchesFailsButLeavesNoMarkedNormals) {
  // A cube merges first; then one triangle (limit 3 x 3 = 9 matches) whose first corner
  // meets ten other corners stops the pass.
  ZefImageBuilder b;
  b.BeginNode("cube");
  b.BeginGObj("SMOOTH=1.0,7");
  std::size_t cube = b.AddGBlock(MakeCube({5, 5, 5}, 1));
  b.EndGObj();
  b.EndNode();
  b.BeginNode("small");
  b.BeginGObj("SMOOTH=1.0,7");
  std::size_t small =
      b.AddGBlock({{{0, 0, 0}, {0, 0, 1}, {}}, {{1, 0, 0}, {0, 0, 1}, {}}, {{0, 1, 0}, {0, 0, 1}, {}}});
  b.EndGObj();
  b.EndNode();
  b.BeginNode("fan");
  b.BeginGObj("SMOOTH=1.0,7");
  std::vector<ImageVertex> fan;
  for (int i = 0; i < 10; ++i) {
    float a = float(i) * 0.6f;
    fan.push_back({{0, 0, 0}, host::Normalize(Point3{0.1f, 0, 1}), {}});
    fan.push_back({{std::cos(a), std::sin(a), 0}, {0, 0, 1}, {}});
    fan.push_back({{std::cos(a + 0.5f), std::sin(a + 0.5f), 0}, {0, 0, 1}, {}});
  }
  std::size_t fanOff = b.AddGBlock(fan);
  b.EndGObj();
  b.EndNode();
  auto image = b.Finish(3);
  auto reference = image;

  RecordingUI ui;
  EXPECT_EQ(RunSmooth(image, false, ui), 1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "Smooth(1): curr > nVerts");
  EXPECT_EQ(ui.shown[0].caption, "err");
  EXPECT_EQ(ui.shown[0].buttons, host::Buttons::Ok);
  // The cube's merged normals were mapped back: unit length, not the length-2 mark.
  for (std::size_t i = 0; i < 36; ++i) EXPECT_NEAR(host::Length(NormalAt(image, cube, i)), 1.0f, 1e-5f);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_LE(host::Length(NormalAt(image, small, i)), 1.0001f);
  for (std::size_t i = 0; i < 30; ++i) EXPECT_LE(host::Length(NormalAt(image, fanOff, i)), 1.0001f);

  auto items = CollectSmoothItems(reference);
  zeftest::PlaceAtOrigin(items, reference);
  RecordingUI refUi;
  EXPECT_EQ(zeftest::RefSmooth(items, reference, false, refUi), 1);
  EXPECT_EQ(reference, image);
}

TEST(Smooth, OddInputsNeverMatchAndNeverCrash) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  ZefImageBuilder b;
  b.BeginNode("odd");
  b.BeginGObj("SMOOTH=3.0,1");
  std::size_t off = b.AddGBlock({{{nan, 0, 0}, {0, 0, 1}, {}},
                                 {{inf, 0, 0}, {0, 0, 1}, {}},
                                 {{0, 0, 0}, {0, 0, 0}, {}},
                                 {{0, 0, 0}, {nan, 0, 1}, {}},
                                 {{1e30f, -1e30f, 3e38f}, {0, 1, 0}, {}},
                                 {{1e30f, -1e30f, 3e38f}, {0, 1, 0}, {}}});
  b.EndGObj();
  b.EndNode();
  auto image = b.Finish(1);
  auto items = CollectSmoothItems(image);
  ASSERT_EQ(items.size(), 1u);
  items[0].worldBox = {{-inf, -inf, -inf}, {inf, inf, inf}};
  auto reference = image;
  RecordingUI ui;
  EXPECT_EQ(Smooth(items, image, false, ui), 0);
  // The two far vertices meet each other and are merged; NaN, infinite and zero cases stay.
  EXPECT_EQ(NormalAt(image, off, 4), (Point3{0, 1, 0}));
  RecordingUI refUi;
  zeftest::RefSmooth(items, reference, false, refUi);
  EXPECT_EQ(reference, image);
}

}  // namespace
}  // namespace vorlan::geometry
