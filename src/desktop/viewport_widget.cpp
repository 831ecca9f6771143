#include "desktop/viewport_widget.h"

#include <QPainter>

namespace vorlan::desktop {

ViewportWidget::ViewportWidget(const workbench::Scene& scene, QWidget* parent)
    : QWidget(parent), scene_(scene) {
  setMinimumSize(160, 120);
  setObjectName("viewport");
}

void ViewportWidget::SetTime(host::TimeValue t) {
  if (t == time_) return;
  time_ = t;
  Invalidate();
}

void ViewportWidget::SetDirection(workbench::ViewDirection direction) {
  direction_ = direction;
  camera_.clear();
  Invalidate();
}

void ViewportWidget::SetCamera(const std::string& nodeName) {
  camera_ = nodeName;
  Invalidate();
}

void ViewportWidget::Invalidate() {
  dirty_ = true;
  update();
}

void ViewportWidget::Render() {
  workbench::ViewportOptions o;
  o.width = std::max(1, width());
  o.height = std::max(1, height());
  o.direction = direction_;
  o.cameraNode = camera_;
  o.time = time_;
  host::ViewportImage img = workbench::RenderViewport(scene_, o);
  // The renderer's rows run bottom-up in blue, green, red, alpha order.
  QImage picture(img.width, img.height, QImage::Format_ARGB32);
  const int stride = img.width * 4;
  for (int y = 0; y < img.height; ++y)
    std::memcpy(picture.scanLine(img.height - 1 - y), img.pixels.data() + std::size_t(y) * stride, stride);
  picture_ = std::move(picture);
  dirty_ = false;
}

const QImage& ViewportWidget::Picture() {
  if (dirty_ || picture_.size() != size()) Render();
  return picture_;
}

void ViewportWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Picture());
  p.setPen(Qt::white);
  QString label = camera_.empty() ? QStringList{"Perspective", "Front", "Top", "Left"}[int(direction_)]
                                  : QString::fromStdString(camera_);
  p.drawText(8, 16, label);
}

void ViewportWidget::resizeEvent(QResizeEvent*) { dirty_ = true; }

}  // namespace vorlan::desktop
