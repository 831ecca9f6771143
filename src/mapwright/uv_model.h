// The editable texture coordinates of one object's selected faces.
//
// Texture space: x grows to the right, y downwards, both in pixels of a texture. The host's
// V axis points up, so every V (or projected y) taken from the host is negated; a map
// coordinate (u, v) becomes (u * width, -v * height). Coordinates are kept as doubles: a
// float times a texture size up to 65535 is exact in a double and so is the division back,
// which makes loading followed by writing back change no bit of the mesh.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/material.h"
#include "host/math3d.h"
#include "host/mesh.h"
#include "mapwright/image.h"

namespace vorlan::mapwright {

// The values are those of the configuration file.
enum class MapMethod : int { Unfold = 0, Mesh = 1, Planar = 2 };

struct UvCorner {
  double u = 0, v = 0;
  bool selected = false;
  float w = 0;  // written back as it came: the map vertex's w with the host's mapping, else 0
};
using TextureSet = std::array<UvCorner, 3>;

struct UvFace {
  int faceIndex = 0;
  int materialId = 0;
  host::Mtl* material = nullptr;  // the Standard material that textures the face, or null
  int textureCount = 0;
  std::array<host::Point3, 3> projected;  // (x, y, w) of each corner as the mapping gives them
  uint32_t flags = 0;                     // material id << 16 | edge visibility bits 0..2
  std::vector<TextureSet> textures;       // one per texture of the face's group
  bool laid = true;                       // unfolding reached the face
};

// A texture of a material: the picture under the coordinates and how they map onto it.
struct UvTexture {
  std::string name;
  host::Texmap* texmap = nullptr;  // null for the stand-in of a material without bitmaps
  std::string fileName;
  Image* image = nullptr;  // owned by the session's image list; null when not loaded
  int width = kStandInSize, height = kStandInSize;
  float texels = 1.0f;        // the "Texels:" value the coordinates are scaled to
  float outputFactor = 1.0f;  // multiplies the coordinates written back to the mesh
  int mapChannel = 1;

  // Size of a texture whose picture could not be read: editing and writing back still work.
  static constexpr int kStandInSize = 256;
};

// The faces of one material, edited together.
struct UvGroup {
  host::Mtl* material = nullptr;
  std::string name;
  std::vector<UvTexture> textures;  // never empty: a material without bitmaps gets a stand-in
  std::vector<int> faces;           // indices into UvModel::faces, in face order
};

struct UvModel {
  std::vector<UvFace> faces;  // in face order
  std::vector<UvGroup> groups;
  MapMethod method = MapMethod::Unfold;
  int planarAxis = 0;  // 0 X, 1 Y, 2 Z
  int mapChannel = 1;  // the channel "Get MAX mapping" read

  int GroupOf(int face) const;
};

// A message for the user: an error ("Error") or a note ("Info").
struct Message {
  std::string text;
  std::string caption = "Error";
};

struct BuildOptions {
  MapMethod method = MapMethod::Unfold;
  int planarAxis = 0;
  int mapChannel = 1;
};

// Makes one UvFace per selected face of `mesh` with its material and projected corners.
// `objectToWorld` places the mesh's vertices for the planar and unfold methods; `nodeMtl`
// is the node's material (may be null). Failures give the user's message and no faces.
struct FaceListResult {
  std::vector<UvFace> faces;
  std::optional<Message> message;
};
FaceListResult BuildFaceList(const host::Mesh& mesh, const host::Matrix3& objectToWorld, host::Mtl* nodeMtl,
                             const BuildOptions& options);

// A face corner's map vertex (u, -v, w); zero where the channel lacks the face or the vertex.
host::Point3 MapCorner(const host::MapChannel& map, int face, int corner);

// The bitmap textures of a material in slot order.
std::vector<host::Texmap*> BitmapTextures(const host::Mtl* mtl);

// Groups the faces by material, in the order materials first appear, giving every group its
// textures (through `loader`, which fills size and picture) and every face its texture sets
// in pixels, then scales each texture's coordinates about their centre by
// texelsFactor / its own texels value, which becomes texelsFactor. With the host's mapping
// each texture's set comes from the texture's own map channel of `mesh` where it has that
// channel (from the projected corners otherwise).
using TextureLoader = std::function<UvTexture(host::Texmap* texmap)>;
void BuildGroups(UvModel& model, float texelsFactor, const TextureLoader& loader,
                 const host::Mesh* mesh = nullptr);

}  // namespace vorlan::mapwright
