// The command panel under the Utilities list: the open utility's rollup pages as widgets,
// one framed page under the other, in the order the utility added them.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "desktop/qt_user_interface.h"
#include "host/rollup.h"

class QVBoxLayout;

namespace vorlan::desktop {

class RollupPanel : public QWidget {
 public:
  // `press` hears a control of a page pressed or changed, with the page's widgets' values.
  // The page may be gone by then (the panel is redrawn later than the host changes it): the
  // handler checks it is still one of the host's before touching it.
  using PressHandler =
      std::function<void(host::RollupPage* page, const host::DialogModel& values, int controlId)>;
  // `focus` hears a page's edit gaining or losing the keyboard.
  using FocusHandler = std::function<void(host::RollupPage* page, int controlId, bool gained)>;
  RollupPanel(PressHandler press, FocusHandler focus, QWidget* parent = nullptr);

  // Draws the pages anew (none: the panel is empty). Widgets of the old pages are deleted
  // once control returns to the event loop, since one of them may be the button whose
  // press led here.
  void Show(const std::vector<host::RollupPage*>& pages);
  // The page widget of a page's title ("Parameters", "params"), or null.
  ModelDialog* Page(const QString& title) const;
  int PageCount() const { return static_cast<int>(shown_.size()); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  PressHandler press_;
  FocusHandler focus_;
  std::map<QObject*, std::pair<host::RollupPage*, int>> edits_;
  QVBoxLayout* layout_ = nullptr;
  std::vector<ModelDialog*> shown_;
};

}  // namespace vorlan::desktop
