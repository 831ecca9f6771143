// The host's triangle mesh as a plain value: what "convert to a triangle mesh" yields.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "host/math3d.h"

namespace vorlan::host {

struct MeshFace {
  std::array<uint32_t, 3> v{};
  uint32_t smGroup = 0;  // smoothing-group bits; 0 means faceted
  uint16_t matId = 0;
  uint8_t edgeVis = 7;  // bit k: edge k -> k+1 visible
};

// One texture channel: its own vertices and one map face per mesh face.
struct MapChannel {
  std::vector<Point3> tverts;
  std::vector<std::array<uint32_t, 3>> tfaces;
  bool Empty() const { return tverts.empty() || tfaces.empty(); }
};

inline constexpr int kMaxMapChannels = 100;

class Mesh {
 public:
  std::vector<Point3> verts;
  std::vector<MeshFace> faces;
  // Channels 0..99; channel 0 is vertex colour, 1 the first texture channel. Absent
  // channels are empty.
  std::vector<MapChannel> maps;
  std::vector<uint8_t> vertSel, faceSel;

  // Normals the modeller set by hand (imported files carry them). When present they
  // override the smoothing groups: corner k of face f uses explicitNormals[normalFaces[f][k]].
  std::vector<Point3> explicitNormals;
  std::vector<std::array<uint32_t, 3>> normalFaces;

  int NumVerts() const { return static_cast<int>(verts.size()); }
  int NumFaces() const { return static_cast<int>(faces.size()); }

  bool HasMap(int channel) const;
  MapChannel& Map(int channel);  // grows the channel table as needed
  const MapChannel* FindMap(int channel) const;

  // Rebuilds the per-corner normals from the smoothing groups, as the host does: at each
  // vertex the faces whose groups share a bit are merged into one normal (face normals
  // weighted by area); a face without groups keeps its own face normal.
  void BuildNormals();
  Point3 FaceNormal(int face) const;  // unit normal of a face (area-weighted before normalising)
  Point3 CornerNormal(int face, int corner) const;  // valid after BuildNormals
  // After BuildNormals from hand-set normals: those normals made unit length, which corner
  // k of face f takes at index normalFaces[f][k] when it lies inside (else its face's
  // normal). Empty when the corners' normals come from smoothing groups.
  std::span<const Point3> UnitNormals() const {
    return NormalsBuilt() && handSet_ ? std::span<const Point3>(unitNormals_) : std::span<const Point3>();
  }
  // The index in UnitNormals() of the normal that CornerNormal gives corner k of face f, or
  // kOwnNormal when the corner takes another (its face's normal, or one of smoothing groups).
  static constexpr uint32_t kOwnNormal = UINT32_MAX;
  uint32_t UnitNormalIndex(std::size_t face, std::size_t corner) const {
    if (!NormalsBuilt() || !handSet_ || face >= normalFaces.size()) return kOwnNormal;
    const uint32_t n = normalFaces[face][corner];
    return n < unitNormals_.size() ? n : kOwnNormal;
  }
  bool NormalsBuilt() const { return builtFaces_ == faces.size(); }
  // Frees what BuildNormals built: a mesh of the scene keeps no normals that one export
  // needed for a while. CornerNormal gives face normals until the next build.
  void ForgetNormals();

  Box3 Bounds() const;
  // Checks every index against its table; meshes from files are validated before use.
  bool IsValid() const;

 private:
  // Built from smoothing groups: one normal per corner. Built from hand-set normals: only
  // those normals made unit length, which corners look up through normalFaces (a corner
  // table would triple the memory of a large imported mesh for the same values).
  std::vector<std::array<Point3, 3>> cornerNormals_;
  std::vector<Point3> unitNormals_;
  std::size_t builtFaces_ = 0;
  bool handSet_ = false;
};

}  // namespace vorlan::host
