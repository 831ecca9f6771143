#include "shoteditor/shd_file.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vorlan::shoteditor {
namespace {

// Bytes written out by hand, independent of the writer under test.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& I(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  Bytes& F(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return I(static_cast<int32_t>(u));
  }
  Bytes& Text(const std::string& s, std::size_t field) {
    b.insert(b.end(), s.begin(), s.end());
    b.insert(b.end(), field - s.size(), 0);
    return *this;
  }
  Bytes& Raw(std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
    return *this;
  }
};

Bytes Header(int32_t version, int32_t blocks) {
  Bytes h;
  h.Raw({'S', 'H', 'D', 0}).I(36).I(version).I(blocks).I(0).I(0).I(38400).I(160).I(30);
  return h;
}

ShdContent SampleContent() {
  ShdContent c;
  c.globalBeginTicks = 0;
  c.globalEndTicks = 38400;
  c.hideWeapon = true;
  c.commands.push_back(
      {.itemName = "Cam1", .description = "", .begin = 0, .length = 100, .end = 100, .colour = 0x112233});
  c.commands.push_back(
      {.itemName = "Cam2", .description = "hi", .begin = 100, .length = 140, .end = 240, .colour = 0xE0});
  AnimationInfoRow row;
  row.checked = true;
  row.startTime = 10;
  row.matrix[12] = 1;
  row.matrix[13] = 2;
  row.matrix[14] = 3;
  row.dummyName = "D";
  row.entityName = "E";
  row.path = "a\\b.stg";
  c.rows.push_back(row);
  return c;
}

TEST(ShdFile, WritesVersionThreeByteForByte) {
  Bytes want = Header(3, 3);
  want.I(3).I(16).I(1).I(1);       // options
  want.I(1).I(12 + 57 + 59).I(2);  // commands: an empty description takes 57 bytes
  want.I(57).I(0).I(100).I(100).I(0x112233).I(1).Text("Cam1", 32).Raw({0});
  want.I(59).I(100).I(240).I(140).I(0xE0).I(3).Text("Cam2", 32).Raw({'h', 'i', 0});
  want.I(2).I(12 + 400).I(1);  // animation rows
  want.I(400).I(1).I(10);
  for (float f : {1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 0.f, 1.f, 2.f, 3.f, 1.f}) want.F(f);
  want.Text("D", 32).Text("E", 32).Text("a\\b.stg", 260);
  EXPECT_EQ(WriteShd(SampleContent()), want.b);
}

TEST(ShdFile, TwoCommandsWithoutRowsHaveTheDocumentedSize) {
  ShdContent c = SampleContent();
  c.rows.clear();
  c.commands[0].description = "abc";
  EXPECT_EQ(WriteShd(c).size(), 36u + 16 + 12 + (57 + 3) + (57 + 2) + 12);
}

TEST(ShdFile, LongTextsAreCutToTheirFields) {
  ShdContent c;
  c.commands.push_back({.itemName = std::string(40, 'n'), .description = std::string(300, 'd')});
  AnimationInfoRow row;
  row.dummyName = std::string(32, 'x');
  row.path = std::string(300, 'p');
  c.rows.push_back(row);
  ShdReadResult r = ReadShd(WriteShd(c));
  ASSERT_TRUE(r) << r.detail;
  const ShotCommand& cmd = r.file.blocks[1].commands.at(0);
  EXPECT_EQ(cmd.itemName, std::string(31, 'n'));
  EXPECT_EQ(cmd.description, std::string(255, 'd'));
  const AnimationInfoRow& back = r.file.blocks[2].rows.at(0);
  EXPECT_EQ(back.dummyName, std::string(31, 'x'));
  EXPECT_EQ(back.path, std::string(259, 'p'));
}

TEST(ShdFile, ReadsWhatItWritesInFileOrder) {
  ShdReadResult r = ReadShd(WriteShd(SampleContent()));
  ASSERT_TRUE(r) << r.detail;
  EXPECT_EQ(r.file.version, 3);
  EXPECT_EQ(r.file.globalEndTicks, 38400);
  EXPECT_EQ(r.file.ticksPerFrame, 160);
  EXPECT_EQ(r.file.frameRate, 30);
  ASSERT_EQ(r.file.blocks.size(), 3u);
  EXPECT_EQ(r.file.blocks[0].id, kOptionsBlock);
  EXPECT_EQ(r.file.blocks[0].hideWeapon, 1);
  ASSERT_EQ(r.file.blocks[1].commands.size(), 2u);
  const ShotCommand& c = r.file.blocks[1].commands[1];
  EXPECT_EQ(c.itemName, "Cam2");
  EXPECT_EQ(c.description, "hi");
  EXPECT_EQ(c.begin, 100);
  EXPECT_EQ(c.end, 240);
  EXPECT_EQ(c.length, 140);
  EXPECT_EQ(c.colour, 0xE0u);
  EXPECT_EQ(r.file.blocks[2].rows, SampleContent().rows);
}

TEST(ShdFile, ReadsAHandMadeVersionTwoFileWithRowsUnchecked) {
  Bytes f = Header(2, 2);
  f.I(2).I(12 + 2 * 396).I(2);
  for (int k = 0; k < 2; ++k) {
    f.I(396).I(5 + k);
    for (int i = 0; i < 16; ++i) f.F(i % 5 == 0 ? 1.f : 0.f);
    f.Text("Dummy" + std::to_string(k), 32).Text("Hero", 32).Text("Anims\\run.stg", 260);
  }
  f.I(1).I(12 + 60).I(1);
  f.I(60).I(-5).I(7).I(12).I(0x5050C0).I(4).Text("CamA", 32).Raw({'x', 'y', 'z', 0});
  ShdReadResult r = ReadShd(f.b);
  ASSERT_TRUE(r) << r.detail;
  EXPECT_EQ(r.file.version, 2);
  ASSERT_EQ(r.file.blocks.size(), 2u);
  ASSERT_EQ(r.file.blocks[0].rows.size(), 2u);
  for (const AnimationInfoRow& row : r.file.blocks[0].rows) EXPECT_FALSE(row.checked);
  EXPECT_EQ(r.file.blocks[0].rows[1].startTime, 6);
  EXPECT_EQ(r.file.blocks[0].rows[1].dummyName, "Dummy1");
  EXPECT_EQ(r.file.blocks[0].rows[1].path, "Anims\\run.stg");
  EXPECT_EQ(r.file.blocks[0].rows[0].matrix[5], 1.f);
  const ShotCommand& c = r.file.blocks[1].commands.at(0);
  EXPECT_EQ(c.begin, -5);
  EXPECT_EQ(c.length, 12) << "the stored length, not end - begin";
  EXPECT_EQ(c.description, "xyz");
}

TEST(ShdFile, SkipsUnknownBlocksAndStepsEntriesByTheirSize) {
  Bytes f = Header(3, 3);
  f.I(9).I(12).I(77);  // a block of another kind
  // An entry larger than its description needs is stepped over by its own size.
  f.I(1).I(12 + 64).I(1);
  f.I(64).I(0).I(1).I(1).I(0).I(1).Text("Cam", 32).Raw({0, 9, 9, 9, 9, 9, 9, 9});
  f.I(3).I(16).I(1).I(0);
  ShdReadResult r = ReadShd(f.b);
  ASSERT_TRUE(r) << r.detail;
  ASSERT_EQ(r.file.blocks.size(), 2u);
  EXPECT_EQ(r.file.blocks[0].commands.at(0).itemName, "Cam");
  EXPECT_EQ(r.file.blocks[1].id, kOptionsBlock);
}

TEST(ShdFile, TellsAForeignFileFromADamagedOne) {
  EXPECT_EQ(ReadShd({}).status, ShdReadResult::Status::WrongMagic);
  std::vector<uint8_t> other = {'S', 'H', 'X', 0, 36, 0, 0, 0};
  EXPECT_EQ(ReadShd(other).status, ShdReadResult::Status::WrongMagic);
  std::vector<uint8_t> shortHeader = {'S', 'H', 'D', 0, 36, 0, 0, 0};
  EXPECT_EQ(ReadShd(shortHeader).status, ShdReadResult::Status::Corrupted);
}

TEST(ShdFile, RefusesDamagedFilesWholly) {
  std::vector<uint8_t> good = WriteShd(SampleContent());
  const std::size_t commands = 36 + 16;
  const std::size_t firstEntry = commands + 12;
  const std::size_t rows = firstEntry + 57 + 59;
  auto poke = [&](std::size_t at, int32_t v) {
    std::vector<uint8_t> b = good;
    for (int i = 0; i < 4; ++i)
      b[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(uint32_t(v) >> (8 * i));
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  std::vector<uint8_t> noTerminator = good;
  std::memset(noTerminator.data() + firstEntry + 24, 'N', 32);
  std::vector<uint8_t> descNoTerminator = good;
  descNoTerminator[firstEntry + 57 + 56 + 2] = 'x';
  std::vector<uint8_t> pathNoTerminator = good;
  std::memset(pathNoTerminator.data() + rows + 12 + 140, 'p', 260);
  const Case cases[] = {
      {"a file cut short", truncated},
      {"more blocks than the file holds", poke(12, 4)},
      {"a first block past the end", poke(4, 100000)},
      {"a negative block count", poke(12, -1)},
      {"a block size past the end", poke(commands + 4, 100000)},
      {"a block smaller than its head", poke(36 + 4, 4)},
      {"a command count that does not fit", poke(commands + 8, 1000)},
      {"a negative command count", poke(commands + 8, -2)},
      {"an entry size past its block", poke(firstEntry, 5000)},
      {"an entry too small for its description", poke(firstEntry, 40)},
      {"a description length past its entry", poke(firstEntry + 20, 200)},
      {"a zero description length", poke(firstEntry + 20, 0)},
      {"an item name without terminator", noTerminator},
      {"a description without terminator", descNoTerminator},
      {"a row count that does not fit", poke(rows + 8, 3)},
      {"a row smaller than a row", poke(rows + 12, 12)},
      {"a path without terminator", pathNoTerminator},
  };
  for (const Case& c : cases) {
    ShdReadResult r = ReadShd(c.bytes);
    EXPECT_EQ(r.status, ShdReadResult::Status::Corrupted) << c.what;
    EXPECT_TRUE(r.file.blocks.empty()) << c.what;
  }
}

}  // namespace
}  // namespace vorlan::shoteditor
