// Any bytes given as a GLB or glTF file to what the interchange code reads itself (the
// container, the texture-coordinate probe, user properties as extras) must end cleanly.
#include "interchange/glb.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "interchange/export_parts.h"

using namespace vorlan::workbench::interchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  GlbParts parts;
  std::string error;
  if (SplitGlb(bytes, parts, error)) {
    // What was split joins into a container that splits the same way.
    std::vector<uint8_t> again = JoinGlb(parts.json, parts.bin, parts.hasBin);
    GlbParts second;
    if (!SplitGlb(again, second, error) || second.json.substr(0, parts.json.size()) != parts.json)
      __builtin_trap();
  }
  GltfJsonText(bytes);
  GltfMeshesOverUvLimit(bytes, 8);
  ExtrasFromUserProps(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
