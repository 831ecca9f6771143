// Pictures of texture files for the viewport: PNG, JPEG, TGA and BMP decoded into RGB.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlan::workbench {

struct TextureImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // rows from the top of the picture down, 3 bytes per texel

  // The texel at (u, v), the host's texture space (v = 0 at the bottom of the picture),
  // repeated outside 0..1, nearest texel.
  const uint8_t* Sample(float u, float v) const;
};

// The picture of a texture file, or nothing when it cannot be read, is not a picture, or is
// larger than 8192 texels a side (the viewport is a preview, not a texture tool).
std::optional<TextureImage> LoadTextureImage(const std::string& path);

}  // namespace vorlan::workbench
