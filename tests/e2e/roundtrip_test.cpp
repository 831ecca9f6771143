// Corpus files through every route the workbench offers: interchange file -> scene document
// (plain JSON, JSON with its .vbin buffer, single .vscb file) -> .zef and .glb. The .zef is
// the same byte for byte whichever route it took, and the .glb keeps the source's glTF
// material properties field by field.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "interchange/export.h"
#include "interchange/glb.h"
#include "interchange/import.h"
#include "interchange/test_files.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zefexport/exporter.h"

namespace vorlan::testing {
namespace {

using nlohmann::json;

std::vector<uint8_t> ExportZef(workbench::Scene& scene, const TempDir& dir, const std::string& file) {
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir(dir.File("cfg"));
  wb.SetLogDir(dir.File("logs"));
  wb.SetComputerName("host");
  wb.SetUserName("user");
  wb.SetViewportEnabled(false);
  zefexport::ZefExporter exporter;
  EXPECT_EQ(exporter.DoExport(file.c_str(), wb, true, 0), 1) << file;
  return ReadBytes(file);
}

json GltfJson(const std::string& path) {
  std::optional<std::string> text = workbench::interchange::GltfJsonText(ReadBytes(path));
  return text ? json::parse(*text) : json();
}

// A material's glTF properties with glTF's defaults filled in, as flat name -> value.
std::map<std::string, json> Properties(const json& m) {
  std::map<std::string, json> p;
  const json pbr = m.value("pbrMetallicRoughness", json::object());
  p["baseColorFactor"] = pbr.value("baseColorFactor", json::array({1.0, 1.0, 1.0, 1.0}));
  p["metallicFactor"] = pbr.value("metallicFactor", 1.0);
  p["roughnessFactor"] = pbr.value("roughnessFactor", 1.0);
  p["emissiveFactor"] = m.value("emissiveFactor", json::array({0.0, 0.0, 0.0}));
  p["emissiveStrength"] = m.value("extensions", json::object())
                              .value("KHR_materials_emissive_strength", json::object())
                              .value("emissiveStrength", 1.0);
  p["alphaMode"] = m.value("alphaMode", "OPAQUE");
  if (p["alphaMode"] == "MASK") p["alphaCutoff"] = m.value("alphaCutoff", 0.5);
  p["doubleSided"] = m.value("doubleSided", false);
  auto texture = [&](const std::string& name, const json& holder) {
    if (!holder.contains(name)) return;
    const json& t = holder[name];
    p[name + ".texCoord"] = t.value("texCoord", 0);
    if (name == "normalTexture") p[name + ".scale"] = t.value("scale", 1.0);
    if (name == "occlusionTexture") p[name + ".strength"] = t.value("strength", 1.0);
    const json x = t.value("extensions", json::object()).value("KHR_texture_transform", json::object());
    p[name + ".offset"] = x.value("offset", json::array({0.0, 0.0}));
    p[name + ".rotation"] = x.value("rotation", 0.0);
    p[name + ".scale2"] = x.value("scale", json::array({1.0, 1.0}));
  };
  texture("baseColorTexture", pbr);
  texture("metallicRoughnessTexture", pbr);
  for (const char* t : {"normalTexture", "occlusionTexture", "emissiveTexture"}) texture(t, m);
  return p;
}

bool Near(const json& a, const json& b) {
  if (a.is_number() && b.is_number()) return std::fabs(a.get<double>() - b.get<double>()) < 1e-5;
  if (a.is_array() && b.is_array() && a.size() == b.size()) {
    for (std::size_t i = 0; i < a.size(); ++i)
      if (!Near(a[i], b[i])) return false;
    return true;
  }
  return a == b;
}

class RoundTrip : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
    workbench::RegisterMaterialDocumentCodec();
  }
  TempDir dir;
};

TEST_P(RoundTrip, ZefIsTheSameByEveryRouteAndGltfKeepsTheMaterials) {
  const std::string source = AssetPath(GetParam());
  workbench::Scene direct;
  workbench::ImportOptions o;
  o.textureDir = dir.File("textures");
  workbench::ImportResult imported = workbench::ImportInterchange(source, direct, o);
  ASSERT_TRUE(imported.ok) << imported.error;
  const std::vector<uint8_t> zef = ExportZef(direct, dir, dir.File("direct.zef"));
  ASSERT_FALSE(zef.empty());
  std::vector<uint8_t> glb;
  ASSERT_TRUE(workbench::BuildGlb(direct, {}, glb));

  struct Route {
    const char* file;
    uint64_t threshold;
  };
  for (const Route& route :
       {Route{"plain.vscene", 0}, Route{"split.vscene", 1},
        Route{"default.vscene", workbench::kDefaultBufferThreshold}, Route{"single.vscb", 1}}) {
    SCOPED_TRACE(route.file);
    ASSERT_TRUE(
        workbench::SaveSceneDocument(direct, dir.File(route.file), {.bufferThreshold = route.threshold}));
    workbench::Scene back;
    workbench::DocumentResult r = workbench::LoadSceneDocument(dir.File(route.file), back);
    ASSERT_TRUE(r) << r.error;
    EXPECT_TRUE(ExportZef(back, dir, dir.File("back.zef")) == zef);
    std::vector<uint8_t> again;
    ASSERT_TRUE(workbench::BuildGlb(back, {}, again));
    EXPECT_TRUE(again == glb);
  }

  // Field by field against the source's own materials (glTF sources only).
  const std::string ext = std::filesystem::path(source).extension().string();
  if (ext != ".gltf" && ext != ".glb") return;
  ASSERT_TRUE(workbench::ExportGlb(direct, dir.File("out.glb"), {}));
  const json want = GltfJson(source), got = GltfJson(dir.File("out.glb"));
  const json gotMaterials = got.value("materials", json::array());
  std::map<std::string, const json*> ours;
  for (const json& m : gotMaterials) ours[m.value("name", "")] = &m;
  for (const json& m : want.value("materials", json::array())) {
    const std::string name = m.value("name", "");
    if (name.empty()) continue;
    ASSERT_TRUE(ours.count(name)) << "material " << name;
    const auto a = Properties(m), b = Properties(*ours[name]);
    for (const auto& [key, value] : a) {
      ASSERT_TRUE(b.count(key)) << name << ": " << key << " lost";
      EXPECT_TRUE(Near(value, b.at(key))) << name << ": " << key << " was " << value << ", is " << b.at(key);
    }
    for (const auto& [key, value] : b) EXPECT_TRUE(a.count(key)) << name << ": " << key << " added";
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RoundTrip,
                         ::testing::Values("gltf/BoxTextured/BoxTextured.glb",
                                           "gltf/MultiUVTest/MultiUVTest.glb",
                                           "gltf/FlightHelmet/FlightHelmet.gltf",
                                           "gltf/LightsPunctualLamp/LightsPunctualLamp.gltf",
                                           "gltf/VertexColorTest/VertexColorTest.glb", "gltf/Fox/Fox.glb",
                                           "gltf/CesiumMilkTruck/CesiumMilkTruck.glb",
                                           "gltf/TextureCoordinateTest/TextureCoordinateTest.glb",
                                           "gltf/NegativeScaleTest/NegativeScaleTest.glb", "fbx/spider.fbx",
                                           "obj/spider/spider.obj", "3ds/cubes_with_alpha.3DS",
                                           "dae/blender-cameras-lights/lights.dae"));

}  // namespace
}  // namespace vorlan::testing
