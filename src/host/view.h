// The host's viewports as a plug-in sees them: the active one's view type and camera.
#pragma once

namespace vorlan::host {

class Node;

enum class ViewType { Left, Right, Top, Bottom, Front, Back, User, Perspective, Camera, Light, Other };

// The active viewport, borrowed from the host between GetActiveViewport and ReleaseViewport.
class ViewExp {
 public:
  virtual ViewType GetViewType() const = 0;
  // The camera node a camera view looks through; null in other views.
  virtual Node* GetViewCamera() const = 0;
  // Makes the viewport look through a camera node; null is ignored.
  virtual void SetViewCamera(Node* camera) = 0;

 protected:
  ~ViewExp() = default;
};

}  // namespace vorlan::host
