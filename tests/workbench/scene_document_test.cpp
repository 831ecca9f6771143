#include "workbench/scene_document.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <random>

#include "support/file_io.h"
#include "workbench/document_json.h"
#include "workbench/materials.h"
#include "workbench/materials_document.h"

namespace vorlan::workbench {
namespace {

using host::Matrix3;
using host::Mesh;
using host::Point3;

// Materials as {"name": "..."}: enough to exercise the hook without the material classes.
MaterialCodec NameOnlyCodec() {
  MaterialCodec c;
  c.read = [](const Json& a, std::vector<std::shared_ptr<host::Mtl>>& out, std::string& error) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!a[i].is_object() || !a[i].contains("name") || !a[i]["name"].is_string()) {
        error = "materials[" + std::to_string(i) + "].name: expected a string";
        return false;
      }
      out.push_back(std::make_shared<OtherMtl>(host::ClassId{7, 7}, "Test", a[i]["name"].get<std::string>()));
    }
    return true;
  };
  c.write = [](const std::vector<std::shared_ptr<host::Mtl>>& mats, Json& out, std::string&) {
    for (const auto& m : mats) out.push_back({{"name", m->GetName()}});
    return true;
  };
  return c;
}

const MaterialCodec kCodec = NameOnlyCodec();
const DocumentOptions kOptions{.materials = &kCodec};

DocumentResult Parse(const std::string& text, Scene& s) {
  return ParseSceneDocument(text, s, "doc.vscene", kOptions);
}

std::string Text(const Scene& s) {
  std::string error;
  std::string t = SceneDocumentText(s, error, kOptions);
  EXPECT_EQ(error, "");
  return t;
}

// A scene with one of everything the document holds.
void BuildRichScene(Scene& s) {
  s.hostVersion = 9100;
  s.animStart = -160;
  s.animEnd = 4800;
  s.frameRate = 25;
  s.activeViewCamera = "Camera01";
  s.properties["SmoothWholeSceneTogether"] = 1;
  s.properties["Scale"] = 0.1f;
  s.properties["Note"] = std::string("second pass\r\nwith \"quotes\"");

  auto wood = std::make_shared<OtherMtl>(host::ClassId{7, 7}, "Test", "Wood");
  auto glass = std::make_shared<OtherMtl>(host::ClassId{7, 7}, "Test", "Glass");

  Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.1f}};
  m.faces = {{.v = {0, 1, 2}, .smGroup = 0x80000001u, .matId = 3, .edgeVis = 5}, {.v = {0, 2, 3}}};
  m.Map(1).tverts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.25f, 1, -0.5f}};
  m.Map(1).tfaces = {{0, 1, 2}, {0, 2, 3}};
  m.Map(3).tverts = {{0.5f, 0.5f, 0}};
  m.Map(3).tfaces = {{0, 0, 0}, {0, 0, 0}};
  m.explicitNormals = {{0, 0, 1}};
  m.normalFaces = {{0, 0, 0}, {0, 0, 0}};
  m.vertSel = {1, 0, 0, 1};
  auto mesh = std::make_shared<MeshObject>(m);
  mesh->SetAppData({1, 2}, 0xA20, 1, {0xDE, 0xAD});

  auto& box = s.CreateNode("Box01");
  box.SetObject(mesh);
  box.SetMtl(wood);
  box.SetSelected(true);
  box.SetTransform(Matrix3::RotationZ(0.3f) * Matrix3::Translation({1e-7f, -3.25f, 1e6f}));
  box.SetObjectOffset({0.5f, 0, 0}, {0, 0, 0.38268343f, 0.9238795f}, {1, 2, 1});
  box.SetUserProps("Phy_weight = 12.5\r\nglass_dummy");
  box.SetAppData(host::kZefExportClassId, host::kSceneExportClass, 3, {1});
  std::vector<uint8_t> longChunk(100);
  for (std::size_t i = 0; i < longChunk.size(); ++i) longChunk[i] = static_cast<uint8_t>(i * 7);
  box.SetAppData(host::kZefExportClassId, host::kSceneExportClass, 4, longChunk);

  auto& inst = s.CreateNode("Box01_instance", &box);
  inst.SetObject(mesh);
  inst.SetMtl(glass);
  s.CreateNode("^Kcollision", &box).SetObject(std::make_shared<MeshObject>());

  auto& cam = s.CreateNode("Camera01");
  auto camObj = std::make_shared<CameraObject>(true);
  camObj->fov = 0.6f;
  cam.SetObject(camObj);
  int k = 0;
  for (host::ClassId id :
       {host::kOmniLightClassId, host::kSpotLightClassId, host::kFreeSpotLightClassId,
        host::kDirectionalLightClassId, host::kFreeDirectionalLightClassId, host::kAmbientLightClassId}) {
    auto l = std::make_shared<LightObject>(id);
    l->color = {1, 0.5f, 0.25f};
    l->multiplier = 1.5f + float(k);
    l->shadow = k % 2 == 1;
    l->on = k != 2;
    s.CreateNode("Light" + std::to_string(k++)).SetObject(l);
  }
  host::Box3 dbox;
  dbox.Include({-1, -2, -3});
  dbox.Include({1, 2, 3});
  s.CreateNode("Dummy01").SetObject(HelperObject::Dummy(dbox));

  auto joint = HelperObject::Create(host::kVexaIKJointClassId);
  joint->paramBlocks[0]->Set("OBJECT_A", &box);
  joint->paramBlocks[0]->Set("SPIN_ON", 1);
  joint->paramBlocks[0]->Set("CNE_ANG", 0.1f);
  s.CreateNode("Joint01").SetObject(joint);
  auto vlight = HelperObject::Create(host::kVexaLightClassId);
  vlight->paramBlocks[0]->Set("rgb", Point3{0.2f, 0.4f, 0.6f});
  s.CreateNode("VLight").SetObject(vlight);
  auto custom = std::make_shared<HelperObject>(host::ClassId{0x1234, 0x5678}, "Custom Helper");
  auto& pb = custom->AddParamBlock("CustomParams");
  pb.AddParam({.internalName = "names", .type = host::ParamType::String, .isTable = true});
  pb.AddParam({.internalName = "targets", .type = host::ParamType::Node, .isTable = true});
  pb.AddParam({.internalName = "flag", .type = host::ParamType::Bool});
  pb.Set("names", "first", 0);
  pb.Set("names", "second", 1);
  pb.Set("targets", &cam, 1);  // entry 0 stays unset
  pb.Set("flag", 1);
  s.CreateNode("Custom").SetObject(custom);
  s.CreateNode("Point01").SetObject(HelperObject::Point());
  s.CreateNode("Line01").SetObject(std::make_shared<ShapeObject>());
  s.CreateNode("Particles")
      .SetObject(std::make_shared<UnconvertibleGeomObject>(host::ClassId{0x99, 0}, "PArray"));
  s.CreateNode("Empty");
}

TEST(SceneDocumentRoundTrip, SaveLoadSaveGivesTheSameText) {
  Scene a;
  BuildRichScene(a);
  std::string first = Text(a);
  Scene b;
  DocumentResult r = Parse(first, b);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Text(b), first);
}

TEST(SceneDocumentRoundTrip, LoadedSceneKeepsIdentitiesAndValues) {
  Scene a;
  BuildRichScene(a);
  Scene b;
  ASSERT_TRUE(Parse(Text(a), b).ok);
  SceneNode* box = b.FindNode("Box01");
  SceneNode* inst = b.FindNode("Box01_instance");
  ASSERT_TRUE(box && inst);
  EXPECT_EQ(box->GetObjectRef(), inst->GetObjectRef());  // instances share again
  EXPECT_NE(box->GetMtl(), inst->GetMtl());
  EXPECT_EQ(box->GetMtl()->GetName(), "Wood");
  EXPECT_EQ(box->StaticTransform(), a.FindNode("Box01")->StaticTransform());
  EXPECT_EQ(box->GetObjOffsetRot(), a.FindNode("Box01")->GetObjOffsetRot());
  auto mesh = box->EvalWorldState(0)->ConvertToTriMesh(0);
  ASSERT_TRUE(mesh);
  EXPECT_TRUE(mesh->IsValid());
  EXPECT_EQ(mesh->faces[0].smGroup, 0x80000001u);
  EXPECT_EQ(mesh->Map(1).tverts[3], (Point3{0.25f, 1, -0.5f}));
  EXPECT_EQ(box->GetAppData(host::kZefExportClassId, host::kSceneExportClass, 4)->size(), 100u);

  auto ref = b.FindNode("Joint01")->EvalWorldState(0)->FindParam("OBJECT_A");
  EXPECT_EQ(ref.block->GetNode(ref.index, 0), box);
  auto targets = b.FindNode("Custom")->EvalWorldState(0)->FindParam("targets");
  EXPECT_EQ(targets.block->Count(targets.index), 2);
  EXPECT_EQ(targets.block->GetNode(targets.index, 0, 0), nullptr);
  EXPECT_EQ(targets.block->GetNode(targets.index, 0, 1), b.FindNode("Camera01"));
  EXPECT_EQ(b.FindNode("VLight")->EvalWorldState(0)->GetSuperClassId(), host::kLightClass);
  auto cam = b.FindNode("Camera01")->EvalWorldState(0)->EvalCameraState(0);
  EXPECT_EQ(cam->fov, 0.6f);
  EXPECT_TRUE(cam->isTarget);
  EXPECT_EQ(b.properties["Scale"], host::SceneProperty(0.1f));
  EXPECT_EQ(b.frameRate, 25);
}

TEST(SceneDocumentRoundTrip, EveryFloatReadsBackBitForBit) {
  std::mt19937 rng(12345);
  Json values = Json::array();
  std::vector<float> floats;
  for (int i = 0; i < 20000; ++i) {
    float f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
    floats.push_back(f);
    values.push_back(docjson::FloatJson(f));
  }
  floats.push_back(-0.0f);
  values.push_back(docjson::FloatJson(-0.0f));
  Json back = Json::parse(values.dump());
  for (std::size_t i = 0; i < floats.size(); ++i) {
    float f = docjson::Float(back[i], "x");
    if (std::isnan(floats[i]))
      EXPECT_TRUE(std::isnan(f));
    else
      EXPECT_EQ(std::bit_cast<uint32_t>(f), std::bit_cast<uint32_t>(floats[i])) << floats[i];
  }
}

TEST(SceneDocumentRoundTrip, FileSaveAndLoad) {
  Scene a;
  BuildRichScene(a);
  std::string path = std::string(VORLAN_BINARY_DIR) + "/scene_document_test.vscene";
  ASSERT_TRUE(SaveSceneDocument(a, path, kOptions).ok);
  Scene b;
  DocumentResult r = LoadSceneDocument(path, b, kOptions);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Text(b), Text(a));
  std::filesystem::remove(path);

  Scene c;
  r = LoadSceneDocument(path, c, kOptions);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(path), std::string::npos);
}

TEST(SceneDocumentHandWritten, ConvenientFormsAreAccepted) {
  Scene s;
  DocumentResult r = Parse(R"({
    // Comments are allowed in hand-written documents.
    "version": 1,
    "materials": [{"name": "Steel"}],
    "objects": [{"id": "crate", "type": "mesh", "mesh": {"verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]}}],
    "nodes": [
      {"name": "A", "object": "crate", "material": "Steel",
       "transform": {"position": [1, 2, 3], "rotation": [0, 0, 90], "scale": 2}},
      {"name": "B", "object": "late",
       "transform": {"rotation": [0, 0, 0.70710677, 0.70710677]}},
      {"name": "C", "object": {"id": "late", "type": "camera", "fov": 60},
       "objectOffset": {"rotation": [90, 0, 0]}},
      {"name": "L", "object": {"type": "helper", "classId": "VexaLight",
                               "params": {"Enabled": false, "farAttenEnd": 250, "rgb": [1, 0, 0]}}},
      {"name": "J", "object": {"type": "helper", "classId": ["0x0B4FCCED", 1755829248],
                               "params": {"OBJECT_B": "A"}}}
    ]
  })",
                           s);
  ASSERT_TRUE(r.ok) << r.error;
  SceneNode* a = s.FindNode("A");
  // Scale 2, then a quarter turn about Z, then the position: (1,0,0) -> (2,0,0) -> (0,2,0) -> (1,4,3).
  Point3 p = a->GetNodeTM(0).PointTransform({1, 0, 0});
  EXPECT_NEAR(p.x, 1, 1e-5f);
  EXPECT_NEAR(p.y, 4, 1e-5f);
  EXPECT_NEAR(p.z, 3, 1e-5f);
  EXPECT_EQ(a->GetMtl()->GetName(), "Steel");
  Point3 q = s.FindNode("B")->GetNodeTM(0).PointTransform({1, 0, 0});
  EXPECT_NEAR(q.y, 1, 1e-5f);
  EXPECT_EQ(s.FindNode("B")->GetObjectRef(), s.FindNode("C")->GetObjectRef());
  EXPECT_NEAR(s.FindNode("C")->EvalWorldState(0)->EvalCameraState(0)->fov, 1.0471976f, 1e-6f);
  EXPECT_NEAR(s.FindNode("C")->GetObjOffsetRot().x, 0.70710677f, 1e-6f);
  auto* light = s.FindNode("L")->EvalWorldState(0);
  auto en = light->FindParam("enabled");
  EXPECT_EQ(en.block->GetInt(en.index, 0), 0);
  auto far = light->FindParam("farAttenEnd");
  EXPECT_EQ(far.block->GetFloat(far.index, 0), 250.0f);
  auto ob = s.FindNode("J")->EvalWorldState(0)->FindParam("OBJECT_B");
  EXPECT_EQ(ob.block->GetNode(ob.index, 0), a);
  EXPECT_EQ(s.FindNode("J")->EvalWorldState(0)->GetClassId(), host::kVexaIKJointClassId);
}

// Each bad document gives exactly this message and leaves the scene untouched.
struct BadDocument {
  const char* text;
  const char* error;
};

class SceneDocumentErrors : public ::testing::TestWithParam<BadDocument> {};

TEST_P(SceneDocumentErrors, NameFilePathAndExpectation) {
  Scene s;
  s.properties["Keep"] = 1;
  DocumentResult r = Parse(GetParam().text, s);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, GetParam().error);
  EXPECT_EQ(s.NodeCount(), 1u);
  EXPECT_EQ(s.properties.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SceneDocumentErrors,
    ::testing::Values(
        BadDocument{R"({"version": 3})", "doc.vscene: version: expected 1 or 2, found 3"},
        BadDocument{R"({"nodes": []})", "doc.vscene: version: expected the document version 1"},
        BadDocument{R"([1])", "doc.vscene: document: expected an object, found an array"},
        BadDocument{R"({"version": 1, "nodez": []})", "doc.vscene: nodez: unknown key"},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a"}, {"name": "b", "children": [
                      {"name": "c", "object": {"type": "mesh", "mesh": {"verts": [[0,0,0],[1,0,0],[0,1,0]],
                       "faces": [[0,1,2],[0,1,3]]}}}]}]})",
            "doc.vscene: nodes[1].children[0].object.mesh.faces[1][2]: index 3 is past the 3 vertices"},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "mesh", "mesh": {
                      "verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]],
                      "maps": [{"channel": 1, "tverts": [[0,0]], "tfaces": []}]}}}]})",
            "doc.vscene: nodes[0].object.mesh.maps[0].tfaces: expected 1 map faces, one per face, found 0"},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "mesh", "mesh": {
                      "verts": [[0,0,0],[1,0]]}}}]})",
            "doc.vscene: nodes[0].object.mesh.verts[1]: expected an array of 3 numbers, found 2 entries"},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "mesh", "mesh": {
                      "verts": [[0,0,1e39]]}}}]})",
                    "doc.vscene: nodes[0].object.mesh.verts[0][2]: expected a number within the float range"},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "mesh", "mesh": {
                      "verts": [[0,0,0]], "faces": [[0,0,-1]]}}}]})",
            "doc.vscene: nodes[0].object.mesh.faces[0][2]: expected an index, found a negative number"},
        BadDocument{R"({"version": 1, "nodes": [{"selected": true}]})",
                    "doc.vscene: nodes[0]: expected the node's \"name\""},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "tranform": []}]})",
                    "doc.vscene: nodes[0].tranform: unknown key"},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "object": "nothing"}]})",
                    "doc.vscene: nodes[0].object: no object has the id \"nothing\""},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "material": 1}]})",
                    "doc.vscene: nodes[0].material: index 1 is past the 0 materials"},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "helper", "classId": "VexaIKJoint",
                      "params": {"OBJECT_A": "ghost"}}}]})",
            "doc.vscene: nodes[0].object.params.OBJECT_A: no node is named \"ghost\""},
        BadDocument{
            R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "helper", "classId": "VexaLight",
                      "params": {"colour": [1, 1, 1]}}}]})",
            "doc.vscene: nodes[0].object.params.colour: class \"Vexa Light\" has no parameter of this name"},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "object": {"type": "teapot"}}]})",
                    "doc.vscene: nodes[0].object.type: expected mesh, camera, light, dummy, helper, skeleton, shape or "
                    "geometry, found \"teapot\""},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "appData": [{"owner": [1, 2], "superClass": 3,
                      "sub": 4, "hex": "abc"}]}]})",
                    "doc.vscene: nodes[0].appData[0].hex: expected an even number of hexadecimal digits"},
        BadDocument{R"({"version": 1, "materials": [{"nome": "x"}]})",
                    "doc.vscene: materials[0].name: expected a string"},
        BadDocument{
            R"({"version": 1, "objects": [{"id": "x", "type": "shape"}, {"id": "x", "type": "shape"}]})",
            "doc.vscene: objects[1].id: object id \"x\" is defined twice"},
        BadDocument{
            R"({"version": 1, "animation": {"frameRate": 7}})",
            "doc.vscene: animation.frameRate: expected a frame rate that divides 4800 ticks per second"},
        BadDocument{R"({"version": 1, "nodes": [{"name": "a", "transform": {"rotation": [0, 0, 0, 0]}}]})",
                    "doc.vscene: nodes[0].transform.rotation: expected a non-zero quaternion"},
        BadDocument{
            R"({"version": 1, "hostVersion": "0x1FFFFFFFF"})",
            "doc.vscene: hostVersion: expected an unsigned 32-bit number or a hexadecimal text \"0x...\""},
        BadDocument{R"({"version": 1,})",
                    "doc.vscene: parse error at line 1, column 15: syntax error while parsing object key - "
                    "unexpected '}'; expected string literal"}));

TEST(SceneDocumentErrors, MaterialsNeedARegisteredReader) {
  Scene s;
  MaterialCodec none;
  DocumentResult r = ParseSceneDocument(R"({"version": 1, "materials": [{}]})", s, "d", {.materials = &none});
  EXPECT_EQ(r.error, "d: materials: no material reader is registered");
  // An empty list needs no reader.
  EXPECT_TRUE(ParseSceneDocument(R"({"version": 1, "materials": []})", s, "d", {.materials = &none}).ok);

  Scene withMaterial;
  withMaterial.CreateNode("a").SetMtl(std::make_shared<OtherMtl>(host::ClassId{1, 1}, "X", "m"));
  std::string error;
  EXPECT_EQ(SceneDocumentText(withMaterial, error, {.materials = &none}), "");
  EXPECT_EQ(error, "materials: no material writer is registered");
}

TEST(SceneDocumentErrors, DeepNestingIsRefusedBothWays) {
  std::string deep = R"({"version": 1, "nodes": [)";
  for (int i = 0; i < 1500; ++i) deep += R"({"name": "n", "children": [)";
  for (int i = 0; i < 1500; ++i) deep += "]}";
  deep += "]}";
  Scene s;
  DocumentResult r = Parse(deep, s);
  EXPECT_EQ(r.error, "doc.vscene: nested deeper than 2016 levels");

  std::string brackets(100000, '[');
  EXPECT_FALSE(Parse(brackets, s).ok);

  Scene chain;
  SceneNode* parent = nullptr;
  for (int i = 0; i < kMaxNodeDepth + 1; ++i) parent = &chain.CreateNode("n", parent);
  std::string error;
  EXPECT_EQ(SceneDocumentText(chain, error, kOptions), "");
  EXPECT_EQ(error, "n: nodes nest deeper than 1000 levels");
}

TEST(SceneDocumentErrors, TextsWithNulAreRefusedOnLoadAndOnSave) {
  Scene s;
  for (const char* doc : {R"({"version": 1, "nodes": [{"name": "a\u0000b"}]})",
                          R"({"version": 1, "properties": {"No\u0000te": "x"}})",
                          R"({"version": 1, "nodes": [{"name": "a", "userProps": "k=1\u0000k=2"}]})"}) {
    DocumentResult r = Parse(doc, s);
    EXPECT_FALSE(r.ok) << doc;
    EXPECT_NE(r.error.find(": a text holds a NUL character, which would cut it short"), std::string::npos)
        << r.error;
  }
  EXPECT_EQ(Parse(R"({"version": 1, "nodes": [{"name": "a\u0000b"}]})", s).error,
            "doc.vscene: nodes[0].name: a text holds a NUL character, which would cut it short");
  EXPECT_EQ(s.NodeCount(), 1u);  // nothing was added

  s.CreateNode(std::string("cut\0here", 8));
  std::string error;
  EXPECT_EQ(SceneDocumentText(s, error, kOptions), "");
  EXPECT_EQ(error, "nodes[0].name: a text holds a NUL character, which would cut it short");
}

TEST(SceneDocumentErrors, TextThatIsNotUtf8IsRefusedOnSave) {
  Scene s;
  s.CreateNode("caf\xE9");
  std::string error;
  EXPECT_EQ(SceneDocumentText(s, error, kOptions), "");
  EXPECT_EQ(error.rfind("a name or text is not UTF-8: ", 0), 0u) << error;
  std::string path = std::string(VORLAN_BINARY_DIR) + "/not_utf8.vscene";
  EXPECT_FALSE(SaveSceneDocument(s, path, kOptions).ok);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DocumentJson, ByteChunksRoundTripAndRejectMalformedText) {
  std::vector<uint8_t> out;
  for (std::size_t n = 0; n < 10; ++n) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(0xF0 + i * 3);
    ASSERT_TRUE(docjson::FromBase64(docjson::ToBase64(bytes), out));
    EXPECT_EQ(out, bytes);
    ASSERT_TRUE(docjson::FromHex(docjson::ToHex(bytes), out));
    EXPECT_EQ(out, bytes);
  }
  EXPECT_EQ(docjson::ToBase64({'M', 'a'}), "TWE=");
  EXPECT_EQ(docjson::ToHex({0x00, 0xAB}), "00ab");
  EXPECT_FALSE(docjson::FromBase64("TWE", out));
  EXPECT_FALSE(docjson::FromBase64("T=E=", out));
  EXPECT_FALSE(docjson::FromBase64("TW=E", out));
  EXPECT_FALSE(docjson::FromBase64("TWE=TWE=", out));
  EXPECT_FALSE(docjson::FromHex("0g", out));
  EXPECT_TRUE(docjson::FromHex("ABcd", out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xAB, 0xCD}));
}

}  // namespace
}  // namespace vorlan::workbench

namespace vorlan::workbench {
namespace {

// The example in the format's documentation must stay a valid document.
TEST(SceneDocumentHandWritten, DocumentedExampleLoads) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(std::string(VORLAN_SOURCE_DIR) + "/docs/scene-format.md", bytes));
  std::string doc(bytes.begin(), bytes.end());
  auto start = doc.find("```json\n");
  ASSERT_NE(start, std::string::npos);
  start += 8;
  std::string example = doc.substr(start, doc.find("```", start) - start);
  const MaterialCodec codec = MaterialDocumentCodec();
  Scene s;
  DocumentResult r = ParseSceneDocument(example, s, "example", {.materials = &codec});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(s.FindNode("Crate02")->GetObjectRef(), s.FindNode("Crate01")->GetObjectRef());
  EXPECT_EQ(s.FindNode("Crate01")->GetMtl()->GetName(), "Crate");
  EXPECT_EQ(s.activeViewCamera, "Camera01");
}

}  // namespace
}  // namespace vorlan::workbench
