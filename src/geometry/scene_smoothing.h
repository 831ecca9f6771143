// Whole-scene smoothing: one shared normal where separate objects meet.
//
// Walls of a building or tiles of terrain are separate objects, each with its own vertex
// normals, so the engine shows a hard seam where they touch. When the scene exporter's
// option `SmoothWholeSceneTogether` is on, this pass runs over the finished in-memory .zef
// image (before it is written) and gives coincident vertices of different objects one
// normal, steered per object by a `SMOOTH=angle,group,group,...` user property.
//
// The image is the exporter's own, but it is read as untrusted bytes: every block size and
// count is checked against the image before a byte is touched, and only the normals of
// well-formed vertex blocks are ever written.
//
// Rules this implementation settles where the format leaves a choice:
// - A `SMOOTH=` value without a comma gives the angle and no groups; an object without
//   groups shares normals with nobody, so its normals stay as written. Number fields are
//   read whole whatever their length (the value itself is at most 256 characters, or the
//   entry is ignored), so a long angle such as 1.0471975512 keeps all its digits; group
//   numbers beyond the 32-bit range are clamped, and fields holding no number (empty ones
//   from ",," or a trailing comma) name no group. Numbers are read as atof and atol read
//   them, but independently of the process locale. The value ends at the line break
//   ("\r\n", or a lone "\n" or "\r").
// - Vertices that found no partner keep their normal bytes unchanged; only merged vertices
//   (marked by a normal of length 2 during the pass) are mapped back into their object's
//   space, and they are normalised again after that mapping so that a scaled node does not
//   leave shortened normals in the file.
// - A vertex is not its own partner. The sum starts with the vertex's own normal, so
//   counting it again as a partner would weigh it twice (and only when LODs are not
//   distinguished, since then an object meets itself). A vertex with no partner at all
//   therefore keeps its normal bytes.
// - Normals are compared and summed in scene space: a partner's normal is mapped by its
//   node's direction transform, unless it already carries the merged mark (then it already
//   is in scene space).
// - Two objects are considered when their world boxes come within the 0.001 tolerance of
//   each other, so that rounding in the boxes cannot separate objects that touch.
// - An angle test on vectors of length 0 or with NaN never matches; the cosine is clamped
//   to [-1, 1] so that equal normals always match.
// - The partner list grows as needed, so a large object never fails for want of memory;
//   the limit of (object's vertex count) squared partners for one vertex is kept as the
//   "Smooth(1): curr > nVerts" failure.
// - A node that the host cannot find by name takes no part.
// - A Node block right after another node's head (a node without an object of its own) is
//   taken as the next node, not stepped over, so its subtree is still smoothed.
// - After a failure the merged normals found so far are still mapped back, so the image
//   never keeps scene-space normals of length 2.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/interface.h"
#include "host/math3d.h"
#include "host/node.h"
#include "host/ui.h"

namespace vorlan::geometry {

// The angle of a node without a `SMOOTH=` entry.
inline constexpr float kNoSmoothAngle = -99999.9921875f;
inline constexpr uint32_t kMaxSmoothGroups = 256;
inline constexpr std::size_t kMaxSmoothValue = 256;   // characters of the whole value
inline constexpr float kSmoothTolerance = 0.001f;     // per axis, strictly less
inline constexpr float kSmoothDoneLengthSq = 1.001f;  // merged normals have length 2

inline constexpr const char* kSmoothAllocMessage = "Cannot alloc memory for vertex buffer!";
inline constexpr const char* kSmoothOverflowMessage = "Smooth(1): curr > nVerts";
inline constexpr const char* kSmoothMessageCaption = "err";

struct SmoothInfo {
  float angle = kNoSmoothAngle;  // radians
  uint32_t groupCount = 0;
  std::array<int32_t, kMaxSmoothGroups> groups{};

  bool HasEntry() const { return angle != kNoSmoothAngle; }
};

// Parses the `SMOOTH=` entry of a node's user property text (matched without regard to
// case). Any text is accepted.
SmoothInfo ParseSmoothInfo(std::string_view userProps);

// The vertex records of one mesh part (a Vertices block) inside the image.
struct SmoothPart {
  std::size_t offset = 0;  // first record
  uint32_t count = 0;
  uint32_t stride = 0;  // 24 + 8 x texture channels; the normal lies at +12
};

// One node that takes part.
struct SmoothItem {
  SmoothInfo info;
  std::size_t nodeOffset = 0;  // its Node block in the image
  std::string name;
  std::vector<SmoothPart> parts;
  std::size_t vertexCount = 0;  // over all parts; vertex i counts through the parts in order

  // Placement at time 0, from the host (ResolveSmoothItems). The vertex blocks hold
  // positions and normals in the node's pivot space: positions map to the scene by
  // `positionTM`, normals by `directionTM` (its linear part, not normalised).
  host::Matrix3 positionTM;
  host::Matrix3 directionTM;
  host::Box3 worldBox;  // of the node's object; an empty box meets nothing
};

// Walks the image (a .zef header of 12304 bytes, magic "ZEF" and version "0100", then the
// blocks) and makes an item for every node whose geometry block carries a `SMOOTH=` entry
// and at least one mesh part. An image without that header gives no items. The walk stops
// at the first block whose size is impossible; a geometry block that is not well formed
// gives no item.
std::vector<SmoothItem> CollectSmoothItems(std::span<const uint8_t> image);

// Fills in each item's placement from the host node of its name (the first found
// depth-first from `root`, names compared exactly). Items whose node is not found are
// removed.
void ResolveSmoothItems(std::vector<SmoothItem>& items, const host::Node& root);

// Called once when the pass starts, with the node text "Whole Scene" and the operation
// "Smooth".
using SmoothProgress = std::function<void(const char* node, const char* operation)>;

// Merges the normals of coincident vertices of the items, in place in `image`, which must
// be the image the items were collected from (items whose parts do not lie inside it are
// left out). With `distinguishLods` a node only merges with nodes whose name starts with
// the same character and differs from the third character on (so never with itself).
// Returns 0, or 1 after a failure, which is shown through `ui` in a box with the caption
// "err"; the normals merged until then stay merged.
int Smooth(std::span<const SmoothItem> items, std::span<uint8_t> image, bool distinguishLods,
           host::UserInterface& ui, const SmoothProgress& progress = {});

// The whole pass as the scene exporter runs it: collect, resolve against the host's scene,
// smooth. Returns Smooth's result (0 when nothing takes part).
int SmoothWholeScene(std::span<uint8_t> image, host::Interface& host, bool distinguishLods,
                     const SmoothProgress& progress = {});

}  // namespace vorlan::geometry
