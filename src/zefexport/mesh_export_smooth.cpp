// Resmoothing one object: corners at the same position that share a smoothing group end up
// with one normal.
//
// Taken literally this compares every corner with every other one. Only corners at exactly
// the same position can ever meet, so the corners are first grouped by position through a
// hash table, and each group is then processed on its own exactly as the all-pairs walk
// would: same corners visited in the same order, normals summed in the same order, so the
// floating-point results are identical bit for bit. Within a group the walk is still
// quadratic; groups of many corners take a shortcut that gives the same bits (see
// SmoothGroupByClass).
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <span>
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

bool SameBits(host::Point3 a, host::Point3 b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

// One position group, walked the plain way: every member against every other.
void SmoothGroupPlain(std::span<const uint32_t> members, std::span<const uint32_t> sgs,
                      std::vector<host::Point3>& normals) {
  for (std::size_t i = 0; i < members.size(); ++i) {
    const uint32_t sg = sgs[i];
    host::Point3 sum{};
    for (std::size_t j = 0; j < members.size(); ++j)
      if (sgs[j] & sg) sum += normals[members[j]];
    const host::Point3 merged = host::Normalize(sum);
    for (std::size_t j = 0; j < members.size(); ++j)
      if (sgs[j] & sg) normals[members[j]] = merged;
  }
}

constexpr std::size_t kPlainGroupSize = 64;
constexpr std::size_t kMaxClasses = 64;

// A large group (many corners at one point, as in an object scaled to nothing), walked by
// classes of equal smoothing groups. A member's step touches whole classes, after which every
// member of a touched class has the same normal; when all the classes a step reads hold one
// and the same normal, the sum is that normal added |S| times, which is remembered rather than
// recomputed. Sums are always formed in member order, so the result is the plain walk's.
// Returns false (nothing changed) when the group has too many distinct smoothing groups.
bool SmoothGroupByClass(std::span<const uint32_t> members, std::span<const uint32_t> sgs,
                        std::vector<host::Point3>& normals) {
  std::vector<uint32_t> classValue;
  std::vector<uint8_t> memberClass(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    std::size_t c = 0;
    while (c < classValue.size() && classValue[c] != sgs[i]) ++c;
    if (c == classValue.size()) {
      if (c == kMaxClasses) return false;
      classValue.push_back(sgs[i]);
    }
    memberClass[i] = static_cast<uint8_t>(c);
  }
  const std::size_t classes = classValue.size();
  std::vector<uint64_t> reads(classes, 0);  // classes whose groups share a bit with this one
  std::vector<std::size_t> classSize(classes, 0), readSize(classes, 0);
  for (uint8_t c : memberClass) ++classSize[c];
  for (std::size_t c = 0; c < classes; ++c)
    for (std::size_t w = 0; w < classes; ++w)
      if (classValue[c] & classValue[w]) reads[c] |= uint64_t{1} << w, readSize[c] += classSize[w];

  std::vector<uint8_t> uniform(classes, 0);
  std::vector<host::Point3> value(classes);
  host::Point3 memoIn{}, memoOut{};
  std::size_t memoCount = 0;  // 0: nothing remembered
  for (std::size_t i = 0; i < members.size(); ++i) {
    const uint8_t own = memberClass[i];
    const uint64_t mask = reads[own];
    bool same = true;
    host::Point3 common{};
    bool haveCommon = false;
    for (uint64_t m = mask; m && same; m &= m - 1) {
      const int w = std::countr_zero(m);
      if (!uniform[static_cast<std::size_t>(w)]) {
        same = false;
      } else if (!haveCommon) {
        common = value[static_cast<std::size_t>(w)];
        haveCommon = true;
      } else {
        same = SameBits(common, value[static_cast<std::size_t>(w)]);
      }
    }
    host::Point3 merged;
    if (same) {
      if (memoCount != readSize[own] || !SameBits(memoIn, common)) {
        host::Point3 sum{};
        for (std::size_t k = 0; k < readSize[own]; ++k) sum += common;
        memoIn = common;
        memoOut = host::Normalize(sum);
        memoCount = readSize[own];
      }
      merged = memoOut;
    } else {
      host::Point3 sum{};
      for (std::size_t j = 0; j < members.size(); ++j) {
        const uint8_t w = memberClass[j];
        if (mask >> w & 1) sum += uniform[w] ? value[w] : normals[members[j]];
      }
      merged = host::Normalize(sum);
    }
    for (uint64_t m = mask; m; m &= m - 1) {
      const auto w = static_cast<std::size_t>(std::countr_zero(m));
      uniform[w] = 1;
      value[w] = merged;
    }
  }
  for (std::size_t j = 0; j < members.size(); ++j)
    if (uniform[memberClass[j]]) normals[members[j]] = value[memberClass[j]];
  return true;
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
    const std::span<const uint32_t> m(members.data() + begin, end - begin),
        sg(memberSg.data() + begin, end - begin);
    if (m.size() <= kPlainGroupSize || !SmoothGroupByClass(m, sg, faces.normals))
      SmoothGroupPlain(m, sg, faces.normals);
    done += end - begin;
    if (progress && done >= nextReport) {
      progress->SetBar2(-1, total, static_cast<int>(std::min<std::size_t>(done / 3, INT32_MAX)));
      nextReport = done + (1 << 14);
    }
  }
  if (progress) progress->SetBar2(-1, total, total);
}

}  // namespace vorlan::zefexport
