// Which panes of a glass surface share an outline edge with which other panes.
//
// A glass dummy groups the panes of one breakable surface as its children. The engine needs
// to know, per pane, which neighbouring panes it touches along its outline and whether any
// of its outline is free (touching no other pane), so that breaking one pane can release or
// keep its neighbours. The builder collects the triangles of every pane in one common space,
// finds each pane's outline (edges that no other triangle of the same pane shares) and then
// pairs outline edges across panes.
//
// Two edges are the same edge when both end points coincide within 0.001 (squared distance,
// computed in single precision, below 1e-6), in the same or in the opposite direction.
// Resolution is greedy and order dependent: an edge pairs with the first still unpaired
// edge that matches it, so the result depends on the order of the triangles. The builder
// finds candidates through a hash grid but reproduces that order exactly.
//
// Payload (little-endian): u32 n, then n x n bytes of adjacency (row-major, [i][j] = 1 when
// panes i and j share an outline edge), then n bytes of open flags (1 when the pane keeps an
// outline edge shared with no other pane). Size 4 + n * n + n.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "host/math3d.h"

namespace vorlan::geometry {

enum class GlassEdgeState : uint8_t {
  kUnresolved = 0,
  kInterior = 1,  // shared by two triangles of the same pane
  kOutline = 2,   // on the pane's outline and touching no other pane
  kShared = 3,    // on the pane's outline and shared with another pane
};

// A directed edge of a pane's triangle, as given (a->b, b->c, c->a).
struct GlassEdge {
  host::Point3 start;
  host::Point3 end;
  GlassEdgeState state = GlassEdgeState::kUnresolved;
};

class GlassAdjacency {
 public:
  // Largest pane count whose payload, framed in its block head, still fits a 32-bit size.
  static constexpr uint32_t kMaxPanes = 65535;
  // Edge ids, and two end-point entries per edge, stay within 32 bits.
  static constexpr std::size_t kMaxEdges = std::size_t{1} << 30;

  // Appends the directed edges a->b, b->c, c->a to the pane's edge list; the pane table grows
  // to pane + 1 with empty panes. Returns false and changes nothing when the payload is
  // already built, when pane >= kMaxPanes, when the edges would exceed kMaxEdges or when
  // memory runs out. Coordinates may be
  // anything: an edge with a non-finite coordinate never matches another edge.
  bool AddTriangle(uint32_t pane, host::Point3 a, host::Point3 b, host::Point3 c);

  // Resolves the edges and writes the payload. Does nothing and returns false when the
  // payload is already built (call IsBuilt) or when a pane below the pane count received no
  // triangle; the payload then stays empty and more triangles may still be added. With no
  // pane at all the payload is the 4-byte count 0. Returns false on memory exhaustion,
  // leaving the builder as it was before the call.
  bool Build();

  bool IsBuilt() const { return built_; }
  std::size_t PaneCount() const { return panes_.size(); }

  // The pane's edges in the order added, with their states after Build (all kUnresolved
  // before). Empty for a pane index out of range. Valid until the next AddTriangle.
  std::span<const GlassEdge> Edges(std::size_t pane) const;

  // The payload bytes; empty until Build succeeded. Valid as long as the builder lives.
  std::span<const uint8_t> Payload() const { return payload_; }
  std::size_t PayloadSize() const { return payload_.size(); }

 private:
  struct Pane {
    std::vector<GlassEdge> edges;
  };

  std::vector<Pane> panes_;
  std::vector<uint8_t> payload_;
  std::size_t edge_count_ = 0;
  bool built_ = false;
};

}  // namespace vorlan::geometry
