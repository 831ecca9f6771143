// Resmoothing one object: corners at the same position that share a smoothing group end up
// with one normal.
//
// Taken literally this compares every corner with every other one. Only corners at exactly
// the same position can ever meet, so the corners are first grouped by position through a
// hash table, and each group is then processed on its own exactly as the all-pairs walk
// would: same corners visited in the same order, normals summed in the same order, so the
// floating-point results are identical bit for bit.
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "zefexport/mesh_export.h"

namespace vorlan::zefexport {
namespace {

// Exact-position key: -0 and +0 compare equal, so they must hash equal too.
struct PosKey {
  uint32_t x, y, z;
  explicit PosKey(host::Point3 p)
      : x(std::bit_cast<uint32_t>(p.x + 0.0f)),
        y(std::bit_cast<uint32_t>(p.y + 0.0f)),
        z(std::bit_cast<uint32_t>(p.z + 0.0f)) {}
  friend bool operator==(const PosKey&, const PosKey&) = default;
  uint64_t Hash() const {
    uint64_t h = (uint64_t(x) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(y) * 0xC2B2AE3D27D4EB4Full) ^
                 (uint64_t(z) * 0x165667B19E3779F9ull);
    return h ^ (h >> 29);
  }
};

constexpr uint32_t kNone = UINT32_MAX;

// Groups corners by exact position; returns each corner's group (kNone for corners that can
// never be merged: no smoothing group, or a NaN coordinate that equals nothing).
std::vector<uint32_t> GroupByPosition(const FaceList& faces, uint32_t& groupCount) {
  const std::size_t n = faces.NumCorners();
  std::vector<uint32_t> group(n, kNone);
  std::size_t cap = 16;
  while (cap < 2 * n) cap <<= 1;
  std::vector<uint32_t> table(cap, kNone);  // group id; its key is the key of its first corner
  std::vector<PosKey> groupKey;
  groupCount = 0;
  for (std::size_t c = 0; c < n; ++c) {
    if (faces.triangles[c / 3].smGroups == 0) continue;
    const host::Point3 p = faces.positions[c];
    if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) continue;
    const PosKey key(p);
    std::size_t slot = key.Hash() & (cap - 1);
    while (table[slot] != kNone && !(groupKey[table[slot]] == key)) slot = (slot + 1) & (cap - 1);
    if (table[slot] == kNone) {
      table[slot] = groupCount++;
      groupKey.push_back(key);
    }
    group[c] = table[slot];
  }
  return group;
}

}  // namespace

void ResmoothFaceList(FaceList& faces, zef::ExportProgress* progress) {
  const std::size_t n = faces.NumCorners();
  uint32_t groups = 0;
  const std::vector<uint32_t> group = GroupByPosition(faces, groups);

  // Members of each group in corner order (a stable counting sort).
  std::vector<uint32_t> first(std::size_t(groups) + 1, 0);
  for (uint32_t g : group)
    if (g != kNone) ++first[g + 1];
  for (std::size_t g = 0; g < groups; ++g) first[g + 1] += first[g];
  std::vector<uint32_t> members(first[groups]), fill(first.begin(), first.end() - 1);
  std::vector<uint32_t> memberSg(members.size());
  for (std::size_t c = 0; c < n; ++c)
    if (group[c] != kNone) {
      const uint32_t at = fill[group[c]]++;
      members[at] = static_cast<uint32_t>(c);
      memberSg[at] = faces.triangles[c / 3].smGroups;
    }

  const int total = static_cast<int>(std::min<std::size_t>(faces.NumTriangles(), INT32_MAX));
  if (progress) progress->SetBar2(0, total, 0);
  std::size_t done = 0, nextReport = 1 << 14;
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t begin = first[g], end = first[g + 1];
    for (uint32_t i = begin; i < end; ++i) {
      const uint32_t sg = memberSg[i];
      host::Point3 sum{};
      for (uint32_t j = begin; j < end; ++j)
        if (memberSg[j] & sg) sum += faces.normals[members[j]];
      const host::Point3 merged = host::Normalize(sum);
      for (uint32_t j = begin; j < end; ++j)
        if (memberSg[j] & sg) faces.normals[members[j]] = merged;
    }
    done += end - begin;
    if (progress && done >= nextReport) {
      progress->SetBar2(-1, total, static_cast<int>(std::min<std::size_t>(done / 3, INT32_MAX)));
      nextReport = done + (1 << 14);
    }
  }
  if (progress) progress->SetBar2(-1, total, total);
}

}  // namespace vorlan::zefexport
