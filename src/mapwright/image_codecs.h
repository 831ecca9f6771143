// Windows bitmap (.bmp) and Targa (.tga) files to and from images, in memory. The readers are
// safe for any bytes: every length is checked before it is used and no picture larger than
// the limit is allocated.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "mapwright/image.h"

namespace vorlan::mapwright {

enum class DecodeStatus {
  Ok,
  NotLoaded,    // a file the reader does not take (not "BM", compressed, not 24-bit): no message
  Unsupported,  // a Targa type the reader does not handle: "Unsupported Format"
  Damaged,      // truncated headers or pixels, or an absurd size
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::NotLoaded;
  std::optional<Image> image;
};

// Uncompressed 24-bit bitmaps. The data offset of the header is honoured (some writers put
// a longer information header before the pixels), and a negative height (rows stored top
// first) is turned into bottom-up rows.
DecodeResult DecodeBmp(std::span<const uint8_t> file, std::size_t maxBytes = kMaxImageBytes);

// Targa types 1, 2, 3 and their run-length forms 9, 10, 11, either origin. Pixel data that
// ends early leaves the rest of the picture white.
DecodeResult DecodeTga(std::span<const uint8_t> file, std::size_t maxBytes = kMaxImageBytes);

// A 54-byte header and the padded rows as they are in memory.
std::vector<uint8_t> EncodeBmp(const Image& image);

// An uncompressed 32-bit Targa, bottom row first, with eight alpha bits: the alpha plane's
// value, or 255 (opaque) for an image without one. Row padding is not written.
std::vector<uint8_t> EncodeTga(const Image& image);

}  // namespace vorlan::mapwright
