// Characters written as glTF: skins and morph targets that survive glTF -> workbench -> glTF,
// the four-bone rule, and what the validator says of the files.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "interchange/export.h"
#include "interchange/export_characters.h"
#include "interchange/import.h"
#include "interchange/test_files.h"
#include "interchange/validator.h"
#include "workbench/character.h"
#include "workbench/controllers.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace vorlan::testing {
namespace {

using nlohmann::json;
using workbench::SceneNode;
using workbench::SkinWeight;
using workbench::interchange::GltfInfluence;
using workbench::interchange::ReduceInfluences;

// ---- the four-bone rule -------------------------------------------------------------------

TEST(GltfInfluences, KeepsTheFourHeaviestRenormalisedAndSaysWhatWasCut) {
  GltfInfluence inf;
  float cut = -1;
  // Six bones; joint 3 is named twice and its weights add up.
  const std::pair<uint16_t, float> six[] = {{0, 0.05f}, {1, 0.3f},  {2, 0.1f}, {3, 0.1f},
                                            {4, 0.2f},  {5, 0.15f}, {3, 0.1f}};
  ASSERT_TRUE(ReduceInfluences(six, inf, cut));
  EXPECT_EQ(inf.joints, (std::array<uint16_t, 4>{1, 3, 4, 5}));
  EXPECT_NEAR(inf.weights[0], 0.3f / 0.85f, 1e-6f);
  EXPECT_NEAR(inf.weights[1], 0.2f / 0.85f, 1e-6f);
  EXPECT_NEAR(inf.weights[3], 0.15f / 0.85f, 1e-6f);
  EXPECT_NEAR(cut, 0.1f, 1e-6f);  // joint 2's share of the whole

  // Of equal weights the lower joint stays; what cannot weigh is not a bone.
  const std::pair<uint16_t, float> ties[] = {{7, 0.25f}, {2, 0.25f}, {9, 0.25f}, {4, 0.25f},   {1, 0.25f},
                                             {3, NAN},   {5, -1.0f}, {6, 0.0f},  {8, INFINITY}};
  ASSERT_TRUE(ReduceInfluences(ties, inf, cut));
  EXPECT_EQ(inf.joints, (std::array<uint16_t, 4>{1, 2, 4, 7}));
  EXPECT_NEAR(cut, 0.2f, 1e-6f);

  // Fewer than four: unused slots are joint 0 with weight 0; weights that do not sum to 1
  // are scaled to.
  const std::pair<uint16_t, float> two[] = {{6, 0.3f}, {2, 0.1f}};
  ASSERT_TRUE(ReduceInfluences(two, inf, cut));
  EXPECT_EQ(inf.joints, (std::array<uint16_t, 4>{6, 2, 0, 0}));
  EXPECT_EQ(inf.weights[2], 0.0f);
  EXPECT_EQ(inf.weights[3], 0.0f);
  EXPECT_NEAR(inf.weights[0], 0.75f, 1e-6f);
  EXPECT_EQ(cut, 0.0f);

  const std::pair<uint16_t, float> none[] = {{1, 0.0f}, {2, NAN}};
  EXPECT_FALSE(ReduceInfluences(none, inf, cut));
  EXPECT_FALSE(ReduceInfluences({}, inf, cut));
}

TEST(GltfInfluences, FloatWeightsSumToOneOnRandomVertices) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> weight(1e-6f, 1.0f);
  std::uniform_int_distribution<int> count(1, 16);
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::pair<uint16_t, float>> bones;
    const int n = count(rng);
    for (int b = 0; b < n; ++b)
      bones.emplace_back(static_cast<uint16_t>(b * 3), weight(rng) * (b % 3 ? 1 : 1e-4f));
    GltfInfluence inf;
    float cut;
    ASSERT_TRUE(ReduceInfluences(bones, inf, cut));
    double sum = 0;
    for (float w : inf.weights) {
      EXPECT_GE(w, 0.0f);
      sum += w;
    }
    ASSERT_NEAR(sum, 1.0, 1.2e-7) << i;
    // Kept weights are in order and each at least the cut one.
    for (std::size_t k = 1; k < 4 && inf.weights[k] > 0; ++k) EXPECT_LE(inf.weights[k], inf.weights[k - 1]);
    EXPECT_EQ(cut > 0.0f, n > 4);
  }
}

// ---- round trips ----------------------------------------------------------------------------

// The file imported, optionally passed through a scene document, and written as glTF.
RawGltf RoundTrip(const std::string& file, const TempDir& dir, bool throughDocument = false) {
  workbench::Scene scene;
  workbench::ImportResult r = workbench::ImportInterchange(AssetPath(file), scene, {});
  EXPECT_TRUE(r.ok) << r.error;
  workbench::Scene reread;
  if (throughDocument) {
    workbench::RegisterMaterialDocumentCodec();
    std::string error;
    const std::string text = workbench::SceneDocumentText(scene, error);
    EXPECT_TRUE(error.empty()) << error;
    workbench::DocumentResult d = workbench::ParseSceneDocument(text, reread);
    EXPECT_TRUE(d.ok) << d.error;
  }
  const std::string out = dir.File(std::filesystem::path(file).stem().string() + ".glb");
  workbench::GlbExportResult w = workbench::ExportGlb(throughDocument ? reread : scene, out, {});
  EXPECT_TRUE(w.ok) << w.error;
  return ReadRawGltf(out);
}

std::string NodeName(const RawGltf& g, int node) { return g.doc["nodes"][node].value("name", ""); }

// A node's transform relative to its parent, for row vectors.
host::Matrix3 LocalMatrix(const json& n) {
  if (n.contains("matrix")) {
    std::vector<float> m = n["matrix"];
    return {{m[0], m[1], m[2]}, {m[4], m[5], m[6]}, {m[8], m[9], m[10]}, {m[12], m[13], m[14]}};
  }
  const std::vector<float> t = n.value("translation", std::vector<float>{0, 0, 0});
  const std::vector<float> q = n.value("rotation", std::vector<float>{0, 0, 0, 1});
  const std::vector<float> k = n.value("scale", std::vector<float>{1, 1, 1});
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  // The rows are the columns of glTF's rotation matrix, each axis scaled.
  return {host::Point3{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)} * k[0],
          host::Point3{2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)} * k[1],
          host::Point3{2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)} * k[2],
          {t[0], t[1], t[2]}};
}

std::vector<host::Matrix3> NodeWorlds(const RawGltf& g) {
  const std::size_t n = g.doc["nodes"].size();
  std::vector<int> parent(n, -1);
  for (std::size_t i = 0; i < n; ++i)
    for (int c : g.doc["nodes"][i].value("children", std::vector<int>{}))
      parent[static_cast<std::size_t>(c)] = static_cast<int>(i);
  std::vector<host::Matrix3> world(n);
  for (std::size_t i = 0; i < n; ++i)
    for (int p = static_cast<int>(i); p >= 0; p = parent[static_cast<std::size_t>(p)])
      world[i] = world[i] * LocalMatrix(g.doc["nodes"][static_cast<std::size_t>(p)]);
  return world;
}

// Each joint's world transform at binding, by name: the mesh node's world over the inverse
// of the joint's bind matrix.
std::map<std::string, host::Matrix3> BindPoses(const RawGltf& g, int meshNode) {
  const json& skin = g.doc["skins"][g.doc["nodes"][meshNode]["skin"].get<int>()];
  const std::vector<float> ibm = AccessorFloats(g, skin["inverseBindMatrices"]);
  const host::Matrix3 mesh = NodeWorlds(g)[static_cast<std::size_t>(meshNode)];
  std::map<std::string, host::Matrix3> out;
  for (std::size_t j = 0; j < skin["joints"].size(); ++j) {
    const float* m = &ibm[16 * j];
    const host::Matrix3 inv{
        {m[0], m[1], m[2]}, {m[4], m[5], m[6]}, {m[8], m[9], m[10]}, {m[12], m[13], m[14]}};
    out[NodeName(g, skin["joints"][j])] = Inverse(inv) * mesh;
  }
  return out;
}

// Each joint by name with the name of the nearest joint above it ("" for the topmost).
std::map<std::string, std::string> JointTree(const RawGltf& g, const json& skin) {
  std::map<int, int> parent;
  for (std::size_t n = 0; n < g.doc["nodes"].size(); ++n)
    for (int c : g.doc["nodes"][n].value("children", std::vector<int>{})) parent[c] = static_cast<int>(n);
  std::set<int> joints;
  for (int j : skin["joints"]) joints.insert(j);
  std::map<std::string, std::string> tree;
  for (int j : joints) {
    int p = j;
    do p = parent.count(p) ? parent[p] : -1;
    while (p >= 0 && !joints.count(p));
    tree[NodeName(g, j)] = p >= 0 ? NodeName(g, p) : "";
  }
  return tree;
}

// One vertex of a primitive: position, its bones by name with weights, morph deltas.
struct Vertex {
  std::array<float, 3> pos;
  std::map<std::string, float> bones;
  std::vector<std::array<float, 3>> deltas;
  std::vector<std::array<float, 3>> normalDeltas;
};

// The vertices of a primitive, placed by `world`.
std::vector<Vertex> Vertices(const RawGltf& g, const json& primitive, const json* skin,
                             const host::Matrix3& world) {
  const json& a = primitive["attributes"];
  const std::vector<float> pos = AccessorFloats(g, a["POSITION"]);
  std::vector<Vertex> out(pos.size() / 3);
  for (std::size_t v = 0; v < out.size(); ++v) {
    const host::Point3 p = host::Point3{pos[3 * v], pos[3 * v + 1], pos[3 * v + 2]} * world;
    out[v].pos = {p.x, p.y, p.z};
  }
  if (skin && a.contains("JOINTS_0")) {
    const std::vector<uint32_t> joints = AccessorUnsigned(g, a["JOINTS_0"]);
    const std::vector<float> weights = AccessorFloats(g, a["WEIGHTS_0"]);
    for (std::size_t i = 0; i < joints.size(); ++i)
      if (weights[i] > 0) out[i / 4].bones[NodeName(g, (*skin)["joints"][joints[i]])] += weights[i];
  }
  for (const json& t : primitive.value("targets", json::array())) {
    const std::vector<float> d = AccessorFloats(g, t["POSITION"]);
    for (std::size_t v = 0; v < out.size(); ++v) {
      const host::Point3 p = world.VectorTransform({d[3 * v], d[3 * v + 1], d[3 * v + 2]});
      out[v].deltas.push_back({p.x, p.y, p.z});
    }
    if (!t.contains("NORMAL")) continue;
    const std::vector<float> n = AccessorFloats(g, t["NORMAL"]);
    for (std::size_t v = 0; v < out.size(); ++v) {
      const host::Point3 p = world.VectorTransform({n[3 * v], n[3 * v + 1], n[3 * v + 2]});
      out[v].normalDeltas.push_back({p.x, p.y, p.z});
    }
  }
  return out;
}

bool Near(const std::array<float, 3>& a, const std::array<float, 3>& b, float tol) {
  return std::fabs(a[0] - b[0]) <= tol && std::fabs(a[1] - b[1]) <= tol && std::fabs(a[2] - b[2]) <= tol;
}

bool Same(const Vertex& a, const Vertex& b, float tol) {
  if (!Near(a.pos, b.pos, tol) || a.bones.size() != b.bones.size() || a.deltas.size() != b.deltas.size())
    return false;
  for (const auto& [name, w] : a.bones)
    if (!b.bones.count(name) || std::fabs(b.bones.at(name) - w) > 1e-5f) return false;
  for (std::size_t k = 0; k < a.deltas.size(); ++k)
    if (!Near(a.deltas[k], b.deltas[k], tol)) return false;
  if (a.normalDeltas.size() != b.normalDeltas.size()) return false;
  for (std::size_t k = 0; k < a.normalDeltas.size(); ++k)
    if (!Near(a.normalDeltas[k], b.normalDeltas[k], 1e-3f)) return false;
  return true;
}

// Every vertex of the written mesh is a vertex of the file's (same position, bones and
// weights, deltas), and every one of the file's is written.
void ExpectSameVertices(const std::vector<Vertex>& file, const std::vector<Vertex>& written, float tol) {
  std::vector<bool> met(file.size());
  for (std::size_t w = 0; w < written.size(); ++w) {
    bool found = false;
    for (std::size_t f = 0; f < file.size(); ++f)
      if (Same(file[f], written[w], tol)) met[f] = found = true;
    EXPECT_TRUE(found) << "written vertex " << w << " at " << written[w].pos[0] << " " << written[w].pos[1]
                       << " " << written[w].pos[2] << " is not the file's";
    if (!found) return;
  }
  EXPECT_EQ(std::count(met.begin(), met.end(), false), 0);
}

// A mesh node's vertices in the world, as its node places them.
std::vector<Vertex> MeshVertices(const RawGltf& g, int node) {
  const json& n = g.doc["nodes"][node];
  const json* skin = n.contains("skin") ? &g.doc["skins"][n["skin"].get<int>()] : nullptr;
  const host::Matrix3 world = NodeWorlds(g)[static_cast<std::size_t>(node)];
  std::vector<Vertex> all;
  for (const json& p : g.doc["meshes"][n["mesh"].get<int>()]["primitives"]) {
    std::vector<Vertex> v = Vertices(g, p, skin, world);
    all.insert(all.end(), v.begin(), v.end());
  }
  return all;
}

std::vector<int> NodesWith(const RawGltf& g, const char* key) {
  std::vector<int> out;
  for (std::size_t n = 0; n < g.doc["nodes"].size(); ++n)
    if (g.doc["nodes"][n].contains(key)) out.push_back(static_cast<int>(n));
  return out;
}

TEST(CharacterExport, SkinnedCharactersSurviveAGltfRoundTrip) {
  TempDir dir;
  struct Case {
    const char* file;
    bool throughDocument;
  };
  // RiggedSimple's bones do not stand where they were bound: its bind poses must come
  // through a scene document too.
  for (const Case& c :
       {Case{"gltf/RiggedSimple/RiggedSimple.glb", false}, Case{"gltf/CesiumMan/CesiumMan.glb", false},
        Case{"gltf/Fox/Fox.glb", false}, Case{"gltf/RiggedSimple/RiggedSimple.glb", true}}) {
    SCOPED_TRACE(std::string(c.file) + (c.throughDocument ? " through a scene document" : ""));
    const RawGltf in = ReadRawGltf(AssetPath(c.file));
    const RawGltf out = RoundTrip(c.file, dir, c.throughDocument);
    ASSERT_EQ(out.doc["skins"].size(), in.doc["skins"].size());
    const std::vector<int> inSkinned = NodesWith(in, "skin"), outSkinned = NodesWith(out, "skin");
    ASSERT_EQ(outSkinned.size(), inSkinned.size());
    for (std::size_t s = 0; s < inSkinned.size(); ++s) {
      const json& a = in.doc["skins"][in.doc["nodes"][inSkinned[s]]["skin"].get<int>()];
      const json& b = out.doc["skins"][out.doc["nodes"][outSkinned[s]]["skin"].get<int>()];
      EXPECT_EQ(b["joints"].size(), a["joints"].size());
      EXPECT_EQ(JointTree(out, b), JointTree(in, a));
      // The skeleton is an ancestor of every joint (the validator checks it too).
      EXPECT_TRUE(b.contains("skeleton"));
      ExpectSameVertices(MeshVertices(in, inSkinned[s]), MeshVertices(out, outSkinned[s]), 1e-5f);
      // The bones are bound where the file bound them, not where they stand.
      const auto inPoses = BindPoses(in, inSkinned[s]), outPoses = BindPoses(out, outSkinned[s]);
      ASSERT_EQ(outPoses.size(), inPoses.size());
      for (const auto& [name, pose] : inPoses)
        for (int r = 0; r < 4; ++r)
          EXPECT_LT(host::Length(outPoses.at(name).GetRow(r) - pose.GetRow(r)), 1e-3f * (r == 3 ? 10 : 1))
              << name << " row " << r;
      // glTF ignores a skinned mesh node's transform: the file gives it none.
      EXPECT_FALSE(out.doc["nodes"][outSkinned[s]].contains("matrix"));
    }
  }
}

TEST(CharacterExport, MorphTargetsSurviveAGltfRoundTripWithoutTheirTargetNodes) {
  TempDir dir;
  for (const char* file :
       {"gltf/AnimatedMorphCube/AnimatedMorphCube.glb", "gltf/MorphPrimitivesTest/MorphPrimitivesTest.glb"}) {
    SCOPED_TRACE(file);
    const RawGltf in = ReadRawGltf(AssetPath(file));
    const RawGltf out = RoundTrip(file, dir);
    // The Morpher's target nodes are in the file as targets, not as meshes of their own.
    const std::vector<int> inMeshes = NodesWith(in, "mesh"), outMeshes = NodesWith(out, "mesh");
    ASSERT_EQ(outMeshes.size(), inMeshes.size());
    for (std::size_t m = 0; m < inMeshes.size(); ++m) {
      const json& a = in.doc["meshes"][in.doc["nodes"][inMeshes[m]]["mesh"].get<int>()];
      const json& b = out.doc["meshes"][out.doc["nodes"][outMeshes[m]]["mesh"].get<int>()];
      ASSERT_EQ(b["primitives"][0]["targets"].size(), a["primitives"][0]["targets"].size());
      EXPECT_EQ(b["weights"], a["weights"]);
      EXPECT_EQ(b["extras"]["targetNames"].size(), a["primitives"][0]["targets"].size());
      ExpectSameVertices(MeshVertices(in, inMeshes[m]), MeshVertices(out, outMeshes[m]), 1e-6f);
    }
  }
}

bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

TEST(CharacterExport, TargetsWithoutANodeToCompareKeepTheirPositionsAndSayTheirNormalsAreLost) {
  // AnimatedMorphCube's second target turns normals; its first target's node is deleted.
  workbench::Scene scene;
  ASSERT_TRUE(
      workbench::ImportInterchange(AssetPath("gltf/AnimatedMorphCube/AnimatedMorphCube.glb"), scene, {}).ok);
  workbench::MorpherImpl* morph = nullptr;
  std::string cube;
  for (SceneNode* n : scene.AllNodes())
    if (auto* m = workbench::FindMorpher(*n)) morph = m, cube = n->GetName();
  ASSERT_NE(morph, nullptr);
  ASSERT_EQ(morph->channels.size(), 2u);
  scene.DeleteNode(*static_cast<SceneNode*>(morph->channels[0].target));
  ASSERT_EQ(morph->channels[0].target, nullptr);
  TempDir dir;
  workbench::GlbExportResult w = workbench::ExportGlb(scene, dir.File("cube.glb"), {});
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(HasLine(
      w.warnings,
      "1 morph target normals not exported (a target node without normals of the mesh's faces): " + cube))
      << ::testing::PrintToString(w.warnings);
  const RawGltf g = ReadRawGltf(dir.File("cube.glb"));
  const json& targets = g.doc["meshes"][0]["primitives"][0]["targets"];
  ASSERT_EQ(targets.size(), 2u);
  for (const json& t : targets) EXPECT_EQ(t.size(), 1u) << t.dump();
}

// ---- characters made in the workbench -----------------------------------------------------

void MakeBone(SceneNode& n) { n.TMControl()->SetClassId(host::kBipedSlaveControlClassId); }

// A body of two quads on a skeleton of 300 bones (more than a byte numbers) under one hip,
// moved and turned away from the origin, with a Morpher of one shape and one channel
// without a shape.
struct Character {
  workbench::Scene scene;
  SceneNode* body = nullptr;
  SceneNode* hips = nullptr;
  std::vector<SceneNode*> bones;
  SceneNode* target = nullptr;
  std::shared_ptr<workbench::SkinModifierImpl> skin = std::make_shared<workbench::SkinModifierImpl>();

  Character() {
    SceneNode& root = scene.CreateNode("Skeleton");
    root.SetObject(std::make_shared<workbench::SkeletonRootObject>());
    hips = &scene.CreateNode("Hips", &root);
    MakeBone(*hips);
    for (int b = 0; b < 300; ++b) {
      bones.push_back(&scene.CreateNode("Bone" + std::to_string(b), hips));
      MakeBone(*bones.back());
      bones.back()->SetTransform(host::Matrix3::Translation({float(b), 0, 1}));
    }
    host::Mesh m;
    m.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}};
    m.faces = {{{0, 1, 2}, 1}, {{0, 2, 3}, 1}, {{1, 4, 5}, 1}, {{1, 5, 2}, 1}};
    body = &scene.CreateNode("Body");
    body->SetObject(std::make_shared<workbench::MeshObject>(m));
    host::Matrix3 place = host::Matrix3::RotationZ(0.5f);
    place.SetTrans({3, 4, 5});
    body->SetTransform(place);

    // One bone bound away from where it stands, one with a pose that is no transform.
    skin->bindPoses[bones[4]] = host::Matrix3::Translation({40, 0, 2});
    skin->bindPoses[bones[3]] = host::Matrix3::Translation({NAN, 0, 0});
    std::vector<SkinWeight> six;
    for (int b = 0; b < 6; ++b) six.push_back({bones[static_cast<std::size_t>(b)], 0.1f + 0.02f * float(b)});
    skin->SetBlended(0, six);                                    // two bones cut: 0.12 of 0.9 is the larger
    skin->SetRigid(2, bones[299]);                               // a joint number above 255
    skin->SetBlended(3, {{bones[7], 0.2f}, {bones[8], 0.2f}});   // weights summing to 0.4
    skin->SetBlended(4, {{bones[9], 0.5f}, {bones[9], 0.25f}});  // one bone named twice
    skin->SetBlended(5, {{hips, 1.0f}});                         // vertex 1 has no bone
    skin->vertices.resize(6);

    auto morph = std::make_shared<workbench::MorpherImpl>();
    host::MorphChannel shape;
    shape.name = "Bulge";
    shape.value = 25.0f;
    shape.points = m.verts;
    shape.deltas.assign(m.verts.size(), {});
    shape.deltas[2] = {0, 0, 0.5f};
    shape.points[2] = shape.points[2] + shape.deltas[2];
    target = &scene.CreateNode("Body Bulge");
    target->SetObject(std::make_shared<workbench::MeshObject>(m));
    shape.target = target;
    morph->channels.push_back(shape);
    host::MorphChannel empty;
    empty.name = "Unused";
    morph->channels.push_back(empty);
    body->AddModifier(morph);
    body->AddModifier(skin);
  }
};

TEST(CharacterExport, WorkbenchCharacterWritesItsCutsAndGapsAndPassesTheValidator) {
  Character c;
  TempDir dir;
  const std::string path = dir.File("body.glb");
  workbench::GlbExportResult w = workbench::ExportGlb(c.scene, path, {});
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(HasLine(w.warnings,
                      "1 skinned vertices with more than four bones written with their four "
                      "heaviest: Body (largest weight cut 0.133)"))
      << ::testing::PrintToString(w.warnings);
  EXPECT_TRUE(HasLine(w.warnings, "1 skinned vertices without bones bound to the topmost bone: Body"));
  EXPECT_TRUE(HasLine(w.warnings, "1 morph channels without a target shape not exported: Body"));

  const RawGltf g = ReadRawGltf(path);
  // The shape's node is in the file as the target; the hip and 300 bones are the joints,
  // the hip first (and the skeleton: the joints' common root), numbered in shorts.
  for (const json& n : g.doc["nodes"]) EXPECT_NE(n.value("name", ""), "Body Bulge");
  const std::vector<int> skinned = NodesWith(g, "skin");
  ASSERT_EQ(skinned.size(), 1u);
  const json& skin = g.doc["skins"][0];
  ASSERT_EQ(skin["joints"].size(), 301u);
  EXPECT_EQ(NodeName(g, skin["joints"][0]), "Hips");
  EXPECT_EQ(NodeName(g, skin["skeleton"]), "Hips");
  const json& prim = g.doc["meshes"][0]["primitives"][0];
  EXPECT_EQ(g.doc["accessors"][prim["attributes"]["JOINTS_0"].get<int>()]["componentType"], 5123);

  std::map<std::array<int, 3>, std::map<std::string, float>> byPosition;
  for (const Vertex& v : MeshVertices(g, skinned[0]))
    byPosition[{int(std::lround(v.pos[0] * 1000)), int(std::lround(v.pos[1] * 1000)),
                int(std::lround(v.pos[2] * 1000))}] = v.bones;
  // Positions in the world: the body's placement is in its vertices.
  auto at = [&](host::Point3 p) {
    p = p * c.body->GetNodeTM(0);
    // glTF's Y is the host's Z, its Z the host's -Y.
    return byPosition.at(
        {int(std::lround(p.x * 1000)), int(std::lround(p.z * 1000)), int(std::lround(-p.y * 1000))});
  };
  const auto v0 = at({0, 0, 0});
  ASSERT_EQ(v0.size(), 4u);
  EXPECT_NEAR(v0.at("Bone5"), 0.2f / 0.68f, 1e-5f);
  EXPECT_EQ(v0.count("Bone0") + v0.count("Bone1"), 0u);
  EXPECT_EQ(at({1, 0, 0}), (std::map<std::string, float>{{"Hips", 1.0f}}));
  EXPECT_EQ(at({1, 1, 0}), (std::map<std::string, float>{{"Bone299", 1.0f}}));
  EXPECT_EQ(at({0, 1, 0}), (std::map<std::string, float>{{"Bone7", 0.5f}, {"Bone8", 0.5f}}));
  EXPECT_EQ(at({2, 0, 0}), (std::map<std::string, float>{{"Bone9", 1.0f}}));

  // One target, its delta turned with the body; its weight and name.
  const json& mesh = g.doc["meshes"][0];
  EXPECT_EQ(mesh["weights"], json::array({0.25}));
  EXPECT_EQ(mesh["extras"]["targetNames"], json::array({"Bulge"}));
  ASSERT_EQ(prim["targets"].size(), 1u);

  Command v = Validate({"--json", path});
  EXPECT_EQ(v.exitCode, 0) << v.out;
  const json report = json::parse(v.out.substr(v.out.find('{')));
  for (const json& m : report[path]["issues"]["messages"]) EXPECT_GT(m["severity"].get<int>(), 1) << m.dump();
}

TEST(CharacterExport, CorpusCharactersPassTheValidatorWithoutSkinWarnings) {
  TempDir dir;
  std::vector<std::string> files;
  for (const char* file :
       {"gltf/RiggedSimple/RiggedSimple.glb", "gltf/CesiumMan/CesiumMan.glb", "gltf/Fox/Fox.glb",
        "gltf/AnimatedMorphCube/AnimatedMorphCube.glb", "gltf/MorphPrimitivesTest/MorphPrimitivesTest.glb",
        "fbx/huesitos.fbx", "dae/CesiumMan/CesiumMan.dae"}) {
    workbench::Scene scene;
    ASSERT_TRUE(workbench::ImportInterchange(AssetPath(file), scene, {}).ok) << file;
    files.push_back(dir.File(std::to_string(files.size()) + ".glb"));
    ASSERT_TRUE(workbench::ExportGlb(scene, files.back(), {}).ok) << file;
  }
  files.insert(files.begin(), "--json");
  Command v = Validate(files);
  EXPECT_EQ(v.exitCode, 0) << v.out;
  const json report = json::parse(v.out.substr(v.out.find('{')));
  for (const auto& [file, r] : report.items()) {
    EXPECT_EQ(r["issues"]["numErrors"], 0) << file;
    for (const json& m : r["issues"]["messages"]) {
      const std::string code = m["code"];
      EXPECT_TRUE(code.find("SKIN") == std::string::npos && code.find("JOINTS") == std::string::npos &&
                  code.find("WEIGHTS") == std::string::npos && code.find("MORPH") == std::string::npos)
          << file << ": " << m.dump();
    }
  }
}

TEST(CharacterExport, BindMatricesPlaceTheBonesWhereTheyWereBoundWhetherTheMeshIsInTheWorldOrNot) {
  TempDir dir;
  std::vector<std::string> files;
  for (bool withChild : {false, true}) {
    SCOPED_TRACE(withChild ? "a mesh node with a child keeps its transform" : "a mesh node in the world");
    Character c;
    if (withChild) c.scene.CreateNode("Badge", c.body);
    files.push_back(dir.File(withChild ? "child.glb" : "world.glb"));
    ASSERT_TRUE(workbench::ExportGlb(c.scene, files.back(), {}).ok);
    const RawGltf g = ReadRawGltf(files.back());
    const int node = NodesWith(g, "skin").at(0);
    EXPECT_EQ(g.doc["nodes"][node].contains("matrix"), withChild);
    const auto poses = BindPoses(g, node);
    // glTF's (x, y, z) is the host's (x, z, -y).
    auto expectAt = [&](const char* bone, host::Point3 p) {
      const host::Point3 t = poses.at(bone).GetTrans();
      EXPECT_LT(host::Length(t - host::Point3{p.x, p.z, -p.y}), 1e-4f)
          << bone << ": " << t.x << " " << t.y << " " << t.z;
    };
    expectAt("Bone5", {5, 0, 1});   // where it stands
    expectAt("Bone4", {40, 0, 2});  // its bind pose
    expectAt("Bone3", {3, 0, 1});   // where it stands: its pose is no transform
    expectAt("Hips", {0, 0, 0});
  }
  Command v = Validate(files);
  EXPECT_EQ(v.exitCode, 0) << v.out;
}

TEST(CharacterExport, ASkinnedMeshThatCannotBeWrittenLeavesItsNodeWhereItStands) {
  Character c;
  auto* object = dynamic_cast<workbench::MeshObject*>(c.body->ObjectPtr().get());
  ASSERT_NE(object, nullptr);
  object->mesh.faces[0].v[1] = 99;
  std::vector<uint8_t> bytes;
  workbench::GlbExportResult w = workbench::BuildGlb(c.scene, {}, bytes);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_TRUE(HasLine(w.warnings, "1 meshes with broken indices not exported: Body"))
      << ::testing::PrintToString(w.warnings);
  TempDir dir;
  WriteText(dir.File("broken.glb"), std::string(bytes.begin(), bytes.end()));
  const RawGltf g = ReadRawGltf(dir.File("broken.glb"));
  EXPECT_TRUE(NodesWith(g, "skin").empty());
  bool placed = false;
  for (const json& n : g.doc["nodes"])
    if (n.value("name", "") == "Body") placed = n.contains("matrix");
  EXPECT_TRUE(placed);
}

}  // namespace
}  // namespace vorlan::testing
