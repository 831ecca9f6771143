#include "interchange/export.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <tuple>

#include "interchange/convert.h"
#include "interchange/export_animation.h"
#include "interchange/export_characters.h"
#include "interchange/export_parts.h"
#include "interchange/gltf_builder.h"
#include "interchange/import_parts.h"
#include "support/file_io.h"
#include "workbench/materials.h"

namespace vorlan::workbench {

using host::Matrix3;
using host::Point3;
using namespace interchange;
using nlohmann::json;

namespace {

// The host's default rendering is 4:3; its field of view is horizontal, glTF's vertical.
constexpr float kAspect = 4.0f / 3.0f;
constexpr uint32_t kNone = UINT32_MAX;

bool IsIdentity(const Matrix3& m) { return m == Matrix3(); }

// The 3 x 3 part of the inverse transpose: how normals follow a transform.
Matrix3 NormalMatrix(const Matrix3& m) {
  Matrix3 inv = Inverse(m);
  Matrix3 t;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      Point3 row = t.GetRow(r);
      row[c] = inv.GetRow(c)[r];
      t.SetRow(r, row);
    }
  t.NoTrans();
  return t;
}

// glTF wants unit normals; a corner whose normal is not one (a zero normal in the source)
// takes its face's, and a degenerate face the Z axis.
Point3 Unit(Point3 n, const host::Mesh& mesh, uint32_t face) {
  n = host::Normalize(n);
  if (std::abs(host::Length(n) - 1.0f) < 1e-3f) return n;
  n = mesh.FaceNormal(static_cast<int>(face));
  if (std::abs(host::Length(n) - 1.0f) < 1e-3f) return n;
  return {0, 0, 1};
}

// Column-major 4 x 4, as glTF writes matrices, from the host's row-vector 4 x 3.
json MatrixJson(const Matrix3& m) {
  json a = json::array();
  for (int r = 0; r < 4; ++r) {
    const Point3 row = m.GetRow(r);
    a.push_back(row.x);
    a.push_back(row.y);
    a.push_back(row.z);
    a.push_back(r == 3 ? 1.0f : 0.0f);
  }
  return a;
}

// One corner of an exported mesh: what makes it a vertex of its own.
struct CornerKey {
  std::array<uint32_t, 14> v{};
  friend bool operator==(const CornerKey&, const CornerKey&) = default;
};

// The vertex arrays of one primitive.
struct Primitive {
  std::vector<float> pos, nrm, col, tan;
  std::array<std::vector<float>, kMaxUvSets> uv;
  std::vector<uint32_t> indices;
  GltfCharacterStreams character;
};

class SceneWriter {
 public:
  SceneWriter(const Scene& scene, const GlbExportOptions& options)
      : scene_(scene),
        frame_(options.scale, options.upAxis),
        materials_(gltf_, warnings_),
        animation_(gltf_, warnings_, frame_.Scale(), scene.ticksPerFrame),
        characters_(gltf_, warnings_, frame_) {}

  void Build() {
    characters_.Prepare(scene_);
    json roots = json::array();
    for (const SceneNode* c : scene_.Root().Children())
      if (!characters_.LeftOut(*c)) roots.push_back(Node(*c, Matrix3(), Matrix3()));
    json sceneJson = json::object();
    if (!roots.empty()) sceneJson["nodes"] = std::move(roots);
    gltf_.Json()["scenes"] = json::array({std::move(sceneJson)});
    gltf_.Json()["scene"] = 0;
    if (!lights_.empty()) {
      gltf_.Json()["extensions"]["KHR_lights_punctual"] = {{"lights", std::move(lights_)}};
      gltf_.UseExtension("KHR_lights_punctual");
    }
    animation_.Finish();
    characters_.Finish();
  }

  GltfBuilder& Gltf() { return gltf_; }
  std::vector<std::string> Warnings() const { return warnings_.Lines(); }

 private:
  int Node(const SceneNode& node, const Matrix3& parentWorld, const Matrix3& parentHostWorld) {
    // Nodes are numbered parents first; children are filled in after.
    const int index = gltf_.Append("nodes", json::object());
    characters_.NodeWritten(node, index);
    const Matrix3 hostWorld = node.GetNodeTM(0);
    const Matrix3 world = frame_.FromHost(hostWorld);
    json n = json::object();
    if (!node.GetName().empty()) n["name"] = node.GetName();
    const bool inWorld = GltfCharacterWriter::InWorld(node);
    const Matrix3 local = inWorld ? Matrix3() : world * Inverse(parentWorld);
    if (GltfAnimationWriter::Animates(node))
      animation_.AddNode(node, index, hostWorld * Inverse(parentHostWorld), local, n);
    else if (!IsIdentity(local))
      n["matrix"] = MatrixJson(local);
    json extras = ExtrasFromUserProps(node.GetUserPropBuffer());
    if (!extras.empty()) n["extras"] = std::move(extras);
    AddObject(node, n, index);
    // A skinned mesh that could not be written leaves its node where it stands.
    if (inWorld && !n.contains("mesh") && !IsIdentity(world * Inverse(parentWorld)))
      n["matrix"] = MatrixJson(world * Inverse(parentWorld));
    json children = json::array();
    for (const SceneNode* c : node.Children())
      if (!characters_.LeftOut(*c)) children.push_back(Node(*c, world, hostWorld));
    if (!children.empty()) n["children"] = std::move(children);
    gltf_.Json()["nodes"][static_cast<std::size_t>(index)] = std::move(n);
    return index;
  }

  void AddObject(const SceneNode& node, json& n, int index) {
    const host::Object* object = node.EvalWorldState(0);
    if (!object) return;
    if (auto cam = object->EvalCameraState(0)) {
      float fov = cam->fov;
      if (!std::isfinite(fov) || fov <= 0.0f || fov >= std::numbers::pi_v<float>) fov = 0.785398f;
      json c = {{"type", "perspective"},
                {"perspective",
                 {{"yfov", 2.0f * std::atan(std::tan(fov / 2.0f) / kAspect)},
                  {"aspectRatio", kAspect},
                  {"znear", 0.01f}}}};
      if (!node.GetName().empty()) c["name"] = node.GetName();
      n["camera"] = gltf_.Append("cameras", std::move(c));
      const host::Control* fovKeys = object->GetFOVController();
      if (fovKeys && fovKeys->GetKeyControl() && fovKeys->GetKeyControl()->GetNumKeys() > 0)
        warnings_.Tally("camera field-of-view animations not exported (glTF has none)", 1, node.GetName());
      return;
    }
    if (auto light = object->EvalLightState(0)) {
      if (auto l = Light(*light, node.GetName())) {
        n["extensions"]["KHR_lights_punctual"] = {{"light", lights_.size()}};
        lights_.push_back(std::move(*l));
      }
      return;
    }
    if (object->CanConvertToTriMesh()) {
      GltfCharacter character;
      if (auto mesh = Mesh(node, *object, character)) {
        n["mesh"] = *mesh;
        characters_.SkinNode(node, index, character);
      }
    }
  }

  std::optional<json> Light(const host::LightState& s, const std::string& name) {
    static constexpr std::pair<host::LightKind, const char*> kTypes[] = {
        {host::LightKind::Omni, "point"},
        {host::LightKind::Spot, "spot"},
        {host::LightKind::Directional, "directional"}};
    const char* type = nullptr;
    for (const auto& [kind, text] : kTypes)
      if (kind == s.kind) type = text;
    if (!type) {
      warnings_.Tally("ambient lights not exported (glTF has none)", 1, name);
      return std::nullopt;
    }
    auto finite = [](float v, float fallback) { return std::isfinite(v) ? v : fallback; };
    json l = {{"type", type},
              {"color", json::array({std::clamp(finite(s.color.x, 1), 0.0f, 1.0f),
                                     std::clamp(finite(s.color.y, 1), 0.0f, 1.0f),
                                     std::clamp(finite(s.color.z, 1), 0.0f, 1.0f)})},
              // A switched-off light sheds nothing.
              {"intensity", s.on ? std::max(finite(s.intensity, 1), 0.0f) : 0.0f}};
    if (!name.empty()) l["name"] = name;
    if (s.attenEnd > 0.0f && std::isfinite(s.attenEnd) && s.kind != host::LightKind::Directional)
      l["range"] = s.attenEnd / frame_.Scale();
    if (s.kind == host::LightKind::Spot) {
      // The host's cone angles are full angles in degrees; glTF's are radians from the axis,
      // with the inner one strictly inside the outer one and the outer at most 90 degrees.
      const float rad = std::numbers::pi_v<float> / 180.0f;
      const float outer =
          std::clamp(finite(s.falloff, 45.0f) * rad / 2.0f, 0.001f, std::numbers::pi_v<float> / 2.0f);
      const float inner = std::clamp(finite(s.hotspot, 0.0f) * rad / 2.0f, 0.0f, outer * 0.999f);
      l["spot"] = {{"innerConeAngle", inner}, {"outerConeAngle", outer}};
    }
    if (s.shadow) warnings_.Tally("light shadows not exported (glTF has none)", 1, name);
    return l;
  }

  // The glTF mesh of a node: one per object, material and object offset, shared by instances.
  // Skinned and morphing meshes are written per node: their vertices carry the node's own
  // skin and targets.
  std::optional<int> Mesh(const SceneNode& node, const host::Object& object, GltfCharacter& character) {
    Matrix3 offset = node.ObjectOffsetMatrix();
    if (GltfCharacterWriter::InWorld(node)) {
      // In the file's axes, in the scene's units: the vertices' lengths are scaled below.
      Matrix3 world = frame_.FromHost(node.GetNodeTM(0));
      world.SetTrans(world.GetTrans() * frame_.Scale());
      offset = offset * world;
    }
    const bool own = !IsIdentity(offset) || FindSkin(node) || FindMorpher(node);
    auto key = std::make_tuple(static_cast<const void*>(&object), node.GetMtl(), own ? ++offsets_ : 0u);
    if (auto it = meshes_.find(key); it != meshes_.end()) return it->second;
    std::optional<int>& made = meshes_[key];
    // Meshes of the workbench are read where they are; other geometry is converted once.
    const auto* meshObject = dynamic_cast<const MeshObject*>(&object);
    std::optional<host::Mesh> converted;
    const host::Mesh* mesh = meshObject ? &meshObject->mesh : nullptr;
    if (!mesh) {
      converted = object.ConvertToTriMesh(0);
      mesh = converted ? &*converted : nullptr;
    }
    if (!mesh) return made;
    if (!mesh->IsValid()) {
      warnings_.Tally("meshes with broken indices not exported", 1, node.GetName());
      return made;
    }
    // Normals from smoothing groups need building; files' own normals are read as they are.
    const bool explicitNormals =
        !mesh->explicitNormals.empty() && mesh->normalFaces.size() == mesh->faces.size();
    if (!explicitNormals && !mesh->NormalsBuilt()) {
      if (!converted) converted = *mesh;
      converted->BuildNormals();
      mesh = &*converted;
    }
    const bool tangents =
        meshObject && meshObject->tangentFaces.size() == mesh->faces.size() &&
        std::all_of(meshObject->tangentFaces.begin(), meshObject->tangentFaces.end(), [&](const auto& f) {
          return f[0] < meshObject->tangents.size() && f[1] < meshObject->tangents.size() &&
                 f[2] < meshObject->tangents.size();
        });
    character = characters_.Read(node, *mesh);
    json primitives = Primitives(*mesh, explicitNormals, tangents ? meshObject : nullptr, node.GetMtl(),
                                 offset, node.GetName(), character);
    if (primitives.empty()) return made;
    json m = {{"primitives", std::move(primitives)}};
    if (!node.GetName().empty()) m["name"] = node.GetName();
    GltfCharacterWriter::AddMeshProperties(character, m);
    made = gltf_.Append("meshes", std::move(m));
    return made;
  }

  // The material a face shows: a Multi/Sub-Object material's sub-material by material ID
  // modulo their number, as the host picks it.
  static const host::Mtl* FaceMaterial(const host::Mtl* mtl, uint16_t matId) {
    if (!mtl || mtl->NumSubMtls() == 0) return mtl;
    return mtl->GetSubMtl(matId % mtl->NumSubMtls());
  }

  json Primitives(const host::Mesh& mesh, bool explicitNormals, const MeshObject* withTangents,
                  const host::Mtl* mtl, const Matrix3& offset, const std::string& name,
                  const GltfCharacter& character) {
    int channels = 0;  // texture channels 1..channels are written
    for (int c = 1; c < static_cast<int>(mesh.maps.size()); ++c) {
      if (!mesh.HasMap(c)) continue;
      if (c > kMaxUvSets) {
        warnings_.Tally("map channels above 8 not exported", 1, name);
        continue;
      }
      channels = c;
    }
    const bool colors = mesh.HasMap(0);

    // Faces by the material they show, in order of first use.
    std::vector<const host::Mtl*> order;
    std::map<const host::Mtl*, std::vector<uint32_t>> groups;
    for (uint32_t f = 0; f < mesh.faces.size(); ++f) {
      const host::Mtl* m = FaceMaterial(mtl, mesh.faces[f].matId);
      auto [g, fresh] = groups.try_emplace(m);
      if (fresh) order.push_back(m);
      g->second.push_back(f);
    }

    const bool moved = !IsIdentity(offset);
    const bool mirrored = moved && offset.Mirrors();
    const Matrix3 normalTm = NormalMatrix(offset);
    const float inv = 1.0f / frame_.Scale();
    // Vertices are told apart per mesh vertex: each keeps the chain of the glTF vertices made
    // from it, so finding a corner's vertex looks at a few entries, not a table of all.
    std::vector<uint32_t> first(mesh.verts.size(), kNone), touched;
    std::vector<uint32_t> next;
    std::vector<CornerKey> keys;
    json out = json::array();
    for (const host::Mtl* m : order) {
      Primitive p;
      const std::vector<uint32_t>& faces = groups[m];
      next.clear();
      keys.clear();
      p.indices.reserve(faces.size() * 3);
      for (uint32_t f : faces) {
        for (int k = 0; k < 3; ++k) {
          const auto corner = static_cast<std::size_t>(mirrored ? 2 - k : k);
          CornerKey key;
          const uint32_t vert = mesh.faces[f].v[corner];
          const Point3 normal =
              Unit(explicitNormals ? mesh.explicitNormals[mesh.normalFaces[f][corner]]
                                   : mesh.CornerNormal(static_cast<int>(f), static_cast<int>(corner)),
                   mesh, f);
          key.v[0] = std::bit_cast<uint32_t>(normal.x);
          key.v[1] = std::bit_cast<uint32_t>(normal.y);
          key.v[2] = std::bit_cast<uint32_t>(normal.z);
          for (int c = 1; c <= channels; ++c)
            key.v[static_cast<std::size_t>(2 + c)] =
                mesh.HasMap(c) ? mesh.maps[static_cast<std::size_t>(c)].tfaces[f][corner] : 0;
          if (colors) key.v[11] = mesh.maps[0].tfaces[f][corner];
          if (withTangents) key.v[12] = withTangents->tangentFaces[f][corner];
          key.v[13] = vert;
          uint32_t found = kNone;
          for (uint32_t at = first[vert]; at != kNone; at = next[at])
            if (keys[at] == key) {
              found = at;
              break;
            }
          if (found == kNone) {
            found = static_cast<uint32_t>(keys.size());
            if (first[vert] == kNone) touched.push_back(vert);
            next.push_back(first[vert]);
            first[vert] = found;
            keys.push_back(key);
            AddVertex(p, mesh, key, normal, channels, colors, withTangents, moved, offset, normalTm, inv);
            characters_.AddVertex(character, p.character, vert, f, static_cast<int>(corner), normal, moved,
                                  offset, normalTm, inv);
          }
          p.indices.push_back(found);
        }
      }
      for (uint32_t v : touched) first[v] = kNone;
      touched.clear();

      json attributes = {{"POSITION", gltf_.FloatAccessor(p.pos, 3, true)},
                         {"NORMAL", gltf_.FloatAccessor(p.nrm, 3)}};
      if (withTangents) attributes["TANGENT"] = gltf_.FloatAccessor(p.tan, 4);
      for (int c = 0; c < channels; ++c)
        attributes["TEXCOORD_" + std::to_string(c)] =
            gltf_.FloatAccessor(p.uv[static_cast<std::size_t>(c)], 2);
      if (colors) attributes["COLOR_0"] = gltf_.FloatAccessor(p.col, 3);
      json primitive = {{"attributes", std::move(attributes)},
                        {"indices", gltf_.IndexAccessor(p.indices)},
                        {"material", materials_.Index(m)},
                        {"mode", 4}};
      characters_.AddAttributes(character, p.character, primitive);
      out.push_back(std::move(primitive));
    }
    return out;
  }

  void AddVertex(Primitive& p, const host::Mesh& mesh, const CornerKey& key, Point3 normal, int channels,
                 bool colors, const MeshObject* withTangents, bool moved, const Matrix3& offset,
                 const Matrix3& normalTm, float inv) {
    // Vertices stay in the node's own space; only lengths change with the scale.
    Point3 pos = mesh.verts[key.v[13]];
    if (moved) pos = pos * offset, normal = host::Normalize(normal * normalTm);
    pos = pos * inv;
    p.pos.insert(p.pos.end(), {pos.x, pos.y, pos.z});
    p.nrm.insert(p.nrm.end(), {normal.x, normal.y, normal.z});
    for (int c = 1; c <= channels; ++c) {
      Point3 t{};
      if (mesh.HasMap(c))
        t = mesh.maps[static_cast<std::size_t>(c)].tverts[key.v[static_cast<std::size_t>(2 + c)]];
      // glTF's v runs down the image; the host's up.
      p.uv[static_cast<std::size_t>(c - 1)].insert(p.uv[static_cast<std::size_t>(c - 1)].end(),
                                                   {t.x, 1.0f - t.y});
    }
    if (colors) {
      const Point3 c = mesh.maps[0].tverts[key.v[11]];
      p.col.insert(p.col.end(), {c.x, c.y, c.z});
    }
    if (withTangents) {
      const auto& t = withTangents->tangents[key.v[12]];
      Point3 d{t[0], t[1], t[2]};
      float w = t[3] < 0.0f ? -1.0f : 1.0f;
      if (moved) {
        Matrix3 turn = offset;
        turn.NoTrans();
        d = host::Normalize(d * turn);
        // A mirror turns the bitangent's handedness.
        if (offset.Mirrors()) w = -w;
      }
      p.tan.insert(p.tan.end(), {d.x, d.y, d.z, w});
    }
  }

  const Scene& scene_;
  Frame frame_;
  GltfBuilder gltf_;
  WarningSink warnings_;
  GltfMaterials materials_;
  GltfAnimationWriter animation_;
  GltfCharacterWriter characters_;
  json lights_ = json::array();
  std::map<std::tuple<const void*, const host::Mtl*, unsigned>, std::optional<int>> meshes_;
  unsigned offsets_ = 0;
};

// A .glb declares its length in 32 bits.
constexpr uint64_t kMaxGlbBytes = 0xFFFFFFFFull;

GlbExportResult Build(const Scene& scene, const GlbExportOptions& options,
                      std::unique_ptr<SceneWriter>& out) {
  GlbExportResult result;
  if (!UsableScale(options.scale)) {
    result.error = "the scale must be a number above zero";
    return result;
  }
  out = std::make_unique<SceneWriter>(scene, options);
  out->Build();
  const std::string text = out->Gltf().Finish();
  const uint64_t total = 28 + uint64_t(text.size()) + out->Gltf().Bin().size();
  if (total > kMaxGlbBytes) {
    result.error = "the scene needs " + std::to_string(total) +
                   " bytes as glTF, more than a .glb file can hold (" + std::to_string(kMaxGlbBytes) + ")";
    return result;
  }
  result.warnings = out->Warnings();
  result.ok = true;
  return result;
}

template <typename Fn>
GlbExportResult Guarded(Fn&& fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return {false, "not enough memory to export the scene", {}};
  } catch (const std::exception& e) {
    return {false, std::string("the export failed: ") + e.what(), {}};
  } catch (...) {
    return {false, "the export failed", {}};
  }
}

}  // namespace

GlbExportResult BuildGlb(const Scene& scene, const GlbExportOptions& options, std::vector<uint8_t>& out) {
  return Guarded([&] {
    std::unique_ptr<SceneWriter> writer;
    GlbExportResult r = Build(scene, options, writer);
    if (r) out = writer->Gltf().Glb();
    return r;
  });
}

GlbExportResult ExportGlb(const Scene& scene, const std::string& path, const GlbExportOptions& options) {
  GlbExportResult r = Guarded([&] {
    std::unique_ptr<SceneWriter> writer;
    GlbExportResult built = Build(scene, options, writer);
    if (!built) return built;
    support::AtomicFileWriter file(path);
    if (!writer->Gltf().WriteGlb(file)) return GlbExportResult{false, file.Error(), {}};
    if (auto w = file.Commit(); !w) return GlbExportResult{false, w.error, {}};
    return built;
  });
  if (!r.ok && r.error.find(path) == std::string::npos) r.error = "\"" + path + "\": " + r.error;
  return r;
}

std::string ExportLogLine(const std::string& path, const GlbExportOptions& options,
                          const GlbExportResult& result) {
  std::string line =
      "export \"" + path + "\" scale=" + std::to_string(options.scale) + " up=" + UpAxisName(options.upAxis);
  if (!result.ok) return line + " failed: " + result.error;
  line += " warnings=" + std::to_string(result.warnings.size());
  for (std::size_t i = 0; i < result.warnings.size(); ++i) line += (i ? " | " : ": ") + result.warnings[i];
  return line;
}

}  // namespace vorlan::workbench
