// The plain scans the fast searches must agree with, written the way the tool has always
// done them: one pass over every point, in order.
#pragma once

#include <vector>

#include "skintools/point_index.h"
#include "skintools/skd_file.h"
#include "skintools/transfer.h"

namespace vorlan::skintools::reference {

// The closest distance so far is kept as a float; a point is taken when its (double)
// distance is below it, and the scan stops at the first point it takes closer than 0.001.
inline ScanHit ScanNearest(host::Point3 p, const std::vector<host::Point3>& points) {
  ScanHit hit;
  for (std::size_t i = 0; i < points.size(); ++i) {
    double d = ScanDistance(p, points[i]);
    if (d < hit.distance) {
      hit.distance = static_cast<float>(d);
      hit.index = static_cast<int>(i);
      if (d < kExactHit) break;
    }
  }
  return hit;
}

inline int FirstEqual(host::Point3 p, const std::vector<host::Point3>& points, float eps) {
  for (std::size_t i = 0; i < points.size(); ++i)
    if (EqualWithin(p, points[i], eps)) return static_cast<int>(i);
  return -1;
}

struct Candidate {
  std::size_t record;
  float distance;
};

// Every point within the radius, each inserted after all candidates of smaller or equal
// distance, then the leading ones within threshold times the first distance.
inline std::vector<Candidate> InterpolationCandidates(host::Point3 p, const std::vector<host::Point3>& points,
                                                      float radius, float threshold) {
  std::vector<Candidate> list;
  for (std::size_t i = 0; i < points.size(); ++i) {
    double d = ScanDistance(p, points[i]);
    if (!(d <= radius)) continue;
    Candidate c{i, static_cast<float>(d)};
    auto at = list.begin();
    while (at != list.end() && at->distance <= c.distance) ++at;
    list.insert(at, c);
  }
  if (list.empty()) return list;
  float cut = threshold * list.front().distance;
  std::size_t keep = 0;
  while (keep < list.size() && list[keep].distance <= cut) ++keep;
  list.resize(keep);
  return list;
}

}  // namespace vorlan::skintools::reference
