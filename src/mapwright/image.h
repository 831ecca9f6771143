// Texture images as the editor keeps them: 24-bit blue-green-red rows, bottom row first,
// each row padded to a multiple of four bytes, so that a whole picture can be handed to a
// bitmap drawing routine as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vorlan::mapwright {

// Images larger than this many pixel bytes are refused: a few header bytes must not be able
// to ask for gigabytes.
inline constexpr std::size_t kMaxImageBytes = std::size_t(256) << 20;

// Bytes per row of a 24-bit picture: three per pixel, rounded up to a multiple of four.
constexpr std::size_t ImageStride(std::size_t width) { return (3 * width + 3) & ~std::size_t(3); }

struct Image {
  int width = 0, height = 0;
  std::size_t stride = 0;
  std::size_t size = 0;         // stride * height
  std::vector<uint8_t> pixels;  // blue, green, red; memory row 0 is the picture's bottom row
  // Same layout as `pixels`; all three bytes of a pixel hold its alpha. Empty when the file
  // had none.
  std::vector<uint8_t> alpha;
  std::string fileName;
  std::vector<uint8_t> savedCopy;  // the pixels as last read or saved

  bool HasAlpha() const { return !alpha.empty(); }
  // Byte offset of pixel (x, row) where row counts memory rows (bottom of the picture = 0).
  std::size_t Offset(int x, int row) const { return std::size_t(row) * stride + std::size_t(x) * 3; }
  // The pixel as a 0x00BBGGRR word; x and y from the top-left corner of the picture.
  uint32_t PixelAt(int x, int y) const;
  void SetPixel(int x, int y, uint32_t colorBGR);
  // Reverses the order of the rows (pixels and alpha): a top-down picture becomes bottom-up.
  void FlipRows();
};

// A new white image (every byte 0xFF), or nothing when the size is not positive or the
// pixels would exceed `maxBytes`.
std::optional<Image> NewImage(int width, int height, std::size_t maxBytes = kMaxImageBytes);

// Every image loaded in one editing session; a texture file used by several materials is
// read once.
class ImageList {
 public:
  Image* Find(const std::string& fileName);
  Image& Add(Image image);
  void Clear() { images_.clear(); }
  std::size_t Count() const { return images_.size(); }

 private:
  std::vector<std::unique_ptr<Image>> images_;  // stable addresses for the textures
};

}  // namespace vorlan::mapwright
