#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "interchange/import_parts.h"
#include "interchange/smoothing_groups.h"
#include "interchange/vertex_join.h"

namespace vorlan::workbench::interchange {

using host::Point3;

namespace {

// Corner normals this close to the face normal mark a faceted face.
constexpr float kFlatDot = 0.9999f;

using Tri = std::array<uint32_t, 3>;

Point3 Checked(const aiVector3D& v, uint64_t& nonFinite) {
  if (std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)) return {v.x, v.y, v.z};
  ++nonFinite;
  return {};
}

Point3 CheckedColor(const aiColor4D& c, uint64_t& nonFinite) {
  if (std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b)) return {c.r, c.g, c.b};
  ++nonFinite;
  return {};
}

std::string MeshName(const aiMesh& m) { return m.mName.length ? std::string(m.mName.C_Str()) : "(unnamed)"; }

// The triangles of one aiMesh in its own vertex numbering. Points and lines are counted and
// left out; polygons (Assimp triangulates them, so only a damaged scene has any) are fanned.
struct PartFaces {
  std::vector<Tri> tris;
  uint64_t points = 0, lines = 0, polygons = 0, broken = 0;
};

PartFaces CollectFaces(const aiMesh& m, uint32_t numVerts) {
  PartFaces out;
  if (!m.mFaces) return out;
  out.tris.reserve(m.mNumFaces);
  for (unsigned f = 0; f < m.mNumFaces; ++f) {
    const aiFace& face = m.mFaces[f];
    const unsigned n = face.mNumIndices;
    if (n == 0 || !face.mIndices) {
      ++out.broken;
      continue;
    }
    bool inRange = true;
    for (unsigned k = 0; k < n; ++k) inRange = inRange && face.mIndices[k] < numVerts;
    if (!inRange) {
      ++out.broken;
      continue;
    }
    if (n == 1) {
      ++out.points;
    } else if (n == 2) {
      ++out.lines;
    } else {
      if (n > 3) ++out.polygons;
      for (unsigned k = 1; k + 1 < n; ++k)
        out.tris.push_back({face.mIndices[0], face.mIndices[k], face.mIndices[k + 1]});
    }
  }
  return out;
}

// The distinct values of one index space of a mesh (positions, normals, a map channel,
// tangents), joined as they arrive; or, for meshes whose vertices skins and morph targets
// number as the file does, every value kept in its place.
template <typename T>
class Values {
 public:
  Values(std::vector<T>& values, bool join) : values_(values) {
    if (join) joiner_.emplace(values);
  }
  uint32_t Add(const T& v) {
    if (joiner_) return joiner_->Add(v);
    values_.push_back(v);
    return static_cast<uint32_t>(values_.size() - 1);
  }
  // The numbers of `n` values of a part, in its own vertex order.
  template <typename Get>
  std::vector<uint32_t> AddAll(uint32_t n, Get get) {
    std::vector<uint32_t> numbers(n);
    if (joiner_) joiner_->Reserve(n);
    for (uint32_t i = 0; i < n; ++i) numbers[i] = Add(get(i));
    return numbers;
  }
  const T& operator[](uint32_t i) const { return values_[i]; }

 private:
  std::vector<T>& values_;
  std::optional<IdenticalJoiner<T>> joiner_;
};

// Adds one part's per-vertex values to a channel of its own vertices; a part without them
// points all its faces at one zero vertex, so every face keeps a map face.
template <typename Get>
void AppendChannel(Values<Point3>& values, host::MapChannel& ch, bool present, uint32_t numVerts,
                   const std::vector<Tri>& tris, Get get) {
  if (!present) {
    const uint32_t zero = values.Add({});
    for (std::size_t i = 0; i < tris.size(); ++i) ch.tfaces.push_back({zero, zero, zero});
    return;
  }
  const std::vector<uint32_t> number = values.AddAll(numVerts, get);
  for (const Tri& t : tris) ch.tfaces.push_back({number[t[0]], number[t[1]], number[t[2]]});
}

}  // namespace

bool IsGeneratedSkeletonMesh(const aiScene& scene, const aiMesh& mesh) {
  if (mesh.mName.length != 0 || mesh.mNumBones == 0) return false;
  if (!scene.mMaterials || mesh.mMaterialIndex >= scene.mNumMaterials ||
      !scene.mMaterials[mesh.mMaterialIndex])
    return false;
  aiString name;
  if (scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_NAME, name) != AI_SUCCESS) return false;
  return std::string_view(name.C_Str()) == "SkeletonMaterial";
}

BuiltMesh BuildMesh(const aiScene& scene, std::span<const unsigned> meshes, float scale,
                    WarningSink& warnings) {
  BuiltMesh out;
  host::Mesh& mesh = out.mesh;

  // Channels any part carries; the parts without one get zeros there.
  bool anyNormals = false, anyColors = false, allTangents = !meshes.empty(), anyTangents = false;
  std::array<bool, kMaxUvSets> anyUv{};
  for (unsigned idx : meshes) {
    const aiMesh& m = *scene.mMeshes[idx];
    anyNormals = anyNormals || m.mNormals != nullptr;
    anyColors = anyColors || m.mColors[0] != nullptr;
    const bool tangents = m.mTangents && m.mBitangents && m.mNormals;
    allTangents = allTangents && tangents;
    anyTangents = anyTangents || tangents;
    for (int k = 0; k < kMaxUvSets && k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
      anyUv[static_cast<std::size_t>(k)] =
          anyUv[static_cast<std::size_t>(k)] || m.mTextureCoords[k] != nullptr;
  }

  // Skins and morph targets number the vertices as the file does, so the meshes of a
  // character keep them as they come.
  bool join = true;
  for (unsigned idx : meshes)
    join = join && !scene.mMeshes[idx]->mNumBones && !scene.mMeshes[idx]->mNumAnimMeshes;
  // Every channel exists before its values are gathered: the channel table must not move.
  for (int k = kMaxUvSets - 1; k >= 0; --k)
    if (anyUv[static_cast<std::size_t>(k)]) {
      mesh.Map(k + 1);
      break;
    }
  if (anyColors) mesh.Map(0);
  Values<Point3> positions(mesh.verts, join), normals(mesh.explicitNormals, join);
  Values<std::array<float, 4>> tangents(out.tangents, join);
  std::vector<std::optional<Values<Point3>>> channels(mesh.maps.size());
  for (std::size_t k = 0; k < channels.size(); ++k) channels[k].emplace(mesh.maps[k].tverts, join);

  uint64_t nonFinite = 0, zeroNormals = 0;
  for (std::size_t part = 0; part < meshes.size(); ++part) {
    const aiMesh& m = *scene.mMeshes[meshes[part]];
    const std::string name = MeshName(m);
    const uint32_t numVerts = m.mVertices ? m.mNumVertices : 0;
    // Parts that share a material share its material ID.
    auto known = std::find(out.materials.begin(), out.materials.end(), m.mMaterialIndex);
    const std::size_t matIndex = static_cast<std::size_t>(known - out.materials.begin());
    if (known == out.materials.end()) out.materials.push_back(m.mMaterialIndex);

    PartFaces faces = CollectFaces(m, numVerts);
    if (faces.points + faces.lines)
      warnings.Tally("points and lines not imported (meshes hold triangles only)", faces.points + faces.lines,
                     name);
    if (faces.polygons)
      warnings.Tally("polygons with more than three corners split into triangles", faces.polygons, name);
    if (faces.broken)
      warnings.Tally("faces with missing or out-of-range vertices dropped", faces.broken, name);
    for (int k = kMaxUvSets; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
      if (m.mTextureCoords[k])
        warnings.Tally("texture-coordinate sets beyond the eighth not imported", 1, name);
    for (int k = 1; k < AI_MAX_NUMBER_OF_COLOR_SETS; ++k)
      if (m.mColors[k]) warnings.Tally("vertex-colour sets beyond the first not imported", 1, name);

    const std::vector<uint32_t> vertex =
        positions.AddAll(numVerts, [&](uint32_t i) { return Checked(m.mVertices[i], nonFinite) * scale; });

    const auto matId = static_cast<uint16_t>(std::min<std::size_t>(matIndex, 0xFFFF));
    const std::size_t firstFace = mesh.faces.size();
    for (const Tri& t : faces.tris) {
      host::MeshFace f;
      f.v = {vertex[t[0]], vertex[t[1]], vertex[t[2]]};
      f.matId = matId;
      mesh.faces.push_back(f);
    }

    if (anyNormals) {
      if (m.mNormals) {
        const std::vector<uint32_t> normal =
            normals.AddAll(numVerts, [&](uint32_t i) { return Checked(m.mNormals[i], nonFinite); });
        for (std::size_t i = 0; i < faces.tris.size(); ++i) {
          const Tri& t = faces.tris[i];
          const Point3 fn = mesh.FaceNormal(static_cast<int>(firstFace + i));
          // A corner without a usable normal (files do carry zero normals) takes the face's.
          std::array<uint32_t, 3> nf{};
          uint32_t own = UINT32_MAX;
          for (std::size_t k = 0; k < 3; ++k) {
            nf[k] = normal[t[k]];
            if (host::Length(normals[nf[k]]) > 1e-12f) continue;
            if (own == UINT32_MAX) own = normals.Add(fn);
            nf[k] = own;
            ++zeroNormals;
          }
          mesh.normalFaces.push_back(nf);
          // Faces whose corners all carry the face's own normal are faceted; the others
          // are smooth, their groups drawn once the whole mesh is known. The explicit
          // normals decide the shading either way; the groups guide the scene exporter and
          // a later resmoothing.
          bool flat = true;
          for (uint32_t n : nf) flat = flat && host::Dot(fn, host::Normalize(normals[n])) > kFlatDot;
          mesh.faces[firstFace + i].smGroup = flat ? 0u : 1u;
        }
      } else {
        // A part without normals is faceted, as glTF and OBJ define it.
        for (std::size_t i = 0; i < faces.tris.size(); ++i) {
          const uint32_t n = normals.Add(mesh.FaceNormal(static_cast<int>(firstFace + i)));
          mesh.normalFaces.push_back({n, n, n});
        }
      }
    }

    if (allTangents) {
      // glTF keeps the bitangent's handedness as the sign of w; Assimp gives the bitangent.
      const std::vector<uint32_t> tangent = tangents.AddAll(numVerts, [&](uint32_t i) {
        const Point3 t = Checked(m.mTangents[i], nonFinite), b = Checked(m.mBitangents[i], nonFinite);
        const Point3 n = Checked(m.mNormals[i], nonFinite);
        return std::array<float, 4>{t.x, t.y, t.z, host::Dot(host::Cross(n, t), b) < 0.0f ? -1.0f : 1.0f};
      });
      for (const Tri& t : faces.tris)
        out.tangentFaces.push_back({tangent[t[0]], tangent[t[1]], tangent[t[2]]});
    }

    for (int k = 0; k < kMaxUvSets; ++k) {
      if (!anyUv[static_cast<std::size_t>(k)]) continue;
      const aiVector3D* uv = k < AI_MAX_NUMBER_OF_TEXTURECOORDS ? m.mTextureCoords[k] : nullptr;
      AppendChannel(*channels[static_cast<std::size_t>(k + 1)], mesh.maps[static_cast<std::size_t>(k + 1)],
                    uv != nullptr, numVerts, faces.tris,
                    [&](uint32_t i) { return Checked(uv[i], nonFinite); });
    }
    if (anyColors) {
      const aiColor4D* c = m.mColors[0];
      AppendChannel(*channels[0], mesh.maps[0], c != nullptr, numVerts, faces.tris,
                    [&](uint32_t i) { return CheckedColor(c[i], nonFinite); });
    }
  }
  // With positions shared, a smooth group would reach across the creases the normals draw.
  if (anyNormals) GroupSmoothFaces(mesh);
  if (anyTangents && !allTangents)
    warnings.Tally("tangents of meshes whose other parts have none not imported", 1);
  if (zeroNormals) warnings.Tally("corners with a zero normal given their face's normal", zeroNormals);
  if (nonFinite) warnings.Tally("non-finite vertex values (NaN or infinity) replaced by 0", nonFinite);
  return out;
}

}  // namespace vorlan::workbench::interchange
