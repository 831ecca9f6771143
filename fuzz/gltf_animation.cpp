// Any bytes given as a glTF or GLB file to the reader of animation samplers must end
// cleanly, and every track it hands over must have the data its kind needs.
#include "interchange/gltf_animation.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

using namespace vorlan::workbench::interchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GltfAnimationFile file;
  std::string error;
  // Buffers named by file are looked for in a folder that does not exist.
  if (!ReadGltfAnimations(std::span(data, size), "/nonexistent-vorlan-fuzz", file, error)) return 0;
  for (const GltfClip& clip : file.clips)
    for (const GltfTrack& t : clip.tracks) {
      const std::size_t perKey = t.path == GltfPath::Weights
                                     ? 0
                                     : static_cast<std::size_t>(t.components) *
                                           (t.interpolation == GltfInterpolation::CubicSpline ? 3 : 1);
      if (t.node < 0 || static_cast<std::size_t>(t.node) >= file.names.size() || t.times.empty() ||
          (perKey && t.values.size() != t.times.size() * perKey))
        __builtin_trap();
    }
  return 0;
}
