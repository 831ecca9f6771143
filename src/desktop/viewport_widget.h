// The main window's viewport: the workbench's software renderer drawn into a widget, from a
// fixed view (perspective, front, top, left) or through a camera node.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

#include "workbench/scene.h"
#include "workbench/viewport.h"

namespace vorlan::desktop {

class ViewportWidget : public QWidget {
 public:
  explicit ViewportWidget(const workbench::Scene& scene, QWidget* parent = nullptr);

  void SetTime(host::TimeValue t);
  void SetDirection(workbench::ViewDirection direction);
  // Looks through this camera node; empty: the fixed view.
  void SetCamera(const std::string& nodeName);
  const std::string& Camera() const { return camera_; }
  host::TimeValue Time() const { return time_; }
  // Renders again on the next paint (the scene changed).
  void Invalidate();

  // The picture as last drawn, at the widget's size.
  const QImage& Picture();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void Render();
  const workbench::Scene& scene_;
  workbench::ViewDirection direction_ = workbench::ViewDirection::Perspective;
  std::string camera_;
  host::TimeValue time_ = 0;
  QImage picture_;
  bool dirty_ = true;
};

}  // namespace vorlan::desktop
