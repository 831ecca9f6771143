// Checks of the blocks that the character exporter writes: every block of a skinned mesh uses
// at most five bones that exist, its vertices carry one weight per bone, its morph deltas
// cover its vertices, and every point list of a bone names a block that exists and vertices
// inside it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "zef/reader.h"

namespace vorlan::zef {

inline constexpr uint32_t kMaxBonesPerBlock = 5;
inline constexpr uint32_t kPointListBlockFlag = 0x40000000;

// Appends one line per finding to `findings`; a file without a skeleton object has none.
void ValidateSkeleton(std::span<const uint8_t> data, const ZefFile& file, std::vector<std::string>& findings);

}  // namespace vorlan::zef
