// The collision model of a rigid body: welded vertices, edges, triangles and spheres, with
// the planes the triangles lie in and the crease marks the engine's contact code uses, and
// its serialised form.
//
// A plane is the surface shared by coplanar, equally facing triangles. Planes are numbered in
// the order in which the triangles first meet them; edges and triangles name planes by that
// ordinal, while vertices name them by the index of the plane's first triangle. The two
// numberings differ and both are written as they are, because the engine reads them so.
//
// Buffer layout (little-endian, no padding):
//   u32 magic 0xFAABBAAE; u32 vertex, edge, triangle and sphere counts;
//   per vertex: f32 x, y, z; u8 n; n x u32 first-triangle index of each plane; u8 crease;
//   per edge: u32 a, b; u32 plane ordinal of side 1 and side 2; u8 crease;
//   per triangle: u32 vertices 0..2; u32 edges 0..2; u32 plane ordinal; u32 surface code;
//   per sphere: f32 x, y, z, radius; u32 surface code;
//   f32 bounds min x, y, z, max x, y, z; 9 x f32 inertia, row-major.
// The count of a vertex's planes is one byte: a vertex touching more than 255 planes lists
// only its first 255 (the rest cannot be expressed and are dropped from the buffer only).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/math3d.h"

namespace vorlan::geometry {

inline constexpr uint32_t kCollisionModelMagic = 0xFAABBAAEu;
// Points closer than this are one point (compared squared, in single precision).
inline constexpr float kWeldDistanceSq = 1e-6f;
// Normals whose dot product reaches this are parallel enough to share a plane.
inline constexpr float kCoplanarDot = 0.999998f;
// A point lies in a plane when the direction to it leans out of the plane by at most this.
inline constexpr float kInPlaneDot = 1e-6f;
// Largest number of planes one vertex record can list.
inline constexpr std::size_t kMaxVertexPlanes = 255;

struct CollisionPlane {
  host::Point3 point;   // first corner of the triangle that made the plane
  host::Point3 normal;  // unit normal of that triangle (zero for a degenerate one)
  uint32_t first_triangle = 0;
};

struct CollisionVertex {
  host::Point3 position;
  // Once the model is complete: the first-triangle index of every plane touching the vertex,
  // in the order met. While the topology is being built it holds plane ordinals instead.
  std::vector<uint32_t> planes;
  uint8_t crease = 0;
};

struct CollisionEdge {
  uint32_t a = 0, b = 0;        // vertex indices in the order first met
  uint32_t planes[2] = {0, 0};  // plane ordinals of the two sides (equal on an open edge)
  uint8_t crease = 0;
};

struct CollisionTriangle {
  uint32_t v[3] = {0, 0, 0};  // vertex indices in input corner order
  uint32_t e[3] = {0, 0, 0};  // edge k joins corners k and (k + 1) % 3
  uint32_t plane = 0;         // plane ordinal
  uint32_t surface = 0;       // surface code of the material
  host::Box3 bounds;          // box of the three vertex positions
};

struct CollisionSphere {
  host::Point3 center;
  float radius = 0;
  uint32_t surface = 0;
};

struct CollisionModel {
  std::vector<CollisionVertex> vertices;
  std::vector<CollisionEdge> edges;
  std::vector<CollisionTriangle> triangles;
  std::vector<CollisionSphere> spheres;
  std::vector<CollisionPlane> planes;  // by ordinal; not part of the buffer
  host::Box3 bounds;                   // of the vertices and spheres before the skin moved them
  std::array<float, 9> inertia{};      // per unit mass, row-major, copied from the shape
};

// Unit normal of the triangle (p1 - p0) x (p2 - p0); a degenerate triangle gives the
// unnormalisable cross product as it is (a zero vector for collinear corners).
host::Point3 TriangleUnitNormal(host::Point3 p0, host::Point3 p1, host::Point3 p2);

// The plane test: does the triangle with first corner p0 and unit normal n lie in plane?
bool LiesInPlane(const CollisionPlane& plane, host::Point3 p0, host::Point3 n);

// What the topology stage leaves: vertices (positions and plane ordinals), edges (a, b),
// triangles (v, e, bounds), planes, and for each triangle the plane it was put in.
struct CollisionTopology {
  CollisionModel model;
  std::vector<uint32_t> triangle_planes;
};

// Welds the corners, finds the edges and the planes of the triangles (corners three per
// triangle, in triangle order) through hash grids. The result equals the plain first-match
// searches exactly. Preconditions: every coordinate finite and within +-1e9; corners.size()
// is a multiple of 3 and below 2^32.
void BuildCollisionTopology(std::span<const host::Point3> corners, CollisionTopology& out);

// Finishes a model whose topology is built: edge plane pairs, triangle planes, creases,
// vertex plane lists turned into first-triangle indices, bounds (including the spheres,
// which the caller has already stored in the model).
void CompleteCollisionModel(CollisionTopology& topology);

// Pulls the vertices inward by up to skin_width without folding triangles and shrinks the
// spheres. A vertex's bisection also ends when the midpoint rounds back onto its current
// distance (only for distances in the thousands and beyond, where floats are coarser than the
// 0.001 tolerance); without that it could repeat forever. Returns false when the weight solve failed (or a
// vertex touches more planes than a record can hold); the model is then left exactly as it was. A skin width
// that is not above zero does nothing and returns true. Preconditions: a completed model, finite width.
bool ApplySkin(CollisionModel& model, float skin_width);

// Finds weights w >= 0 with (G w)_i >= target - 0.001 on every row by one-sided relaxation:
// a row still short of the target gets the missing amount added to its weight, which moves
// the other rows by the matching column of G. gram is k x k row-major; weights gets k
// entries. False when 256 passes do not settle.
bool SolveSkinWeights(std::span<const float> gram, std::size_t k, float target, std::vector<float>& weights);

// Appends the serialised model to out; written_inertia goes into the last nine floats.
void WriteCollisionModel(const CollisionModel& model, const std::array<float, 9>& written_inertia,
                         std::vector<uint8_t>& out);

// Reads a buffer written by WriteCollisionModel, for inspection and tests. Vertex planes come
// back as stored (first-triangle indices); triangle bounds and the plane table are not stored
// and stay empty, and the inertia is the written one. Safe for any bytes: returns nothing and sets
// error when the data is short, the magic is wrong, a count cannot fit in what is left, an
// index points outside its table, or bytes remain after the inertia.
std::optional<CollisionModel> ReadCollisionModel(std::span<const uint8_t> data, std::string* error = nullptr);

}  // namespace vorlan::geometry
