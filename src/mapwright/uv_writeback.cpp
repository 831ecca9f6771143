#include "mapwright/uv_writeback.h"

#include <bit>
#include <unordered_map>

namespace vorlan::mapwright {

namespace {

bool SameBits(host::Point3 a, host::Point3 b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

struct BitsHash {
  std::size_t operator()(const host::Point3& p) const {
    uint64_t h = std::bit_cast<uint32_t>(p.x) * 0x9E3779B97F4A7C15ull;
    h ^= std::bit_cast<uint32_t>(p.y) * 0xC2B2AE3D27D4EB4Full;
    h ^= std::bit_cast<uint32_t>(p.z) * 0x165667B19E3779F9ull;
    return std::size_t(h ^ (h >> 31));
  }
};
struct BitsEqual {
  bool operator()(const host::Point3& a, const host::Point3& b) const { return SameBits(a, b); }
};

}  // namespace

void EnableMapChannel(host::Mesh& mesh, int channel) {
  host::MapChannel& map = mesh.Map(channel);
  map.tverts = mesh.verts;
  map.tfaces.clear();
  for (const host::MeshFace& f : mesh.faces) map.tfaces.push_back(f.v);
}

bool WriteBack(const UvModel& model, int group, int texture, host::Mesh& mesh) {
  if (group < 0 || std::size_t(group) >= model.groups.size()) return false;
  const UvGroup& g = model.groups[std::size_t(group)];
  if (texture < 0 || std::size_t(texture) >= g.textures.size()) return false;
  const UvTexture& tex = g.textures[std::size_t(texture)];
  if (tex.mapChannel < 0 || tex.mapChannel >= host::kMaxMapChannels) return false;
  if (!mesh.HasMap(tex.mapChannel)) EnableMapChannel(mesh, tex.mapChannel);
  host::MapChannel& map = mesh.Map(tex.mapChannel);
  if (map.tfaces.size() < mesh.faces.size()) map.tfaces.resize(mesh.faces.size(), {0, 0, 0});

  // Map vertices used by faces that are not written must keep their values.
  enum : uint8_t { kFree, kKeep, kAssigned };
  const std::size_t n = map.tverts.size();
  std::vector<uint8_t> state(n, kFree);
  std::vector<uint8_t> written(mesh.faces.size(), 0);
  for (int f : g.faces) {
    int fi = model.faces[std::size_t(f)].faceIndex;
    if (fi >= 0 && std::size_t(fi) < written.size()) written[std::size_t(fi)] = 1;
  }
  for (std::size_t f = 0; f < map.tfaces.size(); ++f)
    if (f >= written.size() || !written[f])
      for (uint32_t idx : map.tfaces[f])
        if (idx < n) state[idx] = kKeep;

  std::unordered_map<host::Point3, uint32_t, BitsHash, BitsEqual> added;
  const double of = tex.outputFactor;
  for (int f : g.faces) {
    const UvFace& face = model.faces[std::size_t(f)];
    if (face.faceIndex < 0 || std::size_t(face.faceIndex) >= written.size()) continue;
    if (std::size_t(texture) >= face.textures.size()) continue;
    auto& tface = map.tfaces[std::size_t(face.faceIndex)];
    for (int k = 0; k < 3; ++k) {
      const UvCorner& c = face.textures[std::size_t(texture)][std::size_t(k)];
      host::Point3 value{float(c.u / tex.width * of), float(-(c.v / tex.height) * of), c.w};
      uint32_t& idx = tface[std::size_t(k)];
      if (idx < n) {
        if (state[idx] != kAssigned && SameBits(map.tverts[idx], value)) {
          if (state[idx] == kFree) state[idx] = kAssigned;
          continue;
        }
        if (state[idx] == kAssigned && SameBits(map.tverts[idx], value)) continue;
        if (state[idx] == kFree) {
          map.tverts[idx] = value;
          state[idx] = kAssigned;
          continue;
        }
      }
      auto [it, isNew] = added.try_emplace(value, uint32_t(map.tverts.size()));
      if (isNew) map.tverts.push_back(value);
      idx = it->second;
    }
  }
  return true;
}

}  // namespace vorlan::mapwright
