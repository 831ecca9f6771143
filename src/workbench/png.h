// PNG encoding of 8-bit RGBA images, for previews and for textures embedded in other files.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vorlan::workbench {

// Encodes `rgba` (top-down rows of width * 4 bytes). Returns the PNG bytes, or nothing when
// the size is not positive, the pixels do not cover it or the encoder fails.
std::vector<uint8_t> EncodePngRgba(std::span<const uint8_t> rgba, int width, int height);

}  // namespace vorlan::workbench
