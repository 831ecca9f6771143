#include "mapwright/unfold.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace vorlan::mapwright {

namespace {

double Distance(host::Point3 a, host::Point3 b) {
  double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The point at distance da from A and db from B, on the side of AB that `side` (+1 or -1)
// names: +1 is the side the perpendicular (-e.y, e.x) of the direction e from A to B points to.
Flat Apex(Flat a, Flat b, double da, double db, int side) {
  double ex = b.x - a.x, ey = b.y - a.y;
  double c = std::sqrt(ex * ex + ey * ey);
  if (c == 0) return {a.x + da, a.y};
  ex /= c;
  ey /= c;
  double x = (da * da - db * db + c * c) / (2 * c);
  double h = std::sqrt(std::max(0.0, da * da - x * x));
  return {a.x + x * ex - side * h * ey, a.y + x * ey + side * h * ex};
}

// Identity of a projected point: equal coordinates, equal id (0 and -0 alike); every NaN
// point is its own, as it equals nothing.
class PointIds {
 public:
  uint32_t Id(host::Point3 p) {
    if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) return next_++;
    Key k{Bits(p.x), Bits(p.y), Bits(p.z)};
    auto [it, added] = ids_.try_emplace(k, next_);
    if (added) ++next_;
    return it->second;
  }

 private:
  struct Key {
    uint32_t x, y, z;
    bool operator==(const Key&) const = default;
  };
  struct Hash {
    std::size_t operator()(const Key& k) const {
      uint64_t h = (uint64_t(k.x) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(k.y) * 0xC2B2AE3D27D4EB4Full) ^
                   (uint64_t(k.z) * 0x165667B19E3779F9ull);
      return std::size_t(h ^ (h >> 29));
    }
  };
  static uint32_t Bits(float f) { return f == 0.0f ? 0u : std::bit_cast<uint32_t>(f); }
  std::unordered_map<Key, uint32_t, Hash> ids_;
  uint32_t next_ = 0;
};

uint64_t EdgeKey(uint32_t a, uint32_t b) {
  if (a > b) std::swap(a, b);
  return (uint64_t(a) << 32) | b;
}

}  // namespace

FlatTri LayFirstFace(const Tri& f) {
  double d01 = Distance(f[0], f[1]), d02 = Distance(f[0], f[2]), d12 = Distance(f[1], f[2]);
  double cross = (double(f[1].x) - f[0].x) * (double(f[2].y) - f[0].y) -
                 (double(f[1].y) - f[0].y) * (double(f[2].x) - f[0].x);
  Flat a{0, 0}, b{d01, 0};
  return {a, b, Apex(a, b, d02, d12, cross >= 0 ? 1 : -1)};
}

FlatTri LayAcrossEdge(const Tri& face, int i, int j, const FlatTri& from, int a, int b) {
  int k = 3 - i - j, c = 3 - a - b;
  Flat pa = from[a], pb = from[b], pc = from[c];
  double ex = pb.x - pa.x, ey = pb.y - pa.y;
  double crossC = ex * (pc.y - pa.y) - ey * (pc.x - pa.x);
  FlatTri out;
  out[i] = pa;
  out[j] = pb;
  out[k] = Apex(pa, pb, Distance(face[k], face[i]), Distance(face[k], face[j]), crossC > 0 ? -1 : 1);
  return out;
}

bool FindEdgeCorners(const Tri& face, host::Point3 pa, host::Point3 pb, int& i, int& j) {
  for (i = 0; i < 3; ++i)
    if (face[i] == pa) break;
  if (i == 3) return false;
  for (j = 0; j < 3; ++j)
    if (j != i && face[j] == pb) return true;
  return false;
}

UnfoldResult Unfold(std::span<const Tri> faces) {
  UnfoldResult r;
  r.flat.resize(faces.size());
  r.laid.assign(faces.size(), false);
  if (faces.empty()) return r;

  // Every face listed, in face order, under each pair of its corners' points.
  PointIds ids;
  std::vector<std::array<uint32_t, 3>> faceIds(faces.size());
  for (std::size_t f = 0; f < faces.size(); ++f)
    for (int k = 0; k < 3; ++k) faceIds[f][k] = ids.Id(faces[f][k]);
  struct EdgeList {
    std::vector<uint32_t> faces;
    std::size_t first = 0;  // faces before this one are all laid
  };
  std::unordered_map<uint64_t, EdgeList> edges;
  edges.reserve(faces.size() * 2);
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const auto& id = faceIds[f];
    uint64_t keys[3] = {EdgeKey(id[0], id[1]), EdgeKey(id[1], id[2]), EdgeKey(id[2], id[0])};
    for (int e = 0; e < 3; ++e) {
      if ((e >= 1 && keys[e] == keys[0]) || (e == 2 && keys[2] == keys[1])) continue;
      edges[keys[e]].faces.push_back(uint32_t(f));
    }
  }
  auto firstUnlaid = [&](uint64_t key) -> int {
    auto it = edges.find(key);
    if (it == edges.end()) return -1;
    EdgeList& list = it->second;
    while (list.first < list.faces.size() && r.laid[list.faces[list.first]]) ++list.first;
    return list.first < list.faces.size() ? int(list.faces[list.first]) : -1;
  };

  struct Frame {
    int face;
    int edge;
  };
  std::vector<Frame> stack{{0, 0}};
  r.flat[0] = LayFirstFace(faces[0]);
  r.laid[0] = true;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.edge == 3) {
      stack.pop_back();
      continue;
    }
    int f = top.face, a = top.edge++, b = (a + 1) % 3;
    int g = firstUnlaid(EdgeKey(faceIds[f][a], faceIds[f][b]));
    if (g < 0) continue;
    int i = 0, j = 0;
    // Point ids equal exactly when the points compare equal, so the corners are there.
    for (i = 0; faceIds[g][i] != faceIds[f][a]; ++i) {
    }
    for (j = 0; j == i || faceIds[g][j] != faceIds[f][b]; ++j) {
    }
    r.flat[g] = LayAcrossEdge(faces[g], i, j, r.flat[f], a, b);
    r.laid[g] = true;
    stack.push_back({g, 0});
  }
  return r;
}

}  // namespace vorlan::mapwright
