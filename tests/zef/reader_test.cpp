#include "zef/reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "zef/flush.h"
#include "zef/image_builder.h"
#include "zef/inspect.h"

namespace vorlan::zef {
namespace {

using testing::ImageBuilder;
using testing::Vertex;
using testing::Words;

Vertex V(float x, float y, float z) {
  Vertex v;
  v.p[0] = x;
  v.p[1] = y;
  v.p[2] = z;
  v.uv = {{0.5f, 0.25f}};
  return v;
}

std::vector<uint8_t> FlushOrDie(const ImageBuilder& b) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(FlushSceneBuffer(b.buf.Image(), out, nullptr, &error)) << error;
  return out;
}

std::vector<uint8_t> EmptyFile() {
  ImageBuilder b;
  b.Header(0x2A00);
  b.Info("PC\\me", "");
  uint32_t root = b.BeginNode("Scene Root");
  b.MatList();
  b.EndNode(root, 0);
  b.SetNodeCount(1);
  return FlushOrDie(b);
}

// One of each block kind the scene exporter writes, welded as on disk.
std::vector<uint8_t> RichFile() {
  ImageBuilder b;
  b.Header(0x2A00);
  b.Info("PC\\me", "first export", 2);
  uint32_t root = b.BeginNode("Scene Root");
  std::vector<uint8_t> standard = Words({kMatStandard, 20, 1, 0x78786F62, 0});
  b.MatList({standard, standard});
  uint32_t box = b.BeginNode("Box01");
  uint32_t gobj = b.BeginGObj();
  b.Transform({1, 2, 3});
  b.UserProps("a=1\r\nb=\"x\"");
  b.GBlock(1, {V(-1, 0, 0), V(1, 0, 0), V(1, 5, 0), V(-1, 0, 0), V(1, 5, 0), V(-1, 5, 2)});
  b.EndGObj(gobj, 1);
  uint32_t cam = b.BeginNode("Camera01");
  b.Raw(kCamera, Words({testing::F(0.75f), testing::F(1), testing::F(2), testing::F(3), 0, 0, 0}));
  b.EndNode(cam, 0);
  b.EndNode(box, 1);
  uint32_t helper = b.BeginNode("Helper");
  b.Transform();
  b.UserProps("");
  b.Dummy({2, 4, 6});
  b.Raw(0x7777, {1, 2});  // unknown to every reader
  b.EndNode(helper, 0);
  b.EndNode(root, 2);
  b.SetNodeCount(4);
  return FlushOrDie(b);
}

const BlockInfo* Find(const std::vector<BlockInfo>& blocks, uint32_t id) {
  for (const BlockInfo& b : blocks) {
    if (b.id == id) return &b;
    if (const BlockInfo* inner = Find(b.children, id)) return inner;
  }
  return nullptr;
}

std::string Value(const BlockInfo* b, const char* key) {
  if (!b) return "<no block>";
  const Field* f = b->Find(key);
  return f ? f->value : "<no field>";
}

// ---- Structure and fields -----------------------------------------------------------------------

TEST(ZefReader, InspectsAnEmptyExportExactly) {
  EXPECT_EQ(InspectZef(EmptyFile()),
            "ZEF version \"0100\" (0x30303130), host version 0x00002A00, nodes 1, blocks from offset 12304, "
            "file size 12428\n"
            "0x0070 Info size 85 @12304  user \"PC\\\\me\"  comment \"\"  triangles 0\n"
            "0x0001 Node size 39 @12389  name \"Scene Root\"  children 0\n"
            "  0x1000 MatList size 12 @12416  records 0\n");
}

TEST(ZefReader, DecodesTheFieldsOfEveryBlockKind) {
  std::vector<uint8_t> file = RichFile();
  ZefFile parsed;
  ASSERT_EQ(ParseZef(file, parsed), ZefResult::kSuccess);
  EXPECT_TRUE(ValidateZef(file, parsed).empty());
  EXPECT_EQ(parsed.hostVersion, 0x2A00u);
  EXPECT_EQ(parsed.nodeCount, 4u);
  EXPECT_EQ(Value(Find(parsed.blocks, kInfo), "comment"), "first export");
  EXPECT_EQ(Value(Find(parsed.blocks, kMatList), "records"), "2");
  EXPECT_EQ(Find(parsed.blocks, kMatList)->children.size(), 2u);
  EXPECT_EQ(Value(Find(parsed.blocks, kGBlock), "material"), "1");
  EXPECT_EQ(Value(Find(parsed.blocks, kVertices), "count"), "4");
  EXPECT_EQ(Value(Find(parsed.blocks, kVertices), "texture pairs"), "1");
  EXPECT_EQ(Value(Find(parsed.blocks, kFaces), "count"), "2");
  EXPECT_EQ(Value(Find(parsed.blocks, kTransform), "position"), "(1, 2, 3)");
  EXPECT_EQ(Value(Find(parsed.blocks, kTransform), "scale"), "(1, 1, 1)");
  EXPECT_EQ(Value(Find(parsed.blocks, kCamera), "fov"), "0.75");
  EXPECT_EQ(Value(Find(parsed.blocks, kDummy), "box"), "(2, 4, 6)");
  EXPECT_EQ(Value(Find(parsed.blocks, kUserProps), "text"), "a=1\r\nb=\"x\"");

  std::string text = InspectZef(file);
  // Info 84 + 13, root head 27, MatList 12 + 2 x 20; Box01: head 22, GObj 12 + 108 + 23 + 196,
  // camera node 25 + 36.
  EXPECT_NE(text.find("  0x0001 Node size 422 @12480  name \"Box01\"  children 1\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("      0x0034 UserProps size 23 @"), std::string::npos) << text;
  EXPECT_NE(text.find("text \"a=1\\r\\nb=\\\"x\\\"\""), std::string::npos) << text;
  EXPECT_NE(text.find("0x0032 Vertices size 148 @"), std::string::npos) << text;
  EXPECT_NE(text.find("count 4  stride 32  format 0x112  texture pairs 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    0x1001 StandardMaterial size 20 @"), std::string::npos) << text;
  EXPECT_NE(text.find("    0x7777 unknown size 10 @"), std::string::npos) << text;
  EXPECT_EQ(text.find("problems"), std::string::npos) << text;
}

TEST(ZefReader, SummarisesTrianglesBoundsMaterialsAndNames) {
  ZefSummary s = SummarizeZef(RichFile());
  EXPECT_EQ(s.result, ZefResult::kSuccess);
  EXPECT_EQ(s.triangles, 2u);
  EXPECT_EQ(s.infoTriangles, 2u);
  EXPECT_EQ(s.vertices, 4u);
  EXPECT_EQ(s.bounds.min, (host::Point3{-1, 0, 0}));
  EXPECT_EQ(s.bounds.max, (host::Point3{1, 5, 2}));
  EXPECT_EQ(s.materialRecords, 2u);
  EXPECT_EQ(s.nodeNames, (std::vector<std::string>{"Scene Root", "Box01", "Camera01", "Helper"}));
  EXPECT_TRUE(s.problems.empty());
}

// ---- Unknown blocks and versions ----------------------------------------------------------------

TEST(ZefReader, UnknownBlocksAreSkippedBySize) {
  ImageBuilder b;
  b.Header();
  b.Info("u", "");
  b.Raw(0x4242, std::vector<uint8_t>(13, 0xEE));  // top level, between Info and the root
  uint32_t root = b.BeginNode("R");
  b.MatList();
  uint32_t a = b.BeginNode("A");
  b.Raw(0x9999, {0, 0, 0, 0, 1, 0, 0, 0});  // looks like a head inside: must not be entered
  uint32_t child = b.BeginNode("A child");
  b.EndNode(child, 0);
  b.EndNode(a, 1);
  b.EndNode(root, 1);
  std::vector<uint8_t> file = b.Written();
  ZefFile parsed;
  ASSERT_EQ(ParseZef(file, parsed), ZefResult::kSuccess);
  ASSERT_EQ(parsed.blocks.size(), 3u);
  EXPECT_EQ(parsed.blocks[1].id, 0x4242u);
  EXPECT_EQ(parsed.blocks[1].size, 21u);
  const BlockInfo& nodeA = parsed.blocks[2].children[1];
  ASSERT_EQ(nodeA.children.size(), 2u);
  EXPECT_EQ(nodeA.children[0].id, 0x9999u);
  EXPECT_TRUE(nodeA.children[0].children.empty());
  EXPECT_EQ(Value(&nodeA.children[1], "name"), "A child");
}

std::vector<uint8_t> WithVersion(const char version[5], bool shortHeader) {
  ImageBuilder b;
  b.buf.U32(kMagic);
  b.buf.Bytes(version, 4);
  if (shortHeader) {
    b.buf.U32(0xDEAD);  // bytes 8..15 of an old file are never read
    b.buf.U32(0xBEEF);
  } else {
    b.buf.SetOffset(kHeaderSize);
  }
  b.Info("old", "");
  uint32_t root = b.BeginNode("R");
  b.EndNode(root, 0);
  return b.Written();
}

TEST(ZefReader, AcceptsTheThreeVersionFamilies) {
  ZefFile parsed;
  ASSERT_EQ(ParseZef(WithVersion("0005", true), parsed), ZefResult::kSuccess);
  EXPECT_EQ(parsed.family, VersionFamily::kOld);
  EXPECT_EQ(parsed.firstBlock, 16u);
  EXPECT_FALSE(parsed.hasHostFields);
  ASSERT_EQ(parsed.blocks.size(), 2u);
  EXPECT_EQ(parsed.blocks[0].offset, 16u);

  ASSERT_EQ(ParseZef(WithVersion("0008", false), parsed), ZefResult::kSuccess);
  EXPECT_EQ(parsed.family, VersionFamily::kCurrent);
  EXPECT_EQ(parsed.blocks[0].offset, kHeaderSize);

  for (const char* v : {"0006", "0007"}) {
    ASSERT_EQ(ParseZef(WithVersion(v, false), parsed), ZefResult::kSuccess) << v;
    EXPECT_EQ(parsed.family, VersionFamily::kOld);
    EXPECT_EQ(parsed.firstBlock, kHeaderSize);
  }
  EXPECT_EQ(ParseZef(WithVersion("0200", false), parsed), ZefResult::kUnknownVersion);
  EXPECT_EQ(InspectZef(WithVersion("0200", false)), "unknown ZEF version 0x30303230\n");
  std::vector<uint8_t> notZef = WithVersion("0100", false);
  notZef[0] = 'X';
  EXPECT_EQ(ParseZef(notZef, parsed), ZefResult::kNotZef);
  EXPECT_EQ(InspectZef(notZef), "not a ZEF file\n");
}

// ---- Damaged files ------------------------------------------------------------------------------

TEST(ZefReader, EveryTruncatedPrefixIsReportedWithoutCrashing) {
  const std::vector<uint8_t> file = RichFile();
  for (std::size_t n = 0; n < file.size(); ++n) {
    std::span<const uint8_t> prefix(file.data(), n);
    ZefFile parsed;
    ZefResult result = ParseZef(prefix, parsed);
    bool reported = result != ZefResult::kSuccess || !ValidateZef(prefix, parsed).empty();
    ASSERT_TRUE(reported) << "prefix of " << n << " bytes";
    std::string text = InspectZef(prefix);
    if (n >= kHeaderSize) {
      ASSERT_NE(text.find("problems:\n"), std::string::npos) << n;
    } else if (n >= 8) {
      ASSERT_NE(text.find("header truncated"), std::string::npos) << n;
    }
    SummarizeZef(prefix);
  }
}

TEST(ZefReader, SizesThatCannotBeWalkedStopTheLevel) {
  std::vector<uint8_t> file = EmptyFile();
  support::ByteWriter::StoreU32(file.data() + kHeaderSize + 4, 3);  // Info size 3
  ZefFile parsed;
  EXPECT_EQ(ParseZef(file, parsed), ZefResult::kInvalid);
  ASSERT_EQ(parsed.problems.size(), 1u);
  EXPECT_EQ(parsed.problems[0], "block size 3 too small at offset 12304");

  // A node name longer than its block: the fields run out, nothing nested is looked for.
  file = EmptyFile();
  support::ByteWriter::StoreU32(file.data() + kHeaderSize + 85 + 12, 1000);
  EXPECT_EQ(ParseZef(file, parsed), ZefResult::kTruncated);
  EXPECT_TRUE(parsed.blocks[1].children.empty());
  EXPECT_NE(InspectZef(file).find("fields of block at offset 12389 run past its end"), std::string::npos);
}

TEST(ZefReader, DeepNestingIsCutOff) {
  ImageBuilder b;
  b.Header();
  std::vector<uint32_t> heads;
  for (int i = 0; i < kMaxBlockDepth + 50; ++i) heads.push_back(b.BeginNode("n"));
  for (std::size_t i = heads.size(); i-- > 0;) b.EndNode(heads[i], 1);
  ZefFile parsed;
  EXPECT_EQ(ParseZef(b.Written(), parsed), ZefResult::kInvalid);
  EXPECT_FALSE(InspectZef(b.Written()).empty());
}

TEST(ZefReader, ValidationNamesCountsSizesAndIndicesThatDisagree) {
  const std::vector<uint8_t> good = RichFile();
  ZefFile parsed;
  ASSERT_EQ(ParseZef(good, parsed), ZefResult::kSuccess);
  const uint64_t box = parsed.blocks[1].children[1].offset;
  const uint64_t faces = Find(parsed.blocks, kFaces)->offset;
  const uint64_t transform = Find(parsed.blocks, kTransform)->offset;
  // Each damage on its own copy; the finding names the block, its offset and the disagreement.
  auto findings = [&](uint64_t at, uint32_t value) {
    std::vector<uint8_t> file = good;
    support::ByteWriter::StoreU32(file.data() + at, value);
    ZefFile damaged;
    ParseZef(file, damaged);
    std::string all;
    for (const std::string& f : ValidateZef(file, damaged)) all += f + "\n";
    return all;
  };
  EXPECT_EQ(findings(box + 8, 3),
            "Node at offset " + std::to_string(box) + ": counts 3 child nodes but holds 1\n");
  EXPECT_EQ(findings(faces + 12 + 8, 4),
            "Faces at offset " + std::to_string(faces) + ": triangle 0 uses vertex 4 of 4\n");
  EXPECT_NE(
      findings(transform + 4, 100)
          .find("Transform at offset " + std::to_string(transform) + ": size 100, expected 108 (fixed)"),
      std::string::npos);
}

// ---- Fixed parts ----------------------------------------------------------------------------------

TEST(ZefReader, FixedPartSizesFollowTheReaderTable) {
  auto fixed = [](std::vector<uint8_t> bytes) {
    support::ByteReader r(bytes);
    return FixedPartSize(r);
  };
  EXPECT_EQ(fixed(Words({kNode, 100, 2, 5}))->size, 21u);
  EXPECT_EQ(fixed(Words({kSkeletonObj, 100, 2, 12}))->size, 28u);
  EXPECT_EQ(fixed(Words({kNode, 100, 2, 0xFFFFFFFF}))->size, 16 + uint64_t{0xFFFFFFFF});
  EXPECT_EQ(fixed(Words({kInfo, 85, 3, 1}))->size, 85u);
  for (uint32_t id : {kGObj, kGBlock, kInstance}) EXPECT_EQ(fixed(Words({id, 500}))->size, 12u);
  EXPECT_EQ(fixed(Words({kTransform, 108}))->size, 108u);
  for (uint32_t id : {kLight, kVexaLight, kVertices, kFaces, kUserProps, kNodeKeys, kDummy, kCamera, kIKJoint,
                      kSoundEvent, kParticleEvent, kMatList}) {
    auto part = fixed(Words({id, 77}));
    EXPECT_EQ(part->size, 77u);
    EXPECT_TRUE(part->known);
  }
  for (uint32_t id : {kGlass, kPhysics, kPhysData, kMatStandard, 0x1234u}) {
    auto part = fixed(Words({id, 55}));
    EXPECT_EQ(part->size, 55u);
    EXPECT_FALSE(part->known) << id;
  }
  EXPECT_FALSE(fixed(Words({kNode, 100, 2})).has_value());
  EXPECT_FALSE(fixed({1, 0, 0, 0, 9}).has_value());
}

// Writes the fuzzer's seed files when VORLAN_WRITE_ZEF_SEEDS names a folder.
TEST(ZefReader, WritesSeedCorpusWhenAsked) {
  const char* folder = std::getenv("VORLAN_WRITE_ZEF_SEEDS");
  if (!folder) GTEST_SKIP() << "set VORLAN_WRITE_ZEF_SEEDS to write the seeds";
  std::filesystem::create_directories(folder);
  auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream(std::filesystem::path(folder) / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  write("empty_export.zef", EmptyFile());
  write("rich_scene.zef", RichFile());
  write("version_0005.zef", WithVersion("0005", true));
}

}  // namespace
}  // namespace vorlan::zef
