// The texture view without a window: tools, what a mouse drag does, zoom and pan, the
// mapping between view pixels and texture space, and the pen.
#pragma once

#include <cstdint>
#include <optional>

#include "mapwright/image.h"

namespace vorlan::mapwright {

enum class Tool { None, Move, Rotate, Scale, Pan, Zoom, Pen };
enum class ScaleKind { Uniform, Horizontal, Vertical };
enum class MouseButton { Left, Right, Middle };

struct Modifiers {
  bool shift = false;
  bool ctrl = false;
};

// Steps of the transforms; Shift gives the fine ones.
double MoveStep(bool shift);      // 1.0 / 0.1 pixel per mouse pixel or arrow key
double RotationStep(bool shift);  // 0.01 / 0.0001 radian per mouse pixel
double ScaleStep(bool shift);     // 0.01 / 0.0001 texels per mouse pixel

// What one mouse movement of (dx, dy) window pixels does while a button is held.
struct DragStep {
  enum Kind { None, Translate, Rotate, Scale, Pan, Zoom } kind = None;
  double dx = 0, dy = 0;   // Translate: texture pixels; Pan: view pixels
  float angle = 0;         // Rotate: radians about Z
  double texelsDelta = 0;  // Scale: added to the texels value
  ScaleKind scaleKind = ScaleKind::Uniform;
  double zoomDelta = 0;  // Zoom
};
// Quick mode: left drag moves, left drag with Ctrl scales uniformly, right drag rotates. The
// middle button always pans.
DragStep MouseDragStep(Tool tool, ScaleKind scaleKind, bool quickMode, MouseButton button, Modifiers mods,
                       int dx, int dy);

// Zoom and pan of the texture view. The image's top-left corner sits at the view offset and
// each image pixel covers `Zoom()` view pixels. Texture space puts a map coordinate's
// negated v at y, so the picture of v in [0, 1] spans y in [-height, 0): it is drawn one
// picture height lower, where the image is.
class TextureView {
 public:
  int Zoom() const { return zoom_; }
  void SetZoom(int zoom) { zoom_ = zoom < 1 ? 1 : zoom, zoomLevel_ = zoom_; }
  void ZoomIn() { SetZoom(zoom_ + 1); }
  void ZoomOut() { SetZoom(zoom_ - 1); }
  // 0.01 of a zoom step per mouse pixel; the zoom shown is the whole part, at least 1.
  void ZoomBy(double delta);

  double OffsetX() const { return offsetX_; }
  double OffsetY() const { return offsetY_; }
  void SetViewSize(int width, int height) { viewWidth_ = width, viewHeight_ = height; }
  // Follows the mouse, but the image may not leave the view by more than half of the amount
  // by which it overflows it (or, when it fits, by half of the room around it).
  void Pan(double dx, double dy, int imageWidth, int imageHeight);

  // Texture-space point to view pixels and back, for a texture `textureHeight` pixels high.
  void TextureToView(double u, double v, int textureHeight, double& x, double& y) const;
  void ViewToTexture(double x, double y, int textureHeight, double& u, double& v) const;
  // The image pixel (from its top-left corner) under a view position.
  void ViewToImage(int x, int y, int& px, int& py) const;

 private:
  int zoom_ = 1;
  double zoomLevel_ = 1;
  double offsetX_ = 0, offsetY_ = 0;
  int viewWidth_ = 0, viewHeight_ = 0;
};

// Half the side of the box around the cursor in which a click picks corners (7 x 7 pixels).
inline constexpr double kPickRadius = 3.0;

// Draws a straight line, both ends included, in a 0x00BBGGRR colour, into the image's pixels
// and into its saved copy; points outside the picture are skipped. Coordinates from the
// picture's top-left corner.
void DrawLine(Image& image, int x0, int y0, int x1, int y1, uint32_t colorBGR);

}  // namespace vorlan::mapwright
