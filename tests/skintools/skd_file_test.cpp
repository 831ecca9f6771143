#include "skintools/skd_file.h"

#include <gtest/gtest.h>

namespace vorlan::skintools {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// A 32-byte name field.
Bytes Name(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.resize(32, 0);
  return b;
}

SkdData TwoVertices() {
  SkdData d;
  d.selectedOnly = true;
  d.records.push_back({7, {1, 2, 3}, {0, 0, 1}, {{1.0f, {0.5f, 0, 0}, "Bip01 Pelvis"}}});
  d.records.push_back(
      {9,
       {-1, 0, 0.5f},
       {0, 1, 0},
       {{0.5f, {1, 0, 0}, "Bip01 Spine"}, {0.25f, {0, 0, 0}, "Bip01 L Thigh"}, {0.25f, {0, 0, 2}, "B"}}});
  return d;
}

TEST(SkdFile, GoldenBytesOfARigidAndABlendedVertex) {
  Bytes expected = Cat({
      {0x73, 0x6B, 0x64, 0x00, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0},
      // vertex 7 at (1, 2, 3), normal (0, 0, 1), one bone
      {7, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40},
      {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 1, 0, 0, 0},
      {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0},
      Name("Bip01 Pelvis"),
      // vertex 9 at (-1, 0, 0.5), normal (0, 1, 0), three bones
      {9, 0, 0, 0, 0x00, 0x00, 0x80, 0xBF, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x3F},
      {0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0, 3, 0, 0, 0},
      {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0},
      Name("Bip01 Spine"),
      {0x00, 0x00, 0x80, 0x3E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      Name("Bip01 L Thigh"),
      {0x00, 0x00, 0x80, 0x3E, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40},
      Name("B"),
  });
  Bytes got = EncodeSkd(TwoVertices());
  ASSERT_EQ(got.size(), 16u + 80u + 176u);
  EXPECT_EQ(got, expected);

  SkdData back;
  ASSERT_EQ(DecodeSkd(got, back), SkdStatus::Ok);
  EXPECT_TRUE(back.selectedOnly);
  EXPECT_EQ(back.records, TwoVertices().records);
}

TEST(SkdFile, RefusesOtherMagicVersionAndAnEmptyFile) {
  Bytes good = EncodeSkd(TwoVertices());
  SkdData d;
  Bytes v2 = good;
  v2[4] = 2;
  EXPECT_EQ(DecodeSkd(v2, d), SkdStatus::WrongVersion);
  Bytes capitals = good;
  capitals[0] = 'S', capitals[1] = 'K', capitals[2] = 'D';
  EXPECT_EQ(DecodeSkd(capitals, d), SkdStatus::WrongVersion);
  // A save of "selected only" with nothing selected writes a count of 0: refused on load.
  SkdData none;
  none.selectedOnly = true;
  Bytes empty = EncodeSkd(none);
  EXPECT_EQ(empty.size(), 16u);
  EXPECT_EQ(DecodeSkd(empty, d), SkdStatus::WrongVersion);
  EXPECT_TRUE(d.records.empty());
  for (std::size_t cut = 0; cut < 16; ++cut)
    EXPECT_EQ(DecodeSkd(std::span(good.data(), cut), d), SkdStatus::WrongVersion);
}

TEST(SkdFile, MergesRepeatedBonesOfOneVertexByExactName) {
  SkdData d;
  d.records.push_back(
      {0, {}, {}, {{0.25f, {1, 1, 1}, "Hand"}, {0.25f, {}, "hand"}, {0.5f, {2, 2, 2}, "Hand"}}});
  SkdData back;
  ASSERT_EQ(DecodeSkd(EncodeSkd(d), back), SkdStatus::Ok);
  ASSERT_EQ(back.records[0].bones.size(), 2u);
  EXPECT_EQ(back.records[0].bones[0].name, "Hand");
  EXPECT_EQ(back.records[0].bones[0].weight, 0.75f);
  EXPECT_EQ(back.records[0].bones[0].offset, host::Point3(1, 1, 1));
  EXPECT_EQ(back.records[0].bones[1].name, "hand");
}

TEST(SkdFile, StopsAtTheEndOfAShortFileAndNeverTrustsCounts) {
  Bytes good = EncodeSkd(TwoVertices());
  SkdData d;
  // Cut inside the second record: the first one stays.
  ASSERT_EQ(DecodeSkd(std::span(good.data(), good.size() - 1), d), SkdStatus::Ok);
  EXPECT_EQ(d.records.size(), 1u);
  // A header that promises four billion records over a short file.
  Bytes lying = good;
  lying[8] = lying[9] = lying[10] = lying[11] = 0xFF;
  ASSERT_EQ(DecodeSkd(lying, d), SkdStatus::Ok);
  EXPECT_EQ(d.records.size(), 2u);
  // A bone count beyond the file, or negative, ends the reading there.
  for (uint8_t top : {uint8_t(0x7F), uint8_t(0xFF)}) {
    Bytes bad = good;
    bad[16 + 28 + 3] = top;
    ASSERT_EQ(DecodeSkd(bad, d), SkdStatus::Ok);
    EXPECT_TRUE(d.records.empty());
  }
}

TEST(SkdFile, LongBoneNamesAreCutToTheField) {
  std::string longName(40, 'x');
  EXPECT_FALSE(BoneNameFits(longName));
  EXPECT_TRUE(BoneNameFits(std::string(31, 'x')));
  SkdData d;
  d.records.push_back({0, {}, {}, {{1.0f, {}, longName}}});
  SkdData back;
  ASSERT_EQ(DecodeSkd(EncodeSkd(d), back), SkdStatus::Ok);
  EXPECT_EQ(back.records[0].bones[0].name, std::string(31, 'x'));
}

}  // namespace
}  // namespace vorlan::skintools
