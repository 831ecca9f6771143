// The ShotEditor's window: the range list and the command list with their owner-drawn rows
// and timeline bars, the toolbar, and the " Properties " frame, over the ShotEditor's
// window model. The model decides; this draws what it holds and hands it every action.
#pragma once

#include <QTreeWidget>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "host/interface.h"
#include "shoteditor/editor_state.h"
#include "shoteditor/shot_editor_window.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace vorlan::desktop {

// Column widths of both lists; the last column holds the timeline bar.
inline constexpr int kShotColumnWidths[] = {140, 180, 45, 45, 45, 220};
inline constexpr int kTimelineColumn = 5;

// One of the two lists. Rows carry what drawing needs in their item data.
class ShotListWidget : public QTreeWidget {
 public:
  enum RowKind { kGlobalRow = 0, kSegmentRow = 1, kCommandRow = 2 };
  enum Role { kKindRole = Qt::UserRole, kColourRole, kBeginRole, kEndRole, kLengthRole };
  explicit ShotListWidget(QWidget* parent = nullptr);
  void SetGlobal(int32_t begin, int32_t length) {
    globalBegin_ = begin;
    globalLength_ = length;
  }
  // Every row is drawn alike, so the rows' rectangles are known to tests and documents.
  static constexpr int kRowHeight = 20;

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

 private:
  int32_t globalBegin_ = 0, globalLength_ = 0;
};

class ShotEditorView : public QWidget {
 public:
  ShotEditorView(host::Interface& ip, QWidget* parent = nullptr);
  ~ShotEditorView() override;

  shoteditor::ShotEditorWindow& Model() { return *model_; }
  // Heard after every change of the model (the host's time or view may have moved).
  void SetHostChangedHandler(std::function<void()> handler) { hostChanged_ = std::move(handler); }
  // Draws what changed while a plug-in call ran off the window's thread (a scene import that
  // added cameras): the model is only read here once that call is over.
  void RefreshIfPending();
  // Reads a data file as "Load .shd file" does once the file is picked.
  bool LoadFile(const std::string& path);
  // Asks about unsaved work as the window's close button does; false when it stays open.
  bool AskToClose();

  ShotListWidget* CommandList() const { return commands_; }
  ShotListWidget* RangeList() const { return ranges_; }
  QAction* Action(shoteditor::ToolButton b) const { return actions_[int(b)]; }
  QComboBox* ItemList() const { return item_; }
  QLineEdit* Description() const { return description_; }
  QSpinBox* BeginSpin() const { return begin_; }
  QSpinBox* EndSpin() const { return end_; }
  QSpinBox* LengthSpin() const { return length_; }
  QPushButton* Swatch() const { return swatch_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolbar(QVBoxLayout* layout);
  void BuildProperties(QVBoxLayout* layout);
  void Refresh();
  void PickColour();

  host::Interface& ip_;
  shoteditor::EditorState state_;
  std::unique_ptr<shoteditor::ShotEditorWindow> model_;
  std::function<void()> hostChanged_;
  bool updating_ = false;
  bool closed_ = false;
  std::atomic<bool> pending_{false};
  QAction* actions_[8] = {};
  ShotListWidget* ranges_ = nullptr;
  ShotListWidget* commands_ = nullptr;
  QComboBox* item_ = nullptr;
  QLineEdit* description_ = nullptr;
  QSpinBox* begin_ = nullptr;
  QSpinBox* end_ = nullptr;
  QSpinBox* length_ = nullptr;
  QPushButton* swatch_ = nullptr;
};

}  // namespace vorlan::desktop
