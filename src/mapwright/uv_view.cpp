#include "mapwright/uv_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vorlan::mapwright {

double MoveStep(bool shift) { return shift ? 0.1 : 1.0; }
double RotationStep(bool shift) { return shift ? 0.0001 : 0.01; }
double ScaleStep(bool shift) { return shift ? 0.0001 : 0.01; }

DragStep MouseDragStep(Tool tool, ScaleKind scaleKind, bool quickMode, MouseButton button, Modifiers mods,
                       int dx, int dy) {
  DragStep s;
  if (button == MouseButton::Middle) tool = Tool::Pan;
  if (quickMode && button != MouseButton::Middle) {
    tool = button == MouseButton::Right ? Tool::Rotate : (mods.ctrl ? Tool::Scale : Tool::Move);
    scaleKind = ScaleKind::Uniform;
  } else if (button == MouseButton::Right) {
    return s;
  }
  switch (tool) {
    case Tool::Move:
      s.kind = DragStep::Translate;
      s.dx = dx * MoveStep(mods.shift);
      s.dy = dy * MoveStep(mods.shift);
      break;
    case Tool::Rotate:
      s.kind = DragStep::Rotate;
      s.angle = float(-dx * RotationStep(mods.shift));
      break;
    case Tool::Scale:
      s.kind = DragStep::Scale;
      s.texelsDelta = dx * ScaleStep(mods.shift);
      s.scaleKind = scaleKind;
      break;
    case Tool::Pan:
      s.kind = DragStep::Pan;
      s.dx = dx;
      s.dy = dy;
      break;
    case Tool::Zoom:
      s.kind = DragStep::Zoom;
      s.zoomDelta = 0.01 * dx;
      break;
    case Tool::None:
    case Tool::Pen:
      break;
  }
  return s;
}

void TextureView::ZoomBy(double delta) {
  zoomLevel_ = std::max(1.0, zoomLevel_ + delta);
  zoom_ = std::max(1, int(zoomLevel_));
}

void TextureView::Pan(double dx, double dy, int imageWidth, int imageHeight) {
  auto clamp = [](double offset, double image, double view) {
    // overflow > 0: the image is larger than the view; its offset runs over [-overflow, 0]
    // with half the overflow to spare on either side. When it fits, the room around it
    // plays the same part.
    double overflow = image - view;
    double lo = std::min(0.0, -overflow), hi = std::max(0.0, -overflow);
    double margin = std::abs(overflow) / 2;
    return std::clamp(offset, lo - margin, hi + margin);
  };
  offsetX_ = clamp(offsetX_ + dx, double(imageWidth) * zoom_, viewWidth_);
  offsetY_ = clamp(offsetY_ + dy, double(imageHeight) * zoom_, viewHeight_);
}

void TextureView::TextureToView(double u, double v, int textureHeight, double& x, double& y) const {
  x = offsetX_ + u * zoom_;
  y = offsetY_ + (v + textureHeight) * zoom_;
}

void TextureView::ViewToTexture(double x, double y, int textureHeight, double& u, double& v) const {
  u = (x - offsetX_) / zoom_;
  v = (y - offsetY_) / zoom_ - textureHeight;
}

void TextureView::ViewToImage(int x, int y, int& px, int& py) const {
  int zoom = std::max(1, zoom_);
  px = int(std::floor((x - offsetX_) / zoom));
  py = int(std::floor((y - offsetY_) / zoom));
}

void DrawLine(Image& image, int x0, int y0, int x1, int y1, uint32_t colorBGR) {
  auto plot = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    image.SetPixel(x, y, colorBGR);
    if (image.savedCopy.size() == image.pixels.size()) {
      std::size_t o = image.Offset(x, image.height - 1 - y);
      std::copy_n(image.pixels.begin() + std::ptrdiff_t(o), 3, image.savedCopy.begin() + std::ptrdiff_t(o));
    }
  };
  // Bresenham over 64-bit differences: far-away ends may not overflow.
  long long dx = std::llabs(static_cast<long long>(x1) - x0),
            dy = -std::llabs(static_cast<long long>(y1) - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  long long err = dx + dy;
  long long x = x0, y = y0;
  for (long long n = std::max(dx, -dy) + 1; n > 0; --n) {
    plot(int(x), int(y));
    if (x == x1 && y == y1) break;
    long long e2 = 2 * err;
    if (e2 >= dy) err += dy, x += sx;
    if (e2 <= dx) err += dx, y += sy;
  }
}

}  // namespace vorlan::mapwright
