#include "desktop/rollup_panel.h"

#include <QGroupBox>
#include <QVBoxLayout>

namespace vorlan::desktop {

RollupPanel::RollupPanel(PressHandler press, QWidget* parent) : QWidget(parent), press_(std::move(press)) {
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
    layout_->insertWidget(layout_->count() - 1, frame);
    frame->show();
    shown_.push_back(d);
  }
}

ModelDialog* RollupPanel::Page(const QString& title) const {
  for (ModelDialog* d : shown_)
    if (d->objectName() == title) return d;
  return nullptr;
}

}  // namespace vorlan::desktop
