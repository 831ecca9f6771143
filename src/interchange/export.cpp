#include "interchange/export.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <assimp/Exporter.hpp>
#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "support/file_io.h"
#include "interchange/convert.h"
#include "interchange/export_parts.h"
#include "interchange/glb.h"
#include "interchange/import_parts.h"
#include "workbench/materials.h"

namespace vorlan::workbench {

using host::Matrix3;
using host::Point3;
using namespace interchange;

namespace {

// Texture files larger than this are not embedded.
constexpr std::size_t kMaxTextureBytes = std::size_t(1) << 28;
// The host's default rendering is 4:3; its field of view is horizontal, glTF's vertical.
constexpr float kAspect = 4.0f / 3.0f;

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

std::string ImageKind(const std::vector<uint8_t>& b) {
  if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return "png";
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return "jpg";
  return {};
}

// glTF wants unit normals; a corner whose normal is not one (a zero normal in the source)
// takes its face's, and a degenerate face the Z axis.
Point3 UnitNormal(const host::Mesh& mesh, uint32_t face, int corner) {
  Point3 n = host::Normalize(mesh.CornerNormal(static_cast<int>(face), corner));
  if (std::abs(host::Length(n) - 1.0f) < 1e-3f) return n;
  n = mesh.FaceNormal(static_cast<int>(face));
  if (std::abs(host::Length(n) - 1.0f) < 1e-3f) return n;
  return {0, 0, 1};
}

// One corner of an exported mesh: the host indices and the normal that make it distinct.
struct CornerKey {
  std::array<uint32_t, 13> v{};
  friend bool operator==(const CornerKey&, const CornerKey&) = default;
};
struct CornerHash {
  std::size_t operator()(const CornerKey& k) const {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint32_t x : k.v) h = (h ^ x) * 0x100000001b3ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

class SceneBuilder {
 public:
  SceneBuilder(const Scene& scene, const GlbExportOptions& options)
      : scene_(scene), frame_(options.scale, options.upAxis) {}

  // Fills `ai` (owned by the caller) and the JSON additions.
  void Build(aiScene& ai) {
    ai.mFlags |= AI_SCENE_FLAGS_NON_VERBOSE_FORMAT;
    const SceneNode& root = scene_.Root();
    ai.mRootNode = MakeNode(root, Matrix3());
    Collect(ai);
  }

  GltfAdditions& Additions() { return additions_; }
  std::vector<std::string> Warnings() const { return warnings_.Lines(); }

 private:
  aiNode* MakeNode(const SceneNode& node, const Matrix3& parentWorld) {
    const std::size_t number = additions_.nodes.size();
    additions_.nodes.push_back({node.GetName(), node.GetUserPropBuffer()});
    auto* n = new aiNode(std::to_string(number));
    const Matrix3 world = node.IsRootNode() ? Matrix3() : frame_.FromHost(node.GetNodeTM(0));
    n->mTransformation = ToAssimp(world * Inverse(parentWorld));
    AddObject(node, *n, number);

    const auto& children = node.Children();
    if (!children.empty()) {
      std::vector<aiNode*> kids;
      kids.reserve(children.size());
      for (const SceneNode* c : children) kids.push_back(MakeNode(*c, world));
      n->addChildren(static_cast<unsigned>(kids.size()), kids.data());
    }
    return n;
  }

  void AddObject(const SceneNode& node, aiNode& n, std::size_t number) {
    const host::Object* object = node.EvalWorldState(0);
    if (!object) return;
    if (auto cam = object->EvalCameraState(0)) {
      GltfCamera c;
      float fov = cam->fov;
      if (!std::isfinite(fov) || fov <= 0.0f || fov >= std::numbers::pi_v<float>) fov = 0.785398f;
      c.yfov = 2.0f * std::atan(std::tan(fov / 2.0f) / kAspect);
      additions_.nodes[number].camera = static_cast<int>(additions_.cameras.size());
      additions_.cameras.push_back(c);
      return;
    }
    if (auto light = object->EvalLightState(0)) {
      AddLight(*light, node.GetName(), number);
      return;
    }
    if (object->CanConvertToTriMesh()) AddMeshes(node, *object, n);
  }

  void AddLight(const host::LightState& s, const std::string& name, std::size_t number) {
    GltfLight l;
    switch (s.kind) {
      case host::LightKind::Omni:
        l.type = "point";
        break;
      case host::LightKind::Spot:
        l.type = "spot";
        break;
      case host::LightKind::Directional:
        l.type = "directional";
        break;
      case host::LightKind::Ambient:
        warnings_.Tally("ambient lights not exported (glTF has none)", 1, name);
        return;
    }
    auto finite = [](float v, float fallback) { return std::isfinite(v) ? v : fallback; };
    l.color = {std::clamp(finite(s.color.x, 1), 0.0f, 1.0f), std::clamp(finite(s.color.y, 1), 0.0f, 1.0f),
               std::clamp(finite(s.color.z, 1), 0.0f, 1.0f)};
    // A switched-off light sheds nothing.
    l.intensity = s.on ? std::max(finite(s.intensity, 1), 0.0f) : 0.0f;
    if (s.attenEnd > 0.0f && std::isfinite(s.attenEnd)) l.range = s.attenEnd / frame_.Scale();
    if (s.kind == host::LightKind::Spot) {
      // The host's cone angles are full angles in degrees; glTF's are radians from the axis,
      // with the inner one strictly inside the outer one and the outer at most 90 degrees.
      const float rad = std::numbers::pi_v<float> / 180.0f;
      float outer =
          std::clamp(finite(s.falloff, 45.0f) * rad / 2.0f, 0.001f, std::numbers::pi_v<float> / 2.0f);
      float inner = std::clamp(finite(s.hotspot, 0.0f) * rad / 2.0f, 0.0f, outer * 0.999f);
      l.outerConeAngle = outer;
      l.innerConeAngle = inner;
    }
    additions_.nodes[number].light = static_cast<int>(additions_.lights.size());
    additions_.lights.push_back(l);
  }

  void AddMeshes(const SceneNode& node, const host::Object& object, aiNode& n) {
    const Matrix3 offset = node.ObjectOffsetMatrix();
    auto key = std::make_tuple(static_cast<const void*>(&object), node.GetMtl(),
                               IsIdentity(offset) ? 0u : ++offsets_);
    auto it = meshSets_.find(key);
    if (it == meshSets_.end()) {
      std::optional<host::Mesh> mesh = object.ConvertToTriMesh(0);
      std::vector<unsigned> made;
      if (mesh && mesh->IsValid())
        made = Split(*mesh, node.GetMtl(), offset, node.GetName());
      else if (mesh)
        warnings_.Tally("meshes with broken indices not exported", 1, node.GetName());
      it = meshSets_.emplace(key, std::move(made)).first;
    }
    const std::vector<unsigned>& set = it->second;
    if (set.empty()) return;
    n.mNumMeshes = static_cast<unsigned>(set.size());
    n.mMeshes = new unsigned[set.size()];
    std::copy(set.begin(), set.end(), n.mMeshes);
  }

  // The material a face shows: a Multi/Sub-Object material's sub-material by material ID
  // modulo their number, as the host picks it.
  static const host::Mtl* FaceMaterial(const host::Mtl* mtl, uint16_t matId) {
    if (!mtl || mtl->NumSubMtls() == 0) return mtl;
    return mtl->GetSubMtl(matId % mtl->NumSubMtls());
  }

  std::vector<unsigned> Split(host::Mesh& mesh, const host::Mtl* mtl, const Matrix3& offset,
                              const std::string& name) {
    mesh.BuildNormals();
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
    std::vector<unsigned> out;
    for (const host::Mtl* m : order) {
      const std::vector<uint32_t>& faces = groups[m];
      auto* am = new aiMesh();
      const unsigned meshIndex = static_cast<unsigned>(meshes_.size());
      meshes_.emplace_back(am);
      am->mName = name;
      am->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
      am->mMaterialIndex = MaterialIndex(m);

      std::unordered_map<CornerKey, uint32_t, CornerHash> corners;
      std::vector<Point3> pos, nrm;
      std::vector<std::array<Point3, kMaxUvSets>> uvs;
      std::vector<Point3> cols;
      std::vector<std::array<uint32_t, 3>> tris;
      tris.reserve(faces.size());
      for (uint32_t f : faces) {
        std::array<uint32_t, 3> tri{};
        for (int k = 0; k < 3; ++k) {
          const int corner = mirrored ? 2 - k : k;
          CornerKey key;
          key.v[0] = mesh.faces[f].v[static_cast<std::size_t>(corner)];
          const Point3 normal = UnitNormal(mesh, f, corner);
          key.v[1] = std::bit_cast<uint32_t>(normal.x);
          key.v[2] = std::bit_cast<uint32_t>(normal.y);
          key.v[3] = std::bit_cast<uint32_t>(normal.z);
          for (int c = 1; c <= channels; ++c)
            key.v[static_cast<std::size_t>(3 + c)] =
                mesh.HasMap(c)
                    ? mesh.maps[static_cast<std::size_t>(c)].tfaces[f][static_cast<std::size_t>(corner)]
                    : 0;
          if (colors) key.v[12] = mesh.maps[0].tfaces[f][static_cast<std::size_t>(corner)];
          auto [slot, fresh] = corners.try_emplace(key, static_cast<uint32_t>(pos.size()));
          if (fresh) {
            Point3 p = mesh.verts[key.v[0]];
            Point3 nn = normal;
            if (moved) p = p * offset, nn = host::Normalize(nn * normalTm);
            pos.push_back(p / frame_.Scale());
            nrm.push_back(nn);
            std::array<Point3, kMaxUvSets> uv{};
            for (int c = 1; c <= channels; ++c)
              if (mesh.HasMap(c))
                uv[static_cast<std::size_t>(c - 1)] =
                    mesh.maps[static_cast<std::size_t>(c)].tverts[key.v[static_cast<std::size_t>(3 + c)]];
            uvs.push_back(uv);
            if (colors) cols.push_back(mesh.maps[0].tverts[key.v[12]]);
          }
          tri[static_cast<std::size_t>(k)] = slot->second;
        }
        tris.push_back(tri);
      }

      const auto nv = static_cast<unsigned>(pos.size());
      am->mNumVertices = nv;
      am->mVertices = new aiVector3D[nv];
      am->mNormals = new aiVector3D[nv];
      for (unsigned i = 0; i < nv; ++i) {
        am->mVertices[i] = aiVector3D(pos[i].x, pos[i].y, pos[i].z);
        am->mNormals[i] = aiVector3D(nrm[i].x, nrm[i].y, nrm[i].z);
      }
      for (int c = 0; c < channels; ++c) {
        am->mTextureCoords[c] = new aiVector3D[nv];
        am->mNumUVComponents[c] = 2;
        for (unsigned i = 0; i < nv; ++i) {
          const Point3 t = uvs[i][static_cast<std::size_t>(c)];
          am->mTextureCoords[c][i] = aiVector3D(t.x, t.y, 0.0f);
        }
      }
      if (colors) {
        am->mColors[0] = new aiColor4D[nv];
        for (unsigned i = 0; i < nv; ++i)
          am->mColors[0][i] = aiColor4D(cols[i].x, cols[i].y, cols[i].z, 1.0f);
      }
      am->mNumFaces = static_cast<unsigned>(tris.size());
      am->mFaces = new aiFace[tris.size()];
      for (std::size_t i = 0; i < tris.size(); ++i) {
        aiFace& face = am->mFaces[i];
        face.mNumIndices = 3;
        face.mIndices = new unsigned[3]{tris[i][0], tris[i][1], tris[i][2]};
      }
      out.push_back(meshIndex);
    }
    return out;
  }

  // ---- materials ------------------------------------------------------------------------

  unsigned MaterialIndex(const host::Mtl* m) {
    auto [it, fresh] = materialIndex_.try_emplace(m, static_cast<unsigned>(materials_.size()));
    if (!fresh) return it->second;
    auto* am = new aiMaterial();
    materials_.emplace_back(am);
    GltfMaterialExtras x;
    x.name = m ? m->GetName() : "Default";
    aiString name(x.name);
    am->AddProperty(&name, AI_MATKEY_NAME);
    // The engine material keeps its maps in its underlying Standard material.
    const host::Mtl* maps = m && m->GetReference0() ? m->GetReference0() : m;
    if (const auto* standard = dynamic_cast<const StandardMtl*>(maps)) {
      x.baseColor = standard->diffuse;
      x.opacity = standard->opacity;
    } else if (m && m->NumParamBlocks() > 0) {
      const host::ParamBlock* pb = m->GetParamBlock(0);
      if (auto p = pb ? pb->Find("matDiffuse") : std::nullopt) x.baseColor = pb->GetPoint(*p, 0);
    }
    x.doubleSided = m && m->IsTwoSided();
    if (maps) {
      x.baseColorSet = AddTexture(*am, *maps, kSlotDiffuse, aiTextureType_DIFFUSE, x.name);
      x.normalSet = AddTexture(*am, *maps, kSlotBump, aiTextureType_NORMALS, x.name);
      x.emissiveSet = AddTexture(*am, *maps, kSlotSelfIllum, aiTextureType_EMISSIVE, x.name);
      x.occlusionSet = AddTexture(*am, *maps, kSlotAmbient, aiTextureType_LIGHTMAP, x.name);
      for (int slot = 0; slot < maps->NumSubTexmaps(); ++slot) {
        if (slot == kSlotDiffuse || slot == kSlotBump || slot == kSlotSelfIllum || slot == kSlotAmbient)
          continue;
        if (maps->GetSubTexmap(slot) && maps->SubTexmapOn(slot))
          warnings_.Tally("maps in slots glTF has no texture for not exported", 1,
                          x.name + " slot " + std::to_string(slot));
      }
    }
    additions_.materials.push_back(x);
    return it->second;
  }

  // Adds the slot's bitmap as an embedded image; the texture-coordinate set it uses, or -1.
  int AddTexture(aiMaterial& am, const host::Mtl& mtl, int slot, aiTextureType type,
                 const std::string& mtlName) {
    const host::Texmap* t = mtl.GetSubTexmap(slot);
    if (!t || !mtl.SubTexmapOn(slot)) return -1;
    const std::string file = support::NativePath(t->GetMapFileName());
    if (file.empty()) {
      warnings_.Tally("maps that are not bitmap files not exported", 1,
                      mtlName + " slot " + std::to_string(slot));
      return -1;
    }
    auto embedded = images_.find(file);
    if (embedded == images_.end()) {
      std::vector<uint8_t> bytes;
      int index = -1;
      if (auto r = support::ReadWholeFile(file, bytes, kMaxTextureBytes); !r) {
        warnings_.Add("texture \"" + file + "\" of material \"" + mtlName +
                      "\" cannot be read; not exported");
      } else if (ImageKind(bytes).empty()) {
        warnings_.Add("texture \"" + file + "\" of material \"" + mtlName +
                      "\" is neither PNG nor JPEG, which glTF requires; not exported");
      } else {
        auto* tex = new aiTexture();
        tex->mWidth = static_cast<unsigned>(bytes.size());
        tex->mHeight = 0;
        const std::string kind = ImageKind(bytes);
        std::strncpy(tex->achFormatHint, kind.c_str(), HINTMAXTEXTURELEN - 1);
        tex->pcData = reinterpret_cast<aiTexel*>(new uint8_t[bytes.size()]);
        std::memcpy(tex->pcData, bytes.data(), bytes.size());
        tex->mFilename = aiString(support::FileNamePart(file));
        index = static_cast<int>(textures_.size());
        textures_.emplace_back(tex);
      }
      embedded = images_.emplace(file, index).first;
    }
    if (embedded->second < 0) return -1;
    aiString path("*" + std::to_string(embedded->second));
    am.AddProperty(&path, AI_MATKEY_TEXTURE(type, 0));
    const host::UVGenState* gen = t->GetUVGen();
    int channel = gen ? gen->mapChannel : 1;
    if (channel < 1 || channel > kMaxUvSets) {
      warnings_.Tally("maps using a map channel glTF cannot hold read from channel 1", 1, mtlName);
      channel = 1;
    }
    const int set = channel - 1;
    am.AddProperty(&set, 1, AI_MATKEY_UVWSRC(type, 0));
    return set;
  }

  // Hands the meshes, materials and textures to the scene, which owns them from then on.
  void Collect(aiScene& ai) {
    if (materials_.empty()) MaterialIndex(nullptr);  // Assimp's exporter wants one
    auto give = [](auto& list, auto**& array, unsigned& count) {
      count = static_cast<unsigned>(list.size());
      array = count ? new std::remove_reference_t<decltype(*array)>[count] : nullptr;
      for (unsigned i = 0; i < count; ++i) array[i] = list[i].release();
      list.clear();
    };
    give(meshes_, ai.mMeshes, ai.mNumMeshes);
    give(materials_, ai.mMaterials, ai.mNumMaterials);
    give(textures_, ai.mTextures, ai.mNumTextures);
  }

  const Scene& scene_;
  Frame frame_;
  GltfAdditions additions_;
  WarningSink warnings_;
  std::vector<std::unique_ptr<aiMesh>> meshes_;
  std::vector<std::unique_ptr<aiMaterial>> materials_;
  std::vector<std::unique_ptr<aiTexture>> textures_;
  std::map<const host::Mtl*, unsigned> materialIndex_;
  std::map<std::string, int> images_;
  std::map<std::tuple<const void*, const host::Mtl*, unsigned>, std::vector<unsigned>> meshSets_;
  unsigned offsets_ = 0;
};

GlbExportResult Build(const Scene& scene, const GlbExportOptions& options, std::vector<uint8_t>& out) {
  GlbExportResult result;
  if (!UsableScale(options.scale)) {
    result.error = "the scale must be a number above zero";
    return result;
  }
  SceneBuilder builder(scene, options);
  auto ai = std::make_unique<aiScene>();
  builder.Build(*ai);

  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = nullptr;
  {
    std::lock_guard<std::mutex> lock(AssimpLoggerMutex());
    blob = exporter.ExportToBlob(ai.get(), "glb2", 0);
  }
  if (!blob || !blob->data) {
    result.error = std::string("Assimp cannot write the scene as glTF: ") + exporter.GetErrorString();
    return result;
  }
  std::span<const uint8_t> bytes(static_cast<const uint8_t*>(blob->data), blob->size);
  GlbParts parts;
  std::string error;
  if (!SplitGlb(bytes, parts, error) ||
      !AddToGltfJson(parts.json, builder.Additions(), parts.bin.size(), error)) {
    result.error = "Assimp's glTF output cannot be completed: " + error;
    return result;
  }
  out = JoinGlb(parts.json, parts.bin, parts.hasBin && !parts.bin.empty());
  result.warnings = builder.Warnings();
  result.ok = true;
  return result;
}

}  // namespace

GlbExportResult BuildGlb(const Scene& scene, const GlbExportOptions& options, std::vector<uint8_t>& out) {
  try {
    return Build(scene, options, out);
  } catch (const std::bad_alloc&) {
    return {false, "not enough memory to export the scene", {}};
  } catch (const std::exception& e) {
    return {false, std::string("the export failed: ") + e.what(), {}};
  } catch (...) {
    return {false, "the export failed", {}};
  }
}

GlbExportResult ExportGlb(const Scene& scene, const std::string& path, const GlbExportOptions& options) {
  std::vector<uint8_t> bytes;
  GlbExportResult r = BuildGlb(scene, options, bytes);
  if (!r) {
    r.error = "\"" + path + "\": " + r.error;
    return r;
  }
  if (auto w = support::WriteFileAtomic(path, bytes); !w) {
    r.ok = false;
    r.error = w.error;
  }
  return r;
}

}  // namespace vorlan::workbench
