// Writing scenes as binary glTF: what the JSON says about transforms, meshes, materials,
// cameras, lights and user properties, and scenes read back equal to what was written.
#include "interchange/export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <set>

#include "interchange/export_parts.h"
#include "interchange/test_files.h"
#include "workbench/materials.h"

namespace vorlan::testing {
namespace {

using host::Matrix3;
using host::Point3;
using nlohmann::json;
using workbench::GlbExportOptions;
using workbench::ImportOptions;
using workbench::Scene;
using workbench::SceneNode;

// A 1 x 1 PNG.
const std::vector<uint8_t> kPng = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D,
                                   0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                                   0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00,
                                   0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
                                   0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00,
                                   0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

constexpr float kPi = std::numbers::pi_v<float>;

struct Exported {
  workbench::GlbExportResult result;
  RawGltf gltf;
};

Exported Export(const Scene& scene, GlbExportOptions options = {}) {
  Exported e;
  std::vector<uint8_t> bytes;
  e.result = workbench::BuildGlb(scene, options, bytes);
  EXPECT_TRUE(e.result.ok) << e.result.error;
  workbench::interchange::GlbParts parts;
  std::string error;
  EXPECT_TRUE(workbench::interchange::SplitGlb(bytes, parts, error)) << error;
  e.gltf.doc = json::parse(parts.json);
  e.gltf.bin = parts.bin;
  return e;
}

const json* NodeNamed(const json& doc, const std::string& name) {
  for (const json& n : doc["nodes"])
    if (n.value("name", "") == name) return &n;
  return nullptr;
}

using Mat4 = std::array<float, 16>;  // column-major, as glTF writes it

Mat4 MatrixOf(const json& node) {
  Mat4 m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (node.contains("matrix"))
    for (int i = 0; i < 16; ++i) m[static_cast<std::size_t>(i)] = node["matrix"][i].get<float>();
  return m;
}

Mat4 Mul(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      float s = 0;
      for (int k = 0; k < 4; ++k)
        s += a[static_cast<std::size_t>(k * 4 + row)] * b[static_cast<std::size_t>(c * 4 + k)];
      r[static_cast<std::size_t>(c * 4 + row)] = s;
    }
  return r;
}

Point3 Apply(const Mat4& m, Point3 p) {
  return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
          m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

// The world matrix of a node: the product of its ancestors' matrices.
Mat4 WorldOf(const json& doc, std::size_t index) {
  Mat4 world = MatrixOf(doc["nodes"][index]);
  for (bool found = true; found;) {
    found = false;
    for (std::size_t p = 0; p < doc["nodes"].size(); ++p)
      for (const json& c : doc["nodes"][p].value("children", json::array()))
        if (c.get<std::size_t>() == index) {
          world = Mul(MatrixOf(doc["nodes"][p]), world);
          index = p;
          found = true;
        }
  }
  return world;
}

std::size_t IndexOf(const json& doc, const std::string& name) {
  for (std::size_t i = 0; i < doc["nodes"].size(); ++i)
    if (doc["nodes"][i].value("name", "") == name) return i;
  ADD_FAILURE() << "no node " << name;
  return 0;
}

std::vector<uint32_t> AccessorIndices(const RawGltf& g, int accessor) {
  const json& a = g.doc["accessors"][accessor];
  const json& v = g.doc["bufferViews"][a["bufferView"].get<int>()];
  const std::size_t base = v.value("byteOffset", 0) + a.value("byteOffset", 0);
  const int type = a["componentType"].get<int>();
  const std::size_t size = type == 5125 ? 4 : type == 5123 ? 2 : 1;
  std::vector<uint32_t> out;
  for (std::size_t i = 0; i < a["count"].get<std::size_t>(); ++i) {
    uint32_t x = 0;
    for (std::size_t b = 0; b < size; ++b) x |= uint32_t(g.bin.at(base + i * size + b)) << (8 * b);
    out.push_back(x);
  }
  return out;
}

// A unit quad of two triangles in the XY plane, with map channels 1 and 2.
std::shared_ptr<workbench::MeshObject> Quad() {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  m.faces = {{{0, 1, 2}, 1, 0}, {{0, 2, 3}, 1, 1}};
  for (int c : {1, 2}) {
    m.Map(c).tverts = {{0, 0, 0}, {1, 0, 0}, {1, 0.25f * c, 0}, {0, 1, 0}};
    m.Map(c).tfaces = {{0, 1, 2}, {0, 2, 3}};
  }
  return std::make_shared<workbench::MeshObject>(std::move(m));
}

TEST(InterchangeExport, LocalTransformsComeFromWorldOnesInTheFilesAxesAndUnits) {
  Scene scene;
  SceneNode& parent = scene.CreateNode("parent");
  parent.SetTransform(Matrix3::RotationZ(kPi / 2) * Matrix3::Translation({1, 2, 3}));
  SceneNode& child = scene.CreateNode("child", &parent);
  child.SetTransform(Matrix3::Translation({1, 2, 8}));
  for (auto [scale, up] :
       {std::pair{1.0f, ImportOptions::Y}, {2.0f, ImportOptions::Y}, {1.0f, ImportOptions::Z}}) {
    Exported e = Export(scene, {scale, up});
    const json& doc = e.gltf.doc;
    // The host's root holds nothing, so its children are the file's top nodes.
    EXPECT_EQ(doc["scenes"][0]["nodes"], json::array({IndexOf(doc, "parent")}));
    const Point3 want = up == ImportOptions::Y ? Point3{1, 8, -2} / scale : Point3{1, 2, 8} / scale;
    const Point3 got = Apply(WorldOf(doc, IndexOf(doc, "child")), {});
    EXPECT_NEAR(got.x, want.x, 1e-5f);
    EXPECT_NEAR(got.y, want.y, 1e-5f);
    EXPECT_NEAR(got.z, want.z, 1e-5f);
    // The parent's +X axis turned to +Y in the host: the file's +Y (Y-up) or +Y (Z-up).
    const Point3 axis = Apply(WorldOf(doc, IndexOf(doc, "parent")), {1, 0, 0}) -
                        Apply(WorldOf(doc, IndexOf(doc, "parent")), {});
    EXPECT_NEAR(axis.x, 0.0f, 1e-6f);
    EXPECT_NEAR(up == ImportOptions::Y ? -axis.z : axis.y, 1.0f, 1e-6f);
  }
}

TEST(InterchangeExport, MeshesSplitByTheSubMaterialEachFaceShows) {
  Scene scene;
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  m.faces = {{{0, 1, 2}, 0, 0}, {{1, 3, 2}, 0, 1}, {{0, 3, 1}, 0, 2}};
  auto multi = std::make_shared<workbench::MultiMtl>("multi", 0);
  multi->subs = {std::make_shared<workbench::StandardMtl>("A"),
                 std::make_shared<workbench::StandardMtl>("B")};
  SceneNode& n = scene.CreateNode("n");
  n.SetObject(std::make_shared<workbench::MeshObject>(m));
  n.SetMtl(multi);
  // An instance shares the file's mesh.
  SceneNode& twin = scene.CreateNode("twin");
  twin.SetObject(n.ObjectPtr());
  twin.SetMtl(multi);
  Exported e = Export(scene);
  const json& doc = e.gltf.doc;
  ASSERT_TRUE(NodeNamed(doc, "n")->contains("mesh"));
  const int mesh = (*NodeNamed(doc, "n"))["mesh"].get<int>();
  EXPECT_EQ((*NodeNamed(doc, "twin"))["mesh"], mesh);
  std::map<std::string, std::size_t> triangles;  // material name -> indices / 3
  for (const json& p : doc["meshes"][mesh]["primitives"])
    triangles[doc["materials"][p["material"].get<int>()]["name"]] +=
        AccessorIndices(e.gltf, p["indices"]).size() / 3;
  // Material ID 2 wraps round to the first of two sub-materials, as the host picks it.
  EXPECT_EQ(triangles, (std::map<std::string, std::size_t>{{"A", 2}, {"B", 1}}));
}

TEST(InterchangeExport, MaterialsGiveTheirFactorsAndEmbedTheirTexturesWithTheirUvSet) {
  TempDir dir;
  {
    std::ofstream png(dir.File("wood.png"), std::ios::binary);
    png.write(reinterpret_cast<const char*>(kPng.data()), static_cast<std::streamsize>(kPng.size()));
  }
  WriteText(dir.File("old.tga"), "not a png");
  Scene scene;
  auto mtl = std::make_shared<workbench::StandardMtl>("Wood");
  mtl->diffuse = {0.2f, 0.4f, 0.6f};
  mtl->opacity = 0.5f;
  mtl->twoSided = true;
  auto tex = std::make_shared<workbench::BitmapTex>(dir.File("wood.png"));
  tex->uvGen.mapChannel = 2;
  mtl->SetMap(1, tex);
  mtl->SetMap(8, std::make_shared<workbench::BitmapTex>(dir.File("missing.png")));
  mtl->SetMap(5, std::make_shared<workbench::BitmapTex>(dir.File("old.tga")));
  mtl->SetMap(2, std::make_shared<workbench::BitmapTex>(dir.File("wood.png")));
  SceneNode& n = scene.CreateNode("quad");
  n.SetObject(Quad());
  n.SetMtl(mtl);

  Exported e = Export(scene);
  const json& m = e.gltf.doc["materials"][0];
  EXPECT_EQ(m["name"], "Wood");
  EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorFactor"], json::array({0.2f, 0.4f, 0.6f, 0.5f}));
  EXPECT_EQ(m["pbrMetallicRoughness"]["metallicFactor"], 0.0);
  EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorTexture"]["texCoord"], 1);
  EXPECT_EQ(m["alphaMode"], "BLEND");
  EXPECT_EQ(m["doubleSided"], true);
  EXPECT_FALSE(m.contains("normalTexture"));
  EXPECT_FALSE(m.contains("emissiveTexture"));
  ASSERT_EQ(e.gltf.doc["images"].size(), 1u);
  EXPECT_EQ(e.gltf.doc["images"][0]["mimeType"], "image/png");
  const json& attrs = e.gltf.doc["meshes"][0]["primitives"][0]["attributes"];
  EXPECT_TRUE(attrs.contains("TEXCOORD_0") && attrs.contains("TEXCOORD_1"));

  const auto& w = e.result.warnings;
  auto has = [&](const std::string& text) {
    return std::any_of(w.begin(), w.end(),
                       [&](const std::string& s) { return s.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(
      has("texture \"" + dir.File("missing.png") + "\" of material \"Wood\" cannot be read; not exported"));
  EXPECT_TRUE(has("texture \"" + dir.File("old.tga") + "\" of material \"Wood\" is neither PNG nor JPEG"));
  EXPECT_TRUE(has("1 maps in slots glTF has no texture for not exported: Wood slot 2"));
}

TEST(InterchangeExport, CamerasAndLightsGoIntoTheJson) {
  Scene scene;
  auto cam = std::make_shared<workbench::CameraObject>();
  cam->fov = kPi / 2;
  scene.CreateNode("cam").SetObject(cam);
  auto spot = std::make_shared<workbench::LightObject>(host::kFreeSpotLightClassId);
  spot->hotspot = 30;
  spot->falloff = 60;
  spot->color = {1, 0.5f, 0.25f};
  spot->multiplier = 2;
  spot->attenEnd = 10;
  scene.CreateNode("spot").SetObject(spot);
  auto off = std::make_shared<workbench::LightObject>(host::kOmniLightClassId);
  off->on = false;
  scene.CreateNode("off").SetObject(off);
  scene.CreateNode("amb").SetObject(std::make_shared<workbench::LightObject>(host::kAmbientLightClassId));

  Exported e = Export(scene, {2.0f, ImportOptions::Y});
  const json& doc = e.gltf.doc;
  ASSERT_EQ(doc["cameras"].size(), 1u);
  EXPECT_EQ((*NodeNamed(doc, "cam"))["camera"], 0);
  EXPECT_NEAR(doc["cameras"][0]["perspective"]["yfov"].get<float>(), 2 * std::atan(0.75f), 1e-6f);
  EXPECT_NEAR(doc["cameras"][0]["perspective"]["aspectRatio"].get<float>(), 4.0f / 3.0f, 1e-6f);

  const json& lights = doc["extensions"]["KHR_lights_punctual"]["lights"];
  ASSERT_EQ(lights.size(), 2u);
  const json& s = lights[(*NodeNamed(doc, "spot"))["extensions"]["KHR_lights_punctual"]["light"].get<int>()];
  EXPECT_EQ(s["type"], "spot");
  EXPECT_EQ(s["color"], json::array({1.0f, 0.5f, 0.25f}));
  EXPECT_EQ(s["intensity"], 2.0f);
  EXPECT_NEAR(s["range"].get<float>(), 5.0f, 1e-6f);
  EXPECT_NEAR(s["spot"]["innerConeAngle"].get<float>(), 15 * kPi / 180, 1e-6f);
  EXPECT_NEAR(s["spot"]["outerConeAngle"].get<float>(), 30 * kPi / 180, 1e-6f);
  const json& o = lights[(*NodeNamed(doc, "off"))["extensions"]["KHR_lights_punctual"]["light"].get<int>()];
  EXPECT_EQ(o["type"], "point");
  EXPECT_EQ(o["intensity"], 0.0f);
  EXPECT_FALSE(NodeNamed(doc, "amb")->contains("extensions"));
  EXPECT_NE(std::find(doc["extensionsUsed"].begin(), doc["extensionsUsed"].end(), "KHR_lights_punctual"),
            doc["extensionsUsed"].end());
  EXPECT_EQ(e.result.warnings,
            std::vector<std::string>{"1 ambient lights not exported (glTF has none): amb"});
}

TEST(InterchangeExport, UserPropertiesBecomeNodeExtras) {
  using workbench::interchange::ExtrasFromUserProps;
  EXPECT_EQ(ExtrasFromUserProps("a=1\r\nglass_dummy\n name = two words \nx=1.5\nflag=false\n\n=lost\na=2"),
            json({{"a", 2}, {"glass_dummy", true}, {"name", "two words"}, {"x", 1.5}, {"flag", false}}));
  EXPECT_EQ(ExtrasFromUserProps(""), json::object());

  Scene scene;
  scene.CreateNode("n").SetUserProps("SMOOTH=1\nPhy_weight=2.5");
  scene.CreateNode("plain");
  Exported e = Export(scene);
  EXPECT_EQ((*NodeNamed(e.gltf.doc, "n"))["extras"], json({{"SMOOTH", 1}, {"Phy_weight", 2.5}}));
  EXPECT_FALSE(NodeNamed(e.gltf.doc, "plain")->contains("extras"));
}

TEST(InterchangeExport, ObjectOffsetsAreBakedAndMirroringOnesTurnTheFaces) {
  Scene scene;
  SceneNode& n = scene.CreateNode("n");
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  m.faces = {{{0, 1, 2}, 0, 0}};
  n.SetObject(std::make_shared<workbench::MeshObject>(m));
  n.SetObjectOffset({0, 0, 5}, {}, {-1, 1, 1});
  Exported e = Export(scene, {1.0f, ImportOptions::Z});
  const json& prim = e.gltf.doc["meshes"][0]["primitives"][0];
  std::vector<float> pos = AccessorFloats(e.gltf, prim["attributes"]["POSITION"]);
  std::vector<float> nrm = AccessorFloats(e.gltf, prim["attributes"]["NORMAL"]);
  std::vector<uint32_t> idx = AccessorIndices(e.gltf, prim["indices"]);
  ASSERT_EQ(idx.size(), 3u);
  auto p = [&](uint32_t i) { return Point3{pos[3 * i], pos[3 * i + 1], pos[3 * i + 2]}; };
  // The offset moved the triangle up by 5 and mirrored it in X.
  EXPECT_EQ(p(idx[0]) + p(idx[1]) + p(idx[2]), (Point3{-1, 1, 15}));
  // Its winding was turned so that it still faces along its normal.
  const Point3 facing = host::Cross(p(idx[1]) - p(idx[0]), p(idx[2]) - p(idx[0]));
  EXPECT_GT(host::Dot(facing, Point3{nrm[0], nrm[1], nrm[2]}), 0.0f);
}

TEST(InterchangeExport, ScenesReadBackAsTheyWereWritten) {
  TempDir dir;
  {
    std::ofstream png(dir.File("wood.png"), std::ios::binary);
    png.write(reinterpret_cast<const char*>(kPng.data()), static_cast<std::streamsize>(kPng.size()));
  }
  Scene scene;
  auto mtl = std::make_shared<workbench::StandardMtl>("Wood");
  mtl->diffuse = {0.25f, 0.5f, 0.75f};
  mtl->SetMap(1, std::make_shared<workbench::BitmapTex>(dir.File("wood.png")));
  SceneNode& a = scene.CreateNode("a");
  a.SetTransform(Matrix3::RotationX(0.3f) * Matrix3::Translation({1, 2, 3}));
  a.SetObject(Quad());
  a.SetMtl(mtl);
  a.SetUserProps("kind=crate\nmass=12");
  SceneNode& b = scene.CreateNode("b", &a);
  b.SetTransform(Matrix3::Scale({2, 2, 2}) * Matrix3::RotationZ(0.5f) * Matrix3::Translation({-4, 0, 1}));
  b.SetObject(a.ObjectPtr());
  b.SetMtl(mtl);
  auto cam = std::make_shared<workbench::CameraObject>();
  cam->fov = 1.1f;
  scene.CreateNode("cam").SetObject(cam);
  auto light = std::make_shared<workbench::LightObject>(host::kFreeSpotLightClassId);
  light->color = {1, 0.5f, 0.5f};
  light->multiplier = 4;
  light->hotspot = 20;
  light->falloff = 50;
  scene.CreateNode("light").SetObject(light);

  for (auto [scale, up] : {std::pair{1.0f, ImportOptions::Y}, {0.5f, ImportOptions::Z}}) {
    const std::string file = dir.File("scene.glb");
    workbench::GlbExportResult w = workbench::ExportGlb(scene, file, {scale, up});
    ASSERT_TRUE(w.ok) << w.error;
    Scene back;
    ImportOptions o;
    o.scale = scale;
    o.upAxis = up;
    o.textureDir = dir.File("tex");
    workbench::ImportResult r = workbench::ImportInterchange(file, back, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(back.NodeCount(), scene.NodeCount());
    for (const char* name : {"a", "b", "cam", "light"}) {
      const SceneNode* was = scene.FindNode(name);
      const SceneNode* is = back.FindNode(name);
      ASSERT_NE(is, nullptr) << name;
      for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
          EXPECT_NEAR(is->GetNodeTM(0).GetRow(row)[c], was->GetNodeTM(0).GetRow(row)[c], 1e-5f)
              << name << row << c;
    }
    EXPECT_EQ(back.FindNode("b")->Parent(), back.FindNode("a"));
    EXPECT_EQ(back.FindNode("a")->GetObjectRef(), back.FindNode("b")->GetObjectRef());
    EXPECT_EQ(back.FindNode("a")->GetUserPropBuffer(), "kind=crate\nmass=12");

    const auto* quad = dynamic_cast<const workbench::MeshObject*>(back.FindNode("a")->ObjectPtr().get());
    ASSERT_NE(quad, nullptr);
    // The same corners: positions with their host texture coordinates (v unchanged).
    std::multiset<std::array<float, 5>> want, got;
    const auto* orig = dynamic_cast<const workbench::MeshObject*>(a.ObjectPtr().get());
    for (auto [mesh, set] : {std::pair{&orig->mesh, &want}, std::pair{&quad->mesh, &got}})
      for (int f = 0; f < mesh->NumFaces(); ++f)
        for (int k = 0; k < 3; ++k) {
          const Point3 p =
              mesh->verts[mesh->faces[static_cast<std::size_t>(f)].v[static_cast<std::size_t>(k)]];
          const Point3 t = mesh->FindMap(1)->tverts[mesh->FindMap(1)->tfaces[static_cast<std::size_t>(f)]
                                                                            [static_cast<std::size_t>(k)]];
          set->insert({std::round(p.x * 1e4f), std::round(p.y * 1e4f), std::round(p.z * 1e4f),
                       std::round(t.x * 1e4f), std::round(t.y * 1e4f)});
        }
    EXPECT_EQ(got, want);
    EXPECT_TRUE(quad->mesh.HasMap(2));

    const auto* wood = dynamic_cast<const workbench::StandardMtl*>(back.FindNode("a")->MtlPtr().get());
    ASSERT_NE(wood, nullptr);
    EXPECT_EQ(wood->GetName(), "Wood");
    EXPECT_NEAR(wood->diffuse.y, 0.5f, 1e-6f);
    ASSERT_NE(wood->GetSubTexmap(1), nullptr);
    EXPECT_EQ(ReadBytes(wood->GetSubTexmap(1)->GetMapFileName()), kPng);

    const auto* c = dynamic_cast<const workbench::CameraObject*>(back.FindNode("cam")->ObjectPtr().get());
    ASSERT_NE(c, nullptr);
    EXPECT_NEAR(c->fov, 1.1f, 1e-5f);
    const auto* l = dynamic_cast<const workbench::LightObject*>(back.FindNode("light")->ObjectPtr().get());
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->GetClassId(), host::kFreeSpotLightClassId);
    EXPECT_NEAR(l->multiplier, 4.0f, 1e-5f);
    EXPECT_NEAR(l->color.y, 0.5f, 1e-6f);
    EXPECT_NEAR(l->hotspot, 20.0f, 1e-3f);
    EXPECT_NEAR(l->falloff, 50.0f, 1e-3f);
  }
}

TEST(InterchangeExport, EmptyScenesAndBrokenMeshesGiveAFileWithoutCrashing) {
  Scene empty;
  Exported e = Export(empty);
  EXPECT_FALSE(e.gltf.doc.contains("buffers"));
  EXPECT_FALSE(e.gltf.doc["scenes"][0].contains("nodes"));

  Scene scene;
  host::Mesh m;
  m.verts = {{0, 0, 0}};
  m.faces = {{{0, 1, 7}, 0, 0}};
  scene.CreateNode("broken").SetObject(std::make_shared<workbench::MeshObject>(m));
  Exported b = Export(scene);
  EXPECT_EQ(b.result.warnings, std::vector<std::string>{"1 meshes with broken indices not exported: broken"});
  EXPECT_FALSE(NodeNamed(b.gltf.doc, "broken")->contains("mesh"));

  std::vector<uint8_t> out;
  EXPECT_EQ(workbench::BuildGlb(scene, {0.0f, ImportOptions::Y}, out).error,
            "the scale must be a number above zero");
  TempDir dir;
  workbench::GlbExportResult r = workbench::ExportGlb(scene, dir.File("no/such/folder/x.glb"), {});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("no/such/folder/x.glb"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace vorlan::testing
