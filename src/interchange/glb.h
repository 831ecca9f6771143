// The binary glTF container (GLB) and what the interchange code reads from glTF JSON itself:
// a header, a JSON chunk and an optional binary chunk, all little-endian.
//
// The readers take any bytes: lengths are checked against what is there before use, and
// nothing is allocated from a length in the file beyond the file's own size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vorlan::workbench::interchange {

inline constexpr uint32_t kGlbMagic = 0x46546C67;      // "glTF"
inline constexpr uint32_t kGlbChunkJson = 0x4E4F534A;  // "JSON"
inline constexpr uint32_t kGlbChunkBin = 0x004E4942;   // "BIN\0"

struct GlbParts {
  std::string json;
  std::vector<uint8_t> bin;
  bool hasBin = false;
};

// Splits a GLB file into its chunks. False with `error` for anything else: another magic or
// version, lengths that do not fit, a first chunk that is not JSON.
bool SplitGlb(std::span<const uint8_t> file, GlbParts& out, std::string& error);
// A GLB file of version 2: the JSON padded with spaces and the binary chunk (when
// `hasBin`) padded with zeros to four bytes, as the container requires.
std::vector<uint8_t> JoinGlb(const std::string& json, std::span<const uint8_t> bin, bool hasBin);

// The JSON text of a .gltf file or a GLB; nothing when the bytes are neither.
std::optional<std::string> GltfJsonText(std::span<const uint8_t> file);

// Meshes of a glTF file one of whose primitives carries more than `limit` texture-coordinate
// sets (TEXCOORD_n attributes), with the largest count. Named by the mesh's name, or
// "meshes[i]" without one. Empty when the bytes are not glTF that parses.
struct GltfUvSets {
  std::string mesh;
  int sets = 0;
};
std::vector<GltfUvSets> GltfMeshesOverUvLimit(std::span<const uint8_t> file, int limit);

}  // namespace vorlan::workbench::interchange
