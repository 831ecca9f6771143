// Real scenes all the way: corpus files read through Assimp, exported to .zef by the scene
// exporter and summarised, checked against what Assimp itself reads from the same files;
// glTF written by the workbench checked by the Khronos validator; and the `vorlan` program's
// convert and export commands on interchange files.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "interchange/export.h"
#include "interchange/import.h"
#include "interchange/test_files.h"
#include "interchange/validator.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zef/blocks.h"
#include "zef/inspect.h"
#include "zef/reader.h"
#include "zefexport/exporter.h"

namespace vorlan::testing {
namespace {

using host::Box3;
using host::Point3;

struct SourceFacts {
  uint64_t triangles = 0;
  Box3 bounds;
  std::size_t materials = 0;
};

std::string FirstFour(const std::string& s) { return s.substr(0, 4); }

// What Assimp reads from a file, counted the way the pipeline keeps it: each node's set of
// meshes is one object (nodes with the same set are instances, counted once), vertices stay
// in the node's own space, and a material is one record of the .zef unless another used one
// has the same first four letters and the same diffuse texture (a record keeps no more of
// a material without maps).
SourceFacts Facts(const std::string& path, float scale) {
  Assimp::Importer importer;
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  const aiScene* s = importer.ReadFile(path, aiProcess_Triangulate);
  SourceFacts f;
  if (!s) {
    ADD_FAILURE() << path << ": " << importer.GetErrorString();
    return f;
  }
  std::set<std::vector<unsigned>> objects;
  std::vector<const aiNode*> stack{s->mRootNode};
  while (!stack.empty()) {
    const aiNode* n = stack.back();
    stack.pop_back();
    if (n->mNumMeshes) objects.insert(std::vector<unsigned>(n->mMeshes, n->mMeshes + n->mNumMeshes));
    for (unsigned i = 0; i < n->mNumChildren; ++i) stack.push_back(n->mChildren[i]);
  }
  std::set<std::pair<std::string, std::string>> records;
  for (const auto& meshes : objects)
    for (unsigned m : meshes) {
      const aiMesh& mesh = *s->mMeshes[m];
      for (unsigned i = 0; i < mesh.mNumFaces; ++i) f.triangles += mesh.mFaces[i].mNumIndices == 3 ? 1 : 0;
      for (unsigned v = 0; v < mesh.mNumVertices; ++v)
        f.bounds.Include(Point3{mesh.mVertices[v].x, mesh.mVertices[v].y, mesh.mVertices[v].z} * scale);
      const aiMaterial& mat = *s->mMaterials[mesh.mMaterialIndex];
      aiString name, tex;
      mat.Get(AI_MATKEY_NAME, name);
      if (mat.GetTexture(aiTextureType_DIFFUSE, 0, &tex) != AI_SUCCESS)
        mat.GetTexture(aiTextureType_BASE_COLOR, 0, &tex);
      records.insert({FirstFour(name.C_Str()), std::filesystem::path(tex.C_Str()).filename().string()});
    }
  f.materials = records.size();
  return f;
}

struct ZefRun {
  bool ok = false;
  std::vector<uint8_t> bytes;
  std::vector<std::string> messages;
};

// The scene exporter in-process, without prompts, into `file`.
ZefRun ExportZef(workbench::Scene& scene, const TempDir& dir, const std::string& file) {
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir(dir.File("cfg"));
  wb.SetLogDir(dir.File("logs"));
  wb.SetComputerName("host");
  wb.SetUserName("user");
  wb.SetViewportEnabled(false);
  zefexport::ZefExporter exporter;
  ZefRun run;
  run.ok = exporter.DoExport(file.c_str(), wb, true, 0) == 1;
  run.bytes = ReadBytes(file);
  for (const auto& m : ui.messages) run.messages.push_back(m.caption + ": " + m.text);
  return run;
}

// The first texture pair of every vertex of every Vertices block.
void CollectUv(std::span<const uint8_t> data, const zef::BlockInfo& b, std::set<std::pair<int, int>>& out) {
  if (b.id == zef::kVertices && b.available >= zef::kVerticesHeadSize) {
    const uint8_t* head = data.data() + b.offset;
    const uint32_t count = support::LoadU32(head + 8), stride = support::LoadU32(head + 12);
    const uint32_t pairs = (support::LoadU32(head + 16) >> 8) & 0xF;
    if (pairs > 0 && stride >= 32)
      for (uint64_t i = 0; i < count && zef::kVerticesHeadSize + (i + 1) * stride <= b.available; ++i) {
        const uint8_t* v = head + zef::kVerticesHeadSize + i * stride + 24;
        out.insert({static_cast<int>(std::lround(support::LoadF32(v) * 1e4f)),
                    static_cast<int>(std::lround(support::LoadF32(v + 4) * 1e4f))});
      }
  }
  for (const auto& c : b.children) CollectUv(data, c, out);
}

void ExpectBoxNear(const Box3& got, const Box3& want, const std::string& what) {
  const float tol = 1e-4f * std::max(1.0f, host::Length(want.Width()));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(got.min[i], want.min[i], tol) << what << " min " << i;
    EXPECT_NEAR(got.max[i], want.max[i], tol) << what << " max " << i;
  }
}

class InterchangeEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  }
  TempDir dir;
};

TEST_F(InterchangeEndToEnd, CorpusScenesReachTheZefWithTheirTrianglesBoundsAndMaterials) {
  struct Case {
    const char* file;
    float scale;
  };
  for (const Case& c :
       {Case{"gltf/BoxTextured/BoxTextured.glb", 1}, Case{"gltf/MultiUVTest/MultiUVTest.glb", 1},
        Case{"gltf/NegativeScaleTest/NegativeScaleTest.glb", 1},
        Case{"fbx/cubes_with_mirroring_and_pivot.fbx", 1}, Case{"gltf/FlightHelmet/FlightHelmet.gltf", 1},
        Case{"gltf/CesiumMan/CesiumMan.glb", 1}, Case{"gltf/Fox/Fox.glb", 0.01f},
        Case{"gltf/CesiumMilkTruck/CesiumMilkTruck.glb", 1}, Case{"obj/spider/spider.obj", 1},
        Case{"3ds/cubes_with_alpha.3DS", 2}, Case{"gltf/Cameras/Cameras.gltf", 1},
        Case{"dae/BoxAnimated/BoxAnimated.dae", 1}}) {
    SCOPED_TRACE(c.file);
    workbench::Scene scene;
    workbench::ImportOptions o;
    o.scale = c.scale;
    o.textureDir = dir.File("textures");
    workbench::ImportResult r = workbench::ImportInterchange(AssetPath(c.file), scene, o);
    ASSERT_TRUE(r.ok) << r.error;
    ZefRun run = ExportZef(scene, dir, dir.File("out.zef"));
    ASSERT_TRUE(run.ok);
    for (const auto& m : run.messages) ADD_FAILURE() << m;
    zef::ZefSummary z = zef::SummarizeZef(run.bytes);
    EXPECT_TRUE(z.problems.empty()) << z.problems.front();
    const SourceFacts want = Facts(AssetPath(c.file), c.scale);
    EXPECT_EQ(z.triangles, want.triangles);
    EXPECT_EQ(z.infoTriangles, want.triangles);
    EXPECT_EQ(z.materialRecords, want.materials);
    ExpectBoxNear(z.bounds, want.bounds, c.file);
  }
}

TEST_F(InterchangeEndToEnd, TheZefCarriesGltfsOwnTextureCoordinates) {
  // The host keeps v upwards, the .zef stores 1 - v: what arrives is what the glTF file says.
  workbench::Scene scene;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/BoxTextured/BoxTextured.glb"), scene, {}));
  ZefRun run = ExportZef(scene, dir, dir.File("box.zef"));
  ASSERT_TRUE(run.ok);
  zef::ZefFile file;
  zef::ParseZef(run.bytes, file);
  std::set<std::pair<int, int>> zefUv, gltfUv;
  for (const auto& b : file.blocks) CollectUv(run.bytes, b, zefUv);
  RawGltf raw = ReadRawGltf(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  std::vector<float> uv =
      AccessorFloats(raw, raw.doc["meshes"][0]["primitives"][0]["attributes"]["TEXCOORD_0"]);
  for (std::size_t i = 0; i + 1 < uv.size(); i += 2)
    gltfUv.insert(
        {static_cast<int>(std::lround(uv[i] * 1e4f)), static_cast<int>(std::lround(uv[i + 1] * 1e4f))});
  EXPECT_FALSE(zefUv.empty());
  EXPECT_EQ(zefUv, gltfUv);
}

// ---- the Khronos validator ------------------------------------------------------------

TEST_F(InterchangeEndToEnd, GltfWrittenByTheWorkbenchPassesTheValidator) {
  std::vector<std::string> outputs;
  int n = 0;
  for (const char* file : {"gltf/BoxTextured/BoxTextured.glb",
                           "gltf/MultiUVTest/MultiUVTest.glb",
                           "gltf/NegativeScaleTest/NegativeScaleTest.glb",
                           "gltf/FlightHelmet/FlightHelmet.gltf",
                           "gltf/CesiumMan/CesiumMan.glb",
                           "gltf/Fox/Fox.glb",
                           "gltf/CesiumMilkTruck/CesiumMilkTruck.glb",
                           "gltf/InterpolationTest/InterpolationTest.glb",
                           "gltf/BoxAnimated/BoxAnimated.glb",
                           "gltf/RiggedSimple/RiggedSimple.glb",
                           "dae/BoxAnimated/BoxAnimated.dae",
                           "gltf/Cameras/Cameras.gltf",
                           "gltf/LightsPunctualLamp/LightsPunctualLamp.gltf",
                           "gltf/VertexColorTest/VertexColorTest.glb",
                           "gltf/TextureCoordinateTest/TextureCoordinateTest.glb",
                           "gltf/MorphPrimitivesTest/MorphPrimitivesTest.glb",
                           "gltf/AnimatedMorphCube/AnimatedMorphCube.glb",
                           "fbx/cubes_with_mirroring_and_pivot.fbx",
                           "fbx/huesitos.fbx",
                           "fbx/spider.fbx",
                           "obj/spider/spider.obj",
                           "dae/blender-cameras-lights/lights.dae",
                           "dae/blender-cameras-lights/cameras.dae",
                           "3ds/cubes_with_alpha.3DS",
                           "3ds/CameraRollAnim.3ds"}) {
    workbench::Scene scene;
    workbench::ImportOptions o;
    o.textureDir = dir.File("textures");
    workbench::ImportResult r = workbench::ImportInterchange(AssetPath(file), scene, o);
    ASSERT_TRUE(r.ok) << file << ": " << r.error;
    const std::string out = dir.File(std::to_string(n++) + ".glb");
    workbench::GlbExportResult w = workbench::ExportGlb(scene, out, {});
    ASSERT_TRUE(w.ok) << file << ": " << w.error;
    outputs.push_back(out);
  }
  // A scene with nothing in it is a valid file too.
  workbench::Scene empty;
  ASSERT_TRUE(workbench::ExportGlb(empty, dir.File("empty.glb"), {}));
  outputs.push_back(dir.File("empty.glb"));
  // Keys of every kind become valid samplers: cubic splines from TCB and Bezier keys, per
  // frame keys from TCB rotations and eased keys, smooth rotations through their keys.
  workbench::Scene keyed;
  const char* keys = R"({"version": 1, "nodes": [
    {"name": "Parent", "children": [{"name": "Mover", "controller": {
      "position": {"class": ["0x00442312", "0x00000000"], "keys": [[0, 0, 0, 0, 0, 0, 0, 0, 0, 0],
        [960, 0, 10, 0, 5, 0.5, 0.2, -0.3, 0, 0], [1600, 0, 10, 20, 0, -0.2, 0, 0.4, 0, 0.5]]},
      "rotation": {"class": ["0x00442313", "0x00000000"], "keys": [[0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0],
        [800, 0, 1.5, 0, 0, 1, 0, 0, 0, 0, 0]]},
      "scale": {"class": ["0x00002010", "0x00000000"], "keys": [
        [0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0.001, 0, 0, 0.33333334, 0.33333334, 0.33333334, 0.33333334, 0.33333334, 0.33333334],
        [1600, 0, 2, 1, 0.5, 0, 0, 0, 1, 0, 0.002, 0, 0, 0, 0, 0.33333334, 0.33333334, 0.33333334, 0.33333334, 0.33333334, 0.33333334]]}}}]},
    {"name": "Spinner", "controller": {"rotation": {"class": ["0x00002009", "0x00000000"],
      "keys": [[0, 0, 0, 0, 0, 1], [800, 0, 0, 0, 0.7071068, 0.7071068], [1600, 0, 0, 0, 1, 0]]}}}]})";
  ASSERT_TRUE(workbench::ParseSceneDocument(keys, keyed).ok);
  ASSERT_TRUE(workbench::ExportGlb(keyed, dir.File("keyed.glb"), {}));
  outputs.push_back(dir.File("keyed.glb"));

  Command v = Validate(outputs);
  EXPECT_EQ(v.exitCode, 0) << v.out;
  for (const auto& f : outputs)
    EXPECT_NE(v.out.find(f + ": errors=0 "), std::string::npos) << f << "\n" << v.out;
}

// ---- the program ------------------------------------------------------------------------

Command Vorlan(const TempDir& dir, const std::string& args) {
  return Run(std::string(VORLAN_EXE) + " --plugin-dir '" + VORLAN_PLUGIN_DIR + "' --log-dir '" +
             dir.File("logs") + "' --config-dir '" + dir.File("cfg") + "' " + args);
}

TEST_F(InterchangeEndToEnd, ConvertWritesGlbAndScenesAndRefusesWhatItCannot) {
  const std::string box = AssetPath("gltf/BoxTextured/BoxTextured.glb");
  Command glb = Vorlan(dir, "convert '" + box + "' '" + dir.File("box.glb") + "'");
  EXPECT_EQ(glb.exitCode, 0) << glb.out;
  Command v = Validate({dir.File("box.glb")});
  EXPECT_EQ(v.exitCode, 0) << v.out;
  // The image travelled inside the file; no file was left beside it.
  RawGltf raw = ReadRawGltf(dir.File("box.glb"));
  ASSERT_EQ(raw.doc["images"].size(), 1u);
  EXPECT_TRUE(raw.doc["images"][0].contains("bufferView"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("BoxTextured_0.png")));

  Command doc = Vorlan(dir, "convert '" + box + "' '" + dir.File("box.vscene") + "'");
  EXPECT_EQ(doc.exitCode, 0) << doc.out;
  EXPECT_TRUE(std::filesystem::exists(dir.File("BoxTextured_0.png")));
  Command zef = Vorlan(dir, "export '" + dir.File("box.vscene") + "' '" + dir.File("box.zef") + "' --yes");
  EXPECT_EQ(zef.exitCode, 0) << zef.out;
  EXPECT_EQ(zef::SummarizeZef(ReadBytes(dir.File("box.zef"))).triangles, 12u);

  WriteText(dir.File("junk.fbx"), "this is not a scene");
  Command junk = Vorlan(dir, "convert '" + dir.File("junk.fbx") + "' '" + dir.File("x.vscene") + "'");
  EXPECT_EQ(junk.exitCode, 1);
  EXPECT_NE(junk.out.find("vorlan convert: \"" + dir.File("junk.fbx") + "\": Assimp cannot read it: "),
            std::string::npos)
      << junk.out;
  Command obj = Vorlan(dir, "convert '" + box + "' '" + dir.File("x.obj") + "'");
  EXPECT_EQ(obj.exitCode, 1);
  EXPECT_NE(obj.out.find("convert writes .vscene, .vscb or .glb files"), std::string::npos) << obj.out;
  EXPECT_EQ(Vorlan(dir, "convert '" + box + "' '" + dir.File("y.glb") + "' --up x").exitCode, 2);
  EXPECT_EQ(Vorlan(dir, "convert '" + box + "' '" + dir.File("y.glb") + "' --scale -1").exitCode, 2);
}

TEST_F(InterchangeEndToEnd, ExportTakesScaleAndUpAndLogsEveryImport) {
  const std::string helmet = AssetPath("gltf/FlightHelmet/FlightHelmet.gltf");
  Command run =
      Vorlan(dir, "export '" + helmet + "' '" + dir.File("helmet.zef") + "' --scale 0.01 --up y --yes");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  // Its metallic-roughness textures are kept beside the Standard slots: nothing is lost.
  EXPECT_EQ(run.out.find("warning"), std::string::npos) << run.out;
  zef::ZefSummary z = zef::SummarizeZef(ReadBytes(dir.File("helmet.zef")));
  EXPECT_EQ(z.triangles, 94722u);
  ExpectBoxNear(z.bounds, Facts(helmet, 0.01f).bounds, "helmet");

  std::vector<uint8_t> log = ReadBytes(dir.File("logs/interchange.log"));
  const std::string text(log.begin(), log.end());
  EXPECT_NE(
      text.find(" import \"" + helmet + "\" scale=0.01 up=y nodes=6 meshes=6 triangles=94722 materials=6"),
      std::string::npos)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);

  // Options for interchange files say so when given with a scene document.
  Command doc = Vorlan(dir, "export '" + std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene' '" +
                                dir.File("sample.zef") + "' --scale 2 --yes");
  EXPECT_EQ(doc.exitCode, 0) << doc.out;
  EXPECT_NE(doc.out.find("vorlan export: warning: --scale and --up apply to interchange files only"),
            std::string::npos)
      << doc.out;
}

}  // namespace
}  // namespace vorlan::testing
