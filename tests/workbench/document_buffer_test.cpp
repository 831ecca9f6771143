#include "workbench/document_buffer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/bytes.h"
#include "support/file_io.h"
#include "workbench/materials.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench {
namespace {

namespace fs = std::filesystem;
using host::Point3;

const MaterialCodec kMaterials = MaterialDocumentCodec();

class DocumentBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vorlan_buffer_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  // A mesh with every per-face and per-vertex array, random values, odd sizes; `wide` gives
  // it more vertices than two-byte indices reach. Channel 2 follows the positions.
  static void BuildScene(Scene& s, uint32_t faces, uint32_t seed = 1, bool wide = false) {
    std::minstd_rand rng(seed);
    std::uniform_real_distribution<float> f(-100, 100);
    host::Mesh m;
    const uint32_t verts = faces / 2 + 3 + (wide ? 70000 : 0);
    for (uint32_t i = 0; i < verts; ++i) m.verts.push_back({f(rng), f(rng), f(rng)});
    for (uint32_t i = 0; i < faces; ++i)
      m.faces.push_back({.v = {uint32_t(rng() % verts), uint32_t(rng() % verts), uint32_t(rng() % verts)},
                         .smGroup = uint32_t(rng()),
                         .matId = static_cast<uint16_t>(rng() % 7),
                         .edgeVis = static_cast<uint8_t>(rng() % 8)});
    for (int c : {0, 1, 3}) {
      host::MapChannel& mc = m.Map(c);
      for (uint32_t i = 0; i < verts + 5; ++i) mc.tverts.push_back({f(rng), f(rng), c == 3 ? f(rng) : 0.0f});
      for (uint32_t i = 0; i < faces; ++i)
        mc.tfaces.push_back(
            {uint32_t(rng() % (verts + 5)), uint32_t(rng() % (verts + 5)), uint32_t(rng() % (verts + 5))});
    }
    for (uint32_t i = 0; i < verts; ++i) m.Map(2).tverts.push_back({f(rng), f(rng), 0.0f});
    for (const host::MeshFace& face : m.faces) m.Map(2).tfaces.push_back(face.v);
    for (uint32_t i = 0; i < 11; ++i) m.explicitNormals.push_back({f(rng), f(rng), f(rng)});
    for (uint32_t i = 0; i < faces; ++i)
      m.normalFaces.push_back({uint32_t(rng() % 11), uint32_t(rng() % 11), uint32_t(rng() % 11)});
    for (uint32_t i = 0; i < verts; ++i) m.vertSel.push_back(rng() % 2);
    for (uint32_t i = 0; i < faces; ++i) m.faceSel.push_back(rng() % 2);
    auto object = std::make_shared<MeshObject>(std::move(m));
    SceneNode& a = s.CreateNode("a");
    a.SetObject(object);
    s.CreateNode("instance", &a).SetObject(object);
    auto small = std::make_shared<MeshObject>();
    small->mesh.verts = {{1, 2, 3}};
    s.CreateNode("small").SetObject(small);
  }

  static std::string Text(const Scene& s) {
    std::string error;
    std::string t = SceneDocumentText(s, error, {.materials = &kMaterials});
    EXPECT_EQ(error, "");
    return t;
  }

  // Saved in both forms with every threshold, the scene reads back as the plain JSON says.
  void ExpectBothFormsReadBack(const Scene& original, const std::vector<uint64_t>& thresholds);

  fs::path dir_;
};

TEST_F(DocumentBufferTest, BothBinaryFormsReadBackTheSameSceneAsPlainJson) {
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "four-byte indices" : "two-byte indices");
    Scene original;
    BuildScene(original, 3001, 1, wide);
    // The wide mesh's plain JSON is large: one threshold is enough for it.
    ExpectBothFormsReadBack(
        original, wide ? std::vector<uint64_t>{1} : std::vector<uint64_t>{1, 1000, kDefaultBufferThreshold});
    // Index arrays take the narrow type where they can; a channel with the faces' own
    // triangles names the faces' bytes.
    ASSERT_TRUE(SaveSceneDocument(original, File("t.vscene"), {.materials = &kMaterials}));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(support::ReadWholeFile(File("t.vscene"), bytes));
    const Json mesh = Json::parse(bytes)["nodes"][0]["object"]["mesh"];
    EXPECT_EQ(mesh["faces"]["type"], wide ? "u32x3" : "u16x3");
    EXPECT_EQ(mesh["normals"]["faces"]["type"], "u16x3");
    for (const Json& map : mesh["maps"])
      if (map["channel"] == 2) {
        EXPECT_EQ(map["tfaces"], mesh["faces"]);
      } else {
        EXPECT_NE(map["tfaces"]["offset"], mesh["faces"]["offset"]);
      }
  }
}

TEST_F(DocumentBufferTest, ReferencesMayShareBytesAndIndexArraysMayBeEitherWidth) {
  // Hand-made: the map channel's faces as a second reference to the faces, and the faces
  // in two-byte indices where the writer would have chosen four.
  Scene s;
  BuildScene(s, 2000);
  ASSERT_TRUE(SaveSceneDocument(s, File("h.vscene"), {.materials = &kMaterials, .bufferThreshold = 1}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(File("h.vscene"), bytes));
  Json j = Json::parse(bytes);
  Json& mesh = j["nodes"][0]["object"]["mesh"];
  for (Json& map : mesh["maps"])
    if (map["channel"] == 1) map["tfaces"] = mesh["normals"]["faces"];
  ASSERT_TRUE(support::WriteFileAtomic(File("h.vscene"), j.dump()));
  Scene back;
  DocumentResult r = LoadSceneDocument(File("h.vscene"), back, {.materials = &kMaterials});
  ASSERT_TRUE(r) << r.error;
  const auto* m = dynamic_cast<const MeshObject*>(back.FindNode("a")->ObjectPtr().get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->mesh.FindMap(1)->tfaces, m->mesh.normalFaces);
  EXPECT_EQ(m->mesh.FindMap(2)->tfaces.size(), m->mesh.faces.size());
  for (std::size_t i = 0; i < m->mesh.faces.size(); ++i)
    EXPECT_EQ(m->mesh.FindMap(2)->tfaces[i], m->mesh.faces[i].v);
}

void DocumentBufferTest::ExpectBothFormsReadBack(const Scene& original,
                                                 const std::vector<uint64_t>& thresholds) {
  const std::string plain = Text(original);
  for (const char* name : {"scene.vscene", "scene.vscb"}) {
    SCOPED_TRACE(name);
    for (uint64_t threshold : thresholds) {
      ASSERT_TRUE(
          SaveSceneDocument(original, File(name), {.materials = &kMaterials, .bufferThreshold = threshold}));
      Scene back;
      DocumentResult r = LoadSceneDocument(File(name), back, {.materials = &kMaterials});
      ASSERT_TRUE(r) << r.error;
      EXPECT_EQ(Text(back), plain);
      // Instances stay one object.
      EXPECT_EQ(back.FindNode("a")->GetObjectRef(), back.FindNode("instance")->GetObjectRef());
    }
  }
  // The JSON of the split form stays small and readable: no array of the big mesh is in it.
  std::vector<uint8_t> json;
  ASSERT_TRUE(support::ReadWholeFile(File("scene.vscene"), json));
  EXPECT_LT(json.size(), 4000u);
  EXPECT_TRUE(fs::exists(File("scene.vbin")));
}

TEST_F(DocumentBufferTest, SmallScenesStayPlainVersionOneJson) {
  Scene s;
  auto box = std::make_shared<MeshObject>();
  box->mesh.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  box->mesh.faces = {{.v = {0, 1, 2}}};
  s.CreateNode("box").SetObject(box);
  ASSERT_TRUE(SaveSceneDocument(s, File("small.vscene"), {.materials = &kMaterials}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(File("small.vscene"), bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Text(s));
  EXPECT_FALSE(fs::exists(File("small.vbin")));
}

// A level of many small props is a large scene although no mesh reaches the threshold: its
// arrays go into the buffer all the same, where a scene of fewer props stays plain JSON.
TEST_F(DocumentBufferTest, ManySmallMeshesGoToTheBufferOnceTheSceneIsLarge) {
  auto props = [](Scene& s, int count) {
    for (int p = 0; p < count; ++p) {
      auto o = std::make_shared<MeshObject>();
      for (uint32_t i = 0; i < 200; ++i) {
        o->mesh.verts.push_back({float(i), float(p), 0.5f * float(i % 7)});
        o->mesh.faces.push_back({.v = {i, (i + 1) % 200, (i + 7) % 200}, .smGroup = 1});
      }
      s.CreateNode("prop" + std::to_string(p)).SetObject(o);
    }
  };
  for (int count : {100, 300}) {
    SCOPED_TRACE(std::to_string(count) + " props");
    Scene original;
    props(original, count);
    const std::string name = "level" + std::to_string(count) + ".vscene";
    ASSERT_TRUE(SaveSceneDocument(original, File(name), {.materials = &kMaterials}));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(support::ReadWholeFile(File(name), bytes));
    const Json mesh = Json::parse(bytes)["nodes"][0]["object"]["mesh"];
    // 100 props hold 40,000 elements, 300 hold 120,000.
    EXPECT_EQ(mesh["faces"].is_object(), count == 300);  // a reference, not the triangles
    Scene back;
    DocumentResult r = LoadSceneDocument(File(name), back, {.materials = &kMaterials});
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(Text(back), Text(original));
  }
}

// Every damaged buffer is refused with the file and the JSON path named, and the scene is
// left untouched.
TEST_F(DocumentBufferTest, DamagedBuffersAreRefusedWholeWithPathNamedErrors) {
  Scene original;
  BuildScene(original, 40);
  const DocumentOptions save{.materials = &kMaterials, .bufferThreshold = 1};
  auto load = [&](const std::string& path) {
    Scene s;
    DocumentResult r = LoadSceneDocument(path, s, {.materials = &kMaterials});
    EXPECT_EQ(s.NodeCount(), r ? s.NodeCount() : 1u);
    return r;
  };
  auto expectError = [&](const std::string& path, const std::string& part) {
    DocumentResult r = load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(part), std::string::npos) << r.error;
  };

  const std::string doc = File("d.vscene"), bin = File("d.vbin");
  ASSERT_TRUE(SaveSceneDocument(original, doc, save));
  std::vector<uint8_t> good;
  ASSERT_TRUE(support::ReadWholeFile(bin, good));

  // A buffer from another save of the document.
  Scene other;
  BuildScene(other, 40, 2);
  ASSERT_TRUE(SaveSceneDocument(other, File("o.vscene"), save));
  fs::copy_file(File("o.vbin"), bin, fs::copy_options::overwrite_existing);
  expectError(doc, "d.vscene: buffer.id: ");

  // Cut short.
  ASSERT_TRUE(support::WriteFileAtomic(bin, std::span(good.data(), good.size() - 8)));
  expectError(doc, "d.vscene: buffer.byteLength: ");

  // Missing.
  fs::remove(bin);
  expectError(doc, "d.vscene: buffer.uri: ");

  // A face index past the vertices: the faces array (two-byte indices) follows the 23
  // vertices (276 bytes, padded to 280).
  std::vector<uint8_t> bad = good;
  support::ByteWriter::StoreU16(bad.data() + 32 + 280 + 6 * 3 + 2, 9999);
  ASSERT_TRUE(support::WriteFileAtomic(bin, bad));
  expectError(doc, "d.vscene: nodes[0].object.mesh.faces[3][1]: index 9999 is past the 23 vertices");

  // A reference past the end of the buffer, and one of the wrong type, in the JSON.
  ASSERT_TRUE(support::WriteFileAtomic(bin, good));
  std::vector<uint8_t> jsonBytes;
  ASSERT_TRUE(support::ReadWholeFile(doc, jsonBytes));
  Json j = Json::parse(jsonBytes);
  Json& verts = j["nodes"][0]["object"]["mesh"]["verts"];
  verts["count"] = uint64_t(1) << 62;
  ASSERT_TRUE(support::WriteFileAtomic(doc, j.dump()));
  expectError(doc,
              "nodes[0].object.mesh.verts: 4611686018427387904 elements of 12 bytes at offset 0 run past");
  verts["count"] = 23;
  verts["type"] = "u32x3";
  ASSERT_TRUE(support::WriteFileAtomic(doc, j.dump()));
  expectError(doc, "nodes[0].object.mesh.verts.type: expected \"f32x3\" elements, found \"u32x3\"");
  j["version"] = 1;
  verts["type"] = "f32x3";
  ASSERT_TRUE(support::WriteFileAtomic(doc, j.dump()));
  expectError(doc, "d.vscene: buffer: a document with a binary buffer has version 2");

  // The single-file form: cut short, or its length field changed.
  const std::string single = File("s.vscb");
  ASSERT_TRUE(SaveSceneDocument(original, single, save));
  std::vector<uint8_t> sb;
  ASSERT_TRUE(support::ReadWholeFile(single, sb));
  ASSERT_TRUE(support::WriteFileAtomic(single, std::span(sb.data(), sb.size() - 1)));
  expectError(single, "cut short or extended");
  std::vector<uint8_t> chunk = sb;
  support::ByteWriter::StoreU64(chunk.data() + 16, uint64_t(1) << 40);
  support::ByteWriter::StoreU64(chunk.data() + 8, chunk.size());
  ASSERT_TRUE(support::WriteFileAtomic(single, chunk));
  expectError(single, "the first chunk is not the document's JSON");
  ASSERT_TRUE(support::WriteFileAtomic(single, sb));
  EXPECT_TRUE(load(single).ok);
}

// A large document reads its meshes' arrays on two threads once its structure is read. The
// scene must be the one it was saved from, and a damaged array must give the error that
// reading in order gives: the first damaged mesh's, wherever the split falls.
TEST_F(DocumentBufferTest, LargeDocumentsReadTheirMeshesOnTwoThreadsAsInOrder) {
  Scene original;
  std::minstd_rand rng(3);
  std::uniform_real_distribution<float> f(-10, 10);
  constexpr int kNodes = 12;
  for (int n = 0; n < kNodes; ++n) {
    host::Mesh m;
    const uint32_t verts = 3000 + 97 * uint32_t(n), faces = 6000 + 211 * uint32_t(n);
    for (uint32_t i = 0; i < verts; ++i) m.verts.push_back({f(rng), f(rng), f(rng)});
    for (uint32_t i = 0; i < faces; ++i)
      m.faces.push_back({.v = {uint32_t(rng() % verts), uint32_t(rng() % verts), uint32_t(rng() % verts)},
                         .smGroup = uint32_t(rng()),
                         .matId = static_cast<uint16_t>(rng() % 3)});
    host::MapChannel& uv = m.Map(1);
    for (uint32_t i = 0; i < verts; ++i) uv.tverts.push_back({f(rng), f(rng), 0});
    for (uint32_t i = 0; i < faces; ++i)
      uv.tfaces.push_back({uint32_t(rng() % verts), uint32_t(rng() % verts), uint32_t(rng() % verts)});
    original.CreateNode("part" + std::to_string(n)).SetObject(std::make_shared<MeshObject>(std::move(m)));
  }
  const std::string doc = File("big.vscene"), bin = File("big.vbin");
  ASSERT_TRUE(SaveSceneDocument(original, doc, {.materials = &kMaterials, .bufferThreshold = 1}));
  for (int round = 0; round < 3; ++round) {
    Scene loaded;
    ASSERT_TRUE(LoadSceneDocument(doc, loaded, {.materials = &kMaterials}));
    EXPECT_EQ(Text(loaded), Text(original));
  }

  std::vector<uint8_t> jsonBytes, good;
  ASSERT_TRUE(support::ReadWholeFile(doc, jsonBytes));
  ASSERT_TRUE(support::ReadWholeFile(bin, good));
  const Json j = Json::parse(jsonBytes);
  // The buffer file's bytes begin after its 32-byte head; indices are two bytes wide here.
  auto breakFaces = [&](std::vector<uint8_t>& bytes, int node) {
    const Json& faces = j["nodes"][node]["object"]["mesh"]["faces"];
    ASSERT_EQ(faces["type"], "u16x3");
    support::ByteWriter::StoreU16(bytes.data() + 32 + faces["offset"].get<std::size_t>() + 2, 65535);
  };
  auto errorOf = [&](std::initializer_list<int> broken) {
    std::vector<uint8_t> bad = good;
    for (int node : broken) breakFaces(bad, node);
    EXPECT_TRUE(support::WriteFileAtomic(bin, bad));
    Scene s;
    DocumentResult r = LoadSceneDocument(doc, s, {.materials = &kMaterials});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(s.NodeCount(), 1u);
    return r.error;
  };
  for (int first : {0, 5, 7}) {
    SCOPED_TRACE("first damaged mesh " + std::to_string(first));
    const std::string expected = "nodes[" + std::to_string(first) + "].object.mesh.faces[0][1]: index 65535";
    EXPECT_NE(errorOf({first}).find(expected), std::string::npos) << errorOf({first});
    EXPECT_NE(errorOf({first, kNodes - 1}).find(expected), std::string::npos);
  }
}

TEST_F(DocumentBufferTest, TexturePathsFollowTheDocumentsFolder) {
  fs::create_directories(dir_ / "project" / "maps");
  Scene s;
  auto mtl = std::make_shared<StandardMtl>("wood");
  mtl->SetMap(1, std::make_shared<BitmapTex>((dir_ / "project" / "maps" / "wood.png").string()));
  mtl->SetMap(2, std::make_shared<BitmapTex>("/elsewhere/metal.png"));
  SceneNode& n = s.CreateNode("n");
  n.SetMtl(mtl);
  ASSERT_TRUE(SaveSceneDocument(s, File("project/scene.vscene"), {.materials = &kMaterials}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(File("project/scene.vscene"), bytes));
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("\"path\": \"maps/wood.png\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"path\": \"/elsewhere/metal.png\""), std::string::npos);

  // Moved elsewhere and read from another working folder, the document finds its maps
  // beside it.
  fs::rename(dir_ / "project", dir_ / "moved");
  const fs::path cwd = fs::current_path();
  fs::current_path(fs::temp_directory_path());
  Scene back;
  DocumentResult r = LoadSceneDocument(File("moved/scene.vscene"), back, {.materials = &kMaterials});
  fs::current_path(cwd);
  ASSERT_TRUE(r) << r.error;
  const host::Mtl* m = back.FindNode("n")->GetMtl();
  EXPECT_EQ(m->GetSubTexmap(1)->GetMapFileName(), (dir_ / "moved" / "maps" / "wood.png").string());
  EXPECT_EQ(m->GetSubTexmap(2)->GetMapFileName(), "/elsewhere/metal.png");
}

}  // namespace
}  // namespace vorlan::workbench
