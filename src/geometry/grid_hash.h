// Hashing of integer grid cells for the spatial searches of the geometry builders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlan::geometry {

// Mixes a cell's three coordinates; callers mask the result to their table size.
inline std::size_t HashGridCell(int64_t x, int64_t y, int64_t z) {
  uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
  h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
  h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
  h ^= h >> 29;
  return static_cast<std::size_t>(h);
}

}  // namespace vorlan::geometry
