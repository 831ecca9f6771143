// Nearest-point queries over a fixed set of points that answer exactly what a scan of the
// points in their order would answer.
//
// The distance is that of the scan: the coordinate differences in single precision, their
// squares summed and rooted in double precision (ScanDistance). The scan keeps its closest
// distance so far as a float and takes a point when its double distance is below that float,
// stopping at the first point it takes closer than 0.001. So the result is not simply the
// point of least distance: FindNearest reproduces the scan's rule (see there). A k-d tree
// with each node's bounding box and lowest point index prunes the search; a node is skipped
// only when a lower bound of the scan's distance, computed the same way, proves that no
// point of it can change the answer.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "host/math3d.h"

namespace vorlan::skintools {

// The scan stops at the first point it takes that is closer than this.
inline constexpr double kExactHit = 0.001;
// The closest distance before any point is taken: the largest float.
inline constexpr float kNoDistance = FLT_MAX;

inline double ScanDistance(host::Point3 a, host::Point3 b) {
  host::Point3 d = a - b;
  return std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
}

// The host's test of two points being equal within a tolerance: each coordinate differs by
// at most `eps`.
inline bool EqualWithin(host::Point3 a, host::Point3 b, float eps) {
  return std::fabs(a.x - b.x) <= eps && std::fabs(a.y - b.y) <= eps && std::fabs(a.z - b.z) <= eps;
}

struct ScanHit {
  int index = -1;                // -1: no point was taken
  float distance = kNoDistance;  // the scan's closest distance (a float)
};

class PointIndex {
 public:
  explicit PointIndex(std::span<const host::Point3> points);

  // The point a scan in index order takes last: the lowest index closer than 0.001 if there
  // is one; otherwise, with F the least distance rounded to float, the first point whose
  // distance rounds to F, replaced by every later such point whose distance is below F.
  ScanHit FindNearest(host::Point3 q) const;

  // The least distance of any point below the largest float; false when there is none.
  bool MinDistance(host::Point3 q, double& out) const;
  // Every point whose distance is not greater than `bound`, in no particular order.
  void Within(host::Point3 q, double bound, std::vector<uint32_t>& out) const;
  // The lowest index whose distance is below `limit`, or -1.
  int FirstBelow(host::Point3 q, double limit) const;
  // The lowest index whose coordinates each differ from q's by at most `eps` (as floats), or -1.
  int FirstInBox(host::Point3 q, float eps) const;

  std::span<const host::Point3> Points() const { return points_; }

  // An order of the given points in which neighbours in space tend to be neighbours in the
  // list (Morton order of their cells; points with NaN last). Answering queries in this order
  // keeps the tree's nodes in the cache.
  static std::vector<uint32_t> SpatialOrder(std::span<const host::Point3> points);

 private:
  struct Node {
    host::Point3 min, max;
    uint32_t lowestIndex;
    uint32_t begin, end;  // range of order_
    int32_t left = -1, right = -1;
  };
  int32_t Build(uint32_t begin, uint32_t end);
  // A lower bound of ScanDistance(q, p) for every p in the node's box; NaN when unknown.
  static double LowerBound(const Node& n, host::Point3 q);

  struct Nearest;
  void NearestIn(int32_t node, host::Point3 q, Nearest& state) const;
  void MinDistanceIn(int32_t node, host::Point3 q, double& best) const;
  void WithinIn(int32_t node, host::Point3 q, double bound, std::vector<uint32_t>& out) const;
  void FirstBelowIn(int32_t node, host::Point3 q, double limit, int64_t& best) const;
  void FirstInBoxIn(int32_t node, host::Point3 q, float eps, int64_t& best) const;

  std::span<const host::Point3> points_;
  std::vector<uint32_t> order_;
  std::vector<Node> nodes_;
};

}  // namespace vorlan::skintools
