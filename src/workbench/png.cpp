#include "workbench/png.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace vorlan::workbench {

std::vector<uint8_t> EncodePngRgba(std::span<const uint8_t> rgba, int width, int height) {
  std::vector<uint8_t> png;
  if (width <= 0 || height <= 0 || width > 0x7FFFFFFF / 4) return png;
  if (rgba.size() / 4 / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) return png;
  auto sink = [](void* ctx, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(ctx);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(sink, &png, width, height, 4, rgba.data(), width * 4)) png.clear();
  return png;
}

}  // namespace vorlan::workbench
