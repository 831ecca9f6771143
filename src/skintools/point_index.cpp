#include "skintools/point_index.h"

#include <algorithm>
#include <limits>

namespace vorlan::skintools {

namespace {

constexpr uint32_t kLeafSize = 8;

bool HasNaN(host::Point3 p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

// How far q lies outside [lo, hi] on one axis, rounded as the scan rounds a difference: no
// point of the interval is nearer on this axis, because rounding keeps the order of values.
float Gap(float q, float lo, float hi) {
  if (q < lo) return lo - q;
  if (q > hi) return q - hi;
  return 0.0f;
}

}  // namespace

PointIndex::PointIndex(std::span<const host::Point3> points) : points_(points) {
  order_.reserve(points.size());
  for (uint32_t i = 0; i < points.size(); ++i)
    if (!HasNaN(points[i])) order_.push_back(i);
  if (!order_.empty()) {
    nodes_.reserve(2 * (order_.size() / kLeafSize + 1));
    Build(0, static_cast<uint32_t>(order_.size()));
  }
}

int32_t PointIndex::Build(uint32_t begin, uint32_t end) {
  Node n;
  n.begin = begin;
  n.end = end;
  n.min = n.max = points_[order_[begin]];
  n.lowestIndex = order_[begin];
  for (uint32_t i = begin; i < end; ++i) {
    host::Point3 p = points_[order_[i]];
    for (int a = 0; a < 3; ++a) {
      n.min[a] = std::min(n.min[a], p[a]);
      n.max[a] = std::max(n.max[a], p[a]);
    }
    n.lowestIndex = std::min(n.lowestIndex, order_[i]);
  }
  int32_t self = static_cast<int32_t>(nodes_.size());
  nodes_.push_back(n);
  if (end - begin <= kLeafSize) return self;
  int axis = 0;
  double widest = -1;
  for (int a = 0; a < 3; ++a) {
    double w = double(n.max[a]) - double(n.min[a]);
    if (w > widest) widest = w, axis = a;
  }
  uint32_t mid = begin + (end - begin) / 2;
  std::nth_element(order_.begin() + begin, order_.begin() + mid, order_.begin() + end,
                   [&](uint32_t a, uint32_t b) { return points_[a][axis] < points_[b][axis]; });
  int32_t left = Build(begin, mid);
  int32_t right = Build(mid, end);
  nodes_[static_cast<std::size_t>(self)].left = left;
  nodes_[static_cast<std::size_t>(self)].right = right;
  return self;
}

double PointIndex::LowerBound(const Node& n, host::Point3 q) {
  double gx = Gap(q.x, n.min.x, n.max.x), gy = Gap(q.y, n.min.y, n.max.y), gz = Gap(q.z, n.min.z, n.max.z);
  return std::sqrt(gx * gx + gy * gy + gz * gz);
}

// The points whose distance rounds to the least float distance seen so far, with their
// distances. A node is skipped when every point of it lies at or beyond the next float up.
struct PointIndex::Nearest {
  float closest = kNoDistance;
  bool any = false;
  std::vector<std::pair<uint32_t, double>> ties;
  double Bound() const {
    return any ? double(std::nextafter(closest, std::numeric_limits<float>::infinity()))
               : std::numeric_limits<double>::infinity();
  }
};

void PointIndex::NearestIn(int32_t index, host::Point3 q, Nearest& state) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  if (LowerBound(n, q) >= state.Bound()) return;
  if (n.left < 0) {
    for (uint32_t i = n.begin; i < n.end; ++i) {
      double d = ScanDistance(q, points_[order_[i]]);
      if (!(d < double(kNoDistance))) continue;
      float f = static_cast<float>(d);
      if (!state.any || f < state.closest) {
        state.any = true;
        state.closest = f;
        state.ties.clear();
      } else if (f != state.closest) {
        continue;
      }
      state.ties.push_back({order_[i], d});
    }
    return;
  }
  const Node& l = nodes_[static_cast<std::size_t>(n.left)];
  const Node& r = nodes_[static_cast<std::size_t>(n.right)];
  bool leftFirst = !(LowerBound(r, q) < LowerBound(l, q));
  NearestIn(leftFirst ? n.left : n.right, q, state);
  NearestIn(leftFirst ? n.right : n.left, q, state);
}

ScanHit PointIndex::FindNearest(host::Point3 q) const {
  thread_local Nearest state;
  state.any = false;
  state.closest = kNoDistance;
  state.ties.clear();
  if (!nodes_.empty()) NearestIn(0, q, state);
  if (!state.any) return {};
  double least = state.ties.front().second;
  for (auto& [i, d] : state.ties) least = std::min(least, d);
  // A point closer than the early stop ends the scan where it is first met.
  if (least < kExactHit) {
    int first = FirstBelow(q, kExactHit);
    return {first, static_cast<float>(ScanDistance(q, points_[static_cast<std::size_t>(first)]))};
  }
  // Among the points whose distance rounds to the closest float, the scan takes the first,
  // then each later one whose distance is below that float.
  std::sort(state.ties.begin(), state.ties.end());
  ScanHit hit{static_cast<int>(state.ties.front().first), state.closest};
  for (std::size_t k = 1; k < state.ties.size(); ++k)
    if (state.ties[k].second < double(state.closest)) hit.index = static_cast<int>(state.ties[k].first);
  return hit;
}

std::vector<uint32_t> PointIndex::SpatialOrder(std::span<const host::Point3> points) {
  host::Box3 box;
  for (host::Point3 p : points)
    if (!HasNaN(p) && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) box.Include(p);
  auto spread = [](uint32_t v) {
    uint64_t x = v & 0x1FFFFF;
    x = (x | x << 32) & 0x1F00000000FFFFull;
    x = (x | x << 16) & 0x1F0000FF0000FFull;
    x = (x | x << 8) & 0x100F00F00F00F00Full;
    x = (x | x << 4) & 0x10C30C30C30C30C3ull;
    x = (x | x << 2) & 0x1249249249249249ull;
    return x;
  };
  auto cell = [&](float v, float lo, float hi) -> uint32_t {
    double t = hi > lo ? (double(v) - lo) / (double(hi) - lo) : 0.0;
    if (!(t > 0)) return 0;
    return t >= 1 ? 0x1FFFFF : static_cast<uint32_t>(t * 0x1FFFFF);
  };
  std::vector<std::pair<uint64_t, uint32_t>> keyed(points.size());
  for (uint32_t i = 0; i < points.size(); ++i) {
    host::Point3 p = points[i];
    uint64_t key = HasNaN(p) || box.IsEmpty() ? ~uint64_t(0)
                                              : spread(cell(p.x, box.min.x, box.max.x)) |
                                                    spread(cell(p.y, box.min.y, box.max.y)) << 1 |
                                                    spread(cell(p.z, box.min.z, box.max.z)) << 2;
    keyed[i] = {key, i};
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<uint32_t> order(points.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
  return order;
}

bool PointIndex::MinDistance(host::Point3 q, double& out) const {
  double best = double(kNoDistance);
  if (!nodes_.empty()) MinDistanceIn(0, q, best);
  if (!(best < double(kNoDistance))) return false;
  out = best;
  return true;
}

void PointIndex::MinDistanceIn(int32_t index, host::Point3 q, double& best) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  if (LowerBound(n, q) >= best) return;
  if (n.left < 0) {
    for (uint32_t i = n.begin; i < n.end; ++i) {
      double d = ScanDistance(q, points_[order_[i]]);
      if (d < best) best = d;
    }
    return;
  }
  const Node& l = nodes_[static_cast<std::size_t>(n.left)];
  const Node& r = nodes_[static_cast<std::size_t>(n.right)];
  bool leftFirst = !(LowerBound(r, q) < LowerBound(l, q));
  MinDistanceIn(leftFirst ? n.left : n.right, q, best);
  MinDistanceIn(leftFirst ? n.right : n.left, q, best);
}

void PointIndex::Within(host::Point3 q, double bound, std::vector<uint32_t>& out) const {
  out.clear();
  if (!nodes_.empty()) WithinIn(0, q, bound, out);
}

void PointIndex::WithinIn(int32_t index, host::Point3 q, double bound, std::vector<uint32_t>& out) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  if (LowerBound(n, q) > bound) return;
  if (n.left < 0) {
    for (uint32_t i = n.begin; i < n.end; ++i)
      if (ScanDistance(q, points_[order_[i]]) <= bound) out.push_back(order_[i]);
    return;
  }
  WithinIn(n.left, q, bound, out);
  WithinIn(n.right, q, bound, out);
}

int PointIndex::FirstBelow(host::Point3 q, double limit) const {
  int64_t best = std::numeric_limits<int64_t>::max();
  if (!nodes_.empty()) FirstBelowIn(0, q, limit, best);
  return best == std::numeric_limits<int64_t>::max() ? -1 : static_cast<int>(best);
}

void PointIndex::FirstBelowIn(int32_t index, host::Point3 q, double limit, int64_t& best) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  if (n.lowestIndex >= best || LowerBound(n, q) >= limit) return;
  if (n.left < 0) {
    for (uint32_t i = n.begin; i < n.end; ++i)
      if (order_[i] < best && ScanDistance(q, points_[order_[i]]) < limit) best = order_[i];
    return;
  }
  // The side holding lower indices first, so that the other side is often pruned whole.
  bool leftFirst = nodes_[static_cast<std::size_t>(n.left)].lowestIndex <=
                   nodes_[static_cast<std::size_t>(n.right)].lowestIndex;
  FirstBelowIn(leftFirst ? n.left : n.right, q, limit, best);
  FirstBelowIn(leftFirst ? n.right : n.left, q, limit, best);
}

int PointIndex::FirstInBox(host::Point3 q, float eps) const {
  int64_t best = std::numeric_limits<int64_t>::max();
  if (!nodes_.empty()) FirstInBoxIn(0, q, eps, best);
  return best == std::numeric_limits<int64_t>::max() ? -1 : static_cast<int>(best);
}

void PointIndex::FirstInBoxIn(int32_t index, host::Point3 q, float eps, int64_t& best) const {
  const Node& n = nodes_[static_cast<std::size_t>(index)];
  if (n.lowestIndex >= best) return;
  for (int a = 0; a < 3; ++a)
    if (Gap(q[a], n.min[a], n.max[a]) > eps) return;
  if (n.left < 0) {
    for (uint32_t i = n.begin; i < n.end; ++i) {
      uint32_t p = order_[i];
      if (p < best && EqualWithin(q, points_[p], eps)) best = p;
    }
    return;
  }
  bool leftFirst = nodes_[static_cast<std::size_t>(n.left)].lowestIndex <=
                   nodes_[static_cast<std::size_t>(n.right)].lowestIndex;
  FirstInBoxIn(leftFirst ? n.left : n.right, q, eps, best);
  FirstInBoxIn(leftFirst ? n.right : n.left, q, eps, best);
}

}  // namespace vorlan::skintools
