// The workbench's viewport: a small software renderer that draws the scene's meshes with a
// z-buffer and flat Lambert shading into a 32-bit bitmap, as the host's active viewport
// would show them. The exporter's thumbnail is made from it and `vorlan preview` saves it.
//
// The bitmap is laid out as the host's device-independent bitmaps of its "Software" driver:
// 4 bytes per pixel in the order blue, green, red, alpha, and rows from the bottom of the
// picture upwards. Output depends only on the scene: the same scene gives the same bytes.
#pragma once

#include <string>

#include "host/interface.h"
#include "host/math3d.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

// Where the fixed view looks from when no camera is chosen: the three-quarter perspective
// view, or straight from the front (-Y), the top (+Z) or the left (-X).
enum class ViewDirection { Perspective, Front, Top, Left };

struct ViewportOptions {
  int width = 256, height = 256;  // clamped to 1..4096
  ViewDirection direction = ViewDirection::Perspective;
  host::TimeValue time = 0;
  // Node whose camera to look through; empty: the scene's active view camera, and when
  // that names no camera node, a fixed three-quarter view that frames every mesh.
  std::string cameraNode;
  // Threads that draw: 0 lets a large scene use two where the machine has them; 1 or 2 draw
  // with that many whatever the scene. The picture is the same either way.
  int threads = 0;
  // Works out and draws every face, also those that change no pixel: the plain way, which a
  // picture is compared with. Otherwise such a face is passed over once it is known to be
  // hidden or to cover no pixel centre; the picture is the same.
  bool drawEveryFace = false;
};

// The view a rendering uses: the camera's world transform (looking down its -Z axis with +Y
// up, as the host's cameras do) and its horizontal field of view.
struct ViewCamera {
  host::Matrix3 tm;
  float fov = 0.785398f;
  float nearPlane = 0.01f;
};

// The camera the options select: a camera node's, or the three-quarter view that frames
// the scene's meshes (a unit box around the origin when there are none).
ViewCamera ChooseCamera(const Scene& scene, const ViewportOptions& options);

host::ViewportImage RenderViewport(const Scene& scene, const ViewportOptions& options = {});

// Writes an image of this layout (32 bits, rows bottom-up) as a PNG with rows top-down.
// Returns an empty string on success, else a message naming the file.
std::string WriteViewportPng(const host::ViewportImage& image, const std::string& path);

}  // namespace vorlan::workbench
