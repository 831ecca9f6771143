#include "host/mesh.h"

#include "support/append_generated.h"
#include "support/memmgr.h"

namespace vorlan::host {

bool Mesh::HasMap(int channel) const {
  const MapChannel* m = FindMap(channel);
  return m && !m->Empty();
}

MapChannel& Mesh::Map(int channel) {
  if (maps.size() <= static_cast<std::size_t>(channel)) maps.resize(static_cast<std::size_t>(channel) + 1);
  return maps[static_cast<std::size_t>(channel)];
}

const MapChannel* Mesh::FindMap(int channel) const {
  if (channel < 0 || static_cast<std::size_t>(channel) >= maps.size()) return nullptr;
  return &maps[static_cast<std::size_t>(channel)];
}

Point3 Mesh::FaceNormal(int f) const {
  const MeshFace& face = faces[static_cast<std::size_t>(f)];
  Point3 a = verts[face.v[0]], b = verts[face.v[1]], c = verts[face.v[2]];
  return Normalize(Cross(b - a, c - a));
}

void Mesh::BuildNormals() {
  builtFaces_ = faces.size();
  handSet_ = !explicitNormals.empty() && normalFaces.size() == faces.size();
  if (handSet_) {
    cornerNormals_ = {};
    // Built once per import of a large mesh: its pages are backed in one call and every
    // normal is stored once.
    unitNormals_.clear();
    unitNormals_.reserve(explicitNormals.size());
    support::PrefaultForWrite(unitNormals_.data(), unitNormals_.capacity() * sizeof(Point3));
    support::AppendGenerated(unitNormals_, explicitNormals.size(),
                             [this](std::size_t i) VORLAN_INLINE { return Normalize(explicitNormals[i]); });
    return;
  }
  unitNormals_ = {};
  cornerNormals_.assign(faces.size(), {});
  // Per vertex, a short list of (groups, summed normal). Faces are merged into the first
  // entry whose groups share a bit with theirs; the entry then takes on their groups too.
  struct Entry {
    uint32_t groups;
    Point3 sum;
  };
  std::vector<std::vector<Entry>> perVertex(verts.size());
  std::vector<Point3> area(faces.size());
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const MeshFace& face = faces[f];
    Point3 a = verts[face.v[0]], b = verts[face.v[1]], c = verts[face.v[2]];
    area[f] = Cross(b - a, c - a);
    if (face.smGroup == 0) continue;
    for (uint32_t v : face.v) {
      auto& list = perVertex[v];
      Entry* hit = nullptr;
      for (auto& e : list)
        if (e.groups & face.smGroup) {
          hit = &e;
          break;
        }
      if (hit) {
        hit->groups |= face.smGroup;
        hit->sum += area[f];
      } else {
        list.push_back({face.smGroup, area[f]});
      }
    }
  }
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const MeshFace& face = faces[f];
    Point3 own = Normalize(area[f]);
    for (std::size_t k = 0; k < 3; ++k) {
      Point3 n = own;
      if (face.smGroup != 0) {
        for (const auto& e : perVertex[face.v[k]])
          if (e.groups & face.smGroup) {
            n = Normalize(e.sum);
            break;
          }
      }
      cornerNormals_[f][k] = n;
    }
  }
}

void Mesh::ForgetNormals() {
  cornerNormals_ = {};
  unitNormals_ = {};
  builtFaces_ = 0;
  handSet_ = false;
}

Point3 Mesh::CornerNormal(int f, int corner) const {
  if (!NormalsBuilt()) return FaceNormal(f);
  const auto face = static_cast<std::size_t>(f);
  const auto k = static_cast<std::size_t>(corner);
  if (!handSet_) return cornerNormals_[face][k];
  // A corner whose index points past the normals (or whose normal face went away since
  // the build) shows its face's own normal.
  const uint32_t n = UnitNormalIndex(face, k);
  return n != kOwnNormal ? unitNormals_[n] : FaceNormal(f);
}

Box3 Mesh::Bounds() const {
  Box3 b;
  for (Point3 p : verts) b.Include(p);
  return b;
}

bool Mesh::IsValid() const {
  for (const MeshFace& f : faces)
    for (uint32_t v : f.v)
      if (v >= verts.size()) return false;
  for (const MapChannel& m : maps) {
    if (m.tfaces.empty()) continue;
    if (m.tfaces.size() != faces.size()) return false;
    for (const auto& tf : m.tfaces)
      for (uint32_t v : tf)
        if (v >= m.tverts.size()) return false;
  }
  if (!normalFaces.empty()) {
    if (normalFaces.size() != faces.size()) return false;
    for (const auto& nf : normalFaces)
      for (uint32_t v : nf)
        if (v >= explicitNormals.size()) return false;
  }
  return true;
}

}  // namespace vorlan::host
