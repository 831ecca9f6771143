#include "mapwright/image.h"

#include <algorithm>

namespace vorlan::mapwright {

uint32_t Image::PixelAt(int x, int y) const {
  std::size_t o = Offset(x, height - 1 - y);
  return uint32_t(pixels[o + 2]) | (uint32_t(pixels[o + 1]) << 8) | (uint32_t(pixels[o]) << 16);
}

void Image::SetPixel(int x, int y, uint32_t colorBGR) {
  std::size_t o = Offset(x, height - 1 - y);
  pixels[o] = static_cast<uint8_t>(colorBGR >> 16);
  pixels[o + 1] = static_cast<uint8_t>(colorBGR >> 8);
  pixels[o + 2] = static_cast<uint8_t>(colorBGR);
}

void Image::FlipRows() {
  auto flip = [&](std::vector<uint8_t>& plane) {
    if (plane.size() < size) return;
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
      std::swap_ranges(plane.begin() + std::ptrdiff_t(std::size_t(top) * stride),
                       plane.begin() + std::ptrdiff_t(std::size_t(top) * stride + stride),
                       plane.begin() + std::ptrdiff_t(std::size_t(bottom) * stride));
  };
  flip(pixels);
  flip(alpha);
}

std::optional<Image> NewImage(int width, int height, std::size_t maxBytes) {
  if (width <= 0 || height <= 0) return std::nullopt;
  std::size_t stride = ImageStride(std::size_t(width));
  if (stride > maxBytes / std::size_t(height)) return std::nullopt;
  Image image;
  image.width = width;
  image.height = height;
  image.stride = stride;
  image.size = stride * std::size_t(height);
  image.pixels.assign(image.size, 0xFF);
  return image;
}

Image* ImageList::Find(const std::string& fileName) {
  for (auto& image : images_)
    if (image->fileName == fileName) return image.get();
  return nullptr;
}

Image& ImageList::Add(Image image) {
  images_.push_back(std::make_unique<Image>(std::move(image)));
  return *images_.back();
}

}  // namespace vorlan::mapwright
