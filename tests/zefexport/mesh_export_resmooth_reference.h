// The plain resmoothing walk: for each corner of each smoothed triangle, search every corner
// of the object. Quadratic; kept as the oracle that the grouped version must match bit for bit.
#pragma once

#include "zefexport/mesh_export.h"

namespace vorlan::zefexport::testing {

inline void ResmoothReference(FaceList& faces) {
  const std::size_t n = faces.NumCorners();
  std::vector<std::size_t> collected;
  for (std::size_t t = 0; t < faces.NumTriangles(); ++t) {
    const uint32_t sg = faces.triangles[t].smGroups;
    if (sg == 0) continue;
    for (std::size_t k = 0; k < 3; ++k) {
      const host::Point3 p = faces.positions[3 * t + k];
      collected.clear();
      host::Point3 sum{};
      for (std::size_t j = 0; j < n; ++j) {
        if ((faces.triangles[j / 3].smGroups & sg) == 0 || !(faces.positions[j] == p)) continue;
        collected.push_back(j);
        sum += faces.normals[j];
      }
      const host::Point3 merged = host::Normalize(sum);
      for (std::size_t j : collected) faces.normals[j] = merged;
    }
  }
}

}  // namespace vorlan::zefexport::testing
