#include "zef/thumbnail.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace vorlan::zef {
namespace {

using Thumb = std::array<uint8_t, kThumbnailBytes>;
struct Bgr {
  int b, g, r;
};

// A 32-bit grab whose pixel at column x of row y (rows as stored) is given by `pixel`; the
// fourth byte is 255 and must not matter.
host::ViewportImage Grab(int width, int height, const char* driver,
                         const std::function<Bgr(int, int)>& pixel) {
  host::ViewportImage image;
  image.width = width;
  image.height = height;
  image.driverName = driver;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Bgr p = pixel(x, y);
      image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(p.b), static_cast<uint8_t>(p.g),
                                               static_cast<uint8_t>(p.r), 255});
    }
  return image;
}

Bgr At(const Thumb& t, int row, int column) {
  const uint8_t* p = t.data() + (row * kThumbnailSide + column) * 3;
  return {p[0], p[1], p[2]};
}

Thumb Reduce(const host::ViewportImage& image) {
  Thumb t{};
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kOk);
  return t;
}

#define EXPECT_PIXEL(thumb, row, column, B, G, R)        \
  do {                                                   \
    Bgr p_ = At(thumb, row, column);                     \
    EXPECT_EQ(p_.b, B) << "at " << row << "," << column; \
    EXPECT_EQ(p_.g, G) << "at " << row << "," << column; \
    EXPECT_EQ(p_.r, R) << "at " << row << "," << column; \
  } while (0)

TEST(Thumbnail, TwoByTwoCellsAreAveragedAndTruncated) {
  // Blue = column, green = row; red 200 except four values 1..4 in the first cell (mean 2.5).
  Thumb t = Reduce(Grab(128, 128, "Direct3D", [](int x, int y) {
    int red = (x < 2 && y < 2) ? 1 + x + 2 * y : 200;
    return Bgr{x, y, red};
  }));
  EXPECT_PIXEL(t, 0, 0, 0, 0, 2);
  for (int r = 0; r < 64; r += 7)
    for (int c = 1; c < 64; c += 5) EXPECT_PIXEL(t, r, c, 2 * c, 2 * r, 200);  // (2c + 2c + 1) / 2 truncated
}

TEST(Thumbnail, DriversStartingWithOOrSReadRowsBottomUp) {
  auto rows = [](int, int y) { return Bgr{0, y, 0}; };
  for (const char* driver : {"OpenGL", "Software"}) {
    Thumb t = Reduce(Grab(128, 128, driver, rows));
    // Thumbnail row r averages stored rows 127 - 2r and 126 - 2r.
    for (int r = 0; r < 64; ++r) EXPECT_PIXEL(t, r, 3, 0, 126 - 2 * r, 0);
  }
  for (const char* driver : {"Direct3D", "Heidi", ""}) {
    Thumb t = Reduce(Grab(128, 128, driver, rows));
    for (int r = 0; r < 64; ++r) EXPECT_PIXEL(t, r, 3, 0, 2 * r, 0);
  }
}

TEST(Thumbnail, SizesThatAreNoMultipleOf64DropTheRemainder) {
  // 100 x 70: cells of one pixel at k; columns from 64 and rows from 64 are never sampled.
  Thumb t = Reduce(Grab(100, 70, "Direct3D", [](int x, int y) {
    return x >= 64 || y >= 64 ? Bgr{255, 255, 255} : Bgr{x, y, x + y};
  }));
  for (int r = 0; r < 64; r += 9)
    for (int c = 0; c < 64; c += 9) EXPECT_PIXEL(t, r, c, c, r, r + c);
  EXPECT_PIXEL(t, 63, 63, 63, 63, 126);

  // 200 x 130: cells of 3 x 2 starting at 3k and 2k.
  Thumb u = Reduce(Grab(200, 130, "Direct3D", [](int x, int y) { return Bgr{x, y, 7}; }));
  for (int r = 0; r < 64; r += 9)
    for (int c = 0; c < 64; c += 9) EXPECT_PIXEL(u, r, c, 3 * c + 1, 2 * r, 7);
}

TEST(Thumbnail, SidesNarrowerThan64AreSampledWithoutEmptyCells) {
  Thumb t = Reduce(Grab(32, 16, "Direct3D", [](int x, int y) { return Bgr{x, y, 9}; }));
  for (int r = 0; r < 64; r += 5)
    for (int c = 0; c < 64; c += 3) EXPECT_PIXEL(t, r, c, c / 2, r / 4, 9);
  Thumb one = Reduce(Grab(1, 1, "OpenGL", [](int, int) { return Bgr{10, 20, 30}; }));
  EXPECT_PIXEL(one, 63, 63, 10, 20, 30);
  // One side narrow, the other wide: cells of 1 x 2.
  Thumb mixed = Reduce(Grab(16, 128, "Direct3D", [](int x, int y) { return Bgr{x, y, 0}; }));
  EXPECT_PIXEL(mixed, 10, 40, 10, 20, 0);
}

TEST(Thumbnail, RefusesOtherDepthsAndGrabsWithoutPixelsLeavingTheOutputAlone) {
  Thumb t;
  t.fill(0xAB);
  host::ViewportImage image = Grab(64, 64, "Direct3D", [](int, int) { return Bgr{1, 1, 1}; });
  image.bitsPerPixel = 24;
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kUnsupportedDepth);
  image.bitsPerPixel = 32;
  image.pixels.pop_back();  // one byte short of width x height pixels
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kEmpty);
  image.width = 0;
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kEmpty);
  image.width = -64;
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kEmpty);
  image.width = 1 << 30;
  image.height = 1 << 30;  // a size that the pixels cannot hold must not be walked
  EXPECT_EQ(ReduceThumbnail(image, t), ThumbnailStatus::kEmpty);
  for (uint8_t b : t) ASSERT_EQ(b, 0xAB);
}

}  // namespace
}  // namespace vorlan::zef
