// Reading other tools' scenes: the corpus files and small files made here, checked against
// the raw files and against Assimp's own world-space bake of the same scenes.
#include "interchange/import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <fstream>
#include <functional>

#include "interchange/import_parts.h"
#include "interchange/test_files.h"
#include "workbench/materials.h"
#include "workbench/scene_document.h"

namespace vorlan::testing {
namespace {

using host::Box3;
using host::Point3;
using workbench::ImportOptions;
using workbench::ImportResult;
using workbench::Scene;
using workbench::SceneNode;

std::string Normal(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

bool HasWarning(const ImportResult& r, const std::string& text) {
  return std::any_of(r.warnings.begin(), r.warnings.end(),
                     [&](const std::string& w) { return w.find(text) != std::string::npos; });
}

std::string AllWarnings(const ImportResult& r) {
  std::string s;
  for (const auto& w : r.warnings) s += w + "\n";
  return s;
}

const workbench::MeshObject* MeshOf(const SceneNode* n) {
  return n ? dynamic_cast<const workbench::MeshObject*>(n->ObjectPtr().get()) : nullptr;
}

// Every mesh vertex in world space, through the nodes' transforms.
Box3 WorldBox(const Scene& scene) {
  Box3 box;
  for (const SceneNode* n : scene.AllNodes())
    if (const auto* m = MeshOf(n))
      for (Point3 v : m->mesh.verts) box.Include(v * n->GetObjectTM(0));
  return box;
}

// Assimp's own bake of the scene into world space, turned into the host's axes.
Box3 AssimpWorldBox(const std::string& path, float scale, bool yUp) {
  Assimp::Importer importer;
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  const aiScene* s = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_PreTransformVertices);
  Box3 box;
  if (!s) return box;
  for (unsigned i = 0; i < s->mNumMeshes; ++i)
    for (unsigned v = 0; v < s->mMeshes[i]->mNumVertices; ++v) {
      const aiVector3D p = s->mMeshes[i]->mVertices[v];
      box.Include(yUp ? Point3{p.x, -p.z, p.y} * scale : Point3{p.x, p.y, p.z} * scale);
    }
  return box;
}

void ExpectNear(Point3 a, Point3 b, float tol, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

// The file's vertex of each face corner of a triangle primitive, from its index accessor:
// the mesh keeps each distinct value once, so values compare corner by corner.
std::vector<std::size_t> FileCorners(const RawGltf& raw, const nlohmann::json& primitive) {
  const auto& a = raw.doc["accessors"][primitive["indices"].get<int>()];
  const auto& v = raw.doc["bufferViews"][a["bufferView"].get<int>()];
  const std::size_t base = v.value("byteOffset", 0) + a.value("byteOffset", 0);
  const bool wide = a["componentType"] == 5125;
  std::vector<std::size_t> out;
  for (std::size_t c = 0; c < a["count"].get<std::size_t>(); ++c) {
    const uint8_t* at = raw.bin.data() + base + c * (wide ? 4 : 2);
    out.push_back(wide ? support::LoadU32(at) : support::LoadU16(at));
  }
  return out;
}

class InterchangeImport : public ::testing::Test {
 protected:
  ImportResult Import(const std::string& path, ImportOptions options = {}) {
    if (options.textureDir.empty()) options.textureDir = dir.File("textures");
    ImportResult r = workbench::ImportInterchange(path, scene, options);
    EXPECT_TRUE(r.ok) << r.error;
    return r;
  }
  TempDir dir;
  Scene scene;
};

// ---- geometry and transforms --------------------------------------------------------------

TEST_F(InterchangeImport, WorldGeometryMatchesAssimpsOwnBakeInHostAxes) {
  for (const char* file :
       {"gltf/NegativeScaleTest/NegativeScaleTest.glb", "gltf/CesiumMilkTruck/CesiumMilkTruck.glb",
        "fbx/cubes_with_mirroring_and_pivot.fbx", "3ds/cubes_with_alpha.3DS", "dae/CesiumMan/CesiumMan.dae",
        "obj/spider/spider.obj"}) {
    for (float scale : {1.0f, 0.01f}) {
      Scene s;
      ImportOptions o;
      o.scale = scale;
      o.textureDir = dir.File("t");
      ImportResult r = workbench::ImportInterchange(AssetPath(file), s, o);
      ASSERT_TRUE(r.ok) << file << ": " << r.error;
      const Box3 got = WorldBox(s), want = AssimpWorldBox(AssetPath(file), scale, true);
      ASSERT_FALSE(want.IsEmpty()) << file;
      const float tol = 1e-4f * std::max(1.0f, host::Length(want.Width()));
      ExpectNear(got.min, want.min, tol, std::string(file) + " min");
      ExpectNear(got.max, want.max, tol, std::string(file) + " max");
    }
  }
}

TEST_F(InterchangeImport, MirroredNodesKeepTheirMirroringTransforms) {
  Import(AssetPath("gltf/NegativeScaleTest/NegativeScaleTest.glb"));
  int mirrored = 0;
  for (const SceneNode* n : scene.AllNodes()) mirrored += n->GetNodeTM(0).Mirrors() ? 1 : 0;
  // Count the file's own mirrored nodes from Assimp's matrices.
  Assimp::Importer importer;
  const aiScene* s = importer.ReadFile(AssetPath("gltf/NegativeScaleTest/NegativeScaleTest.glb"), 0);
  ASSERT_NE(s, nullptr);
  int want = 0;
  std::function<void(const aiNode*, aiMatrix4x4)> walk = [&](const aiNode* n, aiMatrix4x4 parent) {
    aiMatrix4x4 world = parent * n->mTransformation;
    if (n != s->mRootNode && world.Determinant() < 0) ++want;
    for (unsigned i = 0; i < n->mNumChildren; ++i) walk(n->mChildren[i], world);
  };
  walk(s->mRootNode, aiMatrix4x4());
  EXPECT_GT(want, 0);
  EXPECT_EQ(mirrored, want);
}

TEST_F(InterchangeImport, TransformsTurnYUpIntoZUpAndScaleTranslationsAndVertices) {
  GltfWriter g;
  const int pos = g.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  g.doc["meshes"] = {{{"primitives", {{{"attributes", {{"POSITION", pos}}}}}}}};
  g.doc["nodes"] = {{{"name", "parent"}, {"translation", {1, 2, 3}}, {"children", {1}}},
                    {{"name", "child"}, {"translation", {0, 0, 1}}, {"mesh", 0}}};
  g.doc["scenes"] = {{{"nodes", {0}}}};
  WriteText(dir.File("t.gltf"), g.Text());

  struct Case {
    float scale;
    ImportOptions::UpAxis up;
    Point3 parent, child, vertex;
  };
  for (const Case& c : {Case{1, ImportOptions::Y, {1, -3, 2}, {1, -4, 2}, {0, 1, 0}},
                        Case{2, ImportOptions::Y, {2, -6, 4}, {2, -8, 4}, {0, 2, 0}},
                        Case{1, ImportOptions::Z, {1, 2, 3}, {1, 2, 4}, {0, 1, 0}}}) {
    Scene s;
    ImportOptions o;
    o.scale = c.scale;
    o.upAxis = c.up;
    ASSERT_TRUE(workbench::ImportInterchange(dir.File("t.gltf"), s, o));
    const SceneNode* parent = s.FindNode("parent");
    const SceneNode* child = s.FindNode("child");
    ASSERT_TRUE(parent && child);
    EXPECT_EQ(child->Parent(), parent);
    ExpectNear(parent->GetNodeTM(0).GetTrans(), c.parent, 1e-6f, "parent");
    ExpectNear(child->GetNodeTM(0).GetTrans(), c.child, 1e-6f, "child");
    // Vertices stay in the node's space, scaled; the node carries the turn of axes.
    ExpectNear(MeshOf(child)->mesh.verts[2], c.vertex, 1e-6f, "vertex");
    ExpectNear(Point3{0, 1, 0} * c.scale * child->GetNodeTM(0),
               c.child + (c.up == ImportOptions::Y ? Point3{0, 0, c.scale} : Point3{0, c.scale, 0}), 1e-5f,
               "vertex in the world");
  }
}

TEST_F(InterchangeImport, AssimpsOwnRootIsFoldedIntoItsChildrenAndAFilesSingleRootStays) {
  // Several glTF roots, or any other format: Assimp's holder node is not a node of the file.
  Import(AssetPath("gltf/FlightHelmet/FlightHelmet.gltf"));
  EXPECT_EQ(scene.Root().Children().size(), 6u);
  Scene boxes;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("3ds/cubes_with_alpha.3DS"), boxes, {}));
  EXPECT_EQ(boxes.Root().Children().size(), 5u);
  // BoxTextured's one root node only turns its child, but it is the file's own.
  Scene box;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/BoxTextured/BoxTextured.glb"), box, {}));
  ASSERT_EQ(box.Root().Children().size(), 1u);
  const SceneNode* top = box.Root().Children()[0];
  EXPECT_EQ(top->GetName(), "nodes[0]");
  EXPECT_EQ(top->ObjectPtr()->GetClassId(), host::kDummyClassId);
  ASSERT_EQ(top->Children().size(), 1u);
  EXPECT_EQ(MeshOf(top->Children()[0])->mesh.NumFaces(), 12);
}

TEST_F(InterchangeImport, NodesWithoutContentAreDummiesAndTooDeepChainsAreHungHigher) {
  GltfWriter g;
  const int chain = workbench::kMaxNodeDepth + 100;
  for (int i = 0; i < chain; ++i) {
    nlohmann::json n = {{"name", "n" + std::to_string(i)}, {"translation", {0, 1, 0}}};
    if (i + 1 < chain) n["children"] = {i + 1};
    g.doc["nodes"].push_back(n);
  }
  g.doc["scenes"] = {{{"nodes", {0}}}};
  WriteText(dir.File("deep.gltf"), g.Text());
  ImportResult r = Import(dir.File("deep.gltf"));
  EXPECT_EQ(r.counts.nodes, static_cast<uint32_t>(chain));
  EXPECT_TRUE(HasWarning(r, "nodes nested too deep attached higher up")) << AllWarnings(r);
  int deepest = 0;
  for (const SceneNode* n : scene.AllNodes()) {
    int d = 0;
    for (const SceneNode* p = n; p; p = p->Parent()) ++d;
    deepest = std::max(deepest, d);
    EXPECT_EQ(n->ObjectPtr()->GetClassId(), host::kDummyClassId);
  }
  EXPECT_LE(deepest, workbench::kMaxNodeDepth + 1);
  // World transforms survive the move: the last node is still `chain` units up.
  ExpectNear(scene.FindNode("n" + std::to_string(chain - 1))->GetNodeTM(0).GetTrans(),
             Point3{0, 0, static_cast<float>(chain)}, 1e-2f, "last node");
}

// ---- meshes ---------------------------------------------------------------------------

TEST_F(InterchangeImport, TextureCoordinatesKeepTheHostsVWhichIsOneMinusGltfs) {
  Import(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  const auto* mesh = MeshOf(scene.FindNode("nodes[1]"));
  ASSERT_NE(mesh, nullptr);
  const host::MapChannel* ch = mesh->mesh.FindMap(1);
  ASSERT_TRUE(ch && !ch->Empty());
  RawGltf raw = ReadRawGltf(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  std::vector<float> uv =
      AccessorFloats(raw, raw.doc["meshes"][0]["primitives"][0]["attributes"]["TEXCOORD_0"]);
  const std::vector<std::size_t> corners = FileCorners(raw, raw.doc["meshes"][0]["primitives"][0]);
  ASSERT_EQ(corners.size(), ch->tfaces.size() * 3);
  for (std::size_t c = 0; c < corners.size(); ++c) {
    const Point3 t = ch->tverts[ch->tfaces[c / 3][c % 3]];
    EXPECT_NEAR(t.x, uv[2 * corners[c]], 1e-6f);
    EXPECT_NEAR(1.0f - t.y, uv[2 * corners[c] + 1], 1e-6f);
  }
}

TEST_F(InterchangeImport, NormalsAreCarriedExactlyAndFlatFacesHaveNoSmoothingGroup) {
  Import(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  host::Mesh mesh = MeshOf(scene.FindNode("nodes[1]"))->mesh;
  RawGltf raw = ReadRawGltf(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  std::vector<float> n = AccessorFloats(raw, raw.doc["meshes"][0]["primitives"][0]["attributes"]["NORMAL"]);
  // Corner by corner: the box's 24 file vertices hold six distinct normals, which the mesh
  // keeps once each.
  const std::vector<std::size_t> corners = FileCorners(raw, raw.doc["meshes"][0]["primitives"][0]);
  ASSERT_EQ(mesh.faces.size() * 3, corners.size());
  EXPECT_EQ(mesh.explicitNormals.size(), 6u);
  for (std::size_t c = 0; c < corners.size(); ++c) {
    const std::size_t i = corners[c];
    ExpectNear(mesh.explicitNormals[mesh.normalFaces[c / 3][c % 3]], {n[3 * i], n[3 * i + 1], n[3 * i + 2]},
               0.0f, "normal");
  }
  // A box's corners carry their face's normal: faceted.
  for (const auto& f : mesh.faces) EXPECT_EQ(f.smGroup, 0u);

  Scene fox;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/Fox/Fox.glb"), fox, {}));
  // Without normals in the file the faces are faceted, as glTF says.
  for (const SceneNode* node : fox.AllNodes())
    if (const auto* m = MeshOf(node)) {
      for (const auto& f : m->mesh.faces) EXPECT_EQ(f.smGroup, 0u);
    }
}

TEST_F(InterchangeImport, MeshesOfOneNodeBecomeOneObjectWithAMultiMaterialAndSharedMeshesInstances) {
  Import(AssetPath("gltf/CesiumMilkTruck/CesiumMilkTruck.glb"));
  const SceneNode* truck = scene.FindNode("Cesium_Milk_Truck");
  ASSERT_NE(MeshOf(truck), nullptr);
  const auto* multi = dynamic_cast<const workbench::MultiMtl*>(truck->MtlPtr().get());
  ASSERT_NE(multi, nullptr);
  ASSERT_EQ(multi->NumSubMtls(), 3);
  EXPECT_EQ(multi->GetSubMtl(0)->GetName(), "truck");
  EXPECT_EQ(multi->GetSubMtl(1)->GetName(), "glass");
  EXPECT_EQ(multi->GetSubMtl(2)->GetName(), "window_trim");
  std::array<int, 3> perId{};
  for (const auto& f : MeshOf(truck)->mesh.faces) ++perId.at(f.matId);
  EXPECT_EQ(perId, (std::array<int, 3>{1744, 56, 288}));

  std::vector<const SceneNode*> wheels;
  for (const SceneNode* n : scene.AllNodes())
    if (n->GetName().rfind("Wheels", 0) == 0 && MeshOf(n)) wheels.push_back(n);
  ASSERT_EQ(wheels.size(), 2u);
  EXPECT_EQ(wheels[0]->GetObjectRef(), wheels[1]->GetObjectRef());
  EXPECT_EQ(wheels[0]->MtlPtr(), wheels[1]->MtlPtr());
}

TEST_F(InterchangeImport, TwoUvSetsBecomeChannelsOneAndTwoWithTheirTextures) {
  ImportResult r = Import(AssetPath("gltf/MultiUVTest/MultiUVTest.glb"));
  EXPECT_TRUE(r.warnings.empty()) << AllWarnings(r);
  const SceneNode* cube = scene.FindNode("Cube");
  ASSERT_NE(MeshOf(cube), nullptr);
  EXPECT_TRUE(MeshOf(cube)->mesh.HasMap(1));
  EXPECT_TRUE(MeshOf(cube)->mesh.HasMap(2));
  EXPECT_FALSE(MeshOf(cube)->mesh.HasMap(3));
  const auto* mtl = dynamic_cast<const workbench::StandardMtl*>(cube->MtlPtr().get());
  ASSERT_NE(mtl, nullptr);
  ASSERT_NE(mtl->GetSubTexmap(1), nullptr);
  ASSERT_NE(mtl->GetSubTexmap(5), nullptr);
  EXPECT_EQ(mtl->GetSubTexmap(1)->GetUVGen()->mapChannel, 1);
  EXPECT_EQ(mtl->GetSubTexmap(5)->GetUVGen()->mapChannel, 2);
  // The embedded images were written into the texture folder.
  for (int slot : {1, 5}) {
    std::vector<uint8_t> png = ReadBytes(mtl->GetSubTexmap(slot)->GetMapFileName());
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(std::filesystem::path(mtl->GetSubTexmap(slot)->GetMapFileName()).parent_path(),
              dir.File("textures"));
  }
}

TEST_F(InterchangeImport, MoreThanEightUvSetsKeepEightWithAWarning) {
  GltfWriter g;
  nlohmann::json attrs = {{"POSITION", g.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3")}};
  for (int k = 0; k < 10; ++k)
    attrs["TEXCOORD_" + std::to_string(k)] = g.Floats({0.1f * k, 0, 1, 0, 0, 1}, "VEC2");
  g.doc["meshes"] = {{{"name", "many"}, {"primitives", {{{"attributes", attrs}}}}}};
  g.doc["nodes"] = {{{"name", "tri"}, {"mesh", 0}}};
  g.doc["scenes"] = {{{"nodes", {0}}}};
  WriteText(dir.File("uv10.gltf"), g.Text());
  ImportResult r = Import(dir.File("uv10.gltf"));
  EXPECT_TRUE(
      HasWarning(r, "1 meshes with more than 8 texture-coordinate sets keep the first 8: many (10 sets)"))
      << AllWarnings(r);
  const auto* m = MeshOf(scene.FindNode("tri"));
  ASSERT_NE(m, nullptr);
  for (int c = 1; c <= 8; ++c) EXPECT_TRUE(m->mesh.HasMap(c)) << c;
  EXPECT_FALSE(m->mesh.HasMap(9));
  EXPECT_FLOAT_EQ(m->mesh.FindMap(8)->tverts[0].x, 0.7f);
}

TEST_F(InterchangeImport, PointsAndLinesAreDroppedWithOneWarningAndPolygonsTriangulated) {
  WriteText(dir.File("mixed.obj"),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\n"
            "f 1 2 3\n"
            "f 1 2 3 5 4\n"
            "l 1 2\nl 2 3\np 4\n");
  ImportResult r = Import(dir.File("mixed.obj"));
  EXPECT_EQ(r.counts.triangles, 4u);
  EXPECT_TRUE(HasWarning(r, "3 points and lines not imported (meshes hold triangles only)"))
      << AllWarnings(r);
  for (const SceneNode* n : scene.AllNodes())
    if (const auto* m = MeshOf(n)) {
      EXPECT_TRUE(m->mesh.IsValid());
    }
}

TEST_F(InterchangeImport, ZeroNormalsTakeTheirFacesNormal) {
  WriteText(dir.File("zero.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 0\nf 1//1 2//1 3//1\n");
  ImportResult r = Import(dir.File("zero.obj"));
  EXPECT_TRUE(HasWarning(r, "3 corners with a zero normal given their face's normal")) << AllWarnings(r);
  for (const SceneNode* n : scene.AllNodes())
    if (const auto* m = MeshOf(n)) {
      host::Mesh mesh = m->mesh;
      mesh.BuildNormals();
      for (int k = 0; k < 3; ++k) ExpectNear(mesh.CornerNormal(0, k), {0, 0, 1}, 1e-6f, "corner");
    }
}

TEST_F(InterchangeImport, IndicesPastTheVerticesNeverReachTheMesh) {
  GltfWriter g;
  const int pos = g.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  const int idx = g.Indices({0, 1, 2, 0, 1, 7});
  g.doc["meshes"] = {{{"primitives", {{{"attributes", {{"POSITION", pos}}}, {"indices", idx}}}}}};
  g.doc["nodes"] = {{{"name", "bad"}, {"mesh", 0}}};
  g.doc["scenes"] = {{{"nodes", {0}}}};
  WriteText(dir.File("bad.gltf"), g.Text());
  ImportResult r = workbench::ImportInterchange(dir.File("bad.gltf"), scene, {});
  if (r.ok) {
    for (const SceneNode* n : scene.AllNodes())
      if (const auto* m = MeshOf(n)) {
        EXPECT_TRUE(m->mesh.IsValid());
      }
  } else {
    EXPECT_NE(r.error.find("bad.gltf"), std::string::npos);
  }
}

// ---- materials -----------------------------------------------------------------------

TEST_F(InterchangeImport, MaterialsKeepColourOpacityAndTexturesInTheirSlots) {
  ImportResult r = Import(AssetPath("gltf/FlightHelmet/FlightHelmet.gltf"));
  EXPECT_EQ(r.counts.materials, 6u);
  const SceneNode* lenses = scene.FindNode("Lenses_low");
  ASSERT_NE(lenses, nullptr);
  const auto* mtl = dynamic_cast<const workbench::StandardMtl*>(lenses->MtlPtr().get());
  ASSERT_NE(mtl, nullptr);
  EXPECT_EQ(mtl->GetName(), "LensesMat");
  const std::string folder = Normal(AssetPath("gltf/FlightHelmet/"));
  EXPECT_EQ(mtl->GetSubTexmap(1)->GetMapFileName(),
            folder + "FlightHelmet_Materials_LensesMat_BaseColor.png");
  EXPECT_EQ(mtl->GetSubTexmap(8)->GetMapFileName(), folder + "FlightHelmet_Materials_LensesMat_Normal.png");
  EXPECT_EQ(mtl->GetSubTexmap(0)->GetMapFileName(),
            folder + "FlightHelmet_Materials_LensesMat_OcclusionRoughMetal.png");
  // The metallic-roughness texture has no slot of its own: it is kept beside them.
  ASSERT_TRUE(mtl->pbr);
  ASSERT_NE(mtl->pbr->metallicRoughnessMap, nullptr);
  EXPECT_EQ(mtl->pbr->metallicRoughnessMap->GetMapFileName(),
            folder + "FlightHelmet_Materials_LensesMat_OcclusionRoughMetal.png");
  EXPECT_FALSE(HasWarning(r, "textures of kinds the Standard material has no slot for")) << AllWarnings(r);

  Scene alpha;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("3ds/cubes_with_alpha.3DS"), alpha, {}));
  bool found = false;
  for (const SceneNode* n : alpha.AllNodes())
    if (auto* m = dynamic_cast<const workbench::StandardMtl*>(n->MtlPtr().get());
        m && m->GetName() == "Transparent") {
      found = true;
      EXPECT_NEAR(m->opacity, 0.83f, 1e-5f);
      ExpectNear(m->diffuse, {0.698039f, 0.0313726f, 0.0f}, 1e-5f, "diffuse");
    }
  EXPECT_TRUE(found);
}

TEST_F(InterchangeImport, AMissingTextureIsNamedInAWarningAndKeptOnTheMap) {
  WriteText(dir.File("m.mtl"), "newmtl Wood\nKd 0.5 0.25 0.125\nmap_Kd textures\\missing_wood.png\n");
  WriteText(dir.File("m.obj"),
            "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl Wood\nf 1/1 2/2 3/3\n");
  ImportResult r = Import(dir.File("m.obj"));
  const std::string expected =
      "texture \"textures\\missing_wood.png\" of material \"Wood\" not found (looked for \"" +
      dir.File("textures/missing_wood.png") + "\")";
  EXPECT_TRUE(HasWarning(r, expected)) << AllWarnings(r);
  for (const SceneNode* n : scene.AllNodes())
    if (auto* m = dynamic_cast<const workbench::StandardMtl*>(n->MtlPtr().get())) {
      ASSERT_NE(m->GetSubTexmap(1), nullptr);
      EXPECT_EQ(m->GetSubTexmap(1)->GetMapFileName(), dir.File("textures/missing_wood.png"));
      ExpectNear(m->diffuse, {0.5f, 0.25f, 0.125f}, 1e-6f, "diffuse");
    }
}

TEST_F(InterchangeImport, TexturesNamedWithAnotherMachinesPathAreFoundBesideTheSource) {
  // The MTL names its maps ".\file.jpg"; the spider's textures lie beside it.
  ImportResult r = Import(AssetPath("obj/spider/spider.obj"));
  EXPECT_FALSE(HasWarning(r, "not found")) << AllWarnings(r);
  const SceneNode* kopf = scene.FindNode("Kopf");
  ASSERT_NE(kopf, nullptr);
  EXPECT_EQ(kopf->GetMtl()->GetSubTexmap(1)->GetMapFileName(),
            Normal(AssetPath("obj/spider/wal67ar_small.jpg")));
}

TEST_F(InterchangeImport, EmbeddedImagesWithoutATextureFolderAreNamedButNotWritten) {
  Scene s;
  ImportResult r = workbench::ImportInterchange(AssetPath("gltf/BoxTextured/BoxTextured.glb"), s, {});
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(HasWarning(r, "1 embedded images not written (no texture folder given)")) << AllWarnings(r);
  EXPECT_EQ(s.FindNode("nodes[1]")->GetMtl()->GetSubTexmap(1)->GetMapFileName(), "BoxTextured_0.png");

  // Imported twice into one folder, the image is written once and then reused.
  Import(AssetPath("gltf/BoxTextured/BoxTextured.glb"));
  Scene again;
  ImportOptions o;
  o.textureDir = dir.File("textures");
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/BoxTextured/BoxTextured.glb"), again, o));
  EXPECT_EQ(again.FindNode("nodes[1]")->GetMtl()->GetSubTexmap(1)->GetMapFileName(),
            dir.File("textures/BoxTextured_0.png"));
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.File("textures"))) ++files;
  EXPECT_EQ(files, 1);
}

// ---- cameras, lights, user properties ----------------------------------------------------

TEST_F(InterchangeImport, CamerasKeepTheirFieldOfViewAndOrthographicOnesAreReported) {
  ImportResult r = Import(AssetPath("gltf/Cameras/Cameras.gltf"));
  EXPECT_EQ(r.counts.cameras, 2u);
  const auto* cam =
      dynamic_cast<const workbench::CameraObject*>(scene.FindNode("nodes[1]")->ObjectPtr().get());
  ASSERT_NE(cam, nullptr);
  EXPECT_NEAR(cam->fov, 0.7f, 1e-6f);
  EXPECT_TRUE(HasWarning(r, "1 orthographic cameras imported as perspective cameras: nodes[2]"))
      << AllWarnings(r);

  // A wide view: MultiUVTest's camera has a vertical field of view of 0.50338 at 16:9.
  Scene wide;
  ASSERT_TRUE(workbench::ImportInterchange(AssetPath("gltf/MultiUVTest/MultiUVTest.glb"), wide, {}));
  const auto* w =
      dynamic_cast<const workbench::CameraObject*>(wide.FindNode("Correction_Camera")->ObjectPtr().get());
  ASSERT_NE(w, nullptr);
  EXPECT_NEAR(w->fov, 2 * std::atan(16.0f / 9.0f * std::tan(0.5033799f / 2)), 1e-5f);

  // Assimp's stand-in mesh for a file without geometry is not imported.
  Scene cams;
  ImportResult c =
      workbench::ImportInterchange(AssetPath("dae/blender-cameras-lights/cameras.dae"), cams, {});
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.counts.cameras, 3u);
  EXPECT_EQ(c.counts.meshes, 0u);
}

TEST_F(InterchangeImport, LightsKeepKindColourMultiplierAndConesInDegrees) {
  GltfWriter g;
  g.doc["extensionsUsed"] = {"KHR_lights_punctual"};
  g.doc["extensions"]["KHR_lights_punctual"]["lights"] = {
      {{"type", "spot"},
       {"color", {1, 0.5, 0.25}},
       {"intensity", 3},
       {"spot", {{"innerConeAngle", 0.3}, {"outerConeAngle", 0.5}}}},
      {{"type", "directional"}, {"color", {0.5, 0.5, 0.5}}}};
  g.doc["nodes"] = {{{"name", "spot"},
                     {"translation", {1, 2, 3}},
                     {"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}},
                    {{"name", "sun"}, {"extensions", {{"KHR_lights_punctual", {{"light", 1}}}}}}};
  g.doc["scenes"] = {{{"nodes", {0, 1}}}};
  WriteText(dir.File("lights.gltf"), g.Text());
  ImportResult r = Import(dir.File("lights.gltf"));
  EXPECT_EQ(r.counts.lights, 2u);
  const auto* spot = dynamic_cast<const workbench::LightObject*>(scene.FindNode("spot")->ObjectPtr().get());
  ASSERT_NE(spot, nullptr);
  EXPECT_EQ(spot->GetClassId(), host::kFreeSpotLightClassId);
  ExpectNear(spot->color, {1, 0.5f, 0.25f}, 1e-6f, "colour");
  EXPECT_NEAR(spot->multiplier, 3.0f, 1e-6f);
  // glTF gives half-angles from the axis; the host keeps full cones in degrees.
  EXPECT_NEAR(spot->hotspot, 0.6f * 180.0f / 3.14159265f, 1e-3f);
  EXPECT_NEAR(spot->falloff, 1.0f * 180.0f / 3.14159265f, 1e-3f);
  ExpectNear(scene.FindNode("spot")->GetNodeTM(0).GetTrans(), {1, -3, 2}, 1e-6f, "spot position");
  // Still looking down its -Z: the light shines along the file's -Z, which is the host's +Y.
  ExpectNear(host::Normalize(scene.FindNode("spot")->GetNodeTM(0).GetRow(2)), {0, -1, 0}, 1e-6f, "spot axis");
  const auto* sun = dynamic_cast<const workbench::LightObject*>(scene.FindNode("sun")->ObjectPtr().get());
  ASSERT_NE(sun, nullptr);
  EXPECT_EQ(sun->GetClassId(), host::kFreeDirectionalLightClassId);
  ExpectNear(sun->color, {0.5f, 0.5f, 0.5f}, 1e-6f, "sun colour");
  EXPECT_EQ(sun->multiplier, 1.0f);

  Scene blender;
  ImportResult b =
      workbench::ImportInterchange(AssetPath("dae/blender-cameras-lights/lights.dae"), blender, {});
  ASSERT_TRUE(b.ok);
  auto kind = [&](const char* name) {
    return dynamic_cast<const workbench::LightObject*>(blender.FindNode(name)->ObjectPtr().get())
        ->GetClassId();
  };
  EXPECT_EQ(kind("Lamp"), host::kOmniLightClassId);
  EXPECT_EQ(kind("Sun"), host::kFreeDirectionalLightClassId);
  EXPECT_EQ(kind("Spot"), host::kFreeSpotLightClassId);
  EXPECT_EQ(kind("Hemi"), host::kAmbientLightClassId);
  EXPECT_EQ(kind("Area"), host::kOmniLightClassId);
  const auto* colladaSpot =
      dynamic_cast<const workbench::LightObject*>(blender.FindNode("Spot")->ObjectPtr().get());
  EXPECT_NEAR(colladaSpot->hotspot, 45.0f, 1e-3f);
  EXPECT_NEAR(colladaSpot->falloff, 135.0f, 1e-3f);
}

TEST_F(InterchangeImport, ExtrasBecomeUserPropertiesOneKeyValuePerLine) {
  GltfWriter g;
  g.doc["nodes"] = {
      {{"name", "a"},
       {"extras", {{"foo", "bar baz"}, {"n", 3}, {"flag", true}, {"x", 1.5}, {"nested", {{"k", "v"}}}}}},
      {{"name", "b"}}};
  g.doc["scenes"] = {{{"nodes", {0, 1}}}};
  WriteText(dir.File("extras.gltf"), g.Text());
  Import(dir.File("extras.gltf"));
  const std::string props = scene.FindNode("a")->GetUserPropBuffer();
  for (const char* line : {"foo=bar baz", "n=3", "flag=true", "x=1.5", "nested.k=v"})
    EXPECT_NE(props.find(line), std::string::npos) << line << " in\n" << props;
  EXPECT_EQ(std::count(props.begin(), props.end(), '\n'), 4);
  EXPECT_EQ(scene.FindNode("b")->GetUserPropBuffer(), "");
}

TEST(InterchangeUserProps, FbxPutsTheArtistsTextFirstAndLeavesOutModelSettings) {
  aiMetadata* md = aiMetadata::Alloc(5);
  md->Set(0, "UserProperties", aiString("SMOOTH=1\r\nglass_dummy\r\n"));
  md->Set(1, "IsNull", false);
  md->Set(2, "InheritType", int32_t(1));
  md->Set(3, "Weight", 2.5f);
  md->Set(4, "Note", aiString("two\nlines"));
  EXPECT_EQ(workbench::interchange::UserPropsText(md, true),
            "SMOOTH=1\r\nglass_dummy\nWeight=2.5\nNote=two lines");
  // Other formats keep every key.
  EXPECT_EQ(
      workbench::interchange::UserPropsText(md, false),
      "UserProperties=SMOOTH=1  glass_dummy  \nIsNull=false\nInheritType=1\nWeight=2.5\nNote=two lines");
  delete md;
}

// ---- what the model cannot hold, and failures --------------------------------------------

TEST_F(InterchangeImport, WhatTheModelCannotHoldIsReportedOncePerKind) {
  ImportResult fox = Import(AssetPath("gltf/Fox/Fox.glb"));
  // One timeline: the first animation is imported, the others would animate the same joints.
  EXPECT_TRUE(HasWarning(fox,
                         "2 animations not imported: they animate nodes an earlier animation animates "
                         "(one timeline): Walk, Run"))
      << AllWarnings(fox);
  EXPECT_EQ(fox.warnings.size(), 1u) << AllWarnings(fox);
  // The skeleton's joints stay in the hierarchy, under the skeleton's root.
  EXPECT_EQ(fox.counts.nodes, 26u);

  Scene morph;
  ImportResult m =
      workbench::ImportInterchange(AssetPath("gltf/AnimatedMorphCube/AnimatedMorphCube.glb"), morph, {});
  // The targets become a Morpher; the animation of their weights has no place to go.
  EXPECT_FALSE(HasWarning(m, "morph targets not imported")) << AllWarnings(m);
  EXPECT_TRUE(HasWarning(m, "1 morph target weight animations not imported: Square")) << AllWarnings(m);
}

TEST_F(InterchangeImport, FilesThatCannotBeReadFailWithTheFileAndTheReasonAndChangeNothing) {
  WriteText(dir.File("junk.glb"), std::string("glTF\x02\0\0\0\xff\xff\xff\x7f garbage", 20));
  struct Case {
    std::string path;
    ImportOptions options;
    std::string error;
  };
  ImportOptions zero;
  zero.scale = 0;
  ImportOptions nan;
  nan.scale = std::nanf("");
  for (const Case& c :
       {Case{dir.File("junk.glb"), {}, "\"" + dir.File("junk.glb") + "\": Assimp cannot read it: "},
        Case{dir.File("absent.fbx"), {}, "\"" + dir.File("absent.fbx") + "\": no such file"},
        Case{dir.Path(), {}, "\"" + dir.Path() + "\": not a regular file"},
        Case{AssetPath("obj/wuson/WusonOBJ.obj"), zero, "the scale must be a number above zero"},
        Case{AssetPath("obj/wuson/WusonOBJ.obj"), nan, "the scale must be a number above zero"}}) {
    ImportResult r = workbench::ImportInterchange(c.path, scene, c.options);
    EXPECT_FALSE(r.ok) << c.path;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    EXPECT_EQ(scene.NodeCount(), 1u);
  }
}

TEST(InterchangeLog, OneLinePerImportWithOptionsCountsAndWarnings) {
  ImportResult r;
  r.ok = true;
  r.counts.nodes = 3;
  r.counts.triangles = 12;
  r.warnings = {"first", "second\nline"};
  ImportOptions o;
  o.scale = 0.01f;
  o.upAxis = ImportOptions::Z;
  std::string line = workbench::ImportLogLine("/a/b.fbx", o, r);
  EXPECT_NE(
      line.find(" import \"/a/b.fbx\" scale=0.01 up=z nodes=3 meshes=0 triangles=12 materials=0 textures=0 "
                "cameras=0 lights=0 warnings=2: first | second line"),
      std::string::npos)
      << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);

  ImportResult failed;
  failed.error = "\"x.obj\": no such file";
  EXPECT_NE(
      workbench::ImportLogLine("x.obj", {}, failed).find("scale=1 up=y failed: \"x.obj\": no such file"),
      std::string::npos);

  TempDir dir;
  std::string error;
  ASSERT_TRUE(workbench::AppendInterchangeLog(dir.File("logs"), "one", error)) << error;
  ASSERT_TRUE(workbench::AppendInterchangeLog(dir.File("logs"), "two", error)) << error;
  std::vector<uint8_t> text = ReadBytes(dir.File("logs/interchange.log"));
  EXPECT_EQ(std::string(text.begin(), text.end()), "one\ntwo\n");
}

}  // namespace
}  // namespace vorlan::testing

namespace vorlan::testing {
namespace {

// A scene as a damaged file could make Assimp hand it over.
TEST(InterchangeHostileScene, IndicesPastEveryTableAreIgnoredWithWarnings) {
  auto ai = std::make_unique<aiScene>();
  ai->mNumMeshes = 2;
  ai->mMeshes = new aiMesh* [2] { new aiMesh(), nullptr };
  aiMesh& m = *ai->mMeshes[0];
  m.mName = aiString("m");
  m.mNumVertices = 3;
  m.mVertices = new aiVector3D[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  m.mNumFaces = 3;
  m.mFaces = new aiFace[3];
  for (unsigned f = 0; f < 3; ++f) {
    m.mFaces[f].mNumIndices = 3;
    m.mFaces[f].mIndices = new unsigned[3]{0, 1, f == 1 ? 9u : 2u};
  }
  m.mFaces[2].mNumIndices = 0;  // no indices at all
  delete[] m.mFaces[2].mIndices;
  m.mFaces[2].mIndices = nullptr;
  m.mMaterialIndex = 5;  // the scene has one material
  ai->mNumMaterials = 1;
  ai->mMaterials = new aiMaterial* [1] { new aiMaterial() };
  aiString missing("*3");  // the scene has no embedded images
  ai->mMaterials[0]->AddProperty(&missing, AI_MATKEY_TEXTURE_DIFFUSE(0));
  ai->mNumCameras = 1;
  ai->mCameras = new aiCamera* [1] { new aiCamera() };
  ai->mCameras[0]->mName = aiString("nobody");
  ai->mRootNode = new aiNode("root");
  auto* node = new aiNode("node");
  node->mNumMeshes = 3;
  node->mMeshes = new unsigned[3]{0, 1, 7};  // a mesh, a null mesh, one past the table
  ai->mRootNode->addChildren(1, &node);

  Scene scene;
  workbench::ImportResult r = workbench::interchange::ConvertAssimpScene(*ai, "/nowhere/x.fbx", scene, {});
  ASSERT_TRUE(r.ok) << r.error;
  const SceneNode* n = scene.FindNode("node");
  ASSERT_NE(MeshOf(n), nullptr);
  EXPECT_TRUE(MeshOf(n)->mesh.IsValid());
  EXPECT_EQ(MeshOf(n)->mesh.NumFaces(), 1);
  EXPECT_EQ(n->GetMtl()->GetName(), "Default");
  for (const char* w : {"2 faces with missing or out-of-range vertices dropped: m",
                        "2 mesh references to meshes the file does not hold ignored: node",
                        "1 meshes naming a material the file does not hold given a default material",
                        "1 cameras without a node of their name not imported: nobody"})
    EXPECT_TRUE(HasWarning(r, w)) << w << "\n" << AllWarnings(r);
}

}  // namespace
}  // namespace vorlan::testing
