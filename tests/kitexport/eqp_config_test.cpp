#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kitexport/eqp_file.h"
#include "kitexport/index_file.h"
#include "kitexport/kit_config.h"
#include "support/file_io.h"

namespace vorlan::kitexport {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s, bool zero = true) {
  Bytes b(s.begin(), s.end());
  if (zero) b.push_back(0);
  return b;
}

TEST(EqpFile, GoldenBytesOfABoneNameOfTwelveCharacters) {
  host::Matrix3 m({0, 1, 0}, {-1, 0, 0}, {0, 0, 2}, {2, -0.5f, 10});
  Bytes expected = Cat({
      {0x45, 0x51, 0x50, 0x53, 2, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F},
      {0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0},  // X axis (0, 1, 0), 0
      {0x00, 0x00, 0x80, 0xBF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // Y axis (-1, 0, 0), 0
      {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0},  // Z axis (0, 0, 2), 0
      {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x20, 0x41, 0x00, 0x00, 0x80, 0x3F},
      {13, 0, 0, 0},
      Text("Bip01 R Hand"),
  });
  Bytes got = EncodeEqp(m, "Bip01 R Hand");
  EXPECT_EQ(got.size(), 97u);
  EXPECT_EQ(got, expected);

  auto back = DecodeEqp(got);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->boneName, "Bip01 R Hand");
  EXPECT_EQ(back->placement, m);
}

TEST(EqpFile, DecoderRefusesDamagedFiles) {
  Bytes good = EncodeEqp(host::Matrix3(), "Bip01 Head");
  std::string why;
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_FALSE(DecodeEqp(std::span(good.data(), cut), &why)) << "cut at " << cut;
  Bytes badMagic = good;
  badMagic[0] = 'e';
  EXPECT_FALSE(DecodeEqp(badMagic, &why));
  Bytes hugeLength = good;
  hugeLength[80] = 0xFF, hugeLength[81] = 0xFF, hugeLength[82] = 0xFF, hugeLength[83] = 0x7F;
  EXPECT_FALSE(DecodeEqp(hugeLength, &why));
  Bytes unterminated = good;
  unterminated.back() = 'x';
  EXPECT_FALSE(DecodeEqp(unterminated, &why));
  Bytes negative = good;
  negative[80] = 0xFF, negative[81] = 0xFF, negative[82] = 0xFF, negative[83] = 0xFF;
  EXPECT_FALSE(DecodeEqp(negative, &why));
}

TEST(KitConfig, GoldenBytesKeepTheBackslashForm) {
  KitSettings s{.enginePath = "D:\\Vexn\\Data",
                .exportPath = "G\\Equipments",
                .zefPath = "G\\Objects\\",
                .generateIndex = true,
                .rewrite = false};
  Bytes expected = Cat({{3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
                        Text("D:\\Vexn\\Data\\"),
                        Text("G\\Objects\\"),
                        Text("G\\Equipments\\")});
  EXPECT_EQ(EncodeKitConfig(s), expected);

  KitSettings empty;
  EXPECT_EQ(EncodeKitConfig(empty), Bytes({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  KitSettings back;
  ASSERT_EQ(DecodeKitConfig(expected, back), KitConfigStatus::Ok);
  EXPECT_EQ(back.enginePath, "D:\\Vexn\\Data\\");
  EXPECT_EQ(back.zefPath, "G\\Objects\\");
  EXPECT_EQ(back.exportPath, "G\\Equipments\\");
  EXPECT_TRUE(back.generateIndex);
  EXPECT_FALSE(back.rewrite);
}

TEST(KitConfig, ShortOrUnterminatedFilesGiveTheEmptyState) {
  Bytes good = EncodeKitConfig({.enginePath = "E", .exportPath = "X", .zefPath = "Z", .rewrite = true});
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    KitSettings s{.enginePath = "keep me", .rewrite = true};
    KitConfigStatus status = DecodeKitConfig(std::span(good.data(), cut), s);
    if (cut >= 4) {
      EXPECT_EQ(status, KitConfigStatus::Damaged) << cut;
      EXPECT_EQ(s, KitSettings{}) << cut;
    }
  }
  KitSettings s;
  Bytes v2 = good;
  v2[0] = 2;
  EXPECT_EQ(DecodeKitConfig(v2, s), KitConfigStatus::OtherVersion);
}

class KitConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "kitExport_" + std::to_string(::getpid()) + ".cfg";
    std::remove(path_.c_str());
  }
  void TearDown() override { std::remove(path_.c_str()); }
  Bytes OnDisk() {
    Bytes b;
    support::ReadWholeFile(path_, b);
    return b;
  }
  std::string path_;
};

TEST_F(KitConfigFile, MissingFileIsWrittenFromThePanelFirst) {
  KitSettings panel{.enginePath = "D:\\Data", .rewrite = true};
  KitSettings loaded = LoadKitConfig(path_, panel);
  EXPECT_EQ(loaded.enginePath, "D:\\Data\\");
  EXPECT_TRUE(loaded.rewrite);
  EXPECT_EQ(OnDisk(), EncodeKitConfig(panel));
}

TEST_F(KitConfigFile, OtherVersionIsReplacedByThePanelState) {
  Bytes old = EncodeKitConfig({.enginePath = "old"});
  old[0] = 2;
  ASSERT_TRUE(support::WriteFileAtomic(path_, old));
  KitSettings panel{.exportPath = "G\\Eq"};
  KitSettings loaded = LoadKitConfig(path_, panel);
  EXPECT_EQ(loaded.exportPath, "G\\Eq\\");
  EXPECT_EQ(loaded.enginePath, "");
  EXPECT_EQ(OnDisk(), EncodeKitConfig(panel));
}

TEST_F(KitConfigFile, DamagedFileLoadsEmptyAndSaveRoundTrips) {
  ASSERT_TRUE(support::WriteFileAtomic(path_, Bytes{3, 0, 0, 0, 1, 0}));
  EXPECT_EQ(LoadKitConfig(path_, {.enginePath = "x"}), KitSettings{});
  KitSettings s{.enginePath = "/data", .exportPath = "eq", .zefPath = "obj", .generateIndex = true};
  ASSERT_TRUE(SaveKitConfig(path_, s));
  KitSettings back = LoadKitConfig(path_, {});
  EXPECT_EQ(back.enginePath, "/data\\");
  EXPECT_TRUE(back.generateIndex);
}

TEST(KitPaths, JoiningAndRelativePaths) {
  EXPECT_EQ(JoinDir("D:\\Vexn\\Data", "G\\Equipments"), "D:\\Vexn\\Data\\G\\Equipments\\");
  EXPECT_EQ(JoinDir("D:\\Vexn\\Data\\", ""), "D:\\Vexn\\Data\\");
  EXPECT_EQ(JoinDir("", "G\\X\\"), "G\\X\\");
  EXPECT_EQ(RelativeToEngine("D:\\Vexn\\Data\\G\\Equipments\\sword.eqp", "D:\\Vexn\\Data"),
            "G\\Equipments\\sword.eqp");
  // Only the length counts, as the engine's tools always did.
  EXPECT_EQ(RelativeToEngine("E:\\Else\\Data\\G\\a.zef", "D:\\Vexn\\Data"), "G\\a.zef");
  EXPECT_EQ(RelativeToEngine("G\\a.zef", ""), "G\\a.zef");
  EXPECT_EQ(RelativeToEngine("D:\\", "D:\\Vexn\\Data"), "");
  EXPECT_EQ(DoubleBackslashes("G\\Equipments\\sword.eqp"), "G\\\\Equipments\\\\sword.eqp");
  EXPECT_EQ(IndexFileName("hero.final.max"), "hero.ini");
  EXPECT_EQ(IndexFileName("hero"), "hero.ini");
  EXPECT_EQ(IndexFileName(""), ".ini");
}

TEST(KitPaths, PickedFolderMustLieUnderTheEnginePathCaseSensitively) {
  std::string rel = "unchanged";
  EXPECT_TRUE(RelativeFromPicked("D:\\Vexn\\Data\\G\\Objects", "D:\\Vexn\\Data", rel));
  EXPECT_EQ(rel, "G\\Objects");
  rel = "unchanged";
  EXPECT_FALSE(RelativeFromPicked("D:\\vexn\\data\\G\\Objects", "D:\\Vexn\\Data", rel));
  EXPECT_FALSE(RelativeFromPicked("D:\\Vexn\\DataX\\G", "D:\\Vexn\\Data", rel));
  EXPECT_EQ(rel, "unchanged");
  EXPECT_TRUE(RelativeFromPicked("/any/folder", "", rel));
  EXPECT_EQ(rel, "\\any\\folder");
  // A folder picked on this system against an engine path typed either way.
  EXPECT_TRUE(RelativeFromPicked("/data/vexn/G/Objects", "/data/vexn", rel));
  EXPECT_EQ(rel, "G\\Objects");
  EXPECT_TRUE(RelativeFromPicked("/data/vexn/G", "/data/vexn/", rel));
  EXPECT_FALSE(RelativeFromPicked("/data/Vexn/G", "/data/vexn", rel));
}

TEST(IndexFile, SectionsForOneAndSeveralMatchesAndNoneForNoMatch) {
  IndexFile index("D:\\Vexn\\Data");
  index.AddSection("D:\\Vexn\\Data\\G\\Equipments\\sword.eqp", {"D:\\Vexn\\Data\\G\\Objects\\Sword.zef"});
  index.AddSection("D:\\Vexn\\Data\\G\\Equipments\\lost.eqp", {});
  index.AddSection("D:\\Vexn\\Data\\G\\Equipments\\helm_01.eqp",
                   {"D:\\Vexn\\Data\\G\\Objects\\helm.zef", "D:\\Vexn\\Data\\G\\Objects\\old\\HELM.zef"});
  EXPECT_EQ(index.Sections(), 2);
  EXPECT_EQ(index.Text(),
            "[0]\r\n"
            "zefFile = G\\\\Objects\\\\Sword.zef\r\n"
            "eqpFile = G\\\\Equipments\\\\sword.eqp\r\n\r\n"
            "[1]\r\n"
            "G\\Objects\\helm.zef\r\n"
            "eqpFile = G\\\\Equipments\\\\helm_01.eqp\r\n\r\n");
}

}  // namespace
}  // namespace vorlan::kitexport
