#include "desktop/rollup_panel.h"

#include <QEvent>
#include <QGroupBox>
#include <QVBoxLayout>

namespace vorlan::desktop {

RollupPanel::RollupPanel(PressHandler press, FocusHandler focus, QWidget* parent)
    : QWidget(parent), press_(std::move(press)), focus_(std::move(focus)) {
  setObjectName("rollupPanel");
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->addStretch(1);
}

void RollupPanel::Show(const std::vector<host::RollupPage*>& pages) {
  for (ModelDialog* d : shown_) {
    QWidget* frame = d->parentWidget();
    frame->hide();
    layout_->removeWidget(frame);
    frame->deleteLater();
  }
  shown_.clear();
  edits_.clear();
  for (host::RollupPage* page : pages) {
    const host::DialogModel& model = page->Model();
    auto* frame = new QGroupBox(QString::fromStdString(model.title), this);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(4, 4, 4, 4);
    auto* d = new ModelDialog(model, frame, /*modal=*/false);
    d->setWindowFlags(Qt::Widget);
    d->setMinimumWidth(0);
    d->setObjectName(QString::fromStdString(model.title));
    inner->addWidget(d);
    d->show();  // a widget whose window flags changed is hidden until shown
    d->SetCommandHandler([this, page, d](int id) { press_(page, d->Values(), id); });
    for (const host::DialogControl& c : model.controls)
      if (c.kind == host::ControlKind::Edit || c.kind == host::ControlKind::MultiLineEdit)
        if (QWidget* w = d->Control(c.id)) {
          w->installEventFilter(this);
          edits_[w] = {page, c.id};
        }
    layout_->insertWidget(layout_->count() - 1, frame);
    frame->show();
    shown_.push_back(d);
  }
}

bool RollupPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
    auto it = edits_.find(watched);
    if (it != edits_.end() && focus_)
      focus_(it->second.first, it->second.second, event->type() == QEvent::FocusIn);
  }
  return QWidget::eventFilter(watched, event);
}

ModelDialog* RollupPanel::Page(const QString& title) const {
  for (ModelDialog* d : shown_)
    if (d->objectName() == title) return d;
  return nullptr;
}

}  // namespace vorlan::desktop
