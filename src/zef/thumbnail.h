// The 64 x 64 thumbnail stored in the .zef header, reduced from a grab of the active viewport.
#pragma once

#include <cstdint>
#include <span>

#include "host/interface.h"
#include "zef/blocks.h"

namespace vorlan::zef {

enum class ThumbnailStatus {
  kOk,
  kUnsupportedDepth,  // not 32 bits per pixel: the caller tells the artist (kThumbnailDepthMessage)
  kEmpty,             // no size, or fewer pixels than width x height
};

inline constexpr const char* kThumbnailDepthMessage =
    "Thumbnails are for the present supported only for 32 bpp";
inline constexpr const char* kThumbnailDepthCaption = "Msg";

// Reduces a 32-bit viewport grab to the header thumbnail: 64 rows of 64 pixels, three bytes
// each (the first three bytes of the source pixel, blue, green, red), row 0 first. Each
// thumbnail pixel is the truncated mean of a cell of floor(width / 64) x floor(height / 64)
// source pixels; cells start at k * floor(size / 64), so the right and bottom remainders of a
// size that is not a multiple of 64 are not sampled. Grabs from drivers whose name starts with
// 'O' or 'S' hold their rows bottom-up and are read in reverse row order.
// A side narrower than 64 pixels cannot give whole cells; it is sampled instead, one source
// pixel per thumbnail pixel at k * size / 64.
// On any status but kOk `out` is left untouched (the header keeps its zeros).
ThumbnailStatus ReduceThumbnail(const host::ViewportImage& image, std::span<uint8_t, kThumbnailBytes> out);

}  // namespace vorlan::zef
