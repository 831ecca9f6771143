#include "zef/thumbnail.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vorlan::zef {

namespace {

// Cell starts along one side and the cell length.
struct Cells {
  std::array<int64_t, kThumbnailSide> start{};
  int64_t length = 1;
};

Cells CellsOf(int64_t size) {
  Cells cells;
  if (size >= kThumbnailSide) {
    // Each start is truncated before the next step is added, so the fraction of size / 64 is
    // dropped at every step and the cells lie evenly, floor(size / 64) apart.
    const double step = static_cast<double>(size) / kThumbnailSide;
    for (int k = 1; k < kThumbnailSide; ++k)
      cells.start[k] = static_cast<int64_t>(std::trunc(static_cast<double>(cells.start[k - 1]) + step));
    cells.length = size / kThumbnailSide;
  } else {
    for (int k = 0; k < kThumbnailSide; ++k) cells.start[k] = k * size / kThumbnailSide;
  }
  return cells;
}

}  // namespace

ThumbnailStatus ReduceThumbnail(const host::ViewportImage& image, std::span<uint8_t, kThumbnailBytes> out) {
  if (image.bitsPerPixel != 32) return ThumbnailStatus::kUnsupportedDepth;
  const int64_t width = image.width;
  const int64_t height = image.height;
  if (width <= 0 || height <= 0) return ThumbnailStatus::kEmpty;
  // A grab whose pixels do not cover its size is refused rather than guessed at; this also
  // bounds the work by the bytes actually present.
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > image.pixels.size() / 4)
    return ThumbnailStatus::kEmpty;

  const bool bottomUp =
      !image.driverName.empty() && (image.driverName[0] == 'O' || image.driverName[0] == 'S');
  const int64_t lastPixel = width * height - 1;
  // Byte b of pixel `index` of the source taken as rows in reading order.
  auto byteAt = [&](int64_t index, int b) -> uint32_t {
    index = std::min(index, lastPixel);
    int64_t row = index / width;
    int64_t column = index % width;
    if (bottomUp) row = height - 1 - row;
    return image.pixels[static_cast<std::size_t>((row * width + column) * 4 + b)];
  };

  const Cells columns = CellsOf(width);
  const Cells rows = CellsOf(height);
  const uint64_t cellPixels = static_cast<uint64_t>(columns.length * rows.length);
  for (int r = 0; r < kThumbnailSide; ++r) {
    for (int c = 0; c < kThumbnailSide; ++c) {
      uint64_t sum[3] = {0, 0, 0};
      for (int64_t y = 0; y < rows.length; ++y) {
        const int64_t rowStart = (rows.start[r] + y) * width + columns.start[c];
        for (int64_t x = 0; x < columns.length; ++x)
          for (int b = 0; b < 3; ++b) sum[b] += byteAt(rowStart + x, b);
      }
      uint8_t* pixel = out.data() + (static_cast<std::size_t>(r) * kThumbnailSide + c) * 3;
      for (int b = 0; b < 3; ++b) pixel[b] = static_cast<uint8_t>(sum[b] / cellPixels);
    }
  }
  return ThumbnailStatus::kOk;
}

}  // namespace vorlan::zef
