#include "workbench/texture_image.h"

#include <cmath>

#include "support/file_io.h"

// The decoder stays private to this file, so that another user of the same library in the
// program cannot clash with it.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace vorlan::workbench {

namespace {

constexpr int kMaxSide = 8192;
constexpr std::size_t kMaxFileBytes = std::size_t(256) << 20;

int Wrap(float t, int n) {
  float f = t - std::floor(t);
  int i = static_cast<int>(f * static_cast<float>(n));
  return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

}  // namespace

const uint8_t* TextureImage::Sample(float u, float v) const {
  if (!std::isfinite(u) || !std::isfinite(v)) u = v = 0.0f;
  int x = Wrap(u, width);
  int y = height - 1 - Wrap(v, height);
  return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) *
              3];
}

std::optional<TextureImage> LoadTextureImage(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(support::NativePath(path), bytes, kMaxFileBytes) || bytes.empty() ||
      bytes.size() > 0x7FFFFFFF)
    return std::nullopt;
  const int length = static_cast<int>(bytes.size());
  int w = 0, h = 0, channels = 0;
  // The size is checked before anything is decoded, so a header cannot ask for gigabytes.
  if (!stbi_info_from_memory(bytes.data(), length, &w, &h, &channels) || w <= 0 || h <= 0 || w > kMaxSide ||
      h > kMaxSide)
    return std::nullopt;
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), length, &w, &h, &channels, 3);
  if (!pixels) return std::nullopt;
  TextureImage image;
  image.width = w;
  image.height = h;
  image.rgb.assign(pixels, pixels + static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  stbi_image_free(pixels);
  return image;
}

}  // namespace vorlan::workbench
