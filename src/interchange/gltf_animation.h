// The animations of a glTF file as the file states them. Assimp keeps only the key values:
// it does not say whether a sampler steps, and it drops the tangents of cubic splines, so
// the importer reads the samplers here itself.
//
// The reader takes any bytes: every index, offset and count is checked against what the
// file holds before use, and nothing is allocated from a count beyond the data behind it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlan::workbench::interchange {

enum class GltfPath { Translation, Rotation, Scale, Weights };
enum class GltfInterpolation { Linear, Step, CubicSpline };

// One channel with its sampler's data. `values` holds `components` floats per element;
// a cubic spline has three elements per key: in-tangent, value, out-tangent.
struct GltfTrack {
  int node = -1;
  GltfPath path = GltfPath::Translation;
  GltfInterpolation interpolation = GltfInterpolation::Linear;
  int components = 3;
  std::vector<float> times;  // seconds
  std::vector<float> values;
};

struct GltfClip {
  std::string name;  // the file's name, or "animations[i]"
  std::vector<GltfTrack> tracks;
  // Channels that could not be read, one line each ("animations[0].channels[2]: ...").
  std::vector<std::string> problems;
};

// The node tree of the file's scene (for finding the nodes Assimp made from them) and its
// animations.
struct GltfAnimationFile {
  std::vector<int> roots;                  // the scene's root nodes
  std::vector<std::vector<int>> children;  // per node
  std::vector<std::string> names;          // per node
  std::vector<GltfClip> clips;
};

// Reads the file's animations. `bytes` is a .gltf or .glb file; buffers that are files are
// looked for in `folder`. False with `error` when the JSON cannot be read at all.
bool ReadGltfAnimations(std::span<const uint8_t> bytes, const std::string& folder, GltfAnimationFile& out,
                        std::string& error);

}  // namespace vorlan::workbench::interchange
