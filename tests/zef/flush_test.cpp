#include "zef/flush.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/bytes.h"
#include "zef/image_builder.h"
#include "zef/reader.h"

namespace vorlan::zef {
namespace {

using testing::Append;
using testing::AppendText;
using testing::F;
using testing::ImageBuilder;
using testing::RecordingProgress;
using testing::Vertex;
using testing::Words;

Vertex V(float x, float y, float z, float u = 0, float v = 0) {
  Vertex out;
  out.p[0] = x;
  out.p[1] = y;
  out.p[2] = z;
  out.uv = {{u, v}};
  return out;
}

// Header, Info and the root node head, as every export starts.
ImageBuilder StartScene(uint32_t& root) {
  ImageBuilder b;
  b.Header(0x2A00);
  b.Info("PC\\me", "");
  root = b.BeginNode("Scene Root");
  b.MatList();
  return b;
}

std::vector<uint8_t> Flush(const ImageBuilder& b, std::string* error = nullptr) {
  std::vector<uint8_t> out;
  std::string why;
  EXPECT_TRUE(FlushSceneBuffer(b.buf.Image(), out, nullptr, &why)) << why;
  if (error) *error = why;
  return out;
}

bool FlushFails(std::span<const uint8_t> image, std::string* error = nullptr) {
  std::vector<uint8_t> out;
  std::string why;
  bool ok = FlushSceneBuffer(image, out, nullptr, &why);
  if (error) *error = why;
  return !ok && !why.empty();
}

// ---- Whole files, golden bytes worked out from the layouts ---------------------------------------

TEST(FlushGolden, EmptyExportIsHeaderInfoRootAndAnEmptyMatList) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  b.EndNode(root, 0);
  b.SetNodeCount(1);

  std::vector<uint8_t> expected = Words({kMagic, 0x30303130, 0x2A00, 1});
  expected.resize(kHeaderSize, 0);
  Append(expected, Words({0x70, 85, 6, 1, 0}));  // Info: no comment is a single zero
  AppendText(expected, "PC\\me", 64);
  expected.push_back(0);
  Append(expected, Words({0x01, 16 + 11 + 12, 0, 11}));  // root: head, name, MatList
  AppendText(expected, "Scene Root", 11);
  Append(expected, Words({0x1000, 12, 0}));

  EXPECT_EQ(b.Written(), expected);
  EXPECT_EQ(Flush(b), expected);
}

TEST(FlushGolden, QuadIsWeldedAndEveryEnclosingSizeShrinks) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t node = b.BeginNode("Quad");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("");
  Vertex A = V(0, 0, 0, 0, 1), B = V(1, 0, 0, 1, 1), C = V(1, 1, 0, 1, 0), D = V(0, 1, 0, 0, 0);
  uint32_t gblock = b.buf.Offset();
  b.GBlock(0, {A, B, C, A, C, D});
  b.EndGObj(gobj, 1);
  b.EndNode(node, 0);
  b.EndNode(root, 1);

  // Before welding: GBlock 12 + (20 + 6 x 32) + (12 + 24) = 260; GObj 12 + 108 + 13 + 260 = 393;
  // node 21 + 393 = 414; root 27 + 12 + 414 = 453. Welding keeps 4 of 6 vertices: 64 bytes less.
  ASSERT_EQ(b.buf.ReadU32(gblock + 4), 260u);
  ASSERT_EQ(b.buf.ReadU32(gobj + 4), 393u);
  ASSERT_EQ(b.buf.ReadU32(node + 4), 414u);
  ASSERT_EQ(b.buf.ReadU32(root + 4), 453u);

  std::vector<uint8_t> expected = b.Written();
  expected.resize(gblock);
  support::ByteWriter::StoreU32(expected.data() + root + 4, 389);
  support::ByteWriter::StoreU32(expected.data() + node + 4, 350);
  support::ByteWriter::StoreU32(expected.data() + gobj + 4, 329);
  Append(expected, Words({0x31, 196, 0, 0x32, 148, 4, 32, 0x112}));
  Append(expected, ImageBuilder::VertexBytes({A, B, C, D}));
  Append(expected, Words({0x33, 36, 2, 0, 1, 2, 0, 2, 3}));

  EXPECT_EQ(Flush(b), expected);
}

// ---- Welding rules ------------------------------------------------------------------------------

struct Welded {
  std::vector<uint8_t> bytes;
  uint32_t shrinkage = 0;
  uint32_t Kept() const { return support::LoadU32(bytes.data() + 12 + 8); }
  std::vector<uint32_t> Indices() const {
    std::vector<uint32_t> out;
    uint32_t verticesSize = support::LoadU32(bytes.data() + 16);
    std::size_t faces = 12 + verticesSize;
    uint32_t count = support::LoadU32(bytes.data() + faces + 8);
    for (uint32_t i = 0; i < 3 * count; ++i)
      out.push_back(support::LoadU32(bytes.data() + faces + 12 + 4 * i));
    return out;
  }
  std::vector<uint8_t> Vertex(uint32_t i, uint32_t stride) const {
    auto at = bytes.begin() + 32 + i * stride;
    return {at, at + stride};
  }
};

Welded WeldRaw(uint32_t stride, const std::vector<uint8_t>& vertexBytes,
               const std::vector<uint32_t>& indices) {
  ImageBuilder b;
  b.GBlock(7, stride, VertexFormat((stride - 24) / 8), vertexBytes, indices);
  GBlockMesh mesh;
  std::string why;
  EXPECT_EQ(ReadGBlockMesh(b.buf.Written(), mesh, &why), GBlockShape::kMesh) << why;
  Welded w;
  EXPECT_TRUE(WeldGBlock(mesh, w.bytes, w.shrinkage, nullptr, 100));
  EXPECT_EQ(w.shrinkage, mesh.size - w.bytes.size());
  EXPECT_EQ(support::LoadU32(w.bytes.data() + 4), w.bytes.size());
  return w;
}

TEST(Weld, KeepsOneVertexPerDistinctCornerInOrderOfFirstUse) {
  Vertex v0 = V(0, 0, 0, 0.5f, 0.5f), v1 = V(1, 0, 0, 0.5f, 0.5f), unused = V(9, 9, 9);
  Vertex v2 = v1;
  v2.uv[0].second = 0.25f;  // differs from v1 in one texture coordinate only
  auto bytes = ImageBuilder::VertexBytes({v0, v1, v2, v1, unused});
  Welded w = WeldRaw(32, bytes, {2, 3, 1, 0, 1, 3});
  ASSERT_EQ(w.Kept(), 3u);
  EXPECT_EQ(w.Indices(), (std::vector<uint32_t>{0, 1, 1, 2, 1, 1}));
  EXPECT_EQ(w.Vertex(0, 32), ImageBuilder::VertexBytes({v2}));
  EXPECT_EQ(w.Vertex(1, 32), ImageBuilder::VertexBytes({v1}));
  EXPECT_EQ(w.Vertex(2, 32), ImageBuilder::VertexBytes({v0}));
  EXPECT_EQ(w.shrinkage, 2u * 32u);
}

TEST(Weld, ComparesBytesNotValues) {
  const float nanA = std::bit_cast<float>(0x7FC00001u), nanB = std::bit_cast<float>(0x7FC00002u);
  auto bytes =
      ImageBuilder::VertexBytes({V(0.0f, 0, 0), V(-0.0f, 0, 0), V(nanA, 0, 0), V(nanB, 0, 0), V(nanA, 0, 0)});
  // 0.0 and -0.0 compare equal as floats, and a NaN equals nothing, yet bytes decide.
  Welded w = WeldRaw(32, bytes, {0, 1, 2, 3, 4, 2});
  EXPECT_EQ(w.Kept(), 4u);
  EXPECT_EQ(w.Indices(), (std::vector<uint32_t>{0, 1, 2, 3, 2, 2}));
}

TEST(Weld, OddStridesAndEmptyBlocks) {
  // A stride that is no multiple of 4 or 8 still compares every byte.
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4, 6};
  Welded w = WeldRaw(5, bytes, {0, 1, 2});
  EXPECT_EQ(w.Kept(), 2u);
  EXPECT_EQ(w.Indices(), (std::vector<uint32_t>{0, 0, 1}));

  Vertex plain = V(1, 2, 3);
  plain.uv.clear();
  Welded none = WeldRaw(24, ImageBuilder::VertexBytes({plain}), {});
  EXPECT_EQ(none.Kept(), 0u);
  EXPECT_EQ(none.bytes, Words({0x31, 44, 7, 0x32, 20, 0, 24, 0x12, 0x33, 12, 0}));
}

// Past the table's first size, earlier vertices must still be found after it grows.
TEST(Weld, FindsVerticesAgainAfterTheTableGrows) {
  const uint32_t n = 150000;
  std::vector<uint8_t> bytes;
  support::ByteWriter w(bytes);
  for (uint32_t i = 0; i < n; ++i) {
    w.F32(static_cast<float>(i));
    w.Zeros(20);
  }
  std::vector<uint32_t> indices;
  for (uint32_t i = 0; i < n; ++i) indices.push_back(i);
  for (uint32_t i = n; i-- > 0;) indices.push_back(i);  // every vertex again, backwards
  Welded welded = WeldRaw(24, bytes, indices);
  ASSERT_EQ(welded.Kept(), n);
  EXPECT_EQ(welded.Indices(), indices);
  EXPECT_EQ(welded.shrinkage, 0u);
}

// ---- Sizes on disk ------------------------------------------------------------------------------

const BlockInfo* Child(const BlockInfo& b, uint32_t id, int nth = 0) {
  for (const BlockInfo& c : b.children)
    if (c.id == id && nth-- == 0) return &c;
  return nullptr;
}

TEST(FlushSizes, NestedNodesAndInstancesArePatchedByWhatWeldingRemoved) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  // A (shared object, first use) with child B; then C, a later instance of A's object.
  uint32_t a = b.BeginNode("A");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("a");
  b.Instance(1);
  Vertex p = V(0, 0, 0), q = V(1, 0, 0), r = V(0, 1, 0), s = V(1, 1, 0);
  b.GBlock(0, {p, q, r, r, q, s});  // 6 corners, 4 kept: 64 bytes less
  b.EndGObj(gobj, 1);
  uint32_t child = b.BeginNode("B");
  gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("");
  b.GBlock(kDefaultMaterial, {p, q, r, p, q, r, p, q, r});  // 9 corners, 3 kept: 192 bytes less
  b.EndGObj(gobj, 1);
  b.EndNode(child, 0);
  b.EndNode(a, 1);
  uint32_t c = b.BeginNode("C");
  gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("c");
  b.Instance(1);
  b.EndGObj(gobj, 0);
  b.EndNode(c, 0);
  b.EndNode(root, 2);
  const uint32_t sizeA = b.buf.ReadU32(a + 4), sizeB = b.buf.ReadU32(child + 4), sizeC = b.buf.ReadU32(c + 4);
  const uint32_t sizeRoot = b.buf.ReadU32(root + 4);

  std::vector<uint8_t> file = Flush(b);
  ASSERT_EQ(file.size(), b.Written().size() - 256);
  ZefFile parsed;
  ASSERT_EQ(ParseZef(file, parsed), ZefResult::kSuccess);
  EXPECT_TRUE(ValidateZef(file, parsed).empty());
  ASSERT_EQ(parsed.blocks.size(), 2u);
  const BlockInfo& rootBlock = parsed.blocks[1];
  EXPECT_EQ(rootBlock.size, sizeRoot - 256);
  const BlockInfo* nodeA = Child(rootBlock, kNode, 0);
  const BlockInfo* nodeC = Child(rootBlock, kNode, 1);
  ASSERT_TRUE(nodeA && nodeC);
  EXPECT_EQ(nodeA->size, sizeA - 256);
  EXPECT_EQ(Child(*nodeA, kGObj)->size, b.buf.ReadU32(a + 18 + 4) - 64);
  const BlockInfo* nodeB = Child(*nodeA, kNode);
  ASSERT_TRUE(nodeB);
  EXPECT_EQ(nodeB->size, sizeB - 192);
  EXPECT_EQ(nodeC->size, sizeC);
  const BlockInfo* instanceGObj = Child(*nodeC, kGObj);
  ASSERT_TRUE(instanceGObj);
  EXPECT_EQ(instanceGObj->Find("gblocks")->value, "0");
  EXPECT_EQ(Child(*instanceGObj, kInstance)->Find("number")->value, "1");
}

TEST(FlushSizes, AGBlockWithoutVerticesAndFacesIsLeftOutConsistently) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t node = b.BeginNode("N");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("");
  // Faces only, then Vertices followed by something that is not Faces.
  uint32_t first = b.buf.Offset();
  b.buf.U32(kGBlock);
  b.buf.U32(12 + 24);
  b.buf.U32(0);
  b.Raw(kFaces, Words({1, 0, 0, 0}));
  uint32_t second = b.buf.Offset();
  b.buf.U32(kGBlock);
  b.buf.U32(0);
  b.buf.U32(0);
  b.Raw(kVertices, Words({0, 24, 0x12}));
  b.Raw(kUserProps, Words({1, 0}));
  b.buf.PatchU32(second + 4, b.buf.Offset() - second);
  b.GBlock(1, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)});
  b.EndGObj(gobj, 3);
  b.EndNode(node, 0);
  b.EndNode(root, 1);
  const uint32_t dropped = (second - first) + b.buf.ReadU32(second + 4);

  std::vector<uint8_t> file = Flush(b);
  EXPECT_EQ(file.size(), b.Written().size() - dropped);
  ZefFile parsed;
  ASSERT_EQ(ParseZef(file, parsed), ZefResult::kSuccess);
  EXPECT_TRUE(ValidateZef(file, parsed).empty());
  const BlockInfo* object = Child(*Child(parsed.blocks[1], kNode), kGObj);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->Find("gblocks")->value, "1");
  ASSERT_NE(Child(*object, kGBlock), nullptr);
  EXPECT_EQ(Child(*object, kGBlock)->Find("material")->value, "1");
  EXPECT_EQ(Child(*object, kGBlock, 1), nullptr);
}

// Helpers, lights, cameras and physics blocks pass unchanged, whichever walk level meets them.
TEST(FlushSizes, BlocksWithoutGeometryAreCopiedByteForByte) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t dummy = b.BeginNode("glass holder");  // Dummy ends the node's own blocks; Glass follows
  b.Transform();
  b.UserProps("glass_dummy");
  b.Dummy({1, 2, 3});
  b.Raw(kGlass, {1, 2, 3, 4, 5});
  b.EndNode(dummy, 0);
  uint32_t body = b.BeginNode("body");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("Phy_weight=2");
  b.EndGObj(gobj, 0);
  b.Raw(kPhysics, std::vector<uint8_t>(31, 0));
  uint32_t lamp = b.BeginNode("lamp");
  b.Raw(kLight, std::vector<uint8_t>(kLightSize - 8, 0));
  b.EndNode(lamp, 0);
  uint32_t cam = b.BeginNode("cam");
  b.Raw(kCamera, std::vector<uint8_t>(kCameraSize - 8, 0));
  b.Raw(0x7777, {9, 9});  // unknown to the walk: written, ends the node's blocks
  b.EndNode(cam, 0);
  b.EndNode(body, 2);
  uint32_t bare = b.BeginNode("no object");
  b.EndNode(bare, 0);
  b.EndNode(root, 3);

  EXPECT_EQ(Flush(b), b.Written());
}

// ---- Progress -----------------------------------------------------------------------------------

TEST(FlushProgress, ReportsTheStepAndThrottledWeldBytes) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t node = b.BeginNode("big");
  uint32_t gobj = b.BeginGObj();
  std::vector<Vertex> corners;
  for (int i = 0; i < 30000; ++i) corners.push_back(V(static_cast<float>(i), 0, 0));
  b.GBlock(0, corners);
  b.EndGObj(gobj, 1);
  b.EndNode(node, 0);
  b.EndNode(root, 1);

  RecordingProgress progress;
  std::vector<uint8_t> out;
  ASSERT_TRUE(FlushSceneBuffer(b.buf.Image(), out, &progress, nullptr));
  ASSERT_EQ(progress.steps.size(), 1u);
  EXPECT_EQ(progress.steps[0].node, "Whole Scene");
  EXPECT_EQ(progress.steps[0].operation, "Optimizing");
  EXPECT_EQ(progress.steps[0].bar, -1);
  const int length = static_cast<int>(b.buf.Image().size());
  ASSERT_EQ(progress.bars.size(), 4u);
  EXPECT_EQ(progress.bars[0].min, 0);
  EXPECT_EQ(progress.bars[0].max, length);
  EXPECT_EQ(progress.bars[0].pos, 0);
  const int stride = 32;
  int expected[] = {3 * 4096 * stride, 3 * 8192 * stride, 3 * 10000 * stride};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(progress.bars[i + 1].min, -1);
    EXPECT_EQ(progress.bars[i + 1].pos, expected[i]);
  }
}

// ---- Broken images ------------------------------------------------------------------------------

ImageBuilder SmallScene() {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t node = b.BeginNode("Quad");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("x");
  b.GBlock(0, {V(0, 0, 0), V(1, 0, 0), V(1, 1, 0), V(0, 0, 0), V(1, 1, 0), V(0, 1, 0)});
  b.EndGObj(gobj, 1);
  uint32_t child = b.BeginNode("Child");
  b.Dummy({1, 1, 1});
  b.EndNode(child, 0);
  b.EndNode(node, 1);
  b.EndNode(root, 1);
  b.SetNodeCount(3);
  return b;
}

TEST(FlushBroken, RefusesAnImageWithoutTheCurrentHeader) {
  ImageBuilder b = SmallScene();
  std::vector<uint8_t> image = b.Written();
  image[4] = '8';  // version "8100"
  std::vector<uint8_t> out{1, 2, 3};
  EXPECT_FALSE(FlushSceneBuffer(image, out, nullptr, nullptr));
  EXPECT_TRUE(out.empty()) << "nothing is written without the header";
}

TEST(FlushBroken, CountsThatTheBlocksDoNotSatisfyStopInsteadOfLooping) {
  {
    ImageBuilder b = SmallScene();
    b.buf.PatchU32(kHeaderSize + 85 + 8, 2);  // the root counts a second child that is not there
    std::string error;
    EXPECT_TRUE(FlushFails(b.buf.Image(), &error));
    EXPECT_NE(error.find("children"), std::string::npos) << error;
  }
  {
    ImageBuilder b = SmallScene();
    uint32_t gobj = kHeaderSize + 85 + 27 + 12 + 21;
    ASSERT_EQ(b.buf.ReadU32(gobj), kGObj);
    b.buf.PatchU32(gobj + 8, 2);
    EXPECT_TRUE(FlushFails(b.buf.Image()));
  }
  {
    ImageBuilder b = SmallScene();
    uint32_t transform = kHeaderSize + 85 + 27 + 12 + 21 + 12;
    b.buf.PatchU32(transform + 4, 0);  // a block of size 0 would be met again and again
    EXPECT_TRUE(FlushFails(b.buf.Image()));
  }
}

TEST(FlushBroken, SizesAndIndicesOutsideTheImageAreRefused) {
  ImageBuilder b = SmallScene();
  const uint32_t gblock = kHeaderSize + 85 + 27 + 12 + 21 + 12 + 108 + 14;
  ASSERT_EQ(b.buf.ReadU32(gblock), kGBlock);
  const uint32_t faces = gblock + 12 + 20 + 6 * 32;
  ASSERT_EQ(b.buf.ReadU32(faces), kFaces);
  {
    ImageBuilder c = SmallScene();
    c.buf.PatchU32(faces + 12 + 4 * 5, 6);  // one past the last vertex
    std::string error;
    EXPECT_TRUE(FlushFails(c.buf.Image(), &error));
    EXPECT_NE(error.find("uses vertex 6 of 6"), std::string::npos) << error;
    EXPECT_NE(error.find(std::to_string(gblock)), std::string::npos) << error;
  }
  {
    ImageBuilder c = SmallScene();
    c.buf.PatchU32(gblock + 4, 0x7FFFFFFF);
    EXPECT_TRUE(FlushFails(c.buf.Image()));
  }
  {
    ImageBuilder c = SmallScene();
    c.buf.PatchU32(gblock + 12 + 8, 0x40000000);  // vertex count whose size would wrap 32 bits
    EXPECT_TRUE(FlushFails(c.buf.Image()));
  }
  {
    ImageBuilder c = SmallScene();
    c.buf.PatchU32(kHeaderSize + 85 + 4, 60);  // the root claims less than it holds
    EXPECT_TRUE(FlushFails(c.buf.Image()));
  }
}

TEST(FlushBroken, DeepNestingIsRefused) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  std::vector<uint32_t> heads;
  for (int i = 0; i < kMaxNodeDepth + 10; ++i) heads.push_back(b.BeginNode("n"));
  for (std::size_t i = heads.size(); i-- > 0;) b.EndNode(heads[i], i + 1 == heads.size() ? 0 : 1);
  b.EndNode(root, 1);
  std::string error;
  EXPECT_TRUE(FlushFails(b.buf.Image(), &error));
  EXPECT_NE(error.find("deeper"), std::string::npos) << error;
}

// Whatever the bytes, the flush ends without reading outside the image (run under ASan).
TEST(FlushBroken, EveryPrefixAndRandomDamageEndsCleanly) {
  ImageBuilder b = SmallScene();
  const std::vector<uint8_t> image = b.Written();
  std::vector<uint8_t> out;
  for (std::size_t n = 0; n <= image.size(); ++n) {
    std::vector<uint8_t> prefix(image.begin(), image.begin() + n);
    bool ok = FlushSceneBuffer(prefix, out, nullptr, nullptr);
    if (n < image.size()) {
      EXPECT_FALSE(ok) << "prefix of " << n << " bytes";
    }
  }
  std::mt19937 rng(12345);
  const std::size_t body = image.size() - kHeaderSize;
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<uint8_t> damaged = image;
    int hits = 1 + static_cast<int>(rng() % 4);
    for (int h = 0; h < hits; ++h) {
      std::size_t at = kHeaderSize + rng() % body;
      damaged[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
    }
    FlushSceneBuffer(damaged, out, nullptr, nullptr);
  }
}

// ---- Pieces handed to a sink --------------------------------------------------------------------

// Takes the pieces into one vector; refuses the piece numbered `failAt` (counting from 0).
struct RecordingSink : FlushSink {
  bool Write(std::span<const uint8_t> bytes) override {
    if (pieces++ == failAt) return false;
    largest = std::max(largest, bytes.size());
    file.insert(file.end(), bytes.begin(), bytes.end());
    return true;
  }
  bool Patch(uint64_t at, std::span<const uint8_t> bytes) override {
    EXPECT_LE(at + bytes.size(), file.size()) << "a patch may only touch bytes already taken";
    if (at + bytes.size() > file.size()) return false;
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    ++patches;
    return true;
  }
  std::vector<uint8_t> file;
  std::size_t pieces = 0, patches = 0, largest = 0, failAt = SIZE_MAX;
};

// Several megabytes: nested nodes whose welded GBlocks are each a good part of a piece, so
// that the size fields of open nodes lie in pieces the sink took long before.
ImageBuilder LargeScene(std::mt19937& rng) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  std::uniform_int_distribution<int> pick(0, 4000);
  uint32_t outer = b.BeginNode("outer");
  for (int n = 0; n < 6; ++n) {
    uint32_t node = b.BeginNode("part" + std::to_string(n));
    uint32_t gobj = b.BeginGObj();
    b.Transform();
    b.UserProps("p");
    for (int g = 0; g < 2; ++g) {
      std::vector<Vertex> corners;
      for (int i = 0; i < 3 * 12000; ++i) corners.push_back(V(float(pick(rng)), float(n), float(g)));
      b.GBlock(static_cast<uint32_t>(g), corners);
    }
    b.EndGObj(gobj, 2);
    b.EndNode(node, 0);
  }
  b.EndNode(outer, 6);
  b.EndNode(root, 1);
  return b;
}

TEST(FlushSink, PiecesAndLatePatchesMakeTheSameFile) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2; ++round) {
    ImageBuilder b = round == 0 ? LargeScene(rng) : SmallScene();
    const std::vector<uint8_t> whole = Flush(b);
    RecordingSink sink;
    std::string why;
    ASSERT_TRUE(FlushSceneBuffer(b.buf.Image(), sink, nullptr, &why)) << why;
    EXPECT_EQ(sink.file, whole);
    if (round == 0) {
      EXPECT_GE(sink.pieces, 3u);
      EXPECT_GT(sink.patches, 0u);
      EXPECT_LT(sink.largest, 2 * kFlushPiece);
    }
  }
}

TEST(FlushSink, ARefusedPieceOrPatchFailsTheFlush) {
  std::mt19937 rng(8);
  ImageBuilder b = LargeScene(rng);
  for (std::size_t failAt : {0u, 2u}) {
    RecordingSink sink;
    sink.failAt = failAt;
    std::string why;
    EXPECT_FALSE(FlushSceneBuffer(b.buf.Image(), sink, nullptr, &why));
    EXPECT_EQ(why, "the file could not be written");
  }
  struct NoPatches : RecordingSink {
    bool Patch(uint64_t, std::span<const uint8_t>) override { return false; }
  } sink;
  std::string why;
  EXPECT_FALSE(FlushSceneBuffer(b.buf.Image(), sink, nullptr, &why));
  EXPECT_EQ(why, "the file could not be written");
  // A broken image still names the fault, not the sink.
  std::vector<uint8_t> image = b.Written();
  image[4] = '8';
  RecordingSink fine;
  EXPECT_FALSE(FlushSceneBuffer(image, fine, nullptr, &why));
  EXPECT_NE(why.find("ZEF 0100"), std::string::npos) << why;
}

TEST(FlushSink, GBlocksNotedAsWeldedAreCopiedAsTheyAre) {
  uint32_t root = 0;
  ImageBuilder b = StartScene(root);
  uint32_t node = b.BeginNode("Two");
  uint32_t gobj = b.BeginGObj();
  b.Transform();
  b.UserProps("");
  const Vertex A = V(0, 0, 0), B = V(1, 0, 0), C = V(1, 1, 0), D = V(0, 1, 0);
  // Both blocks repeat two corners; only the second one is welded by the flush.
  b.buf.NoteWeldedBlock();
  const uint32_t first = b.buf.Offset();
  b.GBlock(0, {A, B, C, A, C, D});
  const uint32_t second = b.buf.Offset();
  b.GBlock(1, {A, B, C, A, C, D});
  // A block written and then dropped takes its note with it.
  const uint32_t third = b.buf.Offset();
  b.buf.NoteWeldedBlock();
  b.GBlock(2, {A, B, C});
  b.buf.SetOffset(third);
  ASSERT_EQ(b.buf.WeldedBlocks().size(), 1u);
  EXPECT_EQ(b.buf.WeldedBlocks()[0], first);
  b.EndGObj(gobj, 2);
  b.EndNode(node, 0);
  b.EndNode(root, 1);

  const std::vector<uint32_t> notes{first, first + 4, second + 8};  // the others are no GBlock's
  RecordingSink sink;
  std::string why;
  ASSERT_TRUE(FlushSceneBuffer(b.buf.Image(), sink, nullptr, &why, notes)) << why;
  const std::vector<uint8_t> image = b.Written();
  const uint32_t firstSize = b.buf.ReadU32(first + 4);
  ASSERT_GE(sink.file.size(), std::size_t{first} + firstSize);
  EXPECT_TRUE(
      std::equal(image.begin() + first, image.begin() + first + firstSize, sink.file.begin() + first));
  // Only the second block shrank: two of its six 32-byte corners were welded away.
  EXPECT_EQ(sink.file.size(), image.size() - 64);
  EXPECT_EQ(support::LoadU32(sink.file.data() + second + 4), b.buf.ReadU32(second + 4) - 64);
}

// ---- Welding one record at a time ---------------------------------------------------------------

TEST(VertexWelder, WeldsAsTheGBlockWeldDoesAndAgainChangesNothing) {
  std::mt19937 rng(9);
  for (int round = 0; round < 20; ++round) {
    std::uniform_int_distribution<int> pick(0, round * 50 + 3);
    std::vector<Vertex> corners;
    for (int i = 0; i < 3 * (round * 400 + 1); ++i) {
      Vertex v = V(float(pick(rng)), 0, float(pick(rng) % 3));
      if (pick(rng) % 7 == 0) v.p[1] = -0.0f;  // apart from +0 by its bytes
      corners.push_back(v);
    }
    const std::vector<uint8_t> bytes = ImageBuilder::VertexBytes(corners);
    const uint32_t stride = static_cast<uint32_t>(bytes.size() / corners.size());
    std::vector<uint8_t> kept{0xEE};  // records go after what the vector already holds
    std::vector<uint32_t> remap;
    VertexWelder welder(kept, stride, round % 2 ? corners.size() : 1);
    for (std::size_t c = 0; c < corners.size(); ++c) remap.push_back(welder.Add(bytes.data() + c * stride));
    ASSERT_EQ(kept.size(), 1 + std::size_t{welder.Kept()} * stride);
    EXPECT_EQ(kept[0], 0xEE);
    // Each corner finds its own bytes, and kept records are in order of first use.
    uint32_t next = 0;
    for (std::size_t c = 0; c < corners.size(); ++c) {
      ASSERT_TRUE(std::equal(bytes.begin() + std::ptrdiff_t(c * stride),
                             bytes.begin() + std::ptrdiff_t((c + 1) * stride),
                             kept.begin() + 1 + std::ptrdiff_t(remap[c] * stride)));
      ASSERT_LE(remap[c], next);
      if (remap[c] == next) ++next;
    }
    // Kept records are all different: welding them again keeps each where it is.
    std::vector<uint8_t> again;
    VertexWelder second(again, stride, 4);
    for (uint32_t k = 0; k < welder.Kept(); ++k)
      ASSERT_EQ(second.Add(kept.data() + 1 + std::size_t{k} * stride), k);
  }
}

}  // namespace
}  // namespace vorlan::zef
