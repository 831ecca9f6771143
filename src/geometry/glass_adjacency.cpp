#include "geometry/glass_adjacency.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "geometry/grid_hash.h"
#include "support/bytes.h"

namespace vorlan::geometry {
namespace {

using host::Point3;

constexpr float kMatchDist2 = 1e-6f;

// The squared distance exactly as the matching rule computes it: single precision, summed
// x, y, z. The grid below only narrows the candidates; this decides.
inline bool Near(Point3 a, Point3 b) {
  float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz < kMatchDist2;
}

inline bool EdgesMatch(const GlassEdge& e, const GlassEdge& f) {
  return (Near(e.start, f.start) && Near(e.end, f.end)) || (Near(e.start, f.end) && Near(e.end, f.start));
}

inline bool Finite(Point3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
inline bool Finite(const GlassEdge& e) { return Finite(e.start) && Finite(e.end); }

// Hash grid over edge end points. Two points that can pass Near() differ by less than
// 0.001 * (1 + 2^-23) on every axis, so the cells overlapping p +- kReach hold every
// candidate; with cells of 0.002 those are at most two per axis. Edges with a non-finite
// coordinate can never match and are left out by the callers.
//
// Each bucket is a doubly linked list of end-point entries in ascending edge order (edges
// are inserted in order), so a scan for the lowest matching edge can stop at the first hit.
// Hash collisions only add candidates, which the exact test rejects.
class EdgeGrid {
 public:
  static constexpr double kCell = 0.002;
  static constexpr double kReach = 0.0011;
  static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

  // Room for edge ids 0 .. edge_count - 1; throws std::bad_alloc.
  void Reset(std::size_t edge_count) {
    std::size_t buckets = 16;
    while (buckets < edge_count * 4) buckets *= 2;
    mask_ = buckets - 1;
    head_.assign(buckets, kNone);
    tail_.assign(buckets, kNone);
    next_.assign(edge_count * 2, kNone);
    prev_.assign(edge_count * 2, kNone);
    bucket_.assign(edge_count * 2, 0);
    linked_.assign(edge_count, 0);
  }

  void Insert(uint32_t id, const GlassEdge& e) {
    Link(id * 2, Bucket(Cell(e.start)));
    Link(id * 2 + 1, Bucket(Cell(e.end)));
    linked_[id] = 1;
  }

  void Remove(uint32_t id) {
    if (!linked_[id]) return;
    Unlink(id * 2);
    Unlink(id * 2 + 1);
    linked_[id] = 0;
  }

  // Calls visit(edge id) for the entries of the buckets of every cell that a point within
  // the match distance of p can lie in (at most two per axis), bucket by bucket in ascending
  // id order; visit returns true to stop scanning the current bucket. An edge may be visited
  // more than once (both end points near p, or two cells sharing a bucket).
  template <class Visit>
  void ForEachNear(Point3 p, Visit&& visit) const {
    const Key lo = Cell(p, -kReach), hi = Cell(p, kReach);
    for (int64_t x = lo.x; x <= hi.x; ++x)
      for (int64_t y = lo.y; y <= hi.y; ++y)
        for (int64_t z = lo.z; z <= hi.z; ++z) {
          const std::size_t b = Bucket({x, y, z});
          for (uint32_t n = head_[b]; n != kNone; n = next_[n])
            if (visit(n / 2)) break;
        }
  }

 private:
  struct Key {
    int64_t x, y, z;
  };

  // Clamped so that far-away points share the outermost cells instead of overflowing; a
  // shared cell only costs extra candidates. Floor and division are monotone, so a point
  // within kReach of p on an axis always falls between the cells of p - kReach and p + kReach.
  static int64_t Coord(double v) {
    constexpr double kLimit = 4.0e18;
    return static_cast<int64_t>(std::clamp(std::floor(v / kCell), -kLimit, kLimit));
  }
  static Key Cell(Point3 p, double shift = 0) {
    return {Coord(double(p.x) + shift), Coord(double(p.y) + shift), Coord(double(p.z) + shift)};
  }

  std::size_t Bucket(Key k) const { return HashGridCell(k.x, k.y, k.z) & mask_; }

  void Link(uint32_t n, std::size_t b) {
    bucket_[n] = b;
    prev_[n] = tail_[b];
    next_[n] = kNone;
    if (tail_[b] == kNone)
      head_[b] = n;
    else
      next_[tail_[b]] = n;
    tail_[b] = n;
  }

  void Unlink(uint32_t n) {
    std::size_t b = bucket_[n];
    if (prev_[n] == kNone)
      head_[b] = next_[n];
    else
      next_[prev_[n]] = next_[n];
    if (next_[n] == kNone)
      tail_[b] = prev_[n];
    else
      prev_[next_[n]] = prev_[n];
  }

  std::size_t mask_ = 0;
  std::vector<uint32_t> head_, tail_, next_, prev_;
  std::vector<std::size_t> bucket_;
  std::vector<uint8_t> linked_;
};

// Step 1 for one pane: every unresolved edge, in order, pairs with the first later
// unresolved edge of the same pane that matches it (both become interior); an edge that
// finds none is outline. Edges leave the grid once resolved, so the grid holds exactly the
// later unresolved edges.
void ResolveInterior(std::vector<GlassEdge>& edges, std::vector<uint32_t>& outline, EdgeGrid& grid) {
  const auto count = static_cast<uint32_t>(edges.size());
  grid.Reset(count);
  for (uint32_t k = 0; k < count; ++k)
    if (Finite(edges[k])) grid.Insert(k, edges[k]);

  for (uint32_t k = 0; k < count; ++k) {
    GlassEdge& e = edges[k];
    if (e.state != GlassEdgeState::kUnresolved) continue;
    grid.Remove(k);
    uint32_t best = EdgeGrid::kNone;
    if (Finite(e)) {
      grid.ForEachNear(e.start, [&](uint32_t f) {
        if (f >= best) return true;
        if (!EdgesMatch(e, edges[f])) return false;
        best = f;
        return true;
      });
    }
    if (best != EdgeGrid::kNone) {
      e.state = GlassEdgeState::kInterior;
      edges[best].state = GlassEdgeState::kInterior;
      grid.Remove(best);
    } else {
      e.state = GlassEdgeState::kOutline;
      outline.push_back(k);
    }
  }
}

// Removes entry `pos` of an outline list by moving the last entry into its place.
void SwapRemove(std::vector<uint32_t>& list, std::size_t pos, std::vector<uint32_t>& pos_of) {
  list[pos] = list.back();
  pos_of[list[pos]] = static_cast<uint32_t>(pos);
  list.pop_back();
}

}  // namespace

bool GlassAdjacency::AddTriangle(uint32_t pane, Point3 a, Point3 b, Point3 c) {
  if (built_ || pane >= kMaxPanes || edge_count_ > kMaxEdges - 3) return false;
  try {
    if (pane >= panes_.size()) panes_.resize(pane + std::size_t{1});
    auto& edges = panes_[pane].edges;
    // Room for all three first, so that a failed allocation adds none of them.
    if (edges.capacity() - edges.size() < 3) edges.reserve(std::max<std::size_t>(12, edges.size() * 2 + 3));
    edges.push_back({a, b, GlassEdgeState::kUnresolved});
    edges.push_back({b, c, GlassEdgeState::kUnresolved});
    edges.push_back({c, a, GlassEdgeState::kUnresolved});
    edge_count_ += 3;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::span<const GlassEdge> GlassAdjacency::Edges(std::size_t pane) const {
  if (pane >= panes_.size()) return {};
  return panes_[pane].edges;
}

bool GlassAdjacency::Build() {
  if (built_) return false;
  for (const Pane& p : panes_)
    if (p.edges.empty()) return false;

  const std::size_t n = panes_.size();
  try {
    EdgeGrid grid;
    std::vector<std::vector<uint32_t>> outline(n);  // per pane, local edge indices
    for (std::size_t i = 0; i < n; ++i) ResolveInterior(panes_[i].edges, outline[i], grid);

    // The cross-pane step only deals with outline edges; they get compact ids, pane by pane.
    std::size_t m = 0;
    for (const auto& o : outline) m += o.size();
    std::vector<uint32_t> pane_of(m), pos_of(m);
    std::vector<GlassEdge*> edge_of(m);
    std::vector<std::vector<uint32_t>> list(n);  // outline lists as compact ids
    uint32_t id = 0;
    for (std::size_t i = 0; i < n; ++i) {
      list[i].reserve(outline[i].size());
      for (uint32_t k : outline[i]) {
        pane_of[id] = static_cast<uint32_t>(i);
        edge_of[id] = &panes_[i].edges[k];
        pos_of[id] = static_cast<uint32_t>(list[i].size());
        list[i].push_back(id++);
      }
    }
    grid.Reset(m);
    for (uint32_t o = 0; o < m; ++o)
      if (Finite(*edge_of[o])) grid.Insert(o, *edge_of[o]);

    // The payload is filled in place: n, then the matrix, then the open flags.
    std::vector<uint8_t> payload(4 + n * n + n, 0);
    support::ByteWriter::StoreU32(payload.data(), static_cast<uint32_t>(n));
    uint8_t* const adjacency = payload.data() + 4;
    uint8_t* const open = adjacency + n * n;

    struct Candidate {
      uint32_t pane, e, f;
    };
    std::vector<Candidate> cands;
    std::vector<uint32_t> cand_begin(m), cand_end(m), stamp(m, 0);
    uint32_t stamp_now = 0;

    for (std::size_t i = 0; i < n; ++i) {
      // Every edge pair that could ever pair up while pane i is processed: e of pane i,
      // f of a later pane, both still outline now. States change below and are rechecked.
      cands.clear();
      for (uint32_t e : list[i]) {
        const GlassEdge& ee = *edge_of[e];
        if (!Finite(ee)) continue;
        grid.ForEachNear(ee.start, [&](uint32_t f) {
          if (pane_of[f] > i && edge_of[f]->state == GlassEdgeState::kOutline && EdgesMatch(ee, *edge_of[f]))
            cands.push_back({pane_of[f], e, f});
          return false;
        });
      }
      if (cands.empty()) {
        open[i] = list[i].empty() ? 0 : 1;
        continue;
      }
      std::sort(cands.begin(), cands.end(), [](const Candidate& a, const Candidate& b) {
        return a.pane != b.pane ? a.pane < b.pane : (a.e != b.e ? a.e < b.e : a.f < b.f);
      });
      cands.erase(
          std::unique(cands.begin(), cands.end(),
                      [](const Candidate& a, const Candidate& b) { return a.e == b.e && a.f == b.f; }),
          cands.end());

      // Panes j without a candidate leave pane i's list untouched, so only the others are
      // walked; the walk itself follows the list order exactly, swaps included.
      for (std::size_t c0 = 0; c0 < cands.size();) {
        const uint32_t j = cands[c0].pane;
        std::size_t c1 = c0;
        ++stamp_now;
        while (c1 < cands.size() && cands[c1].pane == j) {
          std::size_t s = c1;
          while (c1 < cands.size() && cands[c1].pane == j && cands[c1].e == cands[s].e) ++c1;
          stamp[cands[s].e] = stamp_now;
          cand_begin[cands[s].e] = static_cast<uint32_t>(s);
          cand_end[cands[s].e] = static_cast<uint32_t>(c1);
        }
        auto& li = list[i];
        auto& lj = list[j];
        for (std::size_t pos = 0; pos < li.size();) {
          const uint32_t e = li[pos];
          uint32_t best = EdgeGrid::kNone;
          if (stamp[e] == stamp_now) {
            uint32_t best_pos = EdgeGrid::kNone;
            for (uint32_t c = cand_begin[e]; c < cand_end[e]; ++c) {
              uint32_t f = cands[c].f;
              if (edge_of[f]->state == GlassEdgeState::kOutline && pos_of[f] < best_pos) {
                best = f;
                best_pos = pos_of[f];
              }
            }
          }
          if (best == EdgeGrid::kNone) {
            ++pos;
            continue;
          }
          edge_of[e]->state = GlassEdgeState::kShared;
          edge_of[best]->state = GlassEdgeState::kShared;
          SwapRemove(li, pos, pos_of);
          SwapRemove(lj, pos_of[best], pos_of);
          adjacency[i * n + j] = 1;
          adjacency[j * n + i] = 1;
        }
        c0 = c1;
      }
      open[i] = list[i].empty() ? 0 : 1;
    }

    payload_.swap(payload);
  } catch (const std::bad_alloc&) {
    // Before a build every edge is unresolved; put it back that way.
    for (Pane& p : panes_)
      for (GlassEdge& e : p.edges) e.state = GlassEdgeState::kUnresolved;
    payload_.clear();
    return false;
  }
  built_ = true;
  return true;
}

}  // namespace vorlan::geometry
