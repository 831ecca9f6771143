#include "mapwright/uv_model.h"

#include "host/ids.h"
#include "mapwright/unfold.h"
#include "mapwright/uv_editor.h"

namespace vorlan::mapwright {

namespace {

// The corner as the chosen mapping sees it: planar mappings drop one world axis, the host's
// mapping takes the map vertex; every y is negated because texture space grows downwards.
host::Point3 PlanarProjection(host::Point3 p, int axis) {
  switch (axis) {
    case 0:
      return {p.y, -p.z, p.x};
    case 1:
      return {p.x, -p.z, p.y};
    default:
      return {p.x, -p.y, p.z};
  }
}

// The material that textures a face, or a message when there is none that may be edited.
std::optional<Message> FaceMaterial(host::Mtl* nodeMtl, int matId, host::Mtl*& out) {
  out = nodeMtl;
  if (!nodeMtl) return std::nullopt;
  if (nodeMtl->GetClassId() == host::kMultiMtlClassId) {
    int n = nodeMtl->NumSubMtls();
    out = n > 0 ? nodeMtl->GetSubMtl(matId % n) : nullptr;
    if (!out) return Message{"CreateSelFaceList(): pSubMtl = NULL !"};
  }
  if (out->GetClassId() != host::kStandardMtlClassId) return Message{"You must use MAX's Standard materials"};
  return std::nullopt;
}

}  // namespace

host::Point3 MapCorner(const host::MapChannel& map, int face, int corner) {
  if (face < 0 || std::size_t(face) >= map.tfaces.size()) return {};
  uint32_t t = map.tfaces[std::size_t(face)][std::size_t(corner)];
  host::Point3 p = t < map.tverts.size() ? map.tverts[t] : host::Point3{};
  return {p.x, -p.y, p.z};
}

int UvModel::GroupOf(int face) const {
  for (std::size_t g = 0; g < groups.size(); ++g)
    if (groups[g].material == faces[std::size_t(face)].material) return int(g);
  return -1;
}

std::vector<host::Texmap*> BitmapTextures(const host::Mtl* mtl) {
  std::vector<host::Texmap*> out;
  if (!mtl) return out;
  for (int slot = 0; slot < mtl->NumSubTexmaps(); ++slot) {
    host::Texmap* map = mtl->GetSubTexmap(slot);
    if (map && map->GetClassId() == host::kBitmapTexClassId) out.push_back(map);
  }
  return out;
}

FaceListResult BuildFaceList(const host::Mesh& mesh, const host::Matrix3& objectToWorld, host::Mtl* nodeMtl,
                             const BuildOptions& options) {
  FaceListResult r;
  std::vector<int> selected;
  for (int f = 0; f < mesh.NumFaces(); ++f)
    if (std::size_t(f) < mesh.faceSel.size() && mesh.faceSel[std::size_t(f)]) selected.push_back(f);
  if (selected.empty()) {
    r.message = Message{"Select faces, please.", "Info"};
    return r;
  }
  const host::MapChannel* map = nullptr;
  if (options.method == MapMethod::Mesh) {
    map = mesh.FindMap(options.mapChannel);
    if (!map || map->tfaces.empty()) {
      r.message = Message{"You have selected object without mapping!"};
      return r;
    }
  }

  auto worldVertex = [&](uint32_t v) {
    return v < mesh.verts.size() ? mesh.verts[v] * objectToWorld : host::Point3{};
  };

  r.faces.reserve(selected.size());
  for (int f : selected) {
    const host::MeshFace& mf = mesh.faces[std::size_t(f)];
    UvFace face;
    face.faceIndex = f;
    face.materialId = mf.matId;
    face.flags = (uint32_t(mf.matId) << 16) | (mf.edgeVis & 7u);
    if (auto message = FaceMaterial(nodeMtl, mf.matId, face.material)) {
      r.faces.clear();
      r.message = message;
      return r;
    }
    face.textureCount = int(BitmapTextures(face.material).size());
    for (int k = 0; k < 3; ++k) {
      if (options.method == MapMethod::Mesh)
        face.projected[std::size_t(k)] = MapCorner(*map, f, k);
      else
        face.projected[std::size_t(k)] = PlanarProjection(
            worldVertex(mf.v[std::size_t(k)]), options.method == MapMethod::Planar ? options.planarAxis : 2);
    }
    r.faces.push_back(std::move(face));
  }

  if (options.method == MapMethod::Unfold) {
    std::vector<Tri> tris(r.faces.size());
    for (std::size_t i = 0; i < tris.size(); ++i) tris[i] = r.faces[i].projected;
    UnfoldResult laid = Unfold(tris);
    for (std::size_t i = 0; i < tris.size(); ++i) {
      r.faces[i].laid = laid.laid[i];
      if (!laid.laid[i]) continue;
      for (int k = 0; k < 3; ++k)
        r.faces[i].projected[std::size_t(k)] = {float(laid.flat[i][std::size_t(k)].x),
                                                float(laid.flat[i][std::size_t(k)].y), 0.0f};
    }
  }
  return r;
}

void BuildGroups(UvModel& model, float texelsFactor, const TextureLoader& loader, const host::Mesh* mesh) {
  model.groups.clear();
  const bool own = model.method == MapMethod::Mesh;
  for (std::size_t f = 0; f < model.faces.size(); ++f) {
    UvFace& face = model.faces[f];
    int g = model.GroupOf(int(f));
    if (g < 0) {
      UvGroup group;
      group.material = face.material;
      group.name = face.material ? face.material->GetName() : "(none)";
      for (host::Texmap* map : BitmapTextures(face.material)) group.textures.push_back(loader(map));
      if (group.textures.empty())
        group.textures.push_back(UvTexture{.name = "(none)", .mapChannel = model.mapChannel});
      model.groups.push_back(std::move(group));
      g = int(model.groups.size()) - 1;
    }
    UvGroup& group = model.groups[std::size_t(g)];
    group.faces.push_back(int(f));
    face.textures.assign(group.textures.size(), TextureSet{});
    for (std::size_t t = 0; t < group.textures.size(); ++t) {
      const UvTexture& tex = group.textures[t];
      std::array<host::Point3, 3> corners = face.projected;
      const host::MapChannel* map =
          own && mesh && tex.mapChannel != model.mapChannel ? mesh->FindMap(tex.mapChannel) : nullptr;
      if (map && !map->tfaces.empty())
        for (int k = 0; k < 3; ++k) corners[std::size_t(k)] = MapCorner(*map, face.faceIndex, k);
      for (int k = 0; k < 3; ++k) {
        UvCorner& c = face.textures[t][std::size_t(k)];
        c.u = double(corners[std::size_t(k)].x) * tex.width;
        c.v = double(corners[std::size_t(k)].y) * tex.height;
        c.w = own ? corners[std::size_t(k)].z : 0.0f;
      }
    }
  }
  for (std::size_t g = 0; g < model.groups.size(); ++g)
    for (std::size_t t = 0; t < model.groups[g].textures.size(); ++t) {
      UvTexture& tex = model.groups[g].textures[t];
      double f = double(texelsFactor) / tex.texels;
      ApplyAboutCentre(model, int(g), int(t), false, Affine2::Scale(f, f));
      tex.texels = texelsFactor;
    }
}

}  // namespace vorlan::mapwright
